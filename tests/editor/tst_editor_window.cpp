// The send-data editor through the real window: keypad clicks and keys into Text3, with what
// Text3 and Text1 show read back from the boxes.

#include "editorfixture.h"
#include "mnemonics.h"

#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QTextCursor>

using namespace kav;

Q_DECLARE_METATYPE(Qt::Key)
Q_DECLARE_METATYPE(Qt::KeyboardModifiers)

class EditorWindowTest : public QObject {
    Q_OBJECT

    EditorFixture fx;
    TextBox* text3 = nullptr;

    void press(Qt::Key key, const QString& text, Qt::KeyboardModifiers modifiers = {},
               bool autoRepeat = false) {
        QKeyEvent down(QEvent::KeyPress, key, modifiers, text, autoRepeat);
        QApplication::sendEvent(text3, &down);
        QKeyEvent up(QEvent::KeyRelease, key, modifiers, text, autoRepeat);
        QApplication::sendEvent(text3, &up);
    }
    void backspace(Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(text3, Qt::Key_Backspace, modifiers);
    }
    void typeText(const QString& ascii) { QTest::keyClicks(text3, ascii); }

    // Text3 and Text1 show the buffer, Text3 cut to 256 characters, and the box itself holds
    // nothing but what the program put in.
    void checkViews() {
        const SendBuffer& buffer = fx.form->sendBuffer();
        QCOMPARE(fx.text3(), buffer.SendText().left(256));
        QCOMPARE(fx.text1(), buffer.SendHex());
        QCOMPARE(text3->toPlainText(), fx.text3());
    }

private slots:
    void initTestCase() {
        QVERIFY(fx.start());
        text3 = fx.box("Text3");
        QVERIFY(text3);
    }
    void init() {
        fx.form->Command131_Click();
        text3->setFocus();
    }

    void stxThenA() {
        fx.click(3);
        press(Qt::Key_A, QStringLiteral("A"), Qt::ShiftModifier);
        QCOMPARE(fx.text3(), QStringLiteral("[STX]A"));
        QCOMPARE(fx.text1(), QStringLiteral("0241"));
        QCOMPARE(fx.form->sendBuffer().SendData(), (CodeString{0x02, 0x41}));
        fx.click(4);
        backspace();
        QCOMPARE(fx.text3(), QStringLiteral("[STX]A"));
        QCOMPARE(fx.text1(), QStringLiteral("0241"));
    }

    void everyKeypadButton_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("hex");
        for (const KeypadKey& key : keypadKeys())
            QTest::newRow(qPrintable(key.objectName()))
                << key.number << sendToken(key.code) << hexOf(key.code);
    }
    void everyKeypadButton() {
        QFETCH(int, number);
        QFETCH(QString, token);
        QFETCH(QString, hex);
        fx.click(number);
        QCOMPARE(fx.text3(), token);
        QCOMPARE(fx.text1(), hex);
        // The next key goes on behind it, and Backspace takes the whole token off again.
        QTest::keyClick(text3, Qt::Key_0);
        QCOMPARE(fx.text3(), token + u'0');
        backspace();
        backspace();
        QCOMPARE(fx.text3(), QString());
        QCOMPARE(fx.text1(), QString());
    }

    void fullWidthCaptionsEnterAscii() {
        QCOMPARE(fx.button(39)->text(), QStringLiteral("＆"));
        QCOMPARE(fx.button(45)->text(), QStringLiteral("，"));
        QCOMPARE(fx.button(47)->text(), QStringLiteral("．"));
        fx.click(39);
        fx.click(45);
        fx.click(47);
        QCOMPARE(fx.text3(), QStringLiteral("&,."));
        QCOMPARE(fx.text1(), QStringLiteral("262C2E"));
    }

    void spaceButtonAndBackspace() {
        typeText(QStringLiteral("x"));
        fx.click(33);
        QCOMPARE(fx.text3(), QStringLiteral("x[SP]"));
        QCOMPARE(fx.text1(), QStringLiteral("7820"));
        backspace();
        QCOMPARE(fx.text3(), QStringLiteral("x"));
        QCOMPARE(fx.text1(), QStringLiteral("78"));
    }

    void typedMnemonicVersusKeypad() {
        typeText(QStringLiteral("[STX]"));
        QCOMPARE(fx.text3(), QStringLiteral("[STX]"));
        QCOMPARE(fx.text1(), QStringLiteral("5B5354585D"));
        backspace();
        QCOMPARE(fx.text3(), QStringLiteral("[STX"));
        QCOMPARE(fx.text1(), QStringLiteral("5B535458"));

        fx.form->Command131_Click();
        fx.click(3);
        QCOMPARE(fx.text3(), QStringLiteral("[STX]"));
        QCOMPARE(fx.text1(), QStringLiteral("02"));
        backspace();
        QCOMPARE(fx.text3(), QString());
        QCOMPARE(fx.text1(), QString());
    }

    void everyAcceptedKey() {
        QString all;
        for (char16_t u = 48; u <= 125; ++u)
            all += QChar(u);
        typeText(all);
        QCOMPARE(fx.text3(), all);
        QCOMPARE(fx.text1().size(), 2 * 78);
        QCOMPARE(fx.text1().left(6), QStringLiteral("303132"));
        QCOMPARE(fx.text1().right(6), QStringLiteral("7B7C7D"));
        checkViews();
    }

    void lowerAndUpperCase() {
        press(Qt::Key_A, QStringLiteral("a"));
        press(Qt::Key_A, QStringLiteral("A"), Qt::ShiftModifier);
        QCOMPARE(fx.text3(), QStringLiteral("aA"));
        QCOMPARE(fx.text1(), QStringLiteral("6141"));
    }

    void backspaceWithModifiers_data() {
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::newRow("plain") << Qt::KeyboardModifiers{};
        QTest::newRow("Shift") << Qt::KeyboardModifiers{Qt::ShiftModifier};
        QTest::newRow("Ctrl") << Qt::KeyboardModifiers{Qt::ControlModifier};
        QTest::newRow("Ctrl+Shift") << (Qt::ControlModifier | Qt::ShiftModifier);
        QTest::newRow("Alt") << Qt::KeyboardModifiers{Qt::AltModifier};
    }
    void backspaceWithModifiers() {
        QFETCH(Qt::KeyboardModifiers, modifiers);
        fx.click(1);
        typeText(QStringLiteral("ab"));
        backspace(modifiers);
        QCOMPARE(fx.text3(), QStringLiteral("[NUL]a"));
        QCOMPARE(fx.text1(), QStringLiteral("0061"));
        backspace(modifiers);
        backspace(modifiers);
        QCOMPARE(fx.text3(), QString());
        QCOMPARE(fx.text1(), QString());
        backspace(modifiers);
        QCOMPARE(fx.text3(), QString());
        checkViews();
    }

    void heldBackspaceRemovesOneTokenPerRepeat() {
        fx.click(2);
        fx.click(33);
        typeText(QStringLiteral("q"));
        press(Qt::Key_Backspace, QStringLiteral("\b"));
        QCOMPARE(fx.text3(), QStringLiteral("[SOH][SP]"));
        press(Qt::Key_Backspace, QStringLiteral("\b"), {}, true);
        QCOMPARE(fx.text3(), QStringLiteral("[SOH]"));
        press(Qt::Key_Backspace, QStringLiteral("\b"), {}, true);
        press(Qt::Key_Backspace, QStringLiteral("\b"), {}, true);
        QCOMPARE(fx.text3(), QString());
        checkViews();
    }

    // Keys that change neither the buffer nor the box.
    void ignoredKeys_data() {
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        const Qt::KeyboardModifiers none;
        QTest::newRow("Delete") << Qt::Key_Delete << QStringLiteral("\x7f") << none;
        QTest::newRow("Left") << Qt::Key_Left << QString() << none;
        QTest::newRow("Right") << Qt::Key_Right << QString() << none;
        QTest::newRow("Up") << Qt::Key_Up << QString() << none;
        QTest::newRow("Down") << Qt::Key_Down << QString() << none;
        QTest::newRow("Home") << Qt::Key_Home << QString() << none;
        QTest::newRow("End") << Qt::Key_End << QString() << none;
        QTest::newRow("Enter") << Qt::Key_Return << QStringLiteral("\r") << none;
        QTest::newRow("keypad Enter")
            << Qt::Key_Enter << QStringLiteral("\r") << Qt::KeyboardModifiers{Qt::KeypadModifier};
        QTest::newRow("Escape") << Qt::Key_Escape << QStringLiteral("\x1b") << none;
        QTest::newRow("space") << Qt::Key_Space << QStringLiteral(" ") << none;
        QTest::newRow("tilde") << Qt::Key_AsciiTilde << QStringLiteral("~") << none;
        QTest::newRow("exclamation, a keypad button")
            << Qt::Key_Exclam << QStringLiteral("!") << none;
        QTest::newRow("slash, a keypad button") << Qt::Key_Slash << QStringLiteral("/") << none;
        QTest::newRow("Ctrl+S as DC3")
            << Qt::Key_S << QStringLiteral("\x13") << Qt::KeyboardModifiers{Qt::ControlModifier};
        QTest::newRow("Ctrl+S carrying s")
            << Qt::Key_S << QStringLiteral("s") << Qt::KeyboardModifiers{Qt::ControlModifier};
        QTest::newRow("Ctrl+Shift+A carrying A")
            << Qt::Key_A << QStringLiteral("A") << (Qt::ControlModifier | Qt::ShiftModifier);
        QTest::newRow("Ctrl+V") << Qt::Key_V << QStringLiteral("\x16")
                                << Qt::KeyboardModifiers{Qt::ControlModifier};
        QTest::newRow("Alt+A carrying a")
            << Qt::Key_A << QStringLiteral("a") << Qt::KeyboardModifiers{Qt::AltModifier};
        QTest::newRow("Meta+B carrying b")
            << Qt::Key_B << QStringLiteral("b") << Qt::KeyboardModifiers{Qt::MetaModifier};
        QTest::newRow("DEL character") << Qt::Key_unknown << QStringLiteral("\x7f") << none;
        QTest::newRow("half-width katakana") << Qt::Key_unknown << QStringLiteral("ｱ") << none;
        QTest::newRow("hiragana") << Qt::Key_unknown << QStringLiteral("あ") << none;
        QTest::newRow("Latin-1 e acute") << Qt::Key_Eacute << QStringLiteral("é") << none;
        QTest::newRow("yen sign") << Qt::Key_yen << QStringLiteral("¥") << none;
        QTest::newRow("full-width A") << Qt::Key_unknown << QStringLiteral("Ａ") << none;
        QTest::newRow("characters beyond the BMP")
            << Qt::Key_unknown << QStringLiteral("😀") << none;
    }
    void ignoredKeys() {
        QFETCH(Qt::Key, key);
        QFETCH(QString, text);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        fx.click(3);
        typeText(QStringLiteral("A"));
        QGuiApplication::clipboard()->setText(QStringLiteral("PASTED"));
        const CodeString data = fx.form->sendBuffer().SendData();
        press(key, text, modifiers);
        press(key, text, modifiers, true);
        QCOMPARE(fx.text3(), QStringLiteral("[STX]A"));
        QCOMPARE(fx.text1(), QStringLiteral("0241"));
        QCOMPARE(fx.form->sendBuffer().SendData(), data);
        checkViews();
    }

    void altGrTypesWhatTheKeyShows() {
        // On Windows AltGr arrives as Ctrl+Alt; "@" typed that way is an accepted character.
        press(Qt::Key_At, QStringLiteral("@"), Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(fx.text3(), QStringLiteral("@"));
        QCOMPARE(fx.text1(), QStringLiteral("40"));
    }

    void inputMethodCommitsChangeNothing_data() {
        QTest::addColumn<QString>("commit");
        QTest::newRow("kana") << QStringLiteral("あいう");
        QTest::newRow("ASCII through the input method") << QStringLiteral("ABC");
        QTest::newRow("katakana") << QStringLiteral("ｱ");
    }
    void inputMethodCommitsChangeNothing() {
        QFETCH(QString, commit);
        fx.click(3);
        QInputMethodEvent preedit(commit, {});
        QApplication::sendEvent(text3, &preedit);
        QInputMethodEvent done;
        done.setCommitString(commit);
        QApplication::sendEvent(text3, &done);
        QCOMPARE(fx.text3(), QStringLiteral("[STX]"));
        QCOMPARE(fx.text1(), QStringLiteral("02"));
        checkViews();
        QVERIFY(!text3->testAttribute(Qt::WA_InputMethodEnabled));
    }

    void caretAtTheStartStillAppendsAtTheEnd() {
        typeText(QStringLiteral("abc"));
        text3->moveCursor(QTextCursor::Start);
        QTest::keyClick(text3, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(text3->textCursor().position(), 0);
        typeText(QStringLiteral("Z"));
        fx.click(4);
        QCOMPARE(fx.text3(), QStringLiteral("abcZ[ETX]"));
        // A selection in the box does not make Backspace remove it, only the last token.
        text3->selectAll();
        backspace();
        QCOMPARE(fx.text3(), QStringLiteral("abcZ"));
        QCOMPARE(fx.text1(), QStringLiteral("6162635A"));
    }

    void keypadGivesTheFocusBackToText3() {
        auto* combo = fx.form->findChild<QWidget*>(QStringLiteral("Combo3"));
        combo->setFocus();
        QCOMPARE(QApplication::focusWidget(), combo);
        fx.click(2);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(text3));
        // The next key goes where the focus is, with no click into the box.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_7);
        QCOMPARE(fx.text3(), QStringLiteral("[SOH]7"));
        QCOMPARE(fx.text1(), QStringLiteral("0137"));
    }

    void viewLimitOf256() {
        // 51 STX tokens are 255 characters; the 256th character fills the box.
        for (int i = 0; i < 51; ++i)
            fx.form->keypadClick(keypadKeys()[2]);
        QCOMPARE(fx.text3().size(), 255);
        typeText(QStringLiteral("A"));
        QCOMPARE(fx.text3().size(), 256);
        QVERIFY(fx.text3().endsWith(u'A'));
        const QString full = fx.text3();

        // Beyond 256 the box keeps its first 256 characters; the buffer and Text1 go on growing.
        typeText(QStringLiteral("B"));
        fx.click(28);
        fx.click(1);
        QCOMPARE(fx.text3(), full);
        QCOMPARE(fx.form->sendBuffer().SendText().size(), 256 + 1 + 5 + 5);
        QVERIFY(fx.text1().endsWith(QStringLiteral("41421B00")));
        QCOMPARE(fx.text1().size(), 2 * (51 + 4));
        checkViews();

        // Coming back, the box changes again only once the text is within 256 characters.
        backspace();
        backspace();
        QCOMPARE(fx.text3(), full);
        backspace();
        QCOMPARE(fx.form->sendBuffer().SendText().size(), 256);
        QCOMPARE(fx.text3(), full);
        backspace();
        QCOMPARE(fx.text3(), full.left(255));
        QVERIFY(fx.text1().endsWith(QStringLiteral("0202")));
        backspace();
        QCOMPARE(fx.text3(), full.left(250));
        checkViews();
    }

    void clearButton() {
        fx.click(3);
        typeText(QStringLiteral("Hi"));
        fx.form->SaveSlot(2);
        const SlotStore::Slot saved = fx.form->slotStore().slot(2);
        const QString slotBox = fx.box("Text7")->text();
        fx.click(4);
        fx.box("Text4")->setText(QStringLiteral("[STX]reply"));
        fx.box("Text2")->setText(QStringLiteral("02"));
        fx.form->timer().start();

        fx.click(131);
        QCOMPARE(fx.text3(), QString());
        QCOMPARE(fx.text1(), QString());
        QVERIFY(fx.form->sendBuffer().SendData().isEmpty());
        QVERIFY(fx.form->sendBuffer().SendText().isEmpty());
        QVERIFY(fx.form->sendBuffer().SendHex().isEmpty());
        QVERIFY(!fx.form->timer().isActive());
        QCOMPARE(fx.form->slotStore().slot(2).text, saved.text);
        QCOMPARE(fx.form->slotStore().slot(2).hex, saved.hex);
        QCOMPARE(fx.form->slotStore().slot(2).data, saved.data);
        QCOMPARE(fx.box("Text7")->text(), slotBox);
        QCOMPARE(fx.box("Text4")->text(), QStringLiteral("[STX]reply"));
        QCOMPARE(fx.box("Text2")->text(), QStringLiteral("02"));

        // Clearing does not move the focus, and typing starts afresh.
        auto* combo = fx.form->findChild<QWidget*>(QStringLiteral("Combo1"));
        combo->setFocus();
        fx.form->Command131_Click();
        QCOMPARE(QApplication::focusWidget(), combo);
        typeText(QStringLiteral("x"));
        QCOMPARE(fx.text3(), QStringLiteral("x"));
        QCOMPARE(fx.text1(), QStringLiteral("78"));

        // A slot read back after the clear still removes its own last token.
        fx.form->LoadSlot(2);
        QCOMPARE(fx.text3(), QStringLiteral("[STX]Hi"));
        backspace();
        QCOMPARE(fx.text3(), QStringLiteral("[STX]H"));
        QCOMPARE(fx.text1(), QStringLiteral("0248"));
    }
};

QTEST_MAIN(EditorWindowTest)
#include "tst_editor_window.moc"
