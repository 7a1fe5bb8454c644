#include "portdevice.h"
#include "portlist.h"
#include "ttyscan_posix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/serial.h>
#endif

namespace kav {

QString portFolder() {
    // XDG_CONFIG_HOME when set to an absolute path, else ~/.config.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/kavetta/ports");
}

QString portDevice(int n) {
    if (n <= 0)
        return QString();
    const QString entry = portFolder() + QStringLiteral("/com") + QString::number(n);
    const QByteArray path = QFile::encodeName(entry);
    struct stat info;
    if (::lstat(path.constData(), &info) == 0)
        return entry;
    // A USB adapter plugged in for the first time gets the lowest free number from COM3 up.
    if (n >= 3 && !numberNewAdapters().isEmpty() && ::lstat(path.constData(), &info) == 0)
        return entry;
    return QStringLiteral("/dev/ttyS") + QString::number(n - 1);
}

QString deviceToOpen(const QString& entry, QString* why) {
    const QFileInfo info(entry);
    QString device = entry;
    if (info.isSymLink()) {
        // A USB adapter numbered without a stable name from udev is found by what it is.
        if (const QString target = linkText(entry); isAdapterIdentity(target)) {
            device = adapterDevice(target, why);
            if (device.isEmpty())
                *why = info.filePath() + QStringLiteral(": ") + *why;
            return device;
        }
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

qint64 writeNow(const QSerialPort& port, QByteArrayView bytes) {
    ssize_t taken;
    do
        taken = ::write(int(port.handle()), bytes.data(), size_t(bytes.size()));
    while (taken < 0 && errno == EINTR);
    return taken > 0 ? taken : 0;
}

qint64 driverInputPending(const QSerialPort& port) {
    int pending = 0;
    return ::ioctl(int(port.handle()), FIONREAD, &pending) == 0 ? pending : -1;
}

qint64 driverOutputPending(const QSerialPort& port) {
    int pending = 0;
    return ::ioctl(port.handle(), TIOCOUTQ, &pending) == 0 ? pending : 0;
}

bool hasLineRate(const QSerialPort& port) {
    struct stat device {};
    return ::fstat(int(port.handle()), &device) != 0 || !isPseudoTerminalSlave(device.st_rdev);
}

namespace {

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

#if defined(__linux__)

bool countLineErrors(const QSerialPort& port, LineErrors* counts) {
    serial_icounter_struct icount{};
    if (::ioctl(int(port.handle()), TIOCGICOUNT, &icount) != 0)
        return false;
    // The driver's own overruns (its buffer was full) lose characters just as the UART's do.
    *counts = {quint32(icount.frame), quint32(icount.parity),
               quint32(icount.overrun) + quint32(icount.buf_overrun), quint32(icount.brk)};
    return true;
}

std::optional<bool> lowLatency(const QSerialPort& port, QString* why) {
    serial_struct serial{};
    if (::ioctl(int(port.handle()), TIOCGSERIAL, &serial) != 0) {
        const int error = errno;
        struct stat device {};
        *why =
            ::fstat(int(port.handle()), &device) == 0 && isPseudoTerminalSlave(device.st_rdev)
                ? QStringLiteral("a pseudo-terminal has no low-latency mode")
                : QStringLiteral("the driver has no low-latency mode (%1)").arg(errorText(error));
        return std::nullopt;
    }
    return (serial.flags & ASYNC_LOW_LATENCY) != 0;
}

QString setLowLatency(const QSerialPort& port, bool on) {
    const int fd = int(port.handle());
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0)
        return errorText(errno);
    // Everything else goes back as it came, which is what a user without privileges may write.
    serial.flags = on ? serial.flags | ASYNC_LOW_LATENCY : serial.flags & ~ASYNC_LOW_LATENCY;
    return ::ioctl(fd, TIOCSSERIAL, &serial) == 0 ? QString() : errorText(errno);
}

#else

bool countLineErrors(const QSerialPort&, LineErrors*) {
    return false;
}

std::optional<bool> lowLatency(const QSerialPort&, QString* why) {
    *why = QStringLiteral("this system has no low-latency mode for serial drivers");
    return std::nullopt;
}

QString setLowLatency(const QSerialPort&, bool) {
    return QStringLiteral("this system has no low-latency mode for serial drivers");
}

#endif

bool deviceStillThere(const QSerialPort& port) {
    const int fd = int(port.handle());
    pollfd p{fd, POLLIN | POLLOUT, 0};
    if (fd < 0 || ::poll(&p, 1, 0) < 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
        return false;
    termios tio{};
    return ::tcgetattr(fd, &tio) == 0;
}

bool readingNeedsRestart() {
    return false;
}

} // namespace kav
