#include "singleinstance.h"

#include <windows.h>
// after windows.h, which it needs
#include <sddl.h>

namespace kav {

namespace {

// The user's security identifier (S-1-5-21-...), or an empty string when it cannot be read.
QString userSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return QString();
    QString sid;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    QByteArray buffer(qsizetype(size), Qt::Uninitialized);
    if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        LPWSTR text = nullptr;
        if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
            sid = QString::fromWCharArray(text);
            LocalFree(text);
        }
    }
    CloseHandle(token);
    return sid;
}

} // namespace

QString SingleInstance::defaultLockPath() {
    QString user = userSid();
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
    // Backslashes are the namespace separators of object names; a user name holds none anyway.
    user.replace(u'\\', u'_');
    return QStringLiteral("Local\\kavetta-") + user;
}

SingleInstance::SingleInstance(const QString& lockPath) : path_(lockPath) {}

SingleInstance::~SingleInstance() {
    if (mutex_)
        CloseHandle(mutex_);
}

bool SingleInstance::acquire() {
    // Only the mutex's existence counts; nobody ever waits on it.
    mutex_ = CreateMutexW(nullptr, FALSE, reinterpret_cast<LPCWSTR>(path_.utf16()));
    if (!mutex_)
        return true; // cannot make it at all: run unguarded, silently
    return GetLastError() != ERROR_ALREADY_EXISTS;
}

} // namespace kav
