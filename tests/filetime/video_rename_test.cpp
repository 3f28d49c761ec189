#include "core/filetime/video_date.h"
#include "core/grid/file_grid.h"
#include "gui/filetime/rename.h"
#include "gui/photo/date_rewrite.h"
#include "gui/photo/file_times_from_date.h"
#include "gui/window/features.h"
#include "tests/support/jpeg_builder.h"
#include "tests/support/real_input.h"
#include "tests/support/window_fixture.h"

#include <QCheckBox>
#include <QProcess>
#include <QRadioButton>
#include <QStandardPaths>

#include <clocale>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

using namespace kalmora;

namespace {
DateTime dt(const char *text) {
    return DateTime::parse(QLatin1String(text)).value();
}

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A tenth of a second of video with the given metadata, made by ffmpeg; false when it failed.
bool makeClip(const QString &path, const QStringList &metadata, bool transportStream = false) {
    QStringList args = {
        "-loglevel", "error", "-y", "-f", "lavfi", "-i", "color=black:s=16x16:d=0.1"};
    args << "-c:v" << (transportStream ? "mpeg2video" : "mpeg4");
    if (transportStream)
        args << "-f"
             << "mpegts";
    for (const QString &m : metadata) {
        if (m.startsWith(QLatin1String("com.apple")))
            args << "-movflags"
                 << "use_metadata_tags";
        args << "-metadata" << m;
    }
    args << path;
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), args);
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0;
}

const QString FallbackNote = QStringLiteral("视频未记录拍摄时间，用文件修改时间");
} // namespace

class VideoRenameTest : public QObject {
    Q_OBJECT
private:
    test::WindowFixture f;
    FMainDate &w() { return f.w(); }
    FileGrid &g() { return *f.w().VSFlexGrid1; }

    void photo(const QString &name, const QByteArray &date) {
        writeFile(f.path(name), test::cameraPhoto(test::ByteOrder::Little, date).bytes);
    }
    QStringList filesOnDisk() const {
        return QDir(f.folder.path()).entryList(QDir::Files, QDir::Name);
    }
    void importForRename(bool video, const QString &pattern) {
        w().OptRename->setChecked(true);
        if (video)
            w().ChPgDn->setChecked(true);
        w().LDir->setText(f.folder.path());
        w().File1->setPattern(pattern);
        w().CmdInput->setEnabled(true);
        w().CmdInput->click();
    }

    // Clips of the formats phones and camcorders write, each with a known recorded date (in this
    // suite's zone, Berlin), all last modified 2011-08-27 20:11:00. No value when ffmpeg is
    // missing.
    QMap<QString, QString> makeClips() {
        struct Clip {
            const char *name;
            QStringList metadata;
            const char *recorded; // local; empty: the container records none
        };
        const Clip clips[] = {
            {"a.mp4", {"creation_time=2021-05-01T10:00:00Z"}, "2021-05-01 12:00:00"},
            {"b.m4v", {"creation_time=2021-01-15T10:00:00Z"}, "2021-01-15 11:00:00"},
            // A phone's own local date with its offset comes before the UTC one.
            {"c.mov",
             {"com.apple.quicktime.creationdate=2021-05-01T18:30:00+0800",
              "creation_time=2021-05-01T10:30:00Z"},
             "2021-05-01 18:30:00"},
            {"d.mkv", {"creation_time=2021-07-04T08:09:10Z"}, "2021-07-04 10:09:10"},
            {"e.mts", {}, ""},
            {"f.m2ts", {}, ""},
            // No date set: the container holds a zero, which is no recording date.
            {"g.mp4", {}, ""},
        };
        QMap<QString, QString> recorded;
        for (const Clip &c : clips) {
            const QString name = QString::fromLatin1(c.name);
            if (!makeClip(f.path(name), c.metadata,
                          name.contains(QLatin1String(".m")) && name.endsWith(QLatin1String("ts"))))
                return {};
            FileTimesUpdate u;
            u.lastWrite = dt("2011-08-27 20:11:00");
            if (WriteFileTimes(f.path(name), u).outcome() == WriteOutcome::Failure)
                return {};
            recorded.insert(name, QString::fromLatin1(c.recorded));
        }
        return recorded;
    }
    void reopenOnTheSameSettings() {
        f.window.reset();
        AppValues values;
        values.WorkFolder = f.folder.path();
        f.window = std::make_unique<FMainDate>(*f.services, values);
    }
    // Video mode in file-time or rename mode, the video pattern the switch sets, an import.
    void importVideos(bool rename, bool recorded) {
        if (rename)
            w().OptRename->setChecked(true);
        w().ChPgDn->setChecked(true);
        QVERIFY(w().ChVideoDate->isEnabled());
        w().ChVideoDate->setChecked(recorded);
        f.prompter().answer(MsgAnswer::No);
        w().LDir->setText(f.folder.path());
        w().CmdInput->setEnabled(true);
        w().CmdInput->click();
    }

private slots:
    void initTestCase() {
        // A zone apart from UTC, with summer time, shows the conversion of UTC dates.
        qputenv("TZ", "Europe/Berlin");
        tzset();
    }
    void init() {
        f.folder.remove();
        QVERIFY(QDir().mkpath(f.folder.path()));
        f.open();
    }
    void cleanup() {
        f.window.reset();
        chmod(QFile::encodeName(f.folder.path()).constData(), 0700);
    }

    // --- recorded dates ---

    void extractionFromReports_data() {
        QTest::addColumn<QString>("report");
        QTest::addColumn<QString>("date");
        const QString field = QStringLiteral("File last modification date (local)");
        QTest::newRow("among other fields")
            << QStringLiteral("General\nComplete name : a.avi\n") + field +
                   QStringLiteral("      : 2011-08-27 20:11:00\nFile size : 3 KiB\n")
            << "2011-08-27 20:11:00";
        QTest::newRow("a field that only begins the same way")
            << QStringLiteral("File last modification date                  : UTC 2011-08-27 "
                              "12:11:00\n")
            << "";
        QTest::newRow("no such field") << QStringLiteral("General\nFormat : AVI\n") << "";
        QTest::newRow("empty report") << QString() << "";
    }
    void extractionFromReports() {
        QFETCH(QString, report);
        QFETCH(QString, date);
        QCOMPARE(ExtractVideoDate(report), date);
    }

    void mediaInfoReadsTheLocalModificationTime() {
        const QString clip = f.path(QStringLiteral("clip 1.avi"));
        writeFile(clip, QByteArray(4096, 'x'));
        FileTimesUpdate u;
        u.lastWrite = dt("2011-08-27 20:11:00");
        QVERIFY(WriteFileTimes(clip, u).outcome() != WriteOutcome::Failure);
        QCOMPARE(ReadVideoDate(clip), QStringLiteral("2011-08-27 20:11:00"));
        QCOMPARE(ReadVideoDate(f.path(QStringLiteral("missing.avi"))), QString());
    }

    // MediaInfo spells the path with the process locale; under "C" a Chinese name must still
    // reach it.
    void chineseNameUnderTheCLocale() {
        const QString clip = f.path(QStringLiteral("视频 一.avi"));
        writeFile(clip, QByteArray(4096, 'x'));
        FileTimesUpdate u;
        u.lastWrite = dt("2011-08-27 20:11:00");
        QVERIFY(WriteFileTimes(clip, u).outcome() != WriteOutcome::Failure);
        const std::string before = setlocale(LC_ALL, nullptr);
        QVERIFY(setlocale(LC_ALL, "C"));
        const QString date = ReadVideoDate(clip);
        setlocale(LC_ALL, before.c_str());
        QCOMPARE(date, QStringLiteral("2011-08-27 20:11:00"));
    }

    void videoImportFillsTheDateColumn() {
        const QString clip = f.path(QStringLiteral("a.avi"));
        writeFile(clip, QByteArray(4096, 'x'));
        FileTimesUpdate u;
        u.lastWrite = dt("2011-08-27 20:11:00");
        QVERIFY(WriteFileTimes(clip, u).outcome() != WriteOutcome::Failure);
        w().ChPgDn->setChecked(true);
        f.prompter().answer(MsgAnswer::No);
        w().LDir->setText(f.folder.path());
        w().CmdInput->click();
        QCOMPARE(g().text(1, 1), QStringLiteral("2011-08-27 20:11:00"));
        QVERIFY(g().text(1, 6).isEmpty() && g().text(1, 7).isEmpty());
    }

    // Forms the clips below do not show: older MediaInfo puts "UTC" first; ISO forms; no date.
    void containerDates_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("local");
        QTest::newRow("UTC first, winter") << "UTC 2021-01-15 10:00:00"
                                           << "2021-01-15 11:00:00";
        QTest::newRow("Z with fractions") << "2021-05-01T10:00:00.250Z"
                                          << "2021-05-01 12:00:00";
        QTest::newRow("a year alone") << "2021"
                                      << "";
        QTest::newRow("no such day") << "2021-02-30 10:00:00 UTC"
                                     << "";
    }
    void containerDates() {
        QFETCH(QString, value);
        QFETCH(QString, local);
        const std::optional<DateTime> d = ContainerDateToLocal(value);
        QCOMPARE(d ? d->toText() : QString(), local);
    }

    // The video types phones and camcorders write are listed, and each video's date is its
    // container's where chosen, its file's modification date otherwise.
    void importOfRealVideos_data() {
        QTest::addColumn<bool>("recorded");
        QTest::newRow("modification dates") << false;
        QTest::newRow("recorded dates") << true;
    }
    void importOfRealVideos() {
        QFETCH(bool, recorded);
        const QMap<QString, QString> clips = makeClips();
        if (clips.isEmpty())
            QSKIP("ffmpeg cannot make the clips here");
        importVideos(false, recorded);
        QCOMPARE(w().FileCount, int(clips.size()));
        for (int r = 1; r <= w().FileCount; ++r) {
            const QString own = clips.value(g().text(r, 0));
            const bool fallback = recorded && own.isEmpty();
            QCOMPARE(g().text(r, 1), recorded && !own.isEmpty() ? own : "2011-08-27 20:11:00");
            QCOMPARE(g().text(r, 5), fallback ? FallbackNote : QString());
        }
    }

    // The button beside the Exif buttons writes each clip's recorded date into its modification
    // time; a clip that records none keeps its stamps, and an import that took the files' own
    // dates has nothing to write.
    void recordedDatesBecomeFileTimes() {
        const QMap<QString, QString> clips = makeClips();
        if (clips.isEmpty())
            QSKIP("ffmpeg cannot make the clips here");
        const auto modified = [&](const QString &name) {
            return ReadFileTimes(f.path(name))->lastWrite.toText();
        };
        for (const bool recorded : {false, true}) {
            f.open();
            importVideos(false, recorded);
            w().features().fileTimesFromDate->askChoice = [] {
                return std::optional(DateStampsChoice{});
            };
            w().show();
            test::real::activate(&w());
            QVERIFY(QTest::qWaitForWindowActive(&w()));
            QVERIFY(w().CmdStampsFromDate->isEnabled());
            test::real::click(w().CmdStampsFromDate);
            for (int r = 1; r <= w().FileCount; ++r) {
                const QString name = g().text(r, 0), own = clips.value(name);
                QCOMPARE(modified(name), recorded && !own.isEmpty() ? own : "2011-08-27 20:11:00");
                if (recorded)
                    QCOMPARE(g().text(r, 5), own.isEmpty() ? NoRecordedDateText() : "修改成功");
            }
            QVERIFY(f.prompter().last().text.startsWith(recorded ? "修改完毕！"
                                                                 : "列表中视频的日期取自文件本身"));
        }
    }

    void renameAndShiftTakeTheRecordedDate() {
        const QMap<QString, QString> clips = makeClips();
        if (clips.isEmpty())
            QSKIP("ffmpeg cannot make the clips here");
        importVideos(true, true);
        w().CmdFileDateMod->click();
        QCOMPARE(filesOnDisk(), (QStringList{"2011-08-27 20.11.00.m2ts", "2011-08-27 20.11.00.mp4",
                                             "2011-08-27 20.11.00.mts", "2021-01-15 11.00.00.m4v",
                                             "2021-05-01 12.00.00.mp4", "2021-05-01 18.30.00.mov",
                                             "2021-07-04 10.09.10.mkv"}));
        QCOMPARE(g().text(f.w().FileCount, 5), FallbackNote); // f.m2ts

        f.open(); // file-time mode, the clips with their new names
        importVideos(false, true);
        PhotoDateSettings settings;
        settings.unit = ShiftUnit::Day;
        settings.earlier = false;
        settings.stepText = QStringLiteral("1");
        settings.recordedToo = true; // the dialog's "同时修改视频内记录的拍摄时间"
        w().features().dateRewrite->askSettings = [&] {
            return std::optional<PhotoDateSettings>(settings);
        };
        w().CmdFileDateMod->click();
        QCOMPARE(ReadFileTimes(f.path(QStringLiteral("2021-05-01 18.30.00.mov")))->lastWrite,
                 dt("2021-05-02 18:30:00"));
        // The movie's own date moved by as much; a clip without one moved its stamps alone.
        QCOMPARE(ReadVideoDate(f.path(QStringLiteral("2021-05-01 12.00.00.mp4")),
                               VideoDateSource::Recorded)
                     .text,
                 QStringLiteral("2021-05-02 12:00:00"));
        QCOMPARE(ReadFileTimes(f.path(QStringLiteral("2011-08-27 20.11.00.mts")))->lastWrite,
                 dt("2011-08-28 20:11:00"));
    }

    // Off at first, enabled only with videos, and kept for the next start.
    void recordedDateChoiceRemembered() {
        QVERIFY(!w().ChVideoDate->isChecked() && !w().ChVideoDate->isEnabled());
        w().ChPgDn->setChecked(true);
        w().ChVideoDate->setChecked(true);
        reopenOnTheSameSettings();
        QVERIFY(w().ChVideoDate->isChecked() && !w().ChVideoDate->isEnabled());
        w().ChPgDn->setChecked(true);
        QVERIFY(w().ChVideoDate->isEnabled());
        w().ChVideoDate->setChecked(false);
        reopenOnTheSameSettings();
        QVERIFY(!w().ChVideoDate->isChecked());
    }

    // --- video shift ---

    void videoShift_data() {
        QTest::addColumn<bool>("earlier");
        QTest::addColumn<bool>("random");
        QTest::addColumn<double>("r");
        QTest::addColumn<QString>("expected");
        QTest::newRow("3 days later") << false << false << 0.0 << "2011-08-30 20:11:00";
        QTest::newRow("3 days earlier") << true << false << 0.0 << "2011-08-24 20:11:00";
        QTest::newRow("random, lowest of 1..9") << false << true << 0.0 << "2011-08-28 20:11:00";
        QTest::newRow("random, highest of 1..9")
            << false << true << 0.9999999 << "2011-09-05 20:11:00";
    }
    void videoShift() {
        QFETCH(bool, earlier);
        QFETCH(bool, random);
        QFETCH(double, r);
        QFETCH(QString, expected);
        for (const char *name : {"a.avi", "b.mkv"}) {
            writeFile(f.path(QString::fromLatin1(name)), QByteArray(4096, 'x'));
            FileTimesUpdate u;
            u.lastWrite = dt("2011-08-27 20:11:00");
            QVERIFY(WriteFileTimes(f.path(QString::fromLatin1(name)), u).outcome() !=
                    WriteOutcome::Failure);
        }
        w().ChPgDn->setChecked(true);
        f.prompter().answer(MsgAnswer::No);
        w().LDir->setText(f.folder.path());
        w().CmdInput->click();
        QCOMPARE(w().FileCount, 2);
        g().setText(2, 1, QStringLiteral("not a date"));
        const FileTimes untouched = ReadFileTimes(f.path(QStringLiteral("b.mkv"))).value();
        PhotoDateSettings settings;
        settings.unit = ShiftUnit::Day;
        settings.earlier = earlier;
        settings.randomShift = random;
        settings.stepText = QStringLiteral("3");
        settings.stepStartText = QStringLiteral("1");
        settings.stepEndText = QStringLiteral("10");
        int asked = 0;
        bool visibleWhileAsked = false;
        w().features().dateRewrite->askSettings = [&] {
            ++asked;
            visibleWhileAsked = w().isVisible();
            return std::optional<PhotoDateSettings>(settings);
        };
        f.doubles->random.values = {r};
        w().show();
        w().CmdFileDateMod->click();
        QCOMPARE(asked, 1);
        // Only the rewrite of all photos puts the window out of the way while it asks.
        QVERIFY(visibleWhileAsked);
        const FileTimes t = ReadFileTimes(f.path(QStringLiteral("a.avi"))).value();
        QCOMPARE(t.lastWrite, dt(qPrintable(expected)));
        QCOMPARE(t.lastAccess, dt(qPrintable(expected)));
        QCOMPARE(g().text(1, 3), expected);
        QVERIFY(g().text(1, 5).startsWith(QStringLiteral("修改成功")));
        // A row without a date fails and its file keeps its stamps.
        QCOMPARE(g().text(2, 5), QStringLiteral("修改失败"));
        QCOMPARE(ReadFileTimes(f.path(QStringLiteral("b.mkv"))).value(), untouched);
        QVERIFY(w().ClearOnReset);
    }

    void videoShiftKeepsTheOtherStampsOnDisk() {
        writeFile(f.path(QStringLiteral("a.avi")), QByteArray(4096, 'x'));
        FileTimesUpdate u;
        u.lastWrite = dt("2011-08-27 20:11:00");
        u.lastAccess = dt("2010-01-01 01:01:01");
        QVERIFY(WriteFileTimes(f.path(QStringLiteral("a.avi")), u).outcome() !=
                WriteOutcome::Failure);
        w().ChPgDn->setChecked(true);
        w().LDir->setText(f.folder.path());
        w().CmdInput->click();
        const FileTimes before = ReadFileTimes(f.path(QStringLiteral("a.avi"))).value();
        w().OptModTime->setChecked(true);
        PhotoDateSettings settings;
        settings.unit = ShiftUnit::Hour;
        settings.earlier = false;
        settings.stepText = QStringLiteral("2");
        w().features().dateRewrite->askSettings = [&] {
            return std::optional<PhotoDateSettings>(settings);
        };
        w().CmdFileDateMod->click();
        const FileTimes after = ReadFileTimes(f.path(QStringLiteral("a.avi"))).value();
        QCOMPARE(after.lastWrite, dt("2011-08-27 22:11:00"));
        QCOMPARE(after.lastAccess, before.lastAccess);
        QCOMPARE(after.creation, before.creation);
        QCOMPARE(g().text(1, 5), QStringLiteral("修改成功"));
    }

    // Creation only, where the file system cannot set it: the file keeps all its stamps.
    void videoShiftOfTheCreationAloneThatCannotBeSetFails() {
        writeFile(f.path(QStringLiteral("a.avi")), QByteArray(4096, 'x'));
        FileTimesUpdate u;
        u.lastWrite = dt("2011-08-27 20:11:00");
        QVERIFY(WriteFileTimes(f.path(QStringLiteral("a.avi")), u).outcome() !=
                WriteOutcome::Failure);
        w().ChPgDn->setChecked(true);
        w().LDir->setText(f.folder.path());
        w().CmdInput->click();
        const FileTimes before = ReadFileTimes(f.path(QStringLiteral("a.avi"))).value();
        w().OptCreate->setChecked(true);
        PhotoDateSettings settings;
        settings.unit = ShiftUnit::Hour;
        settings.stepText = QStringLiteral("2");
        w().features().dateRewrite->askSettings = [&] {
            return std::optional<PhotoDateSettings>(settings);
        };
        w().CmdFileDateMod->click();
        const FileTimes after = ReadFileTimes(f.path(QStringLiteral("a.avi"))).value();
        if (after.creation != before.creation)
            QSKIP("this file system sets creation times");
        QCOMPARE(after, before);
        QCOMPARE(g().text(1, 5), QStringLiteral("修改失败"));
    }

    void cancellingTheShiftWritesNothingAndResets() {
        writeFile(f.path(QStringLiteral("a.avi")), QByteArray(4096, 'x'));
        w().ChPgDn->setChecked(true);
        w().LDir->setText(f.folder.path());
        w().CmdInput->click();
        const FileTimes before = ReadFileTimes(f.path(QStringLiteral("a.avi"))).value();
        const int shown = int(f.prompter().shown.size());
        w().features().dateRewrite->askSettings = [] { return std::optional<PhotoDateSettings>(); };
        w().CmdFileDateMod->click();
        QCOMPARE(ReadFileTimes(f.path(QStringLiteral("a.avi"))).value(), before);
        QCOMPARE(f.prompter().shown.size(), shown); // no closing message
        QCOMPARE(w().FileCount, 0);                 // the reset ran
        QCOMPARE(g().rows(), 11);
        QVERIFY(!w().ClearOnReset);
    }

    // --- names ---

    void baseNames_data() {
        QTest::addColumn<QString>("date");
        QTest::addColumn<bool>("video");
        QTest::addColumn<QString>("base");
        QTest::newRow("photo") << "2011:08:27 20:11:00" << false << "2011-08-27 20.11.00";
        QTest::newRow("video") << "2011-08-27 20:11:00" << true << "2011-08-27 20.11.00";
        QTest::newRow("photo without a time") << "2011:08:27" << false << "";
        QTest::newRow("empty video date") << "" << true << "";
        QTest::newRow("a separator in the date") << "2011/08/27 20:11:00" << false << "";
    }
    void baseNames() {
        QFETCH(QString, date);
        QFETCH(bool, video);
        QFETCH(QString, base);
        QCOMPARE(RenameBaseName(date, video), base);
    }

    void extensions() {
        QCOMPARE(ExtensionOf(QStringLiteral("IMG_0001.JPG")), QStringLiteral(".JPG"));
        QCOMPARE(ExtensionOf(QStringLiteral("a.b.jpeg")), QStringLiteral(".jpeg"));
        QCOMPARE(ExtensionOf(QStringLiteral("README")), QString());
    }

    void renameNeverReplaces() {
        writeFile(f.path(QStringLiteral("a")), "A");
        writeFile(f.path(QStringLiteral("b")), "B");
        QCOMPARE(RenameNoReplace(f.path(QStringLiteral("a")), f.path(QStringLiteral("b"))),
                 RenameError::Exists);
        QFile b(f.path(QStringLiteral("b")));
        QVERIFY(b.open(QIODevice::ReadOnly));
        QCOMPARE(b.readAll(), QByteArray("B"));
        QCOMPARE(RenameNoReplace(f.path(QStringLiteral("gone")), f.path(QStringLiteral("c"))),
                 RenameError::Access);
        QCOMPARE(RenameNoReplace(f.path(QStringLiteral("a")), f.path(QStringLiteral("c"))),
                 RenameError::None);
        QCOMPARE(filesOnDisk(), (QStringList{"b", "c"}));
    }

    // --- rename mode on real photos ---

    void photosAreRenamedAfterTheirDates() {
        photo(QStringLiteral("DSC01234.jpg"), "2011:08:27 20:11:00");
        photo(QStringLiteral("DSC01235.jpg"), "2011:08:27 20:11:00"); // the same second
        photo(QStringLiteral("IMG_7.JPG"), "2013:03:04 05:06:07");    // extension case kept
        photo(QStringLiteral("DSC9"), "2014:05:06 07:08:09");         // no extension at all
        photo(QStringLiteral("照片.jpg"), "2012:01:02 03:04:05");
        photo(QStringLiteral("unknown.jpg"), "    :  :     :  :  ");
        writeFile(f.path(QStringLiteral("plain.jpg")), test::JpegBuilder().build().bytes);
        importForRename(false, QStringLiteral("*.jpg;DSC9"));
        QCOMPARE(w().FileCount, 7);
        w().CmdFileDateMod->click();

        QCOMPARE(filesOnDisk(), (QStringList{"2011-08-27 20.11.00.jpg", "2012-01-02 03.04.05.jpg",
                                             "2013-03-04 05.06.07.JPG", "2014-05-06 07.08.09",
                                             "DSC01235.jpg", "plain.jpg", "unknown.jpg"}));
        auto row = [&](const QString &name) {
            for (int r = 1; r < g().rows(); ++r)
                if (g().text(r, 0) == name)
                    return r;
            return -1;
        };
        const int first = row(QStringLiteral("DSC01234.jpg"));
        QCOMPARE(g().text(first, 1), QStringLiteral("2011-08-27 20.11.00.jpg"));
        QVERIFY(g().text(first, 5).isEmpty());
        const int second = row(QStringLiteral("DSC01235.jpg"));
        QCOMPARE(g().text(second, 1), QStringLiteral("DSC01235.jpg"));
        QCOMPARE(g().text(second, 5), QStringLiteral("更名失败(同名)"));
        QCOMPARE(g().text(row(QStringLiteral("照片.jpg")), 1),
                 QStringLiteral("2012-01-02 03.04.05.jpg"));
        for (const char *name : {"unknown.jpg", "plain.jpg"}) {
            const int r = row(QString::fromUtf8(name));
            QCOMPARE(g().text(r, 1), QString::fromUtf8(name));
            QCOMPARE(g().text(r, 5), QStringLiteral("更名失败(日期无效)"));
        }
        QCOMPARE(
            f.prompter().last().text,
            QStringLiteral("修改完毕！\r\n\r\n稍后须单击重置所有按钮后方能进行下一次新操作！"));
        QVERIFY(w().ClearOnReset);
        QVERIFY(w().CmdReset->isEnabled());
        QVERIFY(!w().CmdFileDateMod->isEnabled());
    }

    void readOnlyFolderRefusesEveryRename() {
        photo(QStringLiteral("a.jpg"), "2011:08:27 20:11:00");
        importForRename(false, QStringLiteral("*.jpg"));
        const QByteArray folder = QFile::encodeName(f.folder.path());
        bool mounted = false;
        if (geteuid() == 0) {
            // Permissions do not stop the administrator: make the folder a read-only mount.
            mounted =
                mount(folder.constData(), folder.constData(), nullptr, MS_BIND, nullptr) == 0 &&
                mount(nullptr, folder.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                      nullptr) == 0;
            if (!mounted) {
                umount(folder.constData());
                QSKIP("this machine refuses a read-only bind mount");
            }
        } else {
            QVERIFY(chmod(folder.constData(), 0500) == 0);
        }
        w().CmdFileDateMod->click();
        const QString text = g().text(1, 5);
        const QStringList files = filesOnDisk();
        if (mounted)
            umount(folder.constData());
        QCOMPARE(text, QStringLiteral("更名失败(文件访问错误)"));
        QCOMPARE(g().text(1, 1), QStringLiteral("a.jpg"));
        QCOMPARE(files, QStringList{"a.jpg"});
    }

    void videosWithAndWithoutDates() {
        const QString clip = f.path(QStringLiteral("clip.MOV"));
        writeFile(clip, QByteArray(4096, 'x'));
        FileTimesUpdate u;
        u.lastWrite = dt("2011-08-27 20:11:00");
        QVERIFY(WriteFileTimes(clip, u).outcome() != WriteOutcome::Failure);
        writeFile(f.path(QStringLiteral("noext")), "x");
        importForRename(true, QStringLiteral("*.mov;noext"));
        QCOMPARE(w().FileCount, 2);
        g().setText(2, 2, QString()); // a video whose date could not be read
        w().CmdFileDateMod->click();
        QCOMPARE(filesOnDisk(), (QStringList{"2011-08-27 20.11.00.MOV", "noext"}));
        QCOMPARE(g().text(2, 5), QStringLiteral("更名失败(日期无效)"));
    }
};

QTEST_MAIN(VideoRenameTest)
#include "video_rename_test.moc"
