// The batch journal: one SQLite database in the user's state folder (WAL, synchronous FULL), the
// kept originals of erased photos beside it.
#include "core/journal/journal.h"

#include "core/base/path_bytes.h"
#include "core/journal/journal_history.h"
#include "core/journal/journal_store.h"
#include "core/journal/kept_originals.h"
#include "core/platform/clock.h"
#include "core/platform/environment.h"
#include "core/platform/services.h"
#include "core/platform/settings.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QSet>
#include <QtEndian>

#include <openssl/evp.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace kalmora {

using namespace journal_detail;

namespace {

constexpr int GroupSize = 256;
// The intents that must be durable before the first file changes: as many as are read in a
// short while, so that the first files take about as long to change as the writer's first
// flush of the next group (a smaller group makes the loop wait for that flush, a larger one
// delays the first file).
constexpr std::chrono::microseconds FirstGroupTime{2000};
constexpr int FirstGroupMax = 256;
// The reader tells the writer of its rows, and the loop the writer of its after-values, a few at
// a time: each telling takes the lock the others wait for.
constexpr int ReaderStep = 16, HandOverStep = 64;
// Intents queued while the caller still reads its files go to the disk once this many have
// gathered (then in doubling groups), not a flush for every few.
constexpr int StreamGroupMin = 32;
constexpr int LogCheckpointFrames = 1000; // SQLite's own default

} // namespace

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
    std::unique_ptr<Statement> insertEntry, insertPatch, updateAfter, updatePatch;

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
    bool writerHasWork() const {
        if (stopping)
            return true;
        if (written < total)
            return madeUpTo > written &&
                   (madeUpTo - written >= std::max(written, streaming ? StreamGroupMin : 0) ||
                    madeUpTo == total || (waitingFor > durable && madeUpTo >= waitingFor));
        return ending || held.size() >= GroupSize;
    }

    // Statements go before their connection is handed on.
    void finalize() {
        insertEntry.reset(), insertPatch.reset(), updateAfter.reset(), updatePatch.reset();
    }
};

BatchJournal::BatchJournal(JournalConfig config)
    : m_cache(std::make_unique<Cache>()), m_config(std::move(config)) {}

BatchJournal::~BatchJournal() {
    stopThreads();
    openBatches().remove(m_batch);
    m_cache.reset(); // the statements before the database
    if (m_db) {
        if (m_inTransaction)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        keepConnection(m_db, m_config);
    }
}

bool BatchJournal::fail(const QString &why) {
    if (m_reason.isEmpty())
        m_reason = why;
    return false;
}

bool BatchJournal::exec(const char *sql) {
    char *error = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &error) == SQLITE_OK)
        return true;
    const QString why = error ? QString::fromUtf8(error) : sqliteText(m_db);
    sqlite3_free(error);
    return fail(cannotWriteText(why));
}

bool BatchJournal::begin(const QString &folder, BatchKind kind, qint64 undoes) {
    if (!m_config.enabled)
        return true;
    m_folder = folder;
    m_db = takeConnection(m_config, m_reason);
    if (!m_db)
        return false;
    // Our own hook in place of the automatic checkpoint, which would flush the database in the
    // middle of a batch.
    sqlite3_wal_hook(
        m_db,
        [](void *self, sqlite3 *, const char *, int frames) {
            static_cast<BatchJournal *>(self)->m_logFrames = frames;
            return SQLITE_OK;
        },
        this);
    prune();
    // The batch goes to the disk with its intents, in one flush.
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    m_inTransaction = true;
    Statement add(m_db, "INSERT INTO batches(started, folder, operation, state, pid, undoes) "
                        "VALUES(?, ?, ?, 0, ?, ?)");
    add.bind(1, m_config.now)
        .bind(2, PathBytes(folder))
        .bind(3, qint64(kind))
        .bind(4, qint64(::getpid()))
        .bind(5, undoes);
    if (add.step() != SQLITE_DONE)
        return fail(cannotWriteText(sqliteText(m_db)));
    m_batch = sqlite3_last_insert_rowid(m_db);
    openBatches().insert(m_batch);
    m_keptFolder = keptFolder(m_config, m_batch);
    return true;
}

int BatchJournal::queue(std::function<Row()> make) {
    if (!m_config.enabled)
        return ++m_seq;
    Cache &c = *m_cache;
    if (c.streaming) {
        // The writer reads the slot once madeUpTo, raised under the lock, covers it.
        const std::lock_guard lock(c.mutex);
        if (m_seq >= int(c.pending.size()) || c.total != INT_MAX || c.writerFailed || c.writerDone)
            return 0;
        c.pending[size_t(m_seq)] = std::move(make);
        c.madeUpTo = ++m_seq;
        // Not at every intent: waking the writer costs more than queuing.
        if (c.madeUpTo >= c.wakeAt)
            c.toWriter.notify_one();
        return m_seq;
    }
    if (c.reader.joinable() || c.writer.joinable() || !m_db || !m_reason.isEmpty())
        return 0;
    m_cache->pending.push_back(std::move(make));
    return ++m_seq;
}

bool BatchJournal::writeRows(int upTo) {
    Cache &c = *m_cache;
    if (c.entries.size() < size_t(upTo))
        c.entries.resize(size_t(upTo));
    if (c.written < upTo && !m_inTransaction) {
        if (!exec("BEGIN IMMEDIATE"))
            return false;
        m_inTransaction = true;
    }
    for (; c.written < upTo; ++c.written) {
        const int seq = c.written + 1;
        const Row row = seq > c.readFrom ? std::move(c.made[size_t(seq - 1)])
                                         : std::exchange(c.pending[size_t(seq - 1)], {})();
        if (row.forgotten)
            continue;
        if (!c.insertEntry)
            c.insertEntry = std::make_unique<Statement>(
                m_db, "INSERT INTO entries(batch, seq, kind, path, new_path, old, intended, kept, "
                      "kept_bytes) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)");
        Statement &add = *c.insertEntry;
        const QByteArray path = PathBytes(row.path), old = EncodeState(row.old);
        const QByteArray newPath = row.newPath.isEmpty() ? QByteArray() : PathBytes(row.newPath);
        const QByteArray kept = row.kept.isEmpty() ? QByteArray() : PathBytes(row.kept);
        add.bind(1, m_batch)
            .bind(2, seq)
            .bind(3, qint64(row.kind))
            .hold(4, path)
            .hold(5, newPath)
            .hold(6, old)
            .hold(7, row.intended)
            .hold(8, kept)
            .bind(9, row.keptBytes);
        const int stepped = add.step();
        add.reset();
        if (stepped != SQLITE_DONE)
            return fail(cannotWriteText(sqliteText(m_db)));
        Cache::Entry &entry = c.entries[size_t(seq - 1)];
        entry = {row.kind,
                 row.path,
                 row.newPath,
                 {},
                 row.kind == ChangeKind::Rename ? row.old : FileState(),
                 row.link};
        if (row.patches.isEmpty())
            continue;
        if (!c.insertPatch)
            c.insertPatch = std::make_unique<Statement>(
                m_db, "INSERT INTO patches(batch, seq, n, offset, before, intended) "
                      "VALUES(?, ?, ?, ?, ?, ?)");
        Statement &p = *c.insertPatch;
        for (int i = 0; i < row.patches.size(); ++i) {
            const BytePatch &patch = row.patches[i];
            p.bind(1, m_batch)
                .bind(2, seq)
                .bind(3, i)
                .bind(4, patch.offset)
                .hold(5, patch.before)
                .hold(6, patch.intended);
            const int done = p.step();
            p.reset();
            if (done != SQLITE_DONE)
                return fail(cannotWriteText(sqliteText(m_db)));
            entry.patches.append({patch.offset, patch.before.size(), patch.intended});
        }
    }
    return true;
}

int BatchJournal::intendStamps(const QString &path, const FileTimesUpdate &update) {
    return queue([path, update] {
        Row row;
        row.kind = ChangeKind::Stamps;
        row.path = path;
        FileState target = readState(path, false, &row.link);
        row.old = target;
        // A planned write gives the three stamps one time: each time is converted once.
        std::optional<DateTime> lastLocal;
        std::optional<qint64> lastUtc;
        const auto toStamp = [&](const std::optional<DateTime> &local, Stamp &stamp) {
            if (!local)
                return;
            if (local != lastLocal) {
                lastLocal = local;
                lastUtc = LocalToUtcSeconds(*local);
            }
            if (lastUtc)
                stamp = {*lastUtc, 0};
        };
        toStamp(update.lastAccess, target.access);
        toStamp(update.lastWrite, target.modification);
        if (row.old.creationSettable)
            toStamp(update.creation, target.creation);
        row.intended = EncodeState(target);
        return row;
    });
}

int BatchJournal::intendStampsExact(const QString &path, const FileState &target) {
    return queue([path, target] {
        Row row;
        row.kind = ChangeKind::Stamps;
        row.path = path;
        row.old = readState(path, false, &row.link);
        row.intended = EncodeState(target);
        return row;
    });
}

int BatchJournal::intendRename(const QString &from, const QString &to) {
    return queue([from, to] {
        Row row;
        row.kind = ChangeKind::Rename;
        row.path = from;
        row.newPath = to;
        row.old = ReadFileState(from);
        return row;
    });
}

int BatchJournal::intendDatePatch(const QString &path, PatchFinder find) {
    return queue([path, find = std::move(find)] {
        Row row;
        row.kind = ChangeKind::DatePatch;
        row.path = path;
        // Before the caller reads the photo: reading may move its access time.
        row.old = readState(path, false, &row.link);
        row.intended = EncodeState(row.old);
        if (find)
            row.patches = find(row.old, row.link);
        return row;
    });
}

int BatchJournal::intendBytes(const QString &path, const QList<BytePatch> &patches,
                              const FileState &stamps) {
    return queue([path, patches, stamps] {
        Row row;
        row.kind = ChangeKind::DatePatch;
        row.path = path;
        row.old = ReadFileState(path);
        row.intended = EncodeState(stamps);
        row.patches = patches;
        return row;
    });
}

int BatchJournal::intendContent(const QString &path, bool keepOriginal, Keep *keep) {
    if (keep)
        *keep = Keep::Kept;
    if (!m_config.enabled)
        return ++m_seq;
    if (m_cache->reader.joinable() || m_cache->writer.joinable() || !m_db || !m_reason.isEmpty())
        return 0;
    // Now, not with its group: the original is kept before the call returns.
    Row row;
    row.kind = ChangeKind::Content;
    row.path = path;
    row.old = ReadFileState(path);
    // Only a regular file has an original to keep: the erase sends nothing else to the tool.
    struct stat st {};
    const bool regular = ::lstat(PathBytes(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
    if (keepOriginal && regular) {
        QString why;
        const KeepResult kept = journal_detail::keepOriginal(
            path, row.old, m_keptFolder, m_seq + 1, m_config.copyLimitBytes, row.kept, why);
        if (kept != KeepResult::Kept) {
            if (kept == KeepResult::Failed)
                fail(why);
            if (keep)
                *keep = kept == KeepResult::TooLarge ? Keep::TooLarge : Keep::Failed;
            return 0;
        }
        row.keptBytes = row.old.size;
    }
    // The content's hash with the row: after commitFirst(), on the reader thread while the
    // photos before it change (hashing a photo takes longer than keeping it).
    const int seq = m_seq + 1;
    const Cache *const cache = m_cache.get();
    return queue([row, regular, seq, cache]() mutable {
        if (seq >= cache->forgetFrom.load(std::memory_order_acquire)) {
            removeKept(row.kept);
            row.forgotten = true;
            return row;
        }
        if (regular)
            row.old.hash = contentHash(row.path);
        return row;
    });
}

void BatchJournal::abandon() {
    if (!m_config.enabled || !m_db)
        return;
    stopThreads();
    if (m_inTransaction) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_inTransaction = false;
    }
    removeKeptFolder(m_keptFolder);
    fail(abandonedText());
}

void BatchJournal::forgetAfter(int seq) {
    if (m_config.enabled)
        m_cache->forgetFrom.store(std::clamp(seq, 0, INT_MAX - 1) + 1, std::memory_order_release);
}

bool BatchJournal::commitTransaction() {
    if (!m_inTransaction)
        return true;
    // Links to kept originals are names in a folder: on the disk before the intent says so.
    syncKeptFolder(m_keptFolder);
    if (!exec("COMMIT")) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_inTransaction = false;
        return false;
    }
    m_inTransaction = false;
    m_uncommitted = 0;
    return true;
}

// The intents are on the disk; the after-values that follow need no flush of their own.
void BatchJournal::intentsDurable() {
    m_intentsDurable = true;
    sqlite3_exec(m_db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
}

bool BatchJournal::commit() {
    if (!m_config.enabled)
        return true;
    if (m_cache->reader.joinable() || m_cache->writer.joinable() || !m_db || !m_reason.isEmpty())
        return false;
    // The rows read their files here: through the batch's folder, as on the journal's threads.
    const FolderScope scope(m_folder);
    if (!writeRows(m_seq) || !commitTransaction())
        return false;
    {
        const std::lock_guard lock(m_cache->mutex);
        m_cache->durable = m_cache->written;
    }
    if (!m_intentsDurable && m_cache->written == m_seq)
        intentsDurable();
    return true;
}

bool BatchJournal::streamIntents(int expected) {
    if (!m_config.enabled)
        return true;
    Cache &c = *m_cache;
    if (c.reader.joinable() || c.writer.joinable() || !m_db || !m_reason.isEmpty() || m_seq != 0)
        return false;
    // Sized now, so that neither thread moves a slot the other may be using.
    c.entries.resize(size_t(expected));
    c.pending.resize(size_t(expected));
    c.streaming = true;
    c.writerDone = false;
    c.writer = std::thread([this] { writeGroups(); });
    return true;
}

bool BatchJournal::commitFirst() {
    if (!m_config.enabled)
        return true;
    Cache &c = *m_cache;
    if (c.streaming) {
        std::unique_lock lock(c.mutex);
        c.total = m_seq;
        c.toWriter.notify_one();
        // As without streaming: no file changes unless the journal has shown it can be written.
        waitForWriter(
            lock, [&] { return c.durable >= std::min(m_seq, 1) || c.writerFailed || c.writerDone; },
            {});
        if (!c.writerFailed)
            return true;
        lock.unlock();
        stopThreads();
        return false;
    }
    if (c.reader.joinable() || c.writer.joinable() || !m_db || !m_reason.isEmpty())
        return false;
    const int total = m_seq;
    c.total = total;
    c.entries.resize(size_t(total)); // the writer fills it in place while done() reads it
    c.made.resize(size_t(total));
    c.readFrom = 0;
    // The first rows read their files here: through the batch's folder, as the reader does.
    const FolderScope scope(m_folder);
    const auto started = std::chrono::steady_clock::now();
    int first = 0;
    while (first < std::min(total, FirstGroupMax) &&
           (first == 0 || std::chrono::steady_clock::now() - started < FirstGroupTime)) {
        c.made[size_t(first)] = std::exchange(c.pending[size_t(first)], {})();
        ++first;
    }
    c.madeUpTo = first;
    // The reader goes on with the others while the first group is written and flushed.
    if (first < total)
        c.reader = std::thread([this, total] { readAhead(total); });
    if (!writeRows(first) || !commitTransaction()) {
        stopThreads();
        return false;
    }
    {
        const std::lock_guard lock(c.mutex);
        c.durable = c.written;
    }
    if (first == total) {
        intentsDurable();
        return true;
    }
    c.writerDone = false;
    c.writer = std::thread([this] { writeGroups(); });
    return true;
}

void BatchJournal::readAhead(int total) {
    Cache &c = *m_cache;
    // Through one handle on the batch's folder, as the batch's own loop reaches its files.
    const FolderScope scope(m_folder);
    for (int seq = c.madeUpTo + 1; seq <= total; ++seq) {
        c.made[size_t(seq - 1)] = std::exchange(c.pending[size_t(seq - 1)], {})();
        if (seq % ReaderStep != 0 && seq != total)
            continue;
        const std::lock_guard lock(c.mutex);
        if (c.stopping || c.writerFailed)
            return;
        c.madeUpTo = seq;
        // The writer judges for itself whether that makes a group: what it has written is its
        // own to read (and the loop's, while the first group is written, before the writer).
        c.toWriter.notify_one();
    }
}

void BatchJournal::writeGroups() {
    Cache &c = *m_cache;
    // Streamed intents' rows read their files here: through the batch's folder, as the reader's.
    const FolderScope scope(m_folder);
    std::unique_lock lock(c.mutex);
    bool ok = true;
    for (;;) {
        c.wakeAt = c.written + std::max(c.written, StreamGroupMin);
        c.toWriter.wait(lock, [&] { return c.writerHasWork(); });
        if (c.stopping)
            break;
        const int upTo = c.madeUpTo;
        const int total = c.total;
        const bool last = c.written == total && c.ending;
        const QList<After> after = std::exchange(c.held, {});
        lock.unlock();
        ok = writeRows(upTo);
        for (const After &a : after)
            writeAfter(a);
        ok = ok && commitTransaction();
        lock.lock();
        if (!ok)
            break;
        c.durable = c.written;
        c.moved.notify_all();
        if (c.written == total && !m_intentsDurable) {
            lock.unlock();
            intentsDurable();
            lock.lock();
        }
        if (last)
            break;
    }
    if (m_inTransaction) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_inTransaction = false;
    }
    c.writerFailed = !ok;
    c.writerDone = true;
    c.moved.notify_all();
}

void BatchJournal::stopThreads() {
    Cache &c = *m_cache;
    {
        const std::lock_guard lock(c.mutex);
        c.stopping = true;
        c.toWriter.notify_one();
    }
    if (c.reader.joinable())
        c.reader.join();
    if (c.writer.joinable())
        c.writer.join();
}

void BatchJournal::joinWriter() {
    Cache &c = *m_cache;
    if (c.reader.joinable())
        c.reader.join();
    if (c.writer.joinable())
        c.writer.join();
    for (const QList<After> *afters : {&c.held, &c.ours})
        for (const After &a : *afters)
            writeAfter(a);
    c.held.clear();
    c.ours.clear();
}

void BatchJournal::waitForWriter(std::unique_lock<std::mutex> &lock,
                                 const std::function<bool()> &until,
                                 const std::function<void()> &whileWaiting) {
    Cache &c = *m_cache;
    if (!whileWaiting) {
        c.moved.wait(lock, until);
        return;
    }
    // A group may take longer to write than a window may go unhandled.
    while (!c.moved.wait_for(lock, std::chrono::milliseconds(8), until)) {
        lock.unlock();
        whileWaiting();
        lock.lock();
    }
}

bool BatchJournal::ready(int seq, const std::function<void()> &whileWaiting) {
    if (!m_config.enabled)
        return true;
    if (seq <= 0 || seq > m_seq)
        return false;
    Cache &c = *m_cache;
    if (c.durable.load(std::memory_order_acquire) >= seq)
        return true;
    std::unique_lock lock(c.mutex);
    const auto settled = [&] { return c.durable >= seq || c.writerFailed || c.writerDone; };
    if (settled())
        return c.durable >= seq;
    // The writer need not wait for more rows: they are the ones the loop waits for.
    c.waitingFor = seq;
    c.toWriter.notify_one();
    waitForWriter(lock, settled, whileWaiting);
    return c.durable >= seq;
}

void BatchJournal::done(int seq, bool succeeded) {
    done(seq, succeeded, std::nullopt);
}

void BatchJournal::done(int seq, bool succeeded, const std::optional<FileState> &engineAfter,
                        const QHash<qint64, QByteArray> &held) {
    // An entry whose intent is not on the disk had no business changing its file.
    if (!m_config.enabled || !m_db || !ready(seq))
        return;
    Cache &c = *m_cache;
    const Cache::Entry &e = c.entries[size_t(seq - 1)];
    const bool renamed = e.kind == ChangeKind::Rename && succeeded && !e.newPath.isEmpty();
    const QString &path = renamed ? e.newPath : e.path;
    // A rename changes no stamp, size or identity: the file under its new name is the one the
    // intent read. Otherwise the engine's own read-back where it gave one, else read now (later
    // reads of the row, its Exif or its stamps, must not count).
    After a{seq,
            succeeded,
            renamed && e.old.exists ? e.old
            : engineAfter && !e.link && e.kind != ChangeKind::Content
                ? *engineAfter
                : ReadFileState(path, e.kind == ChangeKind::Content),
            {}};
    // Opened only for bytes the engine did not hand over: a file object per entry would cost
    // the loop more than the rest of its entry does.
    std::optional<QFile> file;
    bool open = false;
    for (const Cache::Entry::Patch &patch : e.patches) {
        const auto given = held.constFind(patch.offset);
        const bool known = given != held.cend() && given->size() >= patch.length;
        if (!known && !file)
            open = OpenUntouched(file.emplace(), path);
        a.patches.append(known                              ? given->left(patch.length)
                         : open && file->seek(patch.offset) ? file->read(patch.length)
                                                            : QByteArray(""));
    }
    if (c.writer.joinable()) {
        c.ours.append(std::move(a));
        if (c.ours.size() < HandOverStep)
            return;
        std::unique_lock lock(c.mutex);
        if (!c.writerDone) {
            c.held.append(std::exchange(c.ours, {})); // the writer's, with its next group
            if (c.held.size() >= GroupSize)
                c.toWriter.notify_one();
            return;
        }
        lock.unlock();
        joinWriter();
        return;
    }
    writeAfter(a);
    if (++m_uncommitted >= GroupSize)
        commitTransaction();
}

void BatchJournal::writeAfter(const After &a) {
    if (!m_inTransaction) {
        if (!exec("BEGIN IMMEDIATE"))
            return;
        m_inTransaction = true;
    }
    Cache &c = *m_cache;
    if (!c.updateAfter)
        c.updateAfter = std::make_unique<Statement>(
            m_db, "UPDATE entries SET after = ?, state = ? WHERE batch = ? AND seq = ?");
    const QByteArray after = EncodeState(a.state);
    c.updateAfter->hold(1, after)
        .bind(2, a.succeeded ? EntryDone : EntryFailed)
        .bind(3, m_batch)
        .bind(4, a.seq);
    c.updateAfter->step();
    c.updateAfter->reset();
    // A patch that holds what was intended keeps no after-value of its own (see ReadEntries).
    const QList<Cache::Entry::Patch> &intents = c.entries[size_t(a.seq - 1)].patches;
    for (int n = 0; n < a.patches.size(); ++n) {
        if (n < intents.size() && a.patches[n] == intents[n].intended)
            continue;
        if (!c.updatePatch)
            c.updatePatch = std::make_unique<Statement>(
                m_db, "UPDATE patches SET after = ? WHERE batch = ? AND seq = ? AND n = ?");
        c.updatePatch->hold(1, a.patches[n]).bind(2, m_batch).bind(3, a.seq).bind(4, n);
        c.updatePatch->step();
        c.updatePatch->reset();
    }
}

bool BatchJournal::end(const std::function<void()> &whileWaiting) {
    if (!m_config.enabled || !m_db)
        return true;
    Cache &c = *m_cache;
    if (c.writer.joinable()) {
        // The writer writes the last after-values (and intents, after a stop) and ends.
        std::unique_lock lock(c.mutex);
        c.held.append(std::exchange(c.ours, {}));
        c.total = std::min(c.total, m_seq); // streamed intents whose last was never marked
        c.ending = true;
        c.toWriter.notify_one();
        waitForWriter(
            lock, [&] { return c.writerDone; }, whileWaiting);
    }
    joinWriter();
    // No flush of its own either: a batch whose end is lost shows as cut off, and its restore
    // judges each file by its old and intended values.
    Statement s(m_db, "UPDATE batches SET state = 1, ended = ? WHERE id = ?");
    if (!m_inTransaction && exec("BEGIN IMMEDIATE"))
        m_inTransaction = true;
    s.bind(1, m_config.now).bind(2, m_batch);
    s.step();
    if (!commitTransaction())
        return false;
    // Once the log has grown, it goes into the database after the batch, on a thread of its
    // own with this connection: neither the batch nor the window waits for its flushes.
    if (m_logFrames < LogCheckpointFrames)
        return true;
    c.finalize();
    sqlite3_wal_hook(m_db, nullptr, nullptr); // the hook's journal is gone by then
    if (checkpointLater(m_db, m_config))
        m_db = nullptr;
    return true;
}

void BatchJournal::prune() {
    const qint64 cutoff = m_config.now - qint64(m_config.keepDays) * 86400;
    QList<qint64> old;
    {
        Statement q(m_db, "SELECT id FROM batches WHERE started < ? ORDER BY id");
        q.bind(1, cutoff);
        while (q.step() == SQLITE_ROW)
            old.append(q.integer(0));
    }
    // Kept originals beyond the limit go, oldest batch first; their entries stay, without undo.
    QList<qint64> trimmed;
    {
        Statement q(m_db, "SELECT batch, SUM(kept_bytes) FROM entries WHERE kept IS NOT NULL "
                          "GROUP BY batch ORDER BY batch DESC");
        qint64 total = 0;
        while (q.step() == SQLITE_ROW) {
            total += q.integer(1);
            if (total > m_config.keepOriginalsBytes)
                trimmed.append(q.integer(0));
        }
    }
    const auto dropOriginals = [&](qint64 batch) {
        Statement q(m_db, "SELECT kept FROM entries WHERE batch = ? AND kept IS NOT NULL");
        q.bind(1, batch);
        while (q.step() == SQLITE_ROW)
            removeKept(NameFromBytes(q.blob(0)));
        removeKeptFolder(keptFolder(m_config, batch));
    };
    if (old.isEmpty() && trimmed.isEmpty())
        return;
    // A failed prune leaves the old batches; it does not stop this one.
    if (!exec("BEGIN IMMEDIATE")) {
        m_reason.clear();
        return;
    }
    for (const qint64 id : trimmed) {
        dropOriginals(id);
        Statement u(m_db, "UPDATE entries SET kept = NULL, kept_bytes = 0 WHERE batch = ?");
        u.bind(1, id);
        u.step();
    }
    for (const qint64 id : old) {
        dropOriginals(id);
        for (const char *sql :
             {"DELETE FROM patches WHERE batch = ?", "DELETE FROM entries WHERE batch = ?",
              "DELETE FROM batches WHERE id = ?"}) {
            Statement d(m_db, sql);
            d.bind(1, id);
            d.step();
        }
    }
    if (!exec("COMMIT"))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_reason.clear();
}

} // namespace kalmora
