// kavetta-answer as a user starts it: on a pseudo-terminal it makes, as the virtual device the
// window runs beside, and on a port it opens; with kavetta-send and a Modbus master it did not
// write as the far ends.

#include "formfixture.h"
#include "mscomm.h"
#include "ptyfixture.h"
#include "ticks.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/stat.h>

using namespace kav;
using namespace kavtest;

class TestAnswer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void echoesAfterDelay();
    void windowExchange();
    void survivesCloseAndReopen();
    void stopsWhenTold_data();
    void stopsWhenTold();
    void leavesForeignEntryAlone();
    void refusedBeforeAnyLink_data();
    void refusedBeforeAnyLink();
    void answersOnPortUntilLost();
    void sendScript_data();
    void sendScript();
    void modbusMaster();
    void replaysRecordedSession();

private:
    QString rulesFile(const QString& text);
    bool start(QProcess& answer, const QStringList& arguments, int port = 1);
    CodeString exchange(MSComm& comm, const CodeString& sent, qint64* elapsedMs = nullptr);
    QTemporaryDir config_;
    int files_ = 0;
};

void TestAnswer::initTestCase() {
    QVERIFY(config_.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
}

void TestAnswer::cleanup() {
    QDir(portsFolder()).removeRecursively();
}

QString TestAnswer::rulesFile(const QString& text) {
    const QString path = config_.filePath(QStringLiteral("rules%1").arg(++files_));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(text.toUtf8());
    return path;
}

// Starts the program on a pseudo-terminal linked as port `port`, and waits for the link.
bool TestAnswer::start(QProcess& answer, const QStringList& arguments, int port) {
    answer.setProcessChannelMode(QProcess::SeparateChannels);
    answer.start(QStringLiteral(KAVETTA_ANSWER),
                 QStringList{QStringLiteral("--pty"), portEntry(port)} + arguments);
    if (!answer.waitForStarted())
        return false;
    QDeadlineTimer deadline(5000);
    while (!QFileInfo(portEntry(port)).isSymLink() && !deadline.hasExpired() &&
           answer.state() == QProcess::Running)
        QTest::qWait(10);
    return QFileInfo(portEntry(port)).exists();
}

CodeString TestAnswer::exchange(MSComm& comm, const CodeString& sent, qint64* elapsedMs) {
    CodeString got;
    QElapsedTimer clock;
    const auto connection = connect(&comm, &MSComm::OnComm, this, [&] {
        if (got.isEmpty() && elapsedMs)
            *elapsedMs = clock.elapsed();
        got += comm.Input();
    });
    clock.start();
    comm.Output(sent);
    QDeadlineTimer deadline(5000);
    while (got.size() < sent.size() && !deadline.hasExpired())
        QTest::qWait(10);
    disconnect(connection);
    return got;
}

// The window's serial control against the virtual device, as tools/run starts it.
void TestAnswer::echoesAfterDelay() {
    QProcess answer;
    QVERIFY(start(answer, {QStringLiteral(KAVETTA_ECHO_RULES)}));
    MSComm comm;
    comm.setRThreshold(1);
    comm.setPortOpen(true);
    const CodeString sent{0x02, 'h', 'i', 0x00, 0x82A0, 0xB1, 0xFF, 0x03};
    qint64 elapsed = 0;
    QCOMPARE(exchange(comm, sent, &elapsed), sent);
    // The device answers after its delay, never at once.
    QVERIFY2(elapsed >= 250, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
    answer.terminate();
    QVERIFY(answer.waitForFinished(5000));
}

// An operator's exchange in the window, with the request's byte captured into the reply and the
// reply time the window shows.
void TestAnswer::windowExchange() {
    const QByteArray config = qgetenv("XDG_CONFIG_HOME"), runtime = qgetenv("XDG_RUNTIME_DIR");
    {
        FormFixture fx;
        QVERIFY(fx.start(FormFixture::Exposed));
        // The window looks its port up when it opens it, in the folder the answerer links into.
        qputenv("XDG_CONFIG_HOME", config);
        QProcess answer;
        QVERIFY(start(answer, {rulesFile(QStringLiteral(
                                  "on [STX]R[?][ETX] reply [STX]V[$1]0[ETX] after 0.35\n"))}));
        fx.click(QStringLiteral("Command133"));
        QVERIFY(fx.form->comm().PortOpen());
        fx.clickCode(0x02);
        QWidget* box = fx.get(QStringLiteral("Text3"));
        pressKey(box, Qt::Key_R, QStringLiteral("R"));
        pressKey(box, Qt::Key_7, QStringLiteral("7"));
        fx.clickCode(0x03);
        fx.click(QStringLiteral("Command130"));
        QTRY_COMPARE(fx.text(QStringLiteral("Text2")), QStringLiteral("0256373003"));
        QCOMPARE(fx.text(QStringLiteral("Text4")), QStringLiteral("[STX]V70[ETX]"));
        QCOMPARE(fx.text(QStringLiteral("Label7")), QStringLiteral("5"));
        // 0.35 s after the request, counted in whole ticks of 0.1 s: never before the delay, and
        // with room above it for a loaded machine.
        QVERIFY2(fx.form->TickCount() >= 3 && fx.form->TickCount() <= 10,
                 qPrintable(fx.text(QStringLiteral("Label12"))));
        QCOMPARE(fx.text(QStringLiteral("Label12")), tickText(fx.form->TickCount()));
        answer.terminate();
        QVERIFY(answer.waitForFinished(5000));
        QVERIFY(answer.readAllStandardOutput().startsWith("requests 1, answered 1"));
    }
    qputenv("XDG_RUNTIME_DIR", runtime);
}

void TestAnswer::survivesCloseAndReopen() {
    QProcess answer;
    QVERIFY(start(answer, {QStringLiteral(KAVETTA_ECHO_RULES)}));
    MSComm comm;
    comm.setRThreshold(1);
    for (int round = 0; round < 3; ++round) {
        comm.setInBufferCount(0);
        comm.setPortOpen(true);
        const CodeString sent{Code('a' + round)};
        QCOMPARE(exchange(comm, sent), sent);
        comm.setPortOpen(false);
    }
    QCOMPARE(answer.state(), QProcess::Running);
    answer.terminate();
    QVERIFY(answer.waitForFinished(5000));
}

void TestAnswer::stopsWhenTold_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestAnswer::stopsWhenTold() {
    QFETCH(int, signal);
    QProcess answer;
    QVERIFY(start(answer, {rulesFile(QStringLiteral("on A reply B\n"))}));
    MSComm comm;
    comm.setRThreshold(1);
    comm.setPortOpen(true);
    QCOMPARE(exchange(comm, {'A'}), CodeString({'B'}));
    comm.Output({'Z'});
    QTest::qWait(200);
    ::kill(pid_t(answer.processId()), signal);
    QVERIFY(answer.waitForFinished(5000));
    QCOMPARE(answer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(answer.exitCode(), 0);
    QVERIFY(!QFileInfo(portEntry(1)).isSymLink());
    QCOMPARE(answer.readAllStandardOutput(),
             QByteArray("requests 2, answered 1, unmatched 1, bad check codes 0\n"));
}

void TestAnswer::leavesForeignEntryAlone() {
    QDir().mkpath(portsFolder());
    QFile entry(portEntry(1));
    QVERIFY(entry.open(QIODevice::WriteOnly));
    entry.write("mine");
    entry.close();
    QProcess answer;
    answer.start(QStringLiteral(KAVETTA_ANSWER),
                 {QStringLiteral("--pty"), portEntry(1), QStringLiteral(KAVETTA_ECHO_RULES)});
    QVERIFY(answer.waitForFinished(5000));
    QCOMPARE(answer.exitCode(), 2);
    QVERIFY(entry.open(QIODevice::ReadOnly));
    QCOMPARE(entry.readAll(), QByteArray("mine"));
}

// A rules file that cannot be read is refused before any link is made or port opened.
void TestAnswer::refusedBeforeAnyLink_data() {
    QTest::addColumn<QStringList>("arguments"); // RULES and LINK stand for the file and com1
    QTest::addColumn<QString>("rules");
    QTest::addColumn<QString>("why");
    const QString bad = QStringLiteral("on A reply B\n\non [STX]R[$1] reply C\n");
    QTest::newRow("pty") << QStringList{"--pty", "LINK", "RULES"} << bad << "line 3, column 10: ";
    QTest::newRow("port") << QStringList{"COM2", "RULES"} << bad << "line 3, column 10: ";
    QTest::newRow("reply that takes no check code")
        << QStringList{"--check", "modbus-ascii", "--pty", "LINK", "RULES"}
        << "on A reply :0G[CR][LF]\n"
        << "line 1, column 12: --check";
    QTest::newRow("no such file") << QStringList{"--pty", "LINK", "/nonexistent/rules"} << bad
                                  << "/nonexistent/rules: ";
    // Opened, a FIFO would hold the program until somebody wrote to it.
    QTest::newRow("a FIFO") << QStringList{"--pty", "LINK", "FIFO"} << bad
                            << "fifo: not a regular file";
}

void TestAnswer::refusedBeforeAnyLink() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, rules);
    QFETCH(QString, why);
    Pty far;
    QVERIFY(far.ok() && linkPort(2, far.slaveName));
    arguments.replaceInStrings(QStringLiteral("RULES"), rulesFile(rules));
    arguments.replaceInStrings(QStringLiteral("LINK"), portEntry(1));
    const QString fifo = config_.filePath(QStringLiteral("fifo"));
    if (arguments.contains(QStringLiteral("FIFO")))
        QVERIFY(QFile::exists(fifo) || ::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    arguments.replaceInStrings(QStringLiteral("FIFO"), fifo);
    QProcess answer;
    answer.start(QStringLiteral(KAVETTA_ANSWER), arguments);
    QVERIFY(answer.waitForFinished(5000));
    QCOMPARE(answer.exitCode(), 64);
    const QString err = QString::fromUtf8(answer.readAllStandardError());
    QVERIFY2(err.contains(why), qPrintable(err));
    QVERIFY(!QFileInfo(portEntry(1)).exists());
    QVERIFY(far.slaveClosed()); // never opened
}

// On a port it opens (a pseudo-terminal whose master the test holds): answered until the far
// end goes, then status 2.
void TestAnswer::answersOnPortUntilLost() {
    Pty far;
    QVERIFY(far.ok() && linkPort(2, far.slaveName));
    QProcess answer;
    answer.start(QStringLiteral(KAVETTA_ANSWER),
                 {QStringLiteral("--end"), QStringLiteral("[CR]"), QStringLiteral("COM2"),
                  rulesFile(QStringLiteral("on R[*][CR] reply V[$1][CR]\n"))});
    QVERIFY(answer.waitForStarted());
    QDeadlineTimer opened(5000);
    while (far.slaveClosed() && !opened.hasExpired())
        QTest::qWait(10);
    QVERIFY(far.write("R4"));
    QTest::qWait(50);
    QVERIFY(far.write("2\rR"));
    QCOMPARE(far.read(4), QByteArray("V42\r"));
    far.closeMaster();
    QVERIFY(answer.waitForFinished(5000));
    QCOMPARE(answer.exitCode(), 2);
    QVERIFY(answer.readAllStandardOutput().startsWith("requests 1, answered 1"));
}

// kavetta-send's conversations against rule files: states, captures, turns, parts, check codes
// both ways, and the faults a seed repeats.
void TestAnswer::sendScript_data() {
    QTest::addColumn<QStringList>("answerOptions");
    QTest::addColumn<QString>("rules");
    QTest::addColumn<QStringList>("sendOptions");
    QTest::addColumn<QString>("script");
    QTest::newRow("a device that must be told INIT first")
        << QStringList{}
        << "on [STX]INIT[ETX] reply [ACK] set ready\n"
           "on [STX]R[?][ETX] when ready reply [STX]V[$1]0[ETX] after 0.05\n"
           "otherwise reply [NAK]\n"
        << QStringList{}
        << "send [STX]R1[ETX]\nexpect [NAK]\nsend [STX]INIT[ETX]\nexpect [ACK]\n"
           "send [STX]R7[ETX]\nexpect [STX]V70[ETX]\n";
    QTest::newRow("replies in turn, one in parts")
        << QStringList{} << "on [ENQ] reply [ACK] reply [STX]A after 0.02 then B[ETX] after 0.05\n"
        << QStringList{"--quiet", "0.3"}
        << "send [ENQ]\nexpect [ACK]\nsend [ENQ]\nexpect [STX]AB[ETX]\nsend [ENQ]\nexpect [ACK]\n";
    QTest::newRow("check codes both ways")
        << QStringList{"--check", "bcc"}
        << "on [STX]R[*][ETX] reply [STX]V[$1][ETX]\nbad-check reply [NAK]\n"
        << QStringList{"--check", "bcc"} << "send [STX]R12[ETX]\nexpect [STX]V12[ETX]V\n";
    QTest::newRow("a wrong check code")
        << QStringList{"--check", "crc16-modbus"} << "on [*] reply [ACK]\nbad-check reply [NAK]\n"
        << QStringList{} << "send ABCD\nexpect-hex 15\n";
}

void TestAnswer::sendScript() {
    QFETCH(QStringList, answerOptions);
    QFETCH(QString, rules);
    QFETCH(QStringList, sendOptions);
    QFETCH(QString, script);
    QProcess answer;
    QVERIFY(start(answer, answerOptions + QStringList{rulesFile(rules)}));
    QProcess send;
    send.start(QStringLiteral(KAVETTA_SEND),
               sendOptions + QStringList{QStringLiteral("--script"), rulesFile(script),
                                         QStringLiteral("COM1")});
    QVERIFY(send.waitForFinished(30000));
    const QByteArray out = send.readAllStandardOutput() + send.readAllStandardError();
    QVERIFY2(send.exitCode() == 0, out.constData());
    answer.terminate();
    QVERIFY(answer.waitForFinished(5000));
}

// pymodbus's serial client, as a host program would read a register, from a rule file with the
// Modbus ASCII LRC verified on the request and put on the reply.
void TestAnswer::modbusMaster() {
    QProcess answer;
    QVERIFY(start(answer, {QStringLiteral("--check"), QStringLiteral("modbus-ascii"),
                           QStringLiteral("--end"), QStringLiteral("[CR][LF]"),
                           rulesFile(QStringLiteral(
                               "# unit 1, read holding registers from 0, one of them\n"
                               "on :01030000[*][CR][LF] reply :010302002A[CR][LF]\n"))}));
    QProcess master;
    master.start(QStringLiteral(KAVETTA_PYTHON),
                 {QStringLiteral(KAVETTA_MODBUS_MASTER), portEntry(1)});
    QVERIFY(master.waitForFinished(30000));
    QVERIFY2(master.exitCode() == 0, master.readAllStandardError().constData());
    QCOMPARE(master.readAllStandardOutput().trimmed(), QByteArray("42"));
    answer.terminate();
    QVERIFY(answer.waitForFinished(5000));
    QVERIFY(answer.readAllStandardOutput().startsWith("requests 1, answered 1"));
}

// A session with a device, recorded by kavetta-send's log, replayed by kavetta-answer's rules made
// from it: the same script passes against the replay. The answerer's own log is in the same form.
void TestAnswer::replaysRecordedSession() {
    const QString script = rulesFile(
        QStringLiteral("send [ENQ]\nexpect [ACK]\nsend [STX]R1[ETX]\nexpect [STX]V10[ETX]\n"));
    const QString sendLog = config_.filePath(QStringLiteral("send.log"));
    const QString answerLog = config_.filePath(QStringLiteral("answer.log"));
    auto runScript = [&](const QStringList& options) {
        QProcess send;
        send.start(QStringLiteral(KAVETTA_SEND),
                   options +
                       QStringList{QStringLiteral("--script"), script, QStringLiteral("COM1")});
        return send.waitForFinished(30000) && send.exitStatus() == QProcess::NormalExit &&
               send.exitCode() == 0;
    };
    {
        QProcess device;
        QVERIFY(start(device, {QStringLiteral("--log"), answerLog,
                               rulesFile(QStringLiteral("on [ENQ] reply [ACK] after 0.02\n"
                                                        "on [STX]R[?][ETX] reply [STX]V[$1]0[ETX] "
                                                        "after 0.06\n"))}));
        QVERIFY(runScript({QStringLiteral("--log"), sendLog}));
        device.terminate();
        QVERIFY(device.waitForFinished(5000));
    }
    QFile log(answerLog);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray logged = log.readAll();
    QVERIFY2(logged.contains("{\"event\":\"read\",\"hex\":\"02523103\",\"t_us\":") &&
                 logged.contains("{\"event\":\"write\",\"hex\":\"0256313003\",\"t_us\":"),
             logged.constData());

    QProcess replay;
    replay.start(QStringLiteral(KAVETTA_ANSWER), {QStringLiteral("--rules-from"), sendLog});
    QVERIFY(replay.waitForFinished(10000));
    QCOMPARE(replay.exitCode(), 0);
    const QByteArray rules = replay.readAllStandardOutput();
    QVERIFY2(rules.contains("on [ENQ] reply [ACK] after 0.0"), rules.constData());
    QVERIFY2(rules.contains("on [STX]R1[ETX] reply [STX]V10[ETX] after 0.0"), rules.constData());
    QProcess stand;
    QVERIFY(start(stand, {rulesFile(QString::fromUtf8(rules))}));
    QVERIFY(runScript({}));
    stand.terminate();
    QVERIFY(stand.waitForFinished(5000));
    QVERIFY(stand.readAllStandardOutput().startsWith("requests 2, answered 2"));
}

QTEST_MAIN(TestAnswer)
#include "tst_answer.moc"
