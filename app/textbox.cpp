#include "textbox.h"

namespace kav {

TextBox::TextBox(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
    setUndoRedoEnabled(false);
    setFocusPolicy(Qt::StrongFocus);
}

void TextBox::setText(const QString& text) {
    const QString shown = maxLength_ > 0 ? text.left(maxLength_) : text;
    if (shown != toPlainText())
        setPlainText(shown);
}

} // namespace kav
