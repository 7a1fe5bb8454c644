// Long random sequences of appends, refusals, removals and clears, checked after every step
// against the buffer's invariants: the display text is the tokens of the raw data in order, the
// code view is the hexadecimal rendering of the raw data, Text3 shows the first 256 characters
// of the text and Text1 the whole code view. Some runs go up to the 32,767-character bound.

#include "formfixture.h"
#include "mnemonics.h"

#include <QRandomGenerator>

using namespace kav;

namespace {

constexpr qsizetype Bound = 32767;

// What the buffer must hold, kept by the rule alone: a token goes on only while both the raw
// data and the display text stay within the bound.
struct Model {
    CodeString codes;
    QString text;
    QString hex;
    QList<qsizetype> widths;

    bool append(Code code) {
        const QString token = sendToken(code);
        if (codes.size() + 1 > Bound || text.size() + token.size() > Bound)
            return false;
        codes.append(code);
        text += token;
        hex += hexOf(code);
        widths.append(token.size());
        return true;
    }
    void removeLast() {
        if (codes.isEmpty())
            return;
        hex.chop(hexOf(codes.takeLast()).size());
        text.chop(widths.takeLast());
    }
    void clear() { *this = Model{}; }
};

// Codes that the keypad and the keyboard can enter.
Code enterableCode(QRandomGenerator& random) {
    const int pick = random.bounded(0, 28 + 94);
    return Code(pick < 28 ? pick : pick - 28 + 32);
}

bool sameForms(const SendBuffer& buffer, const Model& model) {
    return buffer.SendData() == model.codes && buffer.SendText() == model.text &&
           buffer.SendHex() == model.hex;
}

} // namespace

class EditorRandomTest : public QObject {
    Q_OBJECT

    kavtest::FormFixture fx;
    TextBox* text3 = nullptr;
    TextBox* text1 = nullptr;
    Model model;
    int refusals = 0;

    void press(Qt::Key key, const QString& text, Qt::KeyboardModifiers modifiers = {},
               bool autoRepeat = false) {
        kavtest::pressKey(text3, key, text, modifiers, autoRepeat);
    }

    bool windowMatchesModel() const {
        return sameForms(fx.form->sendBuffer(), model) && text3->text() == model.text.left(256) &&
               text3->toPlainText() == text3->text() && text1->text() == model.hex;
    }

    // One random operator action through the window's real controls and key events; clears
    // only where allowed.
    QString randomAction(QRandomGenerator& random, bool clears = true) {
        const int roll = random.bounded(clears ? 100 : 98);
        if (roll < 35) {
            const auto keys = keypadKeys();
            const KeypadKey& key = keys[random.bounded(int(keys.size()))];
            fx.click(key.number);
            if (!model.append(key.code))
                ++refusals;
            return key.objectName();
        }
        if (roll < 65) {
            const QChar ch(char16_t(random.bounded(48, 126)));
            const Qt::KeyboardModifiers modifiers =
                ch.isUpper() ? Qt::ShiftModifier : Qt::KeyboardModifiers{};
            press(Qt::Key(ch.toUpper().unicode()), QString(ch), modifiers, random.bounded(4) == 0);
            if (!model.append(Code(ch.unicode())))
                ++refusals;
            return QStringLiteral("key ") + ch;
        }
        if (roll < 80) {
            struct Ignored {
                Qt::Key key;
                const char16_t* text;
                Qt::KeyboardModifiers modifiers;
            };
            static const Ignored ignored[] = {
                {Qt::Key_Space, u" ", {}},
                {Qt::Key_AsciiTilde, u"~", {}},
                {Qt::Key_Exclam, u"!", {}},
                {Qt::Key_Slash, u"/", {}},
                {Qt::Key_Return, u"\r", {}},
                {Qt::Key_Tab, u"\t", {}},
                {Qt::Key_Escape, u"\x1b", {}},
                {Qt::Key_Delete, u"\x7f", {}},
                {Qt::Key_Left, u"", {}},
                {Qt::Key_Home, u"", Qt::ControlModifier},
                {Qt::Key_S, u"\x13", Qt::ControlModifier},
                {Qt::Key_S, u"s", Qt::ControlModifier},
                {Qt::Key_X, u"x", Qt::AltModifier},
                {Qt::Key_unknown, u"ｱ", {}},
                {Qt::Key_unknown, u"あ", {}},
                {Qt::Key_unknown, u"\u00e9", {}},
            };
            const Ignored& key = ignored[random.bounded(int(std::size(ignored)))];
            const QString text = QString::fromUtf16(key.text);
            press(key.key, text, key.modifiers);
            return QStringLiteral("ignored key ") + QString::number(key.key, 16);
        }
        if (roll < 98) {
            static const Qt::KeyboardModifiers modifiers[] = {
                {}, Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier};
            QTest::keyClick(text3, Qt::Key_Backspace, modifiers[random.bounded(4)]);
            model.removeLast();
            return QStringLiteral("Backspace");
        }
        fx.click(131);
        model.clear();
        return QStringLiteral("clear");
    }

    // Fills through the window's handlers (the keypad's and the key press's) up to the bound.
    void fillToTheBound(const QList<Code>& cycle) {
        for (int i = 0, refused = 0; refused < 3; ++i) {
            const Code code = cycle[i % cycle.size()];
            if (code >= 48 && code <= 125) {
                kavtest::pressKey(text3, Qt::Key(code), QString(QChar(code)));
            } else {
                for (const KeypadKey& key : keypadKeys())
                    if (key.code == code)
                        fx.button(key.number)->click();
            }
            if (!model.append(code))
                ++refused;
            if (i % 64 == 0)
                QCoreApplication::processEvents(); // as the event loop would between strokes
        }
    }

private slots:
    void initTestCase() {
        QVERIFY(fx.start(kavtest::FormFixture::Active));
        text3 = fx.get<TextBox>("Text3");
        text1 = fx.get<TextBox>("Text1");
    }
    void init() {
        fx.button(131)->click();
        model.clear();
        refusals = 0;
    }

    void bufferAlone_data() {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("appendShare");
        QTest::newRow("balanced") << 1u << 50;
        QTest::newRow("mostly removals") << 2u << 30;
        QTest::newRow("growing to the bound") << 3u << 90;
        QTest::newRow("growing to the bound, other seed") << 4u << 85;
    }
    void bufferAlone() {
        // The buffer by itself, with restores from a saved copy and hand-over mistakes mixed in.
        QFETCH(quint32, seed);
        QFETCH(int, appendShare);
        QRandomGenerator random(seed);
        SendBuffer buffer;
        Model local;
        SendBuffer saved;
        Model savedModel;
        int localRefusals = 0;
        for (int step = 0; step < 60000; ++step) {
            const int roll = random.bounded(100);
            if (roll < appendShare) {
                const Code code = enterableCode(random);
                buffer.NewChar = code;
                buffer.NewToken = sendToken(code);
                const bool accepted = buffer.AppendToken();
                QCOMPARE(accepted, local.append(code));
                localRefusals += !accepted;
            } else if (roll < 97) {
                QCOMPARE(buffer.RemoveLastToken(), !local.codes.isEmpty());
                local.removeLast();
            } else if (roll == 97) {
                saved = buffer;
                savedModel = local;
            } else if (roll == 98) {
                buffer.Restore(saved.SendText(), saved.SendHex(), saved.SendData());
                local = savedModel;
            } else {
                // A token that is not the code's own form is refused, never half taken.
                buffer.NewChar = enterableCode(random);
                buffer.NewToken = QStringLiteral("[X]");
                QVERIFY(!buffer.AppendToken());
            }
            QVERIFY2(sameForms(buffer, local), qPrintable(QStringLiteral("step %1").arg(step)));
            QVERIFY(buffer.SendText().size() <= Bound && buffer.SendData().size() <= Bound);
        }
        if (appendShare >= 85)
            QVERIFY2(localRefusals > 0, "the run never reached the bound");
    }

    void throughTheWindow_data() {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 4; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }
    void throughTheWindow() {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        for (int step = 0; step < 1500; ++step) {
            const QString action = randomAction(random);
            QVERIFY2(windowMatchesModel(),
                     qPrintable(QStringLiteral("step %1: %2").arg(step).arg(action)));
        }
    }

    void throughTheWindowAtTheBound_data() {
        QTest::addColumn<QList<Code>>("fill");
        // Five-wide tokens reach the display text's bound with 6,553 raw characters; one-wide
        // characters reach the raw data's bound itself.
        QTest::newRow("display text full") << QList<Code>{0, 2, 3, 27};
        QTest::newRow("raw data full") << QList<Code>{'0', 'A', 'z', '}'};
        QTest::newRow("mixed widths") << QList<Code>{2, 'A', 32, '!', 8, 'q'};
    }
    void throughTheWindowAtTheBound() {
        QFETCH(QList<Code>, fill);
        fillToTheBound(fill);
        QVERIFY(windowMatchesModel());
        QVERIFY(model.text.size() > Bound - 5 || model.codes.size() == Bound);

        // Then random keys and clicks around the bound: refusals leave every form as it was.
        QRandomGenerator random(quint32(fill.size()));
        refusals = 0;
        for (int step = 0; step < 240; ++step) {
            if (step % 40 == 0) {
                // Top up with STX clicks so the run keeps pressing against the bound.
                for (int i = 0; i < 20; ++i) {
                    fx.click(3);
                    if (!model.append(2))
                        ++refusals;
                }
                QVERIFY(windowMatchesModel());
            }
            const QString action = randomAction(random, false);
            QVERIFY2(windowMatchesModel(),
                     qPrintable(QStringLiteral("step %1: %2").arg(step).arg(action)));
        }
        QVERIFY2(refusals > 0, "no append was refused at the bound");

        fx.click(131);
        model.clear();
        QVERIFY(windowMatchesModel());
    }
};

QTEST_MAIN(EditorRandomTest)
#include "tst_editor_random.moc"
