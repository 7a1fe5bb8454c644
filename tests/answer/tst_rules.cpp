// The rules file as kavetta-answer reads it: what it refuses and where, what a request matches
// and what a reply puts in, and the rules a kavetta-send log replays as.

#include "replay.h"
#include "rules.h"

#include <QTest>

using namespace kav;

class TestRules : public QObject {
    Q_OBJECT
private slots:
    void refused_data();
    void refused();
    void read_data();
    void read();
    void matching_data();
    void matching();
    void writtenReadsBack_data();
    void writtenReadsBack();
    void replayedLog();
};

void TestRules::refused_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("check");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("why");
    QTest::newRow("no rule word") << "# fine\n\n  answer A reply B"
                                  << "" << 3 << 3 << "begins no rule";
    QTest::newRow("no request") << "on   "
                                << "" << 1 << 6 << "needs the request";
    QTest::newRow("unknown mnemonic") << "on A[XYZ] reply B"
                                      << "" << 1 << 5 << "is no mnemonic";
    QTest::newRow("raw control character") << "on A\x01 reply B"
                                           << "" << 1 << 5 << "raw control";
    QTest::newRow("half a byte") << "on hex 01 0 reply B"
                                 << "" << 1 << 11 << "half a byte";
    QTest::newRow("no hex digits") << "on hex reply B"
                                   << "" << 1 << 8 << "needs the bytes";
    QTest::newRow("no reply message") << "on A reply"
                                      << "" << 1 << 11 << "reply is missing";
    QTest::newRow("capture in request") << "on A[$1] reply B"
                                        << "" << 1 << 5 << "puts a matched";
    QTest::newRow("wildcard in reply") << "on A reply B[?]"
                                       << "" << 1 << 13 << "matches a request";
    QTest::newRow("capture beyond") << "on A[?][*] reply [$3]"
                                    << "" << 1 << 18 << "[$1] to [$2]";
    QTest::newRow("capture zero") << "on A[?] reply [$0]"
                                  << "" << 1 << 15 << "[$1] to [$1]";
    QTest::newRow("after no number") << "on A reply B after soon"
                                     << "" << 1 << 20 << "needs seconds";
    QTest::newRow("after negative") << "on A reply B after -1"
                                    << "" << 1 << 20 << "needs seconds";
    QTest::newRow("then first") << "on A then B"
                                << "" << 1 << 6 << "begin it with";
    QTest::newRow("then after none") << "on A reply none then B"
                                     << "" << 1 << 17 << "silence";
    QTest::newRow("state name") << "on A when re@dy reply B"
                                << "" << 1 << 11 << "state's name";
    QTest::newRow("unknown clause") << "on A reply B later"
                                    << "" << 1 << 14 << "none of when";
    QTest::newRow("second otherwise") << "otherwise reply A\notherwise reply B"
                                      << "" << 2 << 1 << "first is on line 1";
    QTest::newRow("otherwise with when") << "otherwise when x reply A"
                                         << "" << 1 << 1 << "every state";
    QTest::newRow("uncheckable reply") << "on A reply :0G[CR][LF]"
                                       << "modbus-ascii" << 1 << 12 << "--check";
    QTest::newRow("column after CP932 text") << "on あ[?] reply [$2]"
                                             << "" << 1 << 15 << "[$2]";
}

void TestRules::refused() {
    QFETCH(QString, text);
    QFETCH(QString, check);
    QFETCH(int, line);
    QFETCH(int, column);
    QFETCH(QString, why);
    const RuleBook book = parseRules(text, check.isEmpty() ? std::nullopt : checkKindNamed(check));
    QVERIFY(!book.ok());
    QCOMPARE(book.errorLine, line);
    QCOMPARE(book.errorColumn, column);
    QVERIFY2(book.error.startsWith(QStringLiteral("line %1, column %2: ").arg(line).arg(column)),
             qPrintable(book.error));
    QVERIFY2(book.error.contains(why), qPrintable(book.error));
    QVERIFY(book.rules.isEmpty());
}

// What a line reads as: the request's bytes, then each reply's parts as "bytes@ms", turns
// parted by "|".
void TestRules::read_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("replies");
    QTest::addColumn<QString>("when");
    QTest::addColumn<QString>("set");
    QTest::newRow("issue's first")
        << "on [ENQ] reply [ACK] after 0.05" << QByteArray("\x05") << "06@50"
        << ""
        << "";
    QTest::newRow("hex words and pairs")
        << "on hex 01 0304 reply hex 01 83 02" << QByteArray("\x01\x03\x04") << "018302@0"
        << ""
        << "";
    QTest::newRow("comment after blank")
        << "on A#B reply C # a comment" << QByteArray("A#B") << "43@0"
        << ""
        << "";
    QTest::newRow("turns and parts") << "on A reply B after 0.1 then C after 0.2 reply none reply D"
                                     << QByteArray("A") << "42@100 43@200|none|44@0"
                                     << ""
                                     << "";
    QTest::newRow("states") << "on [STX]INIT[ETX] when off reply [ACK] set ready"
                            << QByteArray("\x02INIT\x03") << "06@0"
                            << "off"
                            << "ready";
    QTest::newRow("CP932 and yen") << "on ｱ漢¥ reply x" << QByteArray("\xB1\x8A\xBF\x5C") << "78@0"
                                   << ""
                                   << "";
    QTest::newRow("keyword as a text message")
        << "on reply reply after" << QByteArray("reply") << "6166746572@0"
        << ""
        << "";
}

void TestRules::read() {
    QFETCH(QString, text);
    QFETCH(QByteArray, request);
    QFETCH(QString, replies);
    QFETCH(QString, when);
    QFETCH(QString, set);
    const RuleBook book = parseRules(text);
    QVERIFY2(book.ok(), qPrintable(book.error));
    QCOMPARE(book.rules.size(), 1);
    const Rule& rule = book.rules[0];
    QCOMPARE(filled(rule.request, {}), request);
    QStringList turns;
    for (const Reply& reply : rule.replies) {
        QStringList parts;
        for (const ReplyPart& part : reply.parts)
            parts << QStringLiteral("%1@%2")
                         .arg(QString::fromLatin1(filled(part.bytes, {}).toHex().toUpper()))
                         .arg(part.afterNs / 1'000'000);
        turns << (parts.isEmpty() ? QStringLiteral("none") : parts.join(u' '));
    }
    QCOMPARE(turns.join(u'|'), replies);
    QCOMPARE(rule.when, when);
    QCOMPARE(rule.set.value_or(QString()), set);
}

void TestRules::matching_data() {
    QTest::addColumn<QString>("request");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("matches");
    QTest::addColumn<QString>("captures"); // the captures, joined by "|"
    QTest::newRow("exact") << "[STX]R1[ETX]" << QByteArray("\x02R1\x03") << true << "";
    QTest::newRow("exact is whole") << "[STX]R1" << QByteArray("\x02R1\x03") << false << "";
    QTest::newRow("one byte") << "[STX]R[?][ETX]" << QByteArray("\x02R7\x03") << true << "7";
    QTest::newRow("one is not none") << "R[?]" << QByteArray("R") << false << "";
    QTest::newRow("one is not two") << "R[?]" << QByteArray("R12") << false << "";
    QTest::newRow("run may be empty") << "R[*]" << QByteArray("R") << true << "";
    QTest::newRow("run takes the rest")
        << "hex 01 03 [*]" << QByteArray("\x01\x03\x00\x05") << true << "\x00\x05";
    QTest::newRow("shortest run first") << "[*],[*]" << QByteArray("a,b,c") << true << "a|b,c";
    QTest::newRow("run then one at end") << "[*][?]" << QByteArray("abc") << true << "ab|c";
    QTest::newRow("backtracks") << "[*]ab[?]" << QByteArray("xabyabz") << true << "xaby|z";
    QTest::newRow("no match backtracking")
        << "[*]a[*]a[*]a[*]b" << QByteArray(200, 'a') << false << "";
}

void TestRules::matching() {
    QFETCH(QString, request);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, matches);
    QFETCH(QString, captures);
    const RuleBook plain = parseRules(QStringLiteral("on %1 reply x").arg(request));
    QVERIFY2(plain.ok(), qPrintable(plain.error));
    const auto found = matchRequest(plain.rules[0].request, bytes);
    QCOMPARE(found.has_value(), matches);
    if (!found)
        return;
    QCOMPARE(plain.rules[0].wildcards, found->size());
    QStringList got;
    for (const QByteArray& capture : *found)
        got << QString::fromLatin1(capture);
    QCOMPARE(got.join(u'|'), QString::fromLatin1(captures.toLatin1()));
}

// Bytes as a rule writes them read back as the same bytes.
void TestRules::writtenReadsBack_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("hex");
    QTest::newRow("mnemonics and text") << QByteArray("\x02R1\x03") << false;
    QTest::newRow("space") << QByteArray("A B") << false;
    QTest::newRow("high byte") << QByteArray("\x01\x83") << true;
    QTest::newRow("bracket") << QByteArray("[ACK]") << true;
    QTest::newRow("comment sign first") << QByteArray("#1") << true;
    QTest::newRow("keyword") << QByteArray("none") << true;
}

void TestRules::writtenReadsBack() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, hex);
    const QString written = writtenBytes(bytes);
    QCOMPARE(written.startsWith(QStringLiteral("hex ")), hex);
    const RuleBook book = parseRules(QStringLiteral("on %1 reply %1").arg(written));
    QVERIFY2(book.ok(), qPrintable(book.error));
    QCOMPARE(filled(book.rules[0].request, {}), bytes);
    QCOMPARE(filled(book.rules[0].replies[0].parts[0].bytes, {}), bytes);
}

void TestRules::replayedLog() {
    // Two kinds of exchange: one always answered alike, one answered in turn and once not at
    // all; the reads between exchanges belong to none.
    const QString log = QStringLiteral(
        R"({"event":"start","port":"COM1","t_us":1}
{"event":"write","hex":"05","t_us":10}
{"event":"read","hex":"06","t_us":20}
{"event":"exchange","exchange":1,"outcome":"replied","ms":12.0,"t_us":30}
{"event":"read","hex":"FF","t_us":35}
{"event":"write","hex":"05","t_us":40}
{"event":"read","hex":"06","t_us":50}
{"event":"exchange","exchange":2,"outcome":"replied","ms":30.0,"t_us":60}
{"event":"write","hex":"05","t_us":70}
{"event":"read","hex":"06","t_us":80}
{"event":"exchange","exchange":3,"outcome":"replied","ms":14.0,"t_us":90}
{"event":"write","hex":"025231","t_us":100}
{"event":"read","hex":"02","t_us":110}
{"event":"read","hex":"5603","t_us":111}
{"event":"exchange","exchange":4,"outcome":"replied","ms":50.5,"t_us":120}
{"event":"write","hex":"025231","t_us":130}
{"event":"exchange","exchange":5,"outcome":"no reply","t_us":140}
)");
    const ReplayRules replay = rulesFromLog(log);
    QVERIFY2(replay.error.isEmpty(), qPrintable(replay.error));
    const QStringList lines = replay.rules.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[1], QStringLiteral("on [ENQ] reply [ACK] after 0.014"));
    QCOMPARE(lines[2], QStringLiteral("on [STX]R1 reply [STX]V[ETX] after 0.0505 reply none"));
    QVERIFY(parseRules(replay.rules).ok());

    QVERIFY(rulesFromLog(QStringLiteral("{\"event\":\"start\",\"program\":\"kavetta-answer\"}"))
                .error.contains(u"not of kavetta-send"));
    QVERIFY(rulesFromLog(QStringLiteral("{}\nnot json")).error.startsWith(u"line 2: "));
}

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"
