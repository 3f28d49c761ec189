// The batch journal's cost: the shooting-date shift, the stamps and the rename of 1,000 files,
// each run with the journal off and on (every file's intent durable before the change, its
// after-state recorded), side by side. The files are made afresh before every run.
// Usage: kalmora_bench_journal WORKFOLDER [CASE]
#include "core/journal/journal.h"
#include "bench/bench_support.h"
#include "core/batch/date_patch_intent.h"
#include "core/exif/date_shift.h"
#include "core/exif/exif_reader.h"
#include "core/filetime/file_times.h"
#include "core/filetime/rename_rules.h"
#include "tests/support/jpeg_builder.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <functional>
#include <unistd.h>

using namespace kalmora;

namespace {

constexpr int Files = 1000;
constexpr int Runs = 5;

QString nameOf(int i) {
    return QStringLiteral("photo %1.jpg").arg(i, 4, 10, QLatin1Char('0'));
}

bool makeFiles(const QString &folder, const QByteArray &photo) {
    QDir(folder).removeRecursively();
    if (!QDir().mkpath(folder))
        return false;
    for (int i = 0; i < Files; ++i) {
        QFile f(folder + QLatin1Char('/') + nameOf(i));
        if (!f.open(QIODevice::WriteOnly) || f.write(photo) != photo.size())
            return false;
    }
    return true;
}

// What the engine did to one file, with what it read back after (as the loops hand it over).
struct Changed {
    bool ok = false;
    std::optional<FileState> after;
    QHash<qint64, QByteArray> fields;
};

struct Case {
    const char *name;
    BatchKind kind;
    std::function<int(BatchJournal &, const QString &path, int i)> intend;
    std::function<Changed(const QString &path, int i)> change;
};

// Where one run's time went, in seconds.
struct Phases {
    double intents = 0, commit = 0, changes = 0, end = 0;
};

// Seconds for one run over the folder; -1 when a file was not handled.
double run(const Case &c, const QString &folder, const QString &state, bool journalOn,
           Phases &phases) {
    JournalConfig config;
    config.stateFolder = state;
    config.enabled = journalOn;
    QElapsedTimer clock;
    clock.start();
    const FolderScope scope(folder); // as the program's batches hold their folder
    BatchJournal journal(config);
    if (!journal.begin(folder, c.kind))
        return -1;
    QList<int> seqs(Files);
    for (int i = 0; i < Files; ++i)
        seqs[i] = c.intend(journal, folder + QLatin1Char('/') + nameOf(i), i);
    phases.intents = double(clock.nsecsElapsed()) / 1e9;
    if (!journal.commitFirst())
        return -1;
    phases.commit = double(clock.nsecsElapsed()) / 1e9 - phases.intents;
    int failed = 0;
    // As the window's loops: they handle the window's events while they wait (none here).
    const auto breathe = [] {};
    for (int i = 0; i < Files; ++i) {
        if (!journal.ready(seqs[i], breathe))
            return -1;
        const Changed changed = c.change(folder + QLatin1Char('/') + nameOf(i), i);
        failed += changed.ok ? 0 : 1;
        journal.done(seqs[i], changed.ok, changed.after, changed.fields);
    }
    phases.changes = double(clock.nsecsElapsed()) / 1e9 - phases.intents - phases.commit;
    if (!journal.end(breathe) || failed > 0)
        return -1;
    const double total = double(clock.nsecsElapsed()) / 1e9;
    phases.end = total - phases.intents - phases.commit - phases.changes;
    return total;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2 && argc != 3)
        return bench::usage(argv[0], "WORKFOLDER [shift|stamps|rename]");
    const QString work = QString::fromLocal8Bit(argv[1]);
    const QString folder = work + QStringLiteral("/files");
    const QString state = work + QStringLiteral("/state/Kalmora");
    const QByteArray photo = test::cameraPhoto(test::ByteOrder::Little).bytes;
    const DateTime planned(2021, 3, 4, 9, 0, 0);
    const QString shifted = QStringLiteral("2019:05:07 13:22:41");

    const QList<Case> cases{
        {"shift", BatchKind::DateRewrite,
         [&](BatchJournal &j, const QString &p, int) {
             return j.intendDatePatch(
                 p, DateTextPatches(p, shifted,
                                    {TagDateTimeOriginal, TagDateTimeDigitized, TagDateTime}));
         },
         [&](const QString &p, int) {
             const DatesPatchResult r = PatchShootingDates(p, shifted, std::nullopt);
             return Changed{r.outcome == DatePatchOutcome::Written, r.after, r.fields};
         }},
        {"stamps", BatchKind::FileTimes,
         [&](BatchJournal &j, const QString &p, int i) {
             const DateTime t = planned.addSeconds(60 * i);
             return j.intendStamps(p, FileTimesUpdate{t, t, t});
         },
         [&](const QString &p, int i) {
             const DateTime t = planned.addSeconds(60 * i);
             const FileTimesWriteResult r = WriteFileTimes(p, FileTimesUpdate{t, t, t});
             return Changed{r.outcome() != WriteOutcome::Failure, r.state, {}};
         }},
        {"rename", BatchKind::Rename,
         [&](BatchJournal &j, const QString &p, int) {
             return j.intendRename(p, p + QStringLiteral(".renamed.jpg"));
         },
         [&](const QString &p, int) {
             return Changed{RenameNoReplace(p, p + QStringLiteral(".renamed.jpg")) ==
                                RenameError::None,
                            {},
                            {}};
         }},
    };
    int failed = 0;
    for (const Case &c : cases) {
        if (argc == 3 && qstrcmp(argv[2], c.name) != 0)
            continue;
        QList<double> off, on;
        Phases last;
        // Alternating, so a change of the machine's load falls on both sides alike.
        for (int r = 0; r < Runs; ++r) {
            for (const bool journalOn : {false, true}) {
                if (!makeFiles(folder, photo))
                    return 1;
                ::sync();
                Phases phases;
                const double s = run(c, folder, state, journalOn, phases);
                if (journalOn)
                    last = phases;
                failed += s < 0 ? 1 : 0;
                (journalOn ? on : off).append(s);
            }
        }
        std::sort(off.begin(), off.end());
        std::sort(on.begin(), on.end());
        const double a = off[Runs / 2], b = on[Runs / 2];
        std::printf("%-7s %d files | journal off %7.1f ms | on %7.1f ms | cost %+5.1f%% "
                    "(medians of %d)\n",
                    c.name, Files, a * 1000, b * 1000, (b - a) / a * 100, Runs);
        std::printf("        last run with the journal: begin and intents %.1f ms, commit %.1f ms, "
                    "changes with after-values %.1f ms, end %.1f ms\n",
                    last.intents * 1000, last.commit * 1000, last.changes * 1000, last.end * 1000);
    }
    QDir(work).removeRecursively();
    return bench::finish("journal", qsizetype(Files) * 3, failed);
}
