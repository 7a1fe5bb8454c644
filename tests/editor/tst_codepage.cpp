// Code page, hexadecimal rendering and the mnemonic table, each on its own.

#include "codepage.h"
#include "mnemonics.h"

#include <QFile>
#include <QHash>
#include <QTest>

using namespace kav;

namespace {
QString hexOf(const QString& text) {
    QStringList units;
    for (QChar unit : text)
        units << QStringLiteral("%1").arg(unit.unicode(), 4, 16, QChar(u'0')).toUpper();
    return units.join(u' ');
}
} // namespace

class CodePageTest : public QObject {
    Q_OBJECT

private slots:
    void hex_data() {
        QTest::addColumn<CodeString>("codes");
        QTest::addColumn<QString>("hex");
        QTest::newRow("empty") << CodeString{} << QString();
        QTest::newRow("NUL") << CodeString{0x00} << "00";
        QTest::newRow("zeros kept, no separators") << CodeString{0x0A, 0x1B, 0x7D} << "0A1B7D";
        QTest::newRow("a is not A") << CodeString{0x61, 0x41} << "6141";
        QTest::newRow("high single bytes") << CodeString{0x7F, 0xB1, 0xFF} << "7FB1FF";
        QTest::newRow("double-byte") << CodeString{0x8140, 0xE040, 0xFCFC} << "8140E040FCFC";
        QTest::newRow("mixed widths") << CodeString{0x00, 0x82A0, 0x1B, 0xB1} << "0082A01BB1";
        QTest::newRow("typed [STX]") << CodeString{0x5B, 0x53, 0x54, 0x58, 0x5D} << "5B5354585D";
    }
    void hex() {
        QFETCH(CodeString, codes);
        QFETCH(QString, hex);
        QCOMPARE(hexOf(codes), hex);
        // Code by code, appended or alone, the rendering is the same as over the whole string.
        QString built, alone;
        for (Code code : codes) {
            appendHex(built, code);
            alone += hexOf(code);
        }
        QCOMPARE(built, hex);
        QCOMPARE(alone, hex);
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

    // Every lead/trail pair against the one reference table that every build reads, so that the
    // ICU decoder (Linux) and Windows' own code page 932 can never drift apart: the same
    // character for each listed pair, the stand-in for each unlisted one.
    void textOfEveryPairAsTheReference() {
        QFile file(QStringLiteral(":/cp932-pairs.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        QHash<Code, QString> reference;
        while (!file.atEnd()) {
            const QList<QByteArray> fields = file.readLine().simplified().split(' ');
            if (fields.size() < 2 || fields[0].startsWith('#'))
                continue;
            QString text;
            for (qsizetype i = 1; i < fields.size(); ++i)
                text += QChar(char16_t(fields[i].toUShort(nullptr, 16)));
            reference.insert(Code(fields[0].toUShort(nullptr, 16)), text);
        }
        QVERIFY(reference.size() > 7000);
        QStringList differences;
        int listed = 0;
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                if (!isLeadByte(quint8(lead)) || !isTrailByte(quint8(trail)))
                    continue;
                const Code code = Code(lead << 8 | trail);
                const QString expected = reference.value(code, QString(StandIn));
                listed += reference.contains(code);
                const QString actual = textOf(code);
                if (actual != expected)
                    differences << QStringLiteral("%1: %2 not %3")
                                       .arg(hexOf(code), hexOf(actual), hexOf(expected));
            }
        }
        QCOMPARE(listed, reference.size()); // no entry outside the pair ranges
        qInfo("%d pairs with a character compared", listed);
        QVERIFY2(differences.isEmpty(), qPrintable(differences.join(u'\n')));
    }

    // The code Windows' code page 932 encoder writes for a character; -1 for none.
    void codeOfCharacter_data() {
        QTest::addColumn<uint>("character");
        QTest::addColumn<int>("code");
        QTest::newRow("DEL") << 0x007Fu << 0x7F;
        QTest::newRow("katakana first") << 0xFF61u << 0xA1;
        QTest::newRow("katakana last") << 0xFF9Fu << 0xDF;
        QTest::newRow("kanji") << 0x4E9Cu << 0x889F;
        // Characters with more than one code.
        QTest::newRow("JIS before NEC row 13") << 0x2252u << 0x81E0;
        QTest::newRow("JIS before NEC row 13, IBM") << 0x2235u << 0x81E6;
        QTest::newRow("JIS before IBM, NEC-selected") << 0xFFE2u << 0x81CA;
        QTest::newRow("NEC row 13 before IBM") << 0x2160u << 0x8754;
        QTest::newRow("IBM before NEC-selected") << 0x2170u << 0xFA40;
        QTest::newRow("IBM kanji before NEC-selected") << 0x7E8Au << 0xFA5C;
        // The JIS X 0208 forms, as their Shift_JIS codes.
        QTest::newRow("wave dash") << 0x301Cu << 0x8160;
        QTest::newRow("minus sign") << 0x2212u << 0x817C;
        QTest::newRow("cent sign") << 0x00A2u << 0x8191;
        QTest::newRow("pound sign") << 0x00A3u << 0x8192;
        QTest::newRow("not sign") << 0x00ACu << 0x81CA;
        QTest::newRow("double vertical line") << 0x2016u << 0x8161;
        QTest::newRow("em dash") << 0x2014u << 0x815C;
        QTest::newRow("e acute") << 0x00E9u << -1;
        QTest::newRow("yen sign") << 0x00A5u << -1;
        QTest::newRow("C1 control") << 0x0080u << -1;
        QTest::newRow("replacement character") << 0xFFFDu << -1;
        QTest::newRow("emoji") << 0x1F600u << -1;
    }
    void codeOfCharacter() {
        QFETCH(uint, character);
        QFETCH(int, code);
        const std::optional<Code> encoded = codeOf(char32_t(character));
        QCOMPARE(encoded ? int(*encoded) : -1, code);
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

    // The edges of the lead and trail ranges.
    void leadAndTrailBytes_data() {
        QTest::addColumn<int>("byte");
        QTest::addColumn<bool>("lead");
        QTest::addColumn<bool>("trail");
        QTest::newRow("3F") << 0x3F << false << false;
        QTest::newRow("40") << 0x40 << false << true;
        QTest::newRow("7E") << 0x7E << false << true;
        QTest::newRow("7F") << 0x7F << false << false;
        QTest::newRow("80") << 0x80 << false << true;
        QTest::newRow("81") << 0x81 << true << true;
        QTest::newRow("9F") << 0x9F << true << true;
        QTest::newRow("A0") << 0xA0 << false << true;
        QTest::newRow("DF") << 0xDF << false << true;
        QTest::newRow("E0") << 0xE0 << true << true;
        QTest::newRow("FC") << 0xFC << true << true;
        QTest::newRow("FD") << 0xFD << false << false;
    }
    void leadAndTrailBytes() {
        QFETCH(int, byte);
        QFETCH(bool, lead);
        QFETCH(bool, trail);
        QCOMPARE(isLeadByte(quint8(byte)), lead);
        QCOMPARE(isTrailByte(quint8(byte)), trail);
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
};

QTEST_GUILESS_MAIN(CodePageTest)
#include "tst_codepage.moc"
