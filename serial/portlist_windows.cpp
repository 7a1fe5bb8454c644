#include "portlist.h"

#include <QHash>
#include <QSerialPortInfo>
#include <algorithm>
#include <windows.h>
// After windows.h, which they need.
#include <devguid.h>
#include <setupapi.h>

namespace kav {

namespace {

// The names Device Manager shows for the ports ("USB Serial Port (COM7)"), by port name, from the
// system's device list of the Ports class. Wine lists its ports there only in part.
QHash<QString, QString> friendlyNames() {
    QHash<QString, QString> names;
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return names;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        wchar_t name[256] = {};
        if (!SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, nullptr,
                                               reinterpret_cast<BYTE*>(name), sizeof name - 2,
                                               nullptr))
            continue;
        HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        wchar_t port[64] = {};
        DWORD size = sizeof port - 2;
        if (RegQueryValueExW(key, L"PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(port),
                             &size) == ERROR_SUCCESS)
            names.insert(QString::fromWCharArray(port).toUpper(), QString::fromWCharArray(name));
        RegCloseKey(key);
    }
    SetupDiDestroyDeviceInfoList(set);
    return names;
}

QString hex4(bool has, quint16 value) {
    return has ? QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')) : QString();
}

int comNumber(const QString& port) {
    return port.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) ? port.mid(3).toInt() : 0;
}

} // namespace

QList<SerialPortEntry> listSerialPorts(const SystemRoots&, bool) {
    // The serial library reads the same device list and opens nothing.
    QList<SerialPortEntry> ports;
    const QHash<QString, QString> names = friendlyNames();
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialPortEntry entry;
        entry.port = comNumber(info.portName()) > 0 ? info.portName().toUpper() : QString();
        entry.device = info.portName();
        entry.name = names.value(info.portName().toUpper());
        if (entry.name.isEmpty())
            entry.name = info.description();
        entry.vid = hex4(info.hasVendorIdentifier(), info.vendorIdentifier());
        entry.pid = hex4(info.hasProductIdentifier(), info.productIdentifier());
        entry.manufacturer = info.manufacturer();
        entry.serial = info.serialNumber();
        ports.append(entry);
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPortEntry& a, const SerialPortEntry& b) {
        return comNumber(a.device) < comNumber(b.device);
    });
    return ports;
}

QString describePort(const SerialPortEntry& entry) {
    QStringList parts;
    if (!entry.name.isEmpty())
        parts << entry.name;
    if (!entry.serial.isEmpty())
        parts << QStringLiteral("serial ") + entry.serial;
    parts << entry.device;
    return parts.join(QStringLiteral(", "));
}

QString describePortNumber(int n, const SystemRoots& roots) {
    const QString port = QStringLiteral("COM%1").arg(n);
    for (const SerialPortEntry& entry : listSerialPorts(roots, false))
        if (entry.port == port)
            return describePort(entry);
    return QStringLiteral("nothing is there (%1)").arg(port);
}

QStringList numberNewAdapters(const SystemRoots&) {
    return {}; // Windows numbers adapters itself
}

QString assignPort(int, const QString&, const SystemRoots&) {
    return QStringLiteral("Windows numbers the ports itself: change a number in Device "
                          "Manager, under the port's Properties, Port Settings, Advanced");
}

QString adapterDevice(const QString&, QString* why, const SystemRoots&) {
    *why = QStringLiteral("no adapter identities on Windows");
    return QString();
}

bool isAdapterIdentity(const QString&) {
    return false;
}

} // namespace kav
