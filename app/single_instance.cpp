#include "app/single_instance.h"

#include <QDir>
#include <QStandardPaths>

#include <unistd.h>

namespace kalmora {

SingleInstanceGuard::SingleInstanceGuard(const QString &lockPath) : m_lock(lockPath) {
    // Only a dead owner makes the lock stale; a live instance keeps it however long it runs.
    m_lock.setStaleLockTime(0);
}

bool SingleInstanceGuard::acquire() {
    if (m_lock.tryLock(0))
        return true;
    if (m_lock.error() == QLockFile::LockFailedError && m_lock.removeStaleLockFile())
        return m_lock.tryLock(0);
    return false;
}

QString SingleInstanceGuard::defaultLockPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        return QDir::tempPath() + QStringLiteral("/kalmora-%1.lock").arg(getuid());
    return folder + QStringLiteral("/kalmora.lock");
}

} // namespace kalmora
