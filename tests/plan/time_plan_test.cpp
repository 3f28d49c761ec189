#include "core/plan/time_plan.h"
#include "tests/support/doubles.h"

#include <QTest>

using namespace kalmora;

Q_DECLARE_METATYPE(kalmora::TimeWindow)

namespace {

DateTime dt(const char *text) {
    return DateTime::parse(QLatin1String(text)).value();
}

TimeWindow window(const char *start, const char *end,
                  TimeWindow::Unit unit = TimeWindow::Unit::Minutes) {
    TimeWindow w;
    w.start = dt(start);
    w.end = dt(end);
    w.unit = unit;
    return w;
}

TimeWindow workingHours(TimeWindow w, bool skipBreak) {
    w.workingHoursOnly = true;
    w.breakCountsAsWork = !skipBreak;
    return w;
}

} // namespace

class TimePlanTest : public QObject {
    Q_OBJECT
private slots:
    void capacity_data() {
        QTest::addColumn<TimeWindow>("w");
        QTest::addColumn<qint64>("capacity");
        QTest::newRow("boundaries, not elapsed minutes: 5 not 4")
            << window("2011-01-01 10:00:30", "2011-01-01 10:05:10") << 5LL;
        QTest::newRow("seconds are exact")
            << window("2011-01-01 10:00:30", "2011-01-01 10:05:10", TimeWindow::Unit::Seconds)
            << 280LL;
        QTest::newRow("1000 minutes")
            << window("2011-01-01 00:00:00", "2011-01-01 16:40:00") << 1000LL;
        QTest::newRow("backwards window is negative")
            << window("2011-01-02 00:00:00", "2011-01-01 00:00:00") << -1440LL;
        QTest::newRow("working hours, break counted, same day")
            << workingHours(window("2011-01-01", "2011-01-01"), false) << 600LL;
        QTest::newRow("working hours, break skipped, same day: |600-120| x 1")
            << workingHours(window("2011-01-01", "2011-01-01"), true) << 480LL;
        QTest::newRow("working hours over three days")
            << workingHours(window("2011-01-01", "2011-01-03"), true) << 1440LL;
        QTest::newRow("working hours: days count either way")
            << workingHours(window("2011-01-03", "2011-01-01"), false) << 1800LL;
        TimeWindow secs = workingHours(window("2011-01-01", "2011-01-01"), true);
        secs.unit = TimeWindow::Unit::Seconds;
        QTest::newRow("working hours in seconds") << secs << 480LL * 60;
        QTest::newRow("no valid start") << TimeWindow{} << 0LL;
    }
    void capacity() {
        QFETCH(TimeWindow, w);
        QFETCH(qint64, capacity);
        QCOMPARE(WindowCapacity(w), capacity);
    }

    void stepLimits_data() {
        QTest::addColumn<qint64>("capacity");
        QTest::addColumn<int>("files");
        QTest::addColumn<bool>("tooSmall");
        QTest::addColumn<int>("stepMax");
        QTest::addColumn<int>("lowerMax");
        QTest::addColumn<int>("upperMax");
        QTest::newRow("100 files in 1000 minutes") << 1000LL << 100 << false << 10 << 1 << 10;
        QTest::newRow("2 files in one day") << 1440LL << 2 << false << 300 << 290 << 300;
        QTest::newRow("exactly 300") << 600LL << 2 << false << 300 << 290 << 300;
        QTest::newRow("299") << 299LL << 1 << false << 299 << 289 << 299;
        QTest::newRow("q = 11 leaves 1 for the lower bound") << 11LL << 1 << false << 11 << 1 << 11;
        QTest::newRow("5 files in 4 minutes") << 4LL << 5 << true << 1 << 1 << 1;
        QTest::newRow("backwards window") << -1440LL << 3 << true << 1 << 1 << 1;
        QTest::newRow("negative quotient truncates toward zero")
            << -5LL << 10 << true << 1 << 1 << 1;
    }
    void stepLimits() {
        QFETCH(qint64, capacity);
        QFETCH(int, files);
        QFETCH(bool, tooSmall);
        QFETCH(int, stepMax);
        QFETCH(int, lowerMax);
        QFETCH(int, upperMax);
        const StepLimits l = StepLimitsFor(capacity / files);
        QCOMPARE(l.tooSmall, tooSmall);
        QCOMPARE(l.stepMax, stepMax);
        QCOMPARE(l.lowerMax, lowerMax);
        QCOMPARE(l.upperMax, upperMax);
    }

    void walk_data() {
        QTest::addColumn<TimeWindow>("w");
        QTest::addColumn<QStringList>("times");
        TimeWindow skip = workingHours(window("2011-01-01", "2011-01-09"), true);
        skip.step = 300;
        QTest::newRow("300-minute steps skip the break and roll over at off-duty")
            << skip
            << QStringList{"2011-01-01 08:00:00", "2011-01-01 14:00:00", "2011-01-02 08:00:00",
                           "2011-01-02 14:00:00", "2011-01-03 08:00:00"};
        TimeWindow counted = workingHours(window("2011-01-01", "2011-01-09"), false);
        counted.step = 300;
        QTest::newRow("break counted: 13:00 stays, 18:00 stays")
            << counted
            << QStringList{"2011-01-01 08:00:00", "2011-01-01 13:00:00", "2011-01-01 18:00:00",
                           "2011-01-02 08:00:00"};
        TimeWindow edge = workingHours(window("2011-01-01", "2011-01-09"), true);
        edge.step = 240;
        QTest::newRow("exactly at break start, break end and off-duty the time stays")
            << edge
            << QStringList{"2011-01-01 08:00:00", "2011-01-01 12:00:00", "2011-01-01 16:00:00",
                           "2011-01-02 08:00:00"};
        TimeWindow offDuty = workingHours(window("2011-01-01", "2011-01-09"), false);
        offDuty.step = 600;
        QTest::newRow("a step landing on 18:00:00 keeps it")
            << offDuty
            << QStringList{"2011-01-01 08:00:00", "2011-01-01 18:00:00", "2011-01-02 08:00:00"};
        TimeWindow breakEnd = workingHours(window("2011-01-01", "2011-01-09"), true);
        breakEnd.step = 360;
        QTest::newRow("landing on break end stays")
            << breakEnd
            << QStringList{"2011-01-01 08:00:00", "2011-01-01 14:00:00", "2011-01-02 08:00:00"};
        TimeWindow plain = window("2011-12-31 23:58:00", "2012-01-01 00:00:00");
        plain.step = 1;
        QTest::newRow("the walk goes past the window's end")
            << plain
            << QStringList{"2011-12-31 23:58:00", "2011-12-31 23:59:00", "2012-01-01 00:00:00",
                           "2012-01-01 00:01:00", "2012-01-01 00:02:00"};
        TimeWindow secs =
            window("2011-01-01 10:00:55", "2011-01-01 11:00:00", TimeWindow::Unit::Seconds);
        secs.step = 3;
        QTest::newRow("seconds") << secs
                                 << QStringList{"2011-01-01 10:00:55", "2011-01-01 10:00:58",
                                                "2011-01-01 10:01:01"};
    }
    void walk() {
        QFETCH(TimeWindow, w);
        QFETCH(QStringList, times);
        test::ScriptedRandom random;
        PlanState s = StartPlan(w);
        QStringList got;
        for (qsizetype i = 0; i < times.size(); ++i) {
            got << s.cursor.toText();
            s = NextPlannedTime(s, w, random);
        }
        QCOMPARE(got, times);
        QCOMPARE(random.drawn, 0); // a fixed step draws nothing
    }

    void randomStepCoversBothBounds_data() {
        QTest::addColumn<double>("r");
        QTest::addColumn<int>("step");
        QTest::newRow("r = 0 gives S") << 0.0 << 10;
        QTest::newRow("r just below 1 gives E") << 0.9999999999 << 90;
        QTest::newRow("r = 0.5") << 0.5 << 50;
        QTest::newRow("r just below 1/81 stays S") << (1.0 / 81 - 1e-12) << 10;
        QTest::newRow("r at 1/81 is S + 1") << (1.0 / 81 + 1e-12) << 11;
    }
    void randomStepCoversBothBounds() {
        QFETCH(double, r);
        QFETCH(int, step);
        TimeWindow w = window("2011-01-01 00:00:00", "2011-02-01 00:00:00");
        w.stepMode = TimeWindow::StepMode::Random;
        w.randomLower = 10;
        w.randomUpper = 90;
        test::ScriptedRandom random;
        random.values = {r};
        QCOMPARE(PlanStep(w, random), step);
        const PlanState next = NextPlannedTime(StartPlan(w), w, random);
        QCOMPARE(w.start.minutesTo(next.cursor), qint64(step));
    }

    void randomStepsStayInside() {
        TimeWindow w = window("2011-01-01 00:00:00", "2011-02-01 00:00:00");
        w.stepMode = TimeWindow::StepMode::Random;
        w.randomLower = 10;
        w.randomUpper = 90;
        MtRandom random;
        QSet<int> seen;
        for (int i = 0; i < 20000; ++i) {
            const int s = PlanStep(w, random);
            QVERIFY2(s >= 10 && s <= 90, qPrintable(QString::number(s)));
            seen.insert(s);
        }
        QCOMPARE(seen.size(), 81); // every step from S to E turns up
    }
};

QTEST_APPLESS_MAIN(TimePlanTest)
#include "time_plan_test.moc"
