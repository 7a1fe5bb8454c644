#include "portdevice.h"

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

bool canWriteNow(const QSerialPort&) {
    return true;
}

QString lineRefusal(const QSerialPort&, const LineSettings&) {
    return QString();
}

bool readingNeedsRestart() {
    // Wine's ntdll exports wine_get_version; Windows' does not.
    static const bool wine =
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

bool DeviceClaim::take(const QString&, QString*) {
    // The system refuses a second open of a COM port (access denied), whoever made the first.
    return true;
}

void DeviceClaim::release() {
    fd_ = -1;
}

} // namespace kav
