// The send-data editor through the real window: keypad clicks and keys into Text3, with what
// Text3 and Text1 show read back from the boxes.

#include "formfixture.h"
#include "mnemonics.h"

#include <QClipboard>
#include <QInputMethodEvent>
#include <QTextCursor>

using namespace kav;
using kavtest::FormFixture;

Q_DECLARE_METATYPE(Qt::Key)
Q_DECLARE_METATYPE(Qt::KeyboardModifiers)

class EditorWindowTest : public QObject {
    Q_OBJECT

    FormFixture fx;
    TextBox* text3 = nullptr;

    void press(Qt::Key key, const QString& text, Qt::KeyboardModifiers modifiers = {},
               bool autoRepeat = false) {
        kavtest::pressKey(text3, key, text, modifiers, autoRepeat);
    }
    void backspace(Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(text3, Qt::Key_Backspace, modifiers);
    }
    void typeText(const QString& ascii) { QTest::keyClicks(text3, ascii); }

    // Text3 and Text1 show the buffer, Text3 cut to 256 characters, and the box itself holds
    // nothing but what the program put in.
    void checkViews() {
        const SendBuffer& buffer = fx.form->sendBuffer();
        QCOMPARE(fx.text("Text3"), buffer.SendText().left(256));
        QCOMPARE(fx.text("Text1"), buffer.SendHex());
        QCOMPARE(text3->toPlainText(), fx.text("Text3"));
    }

private slots:
    void initTestCase() {
        QVERIFY(fx.start(FormFixture::Active));
        text3 = fx.get<TextBox>("Text3");
    }
    void init() {
        fx.button(131)->click();
        text3->setFocus();
    }

    // Steps: "#n" clicks keypad button n, "<" is Backspace, anything else is typed.
    void sequences_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("text3");
        QTest::addColumn<QString>("text1");
        QTest::newRow("STX then A") << QStringList{"#3", "A"} << "[STX]A"
                                    << "0241";
        QTest::newRow("ETX off again") << QStringList{"#3", "A", "#4", "<"} << "[STX]A"
                                       << "0241";
        QTest::newRow("space button off whole") << QStringList{"x", "#33", "<"} << "x"
                                                << "78";
        QTest::newRow("typed [STX] is five characters") << QStringList{"[STX]"} << "[STX]"
                                                        << "5B5354585D";
        QTest::newRow("typed [STX] loses one") << QStringList{"[STX]", "<"} << "[STX"
                                               << "5B535458";
        QTest::newRow("keypad STX goes whole") << QStringList{"#3", "<"} << ""
                                               << "";
        QTest::newRow("full-width captions enter ASCII")
            << QStringList{"#39", "#45", "#47"} << "&,."
            << "262C2E";
        QTest::newRow("lower and upper case") << QStringList{"a", "A"} << "aA"
                                              << "6141";
    }
    void sequences() {
        QFETCH(QStringList, steps);
        QFETCH(QString, text3);
        QFETCH(QString, text1);
        for (const QString& step : steps) {
            if (step == u'<')
                backspace();
            else if (step.startsWith(u'#'))
                fx.click(step.mid(1).toInt());
            else
                typeText(step);
        }
        QCOMPARE(fx.text("Text3"), text3);
        QCOMPARE(fx.text("Text1"), text1);
        checkViews();
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
        QCOMPARE(fx.text("Text3"), token);
        QCOMPARE(fx.text("Text1"), hex);
        // The next key goes on behind it, and Backspace takes the whole token off again.
        QTest::keyClick(text3, Qt::Key_0);
        QCOMPARE(fx.text("Text3"), token + u'0');
        backspace();
        backspace();
        QCOMPARE(fx.text("Text3"), QString());
        QCOMPARE(fx.text("Text1"), QString());
    }

    void everyAcceptedKey() {
        QString all;
        for (char16_t u = 48; u <= 125; ++u)
            all += QChar(u);
        typeText(all);
        QCOMPARE(fx.text("Text3"), all);
        QCOMPARE(fx.text("Text1").size(), 2 * 78);
        QCOMPARE(fx.text("Text1").left(6), QStringLiteral("303132"));
        QCOMPARE(fx.text("Text1").right(6), QStringLiteral("7B7C7D"));
        checkViews();
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
        QCOMPARE(fx.text("Text3"), QStringLiteral("[NUL]a"));
        QCOMPARE(fx.text("Text1"), QStringLiteral("0061"));
        backspace(modifiers);
        backspace(modifiers);
        QCOMPARE(fx.text("Text3"), QString());
        QCOMPARE(fx.text("Text1"), QString());
        backspace(modifiers);
        QCOMPARE(fx.text("Text3"), QString());
        checkViews();
    }

    void heldBackspaceRemovesOneTokenPerRepeat() {
        fx.click(2);
        fx.click(33);
        typeText(QStringLiteral("q"));
        press(Qt::Key_Backspace, QStringLiteral("\b"));
        QCOMPARE(fx.text("Text3"), QStringLiteral("[SOH][SP]"));
        press(Qt::Key_Backspace, QStringLiteral("\b"), {}, true);
        QCOMPARE(fx.text("Text3"), QStringLiteral("[SOH]"));
        press(Qt::Key_Backspace, QStringLiteral("\b"), {}, true);
        press(Qt::Key_Backspace, QStringLiteral("\b"), {}, true);
        QCOMPARE(fx.text("Text3"), QString());
        checkViews();
    }

    // One stroke and its auto-repeat: what they add; most keys add nothing at all.
    void keyStrokes_data() {
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("adds");
        const Qt::KeyboardModifiers none;
        QTest::newRow("a") << Qt::Key_A << QStringLiteral("a") << none << QStringLiteral("a");
        QTest::newRow("Shift+A") << Qt::Key_A << QStringLiteral("A")
                                 << Qt::KeyboardModifiers{Qt::ShiftModifier} << QStringLiteral("A");
        QTest::newRow("keypad digit")
            << Qt::Key_5 << QStringLiteral("5") << Qt::KeyboardModifiers{Qt::KeypadModifier}
            << QStringLiteral("5");
        // On Windows AltGr arrives as Ctrl+Alt; "@" typed that way is an accepted character.
        QTest::newRow("AltGr as Ctrl+Alt")
            << Qt::Key_At << QStringLiteral("@") << (Qt::ControlModifier | Qt::AltModifier)
            << QStringLiteral("@");
        // Keys that change neither the buffer nor the box.
        QTest::newRow("Delete") << Qt::Key_Delete << QStringLiteral("\x7f") << none << QString();
        QTest::newRow("Left") << Qt::Key_Left << QString() << none << QString();
        QTest::newRow("End") << Qt::Key_End << QString() << none << QString();
        QTest::newRow("Enter") << Qt::Key_Return << QStringLiteral("\r") << none << QString();
        QTest::newRow("keypad Enter") << Qt::Key_Enter << QStringLiteral("\r")
                                      << Qt::KeyboardModifiers{Qt::KeypadModifier} << QString();
        QTest::newRow("Escape") << Qt::Key_Escape << QStringLiteral("\x1b") << none << QString();
        QTest::newRow("space") << Qt::Key_Space << QStringLiteral(" ") << none << QString();
        QTest::newRow("tilde") << Qt::Key_AsciiTilde << QStringLiteral("~") << none << QString();
        QTest::newRow("exclamation, a keypad button")
            << Qt::Key_Exclam << QStringLiteral("!") << none << QString();
        QTest::newRow("slash, a keypad button")
            << Qt::Key_Slash << QStringLiteral("/") << none << QString();
        QTest::newRow("Ctrl+S as DC3") << Qt::Key_S << QStringLiteral("\x13")
                                       << Qt::KeyboardModifiers{Qt::ControlModifier} << QString();
        QTest::newRow("Ctrl+S carrying s")
            << Qt::Key_S << QStringLiteral("s") << Qt::KeyboardModifiers{Qt::ControlModifier}
            << QString();
        QTest::newRow("Ctrl+Shift+A carrying A")
            << Qt::Key_A << QStringLiteral("A") << (Qt::ControlModifier | Qt::ShiftModifier)
            << QString();
        QTest::newRow("Ctrl+V") << Qt::Key_V << QStringLiteral("\x16")
                                << Qt::KeyboardModifiers{Qt::ControlModifier} << QString();
        QTest::newRow("Alt+A carrying a") << Qt::Key_A << QStringLiteral("a")
                                          << Qt::KeyboardModifiers{Qt::AltModifier} << QString();
        QTest::newRow("Meta+B carrying b") << Qt::Key_B << QStringLiteral("b")
                                           << Qt::KeyboardModifiers{Qt::MetaModifier} << QString();
        QTest::newRow("DEL character")
            << Qt::Key_unknown << QStringLiteral("\x7f") << none << QString();
        QTest::newRow("half-width katakana")
            << Qt::Key_unknown << QStringLiteral("ｱ") << none << QString();
        QTest::newRow("hiragana") << Qt::Key_unknown << QStringLiteral("あ") << none << QString();
        QTest::newRow("Latin-1 e acute")
            << Qt::Key_Eacute << QStringLiteral("é") << none << QString();
        // The key left of Backspace on the OADG 109A layout: code 0x5C in the Japanese code page.
        QTest::newRow("yen sign") << Qt::Key_yen << QStringLiteral("¥") << none
                                  << QStringLiteral("\\");
        QTest::newRow("full-width A")
            << Qt::Key_unknown << QStringLiteral("Ａ") << none << QString();
        QTest::newRow("characters beyond the BMP")
            << Qt::Key_unknown << QStringLiteral("😀") << none << QString();
    }
    void keyStrokes() {
        QFETCH(Qt::Key, key);
        QFETCH(QString, text);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, adds);
        fx.click(3);
        typeText(QStringLiteral("A"));
        QGuiApplication::clipboard()->setText(QStringLiteral("PASTED"));
        const CodeString data = fx.form->sendBuffer().SendData();
        press(key, text, modifiers);
        press(key, text, modifiers, true);
        QCOMPARE(fx.text("Text3"), QStringLiteral("[STX]A") + adds + adds);
        QCOMPARE(fx.form->sendBuffer().SendData().size(), data.size() + 2 * adds.size());
        QCOMPARE(fx.form->sendBuffer().SendData().first(data.size()), data);
        QCOMPARE(fx.text("Text1").left(4), QStringLiteral("0241"));
        checkViews();
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
        QCOMPARE(fx.text("Text3"), QStringLiteral("[STX]"));
        QCOMPARE(fx.text("Text1"), QStringLiteral("02"));
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
        QCOMPARE(fx.text("Text3"), QStringLiteral("abcZ[ETX]"));
        // A selection in the box does not make Backspace remove it, only the last token.
        text3->selectAll();
        backspace();
        QCOMPARE(fx.text("Text3"), QStringLiteral("abcZ"));
        QCOMPARE(fx.text("Text1"), QStringLiteral("6162635A"));
    }

    void keypadGivesTheFocusBackToText3() {
        auto* combo = fx.get("Combo3");
        combo->setFocus();
        QCOMPARE(QApplication::focusWidget(), combo);
        fx.click(2);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(text3));
        // The next key goes where the focus is, with no click into the box.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_7);
        QCOMPARE(fx.text("Text3"), QStringLiteral("[SOH]7"));
        QCOMPARE(fx.text("Text1"), QStringLiteral("0137"));
    }

    void viewLimitOf256() {
        // 51 STX tokens are 255 characters; the 256th character fills the box.
        for (int i = 0; i < 51; ++i)
            fx.button(keypadKeys()[2].number)->click();
        QCOMPARE(fx.text("Text3").size(), 255);
        typeText(QStringLiteral("A"));
        QCOMPARE(fx.text("Text3").size(), 256);
        QVERIFY(fx.text("Text3").endsWith(u'A'));
        const QString full = fx.text("Text3");

        // Beyond 256 the box keeps its first 256 characters; the buffer and Text1 go on growing.
        typeText(QStringLiteral("B"));
        fx.click(28);
        fx.click(1);
        QCOMPARE(fx.text("Text3"), full);
        QCOMPARE(fx.form->sendBuffer().SendText().size(), 256 + 1 + 5 + 5);
        QVERIFY(fx.text("Text1").endsWith(QStringLiteral("41421B00")));
        QCOMPARE(fx.text("Text1").size(), 2 * (51 + 4));
        checkViews();

        // Coming back, the box changes again only once the text is within 256 characters.
        backspace();
        backspace();
        QCOMPARE(fx.text("Text3"), full);
        backspace();
        QCOMPARE(fx.form->sendBuffer().SendText().size(), 256);
        QCOMPARE(fx.text("Text3"), full);
        backspace();
        QCOMPARE(fx.text("Text3"), full.left(255));
        QVERIFY(fx.text("Text1").endsWith(QStringLiteral("0202")));
        backspace();
        QCOMPARE(fx.text("Text3"), full.left(250));
        checkViews();
    }

    void clearButton() {
        // The send side only: the slots keep theirs (the slot suite checks), and so do the
        // receive views.
        fx.click(3);
        typeText(QStringLiteral("Hi"));
        fx.get<TextBox>("Text4")->setText(QStringLiteral("[STX]reply"));
        fx.get<TextBox>("Text2")->setText(QStringLiteral("02"));
        fx.timer()->start();

        fx.click(131);
        QCOMPARE(fx.text("Text3"), QString());
        QCOMPARE(fx.text("Text1"), QString());
        QVERIFY(fx.form->sendBuffer().SendData().isEmpty());
        QVERIFY(fx.form->sendBuffer().SendText().isEmpty());
        QVERIFY(fx.form->sendBuffer().SendHex().isEmpty());
        QVERIFY(!fx.form->timer().isActive());
        QCOMPARE(fx.text("Text4"), QStringLiteral("[STX]reply"));
        QCOMPARE(fx.text("Text2"), QStringLiteral("02"));

        // Clearing does not move the focus, and typing starts afresh.
        auto* combo = fx.get("Combo1");
        combo->setFocus();
        fx.button(131)->click();
        QCOMPARE(QApplication::focusWidget(), combo);
        typeText(QStringLiteral("x"));
        QCOMPARE(fx.text("Text3"), QStringLiteral("x"));
        QCOMPARE(fx.text("Text1"), QStringLiteral("78"));
    }
};

QTEST_MAIN(EditorWindowTest)
#include "tst_editor_window.moc"
