#pragma once

// What the history lists of the journal (the history window, `kalmora-cli history`) and what
// the restore reads of one batch.
#include "core/base/file_state.h"
#include "core/journal/journal_types.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

struct sqlite3;

namespace kalmora {

// A batch as the history lists it.
struct BatchSummary {
    qint64 id = 0;
    qint64 started = 0;
    qint64 ended = 0;
    QString folder;
    BatchKind kind = BatchKind::FileTimes;
    enum class State { Running = 0, Finished = 1, Interrupted = 2 } state = State::Finished;
    int done = 0;
    int failed = 0;
    int total = 0;
    qint64 undoes = 0;   // the batch this one restored
    qint64 undoneBy = 0; // the last restore of this batch
    // What an undo can no longer put back: the kept originals were removed to stay within
    // their limit, or photos were erased without keeping theirs (the user agreed to).
    bool originalsPruned = false;
    int erasedWithoutOriginal = 0;
};
// Every batch, newest first; a batch still running that no process runs is interrupted. Empty
// with a reason when the journal cannot be read.
QList<BatchSummary> ListBatches(const JournalConfig &config, QString *reason = nullptr);
// The space the originals kept for undoing take on the disk, in bytes.
qint64 KeptOriginalsBytes(const JournalConfig &config);

// One journal entry as the restore reads it.
struct JournalEntry {
    int seq = 0;
    ChangeKind kind = ChangeKind::Stamps;
    QString path;
    QString newPath;
    FileState old;
    FileState intended; // stamps the batch meant to set (Stamps); for others, partly filled
    bool intendedKnown = false;
    std::optional<FileState> after;
    QString kept;
    QList<BytePatch> patches;
    QList<QByteArray> patchAfter;
    int state = 0; // EntryIntended until the batch recorded how its change went
};
bool ReadEntries(const JournalConfig &config, qint64 batch, QList<JournalEntry> &entries,
                 BatchSummary &summary, QString *reason);

// One batch's entries, newest first, read a page at a time (JournalConfig::rowsInMemory): the
// undo of a batch of a million files holds one page. It reads the journal as it was when it
// opened, whatever is written or pruned meanwhile.
class BatchEntries {
public:
    BatchEntries() = default;
    ~BatchEntries();
    BatchEntries(const BatchEntries &) = delete;
    BatchEntries &operator=(const BatchEntries &) = delete;

    // False, and why, when the journal has no such batch or cannot be read.
    bool open(const JournalConfig &config, qint64 batch, BatchSummary &summary, QString *reason);
    int count() const { return m_count; }
    // Whether an entry keeps an original (an erase's photo): its undo keeps the erased one.
    bool keepsOriginals() const { return m_keepsOriginals; }
    // Entry i, newest first; null when it cannot be read.
    const JournalEntry *at(int i);

private:
    bool load(int page);

    sqlite3 *m_db = nullptr;
    qint64 m_batch = 0;
    int m_count = 0;
    int m_pageRows = 1;
    bool m_keepsOriginals = false;
    QString m_folder; // the batch's: its entries name their files in it
    QList<JournalEntry> m_page;
    int m_pageAt = -1;
    std::vector<qint64> m_pageBelow; // page k holds the entries below this seq
};

namespace journal_detail {

// The batches this process has open (BatchJournal adds and removes them): any other batch of
// ours that still shows as running was cut off (its journal went away without an end).
void BatchOpened(qint64 batch);
void BatchClosed(qint64 batch);
bool BatchOpenHere(qint64 batch);
// Whether the batch recorded as started by process `pid` still runs (in this process: is open).
bool BatchRunning(qint64 pid, qint64 batch);

} // namespace journal_detail

} // namespace kalmora
