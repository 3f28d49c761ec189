#pragma once

#include <QLockFile>
#include <QString>

namespace kalmora {

// One running program per user: a lock file in the user's runtime folder. A lock left behind by a
// crashed instance is taken over.
class SingleInstanceGuard {
public:
    explicit SingleInstanceGuard(const QString &lockPath = defaultLockPath());
    // False when another live instance holds the lock.
    bool acquire();
    static QString defaultLockPath();

private:
    QLockFile m_lock;
};

} // namespace kalmora
