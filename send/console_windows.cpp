#include "console.h"

#include <windows.h>

namespace kav {

namespace {

void writeTo(DWORD which, const QString& text) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    DWORD done = 0;
    if (GetConsoleMode(handle, &mode)) {
        // The console's own code page is rarely UTF-8, and seldom 932: hand it the characters.
        WriteConsoleW(handle, reinterpret_cast<const wchar_t*>(text.utf16()), DWORD(text.size()),
                      &done, nullptr);
        return;
    }
    const QByteArray bytes = text.toUtf8();
    WriteFile(handle, bytes.constData(), DWORD(bytes.size()), &done, nullptr);
}

} // namespace

void writeOut(const QString& text) {
    writeTo(STD_OUTPUT_HANDLE, text);
}

void writeErr(const QString& text) {
    writeTo(STD_ERROR_HANDLE, text);
}

} // namespace kav
