#pragma once

// What the history lists of the journal (the history window, `kalmora-cli history`) and what
// the restore reads of one batch.
#include "core/base/file_state.h"
#include "core/journal/journal_types.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

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
};
// Every batch, newest first; a batch still running that no process runs is interrupted. Empty
// with a reason when the journal cannot be read.
QList<BatchSummary> ListBatches(const JournalConfig &config, QString *reason = nullptr);

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

namespace journal_detail {

// The batches this process has open (BatchJournal adds and removes them): any other batch of
// ours that still shows as running was cut off (its journal went away without an end).
QSet<qint64> &openBatches();

} // namespace journal_detail

} // namespace kalmora
