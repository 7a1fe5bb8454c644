#include "portdevice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/sysmacros.h>
#endif

#if defined(__linux__) && defined(TCGETS2)
// The kernel's termios with the actual rates, which glibc's termios does not carry; its header
// cannot be included beside <termios.h>.
struct termios2 {
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};
#endif

namespace kav {

namespace {

QString portFolder() {
    // XDG_CONFIG_HOME when set to an absolute path, else ~/.config.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/kavetta/ports");
}

// Whether an open file is the device: the same character device, and for a pseudo-terminal
// slave also the same devpts instance, since each instance (one per container) numbers its
// own slaves from 0 and a slave with the same numbers in another instance is another line.
bool isDevice(const struct stat& file, const struct stat& device) {
    if (!S_ISCHR(file.st_mode) || file.st_rdev != device.st_rdev)
        return false;
#if defined(__linux__)
    const unsigned int major = ::major(device.st_rdev);
    if (major >= 136 && major <= 143) // UNIX98 pseudo-terminal slaves
        return file.st_dev == device.st_dev;
#endif
    return true;
}

struct Holder {
    long pid;
    QString name;
};

QString programName(const char* pid) {
    QFile comm(QStringLiteral("/proc/") + QLatin1String(pid) + QStringLiteral("/comm"));
    if (!comm.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

// The processes that have the device open, as far as /proc shows them, in process order; this
// one apart, in *self. An unprivileged user sees only their own processes' descriptors, so
// another user's are silently missing; where there is no /proc, nobody is found.
QList<Holder> holdersOf(const struct stat& device, bool* self) {
    QList<Holder> found;
    *self = false;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return found;
    const long me = long(::getpid());
    while (const dirent* process = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(process->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        const std::string folder = std::string("/proc/") + process->d_name + "/fd";
        DIR* descriptors = ::opendir(folder.c_str());
        if (!descriptors) // another user's process, or one that has just ended
            continue;
        bool holds = false;
        while (const dirent* fd = ::readdir(descriptors)) {
            struct stat file;
            if (fd->d_name[0] != '.' &&
                ::fstatat(::dirfd(descriptors), fd->d_name, &file, 0) == 0 &&
                isDevice(file, device)) {
                holds = true;
                break;
            }
        }
        ::closedir(descriptors);
        if (!holds)
            continue;
        if (pid == me)
            *self = true;
        else
            found.append({pid, programName(process->d_name)});
    }
    ::closedir(proc);
    std::sort(found.begin(), found.end(),
              [](const Holder& a, const Holder& b) { return a.pid < b.pid; });
    return found;
}

// "picocom (process 4242)", a few of them, on one line however many there are.
QString listOf(const QList<Holder>& holders) {
    constexpr qsizetype Named = 4;
    QStringList names;
    for (const Holder& holder : holders.first(std::min(Named, holders.size()))) {
        const QString process = QStringLiteral("process ") + QString::number(holder.pid);
        names << (holder.name.isEmpty() ? process : holder.name + " (" + process + ')');
    }
    QString list = names.join(QStringLiteral(", "));
    if (holders.size() > Named)
        list += QStringLiteral(" and %1 more").arg(holders.size() - Named);
    return list;
}

QString inUse(const QString& device, const QList<Holder>& holders) {
    return device + QStringLiteral(": in use by ") + listOf(holders);
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

QString portDevice(int n) {
    if (n <= 0)
        return QString();
    const QString entry = portFolder() + QStringLiteral("/com") + QString::number(n);
    struct stat info;
    if (::lstat(QFile::encodeName(entry).constData(), &info) == 0)
        return entry;
    return QStringLiteral("/dev/ttyS") + QString::number(n - 1);
}

QString deviceToOpen(const QString& entry, QString* why) {
    const QFileInfo info(entry);
    QString device = entry;
    if (info.isSymLink()) {
        device = info.canonicalFilePath();
        if (device.isEmpty()) {
            *why = info.filePath() + QStringLiteral(" points at nothing (") + info.symLinkTarget() +
                   QLatin1Char(')');
            return QString();
        }
    }
    if (info.isFile() || info.isDir()) {
        *why = device + QStringLiteral(" is not a serial device");
        return QString();
    }
    return device;
}

bool hasOneAndHalfStopBits() {
    return false;
}

std::optional<int> adapterLatencyMs(const QString& device, const QString& sysRoot) {
    QFile timer(sysRoot + QStringLiteral("/bus/usb-serial/devices/") +
                QFileInfo(device).fileName() + QStringLiteral("/latency_timer"));
    if (!timer.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const int ms = timer.read(16).trimmed().toInt(&ok);
    return ok && ms >= 0 ? std::optional<int>(ms) : std::nullopt;
}

bool canWriteNow(const QSerialPort& port) {
    pollfd p{port.handle(), POLLOUT, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLOUT);
}

QString modemLinesRefusal(const QSerialPort& port) {
    int lines = 0;
    if (::ioctl(port.handle(), TIOCMGET, &lines) == 0)
        return QString();
    const int error = errno;
#if defined(__linux__)
    // Unix98 pseudo-terminal slaves have majors 136 to 143, the old BSD ones 3.
    struct stat device {};
    const unsigned kind = ::fstat(port.handle(), &device) == 0 ? major(device.st_rdev) : 0;
    if ((kind >= 136 && kind <= 143) || kind == 3)
        return QStringLiteral("a pseudo-terminal, which has no modem lines and no break");
#endif
    return QStringLiteral("a device whose driver reports no modem lines (%1)")
        .arg(QString::fromLocal8Bit(std::strerror(error)));
}

qint64 driverOutputPending(const QSerialPort& port) {
    int pending = 0;
    return ::ioctl(port.handle(), TIOCOUTQ, &pending) == 0 ? pending : 0;
}

bool readingNeedsRestart() {
    return false;
}

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
    if (fd < 0) {
        const int error = errno;
        struct stat info;
        bool self = false;
        // A program that set the terminal's exclusive mode (TIOCEXCL) makes every other open
        // but root's fail as busy; name it where it can be seen.
        if (error == EBUSY && ::stat(path.constData(), &info) == 0) {
            const QList<Holder> holders = holdersOf(info, &self);
            if (!holders.isEmpty()) {
                *why = inUse(device, holders);
                return false;
            }
        }
        *why = device + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
        return false;
    }
    struct stat info;
    if (!::isatty(fd) || ::fstat(fd, &info) != 0) {
        // Nothing to claim on what is not a terminal; the serial library refuses it itself, in
        // its own words.
        ::close(fd);
        return true;
    }
    // The lock belongs to this open file description, so the serial library's own descriptor
    // is free to use the device, while other programs' flock attempts fail until release.
    const bool lockedElsewhere = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    bool self = false;
    QList<Holder> holders = holdersOf(info, &self);
    if (holders.isEmpty() && !lockedElsewhere) {
        fd_ = fd;
        return true;
    }
    ::close(fd);
    if (holders.isEmpty() && self) // another port of this same program holds the lock
        holders.append({long(::getpid()), programName("self")});
    *why = holders.isEmpty() ? device + QStringLiteral(": locked by another program (one this "
                                                       "user cannot see)")
                             : inUse(device, holders);
    return false;
}

void DeviceClaim::release() {
    // Closing the last descriptor of the open file description drops its lock.
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

QString lineRefusal(const QSerialPort& port, const LineSettings& line) {
    const int fd = int(port.handle());
    termios tio{};
    if (fd < 0 || ::tcgetattr(fd, &tio) != 0)
        return QString();
#if defined(__linux__)
    // A pseudo-terminal has no line: its driver makes every setting 8 bits without parity and
    // ignores the rate, and whoever holds its other end decides what the settings mean.
    struct stat device {};
    if (::fstat(fd, &device) == 0 && major(device.st_rdev) >= 136 && major(device.st_rdev) <= 143)
        return QString();
#endif
    const int bits[] = {CS5, CS6, CS7, CS8};
    if ((tio.c_cflag & CSIZE) != tcflag_t(bits[std::clamp(int(line.dataBits), 5, 8) - 5]))
        return QStringLiteral("the driver does not take %1 data bits").arg(int(line.dataBits));
    tcflag_t parity = 0;
    switch (line.parity) {
    case QSerialPort::EvenParity:
        parity = PARENB;
        break;
    case QSerialPort::OddParity:
        parity = PARENB | PARODD;
        break;
#if defined(CMSPAR)
    case QSerialPort::SpaceParity:
        parity = PARENB | CMSPAR;
        break;
    case QSerialPort::MarkParity:
        parity = PARENB | CMSPAR | PARODD;
        break;
#endif
    default:
        break;
    }
    tcflag_t parityMask = PARENB | PARODD;
#if defined(CMSPAR)
    parityMask |= CMSPAR;
#endif
    // Without parity the odd and stick flags mean nothing.
    if ((tio.c_cflag & PARENB) != (parity & PARENB) ||
        (parity && (tio.c_cflag & parityMask) != parity))
        return QStringLiteral("the driver does not take that parity");
    if (bool(tio.c_cflag & CSTOPB) != (line.stopBits == QSerialPort::TwoStop))
        return QStringLiteral("the driver does not take that number of stop bits");
#if defined(__linux__) && defined(TCGETS2)
    termios2 actual{};
    if (::ioctl(fd, TCGETS2, &actual) == 0 && actual.c_ospeed != 0) {
        // The kernel matches a rate within 2 % to its standard one; a larger change is the
        // driver's own.
        const double asked = line.baudRate;
        if (std::abs(double(actual.c_ospeed) - asked) > asked * 0.02)
            return QStringLiteral("the driver does not take %1 baud (it set %2)")
                .arg(line.baudRate)
                .arg(actual.c_ospeed);
    }
#endif
    return QString();
}

} // namespace kav
