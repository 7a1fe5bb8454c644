// kavetta-send as a script runs it: against the echoing virtual device (COM1), a silent
// pseudo-terminal (COM2) and a port that leads nowhere (COM3); and its statistics on their own.

#include "commandline.h"
#include "mscomm.h"
#include "options.h"
#include "ptyfixture.h"
#include "report.h"
#include "script.h"
#include "sendbuffer.h"
#include "status.h"
#include "timedlog.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <sys/ioctl.h>
#include <sys/resource.h>

using namespace kav;
using namespace kavtest;

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run runSend(const QStringList& arguments) {
    QProcess send;
    send.start(QStringLiteral(KAVETTA_SEND), arguments);
    Run run;
    if (!send.waitForFinished(60000) || send.exitStatus() != QProcess::NormalExit)
        return run;
    run.status = send.exitCode();
    run.out = QString::fromUtf8(send.readAllStandardOutput());
    run.err = QString::fromUtf8(send.readAllStandardError());
    return run;
}

// A silent far end as COM2.
bool onCom2(const Pty& far) {
    return far.ok() && linkPort(2, far.slaveName);
}

QJsonObject lastJson(const QString& out) {
    return QJsonDocument::fromJson(out.trimmed().split(u'\n').last().toUtf8()).object();
}

} // namespace

class SendTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void oneExchange();
    void expect_data();
    void expect();
    void repeatStatistics();
    void interruptEndsWithSummary();
    void refusedBeforeWriting_data();
    void refusedBeforeWriting();
    void portNotOpened_data();
    void portNotOpened();
    void lostDeviceEndsTheRun_data();
    void lostDeviceEndsTheRun();
    void unwritableOutput_data();
    void unwritableOutput();
    void checkCode_data();
    void checkCode();
    void sessionLog_data();
    void sessionLog();
    void logFullInTheMiddle();
    void conversation_data();
    void conversation();
    void scriptRefused_data();
    void scriptRefused();
    void sameRuleOnBothSides_data();
    void sameRuleOnBothSides();
    void onlyUtf8Read_data();
    void onlyUtf8Read();
    void statistics_data();
    void statistics();
    void reportText_data();
    void reportText();
    void oneLineAgreesWithJson_data();
    void oneLineAgreesWithJson();
    void arguments_data();
    void arguments();
    void portsListedAndAssigned();
    void manualAgreesWithCode_data();
    void manualAgreesWithCode();

private:
    QTemporaryDir config_;
    QProcess device_;
};

void SendTest::initTestCase() {
    QVERIFY(config_.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
    device_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    device_.start(QStringLiteral(KAVETTA_ANSWER),
                  {QStringLiteral("--pty"), portEntry(1), QStringLiteral(KAVETTA_ECHO_RULES)});
    QVERIFY(device_.waitForStarted());
    QDeadlineTimer deadline(5000);
    while (!QFileInfo(portEntry(1)).exists() && !deadline.hasExpired())
        QTest::qWait(10);
    QVERIFY(QFileInfo(portEntry(1)).exists());
}

void SendTest::cleanupTestCase() {
    device_.terminate();
    device_.waitForFinished(5000);
}

void SendTest::oneExchange() {
    const Run run = runSend({QStringLiteral("COM 1"), QStringLiteral("[STX]A[SP]\u00A5[ETX]")});
    QCOMPARE(run.status, 0);
    const QStringList lines = run.out.split(u'\n');
    QCOMPARE(lines.mid(0, 6), QStringList({"sent:   [STX]A[SP]\\[ETX]", "        0241205C03",
                                           "        5 characters", "reply:  [STX]A[SP]\\[ETX]",
                                           "        0241205C03", "        5 characters"}));
    // The device answers after about 300 ms: the window would show 0.3. A pseudo-terminal's
    // output queue is empty as soon as it is written to, so the turnaround is all of it.
    static const QRegularExpression time(QStringLiteral("^time:   (\\d+\\.\\d) ms \\(0\\.3 in the "
                                                        "window\\), turnaround (\\d+\\.\\d) ms$"));
    const QRegularExpressionMatch match = time.match(lines.value(6));
    QVERIFY2(match.hasMatch(), qPrintable(run.out));
    QVERIFY(match.captured(1).toDouble() >= 290);
    QVERIFY2(match.captured(2).toDouble() <= match.captured(1).toDouble() &&
                 match.captured(2).toDouble() >= match.captured(1).toDouble() - 1,
             qPrintable(lines.value(6)));
}

void SendTest::expect_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::newRow("same") << QStringList{"--expect", "[ENQ]Q"} << 0;
    QTest::newRow("different") << QStringList{"--expect", "[ACK]"} << 1;
    QTest::newRow("same, hex") << QStringList{"--expect-hex", "05 51"} << 0;
    QTest::newRow("no reply in time") << QStringList{"--wait", "0.1", "--expect", "[ENQ]Q"} << 1;
}

void SendTest::expect() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    const Run run = runSend(arguments + QStringList{"--json", "COM1", "[ENQ]Q"});
    QCOMPARE(run.status, status);
    const QJsonObject summary = lastJson(run.out)[QStringLiteral("summary")].toObject();
    QCOMPARE(summary[QStringLiteral("exchanges")].toInt(), 1);
    // An echo that came too late for this run must not pass for the next run's reply.
    QTest::qWait(400);
}

void SendTest::repeatStatistics() {
    const Run run = runSend({"--repeat", "5", "--interval", "0.05", "--json", "COM1", "[ENQ]"});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out.count(u'\n'), 6);
    const QJsonObject summary = lastJson(run.out)[QStringLiteral("summary")].toObject();
    QCOMPARE(summary[QStringLiteral("replies")].toInt(), 5);
    QCOMPARE(summary[QStringLiteral("misses")].toInt(), 0);
    const double min = summary[QStringLiteral("min_ms")].toDouble();
    const double median = summary[QStringLiteral("median_ms")].toDouble();
    const double p95 = summary[QStringLiteral("p95_ms")].toDouble();
    const double max = summary[QStringLiteral("max_ms")].toDouble();
    QVERIFY2(290 <= min && min <= median && median <= p95 && p95 <= max && max < 1000,
             qPrintable(run.out));
    // A pseudo-terminal counts no line errors, and has no line rate to make a reply impossible.
    QVERIFY(summary[QStringLiteral("errors")].isNull());
    const QJsonObject first =
        QJsonDocument::fromJson(run.out.section(u'\n', 0, 0).toUtf8()).object();
    QVERIFY2(first[QStringLiteral("errors")].isNull() && first.contains(QStringLiteral("errors")),
             qPrintable(run.out));
    QCOMPARE(first[QStringLiteral("impossible")].toBool(true), false);
    QVERIFY2(first[QStringLiteral("turnaround_ms")].toDouble() >= 290, qPrintable(run.out));
}

void SendTest::interruptEndsWithSummary() {
    QProcess send;
    send.start(QStringLiteral(KAVETTA_SEND),
               {"--repeat", "1000", "--interval", "0.1", "--json", "COM1", "[ENQ]"});
    QVERIFY(send.waitForStarted());
    QTest::qWait(1000);
    ::kill(pid_t(send.processId()), SIGINT);
    QVERIFY(send.waitForFinished(5000));
    QCOMPARE(send.exitStatus(), QProcess::NormalExit);
    QCOMPARE(send.exitCode(), 130);
    const QString out = QString::fromUtf8(send.readAllStandardOutput());
    const QJsonObject summary = lastJson(out)[QStringLiteral("summary")].toObject();
    const int exchanges = summary[QStringLiteral("exchanges")].toInt();
    QVERIFY2(exchanges >= 1 && exchanges < 10, qPrintable(out));
    QCOMPARE(summary[QStringLiteral("replies")].toInt(), exchanges);
    QTest::qWait(400); // the last echo may still be on its way
}

void SendTest::refusedBeforeWriting_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("why");
    QTest::newRow("unknown mnemonic")
        << QStringList{"COM2", "[STX]A[XYZ]"} << "MESSAGE: character 7 \"[XYZ]\" is no mnemonic";
    QTest::newRow("odd hex") << QStringList{"--hex", "02414", "COM2"}
                             << "--hex: character 5 is half a byte";
    QTest::newRow("settings") << QStringList{"--settings", "9600,N,8", "COM2", "A"}
                              << "--settings: the settings text \"9600,N,8\" cannot be applied";
    QTest::newRow("expect") << QStringList{"--expect", "A\tB", "COM2", "A"}
                            << "--expect: character 2 is a raw control character";
    QTest::newRow("wait") << QStringList{"--wait", "-1", "COM2", "A"} << "--wait: \"-1\"";
    QTest::newRow("no message") << QStringList{"COM2"} << "give PORT and MESSAGE";
    QTest::newRow("unknown option") << QStringList{"--baud", "9600", "COM2", "A"} << "baud";
    // What the user typed or a file held reaches the terminal with its control bytes shown.
    QTest::newRow("an escape in a value")
        << QStringList{"--check", "\x1b]0;X\a", "COM2", "A"} << "--check: \"\\x1b]0;X\\x07\"";
    // A script is a regular file of a sane size, never a device that fills the memory.
    QTest::newRow("a device as the script")
        << QStringList{"--script", "/dev/zero", "COM2"} << "--script /dev/zero: not a regular file";
    static QTemporaryDir scratch;
    const QString big = scratch.filePath(QStringLiteral("big.script"));
    QFile file(big);
    if (file.open(QIODevice::WriteOnly))
        file.resize(LargestScript + 1);
    QTest::newRow("a script too large")
        << QStringList{"--script", big, "COM2"}
        << QStringLiteral("--script %1: %2 bytes, more than").arg(big).arg(LargestScript + 1);
}

void SendTest::refusedBeforeWriting() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, why);
    Pty far;
    QVERIFY(onCom2(far));
    const Run run = runSend(arguments);
    QCOMPARE(run.status, 64);
    QVERIFY2(run.err.contains(why), qPrintable(run.err));
    QVERIFY(std::none_of(run.err.cbegin(), run.err.cend(),
                         [](QChar c) { return c < u' ' && c != u'\n'; }));
    QCOMPARE(far.read(1, 200), QByteArray());
}

void SendTest::portNotOpened_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("heldByWindow");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("why");
    QTest::newRow("link to nothing") << "COM3" << false << QStringList() << "OPEN failed: ";
    QTest::newRow("no number") << "PORT" << false << QStringList() << "names no port";
    QTest::newRow("open in the window")
        << "COM2" << true << QStringList() << "in use by tst_send (process ";
    const QString noLines = QStringLiteral("is a pseudo-terminal, which has no modem lines");
    QTest::newRow("DTR on a pseudo-terminal")
        << "COM2" << false << QStringList{"--dtr", "off"} << noLines;
    QTest::newRow("input lines on a pseudo-terminal")
        << "COM2" << false << QStringList{"--lines"} << noLines;
}

void SendTest::portNotOpened() {
    QFETCH(QString, port);
    QFETCH(bool, heldByWindow);
    QFETCH(QStringList, options);
    QFETCH(QString, why);
    Pty far;
    QVERIFY(onCom2(far));
    QVERIFY(linkPort(3, config_.path() + QStringLiteral("/no-such-device")));
    MSComm window;
    if (heldByWindow)
        openAsOpenButton(window, QStringLiteral("COM2"), QStringLiteral("9600,N,8,1"));
    const Run run = runSend(options + QStringList{port, QStringLiteral("A")});
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains(why), qPrintable(run.err));
    QCOMPARE(far.read(1, 200), QByteArray());
}

void SendTest::lostDeviceEndsTheRun_data() {
    QTest::addColumn<int>("hangUpAfterMs"); // after the reply went out
    // The reply ends after 0.5 s of quiet, then the run pauses for 1 s.
    QTest::newRow("in the quiet spell") << 100;
    QTest::newRow("in the pause") << 900;
}

void SendTest::lostDeviceEndsTheRun() {
    QFETCH(int, hangUpAfterMs);
    Pty far;
    QVERIFY(onCom2(far));
    QProcess send;
    send.start(QStringLiteral(KAVETTA_SEND),
               {"--repeat", "3", "--interval", "1", "--quiet", "0.5", "--json", "COM2", "A"});
    QVERIFY(send.waitForStarted());
    QCOMPARE(far.read(1), QByteArray("A"));
    QVERIFY(far.write("B"));
    QTest::qWait(hangUpAfterMs);
    far.closeMaster();
    QVERIFY(send.waitForFinished(5000));
    QCOMPARE(send.exitCode(), 2);
    const QString out = QString::fromUtf8(send.readAllStandardOutput());
    const QJsonObject summary = lastJson(out)[QStringLiteral("summary")].toObject();
    QCOMPARE(summary[QStringLiteral("exchanges")].toInt(), 1);
    QVERIFY2(summary[QStringLiteral("replies")].toInt() == 1, qPrintable(out));
    QVERIFY(QString::fromUtf8(send.readAllStandardError()).contains(QStringLiteral(": lost:")));
}

void SendTest::unwritableOutput_data() {
    QTest::addColumn<QString>("output"); // on a full disk, closed, or a pipe whose reader is gone
    QTest::addColumn<bool>("json");
    QTest::addColumn<QString>("why");
    QTest::addColumn<QByteArray>("sent"); // what the far end got before the run stopped
    // The text output begins with the message, before any exchange; JSON with the first one.
    QTest::newRow("full disk, text")
        << "full" << false << "No space left on device" << QByteArray();
    QTest::newRow("full disk, JSON")
        << "full" << true << "No space left on device" << QByteArray("A");
    QTest::newRow("closed, text") << "closed" << false << "Bad file descriptor" << QByteArray();
    QTest::newRow("closed, JSON") << "closed" << true << "Bad file descriptor" << QByteArray("A");
    // kavetta-send ... | head: SIGPIPE would end it with the lock and exclusive mode left behind.
    QTest::newRow("reader gone, JSON") << "gone" << true << "Broken pipe" << QByteArray("A");
}

void SendTest::unwritableOutput() {
    QFETCH(QString, output);
    QFETCH(bool, json);
    QFETCH(QString, why);
    QFETCH(QByteArray, sent);
    Pty far;
    QVERIFY(onCom2(far));
    QProcess send;
    if (output == u"closed")
        send.setChildProcessModifier([] { ::close(STDOUT_FILENO); });
    else if (output == u"full")
        send.setStandardOutputFile(QStringLiteral("/dev/full"));
    else // a pipe whose reading end is already closed
        send.setChildProcessModifier([] {
            int ends[2];
            if (::pipe(ends) == 0) {
                ::dup2(ends[1], STDOUT_FILENO);
                ::close(ends[0]);
                ::close(ends[1]);
            }
        });
    QStringList arguments{"--repeat", "3", "--interval", "0", "--wait", "0.1", "COM2", "A"};
    if (json)
        arguments.prepend(QStringLiteral("--json"));
    send.start(QStringLiteral(KAVETTA_SEND), arguments);
    QVERIFY(send.waitForFinished(10000));
    QCOMPARE(send.exitStatus(), QProcess::NormalExit);
    QCOMPARE(send.exitCode(), 74);
    const QString err = QString::fromUtf8(send.readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("kavetta-send: write error: ") + why), qPrintable(err));
    QCOMPARE(far.read(sent.size() + 1, 300), sent);
    // The port was closed on the way out: no lock left, the terminal out of exclusive mode.
    QVERIFY(!QFile::exists(QStringLiteral("/run/lock/LCK..") +
                           far.slaveName.mid(5).replace(u'/', u'_')));
    const int slave = ::open(QFile::encodeName(far.slaveName).constData(),
                             O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(slave >= 0);
    int exclusive = -1;
    QCOMPARE(::ioctl(slave, TIOCGEXCL, &exclusive), 0);
    ::close(slave);
    QCOMPARE(exclusive, 0);
}

void SendTest::checkCode_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("line");
    QTest::newRow("right") << QByteArray::fromHex("024F4B0307") << 0
                           << "check:  07 received, 07 expected";
    QTest::newRow("wrong") << QByteArray::fromHex("024F4B0308") << 1
                           << "check:  08 received, 07 expected";
    QTest::newRow("missing") << QByteArray::fromHex("024F4B03") << 1
                             << "check:  none received, 07 expected";
    QTest::newRow("a lone ACK") << QByteArray("\x06") << 0
                                << "check:  none needed (a lone [ACK] or [NAK])";
}

void SendTest::checkCode() {
    QFETCH(QByteArray, answer);
    QFETCH(int, status);
    QFETCH(QString, line);
    Pty far;
    QVERIFY(onCom2(far));
    QProcess send;
    send.start(QStringLiteral(KAVETTA_SEND), {"--check", "bcc", "COM2", "[STX]ABC[ETX]"});
    QVERIFY(send.waitForStarted());
    // The message goes out with its BCC in place.
    QCOMPARE(far.read(6), QByteArray::fromHex("024142430343"));
    QVERIFY(far.write(answer));
    QVERIFY(send.waitForFinished(10000));
    QCOMPARE(send.exitCode(), status);
    const QString out = QString::fromUtf8(send.readAllStandardOutput());
    QVERIFY2(out.split(u'\n').contains(line), qPrintable(out));
}

void SendTest::sessionLog_data() {
    QTest::addColumn<bool>("full"); // the log on a full disk
    QTest::newRow("written") << false;
    QTest::newRow("full disk") << true;
}

void SendTest::sessionLog() {
    QFETCH(bool, full);
    Pty far;
    QVERIFY(onCom2(far));
    const QString path = full ? QStringLiteral("/dev/full") : config_.filePath("session.jsonl");
    QProcess send;
    send.start(QStringLiteral(KAVETTA_SEND), {"--log", path, "--quiet", "0.1", "COM2", "A"});
    QVERIFY(send.waitForStarted());
    if (!full) {
        QCOMPARE(far.read(1), QByteArray("A"));
        QVERIFY(far.write("B"));
    }
    QVERIFY(send.waitForFinished(10000));
    if (full) {
        QCOMPARE(send.exitCode(), 74);
        QVERIFY(send.readAllStandardError().contains("--log /dev/full: No space left on device"));
        return;
    }
    QCOMPARE(send.exitCode(), 0);
    QFile log(path);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QStringList events;
    double last = -1;
    for (const QByteArray& line : log.readAll().trimmed().split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        const QString event = object[QStringLiteral("event")].toString();
        events.append(event + u' ' + object[QStringLiteral("hex")].toString() +
                      object[QStringLiteral("outcome")].toString());
        QVERIFY(object[QStringLiteral("t_us")].toDouble() >= last);
        last = object[QStringLiteral("t_us")].toDouble();
    }
    QCOMPARE(events, (QStringList{"start ", "write 41", "read 42", "exchange replied", "end "}));
}

// A file that can take no more in the middle of a line: the reason is the system's, not "Unknown
// error". A file size limit stands in for a full disk, which cuts a write short the same way.
void SendTest::logFullInTheMiddle() {
    rlimit was{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &was) == 0);
    const auto signalWas = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = was;
    small.rlim_cur = 1000;
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    TimedLog log;
    const bool opened = log.open(config_.filePath("limited.jsonl"));
    for (int i = 0; opened && i < 100 && !log.failed(); ++i)
        log.wrote(QByteArray(37, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &was);
    std::signal(SIGXFSZ, signalWas);
    QVERIFY(opened);
    QVERIFY2(log.error().endsWith(QStringLiteral("limited.jsonl: File too large")),
             qPrintable(log.error()));
    QCOMPARE(QFileInfo(config_.filePath("limited.jsonl")).size(), 1000);
}

void SendTest::conversation_data() {
    QTest::addColumn<QByteArray>("firstAnswer");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("sent"); // all the far end got
    QTest::newRow("every step as expected") << QByteArray("\x06") << 0 << QByteArray("WR");
    QTest::newRow("the first step fails") << QByteArray("\x15") << 1 << QByteArray("W");
}

void SendTest::conversation() {
    QFETCH(QByteArray, firstAnswer);
    QFETCH(int, status);
    QFETCH(QByteArray, sent);
    QFile script(config_.filePath("conversation"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("# wake, then ask\nsend W  # write\nexpect [ACK] 1\nwait 0.1\nsend R\n"
                 "expect-hex 06 1\n");
    script.close();
    Pty far;
    QVERIFY(onCom2(far));
    QProcess send;
    send.start(QStringLiteral(KAVETTA_SEND), {"--script", script.fileName(), "COM2"});
    QVERIFY(send.waitForStarted());
    QByteArray got = far.read(1);
    QVERIFY(far.write(firstAnswer));
    got += far.read(1, status == 0 ? 5000 : 1000);
    if (status == 0)
        QVERIFY(far.write("\x06"));
    // The far end's reading lets the test hear of the end already, when it came early.
    QVERIFY(send.state() == QProcess::NotRunning || send.waitForFinished(10000));
    QCOMPARE(send.exitCode(), status);
    QCOMPARE(got, sent);
    const QString out = QString::fromUtf8(send.readAllStandardOutput());
    QVERIFY2(out.startsWith(QStringLiteral("1.1:  W:  ")), qPrintable(out));
}

void SendTest::scriptRefused_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("why");
    QTest::newRow("unknown step") << "send A\n  sned B\n"
                                  << "line 2, column 3: \"sned\" is no step";
    QTest::newRow("expect before any send") << "expect [ACK]\nsend A\n"
                                            << "line 1, column 1: an expect follows the send";
    QTest::newRow("bad message") << "send [STX]A[XYZ]\n"
                                 << "line 1, column 12: character 7";
    QTest::newRow("bad wait") << "send A\nwait soon\n"
                              << "line 2, column 6: \"soon\" is no number";
    QTest::newRow("bad line state") << "dtr maybe\nsend A\n"
                                    << "line 1, column 5: \"maybe\" is neither on nor off";
    QTest::newRow("nothing sent") << "# only a comment\nwait 1\n"
                                  << "the script sends nothing";
}

void SendTest::scriptRefused() {
    QFETCH(QString, script);
    QFETCH(QString, why);
    const Script parsed = parseScript(script);
    QVERIFY2(parsed.error.startsWith(why), qPrintable(parsed.error));
    QVERIFY(parsed.steps.isEmpty());
}

// A step written on the command line and in a script is read by the same rule: the same text is
// refused for the same reason, or taken as the same step.
void SendTest::sameRuleOnBothSides_data() {
    QTest::addColumn<QStringList>("arguments"); // after the program name
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("why"); // empty where both take it
    const QString tooLong(SendBuffer::MaxLength + 1, u'A');
    QTest::newRow("a raw tab in the message") << QStringList{"COM1", "A\tB"} << "send A\tB\n"
                                              << "character 2 is a raw control";
    QTest::newRow("nothing to send") << QStringList{"COM1", ""} << "send \n"
                                     << "nothing to send";
    QTest::newRow("longer than the send box")
        << QStringList{"COM1", tooLong} << "send " + tooLong + "\n"
        << "longer than the window's send box holds: ";
    QTest::newRow("nothing expected")
        << QStringList{"--expect", "", "COM1", "A"} << "send A\nexpect-hex \n"
        << "nothing expected";
    QTest::newRow("a break of no length")
        << QStringList{"--break", "0", "COM1", "A"} << "break 0\nsend A\n"
        << "a break lasts longer than 0 s";
    QTest::newRow("a break, taken")
        << QStringList{"--break", "0.25", "COM1", "[STX]A"} << "break 0.25\nsend [STX]A\n"
        << "";
    QTest::newRow("an expected reply, taken")
        << QStringList{"--expect-hex", "06", "COM1", "A"} << "send A\t# with a tab\nexpect [ACK]\n"
        << "";
}

void SendTest::sameRuleOnBothSides() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, script);
    QFETCH(QString, why);
    const ParsedArguments parsed = parseArguments(QStringList{"kavetta-send"} + arguments);
    const Script steps = parseScript(script);
    if (why.isEmpty()) {
        QVERIFY2(parsed.text.isEmpty() && steps.error.isEmpty(),
                 qPrintable(parsed.text + steps.error));
        QCOMPARE(parsed.options.steps.size(), steps.steps.size());
        for (qsizetype i = 0; i < steps.steps.size(); ++i) {
            const ScriptStep &line = parsed.options.steps[i], &step = steps.steps[i];
            QCOMPARE(int(line.kind), int(step.kind));
            QCOMPARE(line.message, step.message);
            QCOMPARE(line.expected, step.expected);
            QCOMPARE(line.waitMs, step.waitMs);
        }
        return;
    }
    // Past the option's name on one side and the line and column on the other, the same words.
    const QString given = parsed.text.section(QStringLiteral(": "), 1);
    const QString written = steps.error.section(QStringLiteral(": "), 1);
    QVERIFY2(given.startsWith(why), qPrintable(parsed.text));
    QCOMPARE(written, given);
}

void SendTest::onlyUtf8Read_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("why"); // empty for UTF-8
    QTest::newRow("UTF-8 Japanese") << QByteArray("send \xE3\x81\x82\xEF\xBD\xB1") << "";
    QTest::newRow("Shift_JIS") << QByteArray("send \x82\xA0[ETX]")
                               << "byte 6 is 0x82; it reads as Shift_JIS (code page 932)";
    QTest::newRow("EUC-JP") << QByteArray("send \xA4\xA2\x8E\xB1") << "it reads as EUC-JP";
    QTest::newRow("neither") << QByteArray("A\xFF") << "(byte 2 is 0xFF):";
    QTest::newRow("overlong") << QByteArray("\xC0\x80") << "byte 1 is 0xC0";
    QTest::newRow("a surrogate") << QByteArray("\xED\xA0\x80") << "byte 1 is 0xED";
    QTest::newRow("cut short") << QByteArray("ok\xE3\x81") << "byte 3 is 0xE3";
}

// Scripts, rules and arguments are read as UTF-8 only; other bytes are refused with a reason
// that names what they look like.
void SendTest::onlyUtf8Read() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, why);
    const QString got = notUtf8(bytes);
    QVERIFY2(why.isEmpty() ? got.isEmpty() : got.contains(why), qPrintable(got));
}

void SendTest::statistics_data() {
    QTest::addColumn<QList<double>>("times");    // a negative time is a miss
    QTest::addColumn<QList<double>>("expected"); // min, median, p95, max
    QTest::addColumn<QString>("window");         // what the window shows for the first time
    QTest::newRow("one") << QList<double>{99.9} << QList<double>{99.9, 99.9, 99.9, 99.9} << "0";
    QTest::newRow("even count, a miss")
        << QList<double>{400, -1, 100, 300, 200} << QList<double>{100, 250, 400, 400} << "0.4";
    QList<double> twenty;
    for (int i = 20; i >= 1; --i)
        twenty.append(i * 10.0);
    QTest::newRow("twenty") << twenty << QList<double>{10, 105, 190, 200} << "0.2";
    QTest::newRow("past a minute")
        << QList<double>{60150} << QList<double>{60150, 60150, 60150, 60150} << "60.1";
    QTest::newRow("round again") << QList<double>{60250}
                                 << QList<double>{60250, 60250, 60250, 60250} << "0.1";
}

void SendTest::statistics() {
    QFETCH(QList<double>, times);
    QFETCH(QList<double>, expected);
    QFETCH(QString, window);
    Tally tally;
    for (double ms : times) {
        ExchangeReport report;
        report.result.outcome =
            ms < 0 ? ExchangeResult::Outcome::NoReply : ExchangeResult::Outcome::Replied;
        report.result.replyNs = qint64(ms * 1e6);
        tally.add(report);
    }
    const Statistics statistics = tally.statistics();
    QCOMPARE(statistics.misses, int(times.count(-1)));
    QCOMPARE((QList<double>{*statistics.min, *statistics.median, *statistics.p95, *statistics.max}),
             expected);
    QCOMPARE(windowTime(times.first()), window);
}

void SendTest::reportText_data() {
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("lost");
    QTest::addColumn<bool>("lines"); // CTS and DCD on
    QTest::addColumn<QString>("text");
    using O = ExchangeResult::Outcome;
    QTest::newRow("one character") << int(O::Replied) << QByteArray("A") << false << false
                                   << "reply:  A\n        41\n        1 character\n"
                                      "time:   12.0 ms (0 in the window)\n";
    QTest::newRow("then lost") << int(O::Replied) << QByteArray("AB") << true << false
                               << "reply:  AB\n        4142\n        2 characters\n"
                                  "        then the device was lost\n"
                                  "time:   12.0 ms (0 in the window)\n";
    QTest::newRow("not written") << int(O::NotWritten) << QByteArray() << false << false
                                 << "reply:  none (the line did not take the message)\n";
    QTest::newRow("no reply, with the lines")
        << int(O::NoReply) << QByteArray() << false << true
        << "reply:  none within 2 s\nlines:  CTS on, DSR off, DCD on, RI off\n";
    // Gone 2 ms after the write began, first byte at 12 ms; a break and an overrun counted.
    QTest::newRow("timed, impossible, line errors")
        << int(O::Replied) << QByteArray("A") << false << false
        << "reply:  A\n        41\n        1 character\n"
           "time:   12.0 ms (0 in the window), turnaround 10.0 ms\n"
           "        impossible at the line's rate: the reply began before the message could "
           "have crossed the line (a loopback, an echo or another baud rate)\n"
           "errors: overrun 1, break 2\n";
}

void SendTest::reportText() {
    QFETCH(int, outcome);
    QFETCH(QByteArray, reply);
    QFETCH(bool, lost);
    QFETCH(bool, lines);
    QFETCH(QString, text);
    ExchangeReport report;
    report.result.outcome = ExchangeResult::Outcome(outcome);
    report.result.replyNs = 12'000'000;
    for (char byte : reply)
        report.result.reply.append(Code(quint8(byte)));
    report.result.lost = lost;
    if (lines)
        report.lines = InputLines{true, false, true, false};
    if (QByteArray(QTest::currentDataTag()).startsWith("timed")) {
        report.result.timing = {0, 2'000'000, 12'000'000, 12'500'000, true};
        report.result.errors = LineErrors{0, 0, 1, 2};
    }
    QCOMPARE(exchangeText(report, QStringLiteral("2"), false), text);
}

// The one-line form has its own number formatting, for speed; it must round as JSON does.
void SendTest::oneLineAgreesWithJson_data() {
    QTest::addColumn<qint64>("replyNs");
    QTest::addColumn<qint64>("goneNs"); // -1: not seen
    QTest::addColumn<QString>("text");
    QTest::newRow("a tie the binary fraction hides")
        << qint64(1'150'000) << qint64(-1) << "7:  1.2 ms  0  [ACK]\u2400\n";
    QTest::newRow("below a tenth, with a turnaround")
        << qint64(40'000) << qint64(0) << "7:  0.0 ms, turnaround 0.0 ms  0  [ACK]\u2400\n";
    QTest::newRow("seconds") << qint64(1'234'560'000) << qint64(4'560'000)
                             << "7:  1234.6 ms, turnaround 1230.0 ms  1.2  [ACK]\u2400\n";
}

void SendTest::oneLineAgreesWithJson() {
    QFETCH(qint64, replyNs);
    QFETCH(qint64, goneNs);
    QFETCH(QString, text);
    ExchangeReport report;
    report.number = 7;
    report.result.outcome = ExchangeResult::Outcome::Replied;
    report.result.reply = {Code(0x06), Code(0x00)};
    report.result.replyNs = replyNs;
    report.result.timing = {0, goneNs, replyNs, replyNs, false};
    QCOMPARE(exchangeText(report, QStringLiteral("2"), true), text);
    const QJsonObject json = QJsonDocument::fromJson(exchangeJson(report, false).toUtf8()).object();
    QCOMPARE(QString::number(json.value("ms").toDouble(), 'f', 1),
             text.section(QLatin1Char(' '), 2, 2));
}

void SendTest::arguments_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("refusal"); // empty for a run
    QTest::addColumn<QString>("message"); // its codes in hexadecimal, for a run
    QTest::newRow("a message beginning with -") << QStringList{"COM1", "--", "-A"} << ""
                                                << "2D41";
    QTest::newRow("every option the help names")
        << QStringList{"--help-all", "COM1", "A"} << "Unknown option 'help-all'."
        << "";
    QTest::newRow("a line neither on nor off")
        << QStringList{"--dtr", "high", "COM1", "A"} << "--dtr: \"high\" is neither on nor off"
        << "";
    QTest::newRow("a break of no length")
        << QStringList{"--break", "0", "COM1", "A"} << "--break: a break lasts longer than 0 s"
        << "";
    QTest::newRow("a list with a message")
        << QStringList{"--list", "COM1", "A"} << "--list takes no PORT or MESSAGE"
        << "";
    QTest::newRow("a list with exchange options")
        << QStringList{"--list", "--wait", "1"} << "--list makes no exchange: leave out --wait"
        << "";
    QTest::newRow("an assignment without a device")
        << QStringList{"--assign", "COM3"} << "give --assign PORT DEVICE"
        << "";
}

void SendTest::arguments() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, refusal);
    QFETCH(QString, message);
    const ParsedArguments parsed = parseArguments(QStringList{"kavetta-send"} + arguments);
    QCOMPARE(parsed.text, refusal);
    QCOMPARE(int(parsed.action), int(refusal.isEmpty() ? ParsedArguments::Action::Run
                                                       : ParsedArguments::Action::Refuse));
    QCOMPARE(hexOf(parsed.options.message()), message);
    // --help-all is refused above, so the help must not offer it.
    QVERIFY(!parseArguments({"kavetta-send", "--help"}).text.contains(QStringLiteral("help-all")));
}

void SendTest::portsListedAndAssigned() {
    QDir(portsFolder()).removeRecursively(); // no other entry reaching a reused pseudo-terminal
    Pty far;
    QVERIFY(far.ok());
    const Run assigned = runSend({"--assign", "COM 9", far.slaveName});
    QCOMPARE(assigned.status, 0);
    QCOMPARE(assigned.out, QStringLiteral("COM9: pseudo-terminal, %1\n").arg(far.slaveName));
    const Run listed = runSend({"--list", "--json"});
    QCOMPARE(listed.status, 0);
    const QJsonArray ports = QJsonDocument::fromJson(listed.out.toUtf8()).array();
    const auto com9 = std::find_if(ports.begin(), ports.end(), [](const QJsonValue& port) {
        return port[QLatin1String("port")] == QStringLiteral("COM9");
    });
    QVERIFY2(com9 != ports.end(), qPrintable(listed.out));
    const QJsonObject port = com9->toObject();
    QCOMPARE(port["device"].toString(), far.slaveName);
    QCOMPARE(port["driver"].toString(), QStringLiteral("pty"));
    for (const char* key : {"stable", "vid", "pid", "manufacturer", "product", "serial"})
        QVERIFY2(port.contains(key) && port[key].isNull(), key);
    QCOMPARE(port["holders"].toArray(), QJsonArray());
    unlinkPort(9);
}

void SendTest::manualAgreesWithCode_data() {
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("statusHeading");
    QTest::addColumn<QString>("defaultWords");
    QTest::newRow("English") << "kavetta-send.1"
                             << "EXIT STATUS"
                             << "(default %1)";
    QTest::newRow("Japanese") << "kavetta-send.ja.1" << QString::fromUtf8("終了ステータス")
                              << QString::fromUtf8("（省略時は %1）");
}

// The manual pages list the statuses the program ends with and the defaults it takes.
void SendTest::manualAgreesWithCode() {
    QFETCH(QString, page);
    QFETCH(QString, statusHeading);
    QFETCH(QString, defaultWords);
    QFile file(QStringLiteral(KAVETTA_MANUALS "/") + page);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    QList<int> listed;
    for (qsizetype i = lines.indexOf(QStringLiteral(".SH ") + statusHeading) + 1;
         i > 0 && i < lines.size() && !lines[i].startsWith(QStringLiteral(".SH ")); ++i)
        if (lines[i - 1] == QStringLiteral(".TP") && lines[i].startsWith(QStringLiteral(".B ")))
            listed.append(lines[i].mid(3).toInt());
    QList<int> statuses;
    for (const Status status : exitStatuses)
        statuses.append(status);
    QCOMPARE(listed, statuses);
    const std::pair<const char*, const char*> defaults[] = {
        {"wait", DefaultWait}, {"quiet", DefaultQuiet}, {"interval", DefaultInterval}};
    for (const auto& [option, value] : defaults) {
        qsizetype at = lines.indexOf(QStringLiteral(".BI \\-\\-%1 \" S\"").arg(option));
        QVERIFY2(at > 0, option);
        QString paragraph;
        while (++at < lines.size() && lines[at] != QStringLiteral(".TP"))
            paragraph += lines[at];
        QVERIFY2(paragraph.contains(defaultWords.arg(QLatin1String(value))), qPrintable(paragraph));
    }
}

QTEST_GUILESS_MAIN(SendTest)
#include "tst_send.moc"
