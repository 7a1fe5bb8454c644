#include "singleinstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSysInfo>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kav {

namespace {

Q_LOGGING_CATEGORY(lcInstance, "kavetta.instance", QtInfoMsg)

// Why no other user can be trusted to leave path as it is, or an empty string: as OpenSSH asks
// of the folders above its files, every component must be owned by root or this user, and no
// folder on the way may be writable by anyone else unless it is sticky (as /tmp is), where others
// may add entries but never move or remove this user's.
QString untrusted(const QString& path) {
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString prefix;
    for (qsizetype i = -1; i < parts.size(); ++i) {
        prefix = i < 0 ? QStringLiteral("/") : (i == 0 ? QString() : prefix) + u'/' + parts[i];
        struct stat info;
        if (::lstat(QFile::encodeName(prefix).constData(), &info) != 0)
            return prefix + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        if (info.st_uid != 0 && info.st_uid != ::geteuid())
            return prefix + QStringLiteral(": owned by user %1").arg(info.st_uid);
        if (S_ISDIR(info.st_mode) && (info.st_mode & (S_IWGRP | S_IWOTH)) &&
            !(info.st_mode & S_ISVTX))
            return prefix + QStringLiteral(": writable by others");
    }
    return QString();
}

// The folder itself when it is this user's alone, every component of the way to it checked
// (untrusted) both as given and with its links followed, and the folder owned by this user,
// mode 0700, so that no other user can put anything in it or steer its name elsewhere. An empty
// string, with *why saying why, when it is not.
QString privateFolder(const QString& given, QString* why) {
    // "DIR/" would follow DIR even when it is a link, O_NOFOLLOW or not.
    const QString folder = QDir::cleanPath(given);
    if (*why = untrusted(folder); !why->isEmpty())
        return QString();
    const QString real = QFileInfo(folder).canonicalFilePath();
    if (real.isEmpty()) {
        *why = folder + QStringLiteral(": does not exist");
        return QString();
    }
    if (real != folder) {
        if (*why = untrusted(real); !why->isEmpty())
            return QString();
    }
    const int fd = ::open(QFile::encodeName(real).constData(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        *why = real + QStringLiteral(": ") +
               (error == ELOOP || error == ENOTDIR ? QStringLiteral("not a folder of its own")
                                                   : QString::fromLocal8Bit(std::strerror(error)));
        return QString();
    }
    struct stat info;
    const bool seen = ::fstat(fd, &info) == 0;
    ::close(fd);
    if (!seen) {
        *why = real + QStringLiteral(": cannot be examined");
        return QString();
    }
    if (info.st_uid != ::geteuid()) {
        *why = real + QStringLiteral(": owned by user %1").arg(info.st_uid);
        return QString();
    }
    if ((info.st_mode & 0777) != 0700) {
        *why =
            real +
            QStringLiteral(": mode %1, not 0700").arg(info.st_mode & 0777, 4, 8, QLatin1Char('0'));
        return QString();
    }
    return real;
}

// A folder of this program's own for users without a runtime folder: kavetta in the user's
// cache folder ($XDG_CACHE_HOME when absolute, else ~/.cache), every missing folder on the way
// made 0700. Never the temporary folder, where any user can take a guessable name first.
QString ownFolder() {
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    const QString folder = QDir::cleanPath(base + QStringLiteral("/kavetta"));
    const QStringList parts = folder.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString path;
    for (const QString& part : parts) {
        path += QLatin1Char('/') + part;
        ::mkdir(QFile::encodeName(path).constData(), 0700); // one that exists stays as it is
    }
    return folder;
}

} // namespace

QString SingleInstance::defaultLockPath() {
    QString why;
    // A relative runtime folder would be a different folder for every working folder, so that
    // copies started from two places would not see each other; like any relative XDG folder it
    // is ignored.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime)) {
        if (const QString folder = privateFolder(runtime, &why); !folder.isEmpty())
            return folder + QStringLiteral("/kavetta.lock");
        qCWarning(lcInstance).noquote() << "runtime folder refused:" << why;
    } else if (!runtime.isEmpty()) {
        qCWarning(lcInstance).noquote() << "relative runtime folder ignored:" << runtime;
    }
    // The home folder may be shared by several machines; each keeps a lock of its own.
    if (const QString folder = privateFolder(ownFolder(), &why); !folder.isEmpty()) {
        const QString host = QSysInfo::machineHostName();
        return folder + (host.isEmpty()
                             ? QStringLiteral("/instance.lock")
                             : QStringLiteral("/instance-") + host + QStringLiteral(".lock"));
    }
    qCWarning(lcInstance).noquote()
        << "lock folder refused:" << why << "-- running without the one-copy guard";
    return QString();
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

enum class Entry { LockOrNone, Folder, Debris };

// What is in the lock's place, looked at without opening it for reading or following a link: a
// FIFO there would hold any reader for ever.
Entry entryAt(const QString& path, struct stat* info) {
    const QByteArray name = QFile::encodeName(path);
#if defined(O_PATH)
    const int fd = ::open(name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
#else
    const int fd =
        ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
#endif
    if (fd < 0) // a link (where O_PATH is missing), or for tryLock to tell
        return errno == ELOOP && ::lstat(name.constData(), info) == 0 ? Entry::Debris
                                                                      : Entry::LockOrNone;
    const bool seen = ::fstat(fd, info) == 0;
    ::close(fd);
    if (!seen || S_ISREG(info->st_mode))
        return Entry::LockOrNone;
    return S_ISDIR(info->st_mode) ? Entry::Folder : Entry::Debris;
}

// Clears the abandoned entry seen at name, unless another copy starting at the same moment has
// already replaced it with its own lock. False when it is there still.
bool clearIfSame(const QByteArray& name, const struct stat& seen) {
    struct stat now;
    const bool replaced = ::lstat(name.constData(), &now) != 0 || now.st_ino != seen.st_ino ||
                          now.st_dev != seen.st_dev;
    return replaced || ::unlink(name.constData()) == 0 || errno == ENOENT;
}

} // namespace

bool SingleInstance::acquire() {
    if (path_.isEmpty())
        return true; // no folder fit for the lock (said in the log): run unguarded
    const QByteArray name = QFile::encodeName(path_);
    struct stat seen;
    switch (entryAt(path_, &seen)) {
    case Entry::LockOrNone:
        break;
    case Entry::Folder:
        qCWarning(lcInstance).noquote()
            << path_ << "is a folder -- running without the one-copy guard";
        return true;
    case Entry::Debris:
        // Never a lock (a copy only ever makes a regular file), and QLockFile would read
        // through it or wait on it for ever: cleared, then the lock is taken as usual.
        qCWarning(lcInstance).noquote() << path_ << "is not a regular file: removed";
        if (!clearIfSame(name, seen))
            return true;
        break;
    }
    if (lock_->tryLock(0))
        return true;
    // tryLock has already taken over a lock whose owner is gone, so a failure here means a live
    // copy holds it -- or an entry that no copy could have left is in the way.
    if (lock_->error() != QLockFile::LockFailedError)
        return true; // permission or other I/O trouble: run unguarded, silently
    switch (holderOf(*lock_, path_, &seen)) {
    case Holder::LiveCopy:
        return false;
    case Holder::Unknown:
        return true; // cannot tell: run unguarded rather than never
    case Holder::Nobody:
        break;
    }
    if (!clearIfSame(name, seen))
        return true; // cannot clear it: run unguarded, silently
    if (lock_->tryLock(0))
        return true;
    return lock_->error() != QLockFile::LockFailedError;
}

} // namespace kav
