#pragma once

#include <QLockFile>
#include <QString>

#include <optional>

namespace kalmora {

// One running program per user: a lock file in a folder that only this user can change. A lock
// left behind by a crashed instance is taken over.
class SingleInstanceGuard {
public:
    explicit SingleInstanceGuard(const QString &lockPath = defaultLockPath());
    // False when another live instance holds the lock. Without a lock path there is no folder
    // to keep a lock safely, and the program runs unguarded rather than not at all.
    bool acquire();
    // The runtime folder when it is the user's own and writable by nobody else; otherwise a
    // folder of mode 0700 that the program makes in the user's cache. Empty when neither will do.
    static QString defaultLockPath();

private:
    std::optional<QLockFile> m_lock;
};

} // namespace kalmora
