#include "portdevice.h"
#include "ttyscan_posix.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QStringList>
#include <QSysInfo>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kav {

namespace {

// Who, of those that can be seen, may hold a lock on the device when no other program has it
// open: the line's far end, or this same program through another of its ports. Empty when it
// can only be someone this user cannot see.
QString lockHolders(const Holders& holders) {
    if (!holders.others.isEmpty())
        return listOf(holders.others);
    if (!holders.farEnds.isEmpty())
        return listOf(holders.farEnds);
    if (holders.self)
        return listOf({{long(::getpid()), programName(long(::getpid()))}});
    return QString();
}

// What kind of entry a non-regular file is, for a message.
QString kindOf(mode_t mode) {
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISLNK(mode))
        return QStringLiteral("a symbolic link");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("a device");
}

// The UUCP-style lock entry for device: LCK.. and the device's name below /dev with '/' made
// '_', in the first of the lock folders that may be read and either holds the entry already or
// may be written, as the serial library (Qt 6) chooses it and the programs that honour such locks
// look for it. On Debian that is /var/lock, a link to /run/lock. Empty when there is no folder.
QString lockEntryOf(const QString& device) {
    static const QStringList folders = {
        QStringLiteral("/var/lock"),
        QStringLiteral("/etc/locks"),
        QStringLiteral("/var/spool/locks"),
        QStringLiteral("/var/spool/uucp"),
        QStringLiteral("/tmp"),
        QStringLiteral("/var/tmp"),
        QStringLiteral("/var/lock/lockdev"),
        QStringLiteral("/run/lock"),
        QStandardPaths::writableLocation(QStandardPaths::TempLocation)};
    QString name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.prepend(QLatin1String("/LCK.."));
    for (const QString& folder : folders) {
        const QByteArray path = QFile::encodeName(folder);
        const QString entry = folder + name;
        if (::access(path.constData(), R_OK) == 0 &&
            (::access(QFile::encodeName(entry).constData(), F_OK) == 0 ||
             ::access(path.constData(), W_OK) == 0))
            return entry;
    }
    return QString();
}

// Larger than any lock: Qt's own hold five short lines (about 80 bytes), the HDB form eleven.
constexpr qint64 LargestLock = 1024;

// The process a lock's text names: the HDB form ("      4242\n"), Qt's ("4242\nname\nhost\n...")
// or the old binary one (the pid as 4 bytes). 0 when it names none.
long lockPid(const QByteArray& text) {
    qsizetype at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    long pid = 0;
    qsizetype digits = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 10; ++at, ++digits)
        pid = pid * 10 + (text[at] - '0');
    if (digits > 0 && (at == text.size() || text[at] == '\n' || text[at] == ' '))
        return pid;
    if (text.size() == 4) {
        qint32 binary = 0;
        std::memcpy(&binary, text.constData(), 4);
        return binary > 0 ? long(binary) : 0;
    }
    return 0;
}

struct Seen {
    enum { Gone, Refused, Live, Stale } state = Gone;
    long pid = 0;
    struct stat info {};
};

// What stands at entry, looked at without following a link, without waiting on a FIFO or a
// device, and reading at most LargestLock bytes. *why says why when it is refused.
Seen inspect(const QString& device, const QString& entry, QString* why) {
    Seen seen;
    const QByteArray name = QFile::encodeName(entry);
    const int fd =
        ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            return seen;
        seen.state = Seen::Refused;
        struct stat link;
        *why =
            device + QStringLiteral(": its lock entry ") + entry + QStringLiteral(" is ") +
            (::lstat(name.constData(), &link) == 0 && !S_ISREG(link.st_mode)
                 ? kindOf(link.st_mode) + QStringLiteral(", not a lock file")
                 : QStringLiteral("unreadable: ") + QString::fromLocal8Bit(std::strerror(error)));
        return seen;
    }
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    if (::fstat(fd, &seen.info) != 0 || !S_ISREG(seen.info.st_mode)) {
        seen.state = Seen::Refused;
        *why = device + QStringLiteral(": its lock entry ") + entry + QStringLiteral(" is ") +
               kindOf(seen.info.st_mode) + QStringLiteral(", not a lock file");
        return seen;
    }
    if (seen.info.st_size > LargestLock) {
        seen.state = Seen::Refused;
        *why = device + QStringLiteral(": its lock entry ") + entry +
               QStringLiteral(" is %1 bytes, larger than any lock").arg(qint64(seen.info.st_size));
        return seen;
    }
    char text[LargestLock];
    ssize_t n = 0;
    do
        n = ::pread(fd, text, sizeof text, 0);
    while (n < 0 && errno == EINTR);
    seen.pid = n > 0 ? lockPid(QByteArray(text, n)) : 0;
    // A holder that keeps its entry locked, as Qt's lock files are, is there whatever it wrote.
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    const bool alive = seen.pid > 0 && (seen.pid == long(::getpid()) ||
                                        ::kill(pid_t(seen.pid), 0) == 0 || errno == EPERM);
    seen.state = held || alive ? Seen::Live : Seen::Stale;
    return seen;
}

// Refuses the siblings Qt's lock files take as they clear a stale lock (entry.rmlock, and
// .rmlock again for that one) when they are not small regular files: nothing here reads them,
// but any program on the serial library would hang on one, and nothing but tampering leaves them.
bool siblingsSound(const QString& device, const QString& entry, QString* why) {
    QString sibling = entry;
    for (int depth = 0; depth < 8; ++depth) {
        sibling += QLatin1String(".rmlock");
        QString refusal;
        const Seen seen = inspect(device, sibling, &refusal);
        if (seen.state == Seen::Gone)
            return true;
        if (seen.state == Seen::Refused) {
            *why = refusal;
            return false;
        }
    }
    return true;
}

// What the lock entry this program writes says: Qt's own form, the same as its lock files hold,
// so that programs on the serial library take it for a live lock, and with the process number
// first, which is all the HDB programs read.
QByteArray lockText() {
    const long pid = long(::getpid());
    return QByteArray::number(qint64(pid)) + '\n' +
           QFile::encodeName(QFileInfo(QCoreApplication::applicationFilePath()).fileName()) + '\n' +
           QSysInfo::machineHostName().toUtf8() + '\n' + QSysInfo::machineUniqueId() + '\n' +
           QSysInfo::bootUniqueId() + '\n';
}

// The device by a path of its own: a random run of "/", "/." and "/.." (each of them the root
// again) before the device's absolute path, 64 bits' worth, so that the serial library's lock
// entry, named after the path it is given, is one nobody could know before the library makes it.
// Empty when the name would be too long for a lock entry.
QString unguessableName(const QString& device) {
    const QString path = QFileInfo(device).absoluteFilePath();
    constexpr int Steps = 41; // 3^41 > 2^64
    // The library's entry: "LCK.." and the path, within a file name's 255 bytes.
    if (5 + 3 * Steps + QFile::encodeName(path).size() > 255)
        return QString();
    QString name;
    for (int step = 0; step < Steps; ++step) {
        static const QLatin1String parts[] = {QLatin1String("/"), QLatin1String("/."),
                                              QLatin1String("/..")};
        name += parts[QRandomGenerator::system()->bounded(3)];
    }
    return name + path;
}

} // namespace

bool DeviceClaim::takeLock(const QString& device, QString* why) {
    const QString entry = lockEntryOf(device);
    if (entry.isEmpty())
        return true; // the serial library finds no folder either, and says so
    const QByteArray name = QFile::encodeName(entry);
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (!siblingsSound(device, entry, why))
            return false;
        const int fd =
            ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            // Locked as Qt locks its own, so that a program on the serial library that finds the
            // entry older than its stale time still cannot remove it.
            ::flock(fd, LOCK_EX | LOCK_NB);
            const QByteArray text = lockText();
            if (::write(fd, text.constData(), size_t(text.size())) != text.size()) {
                const int error = errno;
                ::unlink(name.constData());
                ::close(fd);
                *why = device + QStringLiteral(": its lock entry ") + entry +
                       QStringLiteral(" cannot be written: ") +
                       QString::fromLocal8Bit(std::strerror(error));
                return false;
            }
            lockFd_ = fd;
            lockEntry_ = entry;
            return true;
        }
        if (errno != EEXIST) {
            *why = device + QStringLiteral(": its lock entry ") + entry +
                   QStringLiteral(" cannot be made: ") +
                   QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        const Seen seen = inspect(device, entry, why);
        switch (seen.state) {
        case Seen::Gone:
            continue;
        case Seen::Refused:
            return false;
        case Seen::Live:
            *why = device + QStringLiteral(": in use by ") +
                   listOf({{seen.pid, programName(seen.pid)}}) +
                   QStringLiteral(", as its lock entry ") + entry + QStringLiteral(" says");
            if (seen.pid <= 0)
                *why = device + QStringLiteral(": its lock entry ") + entry +
                       QStringLiteral(" is held by a program that named no process");
            return false;
        case Seen::Stale:
            break;
        }
        // A program creates its entry before it writes its number: one that names nobody gets a
        // moment before it is taken for a crash's leftovers.
        if (seen.pid == 0 && attempt == 0) {
            ::usleep(100 * 1000);
            continue;
        }
        // Cleared only while it is the entry that was read, not one another program has just made
        // in its place. The folder is sticky: another user's entry stays, and says why.
        struct stat now;
        if (::lstat(name.constData(), &now) != 0 || now.st_ino != seen.info.st_ino ||
            now.st_dev != seen.info.st_dev)
            continue;
        if (::unlink(name.constData()) != 0 && errno != ENOENT) {
            *why = device + QStringLiteral(": its lock entry ") + entry +
                   (seen.pid > 0
                        ? QStringLiteral(" was left by process %1, which has ended").arg(seen.pid)
                        : QStringLiteral(" names no process")) +
                   QStringLiteral(", and this user may not remove it");
            return false;
        }
    }
    *why = device + QStringLiteral(": its lock entry ") + entry + QStringLiteral(" keeps changing");
    return false;
}

bool DeviceClaim::take(const QString& device, QString* why) {
    release();
    libraryName_ = unguessableName(device);
    if (libraryName_.isEmpty()) {
        *why = device + QStringLiteral(": the name is too long for a lock entry");
        return false;
    }
    if (!takeLock(device, why))
        return false;
    const QByteArray path = QFile::encodeName(device);
    // Opening without waiting for carrier and without becoming our controlling terminal changes
    // nothing on the line: the settings stay whoever set them last until the serial library
    // opens the device after this.
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    struct stat info;
    if (fd < 0) {
        const int error = errno;
        release();
        // A program that set the terminal's exclusive mode (TIOCEXCL) makes every other open
        // but root's fail as busy; name it where it can be seen.
        if (error == EBUSY && ::stat(path.constData(), &info) == 0) {
            if (const QString named = lockHolders(holdersOf(info, -1)); !named.isEmpty()) {
                *why = device + QStringLiteral(": in use by ") + named;
                return false;
            }
        }
        *why = device + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
        return false;
    }
    if (!::isatty(fd) || ::fstat(fd, &info) != 0) {
        // Nothing to claim on what is not a terminal; the serial library refuses it itself, in
        // its own words.
        ::close(fd);
        return true;
    }
    // The lock belongs to this open file description, so the serial library's own descriptor
    // is free to use the device, while other programs' flock attempts fail until release.
    const bool lockedElsewhere = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    const Holders holders = holdersOf(info, fd);
    if (holders.others.isEmpty() && !lockedElsewhere) {
        fd_ = fd;
        return true;
    }
    ::close(fd);
    release();
    const QString named = holders.others.isEmpty() ? lockHolders(holders) : listOf(holders.others);
    *why = device + (named.isEmpty() ? QStringLiteral(": locked by another program (one this "
                                                      "user cannot see)")
                                     : QStringLiteral(": in use by ") + named);
    return false;
}

void DeviceClaim::release() {
    // Closing the last descriptor of the open file description drops its lock.
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    // The entry goes only while it is still this claim's own.
    if (lockFd_ >= 0) {
        const QByteArray name = QFile::encodeName(lockEntry_);
        struct stat mine, there;
        if (::fstat(lockFd_, &mine) == 0 && ::lstat(name.constData(), &there) == 0 &&
            mine.st_ino == there.st_ino && mine.st_dev == there.st_dev)
            ::unlink(name.constData());
        ::close(lockFd_);
    }
    lockFd_ = -1;
    lockEntry_.clear();
}

} // namespace kav
