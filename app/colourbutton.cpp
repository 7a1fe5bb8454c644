#include "colourbutton.h"

#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <qdrawutil.h>

namespace kav {

void ColourButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const bool sunken = isDown() || isChecked();
    const QBrush face = palette().brush(QPalette::Button);
    qDrawWinButton(&painter, rect(), palette(), sunken, &face);

    option.rect = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = option.rect;
        focus.backgroundColor = face.color();
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
    if (sunken)
        option.rect.translate(1, 1); // the caption moves with the pressed face
    option.state &= ~(QStyle::State_HasFocus | QStyle::State_Sunken);
    painter.drawControl(QStyle::CE_PushButtonLabel, option);
}

} // namespace kav
