#include "console.h"

#include <windows.h>

namespace kav {

namespace {

DWORD outputFailure = 0;

// 0 when all of it was written, else the system's error code.
DWORD writeTo(DWORD which, const QString& text) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return ERROR_INVALID_HANDLE;
    DWORD mode = 0;
    DWORD done = 0;
    if (GetConsoleMode(handle, &mode)) {
        // The console's own code page is rarely UTF-8, and seldom 932: hand it the characters.
        const bool ok = WriteConsoleW(handle, reinterpret_cast<const wchar_t*>(text.utf16()),
                                      DWORD(text.size()), &done, nullptr);
        return ok ? 0 : GetLastError();
    }
    const QByteArray bytes = text.toUtf8();
    if (!WriteFile(handle, bytes.constData(), DWORD(bytes.size()), &done, nullptr))
        return GetLastError();
    return done == DWORD(bytes.size()) ? 0 : ERROR_WRITE_FAULT;
}

volatile LONG interruptSeen = 0;

BOOL WINAPI noteInterrupt(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    // The second one falls through to the default handler, which ends the program.
    return InterlockedExchange(&interruptSeen, 1) == 0;
}

} // namespace

void holdStandardStreams() {
    // A Windows program's missing standard handle is null, and opening a port never becomes it.
}

bool writeOut(const QString& text) {
    outputFailure = writeTo(STD_OUTPUT_HANDLE, text);
    return outputFailure == 0;
}

void writeErr(const QString& text) {
    writeTo(STD_ERROR_HANDLE, text);
}

QString outputError() {
    return qt_error_string(int(outputFailure));
}

void catchInterrupt() {
    SetConsoleCtrlHandler(noteInterrupt, TRUE);
}

bool interrupted() {
    return interruptSeen != 0;
}

} // namespace kav
