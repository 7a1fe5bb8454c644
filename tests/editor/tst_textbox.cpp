// The display box holds long texts as rows; what it shows, gives back and copies must be what
// one wrapped paragraph of the same text would give.

#include "codepage.h"
#include "mnemonics.h"
#include "textbox.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QPlainTextDocumentLayout>
#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <memory>

using namespace kav;

namespace {

// Text1's size on the window, in pixels.
constexpr QSize ViewSize(7695 / 15, 615 / 15);

std::unique_ptr<TextBox> makeBox(QSize size = ViewSize) {
    auto box = std::make_unique<TextBox>();
    box->resize(size);
    box->show();
    return box;
}

// Where the lines of one wrapped paragraph start, in a plain editor set up like the box.
QList<qsizetype> paragraphLines(const TextBox& like, const QString& text) {
    QPlainTextEdit reference;
    reference.setFont(like.font());
    reference.setLineWrapMode(like.lineWrapMode());
    reference.setWordWrapMode(like.wordWrapMode());
    reference.setVerticalScrollBarPolicy(like.verticalScrollBarPolicy());
    reference.setHorizontalScrollBarPolicy(like.horizontalScrollBarPolicy());
    reference.resize(like.size());
    reference.show();
    reference.setPlainText(text);
    if (reference.viewport()->width() != like.viewport()->width())
        qFatal("reference editor is not as wide as the box");
    QList<qsizetype> starts;
    const QTextBlock block = reference.document()->firstBlock();
    qobject_cast<QPlainTextDocumentLayout*>(reference.document()->documentLayout())
        ->ensureBlockLayout(block);
    for (int i = 0; i < block.layout()->lineCount(); ++i)
        starts.append(block.layout()->lineAt(i).textStart());
    return starts;
}

QString randomHex(QRandomGenerator& random, int codes) {
    CodeString data;
    for (int i = 0; i < codes; ++i)
        data.append(Code(random.bounded(0, 126)));
    return hexOf(data);
}

// Display text as the send buffer builds it: mnemonics, punctuation and typed characters.
QString randomTokens(QRandomGenerator& random, int length) {
    QString text;
    while (text.size() < length)
        text += sendToken(Code(random.bounded(0, 126)));
    return text;
}

} // namespace

class TextBoxTest : public QObject {
    Q_OBJECT

private slots:
    void rowsMatchOneParagraph_data() {
        QTest::addColumn<QString>("text");
        QRandomGenerator random(7);
        QTest::newRow("short, one paragraph") << randomHex(random, 150);
        QTest::newRow("just over the threshold") << randomHex(random, 520);
        QTest::newRow("code view, 5000 codes") << randomHex(random, 5000);
        QTest::newRow("code view at the bound") << randomHex(random, 32767);
        QTest::newRow("display text") << randomTokens(random, 6000);
        QTest::newRow("display text at the bound") << randomTokens(random, 32767);
        QTest::newRow("spaces and punctuation")
            << QStringLiteral("ab cd-ef/gh, ij. kl!(mn) ").repeated(200);
        QTest::newRow("one repeated digit") << QString(3000, u'8');
    }
    // What a screen reader gets: text(), one paragraph, with offsets counted in it.
    void accessibleTextIsOneParagraph_data() {
        QTest::addColumn<QString>("text");
        QRandomGenerator random(7);
        QTest::newRow("short") << randomHex(random, 40);
        QTest::newRow("8,190 digits, held as rows") << randomHex(random, 4095);
    }
    void accessibleTextIsOneParagraph() {
        QFETCH(QString, text);
        auto box = makeBox();
        box->setText(text);
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(box.get());
        QVERIFY(face && face->textInterface());
        QAccessibleTextInterface* reader = face->textInterface();
        QCOMPARE(face->text(QAccessible::Value), text);
        QCOMPARE(reader->characterCount(), text.size());
        QCOMPARE(reader->text(0, reader->characterCount()), text);

        const int from = int(text.size()) / 3, to = int(text.size()) - 5;
        reader->setSelection(0, from, to);
        int start = -1, end = -1;
        reader->selection(0, &start, &end);
        QCOMPARE(std::pair(start, end), std::pair(from, to));
        QCOMPARE(box->textCursor().selectedText().remove(QChar::ParagraphSeparator),
                 text.mid(from, to - from));
        reader->setCursorPosition(to);
        QCOMPARE(reader->cursorPosition(), to);
        QCOMPARE(reader->selectionCount(), 0);

        // A character on a late row is found where it is drawn.
        reader->scrollToSubstring(to, to + 1);
        QCOMPARE(reader->offsetAtPoint(reader->characterRect(to).center()), to);
    }

    void rowsMatchOneParagraph() {
        QFETCH(QString, text);
        auto box = makeBox();
        box->setText(text);
        QCOMPARE(box->text(), text);
        QCOMPARE(box->rowStarts(), paragraphLines(*box, text));
        // A long text is held one row to a block, so an edit re-wraps only the rows it touches.
        if (text.size() > TextBox::RowThreshold)
            QCOMPARE(box->document()->blockCount(), box->rowStarts().size());

        // Select all and copy: the clipboard holds the text itself, with no row breaks.
        box->selectAll();
        box->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), text);
    }

    void editsAtTheEndMatchOneParagraph_data() {
        QTest::addColumn<int>("seed");
        QTest::addColumn<bool>("tokens");
        for (int seed = 1; seed <= 3; ++seed) {
            QTest::addRow("code view %d", seed) << seed << false;
            QTest::addRow("display text %d", seed) << seed << true;
        }
    }
    void editsAtTheEndMatchOneParagraph() {
        // Appends and removals at the end, as the send views see them, across the threshold
        // between one paragraph and rows in both directions, checked after every step.
        QFETCH(int, seed);
        QFETCH(bool, tokens);
        QRandomGenerator random{quint32(seed)};
        auto box = makeBox();
        QString text = tokens ? randomTokens(random, 900) : randomHex(random, 450);
        box->setText(text);
        for (int step = 0; step < 400; ++step) {
            const int roll = random.bounded(10);
            if (roll < 6) {
                const int count = roll == 0 ? random.bounded(1, 300) : 1;
                text += tokens ? randomTokens(random, count) : randomHex(random, count);
            } else {
                text.chop(std::min<qsizetype>(text.size(), roll == 9 ? random.bounded(1, 400)
                                                                     : random.bounded(1, 6)));
            }
            box->setText(text);
            QCOMPARE(box->text(), text);
            QCOMPARE(box->rowStarts(), paragraphLines(*box, text));
        }
    }

    void replacingTheWholeText() {
        QRandomGenerator random(11);
        auto box = makeBox();
        for (int i = 0; i < 6; ++i) {
            // Different texts of different lengths, as a memory slot read gives them.
            const QString text = randomHex(random, random.bounded(0, 4000));
            box->setText(text);
            QCOMPARE(box->text(), text);
            QCOMPARE(box->rowStarts(), paragraphLines(*box, text));
        }
        box->setText(QString());
        QCOMPARE(box->text(), QString());
        QCOMPARE(box->toPlainText(), QString());
    }

    void newWidthRewraps() {
        QRandomGenerator random(5);
        const QString text = randomHex(random, 3000);
        auto box = makeBox();
        box->setText(text);
        for (int width : {300, 640, 513}) {
            box->resize(width, ViewSize.height());
            QCOMPARE(box->text(), text);
            QCOMPARE(box->rowStarts(), paragraphLines(*box, text));
        }
    }

    void textSetBeforeTheBoxIsShown() {
        QRandomGenerator random(9);
        const QString text = randomHex(random, 3000);
        TextBox box;
        box.resize(ViewSize);
        box.setText(text);
        box.show();
        QCOMPARE(box.text(), text);
        QCOMPARE(box.rowStarts(), paragraphLines(box, text));
    }

    void maximumLengthCutsLongTexts() {
        QRandomGenerator random(3);
        auto box = makeBox();
        box->setMaxLength(256);
        const QString text = randomTokens(random, 5000);
        box->setText(text);
        QCOMPARE(box->text(), text.left(256));
        QCOMPARE(box->toPlainText(), text.left(256));
        box->setText(text + QStringLiteral("more"));
        QCOMPARE(box->text(), text.left(256));
        box->setText(text.left(100));
        QCOMPARE(box->text(), text.left(100));
        QCOMPARE(box->toPlainText(), text.left(100));
    }

    void textsWithLineBreaksStayPlain_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("short with LF") << QStringLiteral("a\nb");
        QTest::newRow("long with LF") << QString(2000, u'x') + u'\n' + QString(10, u'y');
        QTest::newRow("long with paragraph separator")
            << QString(2000, u'x') + QChar(QChar::ParagraphSeparator) + QString(10, u'y');
    }
    void textsWithLineBreaksStayPlain() {
        QFETCH(QString, text);
        auto box = makeBox();
        box->setText(QString(1500, u'z'));
        box->setText(text);
        QCOMPARE(box->text(), text);
        box->setText(text + QStringLiteral("tail"));
        QCOMPARE(box->text(), text + QStringLiteral("tail"));
        box->setText(QString(1500, u'z'));
        QCOMPARE(box->text(), QString(1500, u'z'));
        QCOMPARE(box->rowStarts(), paragraphLines(*box, QString(1500, u'z')));
    }

    void operatorKeysLeaveLongTextsAlone() {
        QRandomGenerator random(4);
        const QString text = randomHex(random, 2000);
        auto box = makeBox();
        box->setText(text);
        box->setFocus();
        QTest::keyClick(box.get(), Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(box.get(), QStringLiteral("~ 0A"));
        QTest::keyClick(box.get(), Qt::Key_Backspace);
        QTest::keyClick(box.get(), Qt::Key_Delete);
        QTest::keyClick(box.get(), Qt::Key_Return);
        QCOMPARE(box->text(), text);
        QCOMPARE(box->rowStarts(), paragraphLines(*box, text));
    }
};

QTEST_MAIN(TextBoxTest)
#include "tst_textbox.moc"
