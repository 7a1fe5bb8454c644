#include "portdevice.h"

#include <QHash>
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

qint64 driverInputPending(const QSerialPort&) {
    return -1;
}

qint64 writeNow(const QSerialPort&, QByteArrayView) {
    return 0;
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

namespace {

// The error flags ClearCommError clears as it reads them, kept for each open port, so that
// reading the output count cannot lose an error the counts would show.
QHash<HANDLE, LineErrors>& errorsSeen() {
    static QHash<HANDLE, LineErrors> seen;
    return seen;
}

std::optional<COMSTAT> commStatus(const QSerialPort& port) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port.handle(), &errors, &status))
        return std::nullopt;
    LineErrors& seen = errorsSeen()[port.handle()];
    seen += {quint32((errors & CE_FRAME) != 0), quint32((errors & CE_RXPARITY) != 0),
             quint32((errors & (CE_OVERRUN | CE_RXOVER)) != 0), quint32((errors & CE_BREAK) != 0)};
    return status;
}

} // namespace

qint64 driverOutputPending(const QSerialPort& port) {
    const std::optional<COMSTAT> status = commStatus(port);
    return status ? qint64(status->cbOutQue) : 0;
}

bool hasLineRate(const QSerialPort&) {
    return true;
}

bool countLineErrors(const QSerialPort& port, LineErrors* counts) {
    if (!commStatus(port))
        return false;
    *counts = errorsSeen().value(port.handle());
    return true;
}

std::optional<bool> lowLatency(const QSerialPort&, QString* why) {
    *why = QStringLiteral("Windows sets an FTDI adapter's latency timer in the Device Manager "
                          "(the port's Advanced settings), not from a program");
    return std::nullopt;
}

QString setLowLatency(const QSerialPort& port, bool) {
    QString why;
    lowLatency(port, &why);
    return why;
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
