// The batch journal: a batch's begin, its intents (each row made when its group is written, see
// journal_writer.cpp), its abandon, and the pruning of old batches at each begin.
#include "core/journal/journal.h"

#include "core/base/path_bytes.h"
#include "core/journal/journal_rows.h"
#include "core/journal/journal_store.h"
#include "core/journal/kept_originals.h"

#include <QDir>
#include <QScopeGuard>
#include <QSet>

#include <algorithm>
#include <chrono>
#include <climits>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace kalmora {

using namespace journal_detail;

namespace {

void deleteBatch(sqlite3 *db, qint64 id) {
    for (const char *sql :
         {"DELETE FROM patches WHERE batch = ?", "DELETE FROM entries WHERE batch = ?",
          "DELETE FROM batches WHERE id = ?"}) {
        Statement d(db, sql);
        d.bind(1, id);
        d.step();
    }
}

} // namespace

BatchJournal::BatchJournal(JournalConfig config)
    : m_cache(std::make_unique<Cache>(config.rowsInMemory)), m_config(std::move(config)) {}

BatchJournal::~BatchJournal() {
    stopThreads();
    BatchClosed(m_batch);
    m_cache->closePages();
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
    m_undoes = undoes;
    m_db = takeConnection(m_config, m_reason);
    if (!m_db)
        return false;
    // Another batch holds the write lock only while it writes, but a prune of old batches or a
    // busy disk may take longer: the caller decides how long to wait.
    m_beginClock.start();
    sqlite3_busy_handler(
        m_db,
        [](void *self, int) {
            const BatchJournal &j = *static_cast<const BatchJournal *>(self);
            const qint64 waited = j.m_beginClock.elapsed();
            if (j.m_config.lockWait ? !j.m_config.lockWait(waited) : waited >= DefaultLockWaitMs)
                return 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return 1;
        },
        this);
    const auto waited = qScopeGuard([this] { sqlite3_busy_timeout(m_db, DefaultLockWaitMs); });
    // Our own hook in place of the automatic checkpoint, which would flush the database in the
    // middle of a batch.
    sqlite3_wal_hook(
        m_db,
        [](void *self, sqlite3 *, const char *, int frames) {
            static_cast<BatchJournal *>(self)->m_logFrames = frames;
            return SQLITE_OK;
        },
        this);
    // Numbers left on the disk by batches cut off before their first commit are not given
    // again, though the prune clears their folders away.
    const qint64 highestKept = prune();
    // The batch's row goes to the disk now, without a flush of its own (the first intents'
    // commit flushes it with them): the write lock is not held while the step works out its
    // changes (an undo judges and hashes every file), and other batches may start meanwhile.
    if (!exec("PRAGMA synchronous=NORMAL") || !exec("BEGIN IMMEDIATE"))
        return false;
    m_inTransaction = true;
    // A number no batch had before, nor any folder of kept originals left on the disk.
    // (A batch that begins meanwhile counts in the table before it makes its folder.)
    qint64 id = highestKept;
    for (const char *sql :
         {"SELECT MAX(id) FROM batches", "SELECT value FROM counters WHERE name = 'batch'"}) {
        Statement q(m_db, sql);
        if (q.step() == SQLITE_ROW)
            id = std::max(id, q.integer(0));
    }
    ++id;
    Statement add(m_db, "INSERT INTO batches(id, started, folder, operation, state, pid, undoes) "
                        "VALUES(?, ?, ?, ?, 0, ?, ?)");
    add.bind(1, id)
        .bind(2, m_config.now)
        .bind(3, PathBytes(folder))
        .bind(4, qint64(kind))
        .bind(5, qint64(::getpid()))
        .bind(6, undoes);
    Statement counter(m_db, "INSERT OR REPLACE INTO counters(name, value) VALUES('batch', ?)");
    counter.bind(1, id);
    if (add.step() != SQLITE_DONE || counter.step() != SQLITE_DONE)
        return fail(cannotWriteText(sqliteText(m_db)));
    add.reset();
    counter.reset();
    // Open here before its row shows: a begin elsewhere in this process must not take it for a
    // batch cut off.
    m_batch = id;
    BatchOpened(m_batch);
    if (!exec("COMMIT") || !exec("PRAGMA synchronous=FULL")) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_inTransaction = false;
        return false;
    }
    m_inTransaction = false;
    m_cache->committed = true; // an abandon takes the row away again
    m_keptFolder = keptFolder(m_config, m_batch);
    return true;
}

int BatchJournal::queue(std::function<Row()> make) {
    if (!m_config.enabled)
        return ++m_seq;
    Cache &c = *m_cache;
    if (c.streaming) {
        // The reader takes the intent once `queued`, raised under the lock, covers it.
        std::unique_lock lock(c.mutex);
        const auto settled = [&] { return c.writerFailed || c.writerDone; };
        // No more intents ahead of the disk than two windows: the caller waits for the writer
        // rather than the memory holding the batch.
        if (m_seq - c.durable >= c.queuedMax()) {
            c.toReader.notify_one();
            c.toWriter.notify_one();
            c.moved.wait(lock, [&] { return m_seq - c.durable < c.queuedMax() || settled(); });
        }
        if (m_seq >= c.expected || c.total != INT_MAX || settled())
            return 0;
        c.pending.push_back(std::move(make));
        c.queued = ++m_seq;
        // Not at every intent: waking the reader costs more than queuing.
        if (c.readerWaits && c.queued - c.taken >= c.readerStep())
            c.toReader.notify_one();
        return m_seq;
    }
    if (c.reader.joinable() || c.writer.joinable() || !m_db || !m_reason.isEmpty())
        return 0;
    c.pending.push_back(std::move(make));
    return ++m_seq;
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
    if (keep && keepOriginal && regular && !m_keepBeyondLimit &&
        m_keptBytes + row.old.size > m_config.keepOriginalsBytes) {
        *keep = Keep::OverLimit;
        return 0;
    }
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
        m_keptBytes += row.keptBytes;
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
    m_cache->closePages();
    if (m_inTransaction) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_inTransaction = false;
    }
    // Streamed intents may be on the disk already: they go with the batch. Should that fail, the
    // history lists a cut-off batch whose files its undo finds unchanged.
    if (m_cache->committed &&
        sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK) {
        deleteBatch(m_db, m_batch);
        if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    removeKeptFolder(m_keptFolder);
    fail(abandonedText());
}

void BatchJournal::forgetAfter(int seq) {
    if (m_config.enabled)
        m_cache->forgetFrom.store(std::clamp(seq, 0, INT_MAX - 1) + 1, std::memory_order_release);
}

qint64 BatchJournal::prune() {
    // Under the write lock throughout: no other batch is then between its begin and its first
    // commit, the only time its kept originals exist without its row.
    if (!exec("BEGIN IMMEDIATE")) {
        m_reason.clear(); // a failed prune leaves the old batches; it does not stop this one
        return highestKeptFolder(m_config);
    }
    const qint64 highestKept = highestKeptFolder(m_config);
    removeLeftovers();
    const qint64 cutoff = m_config.now - qint64(m_config.keepDays) * 86400;
    QList<qint64> old;
    {
        Statement q(m_db, "SELECT id FROM batches WHERE started < ? ORDER BY id");
        q.bind(1, cutoff);
        while (q.step() == SQLITE_ROW)
            old.append(q.integer(0));
    }
    // Kept originals beyond the limit go, oldest batch first; their entries stay, without undo.
    // Never those of the newest batch that kept any, nor those of the batch about to be undone.
    QList<qint64> trimmed;
    {
        Statement q(m_db, "SELECT batch, SUM(kept_bytes) FROM entries WHERE kept IS NOT NULL "
                          "GROUP BY batch ORDER BY batch DESC");
        qint64 total = 0;
        bool newest = true;
        while (q.step() == SQLITE_ROW) {
            const qint64 batch = q.integer(0);
            total += q.integer(1);
            if (total > m_config.keepOriginalsBytes && !newest && batch != m_undoes)
                trimmed.append(batch);
            newest = false;
        }
    }
    old.removeIf([&](qint64 id) { return id == m_undoes; });
    const auto dropOriginals = [&](qint64 batch) {
        Statement q(m_db, "SELECT kept FROM entries WHERE batch = ? AND kept IS NOT NULL");
        q.bind(1, batch);
        while (q.step() == SQLITE_ROW)
            removeKept(NameFromBytes(q.blob(0)));
        removeKeptFolder(keptFolder(m_config, batch));
    };
    for (const qint64 id : trimmed) {
        dropOriginals(id);
        Statement u(m_db, "UPDATE entries SET kept = NULL, kept_bytes = 0 WHERE batch = ?");
        u.bind(1, id);
        u.step();
        Statement mark(m_db, "UPDATE batches SET originals_pruned = 1 WHERE id = ?");
        mark.bind(1, id);
        mark.step();
    }
    for (const qint64 id : old) {
        dropOriginals(id);
        deleteBatch(m_db, id);
    }
    if (!exec("COMMIT"))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_reason.clear();
    return highestKept;
}

void BatchJournal::removeLeftovers() {
    // Batches cut off before their first intent: nothing of them to undo.
    QList<qint64> empty;
    {
        Statement q(m_db, "SELECT id, pid FROM batches b WHERE state = 0 AND NOT EXISTS "
                          "(SELECT 1 FROM entries e WHERE e.batch = b.id)");
        while (q.step() == SQLITE_ROW)
            if (!BatchRunning(q.integer(1), q.integer(0)))
                empty.append(q.integer(0));
    }
    for (const qint64 id : empty)
        deleteBatch(m_db, id);
    const QString originals = m_config.stateFolder + QStringLiteral("/originals");
    const QStringList folders = QDir(originals).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : folders) {
        bool numbered = false;
        const qint64 batch = name.toLongLong(&numbered);
        if (!numbered || batch <= 0)
            continue;
        Statement q(m_db, "SELECT state, pid FROM batches WHERE id = ?");
        q.bind(1, batch);
        if (q.step() != SQLITE_ROW) {
            // A batch cut off before its first commit: nothing refers to what it kept.
            removeKeptFolder(keptFolder(m_config, batch));
            continue;
        }
        if (q.integer(0) != 0 || BatchRunning(q.integer(1), batch))
            continue;
        // Cut off after it: what it kept for files whose entries never reached the disk.
        QSet<QString> referred;
        Statement k(m_db, "SELECT kept FROM entries WHERE batch = ? AND kept IS NOT NULL");
        k.bind(1, batch);
        while (k.step() == SQLITE_ROW)
            referred.insert(NameFromBytes(k.blob(0)));
        const QString folder = keptFolder(m_config, batch);
        for (const QString &file : QDir(folder).entryList(QDir::Files | QDir::System)) {
            const QString kept = folder + QLatin1Char('/') + file;
            if (!referred.contains(kept))
                removeKept(kept);
        }
    }
}

} // namespace kalmora
