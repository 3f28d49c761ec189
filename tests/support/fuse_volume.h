#pragma once

// A small disk image of the file systems cameras and phones write, made and mounted through
// FUSE in a temporary folder for one test; unmounted when it goes.
#include <QString>
#include <QTemporaryDir>

namespace kalmora::test {

enum class Drive { Ntfs, ExFat, Fat };

class FuseVolume {
public:
    explicit FuseVolume(Drive drive) : m_drive(drive) {}
    ~FuseVolume() { unmount(); }
    FuseVolume(const FuseVolume &) = delete;
    FuseVolume &operator=(const FuseVolume &) = delete;

    // False with the reason when this machine cannot mount it (not root, no /dev/fuse, a tool
    // missing).
    bool mount(QString *reason);
    // Mounted afresh: what the driver kept in memory is gone, what it reads is on the disk.
    bool remount(QString *reason);
    QString path() const { return m_mountPoint; }
    static const char *name(Drive drive);

private:
    bool attach(QString *reason);
    void unmount();

    Drive m_drive;
    QTemporaryDir m_dir;
    QString m_image, m_mountPoint, m_loop;
    bool m_mounted = false;
};

} // namespace kalmora::test
