// Both programs against far ends this project did not write: socat's pty pair with pymodbus's
// Modbus ASCII slave or util-linux agetty behind it, a Python simulator that keeps its slave
// open, and a terminal program (picocom) holding the line, which must be refused.

#include "boxes.h"
#include "formfixture.h"
#include "messagetext.h"
#include "ptyfixture.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

using namespace kavtest;

namespace {

// Whether process pid has the device open and is waiting for input (in read, poll, select or
// epoll_wait, x86-64's numbers): a far end that flushes its input as it opens the line (pyserial
// does) is ready only then.
bool waitsOn(qint64 pid, const QString& device) {
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    bool open = false;
    for (const QFileInfo& fd : QDir(fds).entryInfoList(QDir::System))
        open = open || fd.symLinkTarget() == device;
    QFile syscall(QStringLiteral("/proc/%1/syscall").arg(pid));
    if (!open || !syscall.open(QIODevice::ReadOnly))
        return false;
    static const QList<QByteArray> waits = {"0", "7", "23", "232", "270", "271", "281"};
    return waits.contains(syscall.readAll().split(' ').value(0));
}

// A far end of the line as the test starts it: its processes, and the device the program under
// test opens.
struct FarEnd {
    QTemporaryDir dir;
    std::vector<std::unique_ptr<QProcess>> processes;
    QString device;
    std::unique_ptr<Pty> pty, console; // for a terminal program holding the line

    ~FarEnd() {
        for (auto it = processes.rbegin(); it != processes.rend(); ++it) {
            (*it)->terminate();
            if (!(*it)->waitForFinished(3000))
                (*it)->kill();
            (*it)->waitForFinished(1000);
        }
    }
    QProcess* start(const QString& program, const QStringList& arguments) {
        processes.push_back(std::make_unique<QProcess>());
        QProcess* process = processes.back().get();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(program, arguments);
        return process->waitForStarted() ? process : nullptr;
    }
    // socat's pair: `near` for the program, the far side's device returned.
    QString socatPair() {
        const QString near = dir.filePath(QStringLiteral("near")),
                      far = dir.filePath(QStringLiteral("far"));
        if (!start(QStringLiteral("socat"), {QStringLiteral("pty,raw,echo=0,link=") + near,
                                             QStringLiteral("pty,raw,echo=0,link=") + far}))
            return QString();
        QDeadlineTimer deadline(10000);
        while (!(QFileInfo::exists(near) && QFileInfo::exists(far)) && !deadline.hasExpired())
            QTest::qSleep(20);
        device = QFileInfo(near).canonicalFilePath();
        return QFileInfo(far).canonicalFilePath();
    }
    bool ready(const QProcess* process, const QString& line) {
        QDeadlineTimer deadline(20000);
        while (!waitsOn(process->processId(), line) && !deadline.hasExpired())
            QTest::qSleep(20);
        return !deadline.hasExpired();
    }

    bool start(const QString& kind) {
        if (kind == u"pymodbus") {
            const QString far = socatPair();
            const QProcess* slave = start(QStringLiteral(KAVETTA_PYTHON),
                                          {QStringLiteral(FARENDS "/modbus-slave.py"), far});
            return slave && ready(slave, far);
        }
        if (kind == u"agetty") {
            const QString far = socatPair();
            // agetty names the line below /dev; -w: the prompt comes at a carriage return.
            const QProcess* getty =
                start(QStringLiteral("agetty"),
                      {"-w", "-J", "-L", "-8", "-i", "--nohostname", far.mid(5), "9600", "vt100"});
            return getty && ready(getty, far);
        }
        if (kind == u"python") {
            const QString link = dir.filePath(QStringLiteral("simulator"));
            if (!start(QStringLiteral(KAVETTA_PYTHON),
                       {QStringLiteral(FARENDS "/keep-slave.py"), link}))
                return false;
            QDeadlineTimer deadline(10000);
            while (!QFileInfo::exists(link) && !deadline.hasExpired())
                QTest::qSleep(20);
            device = QFileInfo(link).canonicalFilePath();
            return !device.isEmpty();
        }
        // picocom on a line whose far end is the test, its own console another pseudo-terminal.
        pty = std::make_unique<Pty>();
        console = std::make_unique<Pty>();
        device = pty->slaveName;
        processes.push_back(std::make_unique<QProcess>());
        QProcess* picocom = processes.back().get();
        // In a session of its own: picocom ends by signalling its whole process group.
        picocom->setChildProcessModifier([] { ::setsid(); });
        picocom->setStandardInputFile(console->slaveName);
        picocom->setStandardOutputFile(console->slaveName);
        picocom->start(QStringLiteral("picocom"), {QStringLiteral("-q"), device});
        return picocom->waitForStarted() && ready(picocom, console->slaveName);
    }
};

} // namespace

class TestFarEnds : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void exchanges_data();
    void exchanges();

private:
    void sendExchange(const FarEnd& far, const QString& kind, const QString& message,
                      const QString& reply);
    void windowExchange(const FarEnd& far, const QString& kind, const QString& message,
                        const QString& reply);
    FormFixture fx_;
};

void TestFarEnds::initTestCase() {
    QVERIFY(fx_.start());
}

void TestFarEnds::exchanges_data() {
    QTest::addColumn<bool>("window"); // else kavetta-send
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message"); // as the send box shows it
    QTest::addColumn<QString>("reply");   // what the reply begins with, or the refusal
    for (const bool window : {false, true}) {
        const auto row = [window](const char* name) -> QTestData& {
            return QTest::addRow("%s: %s", window ? "window" : "kavetta-send", name) << window;
        };
        row("pymodbus behind socat") << "pymodbus"
                                     << ":010300000001FB[CR][LF]"
                                     << ":0103021234B4[CR][LF]";
        row("agetty behind socat") << "agetty"
                                   << "[CR]"
                                   << "[CR][LF]login:";
        row("a simulator that keeps its slave") << "python"
                                                << "[ENQ]"
                                                << "[ACK]";
        row("picocom holding the line") << "picocom"
                                        << "[ENQ]"
                                        << "in use by picocom (";
    }
}

void TestFarEnds::exchanges() {
    QFETCH(bool, window);
    QFETCH(QString, kind);
    QFETCH(QString, message);
    QFETCH(QString, reply);
    if (kind == u"agetty" && ::geteuid() != 0)
        QSKIP("agetty takes a line only as root");
    for (const char* program : {"socat", "agetty", "picocom"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
            qFatal("%s is missing: tools/install-deps installs it", program);
    FarEnd far;
    QVERIFY(far.start(kind) && linkPort(1, far.device));
    if (window)
        windowExchange(far, kind, message, reply);
    else
        sendExchange(far, kind, message, reply);
}

void TestFarEnds::sendExchange(const FarEnd& far, const QString& kind, const QString& message,
                               const QString& reply) {
    QProcess send;
    send.start(QStringLiteral(KAVETTA_SEND), {"--wait", "10", "COM1", message});
    QVERIFY(send.waitForFinished(30000));
    const QString out = QString::fromUtf8(send.readAllStandardOutput()),
                  err = QString::fromUtf8(send.readAllStandardError());
    if (kind == u"picocom") {
        QCOMPARE(send.exitCode(), 2);
        QVERIFY2(err.contains(reply), qPrintable(err));
        QCOMPARE(far.pty->read(1, 300), QByteArray());
    } else {
        QCOMPARE(send.exitCode(), 0);
        QVERIFY2(out.section(QStringLiteral("reply:  "), 1).startsWith(reply),
                 qPrintable(out + err));
    }
}

void TestFarEnds::windowExchange(const FarEnd& far, const QString& kind, const QString& message,
                                 const QString& reply) {
    // Composed as an operator would: control characters from the keypad, the rest typed.
    fx_.click(QStringLiteral("Command131"));
    for (const kav::Code code : kav::parseWritten(message, kav::Reach::Composable).codes) {
        if (code < 0x20)
            fx_.clickCode(code);
        else
            pressKey(fx_.get(QStringLiteral("Text3")), Qt::Key(code), QString(QChar(code)));
    }
    QCOMPARE(fx_.text(QStringLiteral("Text3")), message);
    BoxAnswerer boxes;
    if (kind == u"picocom")
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^OPEN failed: .*" +
                                                              QRegularExpression::escape(reply)));
    fx_.click(QStringLiteral("Command133"));
    if (kind == u"picocom") {
        QVERIFY(!fx_.form->comm().PortOpen());
        QTRY_COMPARE(boxes.seen.size(), 1); // the port box
        QCOMPARE(far.pty->read(1, 300), QByteArray());
        return;
    }
    QVERIFY(fx_.form->comm().PortOpen());
    fx_.click(QStringLiteral("Command130"));
    QTRY_VERIFY2_WITH_TIMEOUT(fx_.text(QStringLiteral("Text4")).contains(reply),
                              qPrintable(fx_.text(QStringLiteral("Text4"))), 10000);
    fx_.click(QStringLiteral("Command134"));
}

QTEST_MAIN(TestFarEnds)
#include "tst_farends.moc"
