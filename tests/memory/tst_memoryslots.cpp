// The four memory slots, driven through the real window: buttons clicked, keys typed into the
// send box, overwrite questions answered the way an operator would.

#include "boxes.h"
#include "formfixture.h"
#include "messagebox.h"
#include "mnemonics.h"

#include <QPushButton>

using namespace kav;
using namespace kavtest;

namespace {

const QString OverwriteQuestion = QStringLiteral("一時保存データが上書きされ消去されます。");

// Each slot's write button, read button and box, as the window was drawn.
struct SlotButtons {
    const char* write;
    const char* read;
    const char* box;
};
const SlotButtons slotButtons[] = {{"Command135", "Command137", "Text6"},
                                   {"Command132", "Command140", "Text7"},
                                   {"Command138", "Command141", "Text8"},
                                   {"Command139", "Command142", "Text9"}};

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

    void overwriteQuestion_data();
    void overwriteQuestion();
    void emptyBufferEmptiesSlot();
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
    QAbstractButton* writeButton(int n) const {
        return fx_->get<QAbstractButton>(slotButtons[n - 1].write);
    }
    QAbstractButton* readButton(int n) const {
        return fx_->get<QAbstractButton>(slotButtons[n - 1].read);
    }
    TextBox* slotBox(int n) const { return fx_->get<TextBox>(slotButtons[n - 1].box); }
    TextBox* text(const char* name) const { return fx_->get<TextBox>(name); }
    void click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    void clearSend() { fx_->click("Command131"); }
    void compose(const QList<Code>& keypadCodes, const QString& typed = QString());
    SlotView view(int n) const;
    void checkSendViews(const QString& text, const QString& hex, const CodeString& data);
    void checkQuestion(const BoxSeen& box);

    std::unique_ptr<FormFixture> fx_;
    Form1* form_ = nullptr;
};

void TestMemorySlots::initTestCase() {
    QVERIFY2(installJapaneseTranslation(), "Qt's Japanese translation is not installed");
}

void TestMemorySlots::init() {
    fx_ = std::make_unique<FormFixture>();
    QVERIFY(fx_->start(FormFixture::Exposed));
    form_ = fx_->form.get();
}

void TestMemorySlots::cleanup() {
    fx_.reset();
}

void TestMemorySlots::compose(const QList<Code>& keypadCodes, const QString& typed) {
    for (Code c : keypadCodes)
        fx_->clickCode(c);
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
    int slot = 0;
    for (const auto& a : answers) {
        slot = slot % SlotStore::Count + 1; // each slot's button asks, whatever the answer
        QTest::addRow("slot %d, %s", slot, a.name) << slot << a.answer << a.overwrites;
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

    clearSend();
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

void TestMemorySlots::emptyBufferEmptiesSlot() {
    const int slot = 4;
    compose({1}, QStringLiteral("Z"));
    {
        BoxAnswerer none;
        click(writeButton(slot));
        QCOMPARE(none.seen.size(), 0);
    }
    clearSend();
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
    clearSend();
    BoxAnswerer none;
    click(writeButton(other));
    QCOMPARE(none.seen.size(), 0);
    QCOMPARE(view(other), SlotView{});
}

// --- reading ------------------------------------------------------------------------------

void TestMemorySlots::readNeverWritten() {
    const int slot = 3;
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
    // Each slot gets its own message: the control code n and the digit n. A first write asks
    // nothing, and writing copies: the send buffer stays as it was.
    SlotView content[SlotStore::Count + 1];
    for (int n = 1; n <= SlotStore::Count; ++n) {
        clearSend();
        compose({Code(n)}, QString::number(n));
        const SendBuffer before = form_->sendBuffer();
        BoxAnswerer none;
        click(writeButton(n));
        QCOMPARE(none.seen.size(), 0);
        content[n] = view(n);
        QCOMPARE(content[n].box, mnemonicOf(Code(n)) + QString::number(n));
        checkSendViews(before.SendText(), before.SendHex(), before.SendData());
    }

    clearSend();
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
    QTest::addRow("every keypad code") << 1 << allKeys << QStringLiteral("0}");
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

    clearSend();
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
    QTest::addRow("BS") << 3 << Code(8) << 4;
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
    clearSend();
    click(readButton(slot));

    QTest::keyClick(text("Text3"), Qt::Key_Backspace);
    const QString expectedText = composed.SendText().chopped(width);
    QCOMPARE(expectedText, QStringLiteral("[ACK]ab"));
    checkSendViews(expectedText, QStringLiteral("066162"), CodeString{6, 'a', 'b'});
    // The slot keeps what it was given.
    QCOMPARE(view(slot).data, composed.SendData());

    // Tokens still append after a read, and the restored ones still come off whole.
    fx_->clickCode(last);
    QCOMPARE(form_->sendBuffer().SendText(), composed.SendText());
    QTest::keyClick(text("Text3"), Qt::Key_Backspace);
    QTest::keyClick(text("Text3"), Qt::Key_Backspace);
    checkSendViews(QStringLiteral("[ACK]a"), QStringLiteral("0661"), CodeString{6, 'a'});
}

void TestMemorySlots::readReplacesWithoutQuestion() {
    compose({2}, QStringLiteral("saved"));
    const SendBuffer saved = form_->sendBuffer();
    click(writeButton(3));

    clearSend();
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
    fx_->click(clearButton);
    QCOMPARE(none.seen.size(), 0);
    for (int n = 1; n <= SlotStore::Count; ++n)
        QCOMPARE(view(n), content[n]);
}

QTEST_MAIN(TestMemorySlots)
#include "tst_memoryslots.moc"
