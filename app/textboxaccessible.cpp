#include "textboxaccessible.h"

#include "textbox.h"

#include <QAccessibleWidget>
#include <QTextCursor>

namespace kav {

namespace {

class TextBoxAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TextBoxAccessible(TextBox* box) : QAccessibleWidget(box, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.multiLine = true;
        state.selectableText = true;
        return state;
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return box()->text();
        return QAccessibleWidget::text(t);
    }

    QString text(int startOffset, int endOffset) const override {
        return box()->text().mid(startOffset, std::max(endOffset - startOffset, 0));
    }

    int characterCount() const override { return int(box()->text().size()); }

    int cursorPosition() const override { return textAt(box()->textCursor().position()); }

    void setCursorPosition(int position) override { select(position, position); }

    int selectionCount() const override { return box()->textCursor().hasSelection() ? 1 : 0; }

    void selection(int index, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = 0;
        const QTextCursor cursor = box()->textCursor();
        if (index != 0 || !cursor.hasSelection())
            return;
        *startOffset = textAt(cursor.selectionStart());
        *endOffset = textAt(cursor.selectionEnd());
    }

    void addSelection(int startOffset, int endOffset) override {
        setSelection(0, startOffset, endOffset);
    }

    void setSelection(int index, int startOffset, int endOffset) override {
        if (index == 0)
            select(startOffset, endOffset);
    }

    void removeSelection(int index) override {
        if (index != 0)
            return;
        QTextCursor cursor = box()->textCursor();
        cursor.clearSelection();
        box()->setTextCursor(cursor);
    }

    QRect characterRect(int offset) const override {
        QTextCursor cursor(box()->document());
        cursor.setPosition(box()->documentPosition(offset));
        QRect rect = box()->cursorRect(cursor);
        const QString ch = box()->text().mid(offset, 1);
        rect.setWidth(ch.isEmpty() ? 1 : box()->fontMetrics().horizontalAdvance(ch));
        return QRect(box()->viewport()->mapToGlobal(rect.topLeft()), rect.size());
    }

    int offsetAtPoint(const QPoint& point) const override {
        const QPoint local = box()->viewport()->mapFromGlobal(point);
        if (!box()->viewport()->rect().contains(local))
            return -1;
        return textAt(box()->cursorForPosition(local).position());
    }

    void scrollToSubstring(int startIndex, int endIndex) override {
        select(startIndex, endIndex);
        box()->ensureCursorVisible();
    }

    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = 0;
        *endOffset = characterCount();
        Q_UNUSED(offset);
        return QString();
    }

private:
    TextBox* box() const { return static_cast<TextBox*>(widget()); }
    int textAt(int documentPosition) const { return int(box()->textPosition(documentPosition)); }

    // The caret at end, the anchor at start: what a selection made by keyboard would give.
    void select(int start, int end) {
        QTextCursor cursor = box()->textCursor();
        cursor.setPosition(box()->documentPosition(start));
        cursor.setPosition(box()->documentPosition(end), QTextCursor::KeepAnchor);
        box()->setTextCursor(cursor);
    }
};

QAccessibleInterface* textBoxInterface(const QString& className, QObject* object) {
    if (className == QLatin1String(TextBox::staticMetaObject.className()))
        if (auto* box = qobject_cast<TextBox*>(object))
            return new TextBoxAccessible(box);
    return nullptr;
}

} // namespace

void installTextBoxAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(textBoxInterface);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace kav
