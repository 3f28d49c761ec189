#include "gui/photo/date_rewrite.h"
#include "gui/window/features.h"
#include "gui/window/notice_window.h"
#include "tests/photo/photo_window.h"
#include "tests/support/real_input.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QProgressBar>
#include <QScopeGuard>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kalmora;

Q_DECLARE_METATYPE(kalmora::PhotoDateSettings)

namespace {

QByteArray dated(const QByteArray &date) {
    return test::cameraPhoto(test::ByteOrder::Little, date).bytes;
}

// An XMP segment ahead of the Exif one: the date can be read, but the patcher finds no Exif.
QByteArray xmpFirst(const QByteArray &date) {
    test::TiffBuilder tiff(test::ByteOrder::Big);
    const int ifd0 = tiff.addDirectory(), exif = tiff.addDirectory();
    tiff.add(ifd0, tiff.pointer(test::ExifTags::ExifIfdPointer, exif));
    tiff.add(exif, tiff.ascii(test::ExifTags::DateTimeOriginal, date));
    return test::JpegBuilder()
        .xmp("<x:xmpmeta xmlns:x='adobe:ns:meta/'/>")
        .exif(tiff.build().bytes)
        .build()
        .bytes;
}

// A photo with a second shooting-date field besides the Exif directory's: in IFD0 (which the
// patcher meets first) or in the interoperability directory (which a full read lists last).
QByteArray secondDateField(bool inIfd0) {
    using namespace test::ExifTags;
    test::TiffBuilder tiff(test::ByteOrder::Little);
    const int ifd0 = tiff.addDirectory(), exif = tiff.addDirectory();
    tiff.add(ifd0, tiff.ascii(Model, "Cam"));
    tiff.add(ifd0, tiff.pointer(ExifIfdPointer, exif));
    if (inIfd0)
        tiff.add(ifd0, tiff.ascii(DateTimeOriginal, "2001:01:01 01:01:01"));
    tiff.add(exif, tiff.ascii(DateTimeOriginal, "2011:08:27 20:11:00"));
    if (!inIfd0) {
        const int interop = tiff.addDirectory();
        tiff.add(exif, tiff.pointer(0xA005, interop));
        tiff.add(interop, tiff.ascii(DateTimeOriginal, "2001:01:01 01:01:01"));
    }
    return test::JpegBuilder().exif(tiff.build().bytes).build().bytes;
}

PhotoDateSettings settings(ShiftUnit unit, const char *step, bool earlier = true) {
    PhotoDateSettings s;
    s.unit = unit;
    s.stepText = QLatin1String(step);
    s.earlier = earlier;
    return s;
}

} // namespace

class DateRewriteTest : public QObject {
    Q_OBJECT
private:
    test::PhotoWindow f;
    FMainDate &w() { return f.w(); }
    FileGrid &g() { return f.g(); }
    QString cell(const char *name, int col) { return g().text(f.rowOf(QLatin1String(name)), col); }

    bool visibleWhileAsked = true;

    // The dialog's answer, noting whether the main window was out of the way meanwhile.
    void answer(const std::optional<PhotoDateSettings> &s) {
        w().features().dateRewrite->askSettings = [this, s]() -> std::optional<PhotoDateSettings> {
            visibleWhileAsked = w().isVisible();
            return s;
        };
    }

private slots:
    void init() {
        f.reopen();
        w().show();
    }
    void cleanup() {
        f.window.reset();
        FNoticeMsg::closeNotice();
    }

    void allRowsReadBackByExiftool_data() {
        QTest::addColumn<PhotoDateSettings>("s");
        QTest::addColumn<QList<double>>("random");
        QTest::addColumn<QStringList>("expected"); // a.jpg, b.jpg, c.jpg

        QTest::newRow("3 days earlier")
            << settings(ShiftUnit::Day, "3") << QList<double>{}
            << QStringList{"2011:08:24 20:11:00", "2012:01:28 23:59:59", "2011:03:28 10:00:00"};
        QTest::newRow("one month later, from 31 January")
            << settings(ShiftUnit::Month, "1", false) << QList<double>{}
            << QStringList{"2011:09:27 20:11:00", "2012:02:29 23:59:59", "2011:04:30 10:00:00"};
        PhotoDateSettings random = settings(ShiftUnit::Hour, "", false);
        random.randomShift = true;
        random.stepStartText = QStringLiteral("1");
        random.stepEndText = QStringLiteral("10");
        QTest::newRow("random hours later")
            << random << QList<double>{0.0, 0.5, 0.99}
            << QStringList{"2011:08:27 21:11:00", "2012:02:01 04:59:59", "2011:03:31 19:00:00"};
        PhotoDateSettings start = settings(ShiftUnit::Second, "10");
        start.newStart = true;
        start.startText = QStringLiteral("2011-8-7 9:05:03");
        QTest::newRow("new start every 10 seconds")
            << start << QList<double>{}
            << QStringList{"2011:08:07 09:05:03", "2011:08:07 09:05:13", "2011:08:07 09:05:23"};
    }
    void allRowsReadBackByExiftool() {
        if (f.exiftoolPath().isEmpty())
            QSKIP("exiftool is not installed");
        QFETCH(PhotoDateSettings, s);
        QFETCH(QList<double>, random);
        QFETCH(QStringList, expected);
        f.write(QStringLiteral("a.jpg"), dated("2011:08:27 20:11:00"));
        f.write(QStringLiteral("b.jpg"), dated("2012:01:31 23:59:59"));
        f.write(QStringLiteral("c.jpg"), dated("2011:03:31 10:00:00"));
        f.importPhotos();
        const qsizetype size = f.bytesOf(QStringLiteral("a.jpg")).size();
        f.doubles->random.values = random;
        answer(s);
        w().CmdPicDateMod->click();

        for (int r = 1; r <= 3; ++r) {
            const QString name = g().text(r, 0);
            QCOMPARE(f.exiftool({"-s3", "-DateTimeOriginal", f.path(name)}), expected[r - 1]);
            QCOMPARE(g().text(r, 2), expected[r - 1]);
            QCOMPARE(g().text(r, 5), QStringLiteral("修改成功"));
        }
        QCOMPARE(f.bytesOf(QStringLiteral("a.jpg")).size(), size);
        QCOMPARE(f.prompter().texts(), QStringList{RewriteSummaryText(s)});
        // The applied state: only a reset leads on.
        QVERIFY(w().isVisible());
        QVERIFY(FNoticeMsg::current() && FNoticeMsg::current()->isVisible());
        QVERIFY(w().ClearOnReset && w().CmdInput->isEnabled() && !w().CmdPicDateMod->isEnabled());
        QVERIFY(!w().Busy && !w().OperationRunning && !w().RewriteRunning && !w().ApplyRunning);
        QCOMPARE(w().ProgressBar1->value(), 0);
    }

    // With the choice on, the digitized and modified dates move with the shooting date (each from
    // its own value) or take the same new date; no other byte of the photo changes.
    void otherDatesFollow_data() {
        QTest::addColumn<int>("order");
        QTest::addColumn<bool>("currentRow");
        QTest::addColumn<PhotoDateSettings>("s");
        QTest::addColumn<QStringList>("expected"); // original, digitized, modified of a.jpg
        QTest::addColumn<QList<double>>("random");
        QTest::addColumn<QList<int>>("rowSeconds"); // how far each row's dates lie from a.jpg's
        PhotoDateSettings earlier = settings(ShiftUnit::Month, "1");
        earlier.allDates = true;
        PhotoDateSettings start = settings(ShiftUnit::Second, "10");
        start.allDates = true;
        start.newStart = true;
        start.startText = QStringLiteral("2013-4-5 6:07:08");
        PhotoDateSettings random = settings(ShiftUnit::Hour, "", false);
        random.allDates = true;
        random.randomShift = true;
        random.stepStartText = QStringLiteral("1");
        random.stepEndText = QStringLiteral("10");
        for (const auto order : {test::ByteOrder::Little, test::ByteOrder::Big}) {
            const char *const name = order == test::ByteOrder::Little ? "II" : "MM";
            QTest::addRow("%s: one month earlier, each from its own date", name)
                << int(order) << false << earlier
                << QStringList{"2011:02:28 20:11:00", "2011:02:28 21:00:00", "2011:03:01 09:30:00"}
                << QList<double>{} << QList<int>{0, 0, 0};
            // One amount per photo, drawn once for its three dates.
            QTest::addRow("%s: random hours later, one draw per photo", name)
                << int(order) << false << random
                << QStringList{"2011:03:29 01:11:00", "2011:03:29 02:00:00", "2011:04:01 14:30:00"}
                << QList<double>{0.5, 0.0, 0.99} << QList<int>{0, -4 * 3600, 4 * 3600};
            QTest::addRow("%s: a new start for all three", name)
                << int(order) << false << start
                << QStringList{"2013:04:05 06:07:08", "2013:04:05 06:07:08", "2013:04:05 06:07:08"}
                << QList<double>{} << QList<int>{0, 10, 20};
            QTest::addRow("%s: the current row, all three to the start fields", name)
                << int(order) << true << PhotoDateSettings()
                << QStringList{"2013:04:05 06:07:08", "2013:04:05 06:07:08", "2013:04:05 06:07:08"}
                << QList<double>{} << QList<int>{0, 0, 0};
        }
    }
    void otherDatesFollow() {
        if (f.exiftoolPath().isEmpty())
            QSKIP("exiftool is not installed");
        QFETCH(int, order);
        QFETCH(bool, currentRow);
        QFETCH(PhotoDateSettings, s);
        QFETCH(QStringList, expected);
        QFETCH(QList<double>, random);
        QFETCH(QList<int>, rowSeconds);
        const auto byteOrder = test::ByteOrder(order);
        const test::SamplePhoto all = test::cameraPhotoDates(
            byteOrder, "2011:03:28 20:11:00", "2011:03:28 21:00:00", "2011:04:01 09:30:00");
        const test::SamplePhoto noDigitized =
            test::cameraPhotoDates(byteOrder, "2011:03:28 20:11:00", "", "2011:04:01 09:30:00");
        const test::SamplePhoto noModified =
            test::cameraPhotoDates(byteOrder, "2011:03:28 20:11:00", "2011:03:28 21:00:00", "");
        f.write(QStringLiteral("a.jpg"), all.bytes);
        f.write(QStringLiteral("b.jpg"), noDigitized.bytes);
        f.write(QStringLiteral("c.jpg"), noModified.bytes);
        f.importPhotos();
        if (currentRow) {
            QVERIFY(f.doubles->settings.setValue(
                QStringLiteral("Options"), QStringLiteral("AllExifDates"), QStringLiteral("1")));
            f.setWindow(DateTime(2013, 4, 5, 6, 7, 8), DateTime(2013, 4, 6, 18, 0, 0));
            f.prompter().answer(MsgAnswer::Ok);
        } else {
            f.doubles->random.values = random;
            answer(s);
        }
        const QStringList rows = {"a.jpg", "b.jpg", "c.jpg"};
        const QList<const test::SamplePhoto *> photos = {&all, &noDigitized, &noModified};
        const QStringList notes = {"", "(无数字化时间)", "(无修改时间)"};
        for (int k = 0; k < (currentRow ? 3 : 1); ++k) {
            if (currentRow) {
                w().Option3->setChecked(true);
                g().selectRow(f.rowOf(rows[k]));
                f.prompter().answer(MsgAnswer::Ok);
                w().CmdPicDateMod->setEnabled(true);
            }
            w().CmdPicDateMod->click();
        }

        for (int k = 0; k < 3; ++k) {
            const test::SamplePhoto &photo = *photos[k];
            const QString path = f.path(rows[k]);
            QCOMPARE(cell(qPrintable(rows[k]), 5), QStringLiteral("修改成功") + notes[k]);
            // Byte for byte the photo as built, but for the dates it holds.
            QByteArray want = photo.bytes;
            const qsizetype positions[] = {photo.dateTimeOriginalPosition,
                                           photo.dateTimeDigitizedPosition, photo.dateTimePosition};
            QStringList read =
                f.exiftool({"-s3", "-DateTimeOriginal", "-CreateDate", "-ModifyDate", path})
                    .value_or(QString())
                    .split(QLatin1Char('\n'));
            for (int d = 0; d < 3; ++d) {
                if (positions[d] == 0)
                    continue;
                const QString date = DateTime::parse(HyphenDateText(expected[d]))
                                         ->addSeconds(rowSeconds[k])
                                         .toExifText();
                want.replace(positions[d], 19, date.toLatin1());
                QCOMPARE(read.takeFirst().trimmed(), date);
            }
            QVERIFY(read.isEmpty());
            QCOMPARE(f.bytesOf(rows[k]), want);
        }
    }

    // The row shows the date a full read of the photo finds after the patch, also where that is
    // not the field the patch wrote.
    void rowShowsWhatAReaderFinds_data() {
        QTest::addColumn<QByteArray>("photo");
        QTest::addColumn<QString>("original");
        QTest::addColumn<QString>("shown");
        QTest::newRow("one field") << dated("2011:08:27 20:11:00") << "2011:08:27 20:11:00"
                                   << "2011:08:24 20:11:00";
        QTest::newRow("second field in the interoperability directory")
            << secondDateField(false) << "2011:08:27 20:11:00"
            << "2001:01:01 01:01:01";
        QTest::newRow("second field in IFD0, patched first")
            << secondDateField(true) << "2001:01:01 01:01:01"
            << "2011:08:27 20:11:00";
    }
    void rowShowsWhatAReaderFinds() {
        QFETCH(QByteArray, photo);
        QFETCH(QString, original);
        QFETCH(QString, shown);
        f.write(QStringLiteral("a.jpg"), photo);
        f.importPhotos();
        QCOMPARE(g().text(1, 1), original);
        answer(settings(ShiftUnit::Day, "3"));
        w().CmdPicDateMod->click();
        QCOMPARE(g().text(1, 5), QStringLiteral("修改成功"));
        QCOMPARE(g().text(1, 2), shown);
    }

    void rowsWithoutAUsableDate_data() {
        QTest::addColumn<bool>("newStart");
        QTest::addColumn<QStringList>("results"); // a, b (no Exif), c (no date field), d
        QTest::addColumn<QStringList>("dates");
        QTest::newRow("new start: every row that reaches the formula takes a step")
            << true << QStringList{"修改成功", "Exif信息丢失", "Exif信息丢失", "修改成功"}
            << QStringList{"2011:08:07 09:05:03", "-", "2010:05:06 07:08:09",
                           "2011:08:07 09:35:03"};
        QTest::newRow("shift: a row without date is refused")
            << false << QStringList{"修改成功", "失败(日期数据异常)", "Exif信息丢失", "修改成功"}
            << QStringList{"2011:08:26 20:11:00", "-", "2010:05:06 07:08:09",
                           "2011:08:27 20:11:00"};
    }
    void rowsWithoutAUsableDate() {
        QFETCH(bool, newStart);
        QFETCH(QStringList, results);
        QFETCH(QStringList, dates);
        f.write(QStringLiteral("a.jpg"), dated("2011:08:27 20:11:00"));
        f.write(QStringLiteral("b.jpg"), test::JpegBuilder().build().bytes);
        f.write(QStringLiteral("c.jpg"), xmpFirst("2010:05:06 07:08:09"));
        f.write(QStringLiteral("d.jpg"), dated("2011:08:28 20:11:00"));
        f.importPhotos();
        const QByteArray b = f.bytesOf(QStringLiteral("b.jpg")),
                         c = f.bytesOf(QStringLiteral("c.jpg"));
        PhotoDateSettings s =
            settings(newStart ? ShiftUnit::Minute : ShiftUnit::Day, newStart ? "10" : "1");
        s.newStart = newStart;
        s.startText = QStringLiteral("2011-08-07 09:05:03");
        answer(s);
        // What column 2 held before: a row the rewrite found no date in leaves it as it was.
        for (int r = 1; r <= 4; ++r)
            g().setText(r, 2, QStringLiteral("-"));
        test::real::click(w().CmdPicDateMod);
        for (int r = 1; r <= 4; ++r) {
            QCOMPARE(g().text(r, 5), results[r - 1]);
            QCOMPARE(g().text(r, 2), dates[r - 1]);
        }
        QCOMPARE(f.bytesOf(QStringLiteral("b.jpg")), b);
        QCOMPARE(f.bytesOf(QStringLiteral("c.jpg")), c);
    }

    void photosGoneOrDatesOutOfRange_data() {
        QTest::addColumn<PhotoDateSettings>("s");
        QTest::addColumn<QString>("gone"); // what became of b.jpg after the import
        QTest::addColumn<QStringList>("results");
        QTest::addColumn<QStringList>("dates");
        const QString failed = QStringLiteral("修改失败(文件访问错误)");
        const QString done = QStringLiteral("修改成功");
        const QString bad = QStringLiteral("失败(日期数据异常)");
        QTest::newRow("deleted: an access error, its date back")
            << settings(ShiftUnit::Day, "1") << "deleted" << QStringList{done, failed, done}
            << QStringList{"2011:08:26 20:11:00", "2012:01:31 23:59:59", "2011:03:30 10:00:00"};
        QTest::newRow("replaced by a folder")
            << settings(ShiftUnit::Day, "1") << "folder" << QStringList{done, failed, done}
            << QStringList{"2011:08:26 20:11:00", "2012:01:31 23:59:59", "2011:03:30 10:00:00"};
        PhotoDateSettings start = settings(ShiftUnit::Second, "10");
        start.newStart = true;
        start.startText = QStringLiteral("2011-08-07 09:05:03");
        QTest::newRow("new start: a failed patch takes its step too")
            << start << "deleted" << QStringList{done, failed, done}
            << QStringList{"2011:08:07 09:05:03", "2012:01:31 23:59:59", "2011:08:07 09:05:23"};
        QTest::newRow("before year 1") << settings(ShiftUnit::Year, "3000") << ""
                                       << QStringList{bad, bad, bad} << QStringList{"", "", ""};
    }
    void photosGoneOrDatesOutOfRange() {
        QFETCH(PhotoDateSettings, s);
        QFETCH(QString, gone);
        QFETCH(QStringList, results);
        QFETCH(QStringList, dates);
        f.write(QStringLiteral("a.jpg"), dated("2011:08:27 20:11:00"));
        f.write(QStringLiteral("b.jpg"), dated("2012:01:31 23:59:59"));
        f.write(QStringLiteral("c.jpg"), dated("2011:03:31 10:00:00"));
        f.importPhotos();
        const QByteArray c = f.bytesOf(QStringLiteral("c.jpg"));
        if (!gone.isEmpty())
            QVERIFY(QFile::remove(f.path(QStringLiteral("b.jpg"))));
        if (gone == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(f.path(QStringLiteral("b.jpg"))));
        answer(s);
        test::real::click(w().CmdPicDateMod);
        for (int r = 1; r <= 3; ++r) {
            QCOMPARE(g().text(r, 5), results[r - 1]);
            QCOMPARE(g().text(r, 2), dates[r - 1]);
        }
        if (results[2] != QStringLiteral("修改成功"))
            QCOMPARE(f.bytesOf(QStringLiteral("c.jpg")), c);
    }

    void unwritablePhotoIsNoSuccess() {
        f.write(QStringLiteral("locked.jpg"), dated("2011:08:27 20:11:00"));
        f.importPhotos();
        const QByteArray path = QFile::encodeName(f.path(QStringLiteral("locked.jpg")));
        const QByteArray folder = QFile::encodeName(f.folder.path());
        const QByteArray before = f.bytesOf(QStringLiteral("locked.jpg"));
        QVERIFY(chmod(path.constData(), 0444) == 0 && chmod(folder.constData(), 0555) == 0);
        // Root writes through permission bits; the immutable flag stops it too.
        int fd = -1, plain = 0;
        const auto restore = qScopeGuard([&] {
            if (fd >= 0) {
                ioctl(fd, FS_IOC_SETFLAGS, &plain);
                close(fd);
            }
            chmod(folder.constData(), 0755);
            chmod(path.constData(), 0644);
        });
        if (geteuid() == 0) {
            fd = open(path.constData(), O_RDONLY);
            int flags = 0;
            if (fd < 0 || ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0)
                QSKIP("no file flags here");
            plain = flags;
            flags |= FS_IMMUTABLE_FL;
            if (ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0)
                QSKIP("cannot make the file immutable");
        }
        answer(settings(ShiftUnit::Day, "3"));
        w().CmdPicDateMod->click();
        QCOMPARE(g().text(1, 5), QStringLiteral("修改失败(文件访问错误)"));
        QCOMPARE(g().text(1, 2), QStringLiteral("2011:08:27 20:11:00"));

        // The current row says it in its own words.
        w().CmdPicDateMod->setEnabled(true);
        w().Option3->setChecked(true);
        f.prompter().answer(MsgAnswer::Ok);
        w().CmdPicDateMod->click();
        QCOMPARE(g().text(1, 5), QStringLiteral("修改失败"));
        QCOMPARE(f.bytesOf(QStringLiteral("locked.jpg")), before);
    }

    void currentRow() {
        f.write(QStringLiteral("a.jpg"), dated("2011:08:27 20:11:00"));
        f.write(QStringLiteral("b.jpg"), dated("2011:08:28 20:11:00"));
        f.importPhotos();
        f.setWindow(DateTime(2013, 4, 5, 6, 7, 8), DateTime(2013, 4, 6, 18, 0, 0));
        const QByteArray a = f.bytesOf(QStringLiteral("a.jpg")),
                         b = f.bytesOf(QStringLiteral("b.jpg"));
        w().Option3->setChecked(true);
        g().selectRow(2);
        f.prompter().answer(MsgAnswer::Cancel);
        w().CmdPicDateMod->click();
        const Message ask = f.prompter().last();
        QCOMPARE(ask.text, QStringLiteral("修改拍摄日期时间，有歪曲事实作弊之嫌！ 你确定要用\r\n"
                                          "起始日期时间来修改当前行的数码照片的拍摄日期？"));
        QCOMPARE(ask.title, QStringLiteral("警 告"));
        QCOMPARE(ask.icon, MsgIcon::Warning);
        QCOMPARE(ask.defaultButton, std::optional<MsgAnswer>(MsgAnswer::Cancel));
        QVERIFY(w().Option1->isChecked());
        QCOMPARE(f.bytesOf(QStringLiteral("b.jpg")), b);

        w().Option3->setChecked(true);
        g().selectRow(2);
        f.prompter().answer(MsgAnswer::Ok);
        w().CmdPicDateMod->click();
        QCOMPARE(f.prompter().last().text, QStringLiteral("改写完毕！"));
        QCOMPARE(g().text(2, 2), QStringLiteral("2013:04:05 06:07:08"));
        QCOMPARE(g().text(2, 5), QStringLiteral("修改成功"));
        QCOMPARE(f.bytesOf(QStringLiteral("a.jpg")), a);
        QVERIFY(w().Option1->isChecked() && w().Frame5->isEnabled() && !w().ChExclude->isEnabled());
        QVERIFY(!w().Busy && !w().RewriteRunning && !w().OperationRunning);
    }

    void cancelChangesNothing() {
        f.write(QStringLiteral("a.jpg"), dated("2011:08:27 20:11:00"));
        f.importPhotos();
        const QByteArray a = f.bytesOf(QStringLiteral("a.jpg"));
        answer(std::nullopt);
        w().CmdPicDateMod->click();
        QVERIFY(!visibleWhileAsked);
        QVERIFY(w().isVisible());
        QCOMPARE(f.bytesOf(QStringLiteral("a.jpg")), a);
        QVERIFY(f.prompter().shown.isEmpty());
        QVERIFY(w().CmdPicDateMod->isEnabled() && !w().Busy && !w().ClearOnReset);
        QCOMPARE(g().text(1, 5), QString());

        w().state().workStarted(); // another operation runs: only a beep
        w().CmdPicDateMod->click();
        QCOMPARE(f.prompter().beeps, 1);
    }
};

QTEST_MAIN(DateRewriteTest)
#include "date_rewrite_test.moc"
