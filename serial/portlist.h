#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace kav {

// The serial ports the system has, found without opening any: opening a terminal raises DTR,
// which resets many boards.
//
// POSIX: portlist_posix.cpp reads sysfs, udev's /dev/serial links and the port folder, and
// numbers USB adapters (portnumbers_posix.cpp). Windows: portlist_windows.cpp reads the system's
// device list.

struct SerialPortEntry {
    QString port;         // the COM name that reaches it ("COM3"), or empty
    QString device;       // "/dev/ttyUSB0"; "COM7" on Windows
    QString stable;       // its /dev/serial/by-id (or by-path) name, or empty
    QString driver;       // "ftdi_sio", "cdc_acm", "serial8250", "pty" ...
    QString uart;         // a UART's type ("16550A"), or empty
    QString vid, pid;     // four lowercase hexadecimal digits, or empty
    QString manufacturer; // as the device tells, or empty
    QString product;
    QString serial;
    QString usbPath;     // the USB interface it hangs on ("1-1.2:1.0"), or empty
    QString name;        // the name the system shows for it (Windows' friendly name), or empty
    QStringList holders; // the programs that have it open, as the device claim names them

    bool isUsb() const { return !usbPath.isEmpty(); }
};

// Where the list is read from; tests give trees of their own.
struct SystemRoots {
    QString sys = QStringLiteral("/sys");
    QString dev = QStringLiteral("/dev");
    QString ports; // the port folder; empty for the user's own
};

// Every port, in the order of their COM numbers, then of their device names. Also the port
// folder's entries that reach something sysfs does not know (a socat link, a pseudo-terminal).
// withHolders: whether to look for the programs that have each one open (a scan of /proc).
QList<SerialPortEntry> listSerialPorts(const SystemRoots& roots = {}, bool withHolders = true);

// One line for a person: "FT232R USB UART, serial A1B2C3, /dev/ttyUSB0", or what port n reaches
// when nothing is there.
QString describePort(const SerialPortEntry& entry);
QString describePortNumber(int n, const SystemRoots& roots = {});

// Gives each USB adapter that no port-folder entry reaches the lowest free number from COM3 up,
// tied to what identifies the adapter, so that the same adapter has the same number after being
// pulled out and plugged back. Entries already there are never changed. Returns one line for
// each number given ("COM3: FT232R USB UART, serial A1B2C3, /dev/ttyUSB0"). Does nothing on
// Windows, which numbers adapters itself.
QStringList numberNewAdapters(const SystemRoots& roots = {});

// Makes port n reach `device` (a by-id name, "ttyUSB0", a path): a USB adapter by what
// identifies it, anything else by its path. Empty on success, else why not. Windows: refused.
QString assignPort(int n, const QString& device, const SystemRoots& roots = {});

// The device an adapter identity names now (what numberNewAdapters put in a port-folder entry
// where udev gives no stable name), or an empty string with *why saying so.
QString adapterDevice(const QString& identity, QString* why, const SystemRoots& roots = {});

// Whether a link target is such an identity rather than a path.
bool isAdapterIdentity(const QString& target);

} // namespace kav
