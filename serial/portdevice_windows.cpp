#include "portdevice.h"

#include <QSettings>
#include <windows.h>

namespace kav {

QString portDevice(int n) {
    return n <= 0 ? QString() : QStringLiteral("COM") + QString::number(n);
}

QString deviceToOpen(const QString& entry, QString*) {
    // COMn is a device name in every folder; it is never looked up as a file.
    return entry;
}

bool hasOneAndHalfStopBits() {
    return true;
}

std::optional<int> adapterLatencyMs(const QString& device, const QString&) {
    // HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\<adapter>\<instance>\Device Parameters
    QSettings ftdi(QStringLiteral("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS"),
                   QSettings::NativeFormat);
    for (const QString& adapter : ftdi.childGroups()) {
        ftdi.beginGroup(adapter);
        for (const QString& instance : ftdi.childGroups()) {
            ftdi.beginGroup(instance + QStringLiteral("/Device Parameters"));
            const bool ours = ftdi.value(QStringLiteral("PortName")).toString() == device;
            const QVariant ms = ftdi.value(QStringLiteral("LatencyTimer"));
            ftdi.endGroup();
            if (ours && ms.isValid()) {
                ftdi.endGroup();
                return ms.toInt();
            }
        }
        ftdi.endGroup();
    }
    return std::nullopt;
}

bool canWriteNow(const QSerialPort&) {
    return true;
}

QString lineRefusal(const QSerialPort&, const LineSettings&) {
    return QString();
}

QString modemLinesRefusal(const QSerialPort& port) {
    DWORD status = 0;
    if (GetCommModemStatus(port.handle(), &status))
        return QString();
    return QStringLiteral("a port that reports no modem lines (%1)")
        .arg(qt_error_string(int(GetLastError())));
}

qint64 driverOutputPending(const QSerialPort&) {
    return 0;
}

bool deviceStillThere(const QSerialPort&) {
    return false;
}

bool readingNeedsRestart() {
    // Wine's ntdll exports wine_get_version; Windows' does not.
    static const bool wine =
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

bool DeviceClaim::take(const QString& device, QString*) {
    // The system refuses a second open of a COM port (access denied), whoever made the first.
    libraryName_ = device;
    return true;
}

void DeviceClaim::release() {
    fd_ = -1;
}

} // namespace kav
