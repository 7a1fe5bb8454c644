#include "portdevice.h"
#include "ttyscan_posix.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>

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

bool onPseudoTerminal(int fd) {
    struct stat device {};
    return ::fstat(fd, &device) == 0 && isPseudoTerminalSlave(device.st_rdev);
}

} // namespace

QString modemLinesRefusal(const QSerialPort& port) {
    int lines = 0;
    if (::ioctl(port.handle(), TIOCMGET, &lines) == 0)
        return QString();
    const int error = errno;
    if (onPseudoTerminal(int(port.handle())))
        return QStringLiteral("a pseudo-terminal, which has no modem lines and no break");
    return QStringLiteral("a device whose driver reports no modem lines (%1)")
        .arg(QString::fromLocal8Bit(std::strerror(error)));
}

QString lineRefusal(const QSerialPort& port, const LineSettings& line) {
    const int fd = int(port.handle());
    termios tio{};
    if (fd < 0 || ::tcgetattr(fd, &tio) != 0)
        return QString();
    // A pseudo-terminal has no line: its driver makes every setting 8 bits without parity and
    // ignores the rate, and whoever holds its other end decides what the settings mean.
    if (onPseudoTerminal(fd))
        return QString();
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
