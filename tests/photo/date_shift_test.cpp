#include "core/exif/date_shift.h"
#include "core/exif/exif_reader.h"
#include "tests/support/doubles.h"
#include "tests/support/jpeg_builder.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kalmora;

namespace {
bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class DateShiftTest : public QObject {
    Q_OBJECT
private slots:
    void startText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("year 1899 refused") << "1899-12-31 23:59:59" << false;
        QTest::newRow("year 1900 accepted") << "1900-01-01 00:00:00" << true;
        QTest::newRow("year 2200 accepted") << "2200-12-31 23:59:59" << true;
        QTest::newRow("year 2201 refused") << "2201-01-01 00:00:00" << false;
        QTest::newRow("one-digit month and hour, the blank tenth") << "2011-8-17 9:05:03" << true;
        QTest::newRow("one-digit month and day, the blank ninth") << "2011-8-7 9:05:03" << false;
        QTest::newRow("no time") << "2011-08-07" << false;
        QTest::newRow("slashes") << "2011/08/07 09:05:03" << false;
        QTest::newRow("30 February") << "2011-02-30 10:00:00" << false;
        QTest::newRow("hour 24") << "2011-08-07 24:00:00" << false;
        QTest::newRow("two blanks") << "2011-08-07  09:05:03" << false;
    }
    void startText() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(IsValidStartText(text), valid);
    }

    void baseDate_data() {
        QTest::addColumn<QString>("column1");
        QTest::addColumn<QString>("base");
        QTest::newRow("Exif form") << "2011:08:07 09:05:03"
                                   << "2011-08-07 09:05:03";
        QTest::newRow("one extra character trimmed") << "2011:08:07 09:05:031"
                                                     << "2011-08-07 09:05:03";
        QTest::newRow("two extra characters: one goes, still no date") << "2011:08:07 09:05:03.5"
                                                                       << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("single blank") << " "
                                      << "";
        QTest::newRow("no colon at the end") << "2011:08:07"
                                             << "";
        QTest::newRow("not a real date") << "2011:02:30 10:00:00"
                                         << "";
        QTest::newRow("blank camera date") << "    :  :     :  :  "
                                           << "";
    }
    void baseDate() {
        QFETCH(QString, column1);
        QFETCH(QString, base);
        const std::optional<DateTime> d = RewriteBaseDate(HyphenDateText(column1));
        QCOMPARE(d ? d->toText() : QString(), base);
    }

    void fixedShift_data() {
        QTest::addColumn<int>("unit");
        QTest::addColumn<bool>("earlier");
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one month from 31 January")
            << int(ShiftUnit::Month) << false << "2011-01-31 10:00:00"
            << "2011-02-28 10:00:00";
        QTest::newRow("one month from 31 January, leap year")
            << int(ShiftUnit::Month) << false << "2012-01-31 10:00:00"
            << "2012-02-29 10:00:00";
        QTest::newRow("one month earlier from 31 March")
            << int(ShiftUnit::Month) << true << "2011-03-31 08:00:00"
            << "2011-02-28 08:00:00";
        QTest::newRow("one year from 29 February")
            << int(ShiftUnit::Year) << false << "2012-02-29 12:00:00"
            << "2013-02-28 12:00:00";
        QTest::newRow("a day earlier over New Year")
            << int(ShiftUnit::Day) << true << "2012-01-01 20:11:00"
            << "2011-12-31 20:11:00";
    }
    void fixedShift() {
        QFETCH(int, unit);
        QFETCH(bool, earlier);
        QFETCH(QString, base);
        QFETCH(QString, expected);
        PhotoDateSettings s;
        s.unit = ShiftUnit(unit);
        s.stepText = QStringLiteral(" 1个"); // read as a number, as the field holds it
        s.earlier = earlier;
        test::ScriptedRandom random;
        ShootingDatePlan plan(s, random);
        plan.newDate(DateTime(2000, 1, 1)); // rows done so far play no part in a shift
        QCOMPARE(plan.newDate(DateTime::parse(base).value()).toText(), expected);
    }

    void randomShiftCoversTheRange() {
        PhotoDateSettings s;
        s.randomShift = true;
        s.stepStartText = QStringLiteral("1");
        s.stepEndText = QStringLiteral("10");
        s.earlier = false;
        test::ScriptedRandom random;
        for (int i = 0; i < 1000; ++i)
            random.values.append(i / 1000.0);
        random.values.append(0.999999999);
        ShootingDatePlan plan(s, random);
        const DateTime base(2011, 8, 1, 12, 0, 0);
        QSet<qint64> amounts;
        for (int i = 0; i < random.values.size(); ++i)
            amounts.insert(base.daysTo(plan.newDate(base)));
        QCOMPARE(amounts, (QSet<qint64>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    }

    // Dates that cannot follow the shooting date leave their bytes alone and are named; the
    // others are written all the same.
    void datesThatCannotMove_data() {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<QByteArray>("digitized");
        QTest::addColumn<bool>("newDate");
        QTest::addColumn<QStringList>("written"); // original, digitized, modified; "" unchanged
        QTest::addColumn<QString>("note");
        const QByteArray unknown = "    :  :     :  :  ";
        QTest::newRow("an unknown digitized date has nothing to move from")
            << QByteArray("2011:08:27 20:11:00") << unknown << false
            << QStringList{"2011:08:28 20:11:00", "", "2019:05:05 13:22:41"}
            << QStringLiteral("(数字化时间未改)");
        QTest::newRow("an unknown digitized date takes a new date")
            << QByteArray("2011:08:27 20:11:00") << unknown << true
            << QStringList{"2013:04:05 06:07:08", "2013:04:05 06:07:08", "2013:04:05 06:07:08"}
            << QString();
        QTest::newRow("no shooting date: the other two move")
            << QByteArray() << QByteArray("2011:08:27 20:11:00") << false
            << QStringList{"", "2011:08:28 20:11:00", "2019:05:05 13:22:41"}
            << QStringLiteral("(无拍摄时间)");
    }
    void datesThatCannotMove() {
        QFETCH(QByteArray, original);
        QFETCH(QByteArray, digitized);
        QFETCH(bool, newDate);
        QFETCH(QStringList, written);
        QFETCH(QString, note);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("a.jpg"));
        const test::SamplePhoto photo = test::cameraPhotoDates(test::ByteOrder::Big, original,
                                                               digitized, "2019:05:04 13:22:41");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(photo.bytes) == photo.bytes.size());
        file.close();
        const DateTime to(2013, 4, 5, 6, 7, 8);
        const DateMove move = newDate ? DateMove{to} : DateMove{std::nullopt, ShiftUnit::Day, 1};
        const DatesPatchResult result = PatchShootingDates(
            path, newDate ? to.toExifText() : QStringLiteral("2011:08:28 20:11:00"), move);
        QCOMPARE(int(result.outcome), int(DatePatchOutcome::Written));
        QCOMPARE(result.note(), note);
        QByteArray want = photo.bytes;
        const qsizetype positions[] = {photo.dateTimeOriginalPosition,
                                       photo.dateTimeDigitizedPosition, photo.dateTimePosition};
        for (int d = 0; d < 3; ++d) {
            if (!written[d].isEmpty())
                want.replace(positions[d], 19, written[d].toLatin1());
        }
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), want);
    }

    // A patch of a date an earlier load of the batch found writes without reading the photo
    // again only while it is that file with those bytes; whatever happened to it meanwhile, the
    // result is the one a patch that reads the photo afresh comes to.
    void patchOfALoadedDate_data() {
        QTest::addColumn<QString>("meanwhile");
        for (const char *change :
             {"nothing", "rewritten in place with another layout", "date changed, time put back",
              "replaced by a copy", "deleted", "replaced by a pipe", "made read-only",
              "read-only before the load", "text too long for the field"})
            QTest::newRow(change) << QString::fromLatin1(change);
    }
    void patchOfALoadedDate() {
        QFETCH(QString, meanwhile);
        const test::SamplePhoto photo = test::cameraPhoto(test::ByteOrder::Big);
        const test::SamplePhoto other = test::cameraPhoto(
            test::ByteOrder::Little, "2001:02:03 04:05:06", "A camera with a much longer name");
        QVERIFY(other.dateTimeOriginalPosition != photo.dateTimeOriginalPosition);
        const QString text = meanwhile.startsWith(QLatin1String("text too long"))
                                 ? QStringLiteral("2023:01:02 03:04:05 and more")
                                 : QStringLiteral("2023:01:02 03:04:05");
        // The same change on two copies: one patched from the load, one read afresh.
        QTemporaryDir folder;
        DatesPatchResult results[2];
        for (int side = 0; side < 2; ++side) {
            const QString path = folder.filePath(QStringLiteral("p%1.jpg").arg(side));
            const QByteArray name = QFile::encodeName(path);
            QVERIFY(writeFile(path, photo.bytes));
            if (meanwhile == QLatin1String("read-only before the load"))
                QCOMPARE(::chmod(name.constData(), 0444), 0);
            ExifReader reader;
            reader.Load(path, DateReadFirstBytes);
            const std::optional<LoadedText> loaded = reader.loadedText(TagDateTimeOriginal);
            QVERIFY(loaded);
            QCOMPARE(loaded->position, quint64(photo.dateTimeOriginalPosition));
            QCOMPARE(loaded->field, photo.bytes.mid(photo.dateTimeOriginalPosition, 20));
            struct stat st {};
            QCOMPARE(::stat(name.constData(), &st), 0);
            if (meanwhile == QLatin1String("rewritten in place with another layout")) {
                QVERIFY(writeFile(path, other.bytes));
            } else if (meanwhile == QLatin1String("date changed, time put back")) {
                QByteArray changed = photo.bytes;
                changed.replace(photo.dateTimeOriginalPosition, 19, "2000:01:01 00:00:00");
                QVERIFY(writeFile(path, changed));
                const timespec times[2] = {st.st_atim, st.st_mtim};
                QCOMPARE(::utimensat(AT_FDCWD, name.constData(), times, 0), 0);
            } else if (meanwhile == QLatin1String("replaced by a copy")) {
                QVERIFY(writeFile(path + QStringLiteral(".new"), photo.bytes));
                QCOMPARE(::rename(QFile::encodeName(path + QStringLiteral(".new")).constData(),
                                  name.constData()),
                         0);
            } else if (meanwhile == QLatin1String("deleted")) {
                QVERIFY(QFile::remove(path));
            } else if (meanwhile == QLatin1String("replaced by a pipe")) {
                QVERIFY(QFile::remove(path));
                QCOMPARE(::mkfifo(name.constData(), 0644), 0);
            } else if (meanwhile == QLatin1String("made read-only")) {
                QCOMPARE(::chmod(name.constData(), 0444), 0);
            }
            results[side] = side == 0 ? PatchShootingDate(path, text, *loaded)
                                      : PatchShootingDate(path, text, DateReadFirstBytes);
            struct stat now {};
            if (::stat(name.constData(), &now) == 0 && S_ISREG(now.st_mode)) {
                QCOMPARE(readFile(path), readFile(folder.filePath(QStringLiteral("p0.jpg"))));
                QCOMPARE(results[side].after.has_value(),
                         results[side].outcome == DatePatchOutcome::Written);
                if (results[side].after)
                    QCOMPARE(results[side].after->inode, quint64(now.st_ino));
            }
        }
        QCOMPARE(int(results[0].outcome), int(results[1].outcome));
        QCOMPARE(results[0].fields, results[1].fields);
        const QString path = folder.filePath(QStringLiteral("p0.jpg"));
        if (meanwhile == QLatin1String("nothing") || meanwhile.startsWith(QLatin1String("date")) ||
            meanwhile == QLatin1String("replaced by a copy")) {
            QCOMPARE(int(results[0].outcome), int(DatePatchOutcome::Written));
            QByteArray want = photo.bytes;
            want.replace(photo.dateTimeOriginalPosition, 19, text.toLatin1());
            QCOMPARE(readFile(path), want);
            QCOMPARE(results[0].fields.value(photo.dateTimeOriginalPosition),
                     want.mid(photo.dateTimeOriginalPosition, 20));
        } else if (meanwhile.startsWith(QLatin1String("rewritten"))) {
            QByteArray want = other.bytes;
            want.replace(other.dateTimeOriginalPosition, 19, text.toLatin1());
            QCOMPARE(readFile(path), want);
        } else {
            QCOMPARE(int(results[0].outcome), int(DatePatchOutcome::Failed));
            if (QFileInfo(path).isFile())
                QCOMPARE(readFile(path), photo.bytes);
        }
    }

    void summaryText_data() {
        QTest::addColumn<bool>("newStart");
        QTest::addColumn<bool>("randomShift");
        QTest::addColumn<bool>("earlier");
        QTest::addColumn<int>("unit");
        QTest::addColumn<QString>("unitText");
        QTest::addColumn<QString>("expected");
        QTest::newRow("new start in seconds")
            << true << false << true << int(ShiftUnit::Second) << QStringLiteral("秒。")
            << QStringLiteral("以秒为时间位移单位，按指定新日期，以\r\n10秒。递增。");
        QTest::newRow("fixed shift earlier in days")
            << false << false << true << int(ShiftUnit::Day) << QStringLiteral("天。")
            << QStringLiteral("以日为时间位移单位，以原始时间固定\r\n10天。向前移位。");
        QTest::newRow("fixed shift later in years")
            << false << false << false << int(ShiftUnit::Year) << QStringLiteral("年。")
            << QStringLiteral("以年为时间位移单位，以原始时间固定\r\n10年。向后移位。");
        QTest::newRow("random shift later in hours")
            << false << true << false << int(ShiftUnit::Hour) << QStringLiteral("小时。")
            << QStringLiteral("以小时为时间位移单位，以原时间随机\r\n1——10小时。向后移位。");
        QTest::newRow("random shift earlier in minutes")
            << false << true << true << int(ShiftUnit::Minute) << QStringLiteral("分钟。")
            << QStringLiteral("以分钟为时间位移单位，以原时间随机\r\n1——10分钟。向前移位。");
    }
    void summaryText() {
        QFETCH(bool, newStart);
        QFETCH(bool, randomShift);
        QFETCH(bool, earlier);
        QFETCH(int, unit);
        QFETCH(QString, unitText);
        QFETCH(QString, expected);
        const PhotoDateSettings s{newStart,
                                  {},
                                  randomShift,
                                  QStringLiteral("10"),
                                  QStringLiteral("1"),
                                  QStringLiteral("10"),
                                  unitText,
                                  earlier,
                                  ShiftUnit(unit)};
        QCOMPARE(RewriteSummaryText(s),
                 QStringLiteral("   时间修改选项为：") + expected +
                     QStringLiteral("\r\n原始拍摄时间改写完毕！稍后请单击“重置所有”按钮。"));
    }
};

QTEST_GUILESS_MAIN(DateShiftTest)
#include "date_shift_test.moc"
