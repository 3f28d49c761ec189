#include "tests/support/fuse_volume.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace kalmora::test {

namespace {

QString findTool(const QString &name) {
    QString found = QStandardPaths::findExecutable(name);
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(name, {"/usr/sbin", "/sbin", "/usr/bin", "/bin"});
    return found;
}

bool refuse(QString *reason, const QString &why) {
    *reason = why;
    return false;
}

// Runs a tool of the given package; its output is the reason when it fails.
bool run(const char *tool, const char *package, const QStringList &args, QString *reason,
         QString *output = nullptr) {
    const QString program = findTool(QLatin1String(tool));
    if (program.isEmpty())
        return refuse(reason, QStringLiteral("%1 not installed (package %2)").arg(tool, package));
    QProcess process;
    // fusefat converts with the zone on the way in but not on the way out: its daemon runs in
    // UTC, as a kernel driver mounted without a zone does.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(output ? QProcess::SeparateChannels : QProcess::MergedChannels);
    process.start(program, args);
    const bool ok = process.waitForFinished(60000) &&
                    process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    const QString said = QString::fromLocal8Bit(process.readAll()).trimmed();
    if (output)
        *output = said;
    return ok || refuse(reason, QStringLiteral("%1 failed: %2").arg(tool, said));
}

} // namespace

const char *FuseVolume::name(Drive drive) {
    switch (drive) {
    case Drive::Ntfs:
        return "NTFS";
    case Drive::ExFat:
        return "exFAT";
    case Drive::Fat:
        return "FAT32";
    }
    return "?";
}

bool FuseVolume::mount(QString *reason) {
    if (geteuid() != 0)
        return refuse(reason, QStringLiteral("mounting needs root"));
    if (access("/dev/fuse", R_OK | W_OK) != 0)
        return refuse(reason, QStringLiteral("no usable /dev/fuse (%1)").arg(strerror(errno)));
    if (!m_dir.isValid())
        return refuse(reason, QStringLiteral("no temporary folder"));
    m_image = m_dir.filePath(QStringLiteral("drive.img"));
    QFile file(m_image);
    // FAT32 needs 32 MiB at the least.
    if (!file.open(QIODevice::WriteOnly) || !file.resize(40 * 1024 * 1024))
        return refuse(reason, QStringLiteral("cannot make the image file"));
    file.close();
    const bool made = m_drive == Drive::Ntfs
                          ? run("mkntfs", "ntfs-3g", {"-F", "-q", "-L", "kalmora", m_image}, reason)
                      : m_drive == Drive::ExFat
                          ? run("mkfs.exfat", "exfatprogs", {m_image}, reason)
                          : run("mkfs.fat", "dosfstools", {"-F", "32", m_image}, reason);
    if (!made)
        return false;
    m_mountPoint = m_dir.filePath(QStringLiteral("mnt"));
    QDir().mkpath(m_mountPoint);
    return attach(reason);
}

bool FuseVolume::attach(QString *reason) {
    bool ok = false;
    switch (m_drive) {
    case Drive::Ntfs:
        ok = run("ntfs-3g", "ntfs-3g", {m_image, m_mountPoint}, reason);
        break;
    case Drive::ExFat:
        // As root the driver asks the kernel for a block device: a loop device over the image.
        if (m_loop.isEmpty() &&
            !run("losetup", "mount", {"-f", "--show", m_image}, reason, &m_loop))
            return false;
        // It sets a file's access time itself when the file is read: not in the tests, which
        // read files to compare them.
        ok = run("mount.exfat-fuse", "exfat-fuse", {"-o", "noatime", m_loop, m_mountPoint}, reason);
        break;
    case Drive::Fat:
        ok = run("fusefat", "fusefat", {"-o", "rw+", m_image, m_mountPoint}, reason);
        break;
    }
    if (!ok)
        return false;
    struct statfs fs {};
    if (statfs(QFile::encodeName(m_mountPoint).constData(), &fs) != 0 || fs.f_type != 0x65735546)
        return refuse(reason, QStringLiteral("the mount point is not a FUSE mount"));
    m_mounted = true;
    return true;
}

// Whether a process still runs with `image` among its arguments (a driver that, unmounted,
// may still be writing what it kept).
static bool driverRuns(const QString &image) {
    const QByteArray wanted = QFile::encodeName(image);
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (pid.toInt() > 0 && cmdline.open(QIODevice::ReadOnly) &&
            cmdline.readAll().split('\0').contains(wanted))
            return true;
    }
    return false;
}

bool FuseVolume::remount(QString *reason) {
    const QString loop = m_loop;
    m_loop.clear(); // kept attached
    unmount();
    m_loop = loop;
    for (int i = 0; i < 500 && driverRuns(m_loop.isEmpty() ? m_image : m_loop); ++i)
        usleep(10000);
    return attach(reason);
}

void FuseVolume::unmount() {
    if (m_mounted) {
        const QByteArray point = QFile::encodeName(m_mountPoint);
        if (umount2(point.constData(), 0) != 0)
            umount2(point.constData(), MNT_DETACH);
        m_mounted = false;
    }
    if (!m_loop.isEmpty()) {
        QString ignored;
        run("losetup", "mount", {"-d", m_loop}, &ignored);
        m_loop.clear();
    }
}

} // namespace kalmora::test
