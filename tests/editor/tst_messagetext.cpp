// Messages and expected replies as written on a command line: what is read as which code, what
// is refused and where, and when a reply counts as the one expected.

#include "messagetext.h"

#include <QTest>

using namespace kav;

Q_DECLARE_METATYPE(kav::Reach)

class MessageTextTest : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void matches_data();
    void matches();
};

void MessageTextTest::parse_data() {
    QTest::addColumn<bool>("asHex");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Reach>("reach");
    QTest::addColumn<CodeString>("codes"); // when accepted
    QTest::addColumn<int>("errorAt");      // 0: accepted
    const auto row = [](bool asHex, const char* name) -> QTestData& {
        return QTest::newRow(name) << asHex;
    };

    const Reach send = Reach::Composable;
    const Reach reply = Reach::Received;
    row(false, "frame") << "[STX]AB[ETX]" << send << CodeString{2, 'A', 'B', 3} << 0;
    row(false, "every mnemonic end") << "[NUL][ESC][SP]" << send << CodeString{0, 27, 32} << 0;
    row(false, "blank is space") << "A B" << send << CodeString{'A', ' ', 'B'} << 0;
    row(false, "yen is backslash") << u"\u00A5"_qs << send << CodeString{0x5C} << 0;
    row(false, "range ends") << "!}" << send << CodeString{'!', '}'} << 0;
    row(false, "bracket not a mnemonic")
        << "[1][A]x[" << send << CodeString{'[', '1', ']', '[', 'A', ']', 'x', '['} << 0;
    row(false, "unknown mnemonic") << "AB[XYZ]" << send << CodeString{} << 3;
    row(false, "lower-case mnemonic") << "[stx]" << send << CodeString{} << 1;
    row(false, "tilde") << "A~" << send << CodeString{} << 2;
    row(false, "raw CR") << "AB\r" << send << CodeString{} << 3;
    row(false, "full-width ampersand") << u"A\uFF06"_qs << send << CodeString{} << 2;
    row(false, "kana") << u"\u3042"_qs << send << CodeString{} << 1;
    row(false, "reply: tilde and DEL picture")
        << u"~\u2421\u2400"_qs << reply << CodeString{'~', 0x7F, 0} << 0;
    row(false, "reply: raw tab") << "\t" << reply << CodeString{} << 1;
    row(false, "reply: characters as their codes")
        << u"\u5B8C\uFF71\u00A5"_qs << reply << CodeString{0x8AAE, 0xB1, 0x5C} << 0;
    row(false, "reply: no code") << u"ab\u00E9"_qs << reply << CodeString{} << 3;
    row(false, "reply: emoji") << u"A\U0001F600"_qs << reply << CodeString{} << 2;
    row(true, "code box") << "02414203" << Reach::Composable << CodeString{2, 'A', 'B', 3} << 0;
    row(true, "blanks, lower case") << " 1b 7d " << Reach::Composable << CodeString{27, 125} << 0;
    row(true, "odd digits") << "0241420" << Reach::Composable << CodeString{} << 7;
    row(true, "blank inside a byte") << "0 2" << Reach::Composable << CodeString{} << 2;
    row(true, "not a digit") << "02G1" << Reach::Composable << CodeString{} << 3;
    row(true, "sign") << "+2" << Reach::Composable << CodeString{} << 1;
    row(true, "not composable") << "411C" << Reach::Composable << CodeString{} << 3;
    row(true, "any byte in a reply")
        << "82A0FF1C" << Reach::Received << CodeString{0x82, 0xA0, 0xFF, 0x1C} << 0;
}

void MessageTextTest::parse() {
    QFETCH(bool, asHex);
    QFETCH(QString, text);
    QFETCH(Reach, reach);
    QFETCH(CodeString, codes);
    QFETCH(int, errorAt);
    const WrittenText parsed = asHex ? parseHex(text, reach) : parseWritten(text, reach);
    QCOMPARE(parsed.errorAt, errorAt);
    QCOMPARE(parsed.ok(), errorAt == 0);
    if (errorAt == 0)
        QCOMPARE(parsed.codes, codes);
    else
        QVERIFY(parsed.error.startsWith(QStringLiteral("character %1 ").arg(errorAt)));
}

void MessageTextTest::matches_data() {
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("asHex");
    QTest::addColumn<CodeString>("reply");
    QTest::addColumn<bool>("match");

    QTest::newRow("same") << "[ACK]" << false << CodeString{6} << true;
    QTest::newRow("different") << "[ACK]" << false << CodeString{0x15} << false;
    QTest::newRow("shorter reply") << "OK[CR]" << false << CodeString{'O', 'K'} << false;
    QTest::newRow("longer reply") << "OK" << false << CodeString{'O', 'K', 13} << false;
    QTest::newRow("empty reply") << "OK" << false << CodeString{} << false;
    QTest::newRow("kanji") << u"\u5B8C\u4E86"_qs << false << CodeString{0x8AAE, 0x97B9} << true;
    QTest::newRow("katakana") << u"\uFF71"_qs << false << CodeString{0xB1} << true;
    QTest::newRow("pair as hex") << "82A0" << true << CodeString{0x82A0} << true;
    QTest::newRow("pair split in reply") << "82A0" << true << CodeString{0x82, 0xA0} << true;
    QTest::newRow("half a pair") << "82" << true << CodeString{0x82A0} << false;
    QTest::newRow("character, reply split")
        << u"\u3042"_qs << false << CodeString{0x82, 0xA0} << true;
    // The code page gives small roman one both codes; it is written as the IBM one.
    QTest::newRow("NEC-selected code") << u"\u2170"_qs << false << CodeString{0xEEEF} << false;
    QTest::newRow("IBM code") << u"\u2170"_qs << false << CodeString{0xFA40} << true;
    QTest::newRow("JIS wave dash") << u"\u301C"_qs << false << CodeString{0x8160} << true;
}

void MessageTextTest::matches() {
    QFETCH(QString, expected);
    QFETCH(bool, asHex);
    QFETCH(CodeString, reply);
    QFETCH(bool, match);
    const WrittenText parsed =
        asHex ? parseHex(expected, Reach::Received) : parseWritten(expected, Reach::Received);
    QVERIFY(parsed.ok());
    QCOMPARE(replyMatches(parsed.codes, reply), match);
}

QTEST_GUILESS_MAIN(MessageTextTest)
#include "tst_messagetext.moc"
