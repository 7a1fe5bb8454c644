// The four memory slots, driven through the real window: buttons clicked, keys typed into the
// send box, overwrite questions answered the way an operator would.

#include "form1.h"
#include "keypad.h"
#include "layout.h"
#include "messagebox.h"
#include "mnemonics.h"
#include "textbox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace kav;

namespace {

const QString OverwriteQuestion = QStringLiteral("一時保存データが上書きされ消去されます。");

enum class Answer { Yes, No, Return, Escape, Close };

// What a modal box showed, as recorded before it was answered.
struct BoxSeen {
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool hasPixmap = false;
    QMessageBox::StandardButtons standardButtons;
    qsizetype buttonCount = 0;
    bool yesIsDefault = false;
    QString yesText;
    QString noText;
};

// Watches for modal boxes while it lives, records each one and answers it. A box that appears
// where none is expected is answered too (with No), so such a test fails instead of hanging.
class BoxAnswerer : public QObject {
public:
    explicit BoxAnswerer(Answer answer = Answer::No) : answer_(answer) {
        connect(&poll_, &QTimer::timeout, this, &BoxAnswerer::poll);
        poll_.start(5);
    }
    QList<BoxSeen> seen;

private:
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box == answered_)
            return;
        answered_ = box;
        BoxSeen s;
        s.text = box->text();
        s.title = box->windowTitle();
        s.icon = box->icon();
        s.hasPixmap = !box->iconPixmap().isNull();
        s.standardButtons = box->standardButtons();
        s.buttonCount = box->buttons().size();
        QAbstractButton* yes = box->button(QMessageBox::Yes);
        QAbstractButton* no = box->button(QMessageBox::No);
        s.yesIsDefault = yes && box->defaultButton() == yes;
        s.yesText = yes ? yes->text() : QString();
        s.noText = no ? no->text() : QString();
        seen.append(s);
        switch (answer_) {
        case Answer::Yes:
            QTest::mouseClick(yes, Qt::LeftButton);
            break;
        case Answer::No:
            QTest::mouseClick(no ? no : box->buttons().constFirst(), Qt::LeftButton);
            break;
        case Answer::Return:
            QTest::keyClick(box, Qt::Key_Return);
            break;
        case Answer::Escape:
            QTest::keyClick(box, Qt::Key_Escape);
            break;
        case Answer::Close:
            box->close();
            break;
        }
    }

    Answer answer_;
    QTimer poll_;
    QPointer<QMessageBox> answered_;
};

struct SlotView {
    QString text;
    QString hex;
    CodeString data;
    QString box;
};

bool operator==(const SlotView& a, const SlotView& b) {
    return a.text == b.text && a.hex == b.hex && a.data == b.data && a.box == b.box;
}

} // namespace

Q_DECLARE_METATYPE(Answer)

namespace QTest {
template <> char* toString(const SlotView& v) {
    return qstrdup(QStringLiteral("text \"%1\" hex \"%2\" data %3 codes, box \"%4\"")
                       .arg(v.text, v.hex)
                       .arg(v.data.size())
                       .arg(v.box)
                       .toUtf8()
                       .constData());
}
} // namespace QTest

class TestMemorySlots : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstWriteAsksNothing_data();
    void firstWriteAsksNothing();
    void overwriteQuestion_data();
    void overwriteQuestion();
    void emptyBufferEmptiesSlot_data();
    void emptyBufferEmptiesSlot();
    void readNeverWritten_data();
    void readNeverWritten();
    void slotsIndependent_data();
    void slotsIndependent();
    void roundTrip_data();
    void roundTrip();
    void backspaceAfterRead_data();
    void backspaceAfterRead();
    void readReplacesWithoutQuestion();
    void questionFollowsBoxText_data();
    void questionFollowsBoxText();
    void clearingLeavesSlots_data();
    void clearingLeavesSlots();

private:
    QPushButton* button(const QString& name) const;
    QPushButton* writeButton(int n) const;
    QPushButton* readButton(int n) const;
    TextBox* slotBox(int n) const;
    TextBox* text(const char* name) const;
    void click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    void keypad(Code code);
    void compose(const QList<Code>& keypadCodes, const QString& typed = QString());
    SlotView view(int n) const;
    void checkSendViews(const QString& text, const QString& hex, const CodeString& data);
    void checkQuestion(const BoxSeen& box);

    std::unique_ptr<Form1> form_;
};

void TestMemorySlots::initTestCase() {
    QVERIFY2(installJapaneseTranslation(), "Qt's Japanese translation is not installed");
}

void TestMemorySlots::init() {
    form_ = std::make_unique<Form1>();
    QVERIFY(form_->Form_Load());
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
}

void TestMemorySlots::cleanup() {
    form_.reset();
}

QPushButton* TestMemorySlots::button(const QString& name) const {
    auto* b = form_->findChild<QPushButton*>(name);
    if (!b)
        qFatal("no button %s", qPrintable(name));
    return b;
}

QPushButton* TestMemorySlots::writeButton(int n) const {
    return button(QLatin1String(slotControls()[size_t(n - 1)].writeButton));
}

QPushButton* TestMemorySlots::readButton(int n) const {
    return button(QLatin1String(slotControls()[size_t(n - 1)].readButton));
}

TextBox* TestMemorySlots::slotBox(int n) const {
    return text(slotControls()[size_t(n - 1)].box);
}

TextBox* TestMemorySlots::text(const char* name) const {
    auto* box = form_->findChild<TextBox*>(QLatin1String(name));
    if (!box)
        qFatal("no text box %s", name);
    return box;
}

void TestMemorySlots::keypad(Code code) {
    for (const KeypadKey& key : keypadKeys()) {
        if (key.code == code) {
            click(button(key.objectName()));
            return;
        }
    }
    qFatal("no keypad key for code %d", int(code));
}

void TestMemorySlots::compose(const QList<Code>& keypadCodes, const QString& typed) {
    for (Code c : keypadCodes)
        keypad(c);
    if (!typed.isEmpty())
        QTest::keyClicks(text("Text3"), typed);
}

SlotView TestMemorySlots::view(int n) const {
    const SlotStore::Slot& s = form_->slotStore().slot(n);
    return {s.text, s.hex, s.data, slotBox(n)->text()};
}

void TestMemorySlots::checkSendViews(const QString& t, const QString& hex, const CodeString& data) {
    const SendBuffer& b = form_->sendBuffer();
    QCOMPARE(b.SendData(), data);
    QCOMPARE(b.SendText(), t);
    QCOMPARE(b.SendHex(), hex);
    QCOMPARE(text("Text3")->text(), t.left(256));
    QCOMPARE(text("Text1")->text(), hex);
}

void TestMemorySlots::checkQuestion(const BoxSeen& box) {
    QCOMPARE(box.text, OverwriteQuestion);
    QCOMPARE(box.title, QStringLiteral("Kavetta"));
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QVERIFY(!box.hasPixmap);
    QCOMPARE(box.standardButtons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.buttonCount, qsizetype(2));
    QVERIFY(box.yesIsDefault);
    // Qt's Japanese stock labels carry the Y/N access keys, as the system's own boxes do.
    QCOMPARE(box.yesText, QStringLiteral("はい(&Y)"));
    QCOMPARE(box.noText, QStringLiteral("いいえ(&N)"));
}

// --- writing ------------------------------------------------------------------------------

void TestMemorySlots::firstWriteAsksNothing_data() {
    QTest::addColumn<int>("slot");
    for (int n = 1; n <= SlotStore::Count; ++n)
        QTest::addRow("slot %d", n) << n;
}

void TestMemorySlots::firstWriteAsksNothing() {
    QFETCH(int, slot);
    for (int n = 1; n <= SlotStore::Count; ++n)
        QCOMPARE(view(n), SlotView{});

    compose({2}, QStringLiteral("A1"));
    compose({3});
    const QString expectedText = QStringLiteral("[STX]A1[ETX]");
    const QString expectedHex = QStringLiteral("02413103");
    const CodeString expectedData{2, 'A', '1', 3};
    checkSendViews(expectedText, expectedHex, expectedData);

    BoxAnswerer answerer;
    click(writeButton(slot));
    QCOMPARE(answerer.seen.size(), 0);
    QCOMPARE(view(slot), (SlotView{expectedText, expectedHex, expectedData, expectedText}));
    // Writing copies: the send buffer stays as it was.
    checkSendViews(expectedText, expectedHex, expectedData);
}

void TestMemorySlots::overwriteQuestion_data() {
    QTest::addColumn<int>("slot");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("overwrites");
    const struct {
        const char* name;
        Answer answer;
        bool overwrites;
    } answers[] = {{"Yes", Answer::Yes, true},
                   {"Return takes the default", Answer::Return, true},
                   {"No", Answer::No, false},
                   {"Escape", Answer::Escape, false},
                   {"box closed", Answer::Close, false}};
    for (const auto& a : answers) {
        QTest::addRow("slot 1, %s", a.name) << 1 << a.answer << a.overwrites;
        QTest::addRow("slot 4, %s", a.name) << 4 << a.answer << a.overwrites;
    }
}

void TestMemorySlots::overwriteQuestion() {
    QFETCH(int, slot);
    QFETCH(Answer, answer);
    QFETCH(bool, overwrites);

    compose({27}, QStringLiteral("OLD"));
    {
        BoxAnswerer first;
        click(writeButton(slot));
        QCOMPARE(first.seen.size(), 0);
    }
    const SlotView old = view(slot);
    QCOMPARE(old.box, QStringLiteral("[ESC]OLD"));

    click(button(QStringLiteral("Command131")));
    compose({0, 32}, QStringLiteral("new"));
    const SendBuffer before = form_->sendBuffer();

    BoxAnswerer answerer(answer);
    click(writeButton(slot));
    QCOMPARE(answerer.seen.size(), 1);
    checkQuestion(answerer.seen.first());

    const QString newText = QStringLiteral("[NUL][SP]new");
    QCOMPARE(view(slot), overwrites ? (SlotView{newText, QStringLiteral("00206E6577"),
                                                CodeString{0, 32, 'n', 'e', 'w'}, newText})
                                    : old);
    checkSendViews(before.SendText(), before.SendHex(), before.SendData());
}

void TestMemorySlots::emptyBufferEmptiesSlot_data() {
    QTest::addColumn<int>("slot");
    for (int n = 1; n <= SlotStore::Count; ++n)
        QTest::addRow("slot %d", n) << n;
}

void TestMemorySlots::emptyBufferEmptiesSlot() {
    QFETCH(int, slot);
    compose({1}, QStringLiteral("Z"));
    {
        BoxAnswerer none;
        click(writeButton(slot));
        QCOMPARE(none.seen.size(), 0);
    }
    click(button(QStringLiteral("Command131")));
    checkSendViews(QString(), QString(), CodeString());

    {
        // The box still shows the old message, so this write asks.
        BoxAnswerer yes(Answer::Yes);
        click(writeButton(slot));
        QCOMPARE(yes.seen.size(), 1);
    }
    QCOMPARE(view(slot), SlotView{});

    compose({}, QStringLiteral("Q"));
    {
        BoxAnswerer none;
        click(writeButton(slot));
        QCOMPARE(none.seen.size(), 0);
    }
    QCOMPARE(view(slot), (SlotView{QStringLiteral("Q"), QStringLiteral("51"), CodeString{'Q'},
                                   QStringLiteral("Q")}));

    // An empty buffer written to an empty slot asks nothing and leaves it empty.
    const int other = slot % SlotStore::Count + 1;
    click(button(QStringLiteral("Command131")));
    BoxAnswerer none;
    click(writeButton(other));
    QCOMPARE(none.seen.size(), 0);
    QCOMPARE(view(other), SlotView{});
}

// --- reading ------------------------------------------------------------------------------

void TestMemorySlots::readNeverWritten_data() {
    QTest::addColumn<int>("slot");
    for (int n = 1; n <= SlotStore::Count; ++n)
        QTest::addRow("slot %d", n) << n;
}

void TestMemorySlots::readNeverWritten() {
    QFETCH(int, slot);
    compose({4, 13, 10}, QStringLiteral("unsaved"));
    QVERIFY(!text("Text3")->text().isEmpty());
    QVERIFY(!text("Text1")->text().isEmpty());

    BoxAnswerer none;
    click(readButton(slot));
    QCOMPARE(none.seen.size(), 0);
    checkSendViews(QString(), QString(), CodeString());
    QCOMPARE(view(slot), SlotView{});

    // The emptied buffer takes new tokens as usual.
    compose({2});
    checkSendViews(QStringLiteral("[STX]"), QStringLiteral("02"), CodeString{2});
}

void TestMemorySlots::slotsIndependent_data() {
    QTest::addColumn<int>("slot");
    for (int n = 1; n <= SlotStore::Count; ++n)
        QTest::addRow("slot %d", n) << n;
}

void TestMemorySlots::slotsIndependent() {
    QFETCH(int, slot);
    // Each slot gets its own message: the control code n and the digit n.
    SlotView content[SlotStore::Count + 1];
    for (int n = 1; n <= SlotStore::Count; ++n) {
        click(button(QStringLiteral("Command131")));
        compose({Code(n)}, QString::number(n));
        BoxAnswerer none;
        click(writeButton(n));
        QCOMPARE(none.seen.size(), 0);
        content[n] = view(n);
        QCOMPARE(content[n].box, mnemonicOf(Code(n)) + QString::number(n));
    }

    click(button(QStringLiteral("Command131")));
    compose({25, 26}, QStringLiteral("xyz"));
    {
        BoxAnswerer yes(Answer::Yes);
        click(writeButton(slot));
        QCOMPARE(yes.seen.size(), 1);
    }
    const SlotView written = view(slot);
    QCOMPARE(written.box, QStringLiteral("[EM][SUB]xyz"));
    for (int n = 1; n <= SlotStore::Count; ++n) {
        if (n != slot)
            QCOMPARE(view(n), content[n]);
    }

    // Reading this slot changes no slot, its own included.
    click(readButton(slot));
    checkSendViews(written.text, written.hex, written.data);
    for (int n = 1; n <= SlotStore::Count; ++n)
        QCOMPARE(view(n), n == slot ? written : content[n]);

    // Every other slot still gives back its own message.
    for (int n = 1; n <= SlotStore::Count; ++n) {
        if (n == slot)
            continue;
        click(readButton(n));
        checkSendViews(content[n].text, content[n].hex, content[n].data);
        QCOMPARE(form_->sendBuffer().SendData(), (CodeString{Code(n), Code('0' + n)}));
    }
}

void TestMemorySlots::roundTrip_data() {
    QTest::addColumn<int>("slot");
    QTest::addColumn<QList<Code>>("keypadCodes");
    QTest::addColumn<QString>("typed");

    QList<Code> allKeys;
    for (const KeypadKey& key : keypadKeys())
        allKeys.append(key.code);
    for (int n = 1; n <= SlotStore::Count; ++n)
        QTest::addRow("every keypad code, slot %d", n) << n << allKeys << QStringLiteral("0}");
    // Longer than the 256 characters the send box shows.
    QTest::addRow("beyond the send box") << 2 << QList<Code>(60, 0) << QStringLiteral("end");
}

void TestMemorySlots::roundTrip() {
    QFETCH(int, slot);
    QFETCH(QList<Code>, keypadCodes);
    QFETCH(QString, typed);

    compose(keypadCodes, typed);
    const SendBuffer composed = form_->sendBuffer();
    QCOMPARE(composed.SendData().size(), keypadCodes.size() + typed.size());
    const QString hexView = text("Text1")->text();

    click(writeButton(slot));
    QCOMPARE(slotBox(slot)->text(), composed.SendText());

    click(button(QStringLiteral("Command131")));
    checkSendViews(QString(), QString(), CodeString());

    click(readButton(slot));
    checkSendViews(composed.SendText(), composed.SendHex(), composed.SendData());
    QCOMPARE(text("Text1")->text(), hexView);
    QCOMPARE(form_->sendBuffer().SendData(), composed.SendData());
}

void TestMemorySlots::backspaceAfterRead_data() {
    QTest::addColumn<int>("slot");
    QTest::addColumn<Code>("last");
    QTest::addColumn<int>("width");
    QTest::addRow("NUL") << 1 << Code(0) << 5;
    QTest::addRow("ESC") << 2 << Code(27) << 5;
    QTest::addRow("BS") << 3 << Code(8) << 4;
    QTest::addRow("EM") << 4 << Code(25) << 4;
    QTest::addRow("SP") << 1 << Code(32) << 4;
    QTest::addRow("!") << 2 << Code(33) << 1;
}

void TestMemorySlots::backspaceAfterRead() {
    QFETCH(int, slot);
    QFETCH(Code, last);
    QFETCH(int, width);

    compose({6}, QStringLiteral("ab"));
    compose({last});
    const SendBuffer composed = form_->sendBuffer();
    click(writeButton(slot));
    click(button(QStringLiteral("Command131")));
    click(readButton(slot));

    QTest::keyClick(text("Text3"), Qt::Key_Backspace);
    const QString expectedText = composed.SendText().chopped(width);
    QCOMPARE(expectedText, QStringLiteral("[ACK]ab"));
    checkSendViews(expectedText, QStringLiteral("066162"), CodeString{6, 'a', 'b'});
    // The slot keeps what it was given.
    QCOMPARE(view(slot).data, composed.SendData());

    // Tokens still append after a read, and the restored ones still come off whole.
    keypad(last);
    QCOMPARE(form_->sendBuffer().SendText(), composed.SendText());
    QTest::keyClick(text("Text3"), Qt::Key_Backspace);
    QTest::keyClick(text("Text3"), Qt::Key_Backspace);
    checkSendViews(QStringLiteral("[ACK]a"), QStringLiteral("0661"), CodeString{6, 'a'});
}

void TestMemorySlots::readReplacesWithoutQuestion() {
    compose({2}, QStringLiteral("saved"));
    const SendBuffer saved = form_->sendBuffer();
    click(writeButton(3));

    click(button(QStringLiteral("Command131")));
    compose({5}, QStringLiteral("pending"));

    BoxAnswerer none;
    click(readButton(3));
    checkSendViews(saved.SendText(), saved.SendHex(), saved.SendData());

    // Edit the restored message, then read again: the same buffer comes back.
    compose({4});
    QTest::keyClick(text("Text3"), Qt::Key_Backspace);
    QTest::keyClick(text("Text3"), Qt::Key_Backspace);
    click(readButton(3));
    checkSendViews(saved.SendText(), saved.SendHex(), saved.SendData());
    click(readButton(3));
    checkSendViews(saved.SendText(), saved.SendHex(), saved.SendData());
    QCOMPARE(none.seen.size(), 0);
    QCOMPARE(slotBox(3)->text(), saved.SendText());
}

void TestMemorySlots::questionFollowsBoxText_data() {
    QTest::addColumn<bool>("storeFirst");
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<bool>("asks");
    // The same message again still asks: the box shows text.
    QTest::addRow("same message again") << true << QStringLiteral("[STX]same") << true;
    // What the box shows decides, not what the slot holds.
    QTest::addRow("box shows text, slot holds nothing") << false << QStringLiteral("x") << true;
    QTest::addRow("slot holds data, box shows nothing") << true << QString() << false;
}

void TestMemorySlots::questionFollowsBoxText() {
    QFETCH(bool, storeFirst);
    QFETCH(QString, boxText);
    QFETCH(bool, asks);
    const int slot = 2;

    compose({2}, QStringLiteral("same"));
    if (storeFirst) {
        click(writeButton(slot));
        QVERIFY(!form_->slotStore().slot(slot).data.isEmpty());
    }
    slotBox(slot)->setText(boxText);

    BoxAnswerer answerer(Answer::No);
    click(writeButton(slot));
    QCOMPARE(answerer.seen.size(), asks ? 1 : 0);
    if (asks) {
        checkQuestion(answerer.seen.first());
        QCOMPARE(slotBox(slot)->text(), boxText);
    } else {
        QCOMPARE(slotBox(slot)->text(), QStringLiteral("[STX]same"));
    }
}

void TestMemorySlots::clearingLeavesSlots_data() {
    QTest::addColumn<QString>("clearButton");
    QTest::addRow("send clear") << QStringLiteral("Command131");
    QTest::addRow("receive clear") << QStringLiteral("Command29");
}

void TestMemorySlots::clearingLeavesSlots() {
    QFETCH(QString, clearButton);
    SlotView content[SlotStore::Count + 1];
    for (int n = 1; n <= SlotStore::Count; ++n) {
        compose({Code(n + 10)});
        click(writeButton(n));
        content[n] = view(n);
    }
    BoxAnswerer none;
    click(button(clearButton));
    QCOMPARE(none.seen.size(), 0);
    for (int n = 1; n <= SlotStore::Count; ++n)
        QCOMPARE(view(n), content[n]);
}

int main(int argc, char* argv[]) {
    // The lock and the port folder go to folders of this run's own, set before the toolkit
    // starts so that nothing reaches the user's real ones.
    QTemporaryDir runtimeDir;
    QTemporaryDir configDir;
    if (!runtimeDir.isValid() || !configDir.isValid())
        return 1;
    qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", configDir.path().toLocal8Bit());
    QApplication app(argc, argv);
    TestMemorySlots test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_memoryslots.moc"
