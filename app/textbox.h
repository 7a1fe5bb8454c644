#pragma once

#include <QList>
#include <QPlainTextEdit>

namespace kav {

// A display box: multi-line, wrapping, always with a vertical scroll bar. The operator can select
// and copy but never edit; only the program sets the text. A non-zero maximum length keeps just
// the first characters of whatever the program puts in.
//
// The code views grow to tens of thousands of characters without a single break opportunity,
// and a text layout re-wraps a whole paragraph on every change: at that size one keystroke would
// take a large fraction of a second. So a long text is held in the document as one block per
// visual row, split exactly where the wrapped paragraph would wrap, and a change re-lays out only
// the rows from the first changed character on. What the box shows, what text() gives and what
// a copy puts on the clipboard are the same as for one wrapped paragraph.
class TextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    // Texts up to this length are one paragraph; re-wrapping them costs well under a millisecond.
    static constexpr qsizetype RowThreshold = 1024;

    explicit TextBox(QWidget* parent = nullptr);

    void setMaxLength(int length) { maxLength_ = length; }
    int maxLength() const { return maxLength_; }
    void setText(const QString& text);
    // The text the program put in (cut to the maximum length), without row breaks.
    QString text() const { return text_; }

    // Where each visual row of the box starts, as positions in text(). For checking that the
    // rows match the wrapping of one paragraph.
    QList<qsizetype> rowStarts() const;

    // Positions in text() and in the document, which holds a row break more per row before it.
    int documentPosition(qsizetype textPosition) const;
    qsizetype textPosition(int documentPosition) const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    QMimeData* createMimeDataFromSelection() const override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    void rebuild();
    void fillRows();

    QString text_;
    // Start in text_ of each document block while the text is held as rows.
    QList<qsizetype> blockStarts_;
    bool rows_ = false;
    int maxLength_ = 0;
};

} // namespace kav
