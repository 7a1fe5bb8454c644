// Code page, hexadecimal rendering and the mnemonic table, each on its own.

#include "codepage.h"
#include "keypad.h"
#include "mnemonics.h"

#include <QSet>
#include <QTest>

using namespace kav;

class CodePageTest : public QObject {
    Q_OBJECT

private slots:
    void hexOfOneCode_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("hex");
        QTest::newRow("NUL") << 0x00 << "00";
        QTest::newRow("LF keeps its zero") << 0x0A << "0A";
        QTest::newRow("ESC keeps its zero") << 0x1B << "1B";
        QTest::newRow("space") << 0x20 << "20";
        QTest::newRow("A") << 0x41 << "41";
        QTest::newRow("a is not A") << 0x61 << "61";
        QTest::newRow("close brace, upper case") << 0x7D << "7D";
        QTest::newRow("DEL") << 0x7F << "7F";
        QTest::newRow("half-width katakana") << 0xB1 << "B1";
        QTest::newRow("FF") << 0xFF << "FF";
        QTest::newRow("double-byte 82A0") << 0x82A0 << "82A0";
        QTest::newRow("double-byte 8140") << 0x8140 << "8140";
        QTest::newRow("double-byte E040") << 0xE040 << "E040";
        QTest::newRow("double-byte FCFC") << 0xFCFC << "FCFC";
    }
    void hexOfOneCode() {
        QFETCH(int, code);
        QFETCH(QString, hex);
        QCOMPARE(hexOf(Code(code)), hex);
    }

    void hexOfString_data() {
        QTest::addColumn<CodeString>("codes");
        QTest::addColumn<QString>("hex");
        QTest::newRow("empty") << CodeString{} << QString();
        QTest::newRow("STX A") << CodeString{0x02, 0x41} << "0241";
        QTest::newRow("no separators") << CodeString{0x00, 0x0A, 0x7D} << "000A7D";
        QTest::newRow("mixed widths") << CodeString{0x00, 0x82A0, 0x1B, 0xB1} << "0082A01BB1";
        QTest::newRow("typed [STX]") << CodeString{0x5B, 0x53, 0x54, 0x58, 0x5D} << "5B5354585D";
    }
    void hexOfString() {
        QFETCH(CodeString, codes);
        QFETCH(QString, hex);
        QCOMPARE(hexOf(codes), hex);
        // appendHex extends a rendering exactly as a rebuild over the whole string would.
        QString built;
        for (Code code : codes)
            appendHex(built, code);
        QCOMPARE(built, hex);
    }

    void textOfCode_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("NUL as itself") << 0x00 << QString(QChar(0));
        QTest::newRow("US as itself") << 0x1F << QString(QChar(0x1F));
        QTest::newRow("A") << 0x41 << "A";
        QTest::newRow("backslash") << 0x5C << "\\";
        QTest::newRow("tilde") << 0x7E << "~";
        QTest::newRow("DEL as itself") << 0x7F << QString(QChar(0x7F));
        QTest::newRow("katakana first") << 0xA1 << QString(QChar(0xFF61));
        QTest::newRow("katakana a") << 0xB1 << QStringLiteral("ｱ");
        QTest::newRow("katakana last") << 0xDF << QString(QChar(0xFF9F));
        QTest::newRow("hiragana a") << 0x82A0 << QStringLiteral("あ");
        QTest::newRow("ideographic space") << 0x8140 << QString(QChar(0x3000));
        QTest::newRow("kanji") << 0x889F << QStringLiteral("亜");
        // Where CP932 and plain Shift-JIS differ, the Windows mapping holds.
        QTest::newRow("full-width backslash") << 0x815F << QString(QChar(0xFF3C));
        QTest::newRow("full-width tilde") << 0x8160 << QString(QChar(0xFF5E));
        QTest::newRow("NEC roman numeral") << 0x8754 << QString(QChar(0x2160));
        QTest::newRow("user-defined area") << 0xF040 << QString(QChar(0xE000));
        QTest::newRow("lone 80") << 0x80 << QString(StandIn);
        QTest::newRow("lone A0") << 0xA0 << QString(StandIn);
        QTest::newRow("lone FD") << 0xFD << QString(StandIn);
        QTest::newRow("lone FE") << 0xFE << QString(StandIn);
        QTest::newRow("lone FF") << 0xFF << QString(StandIn);
        QTest::newRow("lone lead byte") << 0x82 << QString(StandIn);
        QTest::newRow("unmapped pair 8540") << 0x8540 << QString(StandIn);
        QTest::newRow("unmapped pair 82F2") << 0x82F2 << QString(StandIn);
        QTest::newRow("unmapped pair EFFC") << 0xEFFC << QString(StandIn);
    }
    void textOfCode() {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(textOf(Code(code)), text);
    }

    void textOfEverySingleByte() {
        // Every single byte shows as exactly one character, so a view never merges or drops one.
        for (int code = 0; code < 256; ++code)
            QCOMPARE(textOf(Code(code)).size(), 1);
    }

    void bytesOfCodes_data() {
        QTest::addColumn<CodeString>("codes");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << CodeString{} << QByteArray();
        QTest::newRow("NUL kept") << CodeString{0x00, 0x41} << QByteArray("\x00\x41", 2);
        QTest::newRow("lead byte first")
            << CodeString{0x02, 0x82A0, 0xFF} << QByteArray("\x02\x82\xA0\xFF", 4);
        QTest::newRow("high single bytes")
            << CodeString{0x80, 0xA0, 0xB1, 0xFD} << QByteArray("\x80\xA0\xB1\xFD", 4);
    }
    void bytesOfCodes() {
        QFETCH(CodeString, codes);
        QFETCH(QByteArray, bytes);
        QCOMPARE(bytesOf(codes), bytes);
    }

    void leadAndTrailBytes() {
        for (int b = 0; b < 256; ++b) {
            const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
            const bool trail = (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
            QCOMPARE(isLeadByte(quint8(b)), lead);
            QCOMPARE(isTrailByte(quint8(b)), trail);
        }
    }

    // The one mnemonic table, read three ways.
    void mnemonics_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("mnemonic");
        QTest::addColumn<int>("width");
        const char* names[] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",
                               "LF",  "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3",
                               "DC4", "NAK", "SYN", "ETB", "CAN", "EM",  "SUB", "ESC"};
        for (int code = 0; code < 28; ++code) {
            const QString mnemonic = QStringLiteral("[%1]").arg(QLatin1String(names[code]));
            const bool twoLetters = (code >= 8 && code <= 15) || code == 25;
            QTest::newRow(names[code]) << code << mnemonic << (twoLetters ? 4 : 5);
        }
        QTest::newRow("SP") << 32 << "[SP]" << 4;
    }
    void mnemonics() {
        QFETCH(int, code);
        QFETCH(QString, mnemonic);
        QFETCH(int, width);
        QCOMPARE(mnemonicOf(Code(code)), mnemonic);
        QCOMPARE(sendToken(Code(code)), mnemonic);
        QCOMPARE(tokenWidth(Code(code)), width);
        QCOMPARE(tokenWidth(Code(code)), int(sendToken(Code(code)).size()));
        // The receive side agrees on every mnemonic but NUL's, which arrives as itself.
        QCOMPARE(receiveToken(Code(code)), code == 0 ? QString(QChar(0)) : mnemonic);
    }

    void noMnemonic_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("itself");
        for (int code = 28; code <= 31; ++code)
            QTest::addRow("code %d", code) << code << QString(QChar(code));
        QTest::newRow("!") << 33 << "!";
        QTest::newRow("/") << 47 << "/";
        QTest::newRow("0") << 48 << "0";
        QTest::newRow("[") << 91 << "[";
        QTest::newRow("}") << 125 << "}";
        QTest::newRow("~") << 126 << "~";
        QTest::newRow("DEL") << 127 << QString(QChar(127));
        QTest::newRow("katakana") << 0xB1 << QStringLiteral("ｱ");
        QTest::newRow("double-byte") << 0x82A0 << QStringLiteral("あ");
    }
    void noMnemonic() {
        QFETCH(int, code);
        QFETCH(QString, itself);
        QVERIFY(mnemonicOf(Code(code)).isEmpty());
        QCOMPARE(sendToken(Code(code)), itself);
        QCOMPARE(receiveToken(Code(code)), itself);
        QCOMPARE(tokenWidth(Code(code)), 1);
    }

    void widthIsAlwaysTheTokenLength() {
        for (int code = 0; code < 256; ++code)
            QCOMPARE(tokenWidth(Code(code)), int(sendToken(Code(code)).size()));
    }

    void keypadTable() {
        // 44 buttons: Command1-28 enter codes 0-27, Command33-48 enter codes 32-47, each with
        // the token of the one table; the full-width captions enter ASCII characters.
        const auto keys = keypadKeys();
        QCOMPARE(int(keys.size()), 44);
        QSet<int> numbers, codes;
        for (const KeypadKey& key : keys) {
            QCOMPARE(int(key.code), key.number - 1);
            QCOMPARE(key.token(), sendToken(key.code));
            QCOMPARE(key.objectName(), QStringLiteral("Command%1").arg(key.number));
            numbers.insert(key.number);
            codes.insert(key.code);
        }
        QCOMPARE(numbers.size(), 44);
        QCOMPARE(codes.size(), 44);
        for (int n : {29, 30, 31, 32})
            QVERIFY(!numbers.contains(n));
        const auto captionOf = [&](int number) {
            for (const KeypadKey& key : keys)
                if (key.number == number)
                    return QString::fromUtf8(key.caption);
            return QString();
        };
        QCOMPARE(captionOf(39), QStringLiteral("＆"));
        QCOMPARE(captionOf(45), QStringLiteral("，"));
        QCOMPARE(captionOf(47), QStringLiteral("．"));
        QCOMPARE(captionOf(33), QStringLiteral("SP"));
    }

    void typedCharactersOfAStroke_data() {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("typed");
        QTest::newRow("plain") << 0 << "a"
                               << "a";
        QTest::newRow("Shift") << int(Qt::ShiftModifier) << "A"
                               << "A";
        QTest::newRow("keypad digit") << int(Qt::KeypadModifier) << "5"
                                      << "5";
        QTest::newRow("Backspace") << 0 << "\b"
                                   << "\b";
        QTest::newRow("Ctrl+S as DC3") << int(Qt::ControlModifier) << "\x13"
                                       << "\x13";
        QTest::newRow("Ctrl+S carrying s") << int(Qt::ControlModifier) << "s"
                                           << "";
        QTest::newRow("Ctrl+Shift+A carrying A")
            << int(Qt::ControlModifier | Qt::ShiftModifier) << "A"
            << "";
        QTest::newRow("Alt+x") << int(Qt::AltModifier) << "x"
                               << "";
        QTest::newRow("Meta+b") << int(Qt::MetaModifier) << "b"
                                << "";
        QTest::newRow("AltGr as Ctrl+Alt") << int(Qt::ControlModifier | Qt::AltModifier) << "@"
                                           << "@";
        QTest::newRow("no text") << int(Qt::ControlModifier) << ""
                                 << "";
    }
    void typedCharactersOfAStroke() {
        QFETCH(int, modifiers);
        QFETCH(QString, text);
        QFETCH(QString, typed);
        QCOMPARE(typedCharacters(Qt::KeyboardModifiers(modifiers), text), typed);
    }

    void keyboardCharacters() {
        // Exactly the 78 characters "0" to "}", case-sensitively; nothing else.
        int accepted = 0;
        for (int u = 0; u < 0x10000; ++u) {
            const bool ok = isKeyboardCharacter(QChar(char16_t(u)));
            QCOMPARE(ok, u >= 48 && u <= 125);
            accepted += ok;
        }
        QCOMPARE(accepted, 78);
    }
};

QTEST_GUILESS_MAIN(CodePageTest)
#include "tst_codepage.moc"
