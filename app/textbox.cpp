#include "textbox.h"

#include "textboxaccessible.h"

#include <QMimeData>
#include <QPlainTextDocumentLayout>
#include <QResizeEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <algorithm>

namespace kav {

namespace {

// Rows are filled this many characters at a time, so that each step re-wraps little more than
// one row whatever the length of the text.
constexpr qsizetype FillStep = 256;

// Characters that the document turns into, or treats as, a paragraph or line break. A text that
// holds one cannot be mapped position for position onto rows, so it is kept as plain text.
bool hasBreak(QStringView text) {
    return std::any_of(text.begin(), text.end(), [](QChar ch) {
        const char16_t u = ch.unicode();
        return u == u'\n' || u == u'\r' || u == QChar::ParagraphSeparator ||
               u == QChar::LineSeparator || u == 0xFDD0 || u == 0xFDD1;
    });
}

qsizetype commonPrefix(const QString& a, const QString& b) {
    const qsizetype n = std::min(a.size(), b.size());
    return std::mismatch(a.cbegin(), a.cbegin() + n, b.cbegin()).first - a.cbegin();
}

QPlainTextDocumentLayout* plainLayout(const QTextDocument* document) {
    return qobject_cast<QPlainTextDocumentLayout*>(document->documentLayout());
}

} // namespace

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
    installTextBoxAccessibility();
}

void TextBox::setText(const QString& text) {
    const QString shown = maxLength_ > 0 ? text.left(maxLength_) : text;
    const qsizetype same = commonPrefix(text_, shown);
    if (same == text_.size() && same == shown.size())
        return;

    const bool wasPlainSafe = !rows_ && !hasBreak(text_);
    // While held as rows the old text has no breaks, so only the new tail needs a look.
    const bool breaks = hasBreak(rows_ ? QStringView(shown).mid(same) : QStringView(shown));
    const bool wantRows = shown.size() > RowThreshold && !breaks;

    if (wantRows && rows_) {
        // Re-wrap from the row before the one holding the first changed character: a row break
        // is settled by the characters up to it, so every row before that stays as it is.
        auto next = std::upper_bound(blockStarts_.cbegin(), blockStarts_.cend(), same);
        qsizetype block = std::max<qsizetype>(0, (next - blockStarts_.cbegin()) - 2);
        QTextCursor cursor(document());
        cursor.setPosition(document()->findBlockByNumber(int(block)).position());
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        blockStarts_.resize(block + 1);
        text_ = shown;
        fillRows();
        return;
    }

    text_ = shown;
    if (wantRows) {
        rebuild();
    } else if (rows_ || !wasPlainSafe || breaks) {
        rows_ = false;
        blockStarts_.clear();
        setPlainText(text_);
    } else {
        // One paragraph: replace only what changed at the end.
        QTextCursor cursor(document());
        cursor.setPosition(int(same));
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.insertText(text_.mid(same));
    }
}

void TextBox::rebuild() {
    rows_ = true;
    blockStarts_ = {0};
    setPlainText(QString());
    fillRows();
}

// Appends the text from the start of the last block on, a step at a time, splitting the last
// block at each of its wrapped lines.
void TextBox::fillRows() {
    QPlainTextDocumentLayout* layout = plainLayout(document());
    QTextCursor cursor(document());
    qsizetype at = blockStarts_.back() + document()->lastBlock().length() - 1;
    while (at < text_.size()) {
        const qsizetype step = std::min(FillStep, text_.size() - at);
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(text_.mid(at, step));
        at += step;

        const QTextBlock last = document()->lastBlock();
        layout->ensureBlockLayout(last);
        const QTextLayout* lines = last.layout();
        QList<int> starts;
        for (int i = 1; i < lines->lineCount(); ++i)
            starts.append(lines->lineAt(i).textStart());
        const int position = last.position();
        for (auto start = starts.crbegin(); start != starts.crend(); ++start) {
            cursor.setPosition(position + *start);
            cursor.insertBlock();
        }
        const qsizetype base = blockStarts_.back();
        for (int start : starts)
            blockStarts_.append(base + start);
    }
}

int TextBox::documentPosition(qsizetype textPosition) const {
    const qsizetype at = std::clamp<qsizetype>(textPosition, 0, text_.size());
    if (!rows_)
        return int(at);
    // Rows before the one holding the position, each ended by one break in the document.
    const auto row = std::upper_bound(blockStarts_.cbegin(), blockStarts_.cend(), at);
    return int(at + (row - blockStarts_.cbegin()) - 1);
}

qsizetype TextBox::textPosition(int documentPosition) const {
    if (!rows_)
        return std::clamp<qsizetype>(documentPosition, 0, text_.size());
    const QTextBlock block = document()->findBlock(std::max(documentPosition, 0));
    if (!block.isValid())
        return text_.size();
    return std::min(text_.size(), blockStarts_.value(block.blockNumber()) +
                                      (std::max(documentPosition, 0) - block.position()));
}

QList<qsizetype> TextBox::rowStarts() const {
    QList<qsizetype> starts;
    QPlainTextDocumentLayout* layout = plainLayout(document());
    int number = 0;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next(), ++number) {
        layout->ensureBlockLayout(block);
        const qsizetype base = rows_ ? blockStarts_.value(number) : block.position();
        for (int i = 0; i < block.layout()->lineCount(); ++i)
            starts.append(base + block.layout()->lineAt(i).textStart());
    }
    return starts;
}

// The event is the viewport's: a new width re-wraps the text, so the rows are split anew.
void TextBox::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    if (rows_ && event->oldSize().width() != event->size().width())
        rebuild();
}

void TextBox::changeEvent(QEvent* event) {
    QPlainTextEdit::changeEvent(event);
    if (rows_ && event->type() == QEvent::FontChange)
        rebuild();
}

// Composed text from an input method would otherwise go straight into the document, read-only
// or not; only the program sets what the box shows.
void TextBox::inputMethodEvent(QInputMethodEvent* event) {
    event->ignore();
}

QMimeData* TextBox::createMimeDataFromSelection() const {
    if (!rows_)
        return QPlainTextEdit::createMimeDataFromSelection();
    // Row breaks are only where the text wraps; a copy gives the text as the program set it.
    QString selected = textCursor().selectedText();
    selected.remove(QChar::ParagraphSeparator);
    auto* data = new QMimeData;
    data->setText(selected);
    return data;
}

} // namespace kav
