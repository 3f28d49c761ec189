#pragma once

// One batch engine for every kind of batch: a list of per-file steps of one kind, run by one
// runner that alone owns the journal protocol (each file's intent durable before it changes,
// done, end), the batch folder's handle, Stop, progress and the row rule: a row that reads
// success holds on disk what it shows; a row that reads failure leaves the file as it was.
// Front ends (the window's grid, the command line's lines) implement a sink and hold no batch
// logic.

#include "core/base/file_state.h"
#include "core/journal/journal.h"

#include <QHash>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>
#include <utility>

namespace kalmora {

// How a file's row came out.
enum class RowVerdict {
    Done,    // changed; the file holds what the row shows
    Failed,  // not changed, or put back: the file is as it was
    Skipped, // nothing to change for this file (no date, no Exif): left alone
    NotDone, // not reached: the batch stopped before it
    DryRun,  // what the batch would do
};

// One file's row as the front ends show it.
struct BatchRow {
    int index = 0; // in the batch's list, from 0
    RowVerdict verdict = RowVerdict::Failed;
    // What the row shows besides its verdict, by name, in the order a line prints them; the
    // row's result text is "note".
    QList<std::pair<QString, QString>> values;

    QString value(const QString &name) const;
    bool has(const QString &name) const;
    void set(const QString &name, const QString &text);
};

// What the journal keeps of a file after its change.
struct ChangeResult {
    bool succeeded = false;
    std::optional<FileState> after; // read back by the change itself; none: the journal reads
    QHash<qint64, QByteArray> held; // date patches: the bytes at each patched offset
};

// The work of one batch kind. The runner calls it in this order: prepare() for every file (on
// one thread, in order), then intend() for those that change, then, file by file, handOver()
// and change(), each only once that file's intent is durable.
class BatchStep {
public:
    virtual ~BatchStep() = default;
    virtual BatchKind kind() const = 0;
    virtual int count() const = 0;
    // The file's name in the batch's folder.
    virtual QString name(int i) const = 0;
    // Whether the intents keep the files' originals (the erase, and an undo that puts such
    // originals back): they then wait in memory until the changes begin, so that a stop leaves
    // out those of the files never handed over. Other intents go to the journal as they are
    // worked out, and only a window of them is held.
    virtual bool keepsOriginals() const { return kind() == BatchKind::Erase; }
    // Works out file i's change. False: nothing changes in this file; `row` then is its row.
    virtual bool prepare(int i, BatchRow &row) = 0;
    // After a prepare(): the user chose there that the batch must not start (told already).
    virtual bool refused() const { return false; }
    // Records the intent of file i, whose path the journal keeps as `path`: the entry's number,
    // or 0 when it was not recorded; then either the journal says why, or the step has told the
    // user why the batch must not start (its reason is empty).
    virtual int intend(BatchJournal &journal, int i, const QString &path) = 0;
    // File i's row in a dry run; `path` as change() would take it.
    virtual void dryRun(int i, const QString &path, BatchRow &row) = 0;
    // How many files the next hand-over takes (a program that takes several per command).
    virtual int groupSize() const { return 1; }
    // Whether the next files are handed over as soon as the first of the last hand-over is
    // changed, so that a program works on them while the rows before are read again.
    virtual bool handsAhead() const { return false; }
    // The files whose changes are handed over together; their change() calls follow in order.
    virtual void handOver(const QList<int> &) {}
    // Changes file i at `path` (through the batch's folder), fills its row and says what the
    // journal keeps.
    virtual ChangeResult change(int i, const QString &path, BatchRow &row) = 0;
    // The row of a file the batch did not reach.
    virtual void notReached(int i, BatchRow &row);
    // After the last change, on the runner's thread (a program it started ends there).
    virtual void finish() {}
    // Before another pass over the files that failed (see BatchSink::again).
    virtual void newPass() {}
};

// Where a batch's rows, progress and journal failures go.
class BatchSink {
public:
    virtual ~BatchSink() = default;
    virtual void row(const BatchRow &row) = 0;
    virtual void progress(int done, int total);
    // File i of `total` is about to change (a front end may let the user's Stop in here).
    virtual void changing(int i, int total);
    // The journal cannot record the batch: before its first change (`started` false: nothing
    // changed) or during it (it stops before the next file).
    virtual void journalFailed(bool started, const QString &reason) = 0;
    // After a pass that reached every file with `failed` failures: whether to try those files
    // again (each row is reported again), as part of the same batch.
    virtual bool again(int failed);
    // The batch waits (`true`) for another batch's journal writes before it starts, or no
    // longer (`false`): told after a second of waiting, and then once it ends.
    virtual void journalBusy(bool waiting);
    // The journal cannot begin the batch: whether to run it all the same, unrecorded (no undo).
    // Told of the refusal otherwise (journalFailed).
    virtual bool goOnWithoutJournal(const QString &reason);
};

struct BatchOptions {
    QString folder;        // of the files, as given: every read and write goes through it
    QString journalFolder; // the same folder as the journal keeps it (whole); empty: `folder`
    bool dryRun = false;
    JournalConfig journal;
    qint64 undoes = 0; // the batch this one restores
    // How long the batch waits for another batch's journal writes before it starts; 0: until
    // it is stopped.
    qint64 journalWaitMs = 30000;
};

struct BatchOutcome {
    enum class End {
        Finished,      // every file had its turn
        Stopped,       // stopped by the user; the files after `reached` were not touched
        JournalFailed, // the journal failed during the batch; the same
        NotStarted,    // nothing changed: the journal could not record it, or the step refused
    };
    End end = End::NotStarted;
    bool changing = false; // the changes began: every intent was recorded and the first durable
    int reached = 0;       // files that had their turn
    int done = 0;
    int failed = 0;
    qint64 batchId = 0;
};

class BatchRunner {
public:
    BatchRunner(BatchStep &step, BatchSink &sink, BatchOptions options);

    // Runs the batch on this thread.
    BatchOutcome run();
    // From any thread: the batch ends after the file it is changing.
    void requestStop() { m_stop.store(true, std::memory_order_relaxed); }
    bool stopRequested() const { return m_stop.load(std::memory_order_relaxed); }

    // Tests: runs right before each hand-over, once the files' intents are durable (a folder
    // swapped there must not be written into).
    std::function<void(int first)> beforeChange;

private:
    QString pathOf(int i) const;
    QString journalPathOf(int i) const;

    BatchStep &m_step;
    BatchSink &m_sink;
    BatchOptions m_options;
    std::atomic<bool> m_stop{false};
};

} // namespace kalmora
