#include "portdevice.h"
#include "portlist.h"
#include "ttyscan_posix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kav {

namespace {

QString readLine(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.read(256)).trimmed();
}

// The 8250 driver's names for the UART types it reports in sysfs (serial_core.h's PORT_*).
QString uartName(int type) {
    static const char* const names[] = {nullptr,
                                        "8250",
                                        "16450",
                                        "16550",
                                        "16550A",
                                        "Cirrus",
                                        "16650",
                                        "16650V2",
                                        "16750",
                                        "Startech",
                                        "16C950/954",
                                        "16654",
                                        "16850",
                                        "RSA",
                                        "NS16550A",
                                        "XScale",
                                        "RM9000",
                                        "OCTEON",
                                        "AR7",
                                        "U6_16550A",
                                        "TEGRA",
                                        "XR17D15X",
                                        "LPC3220",
                                        "8250_CIR",
                                        "XR17V35X",
                                        "BRCM_TRUMANAGE",
                                        "ALTR_16550_F32",
                                        "ALTR_16550_F64",
                                        "ALTR_16550_F128",
                                        "RT2880",
                                        "16550A_FSL64",
                                        "DA830"};
    if (type > 0 && type < int(std::size(names)))
        return QString::fromLatin1(names[type]);
    return QStringLiteral("UART type %1").arg(type);
}

// Fills in what the USB device above a tty's device folder tells of itself.
void readUsb(const QString& deviceFolder, SerialPortEntry& entry) {
    QDir dir(deviceFolder);
    for (int up = 0; up < 8 && dir.path().size() > 1; ++up) {
        if (entry.usbPath.isEmpty() && QFileInfo::exists(dir.filePath("bInterfaceNumber")))
            entry.usbPath = dir.dirName();
        if (QFileInfo::exists(dir.filePath("idVendor"))) {
            entry.vid = readLine(dir.filePath("idVendor")).toLower();
            entry.pid = readLine(dir.filePath("idProduct")).toLower();
            entry.manufacturer = readLine(dir.filePath("manufacturer"));
            entry.product = readLine(dir.filePath("product"));
            entry.serial = readLine(dir.filePath("serial"));
            if (entry.usbPath.isEmpty())
                entry.usbPath = dir.dirName();
            return;
        }
        if (!dir.cdUp())
            break;
    }
    entry.usbPath.clear(); // an interface with no USB device above it is none
}

// udev's stable names, by the device they reach.
QHash<QString, QString> stableNames(const QString& dev) {
    QHash<QString, QString> names;
    for (const char* kind : {"by-path", "by-id"}) { // by-id last, so that it wins
        QDir folder(dev + QStringLiteral("/serial/") + QLatin1String(kind));
        for (const QFileInfo& link : folder.entryInfoList(QDir::System | QDir::Files))
            if (const QString target = link.canonicalFilePath(); !target.isEmpty())
                names.insert(target, link.absoluteFilePath());
    }
    return names;
}

QString folderOf(const SystemRoots& roots) {
    return roots.ports.isEmpty() ? portFolder() : roots.ports;
}

// ttyS2 before ttyS10.
bool byName(const QString& a, const QString& b) {
    static const QRegularExpression tail(QStringLiteral("\\d+$"));
    const QRegularExpressionMatch ma = tail.match(a), mb = tail.match(b);
    const QString sa = a.left(ma.capturedStart()), sb = b.left(mb.capturedStart());
    if (sa != sb || !ma.hasMatch() || !mb.hasMatch())
        return a < b;
    return ma.captured().toLongLong() < mb.captured().toLongLong();
}

int comNumber(const QString& port) {
    return port.isEmpty() ? 0 : port.mid(3).toInt();
}

// The driver of the hardware behind a tty's device. Since Linux 6.5 the serial core puts a port
// and a controller of its own (bus serial-base) between the tty and the UART's device.
QString driverOf(const QString& device) {
    QDir dir(device);
    for (int up = 0; up < 4; ++up) {
        const QString driver =
            QFileInfo(dir.filePath(QStringLiteral("driver"))).canonicalFilePath();
        if (!driver.contains(QLatin1String("/bus/serial-base/")))
            return QFileInfo(driver).fileName();
        if (!dir.cdUp())
            break;
    }
    return QString();
}

// Every tty sysfs puts a device behind, but the 8250 driver's placeholders.
QList<SerialPortEntry> sysfsPorts(const SystemRoots& roots) {
    QList<SerialPortEntry> ports;
    const QHash<QString, QString> stable = stableNames(roots.dev);
    const QDir classes(roots.sys + QStringLiteral("/class/tty"));
    for (const QString& name : classes.entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        const QString folder = classes.filePath(name);
        const QString device = QFileInfo(folder + QStringLiteral("/device")).canonicalFilePath();
        if (device.isEmpty()) // a virtual terminal, the console, ptmx
            continue;
        SerialPortEntry entry;
        if (const QString type = readLine(folder + QStringLiteral("/type")); !type.isEmpty()) {
            if (type.toInt() == 0) // no UART behind it
                continue;
            entry.uart = uartName(type.toInt());
        }
        entry.device = roots.dev + QLatin1Char('/') + name;
        const QString real = QFileInfo(entry.device).canonicalFilePath();
        entry.stable = stable.value(real.isEmpty() ? entry.device : real);
        entry.driver = driverOf(device);
        readUsb(device, entry);
        ports.append(entry);
    }
    return ports;
}

// What an adapter's port-folder entry holds where udev gives it no stable name that is its own.
QString identityOf(const SerialPortEntry& entry) {
    QString id = QStringLiteral("usb-adapter:%1:%2:").arg(entry.vid, entry.pid);
    if (!entry.serial.isEmpty())
        id += QStringLiteral("serial=") + entry.serial + QStringLiteral(":if") +
              entry.usbPath.section(QLatin1Char('.'), -1).rightJustified(2, QLatin1Char('0'));
    else
        id += QStringLiteral("path=") + entry.usbPath;
    return id.replace(QLatin1Char('/'), QLatin1Char('_'));
}

// The link an adapter's number is made of: udev's by-id name where it is the adapter's own (two
// adapters without serial numbers share one), else its identity.
QString linkFor(const SerialPortEntry& entry) {
    if (!entry.serial.isEmpty() && entry.stable.contains(QLatin1String("/by-id/")))
        return entry.stable;
    return identityOf(entry);
}

// Sets the port each entry is reached by, from the port folder, and adds the folder's entries
// that reach a device sysfs does not list.
void numberPorts(QList<SerialPortEntry>& ports, const SystemRoots& roots) {
    QDir folder(folderOf(roots));
    QList<int> used;
    static const QRegularExpression com(QStringLiteral("^com([1-9][0-9]*)$"));
    QList<std::pair<int, QString>> entries;
    for (const QString& name :
         folder.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        if (const QRegularExpressionMatch m = com.match(name); m.hasMatch())
            entries.append({m.captured(1).toInt(), folder.filePath(name)});
    std::sort(entries.begin(), entries.end());
    for (const auto& [n, path] : entries) {
        used.append(n);
        const QString port = QStringLiteral("COM%1").arg(n);
        const QString link = linkText(path);
        const QString reached = QFileInfo(path).canonicalFilePath();
        auto it = std::find_if(ports.begin(), ports.end(), [&](const SerialPortEntry& e) {
            if (isAdapterIdentity(link))
                return e.isUsb() && identityOf(e) == link;
            return !reached.isEmpty() && QFileInfo(e.device).canonicalFilePath() == reached;
        });
        if (it != ports.end()) {
            if (it->port.isEmpty())
                it->port = port;
            continue;
        }
        struct stat info;
        if (reached.isEmpty() || ::stat(QFile::encodeName(reached).constData(), &info) != 0 ||
            !S_ISCHR(info.st_mode))
            continue;
        SerialPortEntry extra;
        extra.port = port;
        extra.device = reached;
        if (isPseudoTerminalSlave(info.st_rdev))
            extra.driver = QStringLiteral("pty");
        ports.append(extra);
    }
    // Without an entry of its own, COMn is /dev/ttyS(n-1).
    for (SerialPortEntry& entry : ports) {
        const QString name = QFileInfo(entry.device).fileName();
        if (!entry.port.isEmpty() || !name.startsWith(QLatin1String("ttyS")) ||
            entry.device != roots.dev + QLatin1Char('/') + name)
            continue;
        bool ok = false;
        const int n = name.mid(4).toInt(&ok) + 1;
        if (ok && !used.contains(n))
            entry.port = QStringLiteral("COM%1").arg(n);
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPortEntry& a, const SerialPortEntry& b) {
        const int na = comNumber(a.port), nb = comNumber(b.port);
        if ((na == 0) != (nb == 0))
            return na != 0;
        if (na != nb)
            return na < nb;
        return byName(a.device, b.device);
    });
}

} // namespace

bool isAdapterIdentity(const QString& target) {
    return target.startsWith(QLatin1String("usb-adapter:"));
}

QList<SerialPortEntry> listSerialPorts(const SystemRoots& roots, bool withHolders) {
    QList<SerialPortEntry> ports = sysfsPorts(roots);
    numberPorts(ports, roots);
    if (withHolders) {
        for (SerialPortEntry& entry : ports) {
            struct stat info;
            if (::stat(QFile::encodeName(entry.device).constData(), &info) != 0)
                continue;
            for (const Holder& holder : holdersOf(info, -1).others)
                entry.holders << listOf({holder});
        }
    }
    return ports;
}

QString describePort(const SerialPortEntry& entry) {
    QStringList parts;
    if (!entry.product.isEmpty())
        parts << entry.product;
    else if (!entry.uart.isEmpty())
        parts << entry.uart + QStringLiteral(" UART");
    else if (entry.driver == u"pty")
        parts << QStringLiteral("pseudo-terminal");
    else if (!entry.vid.isEmpty())
        parts << QStringLiteral("USB %1:%2").arg(entry.vid, entry.pid);
    if (!entry.serial.isEmpty())
        parts << QStringLiteral("serial ") + entry.serial;
    parts << entry.device;
    if (!entry.holders.isEmpty())
        parts << QStringLiteral("in use by ") + entry.holders.join(QStringLiteral(", "));
    return parts.join(QStringLiteral(", "));
}

QString describePortNumber(int n, const SystemRoots& roots) {
    const QString entry = folderOf(roots) + QStringLiteral("/com%1").arg(n);
    QString device = roots.dev + QStringLiteral("/ttyS%1").arg(n - 1);
    struct stat info;
    if (::lstat(QFile::encodeName(entry).constData(), &info) == 0) {
        const QString link = linkText(entry);
        QString why;
        if (isAdapterIdentity(link) && adapterDevice(link, &why, roots).isEmpty())
            return why;
        device = isAdapterIdentity(link) ? adapterDevice(link, &why, roots) : entry;
    }
    const QString reached = QFileInfo(device).canonicalFilePath();
    for (const SerialPortEntry& port : listSerialPorts(roots, false))
        if (!reached.isEmpty() && QFileInfo(port.device).canonicalFilePath() == reached)
            return describePort(port);
    const QString link = linkText(entry);
    return QStringLiteral("nothing is there (%1)").arg(link.isEmpty() ? device : link);
}

QString adapterDevice(const QString& identity, QString* why, const SystemRoots& roots) {
    const QList<SerialPortEntry> ports = sysfsPorts(roots);
    for (const SerialPortEntry& entry : ports)
        if (entry.isUsb() && identityOf(entry) == identity)
            return entry.device;
    const QStringList parts = identity.split(QLatin1Char(':'));
    *why = QStringLiteral("the USB adapter %1:%2 (%3) is not plugged in")
               .arg(parts.value(1), parts.value(2), identity.section(QLatin1Char(':'), 3));
    return QString();
}

namespace {

// Holds the port folder against another program numbering at the same time; the lock goes
// with the descriptor.
class FolderLock {
public:
    explicit FolderLock(const QString& folder)
        : fd_(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ >= 0)
            ::flock(fd_, LOCK_EX);
    }
    ~FolderLock() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_;
};

bool reserved(int n, const QList<SerialPortEntry>& ports, const QString& folder) {
    struct stat info;
    if (::lstat(QFile::encodeName(folder + QStringLiteral("/com%1").arg(n)).constData(), &info) ==
        0)
        return true;
    const QString port = QStringLiteral("COM%1").arg(n);
    return std::any_of(ports.begin(), ports.end(),
                       [&](const SerialPortEntry& e) { return e.port == port; });
}

} // namespace

QStringList numberNewAdapters(const SystemRoots& roots) {
    const auto unnumbered = [](const QList<SerialPortEntry>& ports) {
        return std::any_of(ports.begin(), ports.end(),
                           [](const SerialPortEntry& e) { return e.isUsb() && e.port.isEmpty(); });
    };
    if (!unnumbered(listSerialPorts(roots, false)))
        return {};
    const QString folder = folderOf(roots);
    QDir().mkpath(folder);
    const FolderLock lock(folder);
    if (!lock.held())
        return {};
    QStringList given;
    // Read again under the lock: another program may have numbered them meanwhile.
    QList<SerialPortEntry> ports = listSerialPorts(roots, false);
    for (SerialPortEntry& entry : ports) {
        if (!entry.isUsb() || !entry.port.isEmpty())
            continue;
        const QByteArray target = QFile::encodeName(linkFor(entry));
        for (int n = 3; n < 10000; ++n) {
            if (reserved(n, ports, folder))
                continue;
            const QByteArray link = QFile::encodeName(folder + QStringLiteral("/com%1").arg(n));
            if (::symlink(target.constData(), link.constData()) != 0)
                break; // a folder that cannot be written: the adapter stays unnumbered
            entry.port = QStringLiteral("COM%1").arg(n);
            given << entry.port + QStringLiteral(": ") + describePort(entry);
            break;
        }
    }
    return given;
}

QString assignPort(int n, const QString& device, const SystemRoots& roots) {
    if (n <= 0)
        return QStringLiteral("COM%1 names no port").arg(n);
    QString path = device;
    if (!device.contains(QLatin1Char('/'))) {
        const QString byId = roots.dev + QStringLiteral("/serial/by-id/") + device;
        path = QFileInfo::exists(byId) ? byId : roots.dev + QLatin1Char('/') + device;
    }
    path = QFileInfo(path).absoluteFilePath();
    const QString real = QFileInfo(path).canonicalFilePath();
    if (real.isEmpty())
        return path + QStringLiteral(": no such device");
    QString target;
    for (const SerialPortEntry& entry : sysfsPorts(roots))
        if (QFileInfo(entry.device).canonicalFilePath() == real)
            target = entry.isUsb() ? linkFor(entry) : path;
    struct stat info;
    if (target.isEmpty() && ::stat(QFile::encodeName(real).constData(), &info) == 0 &&
        S_ISCHR(info.st_mode) && isPseudoTerminalSlave(info.st_rdev))
        target = path;
    if (target.isEmpty())
        return path + QStringLiteral(" is no serial port this system has");
    const QString folder = folderOf(roots);
    QDir().mkpath(folder);
    // Made beside its place and renamed over it, so that the entry is never missing or half made.
    const QByteArray entry = QFile::encodeName(folder + QStringLiteral("/com%1").arg(n));
    const QByteArray made = entry + ".new";
    ::unlink(made.constData());
    if (::symlink(QFile::encodeName(target).constData(), made.constData()) != 0 ||
        ::rename(made.constData(), entry.constData()) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        ::unlink(made.constData());
        return QFile::decodeName(entry) + QStringLiteral(": ") + why;
    }
    return QString();
}

} // namespace kav
