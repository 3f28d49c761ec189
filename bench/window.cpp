// The window's own cost, side by side with the batch engine doing the same work without it
// (journal included), and with the bare loop of the same reads and writes:
//  - file-time mode: import a folder and apply a planned distribution on the real main window
//    (offscreen, test doubles for the outside services) vs the import's reads and the engine's
//    apply;
//  - a shooting-date rewrite of every photo vs the engine's rewrite from the same dates;
//  - an erase of every photo vs one exiftool call over a copy of the same photos (eight rounds,
//    medians: both sides move by tens of percent between runs).
// For each batch: the wall time, the longest time during which no event was handled, and how
// often the progress bar was painted. The load average is printed with the figures.
// The window writes its undo journal (in a temporary state folder) unless
// KALMORA_BENCH_JOURNAL=off.
#include "core/base/date_time.h"
#include "core/batch/date_patch_step.h"
#include "core/batch/stamps_step.h"
#include "core/exif/date_shift.h"
#include "core/filetime/file_times.h"
#include "core/grid/file_grid.h"
#include "core/import/file_list.h"
#include "core/journal/journal.h"
#include "core/plan/time_plan.h"
#include "gui/photo/date_rewrite.h"
#include "gui/window/features.h"
#include "gui/window/main_window.h"
#include "tests/support/doubles.h"
#include "tests/support/jpeg_builder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

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

// Counts the progress bar's paints.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// Processor time of this process and of its children that have ended.
struct ProcessorTime {
    double own = 0, children = 0, childrenSystem = 0;
    static ProcessorTime now() {
        const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
        rusage self{}, children{};
        ::getrusage(RUSAGE_SELF, &self);
        ::getrusage(RUSAGE_CHILDREN, &children);
        return {seconds(self.ru_utime) + seconds(self.ru_stime),
                seconds(children.ru_utime) + seconds(children.ru_stime),
                seconds(children.ru_stime)};
    }
    ProcessorTime operator-(const ProcessorTime &o) const {
        return {own - o.own, children - o.children, childrenSystem - o.childrenSystem};
    }
};

struct Phase {
    double wallSeconds = 0;
    PauseLedger pauses;
    double longestGapMs = 0;
    int paints = 0;
    ProcessorTime processor;
};

// Every timed part starts with nothing left to write back (as run.sh syncs its copies): the
// writes of the part before, the other side's included, would otherwise reach the disk during it.
void settle() {
    ::sync();
}

template <typename Action> Phase measure(QWidget *bar, Action action) {
    settle();
    const PauseLedger before = ledger;
    GapWatch watch(bar != nullptr);
    PaintCounter counter;
    if (bar)
        bar->installEventFilter(&counter);
    QElapsedTimer clock;
    const ProcessorTime start = ProcessorTime::now();
    watch.start();
    clock.start();
    action();
    Phase p;
    p.wallSeconds = double(clock.nsecsElapsed()) / 1e9;
    p.processor = ProcessorTime::now() - start;
    p.longestGapMs = watch.stopMs();
    p.paints = counter.paints;
    p.pauses.calls = ledger.calls - before.calls;
    p.pauses.askedSeconds = ledger.askedSeconds - before.askedSeconds;
    p.pauses.spentSeconds = ledger.spentSeconds - before.spentSeconds;
    return p;
}

QString loadAverage() {
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2);
}

// One batch through the window beside the engine's time for the same work.
// `floorSeconds` (when above 0): the same reads and writes in a bare loop.
void report(const char *name, const Phase &window, double engineSeconds, const char *engineName,
            double floorSeconds = 0) {
    if (floorSeconds > 0)
        std::printf("%-8s bare loop %7.3f s (window/loop %5.2f)\n", name, floorSeconds,
                    window.wallSeconds / floorSeconds);
    std::printf("%-8s window %7.3f s | %s %7.3f s | ratio %5.2f | longest without events %5.1f "
                "ms | progress bar painted %5.1f times/s | pauses %lld (%.3f s) | load %s\n",
                name, window.wallSeconds, engineName, engineSeconds,
                window.wallSeconds / engineSeconds, window.longestGapMs,
                window.paints / window.wallSeconds, static_cast<long long>(window.pauses.calls),
                window.pauses.spentSeconds, qPrintable(loadAverage()));
    std::fflush(stdout);
}

struct Window {
    test::TestServices doubles;
    Services services;
    FMainDate w;

    static AppValues values(const QString &workFolder) {
        AppValues v;
        v.WorkFolder = workFolder;
        return v;
    }
    explicit Window(const QString &workFolder)
        : doubles(), services(doubles.services()), w(services, values(workFolder)) {
        doubles.clock.time = DateTime(2011, 1, 1, 9, 0, 0);
        doubles.environment.variables.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
        // The undo journal is on as for every user; KALMORA_BENCH_JOURNAL=off measures the
        // window without it, beside the engine that keeps none.
        if (qEnvironmentVariable("KALMORA_BENCH_JOURNAL") == QLatin1String("off"))
            doubles.settings.setValue(QStringLiteral("Journal"), QStringLiteral("Enabled"),
                                      QStringLiteral("0"));
        w.resize(1200, 800);
        w.show();
        QCoreApplication::processEvents();
    }
};

const DateTime PlanStart(2011, 1, 1, 8, 0, 0), PlanEnd(2011, 12, 31, 20, 0, 0);

// The import and the planned apply of file-time mode; false when the rows do not show the work.
bool fileTimesThroughWindow(const QString &folder, const QString &workFolder, int files,
                            Phase &phase) {
    Window win(workFolder);
    FMainDate &w = win.w;
    w.LDir->setText(folder);
    w.File1->setPattern(QStringLiteral("*.*"));
    setFields({w.TEndY, w.TEndM, w.TEndD, w.TEndH, w.TEndMin, w.TEndSec}, PlanEnd);
    setFields({w.TStartY, w.TStartM, w.TStartD, w.TStartH, w.TStartMin, w.TStartSec}, PlanStart);
    setFields({w.TEndY, w.TEndM, w.TEndD, w.TEndH, w.TEndMin, w.TEndSec}, PlanEnd);
    w.CmdTimeZone->click();
    if (!w.CmdInput->isEnabled()) {
        std::fprintf(stderr, "the import button stayed disabled\n");
        return false;
    }
    FileGrid &grid = *w.VSFlexGrid1;
    int failed = 0;
    const Phase import = measure(w.ProgressBar1, [&] { w.CmdInput->click(); });
    const Phase apply = measure(w.ProgressBar1, [&] {
        w.Option1->setChecked(true);
        w.TStep->setText(QStringLiteral("3"));
        w.CmdFileDateMod->click();
    });
    std::printf("(import %.3f s, longest without events %.1f ms; apply %.3f s, %.1f ms)\n",
                import.wallSeconds, import.longestGapMs, apply.wallSeconds, apply.longestGapMs);
    phase = apply;
    phase.wallSeconds += import.wallSeconds;
    phase.longestGapMs = std::max(import.longestGapMs, apply.longestGapMs);
    phase.paints += import.paints;
    phase.pauses.calls += import.pauses.calls;
    phase.pauses.spentSeconds += import.pauses.spentSeconds;
    for (int r = 1; r <= files; ++r)
        failed += grid.text(r, 5).startsWith(QStringLiteral("修改成功")) ? 0 : 1;
    if (grid.rows() != files + 1 || failed > 0) {
        std::fprintf(stderr, "file times: %d rows, %d not written\n", grid.rows() - 1, failed);
        return false;
    }
    return true;
}

// The rows of a batch run without a front end.
class NoSink final : public BatchSink {
public:
    void row(const BatchRow &) override {}
    void journalFailed(bool, const QString &reason) override {
        std::fprintf(stderr, "journal: %s\n", qPrintable(reason));
    }
};

// The batch engine as the window runs it, journal included (in `stateFolder`), without a window.
BatchOutcome runEngine(BatchStep &step, const QString &folder, const QString &stateFolder) {
    NoSink sink;
    BatchOptions options;
    options.folder = folder;
    options.journal.stateFolder = stateFolder;
    options.journal.enabled = qEnvironmentVariable("KALMORA_BENCH_JOURNAL") != QLatin1String("off");
    options.journal.now = QDateTime::currentSecsSinceEpoch();
    BatchRunner runner(step, sink, options);
    return runner.run();
}

// The import's work: the folder listed (into `names`), every file's stamps read. How many of the
// `files` were not read.
int importReads(const QString &folder, int files, QStringList &names) {
    FileList list;
    list.setPath(folder);
    list.setPattern(QStringLiteral("*.*"));
    list.refresh();
    names = list.names();
    int failed = int(files - names.size());
    const FolderScope scope(folder); // as the window's import holds the folder
    for (const QString &name : names)
        failed += ReadFileTimes(folder + QLatin1Char('/') + name) ? 0 : 1;
    return failed;
}

// The window's work on the engine alone: the folder listed, every file's stamps read (the
// import), then the plan's times written by the batch engine.
double fileTimesByEngine(const QString &folder, const QString &stateFolder, int files) {
    settle();
    QElapsedTimer clock;
    clock.start();
    QStringList names;
    int failed = importReads(folder, files, names);
    TimeWindow window;
    window.start = PlanStart;
    window.end = PlanEnd;
    window.step = 3;
    PlanState plan = StartPlan(window);
    test::ScriptedRandom random;
    StampsStep step(BatchKind::FileTimes, false, names, [&](int) {
        FileTimesUpdate u;
        u.creation = u.lastAccess = u.lastWrite = plan.cursor;
        plan = NextPlannedTime(plan, window, random);
        return std::optional(u);
    });
    failed += runEngine(step, folder, stateFolder).failed;
    if (failed > 0)
        std::fprintf(stderr, "engine: %d files failed\n", failed);
    return double(clock.nsecsElapsed()) / 1e9;
}

// The floor: the same reads and writes in a bare loop, without the journal or the engine's
// checks.
double fileTimesByLoop(const QString &folder, int files) {
    settle();
    QElapsedTimer clock;
    clock.start();
    QStringList names;
    int failed = importReads(folder, files, names);
    QStringList paths;
    for (const QString &name : names)
        paths << folder + QLatin1Char('/') + name;
    const FolderScope scope(folder); // as the window's apply holds the folder
    TimeWindow window;
    window.start = PlanStart;
    window.end = PlanEnd;
    window.step = 3;
    PlanState plan = StartPlan(window);
    test::ScriptedRandom random;
    for (const QString &path : paths) {
        FileTimesUpdate u;
        u.creation = u.lastAccess = u.lastWrite = plan.cursor;
        failed += WriteFileTimes(path, u).outcome() == WriteOutcome::Failure ? 1 : 0;
        plan = NextPlannedTime(plan, window, random);
    }
    if (failed > 0)
        std::fprintf(stderr, "engine: %d files failed\n", failed);
    return double(clock.nsecsElapsed()) / 1e9;
}

bool writePhotos(const QString &folder, int photos) {
    const QByteArray bytes =
        test::cameraPhoto(test::ByteOrder::Little, "2011:08:27 20:11:00").bytes;
    for (int i = 1; i <= photos; ++i) {
        QFile f(folder + QStringLiteral("/photo %1.jpg").arg(i));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

// The photos of `from` (*.jpg), copied; how many.
int copyPhotos(const QString &from, const QString &to) {
    int n = 0;
    for (const QString &name : QDir(from).entryList({QStringLiteral("*.jpg")}, QDir::Files))
        n += QFile::copy(from + u'/' + name, to + u'/' + name) ? 1 : 0;
    return n;
}

void importPhotos(FMainDate &w, const QString &folder) {
    w.OptExif->setChecked(true);
    w.LDir->setText(folder);
    w.File1->setPattern(QStringLiteral("*.jpg"));
    w.CmdInput->setEnabled(true);
    w.CmdInput->click();
}

PhotoDateSettings threeDaysEarlier() {
    PhotoDateSettings s;
    s.unit = ShiftUnit::Day;
    s.stepText = QStringLiteral("3");
    s.earlier = true;
    return s;
}

Phase rewriteThroughWindow(const QString &folder, const QString &workFolder, int photos) {
    Window win(workFolder);
    FMainDate &w = win.w;
    importPhotos(w, folder);
    w.features().dateRewrite->askSettings = [] { return threeDaysEarlier(); };
    const Phase p = measure(w.ProgressBar1, [&] { w.CmdPicDateMod->click(); });
    int failed = 0;
    for (int r = 1; r <= photos; ++r)
        failed += w.VSFlexGrid1->text(r, 5) == QStringLiteral("修改成功") ? 0 : 1;
    if (failed > 0)
        std::fprintf(stderr, "rewrite: %d photos not written\n", failed);
    return p;
}

// The window's rewrite on the engine alone (journal included), from the dates the import read.
double shiftByEngine(const QString &folder, const QString &stateFolder, int photos) {
    settle();
    QElapsedTimer clock;
    clock.start();
    test::ScriptedRandom random;
    const PhotoDateSettings settings = threeDaysEarlier();
    ShootingDatePlan plan(settings, random);
    QStringList names;
    for (int i = 1; i <= photos; ++i)
        names << QStringLiteral("photo %1.jpg").arg(i);
    DatePatchStep step(
        names,
        [&](int, DatePatchStep::Item &item) {
            item.original = QStringLiteral("2011-08-27 20:11:00");
            const DateTime base(2011, 8, 27, 20, 11, 0);
            item.move = plan.nextMove(base);
            item.date = item.move->applyTo(base);
        },
        DatePatchStep::InWindow{false, QStringLiteral("修改失败(文件访问错误)")});
    const int failed = runEngine(step, folder, stateFolder).failed;
    if (failed > 0)
        std::fprintf(stderr, "engine shift: %d photos not written\n", failed);
    return double(clock.nsecsElapsed()) / 1e9;
}

// The floor: the patch alone, photo by photo.
double shiftByLoop(const QString &folder, int photos) {
    settle();
    QElapsedTimer clock;
    clock.start();
    test::ScriptedRandom random;
    ShootingDatePlan plan(threeDaysEarlier(), random);
    const DateTime base(2011, 8, 27, 20, 11, 0);
    int failed = 0;
    for (int i = 1; i <= photos; ++i)
        failed += PatchShootingDate(folder + QStringLiteral("/photo %1.jpg").arg(i),
                                    ExifDateText(plan.newDate(base)))
                              .outcome == DatePatchOutcome::Written
                      ? 0
                      : 1;
    if (failed > 0)
        std::fprintf(stderr, "engine shift: %d photos not written\n", failed);
    return double(clock.nsecsElapsed()) / 1e9;
}

Phase eraseThroughWindow(const QString &folder, const QString &workFolder, int photos) {
    Window win(workFolder);
    FMainDate &w = win.w;
    importPhotos(w, folder);
    win.doubles.prompter.answer(MsgAnswer::No);
    const Phase p = measure(w.ProgressBar1, [&] { w.CmdPicExifDel->click(); });
    int failed = 0;
    for (int r = 1; r <= photos; ++r)
        failed += w.VSFlexGrid1->text(r, 5).isEmpty() ? 0 : 1;
    if (failed > 0)
        std::fprintf(stderr, "erase: %d photos not erased\n", failed);
    return p;
}

Phase eraseByExiftool(const QString &folder) {
    settle();
    QElapsedTimer clock;
    const ProcessorTime start = ProcessorTime::now();
    clock.start();
    QProcess tool;
    tool.start(QStringLiteral("exiftool"), {QStringLiteral("-q"), QStringLiteral("-all="),
                                            QStringLiteral("-overwrite_original"),
                                            QStringLiteral("-ext"), QStringLiteral("jpg"), folder});
    if (!tool.waitForFinished(-1) || tool.exitCode() != 0)
        std::fprintf(stderr, "exiftool failed\n");
    Phase p;
    p.wallSeconds = double(clock.nsecsElapsed()) / 1e9;
    p.processor = ProcessorTime::now() - start;
    return p;
}

constexpr int EraseRounds = 8;

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int files = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    const int photos = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 1000;
    const QString cases =
        argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("filetimes rewrite erase");
    if (files < 1 || photos < 1) {
        std::fprintf(stderr, "usage: %s [FILES] [PHOTOS] [\"filetimes rewrite erase\"]\n", argv[0]);
        return 2;
    }
    QTemporaryDir work;
    if (!work.isValid())
        return 1;

    if (cases.contains(QLatin1String("filetimes"))) {
        QTemporaryDir a, b, c, state;
        for (const QTemporaryDir *d : {&a, &b, &c})
            for (int i = 1; i <= files; ++i) {
                QFile f(d->filePath(QStringLiteral("file %1.dat").arg(i)));
                if (!f.open(QIODevice::WriteOnly) || f.write("content") != 7)
                    return 1;
            }
        const double floor = fileTimesByLoop(c.path(), files);
        const double engine = fileTimesByEngine(a.path(), state.path(), files);
        Phase window;
        if (!fileTimesThroughWindow(b.path(), work.path(), files, window))
            return 1;
        std::printf("file-time mode, %d files, import then a planned apply\n", files);
        report("filetime", window, engine, "engine", floor);
    }
    if (cases.contains(QLatin1String("rewrite"))) {
        QTemporaryDir a, b, c, state;
        if (!writePhotos(a.path(), photos) || !writePhotos(b.path(), photos) ||
            !writePhotos(c.path(), photos))
            return 1;
        const double floor = shiftByLoop(c.path(), photos);
        const double engine = shiftByEngine(a.path(), state.path(), photos);
        const Phase window = rewriteThroughWindow(b.path(), work.path(), photos);
        std::printf("shooting-date rewrite, %d photos, three days earlier\n", photos);
        report("rewrite", window, engine, "engine", floor);
    }
    if (cases.contains(QLatin1String("erase"))) {
        // Both sides move by tens of percent from one run to the next on a shared machine:
        // several rounds on fresh photos and the medians (the longest time without events is
        // the longest of all rounds). Neither side always goes first, nor always gets the
        // folder written second: here (ext4 without a journal, which looks past every recently
        // freed inode for each new file) the tool's side on that folder took two to three times
        // the system time, which alone put the ratio at 1.45 one way round and 0.83 the other.
        // KALMORA_BENCH_ERASE_PHOTOS: a folder of photos to erase instead of small made ones
        // (the journal reads each photo whole, so their size counts).
        const QString given = qEnvironmentVariable("KALMORA_BENCH_ERASE_PHOTOS");
        int erased = photos;
        QList<Phase> tools, windows;
        for (int round = 0; round < EraseRounds; ++round) {
            QTemporaryDir first, second; // written in this order
            if (given.isEmpty()
                    ? !writePhotos(first.path(), photos) || !writePhotos(second.path(), photos)
                    : (erased = copyPhotos(given, first.path())) < 1 ||
                          copyPhotos(given, second.path()) != erased)
                return 1;
            const bool windowGetsFirst = (round / 2) % 2 == 1;
            const QString windowFolder = (windowGetsFirst ? first : second).path();
            const QString toolFolder = (windowGetsFirst ? second : first).path();
            if (round % 2 == 0) {
                tools.append(eraseByExiftool(toolFolder));
                windows.append(eraseThroughWindow(windowFolder, work.path(), erased));
            } else {
                windows.append(eraseThroughWindow(windowFolder, work.path(), erased));
                tools.append(eraseByExiftool(toolFolder));
            }
        }
        double longest = 0;
        QString ratios;
        for (int round = 0; round < EraseRounds; ++round) {
            longest = std::max(longest, windows[round].longestGapMs);
            ratios += QStringLiteral(" %1").arg(
                windows[round].wallSeconds / tools[round].wallSeconds, 0, 'f', 2);
            // Where a round's time went: the program's own processor time, the tool's.
            std::printf("  round %d (%s first, window on the folder written %s): window %.3f s "
                        "(own processor %.3f s; exiftool %.3f s, system %.3f s) | exiftool "
                        "%.3f s (processor %.3f s, system %.3f s)\n",
                        round + 1, round % 2 == 0 ? "exiftool" : "window",
                        (round / 2) % 2 == 1 ? "first" : "second", windows[round].wallSeconds,
                        windows[round].processor.own, windows[round].processor.children,
                        windows[round].processor.childrenSystem, tools[round].wallSeconds,
                        tools[round].processor.children, tools[round].processor.childrenSystem);
        }
        const auto byWall = [](const Phase &x, const Phase &y) {
            return x.wallSeconds < y.wallSeconds;
        };
        std::sort(tools.begin(), tools.end(), byWall);
        std::sort(windows.begin(), windows.end(), byWall);
        // Of an even count, the upper of the middle two.
        Phase window = windows[EraseRounds / 2];
        window.longestGapMs = longest;
        std::printf("erase, %d photos (medians of %d rounds; ratio of each round:%s)\n", erased,
                    EraseRounds, qPrintable(ratios));
        report("erase", window, tools[EraseRounds / 2].wallSeconds, "exiftool");
    }
    return 0;
}
