// The journal's writer pipeline: the intents made durable in groups, by a reader thread that
// reads the files ahead and a writer thread that commits, while the batch's loop changes the
// files whose intents are on the disk; the after-values that follow, and the batch's end.
#include "core/journal/journal.h"

#include "core/base/folder_handle.h"
#include "core/base/path_bytes.h"
#include "core/journal/journal_rows.h"
#include "core/journal/journal_store.h"
#include "core/journal/kept_originals.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <utility>

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
// The loop tells the writer of its after-values a few at a time, as the reader of its rows
// (Cache::readerStep): each telling takes the lock the others wait for.
constexpr int HandOverStep = 64;
// Intents queued while the caller still reads its files go to the disk once this many have
// gathered (then in doubling groups), not a flush for every few.
constexpr int StreamGroupMin = 32;
constexpr int LogCheckpointFrames = 1000; // SQLite's own default

} // namespace

int BatchJournal::Cache::groupSize() const {
    return std::min(std::max(written, streaming ? StreamGroupMin : 0), window);
}

bool BatchJournal::Cache::writerHasWork() const {
    if (stopping)
        return true;
    if (written < total && madeUpTo > written &&
        (madeUpTo - written >= groupSize() || madeUpTo == total ||
         (waitingFor > durable && madeUpTo >= waitingFor)))
        return true;
    if (held.size() >= window)
        return true;
    return written >= total && (ending || held.size() >= GroupSize);
}

bool BatchJournal::writeRows(int upTo) {
    Cache &c = *m_cache;
    if (c.written >= upTo)
        return true;
    // Grown here only when no thread runs: otherwise sized before they start.
    if (c.traits.size() < size_t(upTo))
        c.traits.resize(size_t(upTo));
    if (c.entries.size() < size_t(std::min(upTo, c.window)))
        c.entries.resize(size_t(std::min(upTo, c.window)));
    // The group's intents up to readFrom are made into rows here, those after it the reader made.
    std::vector<std::function<Row()>> makers;
    std::vector<Row> made;
    {
        const std::lock_guard lock(c.mutex);
        const int own = std::clamp(c.readFrom - c.written, 0, upTo - c.written);
        makers.reserve(size_t(own));
        for (int n = 0; n < own; ++n) {
            makers.push_back(std::move(c.pending.front()));
            c.pending.pop_front();
        }
        c.taken += own;
        made.reserve(size_t(upTo - c.written - own));
        for (int n = own; n < upTo - c.written; ++n) {
            made.push_back(std::move(c.made.front()));
            c.made.pop_front();
        }
    }
    // Made (and hashed) before the write lock is taken: other batches wait only for the writes.
    std::vector<Row> ours;
    ours.reserve(makers.size());
    for (std::function<Row()> &make : makers)
        ours.push_back(std::exchange(make, {})());
    if (!m_inTransaction) {
        if (!exec("BEGIN IMMEDIATE"))
            return false;
        m_inTransaction = true;
    }
    for (const Row &row : ours)
        if (!writeRow(row))
            return false;
    for (const Row &row : made)
        if (!writeRow(row))
            return false;
    return true;
}

bool BatchJournal::writeRow(const Row &row) {
    Cache &c = *m_cache;
    const int seq = ++c.written;
    if (row.forgotten)
        return true;
    if (!c.insertEntry)
        c.insertEntry = std::make_unique<Statement>(
            m_db, "INSERT INTO entries(batch, seq, kind, path, new_path, old, intended, kept, "
                  "kept_bytes) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)");
    Statement &add = *c.insertEntry;
    const QByteArray path = StoredName(row.path, m_folder), old = EncodeState(row.old);
    const QByteArray newPath =
        row.newPath.isEmpty() ? QByteArray() : StoredName(row.newPath, m_folder);
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
    c.traits[size_t(seq - 1)] =
        (row.kind == ChangeKind::Stamps ? Cache::Stamps : 0) | (row.link ? Cache::Link : 0);
    // The first window's entries stay for done(); it reads the others back.
    Cache::Entry *entry = seq <= c.window ? &c.entries[size_t(seq - 1)] : nullptr;
    if (entry)
        *entry = {seq,         row.kind, row.path,
                  row.newPath, {},       row.kind == ChangeKind::Rename ? row.old : FileState(),
                  row.link};
    if (row.patches.isEmpty())
        return true;
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
        if (entry)
            entry->patches.append({patch.offset, patch.before.size(), patch.intended});
    }
    return true;
}

bool BatchJournal::commitTransaction() {
    if (!m_inTransaction)
        return true;
    // Links to kept originals are names in a folder: on the disk before the intent says so.
    syncFolder(m_keptFolder);
    if (!exec("COMMIT")) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_inTransaction = false;
        return false;
    }
    m_inTransaction = false;
    m_uncommitted = 0;
    m_cache->committed = true;
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
    c.traits.resize(size_t(expected));
    c.entries.resize(size_t(std::min(expected, c.window)));
    c.expected = expected;
    c.streaming = true;
    c.readFrom = 0;
    c.writerDone = false;
    c.writer = std::thread([this] { writeGroups(); });
    c.reader = std::thread([this] { readAhead(); });
    return true;
}

bool BatchJournal::commitFirst() {
    if (!m_config.enabled)
        return true;
    Cache &c = *m_cache;
    if (c.streaming) {
        std::unique_lock lock(c.mutex);
        c.total = m_seq;
        c.toReader.notify_one();
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
    // The writer fills them in place while done() reads them.
    c.traits.resize(size_t(total));
    c.entries.resize(size_t(std::min(total, c.window)));
    c.readFrom = 0;
    // The first rows read their files here: through the batch's folder, as the reader does.
    const FolderScope scope(m_folder);
    const auto started = std::chrono::steady_clock::now();
    int first = 0;
    while (first < std::min({total, FirstGroupMax, c.window}) &&
           (first == 0 || std::chrono::steady_clock::now() - started < FirstGroupTime)) {
        c.made.push_back(std::exchange(c.pending.front(), {})());
        c.pending.pop_front();
        ++first;
    }
    c.taken = c.madeUpTo = first;
    c.queued = total;
    // The reader goes on with the others while the first group is written and flushed.
    if (first < total)
        c.reader = std::thread([this] { readAhead(); });
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

void BatchJournal::readAhead() {
    Cache &c = *m_cache;
    // Through one handle on the batch's folder, as the batch's own loop reaches its files.
    const FolderScope scope(m_folder);
    std::vector<std::function<Row()>> makers;
    std::vector<Row> rows;
    for (;;) {
        {
            std::unique_lock lock(c.mutex);
            const auto over = [&] { return c.stopping || c.writerFailed || c.taken >= c.total; };
            // A step's worth of intents, or the last ones; no more rows ahead of the disk than
            // two windows.
            const auto work = [&] {
                return c.taken < c.queued &&
                       (c.queued - c.taken >= c.readerStep() || c.queued >= c.total) &&
                       c.madeUpTo - c.durable < c.queuedMax();
            };
            c.readerWaits = true;
            c.toReader.wait(lock, [&] { return over() || work(); });
            c.readerWaits = false;
            if (over())
                return;
            const int n = std::min(c.readerStep(), c.queued - c.taken);
            for (int i = 0; i < n; ++i) {
                makers.push_back(std::move(c.pending.front()));
                c.pending.pop_front();
            }
            c.taken += n;
        }
        for (std::function<Row()> &make : makers)
            rows.push_back(std::exchange(make, {})());
        makers.clear();
        const std::lock_guard lock(c.mutex);
        if (c.stopping || c.writerFailed)
            return;
        for (Row &row : rows)
            c.made.push_back(std::move(row));
        c.madeUpTo += int(rows.size());
        rows.clear();
        // The writer judges for itself whether that makes a group: what it has written is its
        // own to read (and the loop's, while the first group is written, before the writer).
        c.toWriter.notify_one();
    }
}

void BatchJournal::writeGroups() {
    Cache &c = *m_cache;
    std::unique_lock lock(c.mutex);
    bool ok = true;
    for (;;) {
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
        c.toReader.notify_one(); // room for more rows
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
    c.toReader.notify_one();
}

void BatchJournal::stopThreads() {
    Cache &c = *m_cache;
    {
        const std::lock_guard lock(c.mutex);
        c.stopping = true;
        c.toWriter.notify_one();
        c.toReader.notify_one();
        c.moved.notify_all();
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
    After a{seq, succeeded, {}, {}};
    if (engineAfter && c.traits[size_t(seq - 1)] == Cache::Stamps) {
        a.state = *engineAfter; // most files: no entry to look at
    } else {
        // An entry that cannot be read back keeps no after-value, as after a crash.
        const Cache::Entry *found = c.entryOf(seq, m_config, m_batch, m_folder);
        if (!found)
            return;
        const Cache::Entry &e = *found;
        const bool renamed = e.kind == ChangeKind::Rename && succeeded && !e.newPath.isEmpty();
        const QString &path = renamed ? e.newPath : e.path;
        // A rename changes no stamp, size or identity: the file under its new name is the one
        // the intent read. Otherwise the engine's own read-back where it gave one, else read now
        // (later reads of the row, its Exif or its stamps, must not count).
        a.state = renamed && e.old.exists ? e.old
                  : engineAfter && !e.link && e.kind != ChangeKind::Content
                      ? *engineAfter
                      : ReadFileState(path, e.kind == ChangeKind::Content);
        if (e.kind == ChangeKind::Content && succeeded && a.state.exists)
            makeKeptPrivate(m_keptFolder + QLatin1Char('/') + QString::number(seq), a.state);
        // Opened only for bytes the engine did not hand over: a file object per entry would
        // cost the loop more than the rest of its entry does.
        std::optional<QFile> file;
        bool open = false;
        for (const Cache::Entry::Patch &patch : e.patches) {
            const auto given = held.constFind(patch.offset);
            const bool known = given != held.cend() && given->size() >= patch.length;
            if (!known && !file)
                open = OpenUntouched(file.emplace(), path);
            const QByteArray now = known                              ? given->left(patch.length)
                                   : open && file->seek(patch.offset) ? file->read(patch.length)
                                                                      : QByteArray("");
            // A patch that holds what was intended keeps no after-value of its own.
            a.patches.append(now == patch.intended ? std::nullopt : std::optional(now));
        }
    }
    if (c.writer.joinable()) {
        c.ours.append(std::move(a));
        if (c.ours.size() < HandOverStep)
            return;
        std::unique_lock lock(c.mutex);
        if (!c.writerDone) {
            c.held.append(std::exchange(c.ours, {})); // the writer's, with its next group
            if (c.held.size() >= std::min(GroupSize, c.window))
                c.toWriter.notify_one();
            // No more than a window of them waits for the writer.
            c.moved.wait(lock, [&] { return c.held.size() < c.window || c.writerDone; });
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
    for (int n = 0; n < a.patches.size(); ++n) {
        if (!a.patches[n])
            continue; // as intended (see ReadEntries)
        if (!c.updatePatch)
            c.updatePatch = std::make_unique<Statement>(
                m_db, "UPDATE patches SET after = ? WHERE batch = ? AND seq = ? AND n = ?");
        c.updatePatch->hold(1, *a.patches[n]).bind(2, m_batch).bind(3, a.seq).bind(4, n);
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
        c.toReader.notify_one();
        c.toWriter.notify_one();
        waitForWriter(
            lock, [&] { return c.writerDone; }, whileWaiting);
    }
    joinWriter();
    c.closePages();
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

} // namespace kalmora
