#pragma once

#include <QPushButton>

namespace kav {

// A push button whose face is painted flat in its palette's button colour. The toolkit's styles
// shade that colour into a gradient, so a red face reads as pink and a grey one as white; here
// the face is the colour itself, with a plain raised or sunken edge, the style's caption and a
// focus frame.
class ColourButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace kav
