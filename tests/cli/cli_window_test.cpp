// The same batch on two copies of a folder, once through the real window and once through
// kalmora-cli: every stamp, every byte and every name must come out the same.
#include "core/filetime/file_times.h"
#include "core/grid/file_grid.h"
#include "gui/photo/date_rewrite.h"
#include "gui/photo/file_times_from_date.h"
#include "gui/window/features.h"
#include "tests/cli/cli_support.h"
#include "tests/support/files.h"
#include "tests/support/jpeg_builder.h"
#include "tests/support/real_input.h"
#include "tests/support/window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>

using namespace kalmora;
using namespace kalmora::test;

namespace {

DateTime dt(const char *text) {
    return DateTime::parse(QLatin1String(text)).value();
}

} // namespace

class CliWindowTest : public QObject {
    Q_OBJECT
private:
    WindowFixture f;
    std::unique_ptr<QTemporaryDir> copy;  // the command line's folder
    std::unique_ptr<QTemporaryDir> homes; // the command line's state and settings
    FMainDate &w() { return f.w(); }
    FileGrid &g() { return *f.w().VSFlexGrid1; }

    // The same file in both folders, with the same stamps to the nanosecond.
    // The access time is recent and after the modification time, so that reading a photo
    // leaves it alone (relatime).
    void both(const QString &name, const QByteArray &bytes) {
        const qint64 now = QDateTime::currentSecsSinceEpoch() + 2;
        for (const QString &folder : {f.folder.path(), copy->path()}) {
            const QString p = folder + u'/' + name;
            QVERIFY(writeFile(p, bytes));
            QVERIFY(setNanoStamps(p, 1300000000 + name.size(), 123456789, now));
        }
    }
    void photos() {
        both(QStringLiteral("IMG_2.jpg"),
             cameraPhoto(ByteOrder::Little, "2011:08:27 20:11:00").bytes);
        both(QStringLiteral("IMG_10.jpg"),
             cameraPhoto(ByteOrder::Big, "2012:02:29 00:00:00").bytes);
        both(QStringLiteral("img_1.JPG"),
             cameraPhoto(ByteOrder::Little, "2011:08:27 20:11:00").bytes);
        both(QStringLiteral("unknown.jpg"),
             cameraPhoto(ByteOrder::Little, "    :  :     :  :  ").bytes);
        both(QStringLiteral("bare.jpg"), JpegBuilder().build().bytes);
    }
    int rowOf(const QString &name) {
        for (int r = 1; r < g().rows(); ++r)
            if (g().text(r, 0) == name)
                return r;
        return -1;
    }
    // The command line's lines by file name: the tab-separated fields after the path.
    QMap<QString, QList<QByteArray>> linesByName(const CliRun &run) {
        QMap<QString, QList<QByteArray>> m;
        for (const QByteArray &line : run.lines()) {
            QList<QByteArray> fields = line.split('\t');
            const QString path = QString::fromUtf8(fields.takeFirst());
            m.insert(path.mid(path.lastIndexOf(u'/') + 1), fields);
        }
        return m;
    }
    void compareFolders() {
        const auto windowSide = folderState(f.folder.path());
        const auto cliSide = folderState(copy->path());
        QCOMPARE(cliSide.keys(), windowSide.keys());
        for (auto it = windowSide.cbegin(); it != windowSide.cend(); ++it) {
            const DiskState &a = it.value();
            const DiskState &b = cliSide.value(it.key());
            QVERIFY2(a.bytes == b.bytes, qPrintable(it.key()));
            const auto stamps = [](const DiskState &d) {
                return QStringLiteral("m %1.%2 a %3.%4")
                    .arg(d.mtimeSec)
                    .arg(d.mtimeNsec, 9, 10, QLatin1Char('0'))
                    .arg(d.atimeSec)
                    .arg(d.atimeNsec, 9, 10, QLatin1Char('0'));
            };
            QCOMPARE(it.key() + u' ' + stamps(b), it.key() + u' ' + stamps(a));
        }
    }

private slots:
    void init() {
        f.folder.remove();
        QVERIFY(QDir().mkpath(f.folder.path()));
        copy = std::make_unique<QTemporaryDir>();
        // The command line's journal and settings, away from the user's own.
        homes = std::make_unique<QTemporaryDir>();
        QVERIFY(homes->isValid());
        qputenv("XDG_STATE_HOME", QFile::encodeName(homes->filePath(QStringLiteral("state"))));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(homes->filePath(QStringLiteral("config"))));
        f.open();
    }
    void cleanup() { f.window.reset(); }

    void applyMatchesTheWindow_data() {
        QTest::addColumn<bool>("workingHours");
        QTest::addColumn<bool>("seconds");
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("stamps"); // c,m,a or one letter
        QTest::newRow("fixed minutes, all stamps") << false << false << "7"
                                                   << "c,m,a";
        QTest::newRow("seconds, modification only") << false << true << "45"
                                                    << "m";
        QTest::newRow("working hours and lunch, access only") << true << false << "300"
                                                              << "a";
    }
    void applyMatchesTheWindow() {
        QFETCH(bool, workingHours);
        QFETCH(bool, seconds);
        QFETCH(QString, step);
        QFETCH(QString, stamps);
        for (const char *name : {"IMG_10.jpg", "img_2.JPG", "IMG_1.jpg", "a.gif", "notes.txt"})
            both(QString::fromLatin1(name), QByteArray("content of ") + name);
        const DateTime start = dt("2011-08-27 08:00:00"), end = dt("2011-08-30 18:00:00");

        f.setWindow(start, end);
        (seconds ? w().OptSec : w().OptMin)->setChecked(true);
        w().TStep->setText(step);
        w().ChOnWorkTime->setChecked(workingHours);
        w().ChExclude->setChecked(!workingHours);
        w().CmdTimeZone->click();
        if (workingHours) {
            w().CmdTimeOnOffDuty->click();
            w().CmdWordBreakTime->click();
        }
        f.importFolder(DefaultPicturePattern());
        QCOMPARE(w().FileCount, 4);
        const QHash<QString, QRadioButton *> options = {
            {"c,m,a", w().OptAll}, {"m", w().OptModTime}, {"a", w().OptAccessDate}};
        options.value(stamps)->setChecked(true);
        w().CmdFileDateMod->click();

        QStringList arguments{"apply",
                              "--start",
                              start.toText(),
                              "--end",
                              end.toText(),
                              "--step",
                              step + (seconds ? "s" : "m"),
                              "--stamps",
                              stamps};
        if (workingHours)
            arguments << "--working-hours"
                      << "08:00-18:00"
                      << "--lunch"
                      << "12:00-14:00";
        const CliRun run = runCli(arguments << copy->path());
        QCOMPARE(run.exit, 0);
        compareFolders();
        const auto lines = linesByName(run);
        QCOMPARE(lines.size(), 4);
        for (auto it = lines.cbegin(); it != lines.cend(); ++it) {
            const int r = rowOf(it.key());
            QVERIFY(r > 0);
            QCOMPARE(QString::fromUtf8(it.value().value(4)), g().text(r, 5));
            QCOMPARE(QString::fromUtf8(it.value().value(2)), g().text(r, 3));
        }
    }

    void shiftDateMatchesTheWindow_data() {
        QTest::addColumn<bool>("newStart");
        QTest::addColumn<QStringList>("options");
        QTest::newRow("two days earlier") << false << QStringList{"--by", "-2d"};
        QTest::newRow("new start, 45 seconds apart")
            << true << QStringList{"--new-start", "2020-01-31 23:59:30", "--increment", "45s"};
    }
    void shiftDateMatchesTheWindow() {
        QFETCH(bool, newStart);
        QFETCH(QStringList, options);
        photos();
        w().OptExif->setChecked(true);
        w().LDir->setText(f.folder.path());
        w().File1->setPattern(DefaultPicturePattern());
        w().CmdInput->setEnabled(true);
        w().CmdInput->click(); // the export question keeps its default, No
        QCOMPARE(w().FileCount, 5);
        PhotoDateSettings settings;
        settings.newStart = newStart;
        settings.startText = QStringLiteral("2020-01-31 23:59:30");
        settings.stepText = newStart ? QStringLiteral("45") : QStringLiteral("2");
        settings.unit = newStart ? ShiftUnit::Second : ShiftUnit::Day;
        settings.earlier = true;
        w().features().dateRewrite->askSettings = [&] {
            return std::optional<PhotoDateSettings>(settings);
        };
        QVERIFY(w().CmdStampsFromDate->isEnabled());
        w().CmdPicDateMod->click();
        // The list's dates are no longer the photos': their file times wait for a new import.
        QVERIFY(!w().CmdStampsFromDate->isEnabled());

        const CliRun run = runCli(QStringList{"shift-date"} + options + QStringList{copy->path()});
        QCOMPARE(run.exit, 1); // the photo without Exif fails either way
        // Bytes and stamps: an in-place patch keeps the access time alone.
        const auto windowSide = folderState(f.folder.path());
        const auto cliSide = folderState(copy->path());
        for (auto it = windowSide.cbegin(); it != windowSide.cend(); ++it)
            QVERIFY2(it.value().bytes == cliSide.value(it.key()).bytes, qPrintable(it.key()));
        const auto lines = linesByName(run);
        for (auto it = lines.cbegin(); it != lines.cend(); ++it) {
            const int r = rowOf(it.key());
            QCOMPARE(QString::fromUtf8(it.value().value(3)), g().text(r, 5));
        }
        QVERIFY(windowSide.value("IMG_2.jpg").bytes !=
                cameraPhoto(ByteOrder::Little, "2011:08:27 20:11:00").bytes);
    }

    // The shooting dates, eight hours later, as modification and access times: the window's
    // button and the command line leave the same stamps and the same row texts.
    void stampsFromDateMatchesTheWindow() {
        photos();
        w().OptExif->setChecked(true);
        w().LDir->setText(f.folder.path());
        w().File1->setPattern(DefaultPicturePattern());
        w().CmdInput->setEnabled(true);
        w().CmdInput->click();
        QCOMPARE(w().FileCount, 5);
        w().features().fileTimesFromDate->askChoice = [] {
            return std::optional(DateStampsChoice{false, true, true, 8 * 3600});
        };
        w().show();
        real::activate(&w());
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        real::key(Qt::Key_F, Qt::AltModifier); // the button's mnemonic, as a user presses it
        // A mnemonic clicks the button a moment later, as a click shows.
        QTRY_VERIFY(f.prompter().last().text.startsWith(QStringLiteral("修改完毕！")));

        const CliRun run = runCli({"stamps-from-date", "--stamps", "m,a", "--shift", "+8h",
                                   "--pattern", DefaultPicturePattern(), copy->path()});
        QCOMPARE(run.exit, 1); // the photo whose date is blanks fails either way
        compareFolders();
        QCOMPARE(ReadFileTimes(f.folder.filePath("IMG_10.jpg"))->lastWrite,
                 dt("2012-02-29 08:00:00"));
        const auto lines = linesByName(run);
        QCOMPARE(lines.size(), 5);
        for (auto it = lines.cbegin(); it != lines.cend(); ++it)
            QCOMPARE(QString::fromUtf8(it.value().value(4)), g().text(rowOf(it.key()), 5));
    }

    // The phones' and cameras' formats, asked for with the window's check box: the window's
    // rewrite and the command line's leave the same bytes; the choice is kept, and without it
    // the mode's types are the JPEG and TIFF ones again.
    void otherFormatsMatchTheWindow() {
        const SamplePhoto camera = cameraPhoto(ByteOrder::Little, "2011:08:27 20:11:00");
        const QByteArray tiff =
            camera.bytes.mid(camera.tiffStart, camera.exifEnd - camera.tiffStart);
        both(QStringLiteral("a.png"), pngWithExif(tiff));
        both(QStringLiteral("b.webp"), webpWithExif(tiff));
        both(QStringLiteral("c.heic"), heicWithExif(tiff));
        both(QStringLiteral("d.jpg"), cameraPhoto(ByteOrder::Big, "2012:02:29 00:00:00").bytes);
        w().OptExif->setChecked(true);
        w().show();
        real::activate(&w());
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        real::click(w().ChAllFormats);
        QVERIFY(w().CmbFileFilter->currentText().contains(QLatin1String("*.heic")));
        w().LDir->setText(f.folder.path());
        w().CmdInput->click();
        QCOMPARE(w().FileCount, 4);
        PhotoDateSettings settings;
        settings.stepText = QStringLiteral("2");
        settings.earlier = true;
        w().features().dateRewrite->askSettings = [&] {
            return std::optional<PhotoDateSettings>(settings);
        };
        w().CmdPicDateMod->click();
        QCOMPARE(runCli({"shift-date", "--by", "-2d", "--pattern", "*.png;*.webp;*.heic;*.jpg",
                         copy->path()})
                     .exit,
                 0);
        const auto windowSide = folderState(f.folder.path());
        const auto cliSide = folderState(copy->path());
        for (auto it = windowSide.cbegin(); it != windowSide.cend(); ++it) {
            QVERIFY2(it.value().bytes == cliSide.value(it.key()).bytes, qPrintable(it.key()));
            QCOMPARE(g().text(rowOf(it.key()), 5), QStringLiteral("修改成功"));
        }

        f.window.reset();
        AppValues values;
        values.WorkFolder = f.folder.path();
        f.window = std::make_unique<FMainDate>(*f.services, values);
        QVERIFY(w().ChAllFormats->isChecked());
        w().OptExif->setChecked(true);
        w().ChAllFormats->setChecked(false);
        QCOMPARE(w().CmbFileFilter->currentText(), ExifPhotoPattern());
    }

    void renameMatchesTheWindow() {
        photos();
        w().OptRename->setChecked(true);
        w().LDir->setText(f.folder.path());
        w().File1->setPattern(DefaultPicturePattern());
        w().CmdInput->setEnabled(true);
        w().CmdInput->click();
        QCOMPARE(w().FileCount, 5);
        w().CmdFileDateMod->click();

        const CliRun run = runCli({"rename", copy->path()});
        QCOMPARE(run.exit, 1);
        compareFolders();
        QVERIFY(QFile::exists(copy->filePath(QStringLiteral("2012-02-29 00.00.00.jpg"))));
        const auto lines = linesByName(run);
        QCOMPARE(lines.size(), 5);
        for (auto it = lines.cbegin(); it != lines.cend(); ++it) {
            const int r = rowOf(it.key());
            const QString name = QString::fromUtf8(it.value().value(1));
            QCOMPARE(name.isEmpty() ? it.key() : name, g().text(r, 1));
            QCOMPARE(QString::fromUtf8(it.value().value(2)), g().text(r, 5));
        }
    }
};

QTEST_MAIN(CliWindowTest)
#include "cli_window_test.moc"
