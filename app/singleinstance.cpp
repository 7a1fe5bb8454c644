#include "singleinstance.h"

#include <QDir>
#include <QStandardPaths>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace kav {

QString SingleInstance::defaultLockPath() {
    QString dir;
#if defined(Q_OS_UNIX)
    // Without a runtime folder (a root shell, a plain ssh session) fall back to a per-user name
    // in the temporary folder rather than one shared by every user.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        dir = QDir::tempPath() + QStringLiteral("/kavetta-%1").arg(::getuid());
#endif
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    QDir().mkpath(dir);
    return dir + QStringLiteral("/kavetta.lock");
}

SingleInstance::SingleInstance(const QString& lockPath)
    : lock_(std::make_unique<QLockFile>(lockPath)) {
    // A live owner is never considered stale; only a lock whose process is gone is taken over.
    lock_->setStaleLockTime(0);
}

bool SingleInstance::acquire() {
    if (lock_->tryLock(0)) {
        guarded_ = true;
        return true;
    }
    // tryLock has already taken over a lock whose owner is gone, so a failure here means a live
    // copy holds it.
    if (lock_->error() == QLockFile::LockFailedError)
        return false;
    return true; // permission or other I/O trouble: run unguarded, silently
}

} // namespace kav
