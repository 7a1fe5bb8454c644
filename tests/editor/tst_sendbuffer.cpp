// The send buffer on its own: appends, removals, clear, restore and the 32,767 bound.

#include "mnemonics.h"
#include "sendbuffer.h"

#include <QTest>

using namespace kav;

namespace {

bool append(SendBuffer& buffer, Code code) {
    buffer.NewChar = code;
    buffer.NewToken = sendToken(code);
    return buffer.AppendToken();
}

CodeString codesOf(const char* ascii) {
    CodeString codes;
    for (const char* p = ascii; *p; ++p)
        codes.append(Code(quint8(*p)));
    return codes;
}

struct Forms {
    CodeString data;
    QString text;
    QString hex;
    bool operator==(const Forms&) const = default;
};

Forms formsOf(const SendBuffer& buffer) {
    return {buffer.SendData(), buffer.SendText(), buffer.SendHex()};
}

} // namespace

class SendBufferTest : public QObject {
    Q_OBJECT

private slots:
    void appends_data() {
        QTest::addColumn<CodeString>("codes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("hex");
        QTest::newRow("STX then A") << CodeString{2, 'A'} << "[STX]A"
                                    << "0241";
        QTest::newRow("NUL alone") << CodeString{0} << "[NUL]"
                                   << "00";
        QTest::newRow("DC3 and DC2 differ") << CodeString{19, 18} << "[DC3][DC2]"
                                            << "1312";
        QTest::newRow("SO and EM in upper case") << CodeString{14, 25} << "[SO][EM]"
                                                 << "0E19";
        QTest::newRow("space is SP") << CodeString{32} << "[SP]"
                                     << "20";
        QTest::newRow("a and A are two tokens") << CodeString{'a', 'A'} << "aA"
                                                << "6141";
        QTest::newRow("typed [STX] is five tokens") << codesOf("[STX]") << "[STX]"
                                                    << "5B5354585D";
        QTest::newRow("LF and ESC keep the zero") << CodeString{10, 27} << "[LF][ESC]"
                                                  << "0A1B";
        QTest::newRow("punctuation as itself") << codesOf("&,.") << "&,."
                                               << "262C2E";
    }
    void appends() {
        QFETCH(CodeString, codes);
        QFETCH(QString, text);
        QFETCH(QString, hex);
        SendBuffer buffer;
        for (Code code : codes)
            QVERIFY(append(buffer, code));
        QCOMPARE(buffer.SendData(), codes);
        QCOMPARE(buffer.SendText(), text);
        QCOMPARE(buffer.SendHex(), hex);
    }

    // Removal strips the width of the last raw character's code, never what the text looks like.
    void removals_data() {
        QTest::addColumn<CodeString>("codes");
        QTest::addColumn<QString>("textAfter");
        QTest::addColumn<QString>("hexAfter");
        QTest::newRow("ETX after STX A") << CodeString{2, 'A', 3} << "[STX]A"
                                         << "0241";
        QTest::newRow("NUL strips five") << CodeString{'x', 0} << "x"
                                         << "78";
        QTest::newRow("SP strips four") << CodeString{'x', 32} << "x"
                                        << "78";
        QTest::newRow("! strips one") << CodeString{2, '!'} << "[STX]"
                                      << "02";
        QTest::newRow("BS strips four") << CodeString{8} << ""
                                        << "";
        QTest::newRow("typed ] strips one") << codesOf("[STX]") << "[STX"
                                            << "5B535458";
        QTest::newRow("typed text that looks like a mnemonic")
            << CodeString{'[', 'N', 'U', 'L', ']', 0} << "[NUL]"
            << "5B4E554C5D";
    }
    void removals() {
        QFETCH(CodeString, codes);
        QFETCH(QString, textAfter);
        QFETCH(QString, hexAfter);
        SendBuffer buffer;
        for (Code code : codes)
            QVERIFY(append(buffer, code));
        QVERIFY(buffer.RemoveLastToken());
        QCOMPARE(buffer.SendText(), textAfter);
        QCOMPARE(buffer.SendHex(), hexAfter);
        QCOMPARE(buffer.SendData(), codes.first(codes.size() - 1));
    }

    void typedMnemonicComesOffOneCharacterAtATime() {
        SendBuffer buffer;
        for (Code code : codesOf("[STX]"))
            append(buffer, code);
        for (const char* left : {"[STX", "[ST", "[S", "[", ""}) {
            QVERIFY(buffer.RemoveLastToken());
            QCOMPARE(buffer.SendText(), QLatin1String(left));
        }
    }

    void removeFromEmptyChangesNothing() {
        SendBuffer buffer;
        QVERIFY(!buffer.RemoveLastToken());
        QCOMPARE(formsOf(buffer), Forms{});
        append(buffer, 2);
        QVERIFY(buffer.RemoveLastToken());
        QVERIFY(!buffer.RemoveLastToken());
        QCOMPARE(formsOf(buffer), Forms{});
    }

    void removeAfterRestore() {
        SendBuffer saved;
        for (Code code : CodeString{2, 'A', 32, 3})
            append(saved, code);
        SendBuffer buffer;
        append(buffer, 'z');
        buffer.Restore(saved.SendText(), saved.SendHex(), saved.SendData());
        QVERIFY(buffer.RemoveLastToken());
        QCOMPARE(buffer.SendText(), QStringLiteral("[STX]A[SP]"));
        QCOMPARE(buffer.SendHex(), QStringLiteral("024120"));
        QVERIFY(buffer.RemoveLastToken());
        QCOMPARE(buffer.SendText(), QStringLiteral("[STX]A"));
        QVERIFY(append(buffer, 0));
        QCOMPARE(buffer.SendText(), QStringLiteral("[STX]A[NUL]"));
        QCOMPARE(buffer.SendHex(), QStringLiteral("024100"));
    }

    void clearEmptiesEverything() {
        SendBuffer buffer;
        for (Code code : CodeString{2, 'A', 3})
            append(buffer, code);
        buffer.Clear();
        QCOMPARE(formsOf(buffer), Forms{});
        QVERIFY(buffer.NewToken.isEmpty());
        QCOMPARE(buffer.NewChar, Code(0));
        QVERIFY(!buffer.RemoveLastToken());
        QVERIFY(append(buffer, 'B'));
        QCOMPARE(buffer.SendHex(), QStringLiteral("42"));
    }

    void tokenThatIsNotTheCodesOwnIsRefused_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("token");
        QTest::newRow("empty token") << int('A') << QString();
        QTest::newRow("mnemonic of another code") << 2 << "[ETX]";
        QTest::newRow("NUL as a raw character") << 0 << QString(QChar(0));
        QTest::newRow("full-width caption") << 38 << "＆";
        QTest::newRow("two characters for one") << int('A') << "AA";
    }
    void tokenThatIsNotTheCodesOwnIsRefused() {
        QFETCH(int, code);
        QFETCH(QString, token);
        SendBuffer buffer;
        append(buffer, 2);
        const Forms before = formsOf(buffer);
        buffer.NewChar = Code(code);
        buffer.NewToken = token;
        QVERIFY(!buffer.AppendToken());
        QCOMPARE(formsOf(buffer), before);
    }

    // The bound of 32,767 characters holds for the raw data and for the display text alike.
    void bound_data() {
        QTest::addColumn<int>("fillCode");
        QTest::addColumn<int>("fillCount");
        QTest::addColumn<int>("nextCode");
        QTest::addColumn<bool>("accepted");
        const int max = SendBuffer::MaxLength;
        QTest::newRow("data full") << int('0') << max << int('1') << false;
        QTest::newRow("data one short") << int('0') << max - 1 << int('1') << true;
        QTest::newRow("data one short, mnemonic too wide") << int('0') << max - 1 << 0 << false;
        QTest::newRow("text near full of 5-wide tokens") << 0 << max / 5 << 0 << false;
        QTest::newRow("text near full, 4-wide too wide") << 0 << max / 5 << 32 << false;
        QTest::newRow("text near full, 1-wide fits") << 0 << max / 5 << int('!') << true;
        QTest::newRow("text full of 4-wide tokens") << 32 << max / 4 << 8 << false;
        QTest::newRow("text full of 4-wide, 1-wide fits") << 32 << max / 4 << int('}') << true;
    }
    void bound() {
        QFETCH(int, fillCode);
        QFETCH(int, fillCount);
        QFETCH(int, nextCode);
        QFETCH(bool, accepted);
        SendBuffer buffer;
        for (int i = 0; i < fillCount; ++i)
            QVERIFY(append(buffer, Code(fillCode)));
        const Forms before = formsOf(buffer);
        QCOMPARE(append(buffer, Code(nextCode)), accepted);
        if (!accepted) {
            QCOMPARE(formsOf(buffer), before);
        } else {
            QCOMPARE(buffer.SendData().size(), before.data.size() + 1);
            QCOMPARE(buffer.SendText(), before.text + sendToken(Code(nextCode)));
            QCOMPARE(buffer.SendHex(), before.hex + hexOf(Code(nextCode)));
        }
        QVERIFY(buffer.SendData().size() <= SendBuffer::MaxLength);
        QVERIFY(buffer.SendText().size() <= SendBuffer::MaxLength);

        // At the bound the buffer still works: the last token comes off and goes back on.
        const Forms full = formsOf(buffer);
        const Code last = buffer.SendData().last();
        QVERIFY(buffer.RemoveLastToken());
        QCOMPARE(buffer.SendText().size(), full.text.size() - tokenWidth(last));
        QVERIFY(append(buffer, last));
        QCOMPARE(formsOf(buffer), full);
    }

    void fillToTheBoundAndEmptyAgain() {
        // A long mixed run up to the bound and all the way back keeps the forms in step.
        SendBuffer buffer;
        const CodeString cycle{2, 'A', 32, 0, '}', 25, '!', 8};
        int refusals = 0;
        for (int i = 0; refusals < 20; ++i) {
            if (!append(buffer, cycle[i % cycle.size()]))
                ++refusals;
        }
        QVERIFY(buffer.SendText().size() > SendBuffer::MaxLength - 5);
        QCOMPARE(buffer.SendHex(), hexOf(buffer.SendData()));
        while (buffer.RemoveLastToken()) {
        }
        QCOMPARE(formsOf(buffer), Forms{});
    }
};

QTEST_GUILESS_MAIN(SendBufferTest)
#include "tst_sendbuffer.moc"
