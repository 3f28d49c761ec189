// File stamps on Linux: access and modification through utimensat, creation through the
// NTFS attribute that ntfs-3g offers, or the birth time where the file system keeps one.
#include "core/filetime/file_times.h"

#include "core/base/path_bytes.h"
#include "core/base/write_protection.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace kalmora {

namespace {

static_assert(sizeof(time_t) >= 8, "stamps after 2038 need a 64-bit time_t");

constexpr qint64 secondsPerDay = 86400;
constexpr qint64 unixEpochJulianDay = 2440588; // 1970-01-01
constexpr qint64 ticksPerSecond = 10'000'000;  // NTFS counts 100 ns ticks
constexpr qint64 secondsFrom1601To1970 = 11'644'473'600;
// ntfs-3g shows the NTFS creation time under this name (8 bytes, little-endian ticks since
// 1601); statx reports no birth time on such a mount.
constexpr char ntfsCreationAttribute[] = "system.ntfs_crtime";

// The stamps as seconds since 1970 UTC, fractions dropped.
struct Instants {
    qint64 creation = 0;
    qint64 lastAccess = 0;
    qint64 lastWrite = 0;
    // Read from a real creation field; otherwise derived for display, and no proof of a write.
    bool creationHeld = false;
};

// The day of the C library's broken-down time, or none beyond Qt's years. The C library
// counts a year 0; Qt goes from 1 BC (-1) to AD 1.
std::optional<QDate> dayOf(const tm &parts) {
    const qint64 year = qint64(parts.tm_year) + 1900;
    if (year > INT_MAX || year <= INT_MIN)
        return std::nullopt;
    return QDate(int(year <= 0 ? year - 1 : year), parts.tm_mon + 1, parts.tm_mday);
}

// How far the local time the C library shows for an instant lies from it: the zone's offset,
// less the leap seconds counted by then where the zone counts them ("right/" zones), so that an
// instant worked out from a local time shows that local time again.
std::optional<long> utcOffsetAt(qint64 utcSeconds) {
    const time_t t = time_t(utcSeconds);
    tm parts{};
    if (!localtime_r(&t, &parts))
        return std::nullopt;
    const std::optional<QDate> day = dayOf(parts);
    if (!day)
        return std::nullopt;
    const qint64 shown = (day->toJulianDay() - unixEpochJulianDay) * secondsPerDay +
                         parts.tm_hour * 3600 + parts.tm_min * 60 + parts.tm_sec;
    return long(shown - utcSeconds);
}

// The local time `offset` (as utcOffsetAt gives it) away from the instant.
DateTime civilAt(qint64 utcSeconds, long offset) {
    const qint64 local = utcSeconds + offset;
    const qint64 day = local / secondsPerDay - (local % secondsPerDay < 0 ? 1 : 0);
    const qint64 second = local - day * secondsPerDay;
    return DateTime(QDate::fromJulianDay(day + unixEpochJulianDay),
                    QTime::fromMSecsSinceStartOfDay(int(second * 1000)));
}

// Offsets of the zone at instants already looked up, so that a batch of nearby times costs about
// one look-up per day of times instead of several per time. Within a span the offset is one:
// its ends were looked up with that offset, and so were instants between them no more than a
// day apart. That is the judgement localToUtc makes from its own look-ups a day apart: no
// period of another offset lies between two looked-up instants a day apart with the same one.
struct OffsetSpan {
    qint64 from = 0, to = -1; // empty
    long offset = 0;
};
struct KnownOffsets {
    std::array<OffsetSpan, 4> spans{};
    std::size_t next = 0;
    // The zone counts no leap seconds, so every local time is its instant plus the offset.
    // Where it counts them, a leap second itself shows as ":60" and is asked of the C library.
    bool leapFree = false;
};
thread_local KnownOffsets known;

// After tzset(): the zone may be another one.
void forgetOffsets() {
    known = {};
    constexpr qint64 probe = 1'700'000'000; // 2023, after 27 leap seconds
    const time_t t = time_t(probe);
    tm parts{};
    known.leapFree = localtime_r(&t, &parts) && utcOffsetAt(probe) == parts.tm_gmtoff;
}

std::optional<long> offsetAt(qint64 utcSeconds) {
    for (const OffsetSpan &s : known.spans) {
        if (utcSeconds >= s.from && utcSeconds <= s.to)
            return s.offset;
    }
    const auto offset = utcOffsetAt(utcSeconds);
    if (!offset)
        return std::nullopt;
    for (OffsetSpan &s : known.spans) {
        if (s.from > s.to || s.offset != *offset)
            continue;
        if (utcSeconds > s.to && utcSeconds - s.to <= secondsPerDay) {
            s.to = utcSeconds;
            // Times mostly move forward through a batch: a day ahead in one more look-up.
            if (utcOffsetAt(utcSeconds + secondsPerDay) == offset)
                s.to = utcSeconds + secondsPerDay;
            return offset;
        }
        if (utcSeconds < s.from && s.from - utcSeconds <= secondsPerDay) {
            s.from = utcSeconds;
            return offset;
        }
    }
    known.spans[known.next] = {utcSeconds, utcSeconds, *offset};
    known.next = (known.next + 1) % known.spans.size();
    return offset;
}

std::optional<quint64> ntfsTicks(const char *name) {
    unsigned char raw[8];
    if (getxattr(name, ntfsCreationAttribute, raw, sizeof raw) != qsizetype(sizeof raw))
        return std::nullopt;
    const quint64 ticks = qFromLittleEndian<quint64>(raw);
    if (ticks > quint64(LLONG_MAX))
        return std::nullopt;
    return ticks;
}

// A monotonic clock in milliseconds, read without a system call.
qint64 coarseNowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Picks up a change of the zone: at once when TZ changes, and a change of the zone file within a
// second. With no TZ set, tzset() examines the zone file on every call, a system call per file
// that a batch does not need.
void refreshZone() {
    thread_local std::string lastTz = "\x01"; // no value TZ can hold
    thread_local qint64 lastRefreshMs = 0;
    const char *tz = std::getenv("TZ");
    const std::string now = tz ? std::string(tz) + '=' : std::string();
    const qint64 nowMs = coarseNowMs();
    if (now == lastTz && nowMs - lastRefreshMs < 1000)
        return;
    tzset();
    forgetOffsets();
    lastTz = now;
    lastRefreshMs = nowMs;
}

// Whether the file's file system may keep an NTFS creation attribute (ntfs-3g through FUSE, or
// an NTFS driver); elsewhere asking for it only costs a call. The answer per mount is kept for
// a second (a mount's number is not given again that soon; its device number may be). `whole()`: a
// path of the file for the calls that take no folder handle, asked for only when one is made.
struct NtfsDevice {
    quint32 major = 0, minor = 0;
    quint64 mount = 0;
    bool ntfs = true;
    bool checked = false;
    qint64 checkedMs = 0;
};
thread_local std::array<NtfsDevice, 4> devices{};
thread_local std::size_t nextDevice = 0;

// Asked for in every statx here: the mount's number that is never given again (Linux 6.8);
// older kernels give the reusable one, or none.
#ifndef STATX_MNT_ID_UNIQUE
#define STATX_MNT_ID_UNIQUE 0x4000U
#endif
constexpr unsigned MountAsked = STATX_MNT_ID_UNIQUE;

quint64 mountOf(const struct statx &sx) {
    return (sx.stx_mask & (STATX_MNT_ID_UNIQUE | STATX_MNT_ID)) ? sx.stx_mnt_id : 0;
}

template <typename Whole> bool mayHoldNtfs(const struct statx &sx, const Whole &whole) {
    constexpr unsigned long fuseMagic = 0x65735546, ntfsMagic = 0x5346544e, ntfs3Magic = 0x7366746e;
    const qint64 nowMs = coarseNowMs();
    for (const NtfsDevice &d : devices) {
        if (d.checked && d.major == sx.stx_dev_major && d.minor == sx.stx_dev_minor &&
            d.mount == mountOf(sx) && nowMs - d.checkedMs < 1000)
            return d.ntfs;
    }
    struct statfs fs {};
    if (statfs(whole(), &fs) != 0)
        return true; // unknown: ask the file itself
    const auto type = static_cast<unsigned long>(fs.f_type);
    const bool ntfs = type == fuseMagic || type == ntfsMagic || type == ntfs3Magic;
    devices[nextDevice] =
        NtfsDevice{sx.stx_dev_major, sx.stx_dev_minor, mountOf(sx), ntfs, true, nowMs};
    nextDevice = (nextDevice + 1) % devices.size();
    return ntfs;
}

template <typename Whole>
FileState stateOf(const struct statx &sx, const Whole &whole, bool askNtfs) {
    FileState s;
    s.exists = true;
    s.device = (quint64(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
    s.inode = sx.stx_ino;
    s.size = qint64(sx.stx_size);
    s.access = {sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec};
    s.modification = {sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec};
    if (sx.stx_mask & STATX_MODE)
        s.mode = sx.stx_mode & 07777;
    if (const auto ticks = askNtfs && mayHoldNtfs(sx, whole) ? ntfsTicks(whole()) : std::nullopt) {
        s.creation = {qint64(*ticks / ticksPerSecond) - secondsFrom1601To1970,
                      qint64(*ticks % ticksPerSecond) * 100};
        s.creationSettable = true;
    } else if (sx.stx_mask & STATX_BTIME) {
        s.creation = {sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec};
    }
    return s;
}

FileState stateFromStatx(const struct statx &sx, const FileAt &file, bool askNtfs) {
    return stateOf(
        sx, [&file] { return file.wholePath(); }, askNtfs);
}

// `ntfsAttributeAbsent`: the caller has just found no NTFS creation attribute on the file, so
// asking again would only cost a call. `state`: the same read to the nanosecond.
std::optional<Instants> readInstants(const FileAt &file, bool ntfsAttributeAbsent = false,
                                     std::optional<FileState> *state = nullptr) {
    struct statx sx {};
    constexpr unsigned basic = STATX_ATIME | STATX_MTIME | STATX_CTIME;
    const unsigned asked = basic | STATX_BTIME | MountAsked | (state ? STATX_INO | STATX_SIZE : 0u);
    if (statx(file.dir, file.name.constData(), AT_STATX_SYNC_AS_STAT, asked, &sx) != 0)
        return std::nullopt;
    if ((sx.stx_mask & basic) != basic) {
        errno = ENODATA;
        return std::nullopt;
    }
    // statx gives whole seconds rounded down and a non-negative fraction, also before 1970.
    Instants at;
    at.lastAccess = sx.stx_atime.tv_sec;
    at.lastWrite = sx.stx_mtime.tv_sec;
    // The NTFS attribute first: it is the creation time that a write can set, so what is
    // written and what is read are the same stamp.
    const FileState held = stateFromStatx(sx, file, !ntfsAttributeAbsent);
    at.creationHeld = held.creationSettable || (sx.stx_mask & STATX_BTIME);
    if (at.creationHeld)
        at.creation = held.creation.sec;
    else
        at.creation = std::min<qint64>(sx.stx_mtime.tv_sec, sx.stx_ctime.tv_sec);
    if (state)
        *state = held;
    return at;
}

// Conversions under the zone rules that tzset() last picked up (defined below).
std::optional<qint64> localToUtc(const DateTime &local);
std::optional<DateTime> utcToLocal(qint64 utcSeconds);

std::optional<FileTimes> toLocal(const Instants &at) {
    // Stamps are often equal (a planned write gives all three one time): convert each once.
    const auto creation = utcToLocal(at.creation);
    const auto lastWrite = at.lastWrite == at.creation ? creation : utcToLocal(at.lastWrite);
    const auto lastAccess = at.lastAccess == at.lastWrite  ? lastWrite
                            : at.lastAccess == at.creation ? creation
                                                           : utcToLocal(at.lastAccess);
    if (!creation || !lastAccess || !lastWrite)
        return std::nullopt;
    return FileTimes{*creation, *lastAccess, *lastWrite};
}

timespec stampOrOmit(const std::optional<qint64> &utcSeconds) {
    timespec ts{};
    if (utcSeconds) {
        ts.tv_sec = time_t(*utcSeconds);
        ts.tv_nsec = 0;
    } else {
        ts.tv_nsec = UTIME_OMIT;
    }
    return ts;
}

int setNtfsCreation(const char *name, qint64 utcSeconds) {
    if (utcSeconds < -secondsFrom1601To1970 ||
        utcSeconds > LLONG_MAX / ticksPerSecond - secondsFrom1601To1970)
        return EINVAL; // before 1601 or past what the 64-bit tick count holds
    unsigned char raw[8];
    qToLittleEndian<quint64>(quint64(utcSeconds + secondsFrom1601To1970) * ticksPerSecond, raw);
    if (setxattr(name, ntfsCreationAttribute, raw, sizeof raw, 0) != 0)
        return errno ? errno : EIO;
    return 0;
}

} // namespace

FileState FileStateFromStatx(const struct statx &sx, const char *name, bool askNtfs) {
    return stateOf(
        sx, [name] { return name; }, askNtfs);
}

FileState StatFileState(const QString &path, unsigned *mode) {
    const auto file = FileAt::of(path);
    struct statx sx {};
    if (!file ||
        ::statx(file->dir, file->name.constData(), AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT,
                STATX_BASIC_STATS | STATX_BTIME | MountAsked, &sx) != 0)
        return {};
    if (mode)
        *mode = sx.stx_mode;
    return stateFromStatx(sx, *file, true);
}

std::optional<qint64> LocalToUtcSeconds(const DateTime &local) {
    refreshZone();
    return localToUtc(local);
}

std::optional<DateTime> UtcSecondsToLocal(qint64 utcSeconds) {
    refreshZone();
    return utcToLocal(utcSeconds);
}

namespace {

// Each public entry point picks up a zone change (refreshZone), not every conversion.
std::optional<qint64> localToUtc(const DateTime &local) {
    if (!local.isValid())
        return std::nullopt;
    const qint64 naive =
        (local.date().toJulianDay() - unixEpochJulianDay) * secondsPerDay + local.secondsOfDay();
    // Every instant that this local time can denote lies within a day of `naive` read as UTC,
    // so the offsets in force a day either side of it (and at it) are the candidates.
    std::optional<qint64> earliest;
    long lowOffset = LONG_MAX;
    long highOffset = LONG_MIN;
    std::optional<long> offsetBefore;
    for (const qint64 probe : {naive - secondsPerDay, naive, naive + secondsPerDay}) {
        const auto offset = offsetAt(probe);
        if (!offset)
            return std::nullopt;
        lowOffset = std::min(lowOffset, *offset);
        highOffset = std::max(highOffset, *offset);
        if (offset == offsetBefore)
            continue; // the same candidate as the probe before, already judged
        offsetBefore = offset;
        const qint64 candidate = naive - *offset;
        const auto offsetThere = offsetAt(candidate);
        if (!offsetThere)
            return std::nullopt;
        // Clocks put back: two candidates fit; the earlier one wins.
        if (*offsetThere == *offset && (!earliest || candidate < *earliest))
            earliest = candidate;
    }
    if (earliest)
        return earliest;
    // Clocks put forward over this time: take the first instant after the gap, whose local
    // time is the first valid time following the one asked for.
    qint64 before = naive - highOffset; // its local time lies before `naive`
    qint64 after = naive - lowOffset;   // its local time lies after `naive`
    if (after <= before)
        return std::nullopt;
    while (after - before > 1) {
        const qint64 middle = before + (after - before) / 2;
        const auto offset = utcOffsetAt(middle);
        if (!offset)
            return std::nullopt;
        if (middle + *offset > naive)
            after = middle;
        else
            before = middle;
    }
    return after;
}

std::optional<DateTime> utcToLocal(qint64 utcSeconds) {
    // Within a thousand years of 1970 (no year 0, no year beyond an int).
    constexpr qint64 near = 1000 * 365 * secondsPerDay;
    if (known.leapFree && utcSeconds > -near && utcSeconds < near) {
        if (const auto offset = offsetAt(utcSeconds))
            return civilAt(utcSeconds, *offset);
        return std::nullopt;
    }
    const time_t t = time_t(utcSeconds);
    tm parts{};
    if (!localtime_r(&t, &parts))
        return std::nullopt;
    const std::optional<QDate> day = dayOf(parts);
    if (!day)
        return std::nullopt;
    // A leap second (zones of the "right/" family) shows as the second before it.
    const DateTime local(*day, QTime(parts.tm_hour, parts.tm_min, std::min(parts.tm_sec, 59)));
    if (!local.isValid())
        return std::nullopt;
    return local;
}

} // namespace

std::optional<FileTimes> ReadFileTimes(const QString &path) {
    const auto file = FileAt::of(path);
    if (!file)
        return std::nullopt;
    refreshZone();
    const auto at = readInstants(*file);
    if (!at)
        return std::nullopt;
    return toLocal(*at);
}

FileTimesWriteResult WriteFileTimes(const QString &path, const FileTimesUpdate &update) {
    FileTimesWriteResult result;
    const auto failAsked = [&](int error) {
        for (auto [asked, status] : {std::pair{update.creation.has_value(), &result.creation},
                                     std::pair{update.lastAccess.has_value(), &result.lastAccess},
                                     std::pair{update.lastWrite.has_value(), &result.lastWrite}}) {
            if (asked)
                *status = StampStatus::Failed;
        }
        if (result.systemError == 0)
            result.systemError = error ? error : EIO;
    };

    // Every value is converted before the file is touched; one that is not a date stops it all.
    refreshZone();
    std::optional<qint64> creation;
    std::optional<qint64> lastAccess;
    std::optional<qint64> lastWrite;
    bool convertible = true;
    for (auto [local, utc] :
         {std::pair{&update.creation, &creation}, std::pair{&update.lastAccess, &lastAccess},
          std::pair{&update.lastWrite, &lastWrite}}) {
        if (*local) {
            if (*local == update.creation && creation)
                *utc = creation; // the same time as the creation, converted already
            else
                *utc = localToUtc(**local);
            convertible = convertible && utc->has_value();
        }
    }
    if (!convertible) {
        failAsked(EINVAL);
        return result;
    }

    const auto file = FileAt::of(path);
    if (!file) {
        failAsked(ENOENT);
        return result;
    }

    // The file must exist (nothing is ever created), and we must be allowed to write to it, as
    // opening it for writing would demand: a read-only file keeps its stamps. Only the owner
    // (whose write permission is the owner's bit) and the administrator may set stamps at all;
    // anyone else is refused by the system when setting them, before anything changes.
    // With the stamps as they are, for a write that does not hold to be put back.
    struct statx sx {};
    if (statx(file->dir, file->name.constData(), AT_STATX_SYNC_AS_STAT,
              STATX_TYPE | STATX_MODE | STATX_UID | STATX_ATIME | STATX_MTIME | MountAsked,
              &sx) != 0) {
        failAsked(errno);
        return result;
    }
    bool touchable = true;
    if (MarkedReadOnly(sx.stx_uid, sx.stx_mode)) {
        // Marked read-only for everyone: kept as it is even for the administrator, whom the
        // system would let through.
        failAsked(EACCES);
        touchable = false;
    }

    const std::optional<quint64> oldTicks =
        creation && mayHoldNtfs(sx, [&] { return file->wholePath(); })
            ? ntfsTicks(file->wholePath())
            : std::nullopt;
    const bool creationSettable = oldTicks.has_value();
    if (touchable && (lastAccess || lastWrite)) {
        const timespec times[2] = {stampOrOmit(lastAccess), stampOrOmit(lastWrite)};
        if (utimensat(file->dir, file->name.constData(), times, 0) != 0) {
            failAsked(errno);
            touchable = false; // leave the creation time alone too
        }
    }
    int creationError = 0;
    if (touchable && creationSettable)
        creationError = setNtfsCreation(file->wholePath(), *creation);

    // Judge by what the file holds now, never by what the calls said.
    const auto now = readInstants(*file, creation && !creationSettable, &result.state);
    if (!now) {
        failAsked(errno);
        return result;
    }
    result.readBack = toLocal(*now);
    if (!touchable)
        return result;
    const auto judge = [](const std::optional<qint64> &asked, qint64 held, StampStatus &status) {
        if (asked)
            status = held == *asked ? StampStatus::Written : StampStatus::Failed;
    };
    judge(lastAccess, now->lastAccess, result.lastAccess);
    judge(lastWrite, now->lastWrite, result.lastWrite);
    judge(creation, now->creation, result.creation);
    // A creation time derived from the other stamps equals the plan whenever they do.
    if (creation && !creationSettable &&
        (result.creation == StampStatus::Failed || !now->creationHeld))
        result.creation = StampStatus::NotSettable;
    if (creationError != 0 && result.systemError == 0)
        result.systemError = creationError;
    const StampStatus judged[] = {result.creation, result.lastAccess, result.lastWrite};
    if (std::find(std::begin(judged), std::end(judged), StampStatus::Failed) == std::end(judged))
        return result;
    // A stamp the file system rounded or clamped, or a call that failed half-way: what changed
    // goes back, so that a failed row leaves the file as it was.
    const auto asWas = [](const statx_timestamp &t, bool asked) {
        return asked ? timespec{time_t(t.tv_sec), long(t.tv_nsec)} : timespec{0, UTIME_OMIT};
    };
    const timespec old[2] = {asWas(sx.stx_atime, lastAccess.has_value()),
                             asWas(sx.stx_mtime, lastWrite.has_value())};
    if (lastAccess || lastWrite)
        utimensat(file->dir, file->name.constData(), old, 0);
    if (creationSettable) {
        unsigned char raw[8];
        qToLittleEndian<quint64>(*oldTicks, raw);
        setxattr(file->wholePath(), ntfsCreationAttribute, raw, sizeof raw, 0);
    }
    if (const auto back = readInstants(*file, creation && !creationSettable, &result.state))
        result.readBack = toLocal(*back);
    else
        result.readBack.reset();
    return result;
}

WriteOutcome FileTimesWriteResult::outcome(bool onlyCreationChanges) const {
    const StampStatus all[] = {creation, lastAccess, lastWrite};
    if (!readBack ||
        std::find(std::begin(all), std::end(all), StampStatus::Failed) != std::end(all))
        return WriteOutcome::Failure;
    if (creation == StampStatus::NotSettable) {
        const bool othersAsked =
            lastAccess != StampStatus::NotRequested || lastWrite != StampStatus::NotRequested;
        return onlyCreationChanges || !othersAsked ? WriteOutcome::Failure
                                                   : WriteOutcome::SuccessCreationUnchanged;
    }
    return WriteOutcome::Success;
}

} // namespace kalmora
