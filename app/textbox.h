#pragma once

#include <QPlainTextEdit>

namespace kav {

// A display box: multi-line, wrapping, always with a vertical scroll bar. The operator can select
// and copy but never edit; only the program sets the text. A non-zero maximum length keeps just
// the first characters of whatever the program puts in.
class TextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TextBox(QWidget* parent = nullptr);

    void setMaxLength(int length) { maxLength_ = length; }
    int maxLength() const { return maxLength_; }
    void setText(const QString& text);
    QString text() const { return toPlainText(); }

private:
    int maxLength_ = 0;
};

} // namespace kav
