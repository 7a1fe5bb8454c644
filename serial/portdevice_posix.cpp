#include "portdevice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <poll.h>
#include <sys/stat.h>

namespace kav {

namespace {

QString portFolder() {
    // XDG_CONFIG_HOME when set to an absolute path, else ~/.config.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/kavetta/ports");
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

bool canWriteNow(const QSerialPort& port) {
    pollfd p{port.handle(), POLLOUT, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLOUT);
}

bool readingNeedsRestart() {
    return false;
}

} // namespace kav
