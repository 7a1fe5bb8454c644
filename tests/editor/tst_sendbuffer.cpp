// The send buffer on its own: appends, removals, refusals and the 32,767 bound. Long mixed runs
// with clears and restores are the random suite's.

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
    // Appends build all three forms; one removal strips the width of the last raw character's
    // code, never what the text looks like.
    void appendThenRemove_data() {
        QTest::addColumn<CodeString>("codes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QString>("textAfterRemoval");
        QTest::newRow("STX A ETX") << CodeString{2, 'A', 3} << "[STX]A[ETX]"
                                   << "024103"
                                   << "[STX]A";
        QTest::newRow("NUL strips five") << CodeString{'x', 0} << "x[NUL]"
                                         << "7800"
                                         << "x";
        QTest::newRow("SP strips four") << CodeString{'x', 32} << "x[SP]"
                                        << "7820"
                                        << "x";
        QTest::newRow("BS strips four") << CodeString{8} << "[BS]"
                                        << "08"
                                        << "";
        QTest::newRow("! strips one") << CodeString{2, '!'} << "[STX]!"
                                      << "0221"
                                      << "[STX]";
        QTest::newRow("DC3 and DC2 differ") << CodeString{19, 18} << "[DC3][DC2]"
                                            << "1312"
                                            << "[DC3]";
        QTest::newRow("SO and EM in upper case") << CodeString{14, 25} << "[SO][EM]"
                                                 << "0E19"
                                                 << "[SO]";
        QTest::newRow("a and A are two tokens") << CodeString{'a', 'A'} << "aA"
                                                << "6141"
                                                << "a";
        QTest::newRow("typed [STX] is five tokens") << codesOf("[STX]") << "[STX]"
                                                    << "5B5354585D"
                                                    << "[STX";
        QTest::newRow("typed text that looks like a mnemonic")
            << CodeString{'[', 'N', 'U', 'L', ']', 0} << "[NUL][NUL]"
            << "5B4E554C5D00"
            << "[NUL]";
        QTest::newRow("punctuation as itself") << codesOf("&,.") << "&,."
                                               << "262C2E"
                                               << "&,";
    }
    void appendThenRemove() {
        QFETCH(CodeString, codes);
        QFETCH(QString, text);
        QFETCH(QString, hex);
        QFETCH(QString, textAfterRemoval);
        SendBuffer buffer;
        for (Code code : codes)
            QVERIFY(append(buffer, code));
        QCOMPARE(formsOf(buffer), (Forms{codes, text, hex}));
        QVERIFY(buffer.RemoveLastToken());
        QCOMPARE(formsOf(buffer), (Forms{codes.first(codes.size() - 1), textAfterRemoval,
                                         hex.chopped(hexOf(codes.last()).size())}));
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
};

QTEST_GUILESS_MAIN(SendBufferTest)
#include "tst_sendbuffer.moc"
