#include "mscomm.h"
#include "ptyfixture.h"
#include "ttyscan_posix.h"

#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

using namespace kav;
using namespace kavtest;

class TestMSComm : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void stockValues();
    void portNumberRefused_data();
    void portNumberRefused();
    void settingsRefusedWhenWritten_data();
    void settingsRefusedWhenWritten();
    void lineSettingsApplied_data();
    void lineSettingsApplied();
    void settingsWrittenWhileOpen();
    void openFails_data();
    void openFails();
    void openTwiceRefused();
    void pseudoTerminalHasNoLine();
    void heldElsewhereRefused_data();
    void heldElsewhereRefused();
    void plantedLockEntryRefused_data();
    void plantedLockEntryRefused();
    void lockEntrySwapsNeverHold();
    void processNamesShownSafely_data();
    void processNamesShownSafely();
    void newPortNumberWaitsForNextOpen();
    void outputBytesExact_data();
    void outputBytesExact();
    void outputWhenClosedDoesNothing();
    void inputAsCodes_data();
    void inputAsCodes();
    void heldLeadDeliveredAlone();
    void polledInput_data();
    void polledInput();
    void countAndDiscard();
    void waitingIsBounded();
    void discardReachesSystemBuffer();
    void deviceLost();
    void anotherReaderIsNoLoss();
    void closeIsQuiet();

private:
    bool openOn(Pty& pty, const QString& settings = QStringLiteral("9600,N,8,1"));
    QTemporaryDir config_;
    std::unique_ptr<MSComm> comm_;
};

void TestMSComm::initTestCase() {
    QVERIFY(config_.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
}

void TestMSComm::init() {
    comm_ = std::make_unique<MSComm>();
}

void TestMSComm::cleanup() {
    comm_.reset();
    QDir(portsFolder()).removeRecursively();
}

bool TestMSComm::openOn(Pty& pty, const QString& settings) {
    if (!pty.ok() || !linkPort(1, pty.slaveName))
        return false;
    comm_->setCommPort(1);
    comm_->setSettings(settings);
    comm_->setRThreshold(1);
    comm_->setPortOpen(true);
    return comm_->PortOpen();
}

void TestMSComm::stockValues() {
    QCOMPARE(comm_->PortOpen(), false);
    QCOMPARE(comm_->Settings(), QStringLiteral("9600,N,8,1"));
    QCOMPARE(comm_->RThreshold(), 0);
    QCOMPARE(comm_->InputLen(), 0);
    QCOMPARE(comm_->NullDiscard(), false);
    QCOMPARE(comm_->InBufferCount(), 0);
}

void TestMSComm::portNumberRefused_data() {
    QTest::addColumn<int>("port");
    QTest::newRow("0") << 0;
    QTest::newRow("-1") << -1;
    QTest::newRow("-32768") << -32768;
}

void TestMSComm::portNumberRefused() {
    QFETCH(int, port);
    comm_->setCommPort(5);
    QVERIFY_THROWS_EXCEPTION(CommError, comm_->setCommPort(port));
    QCOMPARE(comm_->CommPort(), 5);
}

void TestMSComm::settingsRefusedWhenWritten_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("letters") << "abc,N,8,1";
    QTest::newRow("1.5 on this platform") << "9600,N,8,1.5";
    QTest::newRow("empty") << "";
}

void TestMSComm::settingsRefusedWhenWritten() {
    QFETCH(QString, text);
    comm_->setSettings("4800,E,7,2");
    QVERIFY_THROWS_EXCEPTION(CommError, comm_->setSettings(text));
    QCOMPARE(comm_->Settings(), QStringLiteral("4800,E,7,2"));
}

void TestMSComm::lineSettingsApplied_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("parityFlags");
    QTest::addColumn<bool>("twoStop");
    QTest::newRow("9600,N,8,1") << "9600,N,8,1" << int(B9600) << 0 << false;
    // The pseudo-terminal driver keeps the speed and the stop bits but always reports 8 data
    // bits and drops PARENB, so parity shows only in the flags it keeps: PARODD for odd and
    // mark, CMSPAR for mark and space.
    QTest::newRow("19200,E,7,2") << "19200,E,7,2" << int(B19200) << 0 << true;
    QTest::newRow("300,o,5,1") << "300,o,5,1" << int(B300) << int(PARODD) << false;
    QTest::newRow("115200,M,6,2") << "115200,M,6,2" << int(B115200) << int(PARODD | CMSPAR) << true;
    QTest::newRow("57600,s,8,1") << "57600,s,8,1" << int(B57600) << int(CMSPAR) << false;
    QTest::newRow("230400 beyond the list") << "230400,N,8,1" << int(B230400) << 0 << false;
}

void TestMSComm::lineSettingsApplied() {
    QFETCH(QString, settings);
    QFETCH(int, speed);
    QFETCH(int, parityFlags);
    QFETCH(bool, twoStop);
    Pty pty;
    QVERIFY(openOn(pty, settings));
    const termios tio = pty.settings();
    QCOMPARE(int(::cfgetospeed(&tio)), speed);
    QCOMPARE(int(::cfgetispeed(&tio)), speed);
    QCOMPARE(int(tio.c_cflag & (PARODD | CMSPAR)), parityFlags);
    QCOMPARE(bool(tio.c_cflag & CSTOPB), twoStop);
    QVERIFY(!(tio.c_cflag & CRTSCTS));         // no hardware handshake
    QVERIFY(!(tio.c_iflag & (IXON | IXOFF)));  // no software handshake
    QVERIFY(!(tio.c_lflag & (ICANON | ECHO))); // raw: bytes pass untouched
}

void TestMSComm::settingsWrittenWhileOpen() {
    Pty pty;
    QVERIFY(openOn(pty));
    comm_->setSettings("19200,N,8,2");
    termios tio = pty.settings();
    QCOMPARE(::cfgetospeed(&tio), speed_t(B19200));
    QVERIFY(tio.c_cflag & CSTOPB);
    QVERIFY_THROWS_EXCEPTION(CommError, comm_->setSettings("19200,N,8,x"));
    QCOMPARE(comm_->Settings(), QStringLiteral("19200,N,8,2"));
    QVERIFY(comm_->PortOpen());
}

void TestMSComm::openFails_data() {
    QTest::addColumn<QString>("entry");
    QTest::newRow("dangling link") << "dangling";
    QTest::newRow("link to a plain file") << "file";
    QTest::newRow("link to a folder") << "folder";
    QTest::newRow("plain file as the entry") << "entry-file";
    QTest::newRow("not a terminal") << "devnull";
}

void TestMSComm::openFails() {
    QFETCH(QString, entry);
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    QDir().mkpath(portsFolder());
    if (entry == "dangling") {
        QVERIFY(linkPort(7, scratch.path() + "/gone"));
    } else if (entry == "file") {
        QFile file(scratch.path() + "/plain");
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(linkPort(7, file.fileName()));
    } else if (entry == "folder") {
        QVERIFY(linkPort(7, scratch.path()));
    } else if (entry == "entry-file") {
        QFile file(portEntry(7));
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else {
        QVERIFY(linkPort(7, "/dev/null"));
    }
    comm_->setCommPort(7);
    QVERIFY_THROWS_EXCEPTION(CommError, comm_->setPortOpen(true));
    QCOMPARE(comm_->PortOpen(), false);
    // A failed open leaves the control usable.
    Pty pty;
    QVERIFY(openOn(pty));
}

void TestMSComm::openTwiceRefused() {
    Pty pty;
    QVERIFY(openOn(pty));
    QVERIFY_THROWS_EXCEPTION(CommError, comm_->setPortOpen(true));
    QVERIFY(comm_->PortOpen());
    comm_->Output({0x41});
    QCOMPARE(pty.read(1), QByteArray("A"));
}

void TestMSComm::pseudoTerminalHasNoLine() {
    Pty pty;
    QVERIFY(openOn(pty));
    QVERIFY(!comm_->hasLineRate());
    QVERIFY(!comm_->lineErrors());
    QCOMPARE(comm_->lowerLatency(), QStringLiteral("a pseudo-terminal has no low-latency mode"));
    // Asked and refused, the port goes on as it was.
    comm_->Output({0x41});
    QCOMPARE(pty.read(1), QByteArray("A"));
}

namespace {

// Whether someone holds a flock on the device, so that a fresh descriptor cannot take one.
bool lockedElsewhere(const QString& device) {
    const int fd =
        ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const bool locked = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    if (fd >= 0)
        ::close(fd);
    return locked;
}

QString procComm(qint64 pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLatin1(comm.readAll()).trimmed()
                                          : QString();
}

} // namespace

void TestMSComm::heldElsewhereRefused_data() {
    QTest::addColumn<QString>("holder");
    // A terminal program that opened the device as any file, without a lock (as screen does).
    QTest::newRow("opened plainly by another program") << "plain";
    // One that holds an advisory lock on it (as picocom and pyserial's exclusive mode do).
    QTest::newRow("flock held by another program") << "flock";
    // A lock whose holder the process scan passes over, as it passes over another user's
    // processes: the lock alone must refuse the device.
    QTest::newRow("flock held where the scan does not look") << "self";
    // A lock that no process's descriptors show, as another user's are hidden from a user: the
    // descriptor is in flight in a socket, and only the claim's own one is open on the device.
    QTest::newRow("flock held by a descriptor no process has") << "hidden";
}

void TestMSComm::heldElsewhereRefused() {
    QFETCH(QString, holder);
    Pty pty;
    QVERIFY(pty.ok() && linkPort(1, pty.slaveName));
    termios theirs = pty.settings(); // the other program's line, which must stay as it is
    ::cfsetspeed(&theirs, B1200);
    QCOMPARE(::tcsetattr(pty.master, TCSANOW, &theirs), 0);
    const QByteArray slave = QFile::encodeName(pty.slaveName);

    QProcess other;
    int ownLock = -1;
    const auto unlock = [&ownLock] {
        if (ownLock >= 0)
            ::close(ownLock);
        ownLock = -1;
    };
    const auto unlockOnFailure = qScopeGuard(unlock);
    QString named;
    if (holder == u"plain") {
        // The shell opens the device in the child, which can never make it the test's
        // controlling terminal.
        other.start("/bin/sh", {"-c", "exec sleep 30 <\"$0\"", pty.slaveName});
        QVERIFY(other.waitForStarted());
        QTRY_COMPARE(procComm(other.processId()), QStringLiteral("sleep"));
        named = QStringLiteral("sleep (process %1)").arg(other.processId());
    } else if (holder == u"flock") {
        // flock runs cat with the locked descriptor; cat ends when its input does.
        other.start("flock", {pty.slaveName, "cat"});
        QVERIFY(other.waitForStarted());
        QTRY_VERIFY(lockedElsewhere(pty.slaveName));
        named = QStringLiteral("flock (process %1)").arg(other.processId());
    } else {
        ownLock = ::open(slave.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(ownLock >= 0);
        QCOMPARE(::flock(ownLock, LOCK_EX | LOCK_NB), 0);
        named = QStringLiteral("in use by %1 (process %2)")
                    .arg(QFileInfo(QCoreApplication::applicationFilePath()).fileName().left(15))
                    .arg(QCoreApplication::applicationPid());
    }
    int pair[2] = {-1, -1};
    const auto closePair = qScopeGuard([&pair] {
        for (const int fd : pair)
            if (fd >= 0)
                ::close(fd);
    });
    if (holder == u"hidden") {
        QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
        char byte = 'L';
        iovec data{&byte, 1};
        alignas(cmsghdr) char space[CMSG_SPACE(sizeof(int))] = {};
        msghdr message{};
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = space;
        message.msg_controllen = sizeof space;
        cmsghdr* rights = CMSG_FIRSTHDR(&message);
        rights->cmsg_level = SOL_SOCKET;
        rights->cmsg_type = SCM_RIGHTS;
        rights->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(rights), &ownLock, sizeof(int));
        QCOMPARE(::sendmsg(pair[0], &message, 0), ssize_t(1));
        unlock(); // the lock lives on in the socket
        QVERIFY(lockedElsewhere(pty.slaveName));
        named = QStringLiteral("locked by another program (one this user cannot see)");
    } else if (!named.startsWith(u"in use by ")) {
        named.prepend(QStringLiteral("in use by "));
    }

    comm_->setCommPort(1);
    QString why;
    try {
        comm_->setPortOpen(true);
    } catch (const CommError& error) {
        why = QString::fromStdString(error.what());
    }
    QVERIFY2(why.startsWith(pty.slaveName + QStringLiteral(": ") + named), qPrintable(why));
    QVERIFY(!why.contains(u'\n'));
    QCOMPARE(comm_->PortOpen(), false);
    comm_->Output({'A'});
    QCOMPARE(pty.read(1, 100), QByteArray());
    const termios after = pty.settings();
    QCOMPARE(::cfgetospeed(&after), speed_t(B1200));

    // Once the other program is gone the device opens, and is locked while it is open. The
    // descriptor that tries the lock is opened first: once open, the serial library puts the
    // terminal in exclusive mode, where any later open but root's fails before it could try.
    unlock();
    for (int& fd : pair) { // the descriptor in flight goes with the socket
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    other.closeWriteChannel(); // flock's cat ends, and flock with it
    if (holder == u"plain")
        other.kill();
    other.waitForFinished();
    const int late = ::open(slave.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(late >= 0);
    QVERIFY(openOn(pty));
    const bool lockRefused = ::flock(late, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(late);
    QVERIFY(lockRefused);
}

// What another user can leave in the lock folder, which every user may write, under the names
// the serial library and the programs that share its locks use for a device.
enum class Planted {
    FifoEntry,
    FifoRmlockBesideStale,
    ZeroRmlockBesideStale,
    FifoRmlockRmlock,
    SparseEntry,
    LiveHdbLock,
    StaleLock
};
Q_DECLARE_METATYPE(Planted)

namespace {

// The lock entry for a device, under /run/lock (where /var/lock points).
QByteArray lockEntryFor(const QString& device) {
    return QFile::encodeName(QStringLiteral("/run/lock/LCK..") + device.mid(5).replace('/', '_'));
}

bool writeBytes(const QByteArray& path, const QByteArray& bytes) {
    QFile file(QFile::decodeName(path));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A lock in the HDB form (as minicom and cu write): the process number in ten characters.
QByteArray hdbLock(qint64 pid) {
    return QByteArray::number(pid).rightJustified(10, ' ') + '\n';
}

// A number no process can have: beyond the largest the kernel gives out.
qint64 deadPid() {
    QFile max(QStringLiteral("/proc/sys/kernel/pid_max"));
    return max.open(QIODevice::ReadOnly) ? max.readAll().trimmed().toLongLong() + 1 : 99999999;
}

// While it lives, makes any read that waits on one of the FIFOs end after a while, so that a test
// whose open used one fails instead of hanging; it tells whether it had to.
class FifoUnblocker {
public:
    explicit FifoUnblocker(QList<QByteArray> fifos) : fifos_(std::move(fifos)) {
        thread_ = std::thread([this] {
            std::unique_lock lock(mutex_);
            if (done_.wait_for(lock, std::chrono::seconds(5), [this] { return finished_; }))
                return;
            while (
                !done_.wait_for(lock, std::chrono::milliseconds(50), [this] { return finished_; }))
                for (const QByteArray& fifo : fifos_) {
                    struct stat info;
                    if (::lstat(fifo.constData(), &info) != 0 || !S_ISFIFO(info.st_mode))
                        continue;
                    const int fd = ::open(fifo.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
                    if (fd >= 0) {
                        [[maybe_unused]] const auto written = ::write(fd, "1\n", 2);
                        ::close(fd);
                        used_ = true;
                    }
                }
        });
    }
    ~FifoUnblocker() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_one();
        thread_.join();
    }
    bool used() const { return used_; }

private:
    QList<QByteArray> fifos_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::atomic<bool> used_ = false;
    std::thread thread_;
};

} // namespace

void TestMSComm::plantedLockEntryRefused_data() {
    QTest::addColumn<Planted>("planted");
    QTest::addColumn<QString>("refusal"); // empty where the port must open
    // Each would hold the serial library in a read for ever, or fill its memory.
    QTest::newRow("a FIFO as the lock") << Planted::FifoEntry << "LCK..%1 is a FIFO";
    QTest::newRow("a FIFO as .rmlock beside a crash's lock")
        << Planted::FifoRmlockBesideStale << "LCK..%1.rmlock is a FIFO";
    QTest::newRow(".rmlock a link to /dev/zero beside a crash's lock")
        << Planted::ZeroRmlockBesideStale << "LCK..%1.rmlock is a symbolic link";
    QTest::newRow("a FIFO as .rmlock.rmlock")
        << Planted::FifoRmlockRmlock << "LCK..%1.rmlock.rmlock is a FIFO";
    QTest::newRow("a sparse 8 GiB lock")
        << Planted::SparseEntry << "LCK..%1 is 8589934592 bytes, larger than any lock";
    // Another program's lock in the form minicom, cu and picocom's UUCP locking write.
    QTest::newRow("a live lock in the HDB form") << Planted::LiveHdbLock << "in use by sleep";
    // What a crash leaves is taken over.
    QTest::newRow("a lock whose process has ended") << Planted::StaleLock << QString();
}

void TestMSComm::plantedLockEntryRefused() {
    // Named for this test's own device only, and removed at the end.
    QFETCH(Planted, planted);
    QFETCH(QString, refusal);
    Pty pty;
    QVERIFY(pty.ok() && linkPort(1, pty.slaveName));
    QVERIFY(pty.slaveName.startsWith(QLatin1String("/dev/")));
    const QByteArray entry = lockEntryFor(pty.slaveName);
    const QByteArray rmlock = entry + ".rmlock", rmrmlock = rmlock + ".rmlock";
    QProcess holder;
    const auto cleanUp = qScopeGuard([&] {
        for (const QByteArray& name : {entry, rmlock, rmrmlock})
            ::unlink(name.constData());
        holder.kill();
        holder.waitForFinished();
    });
    if (!writeBytes(entry, hdbLock(deadPid())))
        QSKIP("the lock folder /run/lock cannot be written here");
    switch (planted) {
    case Planted::FifoEntry:
        QCOMPARE(::unlink(entry.constData()), 0);
        QCOMPARE(::mkfifo(entry.constData(), 0666), 0);
        break;
    case Planted::FifoRmlockBesideStale:
        QCOMPARE(::mkfifo(rmlock.constData(), 0666), 0);
        break;
    case Planted::ZeroRmlockBesideStale:
        QCOMPARE(::symlink("/dev/zero", rmlock.constData()), 0);
        break;
    case Planted::FifoRmlockRmlock:
        QVERIFY(writeBytes(rmlock, hdbLock(deadPid())));
        QCOMPARE(::mkfifo(rmrmlock.constData(), 0666), 0);
        break;
    case Planted::SparseEntry:
        QCOMPARE(::truncate(entry.constData(), off_t(8) << 30), 0);
        break;
    case Planted::LiveHdbLock:
        holder.start("sleep", {"30"});
        QVERIFY(holder.waitForStarted());
        QVERIFY(writeBytes(entry, hdbLock(holder.processId())));
        refusal += QStringLiteral(" (process %1)").arg(holder.processId());
        break;
    case Planted::StaleLock:
        break;
    }
    const FifoUnblocker unblocker({entry, rmlock, rmrmlock});

    comm_->setCommPort(1);
    QString why;
    try {
        comm_->setPortOpen(true);
    } catch (const CommError& error) {
        why = QString::fromStdString(error.what());
    }
    QVERIFY2(!unblocker.used(), "the open waited on a FIFO");
    if (refusal.isEmpty()) {
        QVERIFY2(comm_->PortOpen(), qPrintable(why));
        // The lock is this program's while the port is open, and goes with it.
        QFile lock(QFile::decodeName(entry));
        QVERIFY(lock.open(QIODevice::ReadOnly));
        QCOMPARE(lock.readLine().trimmed().toLongLong(), QCoreApplication::applicationPid());
        comm_->setPortOpen(false);
        QVERIFY(!QFile::exists(QFile::decodeName(entry)));
        return;
    }
    if (refusal.contains(u'%'))
        refusal = refusal.arg(pty.slaveName.mid(5).replace('/', '_'));
    QVERIFY2(why.contains(refusal), qPrintable(why));
    QCOMPARE(comm_->PortOpen(), false);
}

void TestMSComm::lockEntrySwapsNeverHold() {
    // Another user swaps a FIFO and a lock file at the lock's name without pause
    // (renameat2 RENAME_EXCHANGE), to land the FIFO between a check and a read by name.
    Pty pty;
    QVERIFY(pty.ok() && linkPort(1, pty.slaveName));
    const QByteArray entry = lockEntryFor(pty.slaveName);
    const QByteArray fifo = entry + "-swap";
    if (!writeBytes(entry, hdbLock(deadPid())))
        QSKIP("the lock folder /run/lock cannot be written here");
    QCOMPARE(::mkfifo(fifo.constData(), 0666), 0);
    std::atomic<bool> stop = false;
    std::thread swapper([&] {
        while (!stop)
            ::syscall(SYS_renameat2, AT_FDCWD, entry.constData(), AT_FDCWD, fifo.constData(),
                      2 /* RENAME_EXCHANGE */);
    });
    const auto cleanUp = qScopeGuard([&] {
        stop = true;
        swapper.join();
        ::unlink(entry.constData());
        ::unlink(fifo.constData());
        ::unlink(entry + ".rmlock");
    });
    const FifoUnblocker unblocker({entry, fifo, entry + ".rmlock"});
    comm_->setCommPort(1);
    for (int run = 0; run < 20 && !unblocker.used(); ++run) {
        try {
            comm_->setPortOpen(true);
        } catch (const CommError&) {
        }
        comm_->setPortOpen(false);
    }
    QVERIFY2(!unblocker.used(), "an open waited on the FIFO");
}

void TestMSComm::processNamesShownSafely_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << QByteArray("picocom") << "picocom";
    QTest::newRow("blanks kept") << QByteArray("my tool") << "my tool";
    QTest::newRow("a title escape, a bell, a clear and a line break")
        << QByteArray("\x1b]0;PWN\a\x1b[2J\nX") << "?]0;PWN??[2J?X";
    QTest::newRow("DEL") << QByteArray("a\x7f") << "a?";
    QTest::newRow("C1 CSI") << QByteArray("a\xc2\x9b"
                                          "2J")
                            << "a?2J";
    QTest::newRow("not UTF-8") << QByteArray("a\xff\xfe") << "a??";
    QTest::newRow("a direction override") << QByteArray("a\xe2\x80\xae"
                                                        "b")
                                          << "a?b";
    QTest::newRow("a line separator") << QByteArray("a\xe2\x80\xa8"
                                                    "b")
                                      << "a?b";
    QTest::newRow("Japanese kept") << QByteArray("\xe7\xab\xaf\xe6\x9c\xab") << u8"端末";
}

void TestMSComm::processNamesShownSafely() {
    QFETCH(QByteArray, name);
    QFETCH(QString, shown);
    QCOMPARE(shownName(name), shown);
}

void TestMSComm::newPortNumberWaitsForNextOpen() {
    Pty one, two;
    QVERIFY(one.ok() && two.ok());
    QVERIFY(linkPort(2, two.slaveName));
    QVERIFY(openOn(one));
    comm_->setCommPort(2);
    QCOMPARE(comm_->CommPort(), 2);
    comm_->Output({0x31});
    QCOMPARE(one.read(1), QByteArray("1"));
    comm_->setPortOpen(false);
    comm_->setPortOpen(true);
    comm_->Output({0x32});
    QCOMPARE(two.read(1), QByteArray("2"));
}

void TestMSComm::outputBytesExact_data() {
    QTest::addColumn<CodeString>("codes");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("text") << CodeString{0x02, 'A', 'B', 0x03}
                          << QByteArray("\x02"
                                        "AB\x03");
    QTest::newRow("double-byte as its two bytes") << CodeString{0x82A0, 'a'}
                                                  << QByteArray("\x82\xA0"
                                                                "a");
    CodeString all;
    QByteArray allBytes;
    for (int i = 0; i < 256; ++i) {
        all << Code(i);
        allBytes += char(i);
    }
    QTest::newRow("every byte in order") << all << allBytes;
}

void TestMSComm::outputBytesExact() {
    QFETCH(CodeString, codes);
    QFETCH(QByteArray, bytes);
    Pty pty;
    QVERIFY(openOn(pty));
    comm_->Output(codes);
    QCOMPARE(pty.read(bytes.size()), bytes);
    QCOMPARE(pty.read(1, 100), QByteArray()); // nothing added
}

void TestMSComm::outputWhenClosedDoesNothing() {
    comm_->Output({0x41, 0x42}); // must not throw or crash
    QCOMPARE(comm_->PortOpen(), false);
}

void TestMSComm::inputAsCodes_data() {
    // How bytes split into codes is the splitter's table; these show the control hands them on.
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<CodeString>("codes");
    QTest::newRow("NUL and high bytes kept")
        << QByteArray("\0A\xB1\x80\xFF", 5) << CodeString{0, 'A', 0xB1, 0x80, 0xFF};
    QTest::newRow("pair, lead + invalid trail")
        << QByteArray("\x82\xA0\x81\x20") << CodeString{0x82A0, 0x81, 0x20};
}

void TestMSComm::inputAsCodes() {
    QFETCH(QByteArray, sent);
    QFETCH(CodeString, codes);
    Pty pty;
    QVERIFY(openOn(pty));
    QSignalSpy spy(comm_.get(), &MSComm::OnComm);
    CodeString got;
    connect(comm_.get(), &MSComm::OnComm, this, [&] {
        QCOMPARE(comm_->CommEvent(), MSComm::ComEvReceive);
        got += comm_->Input();
        QCOMPARE(comm_->InBufferCount(), 0); // nothing of it waits afterwards
    });
    QVERIFY(pty.write(sent));
    QTRY_COMPARE(got, codes);
    QVERIFY(spy.count() >= 1);
}

void TestMSComm::heldLeadDeliveredAlone() {
    // A lead byte that ends what arrived waits briefly for its trail, is counted meanwhile, and
    // then comes on its own with a fresh receive event.
    Pty pty;
    QVERIFY(openOn(pty));
    QList<CodeString> events;
    connect(comm_.get(), &MSComm::OnComm, this, [&] { events << comm_->Input(); });
    QVERIFY(pty.write(QByteArray("A\x82")));
    QTRY_VERIFY(!events.isEmpty());
    if (events.size() == 1) {
        QCOMPARE(events[0], CodeString{'A'});
        QCOMPARE(comm_->InBufferCount(), 1);
    }
    QTRY_COMPARE(events.size(), 2);
    QCOMPARE(events[0], CodeString{'A'});
    QCOMPARE(events[1], CodeString{0x82});
    QCOMPARE(comm_->InBufferCount(), 0);
}

void TestMSComm::polledInput_data() {
    // With no receive threshold nothing is told: the caller polls the count and takes input,
    // at most InputLen codes at a time (0: all), NULs dropped while NullDiscard is set.
    QTest::addColumn<int>("inputLen");
    QTest::addColumn<bool>("nullDiscard");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("waiting");
    QTest::addColumn<QList<CodeString>>("takes");
    QTest::newRow("all at once") << 0 << false << QByteArray("abc") << 3
                                 << QList<CodeString>{{'a', 'b', 'c'}, {}};
    QTest::newRow("InputLen 2") << 2 << false << QByteArray("abc") << 3
                                << QList<CodeString>{{'a', 'b'}, {'c'}, {}};
    QTest::newRow("NUL discarded")
        << 0 << true << QByteArray("\0a\0b", 4) << 2 << QList<CodeString>{{'a', 'b'}};
}

void TestMSComm::polledInput() {
    QFETCH(int, inputLen);
    QFETCH(bool, nullDiscard);
    QFETCH(QByteArray, sent);
    QFETCH(int, waiting);
    QFETCH(QList<CodeString>, takes);
    Pty pty;
    QVERIFY(openOn(pty));
    comm_->setRThreshold(0);
    comm_->setInputLen(inputLen);
    comm_->setNullDiscard(nullDiscard);
    QSignalSpy spy(comm_.get(), &MSComm::OnComm);
    QVERIFY(pty.write(sent));
    QTRY_COMPARE(comm_->InBufferCount(), waiting);
    QCOMPARE(spy.count(), 0);
    for (const CodeString& take : takes)
        QCOMPARE(comm_->Input(), take);
}

void TestMSComm::countAndDiscard() {
    Pty pty;
    QVERIFY(openOn(pty));
    comm_->setRThreshold(0);
    QVERIFY(pty.write("ab\x82\xA0\x82"));
    // Three characters and a held lead byte.
    QTRY_COMPARE(comm_->InBufferCount(), 4);
    comm_->setInBufferCount(0);
    QCOMPARE(comm_->InBufferCount(), 0);
    comm_->setRThreshold(1);
    QSignalSpy spy(comm_.get(), &MSComm::OnComm);
    QTest::qWait(150); // longer than the hold: the discarded lead byte must not come back
    QCOMPARE(spy.count(), 0);
    QCOMPARE(comm_->Input(), CodeString{});
    QVERIFY(pty.write("z"));
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(comm_->Input(), CodeString{'z'});
}

void TestMSComm::waitingIsBounded() {
    // Past the bound the newest bytes are dropped, as a receive FIFO overruns; what was kept
    // stays whole and in order, and a discard lets new bytes in again.
    Pty pty;
    QVERIFY(openOn(pty));
    QByteArray sent;
    for (int i = 0; i < MSComm::MaxWaiting + 5000; ++i)
        sent += char('a' + i % 26);
    QSignalSpy spy(comm_.get(), &MSComm::OnComm);
    for (qsizetype at = 0; at < sent.size();) {
        const ssize_t n = ::write(pty.master, sent.constData() + at, size_t(sent.size() - at));
        at += n > 0 ? n : 0;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    // Everything sent has left the system's queue: kept or dropped.
    const int slave = ::open(QFile::encodeName(pty.slaveName).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(slave >= 0);
    auto queued = [slave] {
        int n = -1;
        ::ioctl(slave, TIOCINQ, &n);
        return n;
    };
    QTRY_VERIFY(queued() == 0 && comm_->InBufferCount() == MSComm::MaxWaiting);
    ::close(slave);
    const int eventsWhenFull = int(spy.count());
    QVERIFY(pty.write("!"));
    QTRY_VERIFY(spy.count() > eventsWhenFull); // a full control still tells of arrivals
    QCOMPARE(comm_->InBufferCount(), MSComm::MaxWaiting);
    CodeString kept;
    for (char byte : sent.first(MSComm::MaxWaiting))
        kept += Code(byte);
    QCOMPARE(comm_->Input(), kept);
    QVERIFY(pty.write("new"));
    QTRY_COMPARE(comm_->InBufferCount(), 3);
    QCOMPARE(comm_->Input(), (CodeString{'n', 'e', 'w'}));
}

void TestMSComm::discardReachesSystemBuffer() {
    // Bytes that arrived but were never read by the program are discarded as well.
    Pty pty;
    QVERIFY(openOn(pty));
    const int slave = ::open(QFile::encodeName(pty.slaveName).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(slave >= 0);
    QVERIFY(pty.write("stale"));
    int waiting = 0;
    for (int i = 0; i < 500 && waiting < 5; ++i) {
        ::ioctl(slave, TIOCINQ, &waiting); // no event loop here, so the program reads nothing
        QTest::qSleep(2);
    }
    ::close(slave);
    QCOMPARE(waiting, 5);
    comm_->setInBufferCount(0);
    QSignalSpy spy(comm_.get(), &MSComm::OnComm);
    QTest::qWait(100);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(comm_->InBufferCount(), 0);
}

void TestMSComm::deviceLost() {
    Pty pty;
    QVERIFY(openOn(pty));
    QSignalSpy lost(comm_.get(), &MSComm::DeviceLost);
    QSignalSpy received(comm_.get(), &MSComm::OnComm);
    const long before = cpuTicks();
    pty.closeMaster();
    QTRY_COMPARE(lost.count(), 1);
    QCOMPARE(comm_->PortOpen(), false);
    QCOMPARE(comm_->InBufferCount(), 0);
    // Nothing spins on the hung-up device, and the loss is told once.
    QTest::qWait(500);
    QCOMPARE(lost.count(), 1);
    QCOMPARE(received.count(), 0);
    const long used = cpuTicks() - before;
    QVERIFY2(used < 25, qPrintable(QStringLiteral("%1 ticks").arg(used)));
    // The control works again with a new device at the same entry.
    Pty fresh;
    QVERIFY(openOn(fresh));
    comm_->Output({'k'});
    QCOMPARE(fresh.read(1), QByteArray("k"));
}

void TestMSComm::anotherReaderIsNoLoss() {
    // A program the claim cannot see (another user's) reads the same device and now and then
    // takes the bytes between the serial library's wait and its read. The device is still there.
    Pty pty;
    QVERIFY(openOn(pty));
    QSignalSpy lost(comm_.get(), &MSComm::DeviceLost);
    const int thief = ::open(QFile::encodeName(pty.slaveName).constData(),
                             O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(thief >= 0);
    std::atomic<bool> stop = false;
    std::thread reader([&] {
        char byte;
        while (!stop)
            if (::read(thief, &byte, 1) < 0)
                std::this_thread::yield();
    });
    for (int i = 0; i < 400 && comm_->PortOpen(); ++i) {
        pty.write("x");
        QCoreApplication::processEvents();
    }
    stop = true;
    reader.join();
    ::close(thief);
    QCoreApplication::processEvents();
    QCOMPARE(lost.count(), 0);
    QVERIFY(comm_->PortOpen());
    comm_->setInBufferCount(0);
    pty.write("y");
    QTRY_COMPARE(comm_->InBufferCount(), 1);
}

void TestMSComm::closeIsQuiet() {
    Pty pty;
    QVERIFY(openOn(pty));
    QSignalSpy lost(comm_.get(), &MSComm::DeviceLost);
    comm_->setPortOpen(false);
    QCOMPARE(comm_->PortOpen(), false);
    QTRY_VERIFY(pty.slaveClosed());
    comm_->setPortOpen(false); // closing a closed port is harmless
    QTest::qWait(50);
    QCOMPARE(lost.count(), 0);
}

QTEST_GUILESS_MAIN(TestMSComm)
#include "tst_mscomm.moc"
