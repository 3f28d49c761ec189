#pragma once

// What a batch's journal holds while it runs: the rows of its intents, the after-values it
// learnt, and the cache its threads share (see journal_writer.cpp). For the journal's own files.
#include "core/journal/journal.h"
#include "core/journal/journal_store.h"

#include <QList>
#include <QString>

#include <atomic>
#include <climits>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
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
    QList<QByteArray> patches;
};

struct BatchJournal::Cache {
    struct Entry {
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
    // By seq - 1 and sized before any thread starts, so that threads touch only their own slots.
    std::vector<Entry> entries;                // filled as each row is written
    std::vector<std::function<Row()>> pending; // emptied as each row is made
    std::vector<Row> made;                     // rows the reader made ahead of the writer
    int written = 0;                           // intents in the database, committed or not
    std::unique_ptr<journal_detail::Statement> insertEntry, insertPatch, updateAfter, updatePatch;

    // After the first group, a reader reads the files and makes their rows while the writer
    // commits each time all the rows made meanwhile, so that the rows are made during the
    // flushes and the files change during both.
    std::thread reader, writer;
    std::mutex mutex;
    std::condition_variable moved;    // to the loop: more intents durable, or the writer ended
    std::condition_variable toWriter; // rows made, after-values held, the loop waits, the end
    int readFrom = INT_MAX;           // the reader makes the rows after this seq
    int madeUpTo = 0;                 // rows made (queued, while streaming), in order
    int total = INT_MAX;              // the intents of the batch, once they are all known
    bool streaming = false;           // intents are queued while the writer runs
    int wakeAt = 0;     // while streaming: the intents queued that make the writer's next group
    int waitingFor = 0; // the seq the loop waits for
    std::atomic<int> durable = 0;          // written under the mutex; read without it by ready()
    std::atomic<int> forgetFrom = INT_MAX; // content rows from this seq on are not made
    bool writerFailed = false;
    bool writerDone = true;
    bool ending = false;   // end(): the writer writes what is held and stops
    bool stopping = false; // no end: both stop where they are
    QList<After> held;     // after-values for the writer's next transaction
    QList<After> ours;     // the loop's, handed to `held` a few at a time

    // Whether the writer has a group to write. Intents: at least as many rows as are durable, so
    // that groups double and a batch takes few flushes, or those the loop waits for, or the last.
    // After-values: a group's worth, or the last ones.
    bool writerHasWork() const;

    // Statements go before their connection is handed on.
    void finalize() {
        insertEntry.reset(), insertPatch.reset(), updateAfter.reset(), updatePatch.reset();
    }
};

} // namespace kalmora
