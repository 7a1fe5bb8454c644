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

volatile LONG interruptSeen = 0;

BOOL WINAPI noteInterrupt(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    // The second one falls through to the default handler, which ends the program.
    return InterlockedExchange(&interruptSeen, 1) == 0;
}

} // namespace

void catchInterrupt() {
    SetConsoleCtrlHandler(noteInterrupt, TRUE);
}

bool interrupted() {
    return interruptSeen != 0;
}

void writeOut(const QString& text) {
    writeTo(STD_OUTPUT_HANDLE, text);
}

void writeErr(const QString& text) {
    writeTo(STD_ERROR_HANDLE, text);
}

} // namespace kav
