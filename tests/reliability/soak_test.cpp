// 10,000 files through the import and the file-time apply with a random plan in working-hours
// mode: every file ends up with the planned time of its row, and the memory taken while the
// second half of the rows goes by is no more than those rows' grid texts account for.
#include "core/grid/file_grid.h"
#include "gui/plan/time_fields.h"
#include "gui/window/features.h"
#include "tests/support/window_fixture.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QRadioButton>

#include <malloc.h>
#include <random>

using namespace kalmora;

namespace {

constexpr int Files = 10000;

// A figure of /proc/self/status in KiB ("VmRSS", "VmHWM").
qint64 statusKiB(const QByteArray &field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Bytes the allocator has handed out and not taken back: exact, where resident memory moves in
// pages and keeps what was freed.
qint64 heapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return qint64(m.uordblks + m.hblkhd);
}

struct MemorySample {
    int percent = 0;
    qint64 heap = 0;        // bytes
    qint64 residentKiB = 0; // KiB
};

MemorySample sampleAt(const QList<MemorySample> &samples, int percent) {
    for (const MemorySample &s : samples)
        if (s.percent == percent)
            return s;
    return {percent, -1, -1};
}

// What the grid's rows [from, to) hold: each row's list of cells, and each text in UTF-16 with
// its block header and the allocator's rounding.
qint64 gridBytes(const FileGrid &g, int from, int to) {
    qint64 bytes = 0;
    for (int r = from; r < to; ++r) {
        bytes += FileGrid::Cols * qint64(sizeof(QString)) + 32;
        for (int c = 0; c < FileGrid::Cols; ++c)
            if (const qsizetype n = g.text(r, c).size(); n > 0)
                bytes += 2 * (n + 1) + 32;
    }
    return bytes;
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

        // Memory at every whole percent of both loops; room reserved so that sampling itself
        // allocates nothing meanwhile.
        QList<MemorySample> importMemory, applyMemory;
        importMemory.reserve(128);
        applyMemory.reserve(128);
        bool applying = false;
        connect(w().ProgressBar1, &QProgressBar::valueChanged, this, [&](int percent) {
            if (percent > 0)
                (applying ? applyMemory : importMemory)
                    .append({percent, heapInUse(), statusKiB("VmRSS")});
        });
        const qint64 before = statusKiB("VmRSS");
        QElapsedTimer clock;
        clock.start();
        f.importFolder(QStringLiteral("*.jpg"));
        const qint64 importMs = clock.restart();
        QCOMPARE(w().FileCount, Files);
        // Rows Files/2 .. Files-1 are read between the samples at 50 and 100 percent.
        const qint64 importHeld = gridBytes(g(), Files / 2, Files);

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
        const qint64 applyHeld = gridBytes(g(), Files / 2, Files);
        const qint64 peakKiB = statusKiB("VmHWM");
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

        qInfo("import %lld ms, apply %lld ms, last planned time %s",
              static_cast<long long>(importMs), static_cast<long long>(applyMs),
              qPrintable(previous.toText()));
        const auto ll = [](qint64 v) { return static_cast<long long>(v); };
        const auto line = [&](const char *loop, const QList<MemorySample> &samples) {
            const MemorySample a = sampleAt(samples, 1), b = sampleAt(samples, 50),
                               c = sampleAt(samples, 100);
            qInfo("%s at 1%%, 50%%, 100%%: heap in use %lld, %lld, %lld KiB; resident %lld, %lld, "
                  "%lld KiB",
                  loop, ll(a.heap / 1024), ll(b.heap / 1024), ll(c.heap / 1024), ll(a.residentKiB),
                  ll(b.residentKiB), ll(c.residentKiB));
        };
        qInfo("resident before the import %lld KiB, peak %lld KiB", ll(before), ll(peakKiB));
        line("import", importMemory);
        line("apply", applyMemory);

        // The second half of each loop: 5,000 rows whose texts are all that should stay.
        const int half = Files - Files / 2;
        const auto check = [&](const char *loop, const QList<MemorySample> &samples, qint64 held,
                               bool newTexts) {
            const MemorySample mid = sampleAt(samples, 50), end = sampleAt(samples, 100);
            QVERIFY(mid.heap >= 0 && end.heap >= 0 && mid.residentKiB >= 0 && end.residentKiB >= 0);
            const qint64 heapGrowth = end.heap - mid.heap;
            const qint64 residentGrowth = (end.residentKiB - mid.residentKiB) * 1024;
            // Twice the texts, for the spare room a string may carry; pages for the resident
            // figure, which grows in the allocator's steps.
            const qint64 bound = 2 * held;
            qInfo("%s, second half: heap +%lld B, resident +%lld B (%lld and %lld B per row); "
                  "the rows' grid texts %lld B per row, bound %lld B per row",
                  loop, ll(heapGrowth), ll(residentGrowth), ll(heapGrowth / half),
                  ll(residentGrowth / half), ll(held / half), ll(bound / half));
            // The import adds texts to empty cells: a figure that does not move measures nothing.
            if (newTexts)
                QVERIFY2(heapGrowth > 0, "the allocator's figures do not move");
            QVERIFY2(heapGrowth <= bound, loop);
            QVERIFY2(residentGrowth <= bound + 4 * 1024 * 1024, loop);
        };
        check("import", importMemory, importHeld, true);
        check("apply", applyMemory, applyHeld, false);
    }
};

QTEST_MAIN(SoakTest)
#include "soak_test.moc"
