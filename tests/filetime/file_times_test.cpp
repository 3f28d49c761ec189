// Real files in temporary folders; the same suite runs once per time zone (TZ set by ctest).
#include "core/filetime/file_time_store.h"
#include "core/filetime/file_times.h"
#include "tests/support/fuse_volume.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <linux/fs.h>
#include <random>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace kalmora;

namespace {

constexpr qint64 unixEpochJulianDay = 2440588;
constexpr uid_t nobody = 65534;

DateTime dt(const QString &text) {
    const auto value = DateTime::parse(text);
    if (!value)
        qFatal("bad date in test data: %s", qPrintable(text));
    return *value;
}

// Seconds since 1970 of a UTC calendar text, computed without the code under test.
qint64 utc(const QString &text) {
    const DateTime d = dt(text);
    return (d.date().toJulianDay() - unixEpochJulianDay) * 86400 + d.secondsOfDay();
}

QByteArray native(const QString &path) {
    return QFile::encodeName(path);
}

struct OnDisk {
    statx_timestamp atime{};
    statx_timestamp mtime{};
    statx_timestamp ctime{};
    statx_timestamp btime{};
    bool hasBirth = false;
    QByteArray ntfsCreation; // raw attribute bytes, empty elsewhere
};

OnDisk onDisk(const QByteArray &name) {
    struct statx sx {};
    OnDisk d;
    if (statx(AT_FDCWD, name.constData(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
        qFatal("statx %s: %s", name.constData(), strerror(errno));
    d.atime = sx.stx_atime;
    d.mtime = sx.stx_mtime;
    d.ctime = sx.stx_ctime;
    d.btime = sx.stx_btime;
    d.hasBirth = sx.stx_mask & STATX_BTIME;
    char raw[64];
    const ssize_t n = getxattr(name.constData(), "system.ntfs_crtime", raw, sizeof raw);
    if (n > 0)
        d.ntfsCreation = QByteArray(raw, n);
    return d;
}

QString show(const statx_timestamp &t) {
    return QStringLiteral("%1.%2").arg(t.tv_sec).arg(t.tv_nsec, 9, 10, QLatin1Char('0'));
}

bool same(const statx_timestamp &a, const statx_timestamp &b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

void setAccessAndWrite(const QByteArray &name, qint64 aSec, long aNsec, qint64 mSec, long mNsec) {
    const timespec times[2] = {{time_t(aSec), aNsec}, {time_t(mSec), mNsec}};
    if (utimensat(AT_FDCWD, name.constData(), times, 0) != 0)
        qFatal("utimensat: %s", strerror(errno));
}

QByteArray ntfsTicks(qint64 utcSeconds, qint64 extraTicks = 0) {
    QByteArray raw(8, '\0');
    qToLittleEndian<quint64>(
        quint64(utcSeconds + 11'644'473'600LL) * 10'000'000ULL + quint64(extraTicks), raw.data());
    return raw;
}

QString makeFile(const QDir &dir, const QString &name, const QByteArray &content = "data") {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot create %s", qPrintable(path));
    return path;
}

QByteArray contentOf(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The zone that ctest gave this run, as a column of the data tables.
enum Zone { Shanghai, Berlin, NewYork, Utc, OtherZone };

Zone currentZone() {
    const QByteArray tz = qgetenv("TZ");
    if (tz == "Asia/Shanghai")
        return Shanghai;
    if (tz == "Europe/Berlin")
        return Berlin;
    if (tz == "America/New_York")
        return NewYork;
    if (tz == "UTC")
        return Utc;
    return OtherZone;
}

const char *statusName(StampStatus s) {
    switch (s) {
    case StampStatus::NotRequested:
        return "NotRequested";
    case StampStatus::Written:
        return "Written";
    case StampStatus::NotSettable:
        return "NotSettable";
    case StampStatus::Failed:
        return "Failed";
    }
    return "?";
}

// Runs fn in a child process under the "nobody" account; its exit code comes back.
template <typename Fn> int runAsNobody(Fn fn) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgid(nobody) != 0 || setuid(nobody) != 0)
            _exit(99);
        _exit(fn());
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

} // namespace

class FileTimesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        qInfo("TZ=%s", qgetenv("TZ").constData());
        QVERIFY(m_dir.isValid());
        if (!m_ntfs.mount(&m_ntfsRefusal))
            qInfo("NTFS checks will be skipped: %s", qPrintable(m_ntfsRefusal));
    }

    // Written and read back unchanged, and stored as the UTC instant of that zone's rules on
    // that date.
    void roundTrip_data() {
        QTest::addColumn<QString>("local");
        QTest::addColumn<QStringList>("utcByZone"); // Shanghai, Berlin, New York, UTC
        QTest::newRow("midnight") << "2011-08-27 00:00:00"
                                  << QStringList{"2011-08-26 16:00:00", "2011-08-26 22:00:00",
                                                 "2011-08-27 04:00:00", "2011-08-27 00:00:00"};
        QTest::newRow("date changes when converted")
            << "2011-08-27 03:00:00"
            << QStringList{"2011-08-26 19:00:00", "2011-08-27 01:00:00", "2011-08-27 07:00:00",
                           "2011-08-27 03:00:00"};
        QTest::newRow("summer") << "2011-08-27 20:11:00"
                                << QStringList{"2011-08-27 12:11:00", "2011-08-27 18:11:00",
                                               "2011-08-28 00:11:00", "2011-08-27 20:11:00"};
        QTest::newRow("winter") << "2011-01-15 20:11:00"
                                << QStringList{"2011-01-15 12:11:00", "2011-01-15 19:11:00",
                                               "2011-01-16 01:11:00", "2011-01-15 20:11:00"};
        QTest::newRow("China's summer time of 1990")
            << "1990-07-01 12:00:00"
            << QStringList{"1990-07-01 03:00:00", "1990-07-01 10:00:00", "1990-07-01 16:00:00",
                           "1990-07-01 12:00:00"};
        QTest::newRow("before 1970") << "1965-03-01 08:00:00"
                                     << QStringList{"1965-03-01 00:00:00", "1965-03-01 07:00:00",
                                                    "1965-03-01 13:00:00", "1965-03-01 08:00:00"};
        QTest::newRow("the epoch, local")
            << "1970-01-01 00:00:00"
            << QStringList{"1969-12-31 16:00:00", "1969-12-31 23:00:00", "1970-01-01 05:00:00",
                           "1970-01-01 00:00:00"};
        QTest::newRow("leap day, last second")
            << "2000-02-29 23:59:59"
            << QStringList{"2000-02-29 15:59:59", "2000-02-29 22:59:59", "2000-03-01 04:59:59",
                           "2000-02-29 23:59:59"};
        QTest::newRow("after 2038") << "2040-06-15 12:00:00"
                                    << QStringList{"2040-06-15 04:00:00", "2040-06-15 10:00:00",
                                                   "2040-06-15 16:00:00", "2040-06-15 12:00:00"};
    }
    void roundTrip() {
        QFETCH(QString, local);
        QFETCH(QStringList, utcByZone);
        const QString path = makeFile(m_dir.path(), "round trip.txt");
        const DateTime when = dt(local);

        const FileTimesWriteResult result = WriteFileTimes(path, FileTimes{when, when, when});
        QCOMPARE(statusName(result.lastAccess), "Written");
        QCOMPARE(statusName(result.lastWrite), "Written");
        QVERIFY(result.readBack);
        QCOMPARE(result.readBack->lastAccess.toText(), local);
        QCOMPARE(result.readBack->lastWrite.toText(), local);

        const auto read = ReadFileTimes(path);
        QVERIFY(read);
        QCOMPARE(read->lastAccess.toText(), local);
        QCOMPARE(read->lastWrite.toText(), local);
        QCOMPARE(read, result.readBack);

        const OnDisk disk = onDisk(native(path));
        QCOMPARE(disk.mtime.tv_nsec, 0u);
        QCOMPARE(disk.atime.tv_nsec, 0u);
        QCOMPARE(disk.mtime.tv_sec, disk.atime.tv_sec);
        if (currentZone() != OtherZone)
            QCOMPARE(disk.mtime.tv_sec, utc(utcByZone.at(currentZone())));
        QCOMPARE(LocalToUtcSeconds(when), std::optional<qint64>(disk.mtime.tv_sec));
        QCOMPARE(UtcSecondsToLocal(disk.mtime.tv_sec)->toText(), local);
    }

    // Clocks put forward: the missing local time is stored as the first valid time after the
    // gap, and the read-back shows that time.
    void springForwardGap_data() {
        QTest::addColumn<int>("zone");
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("storedUtc");
        QTest::addColumn<QString>("readBack");
        QTest::newRow("Berlin 02:30") << int(Berlin) << "2021-03-28 02:30:00"
                                      << "2021-03-28 01:00:00"
                                      << "2021-03-28 03:00:00";
        QTest::newRow("Berlin 02:00:00, first missing second")
            << int(Berlin) << "2021-03-28 02:00:00"
            << "2021-03-28 01:00:00"
            << "2021-03-28 03:00:00";
        QTest::newRow("Berlin 02:59:59, last missing second")
            << int(Berlin) << "2021-03-28 02:59:59"
            << "2021-03-28 01:00:00"
            << "2021-03-28 03:00:00";
        QTest::newRow("Berlin 03:00:00 exists") << int(Berlin) << "2021-03-28 03:00:00"
                                                << "2021-03-28 01:00:00"
                                                << "2021-03-28 03:00:00";
        QTest::newRow("Berlin 01:59:59 exists") << int(Berlin) << "2021-03-28 01:59:59"
                                                << "2021-03-28 00:59:59"
                                                << "2021-03-28 01:59:59";
        QTest::newRow("New York 02:30") << int(NewYork) << "2021-03-14 02:30:00"
                                        << "2021-03-14 07:00:00"
                                        << "2021-03-14 03:00:00";
        QTest::newRow("Shanghai 1988 (summer time then)") << int(Shanghai) << "1988-04-17 02:15:00"
                                                          << "1988-04-16 18:00:00"
                                                          << "1988-04-17 03:00:00";
    }
    void springForwardGap() {
        QFETCH(int, zone);
        QFETCH(QString, local);
        QFETCH(QString, storedUtc);
        QFETCH(QString, readBack);
        if (zone != currentZone())
            QSKIP("a row for another time zone");
        const QString path = makeFile(m_dir.path(), "gap.txt");

        const FileTimesWriteResult result =
            WriteFileTimes(path, FileTimesUpdate{std::nullopt, dt(local), dt(local)});
        // The stamp holds the time that the asked one means on this day, so it is written.
        QCOMPARE(statusName(result.lastWrite), "Written");
        QVERIFY(result.outcome() == WriteOutcome::Success);
        QCOMPARE(onDisk(native(path)).mtime.tv_sec, utc(storedUtc));
        QCOMPARE(result.readBack->lastWrite.toText(), readBack);
        QCOMPARE(ReadFileTimes(path)->lastAccess.toText(), readBack);
    }

    // Clocks put back: the twice-occurring local time is stored as the earlier instant (still
    // summer time); both instants read as that local time.
    void fallBackAmbiguity_data() {
        QTest::addColumn<int>("zone");
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("earlierUtc");
        QTest::addColumn<QString>("laterUtc");
        QTest::newRow("Berlin 02:30") << int(Berlin) << "2021-10-31 02:30:00"
                                      << "2021-10-31 00:30:00"
                                      << "2021-10-31 01:30:00";
        QTest::newRow("New York 01:30") << int(NewYork) << "2021-11-07 01:30:00"
                                        << "2021-11-07 05:30:00"
                                        << "2021-11-07 06:30:00";
    }
    void fallBackAmbiguity() {
        QFETCH(int, zone);
        QFETCH(QString, local);
        QFETCH(QString, earlierUtc);
        QFETCH(QString, laterUtc);
        if (zone != currentZone())
            QSKIP("a row for another time zone");
        const QString path = makeFile(m_dir.path(), "fall back.txt");

        const FileTimesWriteResult result =
            WriteFileTimes(path, FileTimesUpdate{std::nullopt, std::nullopt, dt(local)});
        QVERIFY(result.outcome() == WriteOutcome::Success);
        QCOMPARE(onDisk(native(path)).mtime.tv_sec, utc(earlierUtc));
        QCOMPARE(result.readBack->lastWrite.toText(), local);

        // The other instant, stored by someone else, reads as the same local time.
        setAccessAndWrite(native(path), utc(laterUtc), 0, utc(laterUtc), 0);
        QCOMPARE(ReadFileTimes(path)->lastWrite.toText(), local);
    }

    // Conversions over whole years of nearby and scattered times, in the order a batch takes
    // them and shuffled, against the system's own local times: each local time gives the
    // earliest instant showing it (the first instant after a gap), each instant the local time
    // the system shows.
    void conversionsAgreeWithTheSystem_data() {
        QTest::addColumn<QByteArray>("tz");
        QTest::addColumn<int>("year");
        QTest::newRow("Berlin") << QByteArray("Europe/Berlin") << 2021;
        QTest::newRow("New York") << QByteArray("America/New_York") << 2011;
        QTest::newRow("Lord Howe, half an hour") << QByteArray("Australia/Lord_Howe") << 2011;
        QTest::newRow("Apia, a day skipped") << QByteArray("Pacific/Apia") << 2011;
        QTest::newRow("Dublin, winter time") << QByteArray("Europe/Dublin") << 2019;
        QTest::newRow("Kathmandu") << QByteArray("Asia/Kathmandu") << 1986;
        QTest::newRow("Shanghai, summer time") << QByteArray("Asia/Shanghai") << 1988;
        QTest::newRow("leap seconds counted") << QByteArray("right/Europe/Berlin") << 2016;
    }
    void conversionsAgreeWithTheSystem() {
        QFETCH(QByteArray, tz);
        QFETCH(int, year);
        if (currentZone() != Utc)
            QSKIP("sets its own zones; run once");
        if (!QFile::exists(QStringLiteral("/usr/share/zoneinfo/") + QString::fromLatin1(tz)))
            QSKIP("zone not installed");
        const QByteArray saved = qgetenv("TZ");
        qputenv("TZ", tz);
        const auto restore = qScopeGuard([&] { qputenv("TZ", saved); });

        const auto system = [](qint64 t) {
            const time_t at = time_t(t);
            tm p{};
            if (!localtime_r(&at, &p))
                qFatal("no local time");
            return DateTime(QDate(p.tm_year + 1900, p.tm_mon + 1, p.tm_mday),
                            QTime(p.tm_hour, p.tm_min, std::min(p.tm_sec, 59)));
        };
        const qint64 start = utc(QStringLiteral("%1-01-01 00:00:00").arg(year)) - 86400;
        const qint64 end = start + 368 * 86400;
        std::mt19937_64 random(20261208);
        std::vector<qint64> instants;
        for (qint64 t = start; t < end; t += 17 * 60 + 13)
            instants.push_back(t);
        for (int i = 0; i < 3000; ++i) // scattered over 1900-2100
            instants.push_back(qint64(random() % (200 * 366 * 86400ULL)) - 70LL * 366 * 86400);
        std::vector<qint64> shuffled = instants;
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        for (const std::vector<qint64> *order : {&instants, &shuffled}) {
            for (const qint64 t : *order) {
                const auto local = UtcSecondsToLocal(t);
                QVERIFY(local);
                if (*local != system(t))
                    QFAIL(qPrintable(QStringLiteral("%1 shows %2, not %3")
                                         .arg(t)
                                         .arg(local->toText(), system(t).toText())));
            }
        }
        // The reference: the distances between instant and local time shown within a day and a
        // bit of the time (the zone's offset, less any leap seconds counted), each tried as a
        // candidate; none fits inside a gap, whose end is then found second by second.
        const auto secondsOf = [](const DateTime &d) {
            return (d.date().toJulianDay() - unixEpochJulianDay) * 86400 + d.secondsOfDay();
        };
        const auto reference = [&](const DateTime &local) {
            const qint64 naive = secondsOf(local);
            std::optional<qint64> earliest;
            for (qint64 probe = naive - 27 * 3600; probe <= naive + 27 * 3600; probe += 1800) {
                const qint64 candidate = naive - (secondsOf(system(probe)) - probe);
                if (system(candidate) == local && (!earliest || candidate < *earliest))
                    earliest = candidate;
            }
            if (earliest)
                return *earliest;
            qint64 t = naive - 15 * 3600;
            while (system(t) <= local)
                t += 60;
            while (system(t - 1) > local)
                --t;
            return t;
        };
        std::vector<DateTime> locals;
        for (qint64 t = start; t < end; t += 47 * 60 + 7) {
            locals.push_back(system(t));
            // About every change of the offset: the times of its gap or its overlap.
            const qint64 later = t + 47 * 60 + 7;
            if (system(later).secondsTo(system(t).addSeconds(later - t)) == 0)
                continue;
            for (qint64 m = -150; m <= 150; m += 7)
                locals.push_back(system(t).addSeconds(m * 60 + 30));
        }
        std::vector<DateTime> mixed = locals;
        std::shuffle(mixed.begin(), mixed.end(), random);
        for (const std::vector<DateTime> *order : {&locals, &mixed}) {
            for (std::size_t i = 0; i < order->size(); ++i) {
                const DateTime &local = (*order)[i];
                const auto converted = LocalToUtcSeconds(local);
                QVERIFY(converted);
                if (*converted != reference(local))
                    QFAIL(qPrintable(QStringLiteral("%1 gave %2, not %3")
                                         .arg(local.toText())
                                         .arg(*converted)
                                         .arg(reference(local))));
            }
        }
    }

    // Instants more than a thousand years away, as a stamp of another file system may hold
    // them: each shows the day Qt's own calendar gives (years before Christ included, which
    // the C library numbers from a year 0), or none beyond the years Qt can hold.
    void farInstantsShowTheirOwnDay_data() {
        QTest::addColumn<qint64>("utc");
        QTest::addColumn<bool>("shown");
        QTest::newRow("AD 1, the first day") << qint64(-62135596800) << true;
        QTest::newRow("1 BC, the last day") << qint64(-62135596800 - 86400 + 3661) << true;
        QTest::newRow("2 BC, the first day") << qint64(-62198841600) << true;
        QTest::newRow("AD 3000") << qint64(32503680000) << true;
        QTest::newRow("the last year Qt holds") << qint64(67767976201996800) << true;
        QTest::newRow("one year later") << qint64(67767976233532800) << false;
        QTest::newRow("the end of 64-bit time") << std::numeric_limits<qint64>::max() << false;
        QTest::newRow("the start of 64-bit time") << std::numeric_limits<qint64>::min() << false;
    }
    void farInstantsShowTheirOwnDay() {
        QFETCH(qint64, utc);
        QFETCH(bool, shown);
        const std::optional<QByteArray> saved =
            qEnvironmentVariableIsSet("TZ") ? std::optional(qgetenv("TZ")) : std::nullopt;
        qputenv("TZ", "UTC");
        const auto restore = qScopeGuard([&] {
            if (saved)
                qputenv("TZ", *saved);
            else
                qunsetenv("TZ");
        });
        const std::optional<DateTime> local = UtcSecondsToLocal(utc);
        QCOMPARE(local.has_value(), shown);
        if (!shown)
            return;
        const qint64 day = utc / 86400 - (utc % 86400 < 0 ? 1 : 0);
        QCOMPARE(local->date(), QDate::fromJulianDay(day + unixEpochJulianDay));
        QCOMPARE(local->secondsOfDay(), int(utc - day * 86400));
    }

    // A fraction of a second on disk is dropped, rounding towards the earlier second also
    // before 1970.
    void fractionsDropped_data() {
        QTest::addColumn<QString>("utcText");
        QTest::addColumn<int>("nanoseconds");
        QTest::newRow("almost the next second") << "2011-08-27 12:11:00" << 999'999'999;
        QTest::newRow("half a second") << "2011-08-27 12:11:00" << 500'000'000;
        QTest::newRow("before 1970") << "1969-12-31 23:59:59" << 500'000'000;
    }
    void fractionsDropped() {
        QFETCH(QString, utcText);
        QFETCH(int, nanoseconds);
        const QString path = makeFile(m_dir.path(), "fraction.txt");
        setAccessAndWrite(native(path), utc(utcText), nanoseconds, utc(utcText), nanoseconds);
        const auto read = ReadFileTimes(path);
        QVERIFY(read);
        QCOMPARE(read->lastWrite, UtcSecondsToLocal(utc(utcText)).value());
        QCOMPARE(read->lastAccess, UtcSecondsToLocal(utc(utcText)).value());

        // Writing the same whole second again is exact: no fraction stays behind.
        const auto result = WriteFileTimes(path, *read);
        QCOMPARE(statusName(result.lastWrite), "Written");
        QCOMPARE(onDisk(native(path)).mtime.tv_nsec, 0u);
    }

    // Writing only some stamps leaves the others exactly as they were, to the nanosecond.
    void partialWrites_data() {
        QTest::addColumn<bool>("creation");
        QTest::addColumn<bool>("lastAccess");
        QTest::addColumn<bool>("lastWrite");
        QTest::newRow("only creation") << true << false << false;
        QTest::newRow("only access") << false << true << false;
        QTest::newRow("only modification") << false << false << true;
        QTest::newRow("access and modification") << false << true << true;
    }
    void partialWrites() {
        QFETCH(bool, creation);
        QFETCH(bool, lastAccess);
        QFETCH(bool, lastWrite);
        checkPartialWrite(m_dir.path(), creation, lastAccess, lastWrite, false);
    }

    // A file system without a settable creation time: the birth time stays, the result says so.
    void creationNotSettable_data() {
        QTest::addColumn<bool>("tmpfs");
        QTest::newRow("temporary folder") << false;
        QTest::newRow("tmpfs") << true;
    }
    void creationNotSettable() {
        QFETCH(bool, tmpfs);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QString folder = dir.path();
        bool mounted = false;
        if (tmpfs) {
            folder = dir.filePath("tmpfs");
            QDir().mkpath(folder);
            if (mount("tmpfs", native(folder).constData(), "tmpfs", 0, "size=64k") != 0)
                QSKIP(qPrintable(QStringLiteral("cannot mount tmpfs: %1").arg(strerror(errno))));
            mounted = true;
        }
        const auto unmount = qScopeGuard([&] {
            if (mounted)
                umount2(native(folder).constData(), MNT_DETACH);
        });
        const QString path = makeFile(folder, "no creation.txt");
        const OnDisk before = onDisk(native(path));
        const auto creationBefore = ReadFileTimes(path)->creation;

        const DateTime when = dt("2011-08-27 20:11:00");
        const FileTimesWriteResult result = WriteFileTimes(path, FileTimes{when, when, when});
        QCOMPARE(statusName(result.creation), "NotSettable");
        QCOMPARE(statusName(result.lastAccess), "Written");
        QCOMPARE(statusName(result.lastWrite), "Written");
        QVERIFY(result.outcome() == WriteOutcome::SuccessCreationUnchanged);
        QCOMPARE(result.readBack->creation, creationBefore);
        const OnDisk after = onDisk(native(path));
        if (before.hasBirth)
            QVERIFY(same(after.btime, before.btime));

        // Asking for the creation time it already has is no change, so nothing is missing.
        const auto again =
            WriteFileTimes(path, FileTimesUpdate{creationBefore, std::nullopt, when});
        QCOMPARE(statusName(again.creation), "Written");
        QVERIFY(again.outcome() == WriteOutcome::Success);
    }

    // Without a birth time the creation stamp is the earlier of modification and status change.
    void creationFallsBackWithoutBirthTime() {
        const QByteArray name = "/proc/self/stat";
        struct statx sx {};
        QVERIFY(statx(AT_FDCWD, name.constData(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) == 0);
        if (sx.stx_mask & STATX_BTIME)
            QSKIP("procfs reports a birth time here");
        const auto read = ReadFileTimes(QString::fromLatin1(name));
        QVERIFY(read);
        const qint64 earlier = std::min<qint64>(sx.stx_mtime.tv_sec, sx.stx_ctime.tv_sec);
        QCOMPARE(read->creation, UtcSecondsToLocal(earlier).value());
    }

    void missingFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("gone.txt");
        QVERIFY(!ReadFileTimes(path));
        const DateTime when = dt("2011-08-27 20:11:00");
        const FileTimesWriteResult result = WriteFileTimes(path, FileTimes{when, when, when});
        QVERIFY(result.outcome() == WriteOutcome::Failure);
        QCOMPARE(statusName(result.creation), "Failed");
        QCOMPARE(statusName(result.lastAccess), "Failed");
        QCOMPARE(statusName(result.lastWrite), "Failed");
        QCOMPARE(result.systemError, ENOENT);
        QVERIFY(!result.readBack);
        QVERIFY(!QFile::exists(path));
        QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());

        // Nothing asked of a missing file is still no success.
        QVERIFY(WriteFileTimes(path, FileTimesUpdate{}).outcome() == WriteOutcome::Failure);
        QVERIFY(!QFile::exists(path));
    }

    void notADate() {
        const QString path = makeFile(m_dir.path(), "not a date.txt");
        const OnDisk before = onDisk(native(path));
        const FileTimesWriteResult result = WriteFileTimes(
            path, FileTimesUpdate{std::nullopt, dt("2011-08-27 20:11:00"), DateTime()});
        QVERIFY(result.outcome() == WriteOutcome::Failure);
        QCOMPARE(statusName(result.lastAccess), "Failed");
        QCOMPARE(statusName(result.lastWrite), "Failed");
        QCOMPARE(statusName(result.creation), "NotRequested");
        expectUntouched(native(path), before);
    }

    void readOnlyImmutableFile() {
        const QString path = makeFile(m_dir.path(), "immutable.txt");
        const QByteArray name = native(path);
        const int fd = open(name.constData(), O_RDONLY);
        QVERIFY(fd >= 0);
        int flags = 0;
        if (ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
            close(fd);
            QSKIP(qPrintable(QStringLiteral("no file flags here: %1").arg(strerror(errno))));
        }
        const int plain = flags;
        flags |= FS_IMMUTABLE_FL;
        if (ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0) {
            const int error = errno;
            close(fd);
            QSKIP(qPrintable(
                QStringLiteral("cannot set the immutable flag: %1").arg(strerror(error))));
        }
        const auto restore = qScopeGuard([&] {
            int back = plain;
            ioctl(fd, FS_IOC_SETFLAGS, &back);
            close(fd);
        });
        expectRefused(path);
    }

    void readOnlyMount() {
        QTemporaryDir dir;
        const QString source = dir.filePath("rw");
        const QString target = dir.filePath("ro");
        QDir().mkpath(source);
        QDir().mkpath(target);
        makeFile(source, "on a read-only mount.txt");
        if (mount(native(source).constData(), native(target).constData(), nullptr, MS_BIND,
                  nullptr) != 0)
            QSKIP(qPrintable(QStringLiteral("cannot bind-mount: %1").arg(strerror(errno))));
        const auto unmount = qScopeGuard([&] { umount2(native(target).constData(), MNT_DETACH); });
        if (mount(nullptr, native(target).constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                  nullptr) != 0)
            QSKIP(qPrintable(
                QStringLiteral("cannot make the bind read-only: %1").arg(strerror(errno))));
        const QString path = QDir(target).filePath("on a read-only mount.txt");
        QVERIFY(ReadFileTimes(path));
        expectRefused(path, EROFS);
    }

    // Write permission is what an open for writing would demand: a file without it keeps its
    // stamps even for its owner.
    void readOnlyPermissionBits() {
        QTemporaryDir dir;
        const QString path = makeFile(dir.path(), "read only.txt");
        QVERIFY(chmod(native(path).constData(), 0444) == 0);
        if (geteuid() != 0) {
            expectRefused(path, EACCES);
            return;
        }
        // Root may write anything; look through the eyes of an ordinary owner.
        QVERIFY(chmod(native(dir.path()).constData(), 0755) == 0);
        QVERIFY(chown(native(path).constData(), nobody, nobody) == 0);
        const OnDisk before = onDisk(native(path));
        const int code = runAsNobody([&] {
            const DateTime when = dt("2011-08-27 20:11:00");
            const auto result = WriteFileTimes(path, FileTimes{when, when, when});
            return result.outcome() == WriteOutcome::Failure && result.systemError == EACCES ? 0
                                                                                             : 1;
        });
        if (code == 99)
            QSKIP("cannot switch to the nobody account");
        QCOMPARE(code, 0);
        expectUntouched(native(path), before);
    }

    // Writable by everyone but owned by someone else: only the owner may set stamps.
    void fileOfAnotherUser() {
        if (geteuid() != 0)
            QSKIP("needs root to hand a file to another account");
        QTemporaryDir dir;
        const QString path = makeFile(dir.path(), "someone else's.txt");
        QVERIFY(chmod(native(dir.path()).constData(), 0755) == 0);
        QVERIFY(chmod(native(path).constData(), 0666) == 0);
        const OnDisk before = onDisk(native(path));
        const int code = runAsNobody([&] {
            const DateTime when = dt("2011-08-27 20:11:00");
            const auto result = WriteFileTimes(path, FileTimesUpdate{std::nullopt, when, when});
            return result.outcome() == WriteOutcome::Failure && result.systemError == EPERM ? 0 : 1;
        });
        if (code == 99)
            QSKIP("cannot switch to the nobody account");
        QCOMPARE(code, 0);
        expectUntouched(native(path), before);
    }

    void names_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("blanks") << "my photo 01.jpg";
        QTest::newRow("leading and trailing blanks") << " a b .jpg";
        QTest::newRow("Chinese") << QStringLiteral("照片 2011年8月.jpg");
        QTest::newRow("outside the basic plane") << QStringLiteral("😀 𠀋.txt");
        QTest::newRow("no extension, dots") << "..name.";
    }
    void names() {
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString path = makeFile(dir.path(), name);
        // Stored under its UTF-8 bytes, whatever the locale says.
        QVERIFY(QFileInfo::exists(dir.path() + '/' + QString::fromUtf8(name.toUtf8())));
        const DateTime when = dt("2011-08-27 20:11:00");
        const auto result = WriteFileTimes(path, FileTimesUpdate{std::nullopt, when, when});
        QVERIFY(result.outcome() == WriteOutcome::Success);
        QCOMPARE(ReadFileTimes(path)->lastWrite, when);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
    }

    // A name that is not UTF-8 has no QString form that names it again: the decoded path names
    // another (absent) file, which is reported missing and never created.
    void nonUtf8Name() {
        QTemporaryDir dir;
        const QByteArray raw = native(dir.path()) + "/bad\xff\xfe name.txt";
        const int fd = open(raw.constData(), O_CREAT | O_WRONLY | O_EXCL, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(write(fd, "data", 4), ssize_t(4));
        close(fd);
        // Qt neither lists nor removes such a name; take it away ourselves.
        const auto remove = qScopeGuard([&] { unlink(raw.constData()); });
        const OnDisk before = onDisk(raw);

        const QString decoded = QFile::decodeName(raw);
        QVERIFY(!ReadFileTimes(decoded));
        const DateTime when = dt("2011-08-27 20:11:00");
        const auto result = WriteFileTimes(decoded, FileTimes{when, when, when});
        QVERIFY(result.outcome() == WriteOutcome::Failure);
        QCOMPARE(result.systemError, ENOENT);
        QVERIFY(!QFile::exists(decoded));
        expectUntouched(raw, before);
    }

    // A NUL inside a path would name a shorter path at the system call; it names nothing.
    void nulInsidePath() {
        const QString path = makeFile(m_dir.path(), "prefix");
        const OnDisk before = onDisk(native(path));
        const QString withNul = path + QChar(u'\0') + "suffix";
        QVERIFY(!ReadFileTimes(withNul));
        const DateTime when = dt("2011-08-27 20:11:00");
        QVERIFY(WriteFileTimes(withNul, FileTimes{when, when, when}).outcome() ==
                WriteOutcome::Failure);
        expectUntouched(native(path), before);
    }

    // A batch's scope holds the folder it opened: a folder put in its place meanwhile, with a
    // file of the same name, is never touched, and a refused file stays refused; paths that do
    // not name a file directly in the folder are taken as they are.
    void scopeHoldsItsFolder() {
        QTemporaryDir dir;
        const QString folder = dir.filePath("chosen");
        QVERIFY(QDir().mkpath(folder + "/sub"));
        makeFile(folder, "a.txt");
        makeFile(folder + "/sub", "b.txt");
        const QString beside = makeFile(dir.path(), "c.txt");
        const QString readOnly = makeFile(folder, "read only.txt");
        QVERIFY(chmod(native(readOnly).constData(), 0444) == 0);
        const DateTime when = dt("2011-08-27 20:11:00");
        const FileTimesUpdate asked{std::nullopt, when, when};

        const FolderScope scope(folder);
        const QString moved = dir.filePath("moved");
        QVERIFY(QDir().rename(folder, moved));
        QVERIFY(QDir().mkpath(folder));
        const QString impostor = makeFile(folder, "a.txt");
        const OnDisk impostorBefore = onDisk(native(impostor));
        const OnDisk readOnlyBefore = onDisk(native(moved + "/read only.txt"));

        QVERIFY(WriteFileTimes(folder + "/a.txt", asked).outcome() == WriteOutcome::Success);
        QCOMPARE(ReadFileTimes(moved + "/a.txt")->lastWrite, when);
        QCOMPARE(ReadFileTimes(folder + "/a.txt")->lastWrite, when);
        expectUntouched(native(impostor), impostorBefore);
        const FileTimesWriteResult refused = WriteFileTimes(folder + "/read only.txt", asked);
        QVERIFY(refused.outcome() == WriteOutcome::Failure);
        QCOMPARE(refused.systemError, EACCES);
        expectUntouched(native(moved + "/read only.txt"), readOnlyBefore);
        // A file in a subfolder is named by its path, which no longer leads there.
        QCOMPARE(WriteFileTimes(folder + "/sub/b.txt", asked).systemError, ENOENT);
        QVERIFY(ReadFileTimes(moved + "/sub/b.txt")->lastWrite != when);
        QVERIFY(WriteFileTimes(beside, asked).outcome() == WriteOutcome::Success);
        QCOMPARE(StatFileState(folder + "/a.txt").inode, StatFileState(moved + "/a.txt").inode);
    }

    void outcomeTexts_data() {
        QTest::addColumn<int>("creation");
        QTest::addColumn<int>("access");
        QTest::addColumn<int>("write");
        QTest::addColumn<bool>("readBack");
        QTest::addColumn<int>("outcome");
        const int no = int(StampStatus::NotRequested), ok = int(StampStatus::Written),
                  unset = int(StampStatus::NotSettable), bad = int(StampStatus::Failed);
        QTest::newRow("all written") << ok << ok << ok << true << int(WriteOutcome::Success);
        QTest::newRow("only access asked") << no << ok << no << true << int(WriteOutcome::Success);
        QTest::newRow("creation not settable")
            << unset << ok << ok << true << int(WriteOutcome::SuccessCreationUnchanged);
        QTest::newRow("only creation asked, not settable")
            << unset << no << no << true << int(WriteOutcome::Failure);
        QTest::newRow("one failed") << ok << bad << ok << true << int(WriteOutcome::Failure);
        QTest::newRow("failed beats not settable")
            << unset << ok << bad << true << int(WriteOutcome::Failure);
        QTest::newRow("no read-back") << ok << ok << ok << false << int(WriteOutcome::Failure);
    }
    void outcomeTexts() {
        QFETCH(int, creation);
        QFETCH(int, access);
        QFETCH(int, write);
        QFETCH(bool, readBack);
        QFETCH(int, outcome);
        FileTimesWriteResult r;
        r.creation = StampStatus(creation);
        r.lastAccess = StampStatus(access);
        r.lastWrite = StampStatus(write);
        if (readBack)
            r.readBack = FileTimes{};
        QCOMPARE(int(r.outcome()), outcome);
    }

    void systemStoreUsesTheFileSystem() {
        const QString path = makeFile(m_dir.path(), "store.txt");
        SystemFileTimeStore store;
        FileTimeStore &seam = store;
        const DateTime when = dt("2011-08-27 20:11:00");
        const auto result = seam.write(path, FileTimesUpdate{std::nullopt, when, std::nullopt});
        QCOMPARE(statusName(result.lastAccess), "Written");
        QCOMPARE(seam.read(path), ReadFileTimes(path));
        QCOMPARE(seam.read(path)->lastAccess, when);
    }

    // The drives cameras and phones write: a row that reads success holds, once the drive is
    // mounted afresh, what it shows; a creation time the drive does not give back is never
    // taken for one written (exFAT through FUSE shows none, FAT none).
    void rowRuleOnCameraDrives_data() {
        QTest::addColumn<test::Drive>("drive");
        QTest::addColumn<bool>("creationKept");
        QTest::newRow("NTFS") << test::Drive::Ntfs << true;
        QTest::newRow("exFAT") << test::Drive::ExFat << false;
        QTest::newRow("FAT32") << test::Drive::Fat << false;
    }
    void rowRuleOnCameraDrives() {
        QFETCH(test::Drive, drive);
        QFETCH(bool, creationKept);
        test::FuseVolume volume(drive);
        QString refused;
        if (!volume.mount(&refused))
            QSKIP(qPrintable(refused));
        const QString path = makeFile(volume.path(), QStringLiteral("DSC_0001.JPG"));
        const DateTime planned = dt("2011-08-27 20:11:00");
        const FileTimesWriteResult written =
            WriteFileTimes(path, FileTimes{planned, planned, planned});
        QCOMPARE(
            int(written.outcome()),
            int(creationKept ? WriteOutcome::Success : WriteOutcome::SuccessCreationUnchanged));
        QCOMPARE(written.creation, creationKept ? StampStatus::Written : StampStatus::NotSettable);
        QVERIFY(volume.remount(&refused));
        const auto held = ReadFileTimes(path);
        QVERIFY(held && written.readBack);
        QCOMPARE(held->lastWrite, planned);
        QCOMPARE(held->lastAccess, planned);
        if (creationKept)
            QCOMPARE(held->creation, planned);
    }

    // NTFS through ntfs-3g keeps a creation time that can be set.
    void ntfsCreationWritten_data() {
        QTest::addColumn<QString>("creation");
        QTest::addColumn<QString>("access");
        QTest::addColumn<QString>("write");
        // Within a batch's FolderScope, the attribute calls reach the file through the handle.
        QTest::addColumn<bool>("inScope");
        QTest::newRow("three different times") << "2011-08-27 20:11:00"
                                               << "2011-01-15 20:11:00"
                                               << "2011-08-27 03:00:00" << false;
        QTest::newRow("midnight, all equal") << "2011-08-27 00:00:00"
                                             << "2011-08-27 00:00:00"
                                             << "2011-08-27 00:00:00" << false;
        QTest::newRow("creation before 1970") << "1965-03-01 08:00:00"
                                              << "2040-06-15 12:00:00"
                                              << "1990-07-01 12:00:00" << false;
        QTest::newRow("three different times, in a scope") << "2011-08-27 20:11:00"
                                                           << "2011-01-15 20:11:00"
                                                           << "2011-08-27 03:00:00" << true;
    }
    void ntfsCreationWritten() {
        QFETCH(QString, creation);
        QFETCH(QString, access);
        QFETCH(QString, write);
        QFETCH(bool, inScope);
        if (m_ntfs.path().isEmpty())
            QSKIP(qPrintable(m_ntfsRefusal));
        const QString path = makeFile(m_ntfs.path(), QStringLiteral("照片 ntfs.jpg"));
        const FileTimes asked{dt(creation), dt(access), dt(write)};
        std::optional<FolderScope> scope;
        if (inScope)
            scope.emplace(m_ntfs.path());

        const FileTimesWriteResult result = WriteFileTimes(path, asked);
        QCOMPARE(statusName(result.creation), "Written");
        QCOMPARE(statusName(result.lastAccess), "Written");
        QCOMPARE(statusName(result.lastWrite), "Written");
        QVERIFY(result.outcome() == WriteOutcome::Success);
        QCOMPARE(result.readBack, std::optional<FileTimes>(asked));
        QCOMPARE(ReadFileTimes(path), std::optional<FileTimes>(asked));

        // The attribute holds whole seconds as little-endian ticks since 1601.
        const OnDisk disk = onDisk(native(path));
        QCOMPARE(disk.ntfsCreation.toHex(),
                 ntfsTicks(LocalToUtcSeconds(dt(creation)).value()).toHex());
        QCOMPARE(disk.mtime.tv_sec, LocalToUtcSeconds(dt(write)).value());
        QCOMPARE(disk.mtime.tv_nsec, 0u);
    }

    void ntfsCreationFractionDropped() {
        if (m_ntfs.path().isEmpty())
            QSKIP(qPrintable(m_ntfsRefusal));
        const QString path = makeFile(m_ntfs.path(), "fraction.txt");
        const QByteArray raw = ntfsTicks(utc("2011-08-27 12:11:00"), 9'999'999);
        QVERIFY(setxattr(native(path).constData(), "system.ntfs_crtime", raw.constData(), 8, 0) ==
                0);
        QCOMPARE(ReadFileTimes(path)->creation,
                 UtcSecondsToLocal(utc("2011-08-27 12:11:00")).value());
    }

    void ntfsPartialWrites_data() { partialWrites_data(); }
    void ntfsPartialWrites() {
        QFETCH(bool, creation);
        QFETCH(bool, lastAccess);
        QFETCH(bool, lastWrite);
        if (m_ntfs.path().isEmpty())
            QSKIP(qPrintable(m_ntfsRefusal));
        checkPartialWrite(m_ntfs.path(), creation, lastAccess, lastWrite, true);
    }

private:
    // Gives the file distinct stamps with fractions, writes only the chosen ones and checks
    // that the others are exactly as before.
    void checkPartialWrite(const QString &folder, bool creation, bool lastAccess, bool lastWrite,
                           bool creationSettable) {
        const QString path = makeFile(folder, "partial.txt");
        const QByteArray name = native(path);
        // Multiples of 100 ns, which NTFS keeps exactly.
        setAccessAndWrite(name, utc("2010-05-06 07:08:09"), 123'456'700, utc("2009-01-02 03:04:05"),
                          987'654'300);
        if (creationSettable) {
            const QByteArray raw = ntfsTicks(utc("2008-03-04 05:06:07"), 1'234'567);
            QVERIFY(setxattr(name.constData(), "system.ntfs_crtime", raw.constData(), 8, 0) == 0);
        }
        const OnDisk before = onDisk(name);

        FileTimesUpdate update;
        if (creation)
            update.creation = dt("2011-08-27 20:11:00");
        if (lastAccess)
            update.lastAccess = dt("2011-08-27 20:12:00");
        if (lastWrite)
            update.lastWrite = dt("2011-08-27 20:13:00");
        const FileTimesWriteResult result = WriteFileTimes(path, update);
        const OnDisk after = onDisk(name);

        QCOMPARE(statusName(result.creation), !creation          ? "NotRequested"
                                              : creationSettable ? "Written"
                                                                 : "NotSettable");
        QCOMPARE(statusName(result.lastAccess), lastAccess ? "Written" : "NotRequested");
        QCOMPARE(statusName(result.lastWrite), lastWrite ? "Written" : "NotRequested");
        if (lastAccess)
            QCOMPARE(after.atime.tv_sec, LocalToUtcSeconds(*update.lastAccess).value());
        else
            QCOMPARE(show(after.atime), show(before.atime));
        if (lastWrite)
            QCOMPARE(after.mtime.tv_sec, LocalToUtcSeconds(*update.lastWrite).value());
        else
            QCOMPARE(show(after.mtime), show(before.mtime));
        if (creation && creationSettable)
            QCOMPARE(after.ntfsCreation.toHex(),
                     ntfsTicks(LocalToUtcSeconds(*update.creation).value()).toHex());
        else
            QCOMPARE(after.ntfsCreation.toHex(), before.ntfsCreation.toHex());
        QCOMPARE(show(after.btime), show(before.btime));
        if (!lastAccess && !lastWrite && !(creation && creationSettable))
            QCOMPARE(show(after.ctime), show(before.ctime)); // not touched at all
    }

    static void expectUntouched(const QByteArray &name, const OnDisk &before) {
        const OnDisk after = onDisk(name);
        QCOMPARE(show(after.atime), show(before.atime));
        QCOMPARE(show(after.mtime), show(before.mtime));
        QCOMPARE(show(after.ctime), show(before.ctime));
        QCOMPARE(show(after.btime), show(before.btime));
    }

    // A refused write: every asked stamp failed, the result shows what the file still holds,
    // and nothing about the file changed.
    static void expectRefused(const QString &path, int expectedError = 0) {
        const QByteArray name = native(path);
        const QByteArray content = contentOf(path); // reading may move the access time
        const OnDisk before = onDisk(name);
        const DateTime when = dt("2011-08-27 20:11:00");
        const FileTimesWriteResult result = WriteFileTimes(path, FileTimes{when, when, when});
        QVERIFY(result.outcome() == WriteOutcome::Failure);
        QCOMPARE(statusName(result.lastAccess), "Failed");
        QCOMPARE(statusName(result.lastWrite), "Failed");
        QCOMPARE(statusName(result.creation), "Failed");
        if (expectedError != 0)
            QCOMPARE(result.systemError, expectedError);
        else
            QVERIFY(result.systemError != 0);
        QVERIFY(result.readBack);
        QCOMPARE(result.readBack, ReadFileTimes(path));
        expectUntouched(name, before);
        QCOMPARE(contentOf(path), content);
    }

    QTemporaryDir m_dir;
    test::FuseVolume m_ntfs{test::Drive::Ntfs};
    QString m_ntfsRefusal;
};

QTEST_GUILESS_MAIN(FileTimesTest)
#include "file_times_test.moc"
