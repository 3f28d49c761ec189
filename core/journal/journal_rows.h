#pragma once

// What a batch's journal holds while it runs: the rows of its intents, the after-values it
// learnt, and the cache its threads share (see journal_writer.cpp). For the journal's own files.
// Each queue holds at most a window of rows (JournalConfig::rowsInMemory): what is durable and
// done is dropped, and done() reads back the entries it no longer holds.
#include "core/journal/journal.h"
#include "core/journal/journal_store.h"

#include <QList>
#include <QString>

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace kalmora {

// An intent's row, made when its group is written: the file is read then, still before it
// changes (it changes only once its intent is durable).
struct BatchJournal::Row {
    ChangeKind kind = ChangeKind::Stamps;
    QString path;
    QString newPath;
    FileState old;
    QByteArray intended;
    QString kept;
    qint64 keptBytes = 0;
    QList<BytePatch> patches;
    bool link = false;
    bool forgotten = false; // forgetAfter(): not written
};
// What done() learnt of a file while the writer still had the database.
struct BatchJournal::After {
    int seq = 0;
    bool succeeded = false;
    FileState state;
    QList<std::optional<QByteArray>> patches; // none: the patch holds what it intended
};

struct BatchJournal::Cache {
    explicit Cache(int rows) : window(std::max(1, rows)) {}

    // What done() must know of an entry: its kind, its paths, its patches; read back from the
    // database once it is no longer held.
    struct Entry {
        int seq = 0; // 0: no such entry (forgotten, or never read)
        ChangeKind kind = ChangeKind::Stamps;
        QString path;
        QString newPath;
        struct Patch {
            qint64 offset = 0;
            qsizetype length = 0;
            QByteArray intended;
        };
        QList<Patch> patches;
        FileState old;     // renames: what the file holds under its new name after the change
        bool link = false; // the stamps of a link: the engine's read-back is of its target
    };
    // A byte for every intent, by seq - 1, so that done() needs no entry for most files.
    enum Trait : quint8 { Stamps = 1, Link = 2 };

    const int window; // rows each queue holds at most
    // The reader takes intents, and tells the writer of its rows, a few at a time (each taking
    // and telling takes the lock the others wait for), never more than a window holds.
    int readerStep() const { return std::min(16, window); }
    // The writer's groups grow up to a window; the intents queued ahead of the disk, and the
    // rows the reader makes ahead of the writer, stop at two.
    int queuedMax() const { return 2 * window; }

    // Sized before any thread starts, so that threads touch only their own slots.
    std::vector<quint8> traits;               // filled as each row is written
    std::vector<Entry> entries;               // the first window's, filled as written
    std::deque<std::function<Row()>> pending; // intents not made yet, from seq taken + 1
    int taken = 0;                            // intents made into rows (or being made)
    std::deque<Row> made;                     // rows the reader made, from seq written + 1
    int written = 0;                          // intents in the database, committed or not
    int expected = 0;                         // while streaming: the intents announced
    bool committed = false;                   // part of the batch is on the disk
    std::unique_ptr<journal_detail::Statement> insertEntry, insertPatch, updateAfter, updatePatch;

    // The loop's own connection, for the entries done() reads back, and the page it read last.
    sqlite3 *pageDb = nullptr;
    std::vector<Entry> page;
    int pageFrom = 0;

    // A reader reads the files and makes their rows (while streaming, as the intents come; else
    // after the first group) while the writer commits each time all the rows made meanwhile, so
    // that the rows are made during the flushes and the files change during both.
    std::thread reader, writer;
    std::mutex mutex;
    std::condition_variable moved;         // more intents durable, after-values taken, writer ended
    std::condition_variable toWriter;      // rows made, after-values held, the loop waits, the end
    std::condition_variable toReader;      // intents queued, room for more rows, the end
    int readFrom = INT_MAX;                // the reader makes the rows after this seq
    int queued = 0;                        // intents handed to the reader, in order
    bool readerWaits = false;              // for intents, or for room
    int madeUpTo = 0;                      // rows made, in order
    int total = INT_MAX;                   // the intents of the batch, once they are all known
    bool streaming = false;                // intents are queued while the writer runs
    int waitingFor = 0;                    // the seq the loop waits for
    std::atomic<int> durable = 0;          // written under the mutex; read without it by ready()
    std::atomic<int> forgetFrom = INT_MAX; // content rows from this seq on are not made
    bool writerFailed = false;
    bool writerDone = true;
    bool ending = false;   // end(): the writer writes what is held and stops
    bool stopping = false; // no end: both stop where they are
    QList<After> held;     // after-values for the writer's next transaction
    QList<After> ours;     // the loop's, handed to `held` a few at a time

    // The rows that make the writer's next group: as many as are written (so that groups double
    // and a batch takes few flushes), at least a few while streaming, at most a window.
    int groupSize() const;
    // Whether the writer has a group to write. Intents: a group, or those the loop waits for,
    // or the last. After-values: a group's worth once the intents are written, a window's
    // before, or the last ones.
    bool writerHasWork() const;

    // Statements go before their connection is handed on.
    void finalize() {
        insertEntry.reset(), insertPatch.reset(), updateAfter.reset(), updatePatch.reset();
    }
    // Entry `seq` of `batch`, from the first window's or read back with its page; null when it
    // cannot be read.
    const Entry *entryOf(int seq, const JournalConfig &config, qint64 batch, const QString &folder);
    void closePages() {
        sqlite3_close(pageDb);
        pageDb = nullptr;
        page = {};
    }
};

} // namespace kalmora
