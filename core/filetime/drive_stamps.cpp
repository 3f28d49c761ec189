#include "core/filetime/drive_stamps.h"

#include "core/base/path_bytes.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>

namespace kalmora {

namespace {

constexpr unsigned long FuseMagic = 0x65735546, MsdosMagic = 0x4d44, ExfatMagic = 0x2011bab0,
                        NtfsMagic = 0x5346544e, Ntfs3Magic = 0x7366746e;

// The type and source of the mount that holds `device`, from this process's mount table.
std::pair<QByteArray, QByteArray> mountOf(dev_t device) {
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return {};
    const QByteArray id =
        QByteArray::number(major(device)) + ':' + QByteArray::number(minor(device));
    // Read whole: the file says its size is 0.
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() > 2 && fields[2] == id && dash > 0 && dash + 2 < fields.size())
            return {fields[dash + 1], fields[dash + 2]};
    }
    return {};
}

// What a FUSE driver's volume is, by its boot sector where it may be read.
QByteArray bootName(const QByteArray &source) {
    QFile device(QString::fromLocal8Bit(source));
    if (!source.startsWith('/') || !device.open(QIODevice::ReadOnly))
        return {};
    return device.read(11).mid(3);
}

} // namespace

DriveStamps::DriveStamps() = default;
DriveStamps::~DriveStamps() {
    if (m_probe >= 0)
        ::close(m_probe);
}
DriveStamps::DriveStamps(DriveStamps &&o) noexcept {
    *this = std::move(o);
}
DriveStamps &DriveStamps::operator=(DriveStamps &&o) noexcept {
    if (this != &o) {
        if (m_probe >= 0)
            ::close(m_probe);
        m_name = std::move(o.m_name);
        m_writeStep = o.m_writeStep;
        m_accessStep = o.m_accessStep;
        m_earliest = o.m_earliest;
        m_latest = o.m_latest;
        m_probe = std::exchange(o.m_probe, -1);
        m_heldFrom = o.m_heldFrom;
        m_heldTo = o.m_heldTo;
    }
    return *this;
}

DriveStamps DriveStamps::of(const QString &folder) {
    DriveStamps d;
    const QByteArray path = PathBytes(folder);
    struct statfs fs {};
    struct stat st {};
    if (::statfs(path.constData(), &fs) != 0 || ::stat(path.constData(), &st) != 0)
        return d;
    const auto type = static_cast<unsigned long>(fs.f_type);
    QByteArray kind; // "fat", "exfat", "ntfs" or empty
    if (type == MsdosMagic)
        kind = "fat";
    else if (type == ExfatMagic)
        kind = "exfat";
    else if (type == NtfsMagic || type == Ntfs3Magic)
        kind = "ntfs";
    else if (type == FuseMagic) {
        const auto [fsType, source] = mountOf(st.st_dev);
        char raw[8];
        if (fsType == "fuse.fusefat" || fsType == "fuse.vfat")
            kind = "fusefat";
        else if (fsType.startsWith("fuse.exfat") || bootName(source) == "EXFAT   ")
            kind = "exfat";
        else if (::getxattr(path.constData(), "system.ntfs_crtime", raw, sizeof raw) == 8 ||
                 bootName(source) == "NTFS    ")
            kind = "ntfs";
    }
    if (kind == "fat" || kind == "fusefat" || kind == "exfat") {
        d.m_name = kind == "exfat" ? QStringLiteral("exFAT") : QStringLiteral("FAT");
        // FAT keeps 2-second modification times; the kernel's driver keeps only the day of an
        // access, FUSE's keeps it as the modification. exFAT keeps access times in 2 seconds.
        d.m_writeStep = kind == "exfat" ? 1 : 2;
        d.m_accessStep = kind == "fat" ? 86400 : 2;
        d.m_earliest = DateTime(1980, 1, 1, 0, 0, 0);
        d.m_latest = DateTime(2107, 12, 31, 23, 59, 58);
        return d;
    }
    if (kind == "ntfs") {
        d.m_name = QStringLiteral("NTFS");
        return d;
    }
    // A kernel file system clamps a time outside its years to the nearest it holds, and says
    // so when read back: a file of no name shows it before any file is touched.
    if (type != FuseMagic)
        d.m_probe = ::open(path.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (d.m_probe >= 0) {
        d.m_heldFrom = 0; // 1970 and now are held wherever a probe can be made
        d.m_heldTo = ::time(nullptr);
    }
    return d;
}

std::optional<qint64> DriveStamps::heldOnProbe(qint64 utc) {
    if (utc >= m_heldFrom && utc <= m_heldTo)
        return utc;
    const timespec times[2] = {{time_t(utc), 0}, {time_t(utc), 0}};
    struct stat st {};
    if (::futimens(m_probe, times) != 0 || ::fstat(m_probe, &st) != 0)
        return std::nullopt;
    const qint64 held = st.st_mtim.tv_sec;
    if (held == utc) {
        m_heldFrom = std::min(m_heldFrom, utc);
        m_heldTo = std::max(m_heldTo, utc);
    }
    return held;
}

std::optional<DateTime> DriveStamps::fitOne(const std::optional<DateTime> &local, int step) {
    if (!local || !local->isValid())
        return local;
    DateTime t = *local;
    if (m_earliest.isValid() && t < m_earliest)
        t = m_earliest;
    if (m_latest.isValid() && t > m_latest)
        t = m_latest;
    if (step == 86400)
        t = DateTime(t.date(), QTime(0, 0));
    else if (step > 1)
        t = t.addSeconds(-(t.secondsOfDay() % step));
    if (m_probe >= 0) {
        const std::optional<qint64> utc = LocalToUtcSeconds(t);
        const std::optional<qint64> held = utc ? heldOnProbe(*utc) : std::nullopt;
        if (held && held != utc)
            if (const std::optional<DateTime> shown = UtcSecondsToLocal(*held))
                t = *shown;
    }
    return t;
}

FileTimesUpdate DriveStamps::fit(const FileTimesUpdate &update) {
    // The creation time is what the drive keeps or not (judged after the write).
    return {update.creation, fitOne(update.lastAccess, m_accessStep),
            fitOne(update.lastWrite, m_writeStep)};
}

} // namespace kalmora
