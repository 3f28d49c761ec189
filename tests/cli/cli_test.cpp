#include "core/base/text_export.h"
#include "core/exif/read_exif.h"
#include "core/filetime/file_times.h"
#include "core/filetime/rename_rules.h"
#include "core/journal/journal.h"
#include "core/plan/time_plan.h"
#include "tests/cli/cli_support.h"
#include "tests/support/files.h"
#include "tests/support/fuse_volume.h"
#include "tests/support/jpeg_builder.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <climits>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <sqlite3.h>
#include <unistd.h>

using namespace kalmora;
using namespace kalmora::test;

namespace {

DateTime dt(const char *text) {
    return DateTime::parse(QLatin1String(text)).value();
}

// The window's text as the command line prints it: one line break per line.
QByteArray asPrinted(const QString &windowText) {
    QString t = windowText;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t.toUtf8();
}

// The folder's state without the access times: a batch leaves them behind the modification
// times, where merely reading a file (this test's own reads among them) moves them.
QMap<QString, DiskState> sansAccess(QMap<QString, DiskState> state) {
    for (DiskState &s : state)
        s.atimeSec = s.atimeNsec = 0;
    return state;
}

} // namespace

class CliTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> dir;
    // The journal's and the settings' homes of every run, away from the user's own.
    std::unique_ptr<QTemporaryDir> stateHome, configHome;
    QString folder() const { return dir->path(); }
    JournalConfig journalConfig() const {
        JournalConfig config;
        config.stateFolder = stateHome->path() + QStringLiteral("/Kalmora");
        return config;
    }
    QList<BatchSummary> batches() const {
        QString reason;
        const QList<BatchSummary> list = ListBatches(journalConfig(), &reason);
        return list;
    }
    // The files of a batch of each kind, a command that changes them all, and the name the
    // last one has afterwards.
    struct BatchCase {
        QStringList command;
        BatchKind kind;
        QString lastAfter;
    };
    BatchCase batchCase(const QString &kind) {
        if (kind == QLatin1String("apply")) {
            for (const char *name : {"a.jpg", "b.jpg", "c.jpg"})
                plainFile(QString::fromLatin1(name));
            return {QStringList{"apply"} + window({"--step", "7m", folder()}), BatchKind::FileTimes,
                    QStringLiteral("c.jpg")};
        }
        if (kind == QLatin1String("rename --video")) {
            // MediaInfo, loaded when the first video is read, dates any file by its
            // modification time.
            QString last;
            for (int i = 0; i < 3; ++i) {
                const QString name = QStringLiteral("abc").mid(i, 1) + QStringLiteral(".mp4");
                plainFile(name, "not really a video", 1300000000 + 60 * i);
                last = RenameTargetName(
                    name, UtcSecondsToLocal(1300000000 + 60 * i).value().toText(), true);
            }
            return {{"rename", "--video", folder()}, BatchKind::Rename, last};
        }
        photo(QStringLiteral("a.jpg"), "2011:08:27 20:11:00");
        photo(QStringLiteral("b.jpg"), "2012:02:29 00:00:00");
        photo(QStringLiteral("c.jpg"), "2013:03:04 05:06:07");
        if (kind == QLatin1String("shift-date"))
            return {{"shift-date", "--by", "-1d2h", folder()}, BatchKind::DateRewrite, "c.jpg"};
        if (kind == QLatin1String("stamps-from-date"))
            return {{"stamps-from-date", "--stamps", "m,a", folder()},
                    BatchKind::StampsFromDate,
                    "c.jpg"};
        if (kind == QLatin1String("rename"))
            return {{"rename", folder()}, BatchKind::Rename, "2013-03-04 05.06.07.jpg"};
        return {{"strip", folder()}, BatchKind::Erase, "c.jpg"};
    }
    QString path(const QString &name) const { return dir->filePath(name); }

    void plainFile(const QString &name, const QByteArray &content = "content",
                   qint64 mtime = 1300000000) {
        QVERIFY(writeFile(path(name), content));
        QVERIFY(setNanoStamps(path(name), mtime, 123456789));
    }
    void photo(const QString &name, const QByteArray &date) {
        QVERIFY(writeFile(path(name), cameraPhoto(ByteOrder::Little, date).bytes));
        QVERIFY(setNanoStamps(path(name), 1300000000, 987654321));
    }
    // files/a.txt and files/b.txt, with stamps no batch writes.
    std::pair<QString, QString> twoFiles() {
        QDir().mkpath(path(QStringLiteral("files")));
        plainFile(QStringLiteral("files/a.txt"));
        plainFile(QStringLiteral("files/b.txt"));
        return {path(QStringLiteral("files/a.txt")), path(QStringLiteral("files/b.txt"))};
    }
    // One file-time batch over `files`, recorded as the window records it; false if a step
    // failed.
    bool recordStampsBatch(const QStringList &files) {
        JournalConfig config = journalConfig();
        config.now = time(nullptr);
        BatchJournal journal(config);
        if (!journal.begin(path(QStringLiteral("files")), BatchKind::FileTimes))
            return false;
        FileTimesUpdate update;
        update.lastWrite = dt("2015-03-14 09:26:53");
        QList<int> seqs;
        for (const QString &f : files)
            seqs.append(journal.intendStamps(f, update));
        if (seqs.contains(0) || !journal.commit())
            return false;
        for (int i = 0; i < files.size(); ++i) {
            if (WriteFileTimes(files[i], update).outcome() != WriteOutcome::Success)
                return false;
            journal.done(seqs[i], true);
        }
        return journal.end();
    }
    static QStringList window(const QStringList &extra = {}) {
        return QStringList{"--start", "2011-08-27 20:11:00", "--end", "2011-08-28 23:00:00"} +
               extra;
    }

private slots:
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        stateHome = std::make_unique<QTemporaryDir>();
        configHome = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid() && stateHome->isValid() && configHome->isValid());
        qputenv("XDG_STATE_HOME", QFile::encodeName(stateHome->path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome->path()));
    }

    void usageErrors_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("no command") << QStringList{} << QByteArray("No command given.");
        QTest::newRow("unknown command") << QStringList{"touch"} << QByteArray("Unknown command");
        QTest::newRow("unknown option")
            << QStringList{"plan", "--later", "F"} << QByteArray("Unknown option: --later");
        QTest::newRow("option of another command")
            << QStringList{"rename", "--by", "+1d", "F"} << QByteArray("Unknown option: --by");
        QTest::newRow("no folder")
            << QStringList{"plan"} + window() << QByteArray("No folder given.");
        QTest::newRow("missing folder")
            << QStringList{"plan"} + window({"/no/such/folder"}) << QByteArray("No such folder");
        QTest::newRow("no window") << QStringList{"apply", "F"} << QByteArray("--start and --end");
        QTest::newRow("step beyond the field")
            << QStringList{"plan"} + window({"--step", "301", "F"}) << QByteArray("from 1 to 300");
        QTest::newRow("step and random")
            << QStringList{"plan"} + window({"--step", "2", "--random", "1-5", "F"})
            << QByteArray("not both");
        QTest::newRow("lunch without working hours")
            << QStringList{"plan"} + window({"--lunch", "12:00-14:00", "F"})
            << QByteArray("--lunch needs");
        QTest::newRow("stamps") << QStringList{"apply"} + window({"--stamps", "c,x", "F"})
                                << QByteArray("--stamps takes");
        QTest::newRow("shift without a sign")
            << QStringList{"shift-date", "--by", "1d", "F"} << QByteArray("--by takes");
        QTest::newRow("date shift out of order")
            << QStringList{"stamps-from-date", "--shift", "+2h1d", "F"}
            << QByteArray("--shift takes");
        QTest::newRow("date shift, a sign alone")
            << QStringList{"stamps-from-date", "--shift", "-", "F"} << QByteArray("--shift takes");
        QTest::newRow("two shifts")
            << QStringList{"shift-date", "--by", "-1d", "--random", "-1-5d", "F"}
            << QByteArray("exactly one of");
        QTest::newRow("random shift bounds reversed")
            << QStringList{"shift-date", "--random", "+5-1d", "F"} << QByteArray("A below B");
        QTest::newRow("new start out of range")
            << QStringList{"shift-date", "--new-start", "1899-01-01 00:00:00", "F"}
            << QByteArray("years 1900 to 2200");
    }
    void usageErrors() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, message);
        plainFile(QStringLiteral("a.jpg"));
        arguments.replaceInStrings(QRegularExpression(QStringLiteral("^F$")), folder());
        const CliRun run = runCli(arguments);
        QCOMPARE(run.exit, 2);
        QVERIFY2(run.err.contains(message), run.err.constData());
        QVERIFY(run.out.isEmpty());
    }

    // The results cannot be written (a full disk, a closed standard output, a reader gone):
    // a message and exit status 1, never 0; a reader gone stops the batch between files.
    void resultsThatCannotBeWritten() {
        const QString cli = QStringLiteral(KALMORA_CLI);
        const auto shell = [&](const QString &script) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove(QStringLiteral("LC_ALL"));
            env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
            p.setProcessEnvironment(env);
            p.start(QStringLiteral("bash"), {"-c", script, "sh", cli, folder()});
            p.waitForFinished(120000);
            return std::pair{p.exitCode(), p.readAllStandardError()};
        };
        QCOMPARE(runCli({"--version"}).out, QByteArray("kalmora-cli " KALMORA_VERSION_TEXT "\n"));
        for (const char *script : {"\"$1\" --version > /dev/full", "\"$1\" --version >&-"}) {
            const auto [exit, err] = shell(QString::fromLatin1(script));
            QCOMPARE(exit, 1);
            QVERIFY2(err.contains("cannot write the results"), err.constData());
        }
        for (int i = 0; i < 3000; ++i)
            plainFile(QStringLiteral("f%1.txt").arg(i, 4, 10, QLatin1Char('0')));
        const auto [exit, err] = shell(QStringLiteral(
            "\"$1\" apply --start '2015-01-01 00:00:00' --end '2015-12-31 00:00:00' --step 1m "
            "--pattern '*.txt' \"$2\" | head -n 1 > /dev/null; exit ${PIPESTATUS[0]}"));
        QCOMPARE(exit, 1);
        QVERIFY2(err.contains("Broken pipe"), err.constData());
        const QList<BatchSummary> listed = batches();
        QCOMPARE(listed.size(), 1);
        QVERIFY2(listed[0].done > 0 && listed[0].done < 3000,
                 qPrintable(QString::number(listed[0].done)));
    }

    // A folder the user may not list is not an empty one: an error of its own, in both
    // languages, exit status 2.
    void unreadableFolderIsNoEmptyOne() {
        if (::geteuid() != 0)
            QSKIP("needs root, to run as another account");
        plainFile(QStringLiteral("a.jpg"));
        const QByteArray name = QFile::encodeName(folder());
        QCOMPARE(::chmod(name.constData(), 0311), 0); // others may pass, not list
        const auto restore = qScopeGuard([&] { ::chmod(name.constData(), 0700); });
        const QStringList plan = QStringList{"plan"} + window({"--step", "1", folder()});
        const CliRun en = runCli(plan, QStringLiteral("C.UTF-8"), {}, true);
        QCOMPARE(en.exit, 2);
        QVERIFY2(en.err.contains("Cannot read the folder") && en.err.contains("Permission denied"),
                 en.err.constData());
        const CliRun zh = runCli(plan, QStringLiteral("zh_CN.UTF-8"), {}, true);
        QCOMPARE(zh.exit, 2);
        QVERIFY2(zh.err.contains(asPrinted(QStringLiteral("没有读取该文件夹的权限"))),
                 zh.err.constData());
    }

    // The window's own refusals, in the window's words under a Chinese locale and in English
    // otherwise; nothing is touched.
    void windowRefusals_data() {
        QTest::addColumn<int>("files");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("chinese");
        QTest::addColumn<QByteArray>("english");
        QTest::newRow("end equals start")
            << 1 << QStringList{"--start", "2011-01-01 10:00:00", "--end", "2011-01-01 10:00:00"}
            << WindowStageRefusal(1, 0) << QByteArray("not later than the start");
        QTest::newRow("window starts after on-duty")
            << 1
            << QStringList{"--start",         "2011-01-01 09:00:00", "--end", "2011-01-03 18:00:00",
                           "--working-hours", "08:00-18:00"}
            << DutyStageRefusal(90000, 180000, 80000, 180000)
            << QByteArray("earlier than the window's start");
        QTest::newRow("equal break")
            << 1 << QStringList{"--start",         "2011-01-01 08:00:00",
                                "--end",           "2011-01-03 18:00:00",
                                "--working-hours", "08:00-18:00",
                                "--lunch",         "13:00-13:00"}
            << BreakStageRefusal(130000, 130000) << QByteArray("lunch break does not end");
        QTest::newRow("five files in four minutes")
            << 5 << QStringList{"--start", "2011-01-01 10:00:00", "--end", "2011-01-01 10:04:00"}
            << StepRangeTooSmallText() << QByteArray("too small for one step per file");
        QTest::newRow("five files, step 3, ten minutes")
            << 5 << QStringList{"--start", "2011-01-01 10:00:00",
                                "--end",   "2011-01-01 10:10:00",
                                "--step",  "3"}
            << CapacityTooSmallText() << QByteArray("smaller than the files need");
    }
    void windowRefusals() {
        QFETCH(int, files);
        QFETCH(QStringList, options);
        QFETCH(QString, chinese);
        QFETCH(QByteArray, english);
        for (int i = 0; i < files; ++i)
            plainFile(QStringLiteral("f%1.jpg").arg(i));
        const auto before = folderState(folder());
        for (const char *command : {"plan", "apply"}) {
            const CliRun zh =
                runCli(QStringList{QLatin1String(command)} + options + QStringList{folder()},
                       QStringLiteral("zh_CN.UTF-8"));
            QCOMPARE(zh.exit, 2);
            QVERIFY2(zh.err.contains(asPrinted(chinese)), zh.err.constData());
            QVERIFY(zh.out.isEmpty());
            const CliRun en =
                runCli(QStringList{QLatin1String(command)} + options + QStringList{folder()});
            QCOMPARE(en.exit, 2);
            QVERIFY2(en.err.contains(english), en.err.constData());
        }
        QCOMPARE(folderState(folder()), before);
    }

    // The import narrows the random bounds to what the window holds per file, as it rewrites
    // the window's step fields: 40 minutes for 5 files allow steps of 1 to 8 minutes.
    void randomBoundsNarrowAsTheWindowsFields() {
        for (int i = 0; i < 5; ++i)
            plainFile(QStringLiteral("f%1.jpg").arg(i));
        const CliRun run = runCli({"plan", "--start", "2011-01-01 10:00:00", "--end",
                                   "2011-01-01 10:40:00", "--random", "20-30", folder()});
        QCOMPARE(run.exit, 0);
        QVERIFY2(run.err.contains("narrowed to 1-8"), run.err.constData());
        QCOMPARE(run.lines().size(), 5);
        DateTime previous;
        for (const QByteArray &line : run.lines()) {
            const DateTime t =
                DateTime::parse(QString::fromUtf8(line.split('\t').value(2))).value();
            if (previous.isValid())
                QVERIFY(previous.minutesTo(t) >= 1 && previous.minutesTo(t) <= 8);
            previous = t;
        }
        QVERIFY(previous <= dt("2011-01-01 10:40:00"));

        // With a seed, the plan shows what the apply then writes.
        const QStringList seeded{"--start",  "2011-01-01 10:00:00",
                                 "--end",    "2011-01-01 10:40:00",
                                 "--random", "1-8",
                                 "--seed",   "7",
                                 "--stamps", "m",
                                 folder()};
        const CliRun planned = runCli(QStringList{"plan"} + seeded);
        QCOMPARE(planned.exit, 0);
        QCOMPARE(runCli(QStringList{"plan"} + seeded).lines(), planned.lines());
        QCOMPARE(runCli(QStringList{"apply"} + seeded).exit, 0);
        for (const QByteArray &line : planned.lines()) {
            const QList<QByteArray> fields = line.split('\t');
            QCOMPARE(ReadFileTimes(QString::fromUtf8(fields.value(0)))->lastWrite.toText(),
                     QString::fromUtf8(fields.value(2)));
        }
    }

    // Through the hour the clocks skip, the plan walks past it (no two files on one instant);
    // through the hour they repeat, each time means its earlier instant. The plan, the stamps
    // written and their order agree, in two zones.
    void daylightSavingChanges_data() {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("afterGap"); // the first time after the skipped hour
        QTest::newRow("Berlin, spring") << QByteArray("Europe/Berlin") << "2011-03-27 01:58:00"
                                        << "2011-03-27 03:00:00";
        QTest::newRow("New York, spring") << QByteArray("America/New_York") << "2011-03-13 01:58:00"
                                          << "2011-03-13 03:00:00";
        QTest::newRow("Berlin, autumn")
            << QByteArray("Europe/Berlin") << "2011-10-30 01:58:00" << QString();
        QTest::newRow("New York, autumn")
            << QByteArray("America/New_York") << "2011-11-06 00:58:00" << QString();
    }
    void daylightSavingChanges() {
        QFETCH(QByteArray, zone);
        QFETCH(QString, start);
        QFETCH(QString, afterGap);
        const QByteArray zoneBefore = qgetenv("TZ");
        qputenv("TZ", zone);
        const auto restore = qScopeGuard([&] { qputenv("TZ", zoneBefore); });
        for (int i = 0; i < 20; ++i)
            plainFile(QStringLiteral("f%1.txt").arg(i, 2, 10, QLatin1Char('0')));
        const QStringList options{"--start",   start,   "--end",    "2011-12-31 00:00:00",
                                  "--step",    "20s",   "--stamps", "m",
                                  "--pattern", "*.txt", folder()};
        const CliRun planned = runCli(QStringList{"plan"} + options);
        QCOMPARE(planned.exit, 0);
        QCOMPARE(runCli(QStringList{"apply"} + options).exit, 0);
        QString previousText;
        qint64 previous = LLONG_MIN;
        bool walkedPast = false;
        for (const QByteArray &line : planned.lines()) {
            const QList<QByteArray> fields = line.split('\t');
            const QString text = QString::fromUtf8(fields.value(2));
            walkedPast = walkedPast || (text == afterGap && previousText.endsWith("01:59:40"));
            const QString file = QString::fromUtf8(fields.value(0));
            QCOMPARE(ReadFileTimes(file)->lastWrite.toText(), text);
            const qint64 instant = StatFileState(file).modification.sec;
            QVERIFY2(instant > previous, qPrintable(text));
            previous = instant;
            previousText = text;
        }
        QCOMPARE(walkedPast, !afterGap.isEmpty());
    }

    // Each photo's shooting date lands in the stamps asked for as local time of the zone, to
    // the second; a date the spring change skips moves on by the hour skipped. A photo without
    // a date, or whose date is no date, keeps its bytes and stamps.
    void datesInsideBecomeFileTimes_data() {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("shift");
        QTest::addColumn<qint64>("july");   // 2019-07-01 12:34:56, as an instant
        QTest::addColumn<qint64>("spring"); // 2021-03-28 02:30:00
        QTest::newRow("Shanghai") << QByteArray("Asia/Shanghai") << "0s" << qint64(1561955696)
                                  << qint64(1616869800);
        QTest::newRow("Berlin, in the gap")
            << QByteArray("Europe/Berlin") << "0s" << qint64(1561977296) << qint64(1616895000);
        QTest::newRow("Shanghai, a day and two hours earlier")
            << QByteArray("Asia/Shanghai") << "-1d2h" << qint64(1561955696 - 93600)
            << qint64(1616869800 - 93600);
    }
    void datesInsideBecomeFileTimes() {
        QFETCH(QByteArray, zone);
        QFETCH(QString, shift);
        QFETCH(qint64, july);
        QFETCH(qint64, spring);
        qputenv("TZ", zone);
        const auto restore = qScopeGuard([] { qunsetenv("TZ"); });
        photo(QStringLiteral("a.jpg"), "2019:07:01 12:34:56");
        photo(QStringLiteral("b.jpg"), "2021:03:28 02:30:00");
        plainFile(QStringLiteral("c.jpg"), "no photo at all");
        photo(QStringLiteral("d.jpg"), "2019:13:45 99:00:00");
        const DiskState c = diskState(path("c.jpg")), d = diskState(path("d.jpg"));
        const CliRun run =
            runCli({"stamps-from-date", "--stamps", "m,a", "--shift", shift, folder()});
        QCOMPARE(run.exit, 1); // d.jpg
        for (const auto &[name, instant] : {std::pair{"a.jpg", july}, std::pair{"b.jpg", spring}}) {
            const DiskState s = diskState(path(name));
            QCOMPARE(QList<qint64>({s.mtimeSec, s.mtimeNsec, s.atimeSec, s.atimeNsec}),
                     QList<qint64>({instant, 0, instant, 0}));
        }
        QCOMPARE(sansAccess({{"c", diskState(path("c.jpg"))}, {"d", diskState(path("d.jpg"))}}),
                 sansAccess({{"c", c}, {"d", d}}));
        const QList<QByteArray> lines = run.lines();
        QCOMPARE(lines.size(), 4);
        const QList<QByteArray> a = lines[0].split('\t');
        const QByteArray julyText = UtcSecondsToLocal(july)->toText().toUtf8();
        QCOMPARE(QList<QByteArray>({a[1], a[3], a[4], a[5]}),
                 QList<QByteArray>({"ok", julyText, julyText, "修改成功"}));
        QCOMPARE(lines[2], QFile::encodeName(path("c.jpg")) + "\tskipped\t\t\t\tExif信息丢失");
        QCOMPARE(lines[3], QFile::encodeName(path("d.jpg")) + "\tfailed\t\t\t\t失败(日期数据异常)");
    }

    // Planned times a drive cannot hold as they are: said once, nothing written, exit 1; with
    // --round, written as the drive holds them, each row success and what the drive shows once
    // mounted afresh. On the drives cameras write, and on the local disk.
    void timesTheDriveCannotHold_data() {
        QTest::addColumn<int>("drive"); // a test::Drive, or -1 for the local disk
        QTest::addColumn<QString>("start");
        QTest::addColumn<bool>("refused");
        const int local = -1;
        QTest::newRow("NTFS, odd seconds") << int(Drive::Ntfs) << "2011-08-27 20:11:00" << false;
        QTest::newRow("exFAT, odd seconds") << int(Drive::ExFat) << "2011-08-27 20:11:00" << true;
        QTest::newRow("FAT, odd seconds") << int(Drive::Fat) << "2011-08-27 20:11:00" << true;
        QTest::newRow("FAT, before 1980") << int(Drive::Fat) << "1975-01-01 00:00:00" << true;
        QTest::newRow("local, odd seconds") << local << "2011-08-27 20:11:00" << false;
        QTest::newRow("local, 1880") << local << "1880-01-01 00:00:00" << true;
    }
    void timesTheDriveCannotHold() {
        QFETCH(int, drive);
        QFETCH(QString, start);
        QFETCH(bool, refused);
        std::optional<FuseVolume> volume;
        QString files = folder(), why;
        if (drive >= 0) {
            volume.emplace(Drive(drive));
            if (!volume->mount(&why))
                QSKIP(qPrintable(why));
            files = volume->path();
        }
        for (int i = 0; i < 4; ++i) {
            // Access times later than the content's: reading it leaves them.
            const QString file = files + QStringLiteral("/f%1.txt").arg(i);
            QVERIFY(writeFile(file, "x"));
            QVERIFY(setNanoStamps(file, 1300000000, 0));
        }
        const auto before = folderState(files);
        const QStringList apply{"apply",  "--start", start,      "--end", "2011-12-31 00:00:00",
                                "--step", "7s",      "--stamps", "m,a",   "--pattern",
                                "*.txt",  files};
        const CliRun plain = runCli(apply);
        QCOMPARE(plain.exit, refused ? 1 : 0);
        QCOMPARE(plain.err.contains("--round"), refused);
        if (refused)
            QCOMPARE(folderState(files), before);
        const CliRun rounded = runCli(QStringList{"apply", "--round"} + apply.mid(1));
        QVERIFY2(rounded.exit == 0, rounded.err.constData());
        if (volume)
            QVERIFY(volume->remount(&why));
        for (const QByteArray &line : rounded.lines()) {
            const QList<QByteArray> fields = line.split('\t');
            QCOMPARE(fields.value(1), QByteArray("ok"));
            const auto held = ReadFileTimes(QString::fromUtf8(fields.value(0)));
            QVERIFY(held);
            QCOMPARE(held->lastWrite.toText().toUtf8(), fields.value(3));
            QCOMPARE(held->lastAccess.toText().toUtf8(), fields.value(4));
        }
    }

    // The window's order (numbers by value), its pattern, and the working-hours walk.
    void planFollowsTheWindowsWalk() {
        for (const char *name : {"IMG_10.JPG", "img_2.jpg", "IMG_1.jpg", "notes.txt", "b.gif"})
            plainFile(QString::fromLatin1(name));
        const CliRun run = runCli({"plan", "--start", "2011-01-03 08:00:00", "--end",
                                   "2011-01-09 18:00:00", "--step", "300m", "--working-hours",
                                   "08:00-18:00", "--lunch", "12:00-14:00", folder()});
        QCOMPARE(run.exit, 0);
        const QByteArray f = folder().toUtf8() + '/';
        QCOMPARE(run.lines(), (QList<QByteArray>{f + "b.gif\tplanned\t2011-01-03 08:00:00",
                                                 f + "IMG_1.jpg\tplanned\t2011-01-03 14:00:00",
                                                 f + "img_2.jpg\tplanned\t2011-01-04 08:00:00",
                                                 f + "IMG_10.JPG\tplanned\t2011-01-04 14:00:00"}));
        const CliRun txt =
            runCli({"plan", "--start", "2011-01-03 08:00:00", "--end", "2011-01-03 09:00:00",
                    "--step", "30s", "--pattern", "*.TXT", "--json", folder()});
        QCOMPARE(txt.exit, 0);
        const QJsonObject line = QJsonDocument::fromJson(txt.lines().value(0)).object();
        QCOMPARE(line.value(QStringLiteral("path")).toString(), path(QStringLiteral("notes.txt")));
        QCOMPARE(line.value(QStringLiteral("result")).toString(), QStringLiteral("planned"));
        QCOMPARE(line.value(QStringLiteral("time")).toString(),
                 QStringLiteral("2011-01-03 08:00:00"));
    }

    // A name in another encoding (GBK bytes) comes out as its bytes in a line, and as the
    // escapes Python's surrogateescape reads back in JSON.
    void foreignNamesKeepTheirBytes() {
        const QByteArray name = "\xD5\xD5\t1.jpg"; // GBK, and a tab inside the name
        const QByteArray full = QFile::encodeName(folder()) + '/' + name;
        const int fd = ::open(full.constData(), O_CREAT | O_WRONLY, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        const QStringList options{
            "plan", "--start", "2011-01-03 08:00:00", "--end", "2011-01-03 09:00:00", folder()};
        CliRun run = runCli(options);
        QCOMPARE(run.exit, 0);
        QCOMPARE(run.out,
                 QFile::encodeName(folder()) + "/\xD5\xD5\\t1.jpg\tplanned\t2011-01-03 08:00:00\n");
        run = runCli(QStringList{options[0], "--json"} + options.mid(1));
        QCOMPARE(run.exit, 0);
        QVERIFY2(run.out.contains("/\\udcd5\\udcd5\\u00091.jpg\",\"result\":\"planned\""),
                 run.out.constData());
        ::unlink(full.constData()); // the folder's removal cannot spell this name
    }

    // A long batch draws a bar on a terminal, and writes nothing to a pipe.
    void progressBarOnlyOnATerminal() {
        const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
        if (script.isEmpty())
            QSKIP("script (util-linux) is not installed");
        for (int i = 0; i < 100; ++i)
            QVERIFY(writeFile(path(QStringLiteral("f%1.jpg").arg(i)), "x"));
        const QStringList options = window({folder()});
        const CliRun piped = runCli(QStringList{"apply"} + options);
        QCOMPARE(piped.exit, 0);
        QVERIFY(piped.err.isEmpty());
        // The same run with a terminal for its output; the typescript records what it showed.
        QString command = QStringLiteral(KALMORA_CLI) + QStringLiteral(" apply");
        for (const QString &o : options)
            command += QStringLiteral(" '") + o + u'\'';
        QProcess p;
        p.start(script, {"-qec", command + QStringLiteral(" >/dev/null"),
                         path(QStringLiteral("typescript"))});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitCode(), 0);
        const QByteArray shown = readFile(path(QStringLiteral("typescript")));
        QVERIFY2(shown.contains("] 100% 100/100"), shown.constData());
    }

    void applyWritesThePlanAndADryRunNothing_data() {
        QTest::addColumn<QString>("stamps");
        QTest::newRow("all three") << "c,m,a";
        QTest::newRow("modification only") << "m";
        QTest::newRow("access only") << "a";
    }
    void applyWritesThePlanAndADryRunNothing() {
        QFETCH(QString, stamps);
        for (const char *name : {"a.jpg", "b.jpg", "c.jpg"})
            plainFile(QString::fromLatin1(name));
        const auto before = folderState(folder());
        const QStringList options = window({"--step", "7m", "--stamps", stamps, folder()});
        const CliRun dry = runCli(QStringList{"apply", "--dry-run"} + options);
        QCOMPARE(dry.exit, 0);
        QCOMPARE(dry.lines().size(), 3);
        QVERIFY(dry.lines().value(1).startsWith(path(QStringLiteral("b.jpg")).toUtf8() +
                                                "\tdry-run\t"));
        QCOMPARE(folderState(folder()), before);

        const FileTimes old = ReadFileTimes(path(QStringLiteral("c.jpg"))).value();
        const CliRun run = runCli(QStringList{"apply"} + options);
        QCOMPARE(run.exit, 0);
        const DateTime planned = dt("2011-08-27 20:25:00"); // the third file: two steps on
        const FileTimes now = ReadFileTimes(path(QStringLiteral("c.jpg"))).value();
        QCOMPARE(now.lastWrite, stamps.contains(u'm') ? planned : old.lastWrite);
        QCOMPARE(now.lastAccess, stamps.contains(u'a') ? planned : old.lastAccess);
        const QList<QByteArray> third = run.lines().value(2).split('\t');
        QCOMPARE(third.value(0), path(QStringLiteral("c.jpg")).toUtf8());
        QCOMPARE(third.value(1), QByteArray("ok"));
        QCOMPARE(third.value(3), now.lastWrite.toText().toUtf8());
        QCOMPARE(third.value(4), now.lastAccess.toText().toUtf8());
        QVERIFY(third.value(5).startsWith("修改成功"));
    }

    // A file marked read-only is refused and says so; the others are written: exit 1.
    // A batch the window recorded, undone from the command line: the file left as the batch
    // left it comes back to the nanosecond, the one edited since is skipped and kept.
    void historyAndUndoOverTheJournal() {
        // Before any batch the journal does not exist: there is no such batch either.
        const auto noBatch = [](const CliRun &run) {
            return run.exit == 1 && run.err.startsWith("Batch 99 was not undone: the journal "
                                                       "holds no such batch");
        };
        QVERIFY(noBatch(runCli({"undo", "99"})));
        const auto [a, b] = twoFiles();
        const DiskState before = diskState(a);
        QVERIFY(recordStampsBatch({a, b}));
        QVERIFY(writeFile(b, "edited"));
        const DiskState edited = diskState(b);

        const CliRun listed = runCli({"history"});
        QCOMPARE(listed.exit, 0);
        QCOMPARE(listed.lines().size(), 1);
        const QList<QByteArray> fields = listed.lines().first().split('\t');
        QCOMPARE(fields.size(), 9);
        QCOMPARE(fields.value(3), QByteArray("finished"));
        QCOMPARE(fields.mid(4, 3), (QList<QByteArray>{"2", "0", "2"}));
        QCOMPARE(fields.value(7), QFile::encodeName(path(QStringLiteral("files"))));
        QCOMPARE(fields.value(8), QByteArray()); // nothing its undo cannot put back

        QCOMPARE(runCli({"undo", "twelve"}).exit, 2);
        QVERIFY(noBatch(runCli({"undo", "99"})));
        const CliRun undone = runCli({"undo"});
        QCOMPARE(undone.exit, 1);
        QCOMPARE(undone.lines().size(), 2); // later changes first
        QVERIFY(undone.lines().value(0).startsWith(QFile::encodeName(b) + "\tskipped\t"));
        QCOMPARE(undone.lines().value(1), QFile::encodeName(a) + "\trestored\t");
        QCOMPARE(diskState(a), before);
        QCOMPARE(diskState(b), edited);

        const CliRun after = runCli({"history", "--json"});
        QCOMPARE(after.lines().size(), 2);
        const QJsonObject restore = QJsonDocument::fromJson(after.lines().value(0)).object();
        const QJsonObject batch = QJsonDocument::fromJson(after.lines().value(1)).object();
        QCOMPARE(restore.value(QStringLiteral("operation")).toString(),
                 BatchKindText(BatchKind::Restore));
        QCOMPARE(batch.value(QStringLiteral("state")).toString(), QStringLiteral("undone"));
        // With the first batch undone, the default is the restore itself: undo of the undo.
        QCOMPARE(runCli({"undo"}).exit, 0);
        QCOMPARE(diskState(a).mtimeSec, LocalToUtcSeconds(dt("2015-03-14 09:26:53")).value());
    }

    // An undo that found every file changed since leaves its batch not undone, and records a
    // batch of no file. The next default undo passes both for the batch before: taking either
    // again would change nothing, and the default would never get past them.
    void undoByDefaultPassesBatchesOfNoFile() {
        const auto [a, b] = twoFiles();
        const DiskState before = diskState(a);
        QVERIFY(recordStampsBatch({a}));
        QVERIFY(recordStampsBatch({b}));
        QVERIFY(writeFile(b, "edited"));
        const CliRun skipped = runCli({"undo"});
        QCOMPARE(skipped.exit, 1);
        QVERIFY(skipped.lines().value(0).startsWith(QFile::encodeName(b) + "\tskipped\t"));
        const CliRun undone = runCli({"undo"});
        QCOMPARE(undone.exit, 0);
        QCOMPARE(undone.lines(), QList<QByteArray>{QFile::encodeName(a) + "\trestored\t"});
        QCOMPARE(diskState(a), before);
    }

    // Each writing command records its batch in the window's journal: the history lists it,
    // a dry run of the undo changes nothing and gives the verdicts the undo then gives, and
    // the undo puts every file back byte for byte and stamp for stamp, but the one edited since.
    void commandBatchesAreJournaledAndUndone_data() {
        QTest::addColumn<QString>("kind");
        for (const char *kind :
             {"apply", "shift-date", "rename", "rename --video", "strip", "stamps-from-date"})
            QTest::newRow(kind) << kind;
    }
    void commandBatchesAreJournaledAndUndone() {
        QFETCH(QString, kind);
        if (kind == QLatin1String("strip") &&
            QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty())
            QSKIP("exiftool is not installed");
        const BatchCase c = batchCase(kind);
        const auto before = folderState(folder());

        // A dry run records nothing, and does not even make the journal.
        QCOMPARE(runCli(QStringList{c.command.first(), "--dry-run"} + c.command.mid(1)).exit, 0);
        QCOMPARE(folderState(folder()), before);
        QVERIFY(!QFile::exists(stateHome->path() + QStringLiteral("/Kalmora/journal.sqlite")));
        QCOMPARE(batches().size(), 0);

        const CliRun run = runCli(c.command);
        QCOMPARE(run.exit, 0);
        QVERIFY(folderState(folder()) != before);
        const QList<BatchSummary> listed = batches();
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed[0].kind, c.kind);
        QCOMPARE(listed[0].state, BatchSummary::State::Finished);
        QCOMPARE(listed[0].folder, folder());
        QCOMPARE(listed[0].done, 3);
        QCOMPARE(listed[0].failed, 0);

        // The last file is changed again after the batch: the undo must leave it.
        const QString edited = path(c.lastAfter);
        QVERIFY(QFile::exists(edited));
        {
            QFile f(edited);
            QVERIFY(f.open(QIODevice::Append));
            QVERIFY(f.write("edited") == 6);
        }
        const auto batchLeft = folderState(folder());
        const DiskState editedState = diskState(edited);

        const CliRun dry = runCli({"undo", "--dry-run"});
        QCOMPARE(dry.exit, 1);
        QCOMPARE(sansAccess(folderState(folder())), sansAccess(batchLeft));
        QCOMPARE(batches().size(), 1);
        QCOMPARE(dry.lines().size(), 3);

        const CliRun undone = runCli({"undo"});
        QCOMPARE(undone.exit, 1);
        QList<QByteArray> expected = dry.lines();
        for (QByteArray &line : expected)
            line.replace("\tdry-run\t", "\trestored\t");
        QCOMPARE(undone.lines(), expected);
        QVERIFY2(undone.lines().first().startsWith(QFile::encodeName(edited) + "\tskipped\t"),
                 undone.out.constData());

        auto now = folderState(folder());
        QCOMPARE(now.take(c.lastAfter), editedState);
        auto wanted = before;
        wanted.remove(kind == QLatin1String("rename --video") ? QStringLiteral("c.mp4")
                                                              : QStringLiteral("c.jpg"));
        QCOMPARE(now, wanted);
        QCOMPARE(batches().size(), 2);
        QCOMPARE(batches().first().kind, BatchKind::Restore);
    }

    // The journal cannot be written: the batch does not start, nothing changes on the disk,
    // the reason is on standard error in the locale's language, and the status says so.
    void unwritableJournalStopsTheBatch_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("how");
        for (const char *kind : {"apply", "shift-date", "rename", "strip"}) {
            QTest::addRow("%s, state home is a file", kind) << kind << "home file";
            QTest::addRow("%s, journal folder is a file", kind) << kind << "folder file";
            QTest::addRow("%s, read-only state folder", kind) << kind << "read-only";
        }
        QTest::newRow("undo, read-only state folder") << "undo"
                                                      << "read-only";
    }
    void unwritableJournalStopsTheBatch() {
        QFETCH(QString, kind);
        QFETCH(QString, how);
        if (kind == QLatin1String("strip") &&
            QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty())
            QSKIP("exiftool is not installed");
        const BatchCase c =
            batchCase(kind == QLatin1String("undo") ? QStringLiteral("apply") : kind);
        QStringList command = c.command;
        if (kind == QLatin1String("undo")) {
            QCOMPARE(runCli(c.command).exit, 0); // a batch to undo, recorded
            command = QStringList{"undo"};
        }
        const QString state = stateHome->path();
        struct Unmount {
            QByteArray at;
            ~Unmount() {
                if (!at.isEmpty())
                    umount2(at.constData(), MNT_DETACH);
            }
        } unmount;
        if (how == QLatin1String("home file")) {
            QVERIFY(writeFile(state + QStringLiteral("/home"), "not a folder"));
            qputenv("XDG_STATE_HOME", QFile::encodeName(state + QStringLiteral("/home")));
        } else if (how == QLatin1String("folder file")) {
            QVERIFY(writeFile(state + QStringLiteral("/Kalmora"), "not a folder"));
        } else {
            // Read-only even for the administrator, who may write into any folder.
            if (mount(QFile::encodeName(state).constData(), QFile::encodeName(state).constData(),
                      nullptr, MS_BIND, nullptr) != 0)
                QSKIP("cannot mount a file system here (needs the administrator)");
            unmount.at = QFile::encodeName(state);
            QVERIFY(mount(nullptr, unmount.at.constData(), nullptr,
                          MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0);
        }
        const auto before = sansAccess(folderState(folder()));
        const CliRun run = runCli(command);
        QCOMPARE(run.exit, 3);
        QCOMPARE(sansAccess(folderState(folder())), before);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.startsWith("Cannot write the undo journal: the batch did not start and "
                                    "no file was changed.\n\n"),
                 run.err.constData());
        QVERIFY2(!run.err.contains("无法"), run.err.constData()); // the reason in English too

        const CliRun chinese = runCli(command, QStringLiteral("zh_CN.UTF-8"));
        QCOMPARE(chinese.exit, 3);
        QCOMPARE(sansAccess(folderState(folder())), before);
        QVERIFY2(chinese.err.startsWith(asPrinted(JournalFailureText(QString()))),
                 chinese.err.constData());
    }

    // A photo whose original could be kept only by a copy above the copy limit: the window
    // asks; the command line erases nothing unless told beforehand to erase it without undo.
    void stripAboveTheCopyLimit() {
        if (QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty())
            QSKIP("exiftool is not installed");
        const QByteArray state = QFile::encodeName(stateHome->path());
        // The journal on a file system of its own: no hard link to the photos can be made.
        if (mount("tmpfs", state.constData(), "tmpfs", 0, "size=4m") != 0)
            QSKIP("cannot mount a file system here (needs the administrator)");
        const auto unmount = qScopeGuard([&] { umount2(state.constData(), MNT_DETACH); });
        QVERIFY(QDir().mkpath(configHome->path() + QStringLiteral("/Kalmora")));
        QVERIFY(writeFile(configHome->path() + QStringLiteral("/Kalmora/Kalmora.conf"),
                          "[Journal]\nCopyLimitMB=0\n"));
        const BatchCase c = batchCase(QStringLiteral("strip"));
        const auto before = folderState(folder());

        const CliRun refused = runCli(c.command);
        QCOMPARE(refused.exit, 3);
        QCOMPARE(folderState(folder()), before);
        QVERIFY2(refused.err.contains("--no-undo-for-large"), refused.err.constData());
        QVERIFY(refused.out.isEmpty());

        const CliRun run = runCli(QStringList{"strip", "--no-undo-for-large", folder()});
        QCOMPARE(run.exit, 0);
        QVERIFY(MetadataErased(path(QStringLiteral("a.jpg"))));
        QCOMPARE(batches().size(), 1);
        QCOMPARE(batches().first().done, 3);
        // Recorded, but with no original to put back.
        const CliRun undone = runCli({"undo"});
        QCOMPARE(undone.exit, 1);
        QCOMPARE(undone.lines().size(), 3);
        for (const QByteArray &line : undone.lines())
            QVERIFY2(line.contains("\tskipped\t原件没有保留"), line.constData());
        QVERIFY(MetadataErased(path(QStringLiteral("a.jpg"))));
    }

    // Originals that together pass the limit of kept originals: the batch asks first (exit 3
    // unless told); kept all the same, an older batch's originals make room, never the newest
    // batch's nor those of the batch being undone, and the history says which can no longer be
    // undone.
    void keptOriginalsPastTheirLimit() {
        if (QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty())
            QSKIP("exiftool is not installed");
        QVERIFY(QDir().mkpath(configHome->path() + QStringLiteral("/Kalmora")));
        QVERIFY(writeFile(configHome->path() + QStringLiteral("/Kalmora/Kalmora.conf"),
                          "[Journal]\nKeepOriginalsMB=0\n"));
        QStringList folders;
        for (const char *sub : {"one", "two", "three"}) {
            folders << path(QLatin1String(sub));
            QVERIFY(QDir().mkpath(folders.last()));
            for (const char *name : {"a.jpg", "b.jpg"}) {
                const QString photo = folders.last() + u'/' + QLatin1String(name);
                QVERIFY(
                    writeFile(photo, cameraPhoto(ByteOrder::Little, "2011:08:27 20:11:00").bytes));
                QVERIFY(setNanoStamps(photo, 1300000000, 987654321));
            }
        }
        const auto before = folderState(folders[0]);
        const CliRun refused = runCli({"strip", folders[0]});
        QCOMPARE(refused.exit, 3);
        QVERIFY2(refused.err.contains("--keep-all") && refused.err.contains("--no-undo-for-large"),
                 refused.err.constData());
        QCOMPARE(folderState(folders[0]), before);
        QVERIFY(batches().isEmpty());

        QCOMPARE(runCli({"strip", "--keep-all", folders[0]}).exit, 0);
        QCOMPARE(runCli({"strip", "--keep-all", folders[1]}).exit, 0);
        const qint64 first = batches().last().id, second = batches().first().id;
        // Both batches' originals pass the limit: the undo of the older one still has them.
        const CliRun undone = runCli({"undo", QString::number(first)});
        QCOMPARE(undone.exit, 0);
        QCOMPARE(folderState(folders[0]), before);

        QCOMPARE(runCli({"strip", "--keep-all", folders[2]}).exit, 0);
        const CliRun history = runCli({"history"});
        QCOMPARE(history.exit, 0);
        QVERIFY2(!history.lines().first().endsWith("\toriginals-pruned"), history.out.constData());
        bool secondPruned = false;
        for (const QByteArray &line : history.lines())
            secondPruned = secondPruned || (line.startsWith(QByteArray::number(second) + '\t') &&
                                            line.endsWith("\toriginals-pruned"));
        QVERIFY2(secondPruned, history.out.constData());
        const CliRun lost = runCli({"undo", QString::number(second)});
        QCOMPARE(lost.exit, 1);
        for (const QByteArray &line : lost.lines())
            QVERIFY2(line.contains("\tskipped\t原件没有保留"), line.constData());

        // Told beforehand to erase without undo beyond the limit: erased, and the history says
        // that those photos cannot be undone.
        for (const char *name : {"a.jpg", "b.jpg"})
            QVERIFY(writeFile(folders[0] + u'/' + QLatin1String(name),
                              cameraPhoto(ByteOrder::Little, "2011:08:27 20:11:00").bytes));
        QCOMPARE(runCli({"strip", "--no-undo-for-large", folders[0]}).exit, 0);
        QVERIFY(MetadataErased(folders[0] + QStringLiteral("/a.jpg")));
        QVERIFY2(runCli({"history"}).lines().first().endsWith("\terased-without-original:2"),
                 runCli({"history"}).out.constData());
    }

    // A strip cut off before its first commit leaves its originals' folder under a number the
    // journal never recorded; one cut off later, originals no entry names. The next batch takes
    // another number and clears both away; its own undo works.
    void cutOffStripLeavesNothingInTheWay() {
        if (QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty())
            QSKIP("exiftool is not installed");
        photo(QStringLiteral("a.jpg"), "2011:08:27 20:11:00");
        QCOMPARE(runCli({"strip", folder()}).exit, 0);
        const qint64 first = batches().first().id;
        const QString originals = stateHome->path() + QStringLiteral("/Kalmora/originals/");
        const QString kept = originals + QStringLiteral("%1/1").arg(first);
        QVERIFY(QFile::exists(kept));
        // As a kill would leave them: the first batch still running in a process now gone,
        // with an original no entry names; the next number's folder with one in it.
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(stateHome->path() +
                                                QStringLiteral("/Kalmora/journal.sqlite"))
                                  .constData(),
                              &db),
                 SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "UPDATE batches SET state = 0, pid = 2147483647", nullptr,
                              nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(db);
        const QString stray = originals + QStringLiteral("%1/7").arg(first);
        const QString unrecorded = originals + QStringLiteral("%1/1").arg(first + 1);
        QVERIFY(QDir().mkpath(originals + QString::number(first + 1)));
        QVERIFY(writeFile(stray, "stray"));
        QVERIFY(writeFile(unrecorded, "unrecorded"));

        photo(QStringLiteral("b.jpg"), "2011:08:27 20:12:00");
        // Access times later than the changes: reading them leaves them (as everywhere here).
        QVERIFY(setNanoStamps(path(QStringLiteral("a.jpg")), 1300000000, 987654321));
        const auto before = folderState(folder());
        const CliRun run = runCli({"strip", folder()});
        QVERIFY2(run.exit == 0, run.err.constData());
        QVERIFY(batches().first().id > first + 1);
        QVERIFY(!QFile::exists(stray));
        QVERIFY(!QFile::exists(originals + QString::number(first + 1)));
        QVERIFY(QFile::exists(kept)); // still named by its entry
        QCOMPARE(runCli({"undo"}).exit, 0);
        QCOMPARE(folderState(folder()), before);
    }

    // Batches long enough that most intents are committed by the journal's own threads while
    // the first files already change: every file recorded, and the undo puts all of them back.
    void longBatchesAreUndoneWhole_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("files");
        QTest::newRow("apply") << "apply" << 600;
        QTest::newRow("shift-date") << "shift-date" << 300;
        QTest::newRow("rename") << "rename" << 300;
    }
    void longBatchesAreUndoneWhole() {
        QFETCH(QString, kind);
        QFETCH(int, files);
        const DateTime first(2011, 8, 27, 20, 11, 0);
        for (int i = 0; i < files; ++i) {
            const QString name = QStringLiteral("f%1.jpg").arg(i, 4, 10, QLatin1Char('0'));
            if (kind == QLatin1String("apply"))
                plainFile(name, name.toUtf8(), 1300000000 + i);
            else
                photo(name, first.addSeconds(61 * i).toExifText().toLatin1());
        }
        const auto before = folderState(folder());
        const QStringList command = kind == QLatin1String("apply")
                                        ? QStringList{"apply",
                                                      "--start",
                                                      "2015-03-14 09:26:53",
                                                      "--end",
                                                      "2015-03-14 23:59:59",
                                                      "--step",
                                                      "1s",
                                                      folder()}
                                    : kind == QLatin1String("shift-date")
                                        ? QStringList{"shift-date", "--by", "+1d", folder()}
                                        : QStringList{"rename", folder()};
        const CliRun run = runCli(command);
        QCOMPARE(run.exit, 0);
        QCOMPARE(run.lines().size(), files);
        QVERIFY(folderState(folder()) != before);
        QCOMPARE(batches().size(), 1);
        QCOMPARE(batches().first().done, files);
        QCOMPARE(batches().first().state, BatchSummary::State::Finished);

        const CliRun undone = runCli({"undo"});
        QCOMPARE(undone.exit, 0);
        QCOMPARE(undone.lines().size(), files);
        QCOMPARE(folderState(folder()), before);
    }

    // The journal's disk fills up while its intents are written: the batch does not start, or
    // (when the read was done first) stops where the journal failed. Each photo said to be done
    // was changed, every other one is as it was, and the status and message say which.
    void journalFullMidBatchStopsThere() {
        constexpr int Photos = 1500;
        const DateTime first(2011, 8, 27, 20, 11, 0);
        for (int i = 0; i < Photos; ++i)
            photo(QStringLiteral("f%1.jpg").arg(i, 4, 10, QLatin1Char('0')),
                  first.addSeconds(61 * i).toExifText().toLatin1());
        const auto before = sansAccess(folderState(folder()));
        const QByteArray state = QFile::encodeName(stateHome->path());
        // Room for the first groups of intents, never for all of them.
        if (mount("tmpfs", state.constData(), "tmpfs", 0, "size=256k") != 0)
            QSKIP("cannot mount a file system here (needs the administrator)");
        const auto unmount = qScopeGuard([&] { umount2(state.constData(), MNT_DETACH); });
        const CliRun run = runCli({"shift-date", "--by", "+1d", folder()});
        QCOMPARE(run.exit, 3);
        QVERIFY2(run.err.startsWith(run.lines().isEmpty()
                                        ? "Cannot write the undo journal: the batch did not start"
                                        : "Cannot write the undo journal: the batch stopped here"),
                 run.err.constData());
        const auto now = sansAccess(folderState(folder()));
        QSet<QString> done;
        for (const QByteArray &line : run.lines()) {
            const QList<QByteArray> fields = line.split('\t');
            QVERIFY2(fields.value(1) == "ok" || fields.value(1) == "skipped", line.constData());
            if (fields.value(1) == "ok")
                done.insert(QFileInfo(QFile::decodeName(fields.value(0))).fileName());
        }
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QVERIFY2((now.value(it.key()) != it.value()) == done.contains(it.key()),
                     qPrintable(it.key()));
        // What changed is in the journal, to be undone.
        QVERIFY(done.isEmpty() || batches().value(0).total >= done.size());
    }

    void applyReportsAFailedFile() {
        plainFile(QStringLiteral("a.jpg"));
        plainFile(QStringLiteral("b.jpg"));
        QVERIFY(QFile::setPermissions(path(QStringLiteral("b.jpg")), QFile::ReadOwner));
        const DiskState locked = diskState(path(QStringLiteral("b.jpg")));
        const CliRun run = runCli(QStringList{"apply", "--json"} + window({folder()}));
        QCOMPARE(run.exit, 1);
        const QJsonObject a = QJsonDocument::fromJson(run.lines().value(0)).object();
        const QJsonObject b = QJsonDocument::fromJson(run.lines().value(1)).object();
        QCOMPARE(a.value(QStringLiteral("result")).toString(), QStringLiteral("ok"));
        QCOMPARE(a.value(QStringLiteral("modification")).toString(),
                 QStringLiteral("2011-08-27 20:11:00"));
        QCOMPARE(b.value(QStringLiteral("result")).toString(), QStringLiteral("failed"));
        QCOMPARE(b.value(QStringLiteral("note")).toString(), QStringLiteral("修改失败"));
        QCOMPARE(diskState(path(QStringLiteral("b.jpg"))), locked);
    }

    void shiftDateRewritesThePhotos_data() {
        QTest::addColumn<QStringList>("options");
        // Of a.jpg, b.jpg and c.jpg afterwards; c.jpg has no date of its own: empty when it fails.
        QTest::addColumn<QStringList>("dates");
        QTest::newRow("a day and two hours earlier")
            << QStringList{"--by", "-1d2h"}
            << QStringList{"2011-08-26 18:11:00", "2012-02-27 22:00:00", ""};
        QTest::newRow("a month later")
            << QStringList{"--by", "+1mo"}
            << QStringList{"2011-09-27 20:11:00", "2012-03-29 00:00:00", ""};
        QTest::newRow("new start with an increment")
            << QStringList{"--new-start", "2020-01-31 23:59:30", "--increment", "45s"}
            << QStringList{"2020-01-31 23:59:30", "2020-02-01 00:00:15", "2020-02-01 00:01:00"};
        QTest::newRow("random amount of exactly one day")
            << QStringList{"--random", "+1-2d"}
            << QStringList{"2011-08-28 20:11:00", "2012-03-01 00:00:00", ""};
    }
    void shiftDateRewritesThePhotos() {
        QFETCH(QStringList, options);
        QFETCH(QStringList, dates);
        photo(QStringLiteral("a.jpg"), "2011:08:27 20:11:00");
        photo(QStringLiteral("b.jpg"), "2012:02:29 00:00:00");
        photo(QStringLiteral("c.jpg"), "    :  :     :  :  "); // an unknown date
        const auto before = folderState(folder());
        const int status = dates[2].isEmpty() ? 1 : 0;
        const CliRun dry =
            runCli(QStringList{"shift-date", "--dry-run"} + options + QStringList{folder()});
        QCOMPARE(dry.exit, status); // the unknown date fails in a real run too
        QCOMPARE(dry.lines().value(0).split('\t').value(2), dates[0].toUtf8());
        QCOMPARE(folderState(folder()), before);

        const CliRun run = runCli(QStringList{"shift-date"} + options + QStringList{folder()});
        QCOMPARE(run.exit, status);
        for (int i = 0; i < (status ? 2 : 3); ++i) {
            const QList<QByteArray> fields = run.lines().value(i).split('\t');
            QCOMPARE(fields.value(1), QByteArray("ok"));
            QCOMPARE(fields.value(2), dates[i].toUtf8());
            // What the photo holds now, read as the window reads it.
            QString block;
            AppendPropertyText(path(QStringLiteral("abc").mid(i, 1) + QStringLiteral(".jpg")),
                               block);
            QString exif = dates[i];
            exif.replace(4, 1, u':').replace(7, 1, u':');
            QVERIFY2(block.contains(exif), qPrintable(block));
        }
        if (!status)
            return;
        const QList<QByteArray> unknown = run.lines().value(2).split('\t');
        QCOMPARE(unknown.value(1), QByteArray("failed"));
        QCOMPARE(unknown.value(4), QByteArray("失败(日期数据异常)"));
        QCOMPARE(diskState(path(QStringLiteral("c.jpg"))), before.value(QStringLiteral("c.jpg")));
    }

    void renameNeverReplacesAFile() {
        photo(QStringLiteral("DSC01234.jpg"), "2011:08:27 20:11:00");
        photo(QStringLiteral("DSC01235.jpg"), "2011:08:27 20:11:00"); // the same second
        photo(QStringLiteral("IMG_7.JPG"), "2013:03:04 05:06:07");
        plainFile(QStringLiteral("plain.jpg"), JpegBuilder().build().bytes);
        const auto before = folderState(folder());
        const CliRun dry = runCli({"rename", "--dry-run", folder()});
        QCOMPARE(dry.exit, 1);
        QCOMPARE(dry.lines().value(1).split('\t').value(1), QByteArray("failed"));
        QCOMPARE(folderState(folder()), before);

        const CliRun run = runCli({"rename", folder()});
        QCOMPARE(run.exit, 1);
        const QByteArray f = folder().toUtf8() + '/';
        QCOMPARE(run.lines(), (QList<QByteArray>{f + "DSC01234.jpg\tok\t2011-08-27 20.11.00.jpg\t",
                                                 f + "DSC01235.jpg\tfailed\t\t更名失败(同名)",
                                                 f + "IMG_7.JPG\tok\t2013-03-04 05.06.07.JPG\t",
                                                 f + "plain.jpg\tfailed\t\t更名失败(日期无效)"}));
        QCOMPARE(QDir(folder()).entryList(QDir::Files, QDir::Name),
                 (QStringList{"2011-08-27 20.11.00.jpg", "2013-03-04 05.06.07.JPG", "DSC01235.jpg",
                              "plain.jpg"}));
        QCOMPARE(diskState(path(QStringLiteral("2011-08-27 20.11.00.jpg"))).bytes,
                 before.value(QStringLiteral("DSC01234.jpg")).bytes);
    }

    void exportsWriteTheWindowsText() {
        plainFile(QStringLiteral("照片1.jpg"));
        photo(QStringLiteral("p.jpg"), "2011:08:27 20:11:00");
        const FileTimes t = ReadFileTimes(path(QStringLiteral("照片1.jpg"))).value();
        const QString out = path(QStringLiteral("out.txt"));
        CliRun run = runCli({"export-times", "-o", out, "--pattern", "*.jpg", folder()});
        QCOMPARE(run.exit, 0);
        QVERIFY(run.out.isEmpty());
        const QString text = DecodeGb18030(readFile(out)).value();
        const QStringList lines = text.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.value(0), TimeListHeader());
        QCOMPARE(lines.value(2), TimeListLine(folder() + u'/', QStringLiteral("照片1.jpg"),
                                              t.creation, t.lastWrite, t.lastAccess));
        QCOMPARE(lines.size(), 4); // two files and the last line break

        run = runCli({"export-times", "--utf8", "--pattern", "*.jpg", folder()});
        QCOMPARE(run.exit, 0);
        QCOMPARE(QString::fromUtf8(run.out), text);

        run = runCli({"export-exif", "--utf8", "--pattern", "p.jpg", folder()});
        QCOMPARE(run.exit, 0);
        QCOMPARE(QString::fromUtf8(run.out),
                 QStringLiteral("\r\n") + ExifExportBlock(QStringLiteral("p.jpg"), path("p.jpg")) +
                     QStringLiteral("\r\n"));
        QVERIFY(run.out.contains("照片名称：p.jpg"));
    }

    // More photos than the tool takes in one command, some without Exif among them: a line for
    // each in order, every photo with Exif erased, the others untouched.
    // A folder named relative to the working folder: the tool is handed whole paths, which
    // it takes as they stand, and the undo run from elsewhere finds the photos.
    void stripOfARelativeFolder() {
        if (QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty())
            QSKIP("exiftool is not installed");
        photo(QStringLiteral("a.jpg"), "2011:08:27 20:11:00");
        photo(QStringLiteral("b.jpg"), "2011:08:27 20:12:00");
        const auto before = folderState(folder());
        const QFileInfo info(folder());
        const QByteArray relative = QFile::encodeName(info.fileName()) + '/';
        const CliRun run =
            runCli({"strip", info.fileName()}, QStringLiteral("C.UTF-8"), info.path());
        QCOMPARE(run.exit, 0);
        QCOMPARE(run.lines(),
                 (QList<QByteArray>{relative + "a.jpg\tok\t", relative + "b.jpg\tok\t"}));
        QVERIFY(MetadataErased(path(QStringLiteral("a.jpg"))));
        QVERIFY(MetadataErased(path(QStringLiteral("b.jpg"))));
        QCOMPARE(runCli({"undo"}).exit, 0);
        QCOMPARE(folderState(folder()), before);
    }

    // The originals a strip keeps are the user's photos: whatever the umask, and however open
    // the folder above the journal's, nobody else can read them or the journal, and the undo
    // gives each photo its own permissions back.
    void strippedOriginalsStayPrivate() {
        if (QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty())
            QSKIP("exiftool is not installed");
        const mode_t umaskBefore = ::umask(002);
        const auto restore = qScopeGuard([&] { ::umask(umaskBefore); });
        QCOMPARE(::chmod(QFile::encodeName(stateHome->path()).constData(), 0755), 0);
        photo(QStringLiteral("open.jpg"), "2011:08:27 20:11:00");
        photo(QStringLiteral("own.jpg"), "2011:08:27 20:12:00");
        QCOMPARE(::chmod(QFile::encodeName(path(QStringLiteral("open.jpg"))).constData(), 0644), 0);
        QCOMPARE(::chmod(QFile::encodeName(path(QStringLiteral("own.jpg"))).constData(), 0600), 0);
        const auto before = folderState(folder());
        QCOMPARE(runCli({"strip", folder()}).exit, 0);

        const QString journal = stateHome->path() + QStringLiteral("/Kalmora");
        QStringList kept;
        for (QDirIterator it(journal + QStringLiteral("/originals"), QDir::Files,
                             QDirIterator::Subdirectories);
             it.hasNext();)
            kept << it.next();
        QCOMPARE(kept.size(), 2);
        for (const QString &f :
             kept + QStringList{journal, journal + QStringLiteral("/journal.sqlite")}) {
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(f).constData(), &st), 0);
            QVERIFY2((st.st_mode & 077) == 0, qPrintable(f));
        }
        if (::geteuid() == 0) {
            // Another user tries to read them.
            const pid_t child = ::fork();
            if (child == 0) {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(2);
                for (const QString &f :
                     kept + QStringList{journal + QStringLiteral("/journal.sqlite")})
                    if (::open(QFile::encodeName(f).constData(), O_RDONLY) >= 0)
                        ::_exit(1);
                ::_exit(0);
            }
            int status = -1;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QCOMPARE(WEXITSTATUS(status), 0);
        }

        QCOMPARE(runCli({"undo"}).exit, 0);
        QCOMPARE(folderState(folder()), before);
        for (const auto &[name, mode] : {std::pair{"open.jpg", 0644}, std::pair{"own.jpg", 0600}}) {
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(path(QLatin1String(name))).constData(), &st), 0);
            QCOMPARE(int(st.st_mode & 07777), mode);
        }
    }

    void stripRemovesTheMetadata() {
        if (QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty())
            QSKIP("exiftool is not installed");
        const QByteArray f = folder().toUtf8() + '/';
        QList<QByteArray> lines;
        QStringList bare;
        for (int i = 1; i <= 70; ++i) {
            const QString name = QStringLiteral("p%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
            if (i % 9 == 0) {
                plainFile(name, JpegBuilder().build().bytes);
                bare << name;
                lines << f + name.toUtf8() + "\tskipped\tExif信息丢失";
            } else {
                photo(name, "2011:08:27 20:11:00");
                lines << f + name.toUtf8() + "\tok\t";
            }
        }
        const auto before = folderState(folder());
        const CliRun dry = runCli({"strip", "--dry-run", folder()});
        QCOMPARE(dry.exit, 0);
        QCOMPARE(folderState(folder()), before);

        const CliRun run = runCli({"strip", folder()});
        QCOMPARE(run.exit, 0);
        QCOMPARE(run.lines(), lines);
        for (int i = 1; i <= 70; ++i) {
            const QString name = QStringLiteral("p%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
            if (bare.contains(name))
                QCOMPARE(diskState(path(name)), before.value(name));
            else
                QVERIFY2(MetadataErased(path(name)), qPrintable(name));
        }
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "cli_test.moc"
