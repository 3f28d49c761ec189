#pragma once

// The journal's SQLite store: a statement wrapper, the database file (what it says it is, its
// schema and the steps up to it), the connection a process keeps between batches and the
// checkpoint after a batch. For the journal's own files only: callers include journal.h.
#include "core/journal/journal_types.h"

#include <QByteArray>
#include <QString>

#include <sqlite3.h>

namespace kalmora::journal_detail {

// SQLite's text for the connection's last error.
QString sqliteText(sqlite3 *db);

// A statement with its bindings; finalised at the end of its scope.
class Statement {
public:
    Statement(sqlite3 *db, const char *sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    bool ok() const { return m_stmt != nullptr; }
    Statement &bind(int i, qint64 v) {
        sqlite3_bind_int64(m_stmt, i, v);
        return *this;
    }
    Statement &bind(int i, const QByteArray &v) { return blob(i, v, SQLITE_TRANSIENT); }
    // Without a copy: `v` must stay as it is until the statement is reset, which clears it.
    Statement &hold(int i, const QByteArray &v) { return blob(i, v, SQLITE_STATIC); }
    Statement &hold(int i, QByteArray &&v) = delete;
    int step() { return m_stmt ? sqlite3_step(m_stmt) : SQLITE_ERROR; }
    void reset() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    qint64 integer(int c) const { return sqlite3_column_int64(m_stmt, c); }
    bool isNull(int c) const { return sqlite3_column_type(m_stmt, c) == SQLITE_NULL; }
    QByteArray blob(int c) const {
        const void *p = sqlite3_column_blob(m_stmt, c);
        return p ? QByteArray(static_cast<const char *>(p), sqlite3_column_bytes(m_stmt, c))
                 : QByteArray();
    }

private:
    Statement &blob(int i, const QByteArray &v, sqlite3_destructor_type keep) {
        if (v.isNull())
            sqlite3_bind_null(m_stmt, i);
        else
            sqlite3_bind_blob64(m_stmt, i, v.constData(), sqlite3_uint64(v.size()), keep);
        return *this;
    }

    sqlite3_stmt *m_stmt = nullptr;
};

// The database file in the state folder.
QString databasePath(const JournalConfig &config);

// A batch's file as an entry keeps it: its name alone where it lies right in the batch's
// `folder` (the batch's row holds the folder once), else the whole path. WholePath undoes it;
// entries of earlier builds hold whole paths.
QByteArray StoredName(const QString &path, const QString &folder);
QString WholePath(const QByteArray &stored, const QString &folder);

// Makes `path` and every folder missing above it, each new one private (0700, whatever the
// umask), and `path` itself private where it was there already: the journal names the user's
// files, and its kept originals hold their content. False when it cannot.
bool makePrivateFolder(const QString &path);
// Takes group and other access away from a file of the journal's (its own, where it was there).
void makePrivateFile(const QString &path);

// Opens (and with `create` creates) the database at the schema this program writes, in WAL
// mode with full syncs; null with a reason when it cannot (another program's file, a newer
// version's journal, a folder that cannot be written). For the history's reads.
sqlite3 *openDatabase(const JournalConfig &config, QString &reason, bool create);

// For a batch: the connection an earlier batch of this process kept, when it is still on the
// same database file, else a fresh one (openDatabase, creating).
// How long a connection waits for another's write lock, unless its batch says otherwise.
constexpr int DefaultLockWaitMs = 30000;

sqlite3 *takeConnection(const JournalConfig &config, QString &reason);
// Keeps a batch's connection for the next batch of this process (closes it when one is kept
// already, or when the file is gone).
void keepConnection(sqlite3 *db, const JournalConfig &config);

// Moves the write-ahead log into the database on a thread of its own with `db`, which it keeps
// afterwards (keepConnection); false, and `db` still the caller's, while an earlier checkpoint
// still runs. A process that ends waits for it.
bool checkpointLater(sqlite3 *db, const JournalConfig &config);

} // namespace kalmora::journal_detail
