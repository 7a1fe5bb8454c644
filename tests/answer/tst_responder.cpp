// How kavetta-answer frames what arrives and decides each answer: gaps and terminators, check
// codes taken off requests and put on replies, turns, states, parts, the answers to what no rule
// matches, and faults that a seed repeats.

#include "framer.h"
#include "responder.h"

#include <QTest>

using namespace kav;

namespace {

Responder responder(const QString& rules, const QString& check = QString(), Faults faults = {}) {
    const std::optional<CheckKind> kind = check.isEmpty() ? std::nullopt : checkKindNamed(check);
    const RuleBook book = parseRules(rules, kind);
    if (!book.ok())
        qFatal("%s", qPrintable(book.error));
    return Responder(book, kind, faults);
}

// An answer as one line: the outcome, the rule's line, the parts as hex@ms.
QString shown(const Answer& answer) {
    QStringList parts;
    for (const Answer::Part& part : answer.parts)
        parts << QStringLiteral("%1@%2")
                     .arg(QString::fromLatin1(part.bytes.toHex().toUpper()))
                     .arg(part.afterNs / 1'000'000);
    return QStringLiteral("%1 %2 %3")
        .arg(QLatin1String(outcomeName(answer.outcome)))
        .arg(answer.rule)
        .arg(parts.isEmpty() ? QStringLiteral("-") : parts.join(u' '));
}

} // namespace

class TestResponder : public QObject {
    Q_OBJECT
private slots:
    void framing_data();
    void framing();
    void defaultGap_data();
    void defaultGap();
    void checkCodes_data();
    void checkCodes();
    void conversation_data();
    void conversation();
    void seededFaults();
};

// Chunks as "hex@µs", and the requests they make, as "hex@µs of the last byte".
void TestResponder::framing_data() {
    QTest::addColumn<QByteArray>("terminator");
    QTest::addColumn<QStringList>("chunks");
    QTest::addColumn<QStringList>("requests");
    const QByteArray gap; // 1000 µs
    QTest::newRow("one chunk") << gap << QStringList{"0102@0"} << QStringList{"0102@0"};
    QTest::newRow("chunks within the gap")
        << gap << QStringList{"01@0", "02@900", "03@1800"} << QStringList{"010203@1800"};
    QTest::newRow("gap parts") << gap << QStringList{"01@0", "02@1000", "03@3000"}
                               << QStringList{"01@0", "02@1000", "03@3000"};
    QTest::newRow("terminator") << QByteArray("\r\n") << QStringList{"41420D@0", "0A43@5000"}
                                << QStringList{"41420D0A@5000"}; // "C" waits for its end
    QTest::newRow("terminator twice in a chunk")
        << QByteArray("\r\n") << QStringList{"410D0A420D0A@7"}
        << QStringList{"410D0A@7", "420D0A@7"};
    QTest::newRow("no gap with a terminator")
        << QByteArray(";") << QStringList{"41@0", "42@90000", "3B@900000"}
        << QStringList{"41423B@900000"};
}

void TestResponder::framing() {
    QFETCH(QByteArray, terminator);
    QFETCH(QStringList, chunks);
    QFETCH(QStringList, requests);
    Framer framer(1'000'000, terminator);
    QStringList got;
    auto take = [&](const Request& r) {
        got << QStringLiteral("%1@%2")
                   .arg(QString::fromLatin1(r.bytes.toHex().toUpper()))
                   .arg(r.lastByteNs / 1000);
    };
    for (const QString& chunk : chunks) {
        const qint64 at = chunk.section(u'@', 1).toLongLong() * 1000;
        // What the gap ended before this chunk came.
        if (const auto due = framer.deadline(); due && *due <= at)
            take(*framer.expire(at));
        QVERIFY(!framer.expire(at - 1).has_value() || terminator.isEmpty());
        for (const Request& r :
             framer.feed(QByteArray::fromHex(chunk.section(u'@', 0, 0).toLatin1()), at))
            take(r);
    }
    if (const auto due = framer.deadline())
        take(*framer.expire(*due));
    QCOMPARE(got, requests);
}

void TestResponder::defaultGap_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<qint64>("gapUs");
    QTest::newRow("9600 8N1") << "9600,N,8,1" << qint64(3645);
    QTest::newRow("9600 7E2") << "9600,E,7,2" << qint64(4010);
    QTest::newRow("1200 8N1") << "1200,N,8,1" << qint64(29166);
    QTest::newRow("19200 8N1") << "19200,N,8,1" << qint64(1822);
    QTest::newRow("above 19200") << "115200,N,8,1" << qint64(1750);
}

void TestResponder::defaultGap() {
    QFETCH(QString, settings);
    QFETCH(qint64, gapUs);
    QCOMPARE(defaultGapNs(*parseSettings(settings, false)) / 1000, gapUs);
}

void TestResponder::checkCodes_data() {
    QTest::addColumn<QString>("check");
    QTest::addColumn<QString>("rules");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("answer");
    QTest::newRow("bcc after ETX") << "bcc"
                                   << "on [STX]R1[ETX] reply [STX]V[ETX]"
                                   << QByteArray("\x02R1\x03\x60") << "answered 1 02560355@0";
    QTest::newRow("bcc wrong, silence")
        << "bcc"
        << "on [STX]R1[ETX] reply [STX]V[ETX]" << QByteArray("\x02R1\x03\x61") << "bad check 0 -";
    QTest::newRow("bcc wrong, answered as a rule says")
        << "bcc"
        << "on [STX]R1[ETX] reply [ACK]\nbad-check reply [NAK]" << QByteArray("\x02R1\x03\x61")
        << "bad check 2 15@0";
    QTest::newRow("too short for a code")
        << "crc16-modbus"
        << "on [*] reply A" << QByteArray("\x01") << "bad check 0 -";
    QTest::newRow("modbus ascii, LRC before CR LF")
        << "modbus-ascii"
        << "on :0103[*][CR][LF] reply :010302002A[CR][LF]" << QByteArray(":010300000001FB\r\n")
        << "answered 1 3A3031303330323030324144300D0A@0";
    QTest::newRow("crc16-modbus at the end, low byte first")
        << "crc16-modbus"
        << "on hex 01 03 [*] reply hex 01 03 02 00 2A" << QByteArray::fromHex("010300000001840A")
        << "answered 1 010302002A399B@0";
    QTest::newRow("code in the part that ends the frame")
        << "bcc"
        << "on [ENQ] reply [STX]A after 0.01 then [ETX]x after 0.02" << QByteArray("\x05\x05")
        << "answered 1 0241@10 0342x@20";
}

void TestResponder::checkCodes() {
    QFETCH(QString, check);
    QFETCH(QString, rules);
    QFETCH(QByteArray, request);
    QFETCH(QString, answer);
    Responder r = responder(rules, check);
    QString got = shown(r.answer(request));
    // The expected text writes a raw character after a part's hex as itself, for readability.
    answer.replace(QStringLiteral("x@"), QStringLiteral("78@"));
    QCOMPARE(got.remove(u' ').toUpper(), answer.remove(u' ').toUpper());
}

// Requests in order, and each answer.
void TestResponder::conversation_data() {
    QTest::addColumn<QString>("rules");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QStringList>("answers");
    QTest::newRow("turns come round")
        << "on A reply B reply none reply C" << QStringList{"A", "A", "A", "A"}
        << QStringList{"answered 1 42@0", "answered 1 -", "answered 1 43@0", "answered 1 42@0"};
    QTest::newRow("state first") << "on [STX]INIT[ETX] reply [ACK] set ready\n"
                                    "on [STX]R[?][ETX] when ready reply [STX]V[$1][ETX]\n"
                                    "on [*] reply [NAK]"
                                 << QStringList{"\x02R1\x03", "\x02INIT\x03", "\x02R1\x03"}
                                 << QStringList{"answered 3 15@0", "answered 1 06@0",
                                                "answered 2 02563103@0"};
    QTest::newRow("first rule that fits")
        << "on A[*] reply 1\non AB reply 2" << QStringList{"AB"} << QStringList{"answered 1 31@0"};
    QTest::newRow("otherwise, and its state")
        << "on A reply B\notherwise reply [NAK] set lost\non C when lost reply D"
        << QStringList{"X", "C"} << QStringList{"unmatched 2 15@0", "answered 3 44@0"};
    QTest::newRow("unmatched is silent")
        << "on A reply B" << QStringList{"X"} << QStringList{"unmatched 0 -"};
    QTest::newRow("parts and captures")
        << "on R[?][?] reply [$2] after 0.05 then [$1] after 0.1" << QStringList{"R12"}
        << QStringList{"answered 1 32@50 31@100"};
}

void TestResponder::conversation() {
    QFETCH(QString, rules);
    QFETCH(QStringList, requests);
    QFETCH(QStringList, answers);
    Responder r = responder(rules);
    QStringList got;
    for (const QString& request : requests)
        got << shown(r.answer(request.toLatin1()));
    QCOMPARE(got, answers);
}

void TestResponder::seededFaults() {
    const QString rules = QStringLiteral("on [*] reply ABCDEFGH after 0.01");
    const Faults faults{0.3, 0.3, 0.3, 5'000'000, 42};
    auto run = [&](quint64 seed) {
        Faults f = faults;
        f.seed = seed;
        Responder r = responder(rules, QString(), f);
        QStringList log;
        for (int i = 0; i < 200; ++i) {
            const Answer a = r.answer("?");
            log << QStringLiteral("%1 %2 %3 %4")
                       .arg(a.dropped)
                       .arg(a.corruptedAt)
                       .arg(a.breakFirst)
                       .arg(shown(a));
            if (!a.dropped) {
                // A corrupted byte differs from the rule's; the others are as written.
                const QByteArray bytes = a.parts[0].bytes;
                for (qsizetype at = 0; at < bytes.size(); ++at)
                    if ((bytes[at] != "ABCDEFGH"[at]) != (at == a.corruptedAt))
                        return QStringList{QStringLiteral("byte %1 wrong").arg(at)};
                if (a.parts[0].afterNs < 10'000'000 || a.parts[0].afterNs > 15'000'000)
                    return QStringList{QStringLiteral("delay %1").arg(a.parts[0].afterNs)};
            }
        }
        const AnswerTally& t = r.tally();
        // Each fault happens about as often as asked.
        for (int count : {t.dropped, t.corrupted, t.breaks})
            if (count < 25 || count > 100)
                return QStringList{
                    QStringLiteral("%1 %2 %3").arg(t.dropped).arg(t.corrupted).arg(t.breaks)};
        return log;
    };
    const QStringList first = run(42);
    QCOMPARE(first.size(), 200);
    QCOMPARE(run(42), first);
    QVERIFY(run(43) != first);
}

QTEST_GUILESS_MAIN(TestResponder)
#include "tst_responder.moc"
