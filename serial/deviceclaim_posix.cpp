#include "portdevice.h"
#include "ttyscan_posix.h"

#include <QFile>
#include <QStandardPaths>
#include <QStringList>
#include <cerrno>
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

// The UUCP-style lock entry the serial library (Qt 6) takes for device before it opens it:
// LCK.. and the device's name below /dev with '/' made '_', in the first of its lock folders
// that may be read and either holds the entry already or may be written. On Debian that is
// /var/lock, a link to /run/lock. Empty when it would find no folder.
QString libraryLockEntry(const QString& device) {
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

} // namespace

bool DeviceClaim::take(const QString& device, QString* why) {
    release();
    // The lock folder is writable by every user. The serial library reads an entry it finds
    // there, and one that is not a regular file (a FIFO above all) would hold it in that read
    // for ever; a program's lock is only ever a regular file, so anything else is refused.
    const QString lockEntry = libraryLockEntry(device);
    struct stat entry;
    if (!lockEntry.isEmpty() && ::lstat(QFile::encodeName(lockEntry).constData(), &entry) == 0 &&
        !S_ISREG(entry.st_mode)) {
        *why = device + QStringLiteral(": its lock entry ") + lockEntry + QStringLiteral(" is ") +
               kindOf(entry.st_mode) + QStringLiteral(", not a lock file");
        return false;
    }
    const QByteArray path = QFile::encodeName(device);
    // Opening without waiting for carrier and without becoming our controlling terminal changes
    // nothing on the line: the settings stay whoever set them last until the serial library
    // opens the device after this.
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    struct stat info;
    if (fd < 0) {
        const int error = errno;
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
}

} // namespace kav
