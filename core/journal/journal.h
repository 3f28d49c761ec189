#pragma once

// The batch journal, its public face: BatchJournal records one batch, the history reads them
// back (journal_history.h), the texts the user reads (journal_texts.h), the journal's reads of
// the files (file_capture.h). The parts: journal.cpp (a batch's begin, intents and pruning),
// journal_writer.cpp (the threads that make the intents durable, the after-values, the end),
// journal_store (SQLite and the schema), kept_originals (the erase's originals).
#include "core/filetime/file_times.h"
#include "core/journal/file_capture.h"
#include "core/journal/journal_history.h"
#include "core/journal/journal_texts.h"
#include "core/journal/journal_types.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

struct sqlite3;

namespace kalmora {

class Clock;
class Environment;
class Prompter;
class Settings;
struct Services;

// From $XDG_STATE_HOME/Kalmora (else ~/.local/state/Kalmora) and the "Journal" settings group.
JournalConfig JournalConfigFrom(const Environment &environment, const Settings &settings,
                                const Clock &clock);

// Records one batch: every file's intent durably before the files change, what they hold after.
// A batch that cannot be recorded must not start: begin() and commit() say why.
class BatchJournal {
public:
    explicit BatchJournal(JournalConfig config);
    ~BatchJournal();
    BatchJournal(const BatchJournal &) = delete;
    BatchJournal &operator=(const BatchJournal &) = delete;

    bool enabled() const { return m_config.enabled; }
    // Opens the journal and records the batch as running; prunes old batches first.
    bool begin(const QString &folder, BatchKind kind, qint64 undoes = 0);
    qint64 batchId() const { return m_batch; }

    // Intents, each numbered in order (the entry's seq, from 1); 0 when nothing could be
    // recorded (reason()). Each file is read when its intent's row is written, by commit() or
    // commitFirst()'s groups, before the file may change (intendContent keeps the original at
    // once); a row that cannot be written fails the commit (or ready()).
    int intendStamps(const QString &path, const FileTimesUpdate &update);
    int intendStampsExact(const QString &path, const FileState &target);
    int intendRename(const QString &from, const QString &to);
    // A date patch's bytes, as the caller finds them in the photo (the journal reads no Exif):
    // each patch's offset, the bytes it holds and those the patch writes. Called when the
    // intent's row is made (perhaps on the journal's threads), after the journal has read the
    // file's state `old` and before the file may change; `link`: the name is a symbolic link.
    using PatchFinder = std::function<QList<BytePatch>(const FileState &old, bool link)>;
    // The date texts `find` finds (none: no patch is kept); the stamps stay as they were.
    int intendDatePatch(const QString &path, PatchFinder find);
    int intendBytes(const QString &path, const QList<BytePatch> &patches, const FileState &stamps);
    enum class Keep { Kept, TooLarge, OverLimit, Failed };
    // The original is kept (a hard link, else a copy up to the copy limit) before it returns;
    // its content is hashed when its row is written. TooLarge: nothing kept yet; the caller
    // asks, then calls intendContent(path, false) to go on without undo. OverLimit: the same,
    // as the batch's originals would pass the limit of kept originals (keepOriginalsBytes),
    // unless keepBeyondLimit() was called; only to a caller that takes `keep` (an undo keeps
    // what it replaces whatever the limit).
    int intendContent(const QString &path, bool keepOriginal, Keep *keep = nullptr);
    // The batch keeps every original, beyond the limit too (the user said so).
    void keepBeyondLimit() { m_keepBeyondLimit = true; }
    // The files of the content intents after `seq` will not change (the erase stopped before
    // handing them over): those intents not written yet are left out, unhashed, and their kept
    // originals removed. The journal then holds the first intents in order, as if no more had
    // been taken.
    void forgetAfter(int seq);
    // Gives up a batch whose files never changed: nothing of it stays in the journal, nor any
    // original it kept.
    void abandon();
    // Makes every intent so far durable, in one transaction (one flush to the disk). False: the
    // batch must not go on (reason()).
    bool commit();
    // Before any intent: a reader thread makes their rows and a writer thread commits them in
    // groups as they come (up to `expected`), so that most are durable when commitFirst() marks
    // the last. No more than two windows of them (JournalConfig::rowsInMemory) wait in memory:
    // an intent beyond waits for the writer. False: the batch must not start.
    bool streamIntents(int expected);
    // As commit(), for a loop that asks ready() before each file: makes only the first intents
    // durable (those read in a couple of milliseconds, one flush), then a reader thread reads
    // the others' files while a writer thread commits them in growing groups, each flushed
    // before ready() lets its files change. False: the batch must not start (reason()).
    bool commitFirst();
    // Whether entry `seq`'s intent is durable, after waiting for its group. False: it cannot be
    // (reason()); neither that file nor any later one may change. `whileWaiting` runs every
    // few milliseconds while the group is still being written (a window handles its events).
    bool ready(int seq, const std::function<void()> &whileWaiting = {});
    // What the file holds after the change (read now), recorded in groups of 256 without a
    // flush of its own (after commitFirst(), by the writer thread): an after-value lost in a
    // crash makes the entry one of a cut-off batch, which the restore judges by the old and
    // the intended values. An entry the journal no longer holds is read back from the disk.
    void done(int seq, bool succeeded);
    // As done(), with what the engine read back after its change instead of reading the file
    // again: `after` its state (no value: read now), `held` (date patches) the bytes it holds at
    // the patched offsets, each from that offset on.
    void done(int seq, bool succeeded, const std::optional<FileState> &after,
              const QHash<qint64, QByteArray> &held = {});
    // Ends the batch (finished); records the last after-values. `whileWaiting` runs every few
    // milliseconds while the writer thread writes them. A log that has grown goes into the
    // database afterwards, on a thread of its own that takes this connection along.
    bool end(const std::function<void()> &whileWaiting = {});

    QString reason() const { return m_reason; }
    const JournalConfig &config() const { return m_config; }

private:
    bool fail(const QString &why);
    bool exec(const char *sql);
    struct Row;
    struct After;
    // Numbers an intent; its row is made when its group is written.
    int queue(std::function<Row()> make);
    bool writeRows(int upTo);
    bool writeRow(const Row &row);
    void readAhead();
    void writeGroups();
    void stopThreads();
    void joinWriter();
    // Waits on the writer's progress until `until`, with the cache's lock held by `lock`;
    // `whileWaiting` runs every few milliseconds meanwhile, without the lock.
    void waitForWriter(std::unique_lock<std::mutex> &lock, const std::function<bool()> &until,
                       const std::function<void()> &whileWaiting);
    bool commitTransaction();
    void intentsDurable();
    void writeAfter(const After &after);
    // Returns the highest batch number among the folders of kept originals it found.
    qint64 prune();
    // What batches cut off by the end of their process left in the originals folder.
    void removeLeftovers();

    // The statements every entry takes, prepared once, and what done() must know of each entry.
    struct Cache;
    std::unique_ptr<Cache> m_cache;
    JournalConfig m_config;
    sqlite3 *m_db = nullptr;
    qint64 m_batch = 0;
    qint64 m_undoes = 0;    // the batch this one restores: its originals are not pruned
    qint64 m_keptBytes = 0; // by this batch
    bool m_keepBeyondLimit = false;
    int m_seq = 0;
    bool m_inTransaction = false;
    bool m_intentsDurable = false;
    int m_uncommitted = 0;
    int m_logFrames = 0;        // in the write-ahead log after the last commit
    QElapsedTimer m_beginClock; // the wait for the write lock, while the batch begins
    QString m_reason;
    QString m_folder; // of the batch
    QString m_keptFolder;
};

// Serialised forms for the store.
QByteArray EncodeState(const FileState &state);
FileState DecodeState(const QByteArray &bytes);

} // namespace kalmora
