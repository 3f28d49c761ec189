// The journal's reads for the history and the restore: every batch's summary, one batch's
// entries.
#include "core/journal/journal_history.h"

#include "core/base/path_bytes.h"
#include "core/journal/journal.h"
#include "core/journal/journal_store.h"
#include "core/journal/journal_texts.h"

#include <QDirIterator>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <limits>
#include <mutex>
#include <signal.h>
#include <unistd.h>

namespace kalmora {

namespace journal_detail {

namespace {
// A batch opens and closes on the thread that runs it, while the history may list them on
// another.
std::mutex openMutex;
QSet<qint64> &openSet() {
    static QSet<qint64> open;
    return open;
}
} // namespace

void BatchOpened(qint64 batch) {
    const std::lock_guard lock(openMutex);
    openSet().insert(batch);
}

void BatchClosed(qint64 batch) {
    const std::lock_guard lock(openMutex);
    openSet().remove(batch);
}

bool BatchOpenHere(qint64 batch) {
    const std::lock_guard lock(openMutex);
    return openSet().contains(batch);
}

bool BatchRunning(qint64 pid, qint64 batch) {
    if (pid == qint64(::getpid()))
        return BatchOpenHere(batch);
    return pid > 0 && pid <= INT_MAX && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

} // namespace journal_detail

using namespace journal_detail;

namespace {

BatchSummary summaryFrom(Statement &q) {
    BatchSummary b;
    b.id = q.integer(0);
    b.started = q.integer(1);
    b.ended = q.isNull(2) ? 0 : q.integer(2);
    b.folder = NameFromBytes(q.blob(3));
    b.kind = BatchKind(q.integer(4));
    const int state = int(q.integer(5));
    b.state = state == 1                                       ? BatchSummary::State::Finished
              : state == 0 && BatchRunning(q.integer(6), b.id) ? BatchSummary::State::Running
                                                               : BatchSummary::State::Interrupted;
    b.undoes = q.integer(7);
    b.done = int(q.integer(8));
    b.failed = int(q.integer(9));
    b.total = int(q.integer(10));
    b.undoneBy = q.isNull(11) ? 0 : q.integer(11);
    b.originalsPruned = q.integer(12) != 0;
    b.erasedWithoutOriginal = b.originalsPruned ? 0 : int(q.integer(13));
    return b;
}

const char *const SummarySql =
    "SELECT b.id, b.started, b.ended, b.folder, b.operation, b.state, b.pid, b.undoes, "
    "(SELECT COUNT(*) FROM entries e WHERE e.batch = b.id AND e.state = 1), "
    "(SELECT COUNT(*) FROM entries e WHERE e.batch = b.id AND e.state = 2), "
    "(SELECT COUNT(*) FROM entries e WHERE e.batch = b.id), "
    // Undone by a restore that put at least one file back (not one stopped before it began).
    "(SELECT MAX(r.id) FROM batches r WHERE r.undoes = b.id AND EXISTS "
    "(SELECT 1 FROM entries e WHERE e.batch = r.id AND e.state = 1)), b.originals_pruned, "
    "(SELECT COUNT(*) FROM entries e WHERE e.batch = b.id AND e.kind = 4 AND e.state = 1 AND "
    "e.kept IS NULL) FROM batches b ";

} // namespace

qint64 KeptOriginalsBytes(const JournalConfig &config) {
    qint64 bytes = 0;
    for (QDirIterator it(config.stateFolder + QStringLiteral("/originals"),
                         QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();) {
        it.next();
        bytes += it.fileInfo().size();
    }
    return bytes;
}

QList<BatchSummary> ListBatches(const JournalConfig &config, QString *reason) {
    QList<BatchSummary> list;
    QString why;
    if (!QFile::exists(databasePath(config)))
        return list;
    sqlite3 *db = openDatabase(config, why, false);
    if (!db) {
        if (reason)
            *reason = why;
        return list;
    }
    {
        Statement q(db, (QByteArray(SummarySql) + "ORDER BY b.id DESC").constData());
        while (q.step() == SQLITE_ROW)
            list.append(summaryFrom(q));
    }
    sqlite3_close(db);
    return list;
}

namespace {

const char *const EntrySql = "SELECT seq, kind, path, new_path, old, intended, after, kept, state "
                             "FROM entries WHERE batch = ? ";
const char *const PatchSql = "SELECT offset, before, intended, after FROM patches "
                             "WHERE batch = ? AND seq = ? ORDER BY n";

// The entry at `q`'s row, with its patches from `p`.
JournalEntry entryFrom(Statement &q, Statement &p, qint64 batch, const QString &folder) {
    JournalEntry e;
    e.seq = int(q.integer(0));
    e.kind = ChangeKind(q.integer(1));
    e.path = WholePath(q.blob(2), folder);
    if (!q.isNull(3))
        e.newPath = WholePath(q.blob(3), folder);
    e.old = DecodeState(q.blob(4));
    e.intendedKnown = !q.isNull(5);
    if (e.intendedKnown)
        e.intended = DecodeState(q.blob(5));
    if (!q.isNull(6))
        e.after = DecodeState(q.blob(6));
    if (!q.isNull(7))
        e.kept = NameFromBytes(q.blob(7));
    e.state = int(q.integer(8));
    if (e.kind != ChangeKind::DatePatch)
        return e; // only date patches have any
    p.bind(1, batch).bind(2, e.seq);
    while (p.step() == SQLITE_ROW) {
        e.patches.append({p.integer(0), p.blob(1), p.blob(2)});
        // With the entry's after-value, no patch's own: it held what was intended.
        e.patchAfter.append(!p.isNull(3) ? p.blob(3)
                            : e.after    ? e.patches.last().intended
                                         : QByteArray());
    }
    p.reset();
    return e;
}

// The journal for the history's reads, and the batch's summary; null (and why) without either.
sqlite3 *openAtBatch(const JournalConfig &config, qint64 batch, BatchSummary &summary,
                     QString *reason, bool snapshot) {
    QString why;
    // No journal yet: no batch either (opening would only say that the file cannot be opened).
    sqlite3 *db = QFile::exists(databasePath(config)) ? openDatabase(config, why, false) : nullptr;
    if (!db && why.isEmpty())
        why = noSuchBatchText();
    // One read transaction from the summary on: every page reads the same journal.
    if (db && snapshot)
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    bool found = false;
    if (db) {
        Statement q(db, (QByteArray(SummarySql) + "WHERE b.id = ?").constData());
        q.bind(1, batch);
        if (q.step() == SQLITE_ROW) {
            summary = summaryFrom(q);
            found = true;
        } else {
            why = noSuchBatchText();
        }
    }
    if (found)
        return db;
    sqlite3_close(db);
    if (reason)
        *reason = why;
    return nullptr;
}

} // namespace

bool ReadEntries(const JournalConfig &config, qint64 batch, QList<JournalEntry> &entries,
                 BatchSummary &summary, QString *reason) {
    sqlite3 *db = openAtBatch(config, batch, summary, reason, false);
    if (!db)
        return false;
    {
        Statement q(db, (QByteArray(EntrySql) + "ORDER BY seq").constData());
        q.bind(1, batch);
        Statement p(db, PatchSql);
        while (q.step() == SQLITE_ROW)
            entries.append(entryFrom(q, p, batch, summary.folder));
    }
    sqlite3_close(db);
    return true;
}

BatchEntries::~BatchEntries() {
    if (m_db)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(m_db);
}

bool BatchEntries::open(const JournalConfig &config, qint64 batch, BatchSummary &summary,
                        QString *reason) {
    m_db = openAtBatch(config, batch, summary, reason, true);
    if (!m_db)
        return false;
    m_batch = batch;
    m_folder = summary.folder;
    m_count = summary.total;
    m_pageRows = std::max(1, config.rowsInMemory);
    m_pageBelow = {std::numeric_limits<qint64>::max()};
    // Through the index of the entries that keep one.
    Statement q(m_db, "SELECT EXISTS(SELECT 1 FROM entries WHERE batch = ? AND kept IS NOT NULL)");
    q.bind(1, batch);
    m_keepsOriginals = q.step() == SQLITE_ROW && q.integer(0) != 0;
    return true;
}

bool BatchEntries::load(int page) {
    Statement q(m_db, (QByteArray(EntrySql) + "AND seq < ? ORDER BY seq DESC LIMIT ?").constData());
    q.bind(1, m_batch).bind(2, m_pageBelow[size_t(page)]).bind(3, m_pageRows);
    Statement p(m_db, PatchSql);
    m_page.clear();
    m_pageAt = -1;
    int stepped = SQLITE_ROW;
    while ((stepped = q.step()) == SQLITE_ROW)
        m_page.append(entryFrom(q, p, m_batch, m_folder));
    if (stepped != SQLITE_DONE)
        return false;
    m_pageAt = page;
    if (m_page.size() == m_pageRows && m_pageBelow.size() == size_t(page) + 1)
        m_pageBelow.push_back(m_page.last().seq);
    return true;
}

const JournalEntry *BatchEntries::at(int i) {
    if (!m_db || i < 0 || i >= m_count)
        return nullptr;
    const int page = i / m_pageRows;
    // Where a page begins is learnt from the one before it: pages are read in order first.
    while (m_pageBelow.size() <= size_t(page)) {
        const size_t known = m_pageBelow.size();
        if (!load(int(known) - 1) || m_pageBelow.size() == known)
            return nullptr;
    }
    if (m_pageAt != page && !load(page))
        return nullptr;
    const qsizetype at = i - qsizetype(page) * m_pageRows;
    return at < m_page.size() ? &m_page[at] : nullptr;
}

} // namespace kalmora
