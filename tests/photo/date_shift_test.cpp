#include "photo/date_shift.h"
#include "tests/support/doubles.h"

#include <QSet>
#include <QTest>

using namespace kalmora;

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
        QTest::newRow("one-digit month, day and hour") << "2011-8-7 9:05:03" << true;
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
