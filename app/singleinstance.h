#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace kav {

// One running copy per user. On POSIX systems the lock lives only in a folder that is the user's
// alone (owned by the user, mode 0700, not reached through a link), so no other user can block
// it: the runtime folder ($XDG_RUNTIME_DIR) when it is such a folder, else kavetta in the user's
// cache folder, with a lock for each machine that may share the home folder. A copy that died
// leaves a lock whose owner is gone, which the next start takes over. On Windows it is a named
// mutex of the user's session whose name holds the user's security identifier: the system removes
// it with the last process holding it, however that process ended, so a killed copy leaves nothing
// behind.
class SingleInstance {
public:
    // POSIX: the lock file's path, empty when no folder is fit for it. Windows: the mutex's name.
    static QString defaultLockPath();

    explicit SingleInstance(const QString& lockPath = defaultLockPath());
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False only when another live copy holds the lock. A lock that cannot be made at all (no
    // folder, no permission) does not stop the program: it then runs without the guarantee.
    bool acquire();

private:
#if defined(Q_OS_WIN)
    void* mutex_ = nullptr; // HANDLE
#else
    std::unique_ptr<QLockFile> lock_;
#endif
    QString path_;
};

} // namespace kav
