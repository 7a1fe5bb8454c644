#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace kav {

// One running copy per user. The lock lives in the user's runtime folder, so no other user can
// block it, and a copy that died leaves a lock whose owner is gone, which the next start takes
// over.
class SingleInstance {
public:
    static QString defaultLockPath();

    explicit SingleInstance(const QString& lockPath = defaultLockPath());

    // False only when another live copy holds the lock. A lock that cannot be made at all (no
    // folder, no permission) does not stop the program: it then runs without the guarantee.
    bool acquire();
    bool isGuarded() const { return guarded_; }

private:
    std::unique_ptr<QLockFile> lock_;
    QString path_;
    bool guarded_ = false;
};

} // namespace kav
