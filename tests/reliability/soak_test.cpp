// 10,000 files through the import and the file-time apply with a random plan in working-hours
// mode: every file ends up with the planned time of its row. Prints the process's memory as the
// rows go by (a measurement, not a check).
#include "plan/time_fields.h"
#include "tests/support/window_fixture.h"
#include "ui/features.h"
#include "ui/file_grid.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QRadioButton>

#include <random>

using namespace kalmora;

namespace {

constexpr int Files = 10000;

// Resident memory of this process in KiB, from /proc.
qint64 residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

class SoakTest : public QObject {
    Q_OBJECT
private:
    test::WindowFixture f;
    FMainDate &w() { return f.w(); }
    FileGrid &g() { return *f.w().VSFlexGrid1; }

private slots:
    void init() {
        f.folder.remove();
        QVERIFY(QDir().mkpath(f.folder.path()));
        f.open();
    }
    void cleanup() { f.window.reset(); }

    void tenThousandFilesTakeTheirPlannedTimes() {
        for (int i = 1; i <= Files; ++i)
            f.makeFile(QStringLiteral("IMG_%1.jpg").arg(i), DateTime(2009, 1, 1, 12, 0, 0),
                       DateTime(2009, 1, 2, 12, 0, 0), QByteArray::number(i));

        // Working hours 08:00 to 18:00 with the lunch break 12:00 to 14:00 left out.
        w().ChOnWorkTime->setChecked(true);
        w().ChExclude->setChecked(false);
        f.setWindow(DateTime(2011, 1, 1, 8, 0, 0), DateTime(2020, 12, 31, 18, 0, 0));
        w().CmdTimeZone->click();
        w().CmdTimeOnOffDuty->click();
        w().CmdWordBreakTime->click();
        QCOMPARE(w().CmdWordBreakTime->text(), QStringLiteral("修改午休时间"));

        std::mt19937_64 generator(20110827);
        std::uniform_real_distribution<double> uniform(0.0, 1.0);
        QList<double> draws;
        for (int i = 0; i <= Files; ++i)
            draws.append(uniform(generator));
        f.doubles->random.values = draws;

        // Memory at every whole percent of both loops.
        QList<std::pair<int, qint64>> importMemory, applyMemory;
        bool applying = false;
        connect(w().ProgressBar1, &QProgressBar::valueChanged, this, [&](int percent) {
            if (percent > 0)
                (applying ? applyMemory : importMemory).append({percent, residentKiB()});
        });
        const qint64 before = residentKiB();
        QElapsedTimer clock;
        clock.start();
        f.importFolder(QStringLiteral("*.jpg"));
        const qint64 importMs = clock.restart();
        QCOMPARE(w().FileCount, Files);

        w().Option2->setChecked(true);
        w().TStepS->setText(QStringLiteral("10"));
        w().TStepE->setText(QStringLiteral("90"));
        // The plan as the apply sees it; its closing steps return to the fixed step.
        const TimeWindow window = w().features().timeFields->timeWindow();
        QVERIFY(window.workingHoursOnly && !window.breakCountsAsWork);
        QVERIFY(window.stepMode == TimeWindow::StepMode::Random);
        const int boxes = int(f.prompter().shown.size());
        applying = true;
        w().CmdFileDateMod->click();
        const qint64 applyMs = clock.elapsed();
        QVERIFY(w().ClearOnReset);
        QCOMPARE(f.prompter().shown.size(), boxes + 1); // only the closing message

        // The plan again, from the same draws.
        test::ScriptedRandom random;
        random.values = draws;
        PlanState plan = StartPlan(window);
        int mismatches = 0;
        DateTime previous;
        for (int r = 1; r <= Files; ++r) {
            const DateTime expected = plan.cursor;
            plan = NextPlannedTime(plan, window, random);
            // Inside working hours, never inside the break, always later than the row before.
            const QTime t = expected.time();
            QVERIFY2(t >= window.onDuty && t <= window.offDuty &&
                         !(t > window.breakStart && t < window.breakEnd) && expected > previous,
                     qPrintable(QStringLiteral("row %1 planned %2").arg(r).arg(expected.toText())));
            previous = expected;
            const std::optional<FileTimes> onDisk = ReadFileTimes(f.path(g().text(r, 0)));
            if (!onDisk || onDisk->lastWrite != expected || onDisk->lastAccess != expected ||
                !g().text(r, 5).startsWith(QStringLiteral("修改成功"))) {
                if (++mismatches <= 5)
                    qWarning("row %d (%s): planned %s, file holds %s, row says %s", r,
                             qPrintable(g().text(r, 0)), qPrintable(expected.toText()),
                             onDisk ? qPrintable(onDisk->lastWrite.toText()) : "nothing",
                             qPrintable(g().text(r, 5)));
            }
        }
        QCOMPARE(mismatches, 0);

        const auto at = [](const QList<std::pair<int, qint64>> &samples, int percent) {
            for (const auto &[p, kib] : samples)
                if (p == percent)
                    return kib;
            return qint64(-1);
        };
        qInfo("import %lld ms, apply %lld ms, last planned time %s",
              static_cast<long long>(importMs), static_cast<long long>(applyMs),
              qPrintable(previous.toText()));
        qInfo("resident KiB: before %lld; import at 1%% %lld, 50%% %lld, 100%% %lld; "
              "apply at 1%% %lld, 50%% %lld, 100%% %lld",
              static_cast<long long>(before), static_cast<long long>(at(importMemory, 1)),
              static_cast<long long>(at(importMemory, 50)),
              static_cast<long long>(at(importMemory, 100)),
              static_cast<long long>(at(applyMemory, 1)),
              static_cast<long long>(at(applyMemory, 50)),
              static_cast<long long>(at(applyMemory, 100)));
    }
};

QTEST_MAIN(SoakTest)
#include "soak_test.moc"
