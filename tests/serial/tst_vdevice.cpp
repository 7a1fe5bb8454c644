#include "mscomm.h"
#include "ptyfixture.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

using namespace kav;
using namespace kavtest;

class TestVDevice : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void echoesAfterDelay();
    void survivesCloseAndReopen();
    void stopsWhenTold_data();
    void stopsWhenTold();
    void stopsWithParent();
    void leavesForeignEntryAlone();

private:
    bool start(QProcess& device);
    CodeString exchange(MSComm& comm, const CodeString& sent, qint64* elapsedMs = nullptr);
    QTemporaryDir config_;
};

void TestVDevice::initTestCase() {
    QVERIFY(config_.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
}

void TestVDevice::cleanup() {
    QDir(portsFolder()).removeRecursively();
}

bool TestVDevice::start(QProcess& device) {
    device.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    device.start(QStringLiteral(KAVETTA_VDEVICE), {portsFolder()});
    if (!device.waitForStarted())
        return false;
    QDeadlineTimer deadline(5000);
    while (!QFileInfo(portEntry(1)).isSymLink() && !deadline.hasExpired())
        QTest::qWait(10);
    return QFileInfo(portEntry(1)).exists();
}

CodeString TestVDevice::exchange(MSComm& comm, const CodeString& sent, qint64* elapsedMs) {
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

void TestVDevice::echoesAfterDelay() {
    QProcess device;
    QVERIFY(start(device));
    MSComm comm;
    comm.setRThreshold(1);
    comm.setPortOpen(true);
    const CodeString sent{0x02, 'h', 'i', 0x00, 0x82A0, 0xB1, 0xFF, 0x03};
    qint64 elapsed = 0;
    QCOMPARE(exchange(comm, sent, &elapsed), sent);
    // The device answers after its delay, never at once.
    QVERIFY2(elapsed >= 250, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
    device.terminate();
    QVERIFY(device.waitForFinished(5000));
}

void TestVDevice::survivesCloseAndReopen() {
    QProcess device;
    QVERIFY(start(device));
    MSComm comm;
    comm.setRThreshold(1);
    for (int round = 0; round < 3; ++round) {
        comm.setInBufferCount(0);
        comm.setPortOpen(true);
        const CodeString sent{Code('a' + round)};
        QCOMPARE(exchange(comm, sent), sent);
        comm.setPortOpen(false);
    }
    QCOMPARE(device.state(), QProcess::Running);
    device.terminate();
    QVERIFY(device.waitForFinished(5000));
}

void TestVDevice::stopsWhenTold_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestVDevice::stopsWhenTold() {
    QFETCH(int, signal);
    QProcess device;
    QVERIFY(start(device));
    ::kill(pid_t(device.processId()), signal);
    QVERIFY(device.waitForFinished(5000));
    QCOMPARE(device.exitStatus(), QProcess::NormalExit);
    QCOMPARE(device.exitCode(), 0);
    QVERIFY(!QFileInfo(portEntry(1)).isSymLink());
}

void TestVDevice::stopsWithParent() {
    // The device's parent is a shell that ends on its own; the device must follow it.
    QProcess shell;
    shell.start("/bin/sh",
                {"-c", "\"$0\" \"$1\" & echo $!; sleep 1", KAVETTA_VDEVICE, portsFolder()});
    QVERIFY(shell.waitForReadyRead(5000));
    const pid_t device = pid_t(shell.readLine().trimmed().toInt());
    QVERIFY(device > 0);
    QDeadlineTimer linked(5000);
    while (!QFileInfo(portEntry(1)).isSymLink() && !linked.hasExpired())
        QTest::qWait(10);
    QVERIFY(QFileInfo(portEntry(1)).isSymLink());
    QVERIFY(shell.waitForFinished(5000));
    QDeadlineTimer gone(5000);
    while (::kill(device, 0) == 0 && !gone.hasExpired())
        QTest::qWait(20);
    const bool stillRunning = ::kill(device, 0) == 0;
    if (stillRunning)
        ::kill(device, SIGKILL);
    QVERIFY(!stillRunning);
    QVERIFY(!QFileInfo(portEntry(1)).isSymLink());
}

void TestVDevice::leavesForeignEntryAlone() {
    QDir().mkpath(portsFolder());
    QFile entry(portEntry(1));
    QVERIFY(entry.open(QIODevice::WriteOnly));
    entry.write("mine");
    entry.close();
    QProcess device;
    device.start(QStringLiteral(KAVETTA_VDEVICE), {portsFolder()});
    QVERIFY(device.waitForFinished(5000));
    QCOMPARE(device.exitCode(), 1);
    QVERIFY(entry.open(QIODevice::ReadOnly));
    QCOMPARE(entry.readAll(), QByteArray("mine"));
}

QTEST_GUILESS_MAIN(TestVDevice)
#include "tst_vdevice.moc"
