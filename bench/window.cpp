// The window's own cost: imports a folder in file-time mode and applies a planned distribution
// on the real main window (offscreen, test doubles for the outside services), then reports the
// wall time beyond the pauses the loops make on purpose, and the longest time during which no
// event was handled.
#include "app/date_time.h"
#include "import/file_list.h"
#include "tests/support/doubles.h"
#include "ui/file_grid.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace kalmora;

namespace {

// What the loops asked to pause and how long the pauses really took. The linker routes every
// call of PauseWithEvents from the feature code through the wrapper below.
struct PauseLedger {
    qint64 calls = 0;
    double askedSeconds = 0;
    double spentSeconds = 0;
};
PauseLedger ledger;

} // namespace

extern "C" void __real__ZN7kalmora15PauseWithEventsEf(float seconds);
extern "C" void __wrap__ZN7kalmora15PauseWithEventsEf(float seconds) {
    QElapsedTimer clock;
    clock.start();
    __real__ZN7kalmora15PauseWithEventsEf(seconds);
    ledger.calls += 1;
    ledger.askedSeconds += double(seconds);
    ledger.spentSeconds += double(clock.nsecsElapsed()) / 1e9;
}

namespace {

// Ticks every few milliseconds; the largest interval between two ticks is the longest a click
// would have waited for an answer. The ticks wake the pauses up and lengthen them, so the gaps
// are measured in a pass of their own.
class GapWatch {
public:
    explicit GapWatch(bool ticking) : m_ticking(ticking) {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(2);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
    }
    void start() {
        m_clock.start();
        m_last = 0;
        m_longest = 0;
        if (m_ticking)
            m_timer.start();
    }
    // Up to now, the time since the last tick counts too; no value without ticks.
    double stopMs() {
        if (!m_ticking)
            return -1;
        m_timer.stop();
        m_longest = std::max(m_longest, m_clock.nsecsElapsed() - m_last);
        return double(m_longest) / 1e6;
    }

private:
    bool m_ticking;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

void setFields(std::initializer_list<QLineEdit *> fields, const DateTime &d) {
    const auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    const QStringList texts{QString::number(d.year()), two(d.month()), two(d.day()), two(d.hour()),
                            two(d.minute()),           two(d.second())};
    qsizetype i = 0;
    for (QLineEdit *f : fields)
        f->setText(texts.value(i++));
}

struct Phase {
    double wallSeconds = 0;
    PauseLedger pauses;
    double longestGapMs = 0;
};

template <typename Action> Phase measure(bool gaps, Action action) {
    const PauseLedger before = ledger;
    GapWatch watch(gaps);
    QElapsedTimer clock;
    watch.start();
    clock.start();
    action();
    Phase p;
    p.wallSeconds = double(clock.nsecsElapsed()) / 1e9;
    p.longestGapMs = watch.stopMs();
    p.pauses.calls = ledger.calls - before.calls;
    p.pauses.askedSeconds = ledger.askedSeconds - before.askedSeconds;
    p.pauses.spentSeconds = ledger.spentSeconds - before.spentSeconds;
    return p;
}

void report(const char *name, const Phase &p, int files) {
    const double beyondAsked = p.wallSeconds - p.pauses.askedSeconds;
    const double outsidePauses = p.wallSeconds - p.pauses.spentSeconds;
    if (p.longestGapMs < 0)
        std::printf("%-7s wall %8.3f s | pauses asked %8.3f s (%lld), spent %8.3f s | beyond the "
                    "pauses %.3f ms/file = outside the pauses %.3f + pauses' overrun %.3f\n",
                    name, p.wallSeconds, p.pauses.askedSeconds,
                    static_cast<long long>(p.pauses.calls), p.pauses.spentSeconds,
                    1e3 * beyondAsked / files, 1e3 * outsidePauses / files,
                    1e3 * (p.pauses.spentSeconds - p.pauses.askedSeconds) / files);
    else
        std::printf("%-7s longest time without handling events %.1f ms (a 2 ms timer's largest "
                    "interval; wall %.3f s)\n",
                    name, p.longestGapMs, p.wallSeconds);
}

} // namespace

// One import and one apply on a fresh window over the folder; false when the rows do not show
// the work done.
bool runPass(const QString &folder, const QString &workFolder, int files, bool gaps, Phase &import,
             Phase &apply) {
    test::TestServices doubles;
    doubles.clock.time = DateTime(2011, 1, 1, 9, 0, 0);
    Services services = doubles.services();
    AppValues values;
    values.WorkFolder = workFolder;
    FMainDate w(services, values);
    w.resize(1200, 800);
    w.show();
    QCoreApplication::processEvents();

    // The folder, a window of a year and a fixed step of three, then the time-zone stage.
    w.LDir->setText(folder);
    w.File1->setPattern(QStringLiteral("*.*"));
    const DateTime start(2011, 1, 1, 8, 0, 0), end(2011, 12, 31, 20, 0, 0);
    setFields({w.TEndY, w.TEndM, w.TEndD, w.TEndH, w.TEndMin, w.TEndSec}, end);
    setFields({w.TStartY, w.TStartM, w.TStartD, w.TStartH, w.TStartMin, w.TStartSec}, start);
    setFields({w.TEndY, w.TEndM, w.TEndD, w.TEndH, w.TEndMin, w.TEndSec}, end);
    w.CmdTimeZone->click();
    if (!w.CmdInput->isEnabled()) {
        std::fprintf(stderr, "the import button stayed disabled\n");
        return false;
    }

    import = measure(gaps, [&] { w.CmdInput->click();
});
FileGrid &grid = *w.VSFlexGrid1;
int failed = 0;
for (int r = 1; r <= files; ++r)
    failed += grid.text(r, 0).isEmpty() || grid.text(r, 1).isEmpty() ? 1 : 0;
if (grid.rows() != files + 1 || failed > 0 || !w.CmdFileDateMod->isEnabled()) {
    std::fprintf(stderr, "import: %d rows, %d without stamps\n", grid.rows() - 1, failed);
    return false;
}

w.Option1->setChecked(true);
w.TStep->setText(QStringLiteral("3"));
apply = measure(gaps, [&] { w.CmdFileDateMod->click(); });
for (int r = 1; r <= files; ++r)
    failed += grid.text(r, 5).startsWith(QStringLiteral("修改成功")) ? 0 : 1;
if (failed > 0) {
    std::fprintf(stderr, "apply: %d rows not written\n", failed);
    return false;
}
return true;
}

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int files = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 5000;
    if (files < 1) {
        std::fprintf(stderr, "usage: %s [FILES]\n", argv[0]);
        return 2;
    }

    QTemporaryDir folder, work;
    if (!folder.isValid() || !work.isValid())
        return 1;
    for (int i = 1; i <= files; ++i) {
        QFile f(folder.filePath(QStringLiteral("file %1.dat").arg(i)));
        if (!f.open(QIODevice::WriteOnly) || f.write("content") != 7)
            return 1;
    }

    std::printf("window: %d files, import in file-time mode, then a planned apply\n", files);
    Phase import, apply;
    if (!runPass(folder.path(), work.path(), files, false, import, apply))
        return 1;
    report("import", import, files);
    report("apply", apply, files);
    Phase both;
    both.wallSeconds = import.wallSeconds + apply.wallSeconds;
    both.pauses.calls = import.pauses.calls + apply.pauses.calls;
    both.pauses.askedSeconds = import.pauses.askedSeconds + apply.pauses.askedSeconds;
    both.pauses.spentSeconds = import.pauses.spentSeconds + apply.pauses.spentSeconds;
    both.longestGapMs = -1;
    report("both", both, files);

    if (!runPass(folder.path(), work.path(), files, true, import, apply))
        return 1;
    report("import", import, files);
    report("apply", apply, files);
    return 0;
}
