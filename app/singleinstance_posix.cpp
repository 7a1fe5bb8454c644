#include "singleinstance.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QThread>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kav {

QString SingleInstance::defaultLockPath() {
    QString dir;
    // Without a runtime folder (a root shell, a plain ssh session) fall back to a per-user name
    // in the temporary folder rather than one shared by every user.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        dir = QDir::tempPath() + QStringLiteral("/kavetta-%1").arg(::getuid());
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    QDir().mkpath(dir);
    return dir + QStringLiteral("/kavetta.lock");
}

SingleInstance::SingleInstance(const QString& lockPath)
    : lock_(std::make_unique<QLockFile>(lockPath)), path_(lockPath) {
    // A live owner is never considered stale; only a lock whose process is gone is taken over.
    lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

namespace {

enum class Holder { LiveCopy, Nobody, Unknown };

// Who holds a lock entry that QLockFile would not take over. A running copy keeps its lock file
// locked with flock() and has written its details into it; an entry that is not a regular file,
// or that nobody has locked and whose details cannot be read (left empty or garbled by a crash
// or a full disk), can never belong to a live copy, yet QLockFile waits for it for ever.
Holder holderOf(const QLockFile& lock, const QString& path, struct stat* seen) {
    const QByteArray name = QFile::encodeName(path);
    if (::lstat(name.constData(), seen) != 0)
        return Holder::Unknown;
    if (!S_ISREG(seen->st_mode))
        return S_ISLNK(seen->st_mode) ? Holder::Nobody : Holder::Unknown;
    for (int look = 0; look < 2; ++look) {
        qint64 pid = 0;
        QString host, app;
        if (lock.getLockInfo(&pid, &host, &app))
            return Holder::LiveCopy; // readable details whose process QLockFile found alive
        const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return Holder::Unknown;
        const bool locked = ::flock(fd, LOCK_SH | LOCK_NB) != 0;
        ::close(fd);
        if (locked)
            return Holder::LiveCopy;
        // A copy starting this very moment creates the file before it locks it and writes its
        // details; give it a moment before calling the entry abandoned.
        if (look == 0)
            QThread::msleep(100);
    }
    return Holder::Nobody;
}

} // namespace

bool SingleInstance::acquire() {
    if (lock_->tryLock(0))
        return true;
    // tryLock has already taken over a lock whose owner is gone, so a failure here means a live
    // copy holds it -- or an entry that no copy could have left is in the way.
    if (lock_->error() != QLockFile::LockFailedError)
        return true; // permission or other I/O trouble: run unguarded, silently
    struct stat seen;
    switch (holderOf(*lock_, path_, &seen)) {
    case Holder::LiveCopy:
        return false;
    case Holder::Unknown:
        return true; // cannot tell: run unguarded rather than never
    case Holder::Nobody:
        break;
    }
    // Clear the abandoned entry and take the lock, unless another copy starting at the same
    // moment has already replaced the entry with its own lock.
    struct stat now;
    const QByteArray name = QFile::encodeName(path_);
    const bool replaced = ::lstat(name.constData(), &now) != 0 || now.st_ino != seen.st_ino ||
                          now.st_dev != seen.st_dev;
    if (!replaced && ::unlink(name.constData()) != 0)
        return true; // cannot clear it: run unguarded, silently
    if (lock_->tryLock(0))
        return true;
    return lock_->error() != QLockFile::LockFailedError;
}

} // namespace kav
