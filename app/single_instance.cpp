#include "app/single_instance.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace kalmora {

namespace {

// A real folder (not a link) owned by this user that no one else may write into: another user
// can neither plant a lock there to keep the program out nor take a lock over.
bool ownPrivateFolder(const QString &path) {
    struct stat info {};
    if (path.isEmpty() || !QDir::isAbsolutePath(path) ||
        ::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           !(info.st_mode & (S_IWGRP | S_IWOTH));
}

} // namespace

SingleInstanceGuard::SingleInstanceGuard(const QString &lockPath) {
    if (lockPath.isEmpty())
        return;
    m_lock.emplace(lockPath);
    // Only a dead owner makes the lock stale; a live instance keeps it however long it runs.
    m_lock->setStaleLockTime(0);
}

bool SingleInstanceGuard::acquire() {
    if (!m_lock)
        return true;
    if (m_lock->tryLock(0))
        return true;
    if (m_lock->error() == QLockFile::LockFailedError && m_lock->removeStaleLockFile())
        return m_lock->tryLock(0);
    return false;
}

QString SingleInstanceGuard::defaultLockPath() {
    const QString runtime = QDir::cleanPath(qEnvironmentVariable("XDG_RUNTIME_DIR"));
    if (ownPrivateFolder(runtime))
        return runtime + QStringLiteral("/kalmora.lock");
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty() || !QDir().mkpath(cache))
        return {};
    const QString folder = QDir::cleanPath(cache) + QStringLiteral("/kalmora");
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    if (!ownPrivateFolder(folder))
        return {};
    return folder + QStringLiteral("/kalmora.lock");
}

} // namespace kalmora
