// The journal's store: one SQLite database in the user's state folder (WAL, synchronous FULL),
// marked as this program's journal at a schema version.
#include "core/journal/journal_store.h"

#include "core/base/path_bytes.h"
#include "core/filetime/file_times.h"
#include "core/journal/journal.h"
#include "core/journal/journal_texts.h"
#include "core/platform/clock.h"
#include "core/platform/environment.h"
#include "core/platform/settings.h"

#include <QDir>
#include <QtEndian>

#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <utility>

namespace kalmora {

namespace journal_detail {

namespace {

const char *const Schema = R"(
CREATE TABLE IF NOT EXISTS batches(
    id INTEGER PRIMARY KEY, started INTEGER NOT NULL, ended INTEGER, folder BLOB NOT NULL,
    operation INTEGER NOT NULL, state INTEGER NOT NULL, pid INTEGER NOT NULL,
    undoes INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS entries(
    batch INTEGER NOT NULL, seq INTEGER NOT NULL, kind INTEGER NOT NULL, path BLOB NOT NULL,
    new_path BLOB, old BLOB NOT NULL, intended BLOB, after BLOB, kept BLOB,
    kept_bytes INTEGER NOT NULL DEFAULT 0, state INTEGER NOT NULL DEFAULT 0,
    PRIMARY KEY(batch, seq));
CREATE TABLE IF NOT EXISTS patches(
    batch INTEGER NOT NULL, seq INTEGER NOT NULL, n INTEGER NOT NULL, offset INTEGER NOT NULL,
    before BLOB NOT NULL, intended BLOB NOT NULL, after BLOB,
    PRIMARY KEY(batch, seq, n));
-- Every begin sums the kept originals: without this, a scan of every entry of the months kept.
CREATE INDEX IF NOT EXISTS entries_kept ON entries(batch) WHERE kept IS NOT NULL;
)";

// What the file says it is: this program's journal, and which schema it holds. Version 1 is the
// schema above; a journal written before the file said so holds it too.
constexpr int ApplicationId = 0x4B4C4D4A; // "KLMJ"
constexpr int SchemaVersion = 1;

int pragmaNumber(sqlite3 *db, const char *sql) {
    Statement q(db, sql);
    return q.step() == SQLITE_ROW ? int(q.integer(0)) : -1;
}

// Whether the file is our journal at a schema we know (or a new or older one); the reason
// otherwise: another program's database, or one from a newer version of ours. Asked before
// anything is written to the file.
bool knownSchema(sqlite3 *db, QString &reason) {
    const int id = pragmaNumber(db, "PRAGMA application_id");
    const int version = pragmaNumber(db, "PRAGMA user_version");
    if (id != 0 && id != ApplicationId) {
        reason = foreignFileText();
        return false;
    }
    if (version > SchemaVersion) {
        reason = newerVersionText(version);
        return false;
    }
    return true;
}

// Creates the schema, or brings an older one up to it, and marks the file.
bool prepareSchema(sqlite3 *db, QString &reason) {
    char *error = nullptr;
    const auto failed = [&] {
        reason = cannotWriteText(error ? QString::fromUtf8(error) : sqliteText(db));
        sqlite3_free(error);
        return false;
    };
    if (sqlite3_exec(db, Schema, nullptr, nullptr, &error) != SQLITE_OK)
        return failed();
    if (pragmaNumber(db, "PRAGMA application_id") == ApplicationId &&
        pragmaNumber(db, "PRAGMA user_version") == SchemaVersion)
        return true;
    // Later versions add their steps here, each from the version before.
    const QByteArray mark = "PRAGMA application_id=" + QByteArray::number(ApplicationId) +
                            "; PRAGMA user_version=" + QByteArray::number(SchemaVersion) + ";";
    if (sqlite3_exec(db, mark.constData(), nullptr, nullptr, &error) != SQLITE_OK)
        return failed();
    return true;
}

// The last batch's connection, kept for the next batch of this process: a fresh connection
// reads the whole write-ahead log again, which grows between checkpoints (milliseconds a batch).
struct KeptConnection {
    sqlite3 *db = nullptr;
    QByteArray path;
    dev_t device = 0;
    ino_t inode = 0; // not reused while the kept connection holds the file open
};
std::mutex keptMutex;
KeptConnection keptConnection;

// The checkpoint after a batch: on the batch's connection, which is kept for the next batch
// once it is done (a batch that starts meanwhile opens one of its own). A process that ends
// waits for it.
struct Checkpointer {
    std::mutex mutex;
    std::thread thread;
    bool running = false;
    ~Checkpointer() {
        if (thread.joinable())
            thread.join();
    }
};
Checkpointer checkpointer;

} // namespace

QString sqliteText(sqlite3 *db) {
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
}

QString databasePath(const JournalConfig &config) {
    return config.stateFolder + QStringLiteral("/journal.sqlite");
}

sqlite3 *openDatabase(const JournalConfig &config, QString &reason, bool create) {
    if (config.stateFolder.isEmpty()) {
        reason = noStateFolderText();
        return nullptr;
    }
    if (create && !QDir().mkpath(config.stateFolder)) {
        reason = cannotMakeFolderText(config.stateFolder);
        return nullptr;
    }
    // SQLite's memory statistics take a global lock around every allocation, and nothing here
    // reads them. They can only be turned off before SQLite starts.
    static std::once_flag quiet;
    std::call_once(quiet, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
    sqlite3 *db = nullptr;
    // A connection is used by one thread at a time (handed on with the batch's own locks), so
    // SQLite need not lock it at every call.
    const int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(PathBytes(databasePath(config)).constData(), &db, flags, nullptr) !=
        SQLITE_OK) {
        reason = cannotOpenText(sqliteText(db));
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 5000);
    if (!knownSchema(db, reason)) {
        sqlite3_close(db);
        return nullptr;
    }
    // The log stays between batches: checkpointing it at every close and starting it afresh
    // costs the next batch's commit a flush of the new log's header and of the folder. A batch
    // checkpoints at its end once the log has grown (see BatchJournal::end()).
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    char *error = nullptr;
    // WAL and a full sync: a commit that returned is on the disk.
    if (sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", nullptr, nullptr,
                     &error) != SQLITE_OK) {
        reason = cannotWriteText(error ? QString::fromUtf8(error) : sqliteText(db));
        sqlite3_free(error);
        sqlite3_close(db);
        return nullptr;
    }
    if (!prepareSchema(db, reason)) {
        sqlite3_close(db);
        return nullptr;
    }
    // journal_mode answers with the mode it took; a read-only folder keeps "delete".
    Statement mode(db, "PRAGMA journal_mode");
    if (mode.step() != SQLITE_ROW || mode.blob(0).toLower() != "wal") {
        reason = noWriteAheadLogText();
        sqlite3_close(db);
        return nullptr;
    }
    return db;
}

sqlite3 *takeConnection(const JournalConfig &config, QString &reason) {
    const QByteArray path = PathBytes(databasePath(config));
    sqlite3 *db = nullptr;
    {
        const std::lock_guard lock(keptMutex);
        struct stat st {};
        db = std::exchange(keptConnection.db, nullptr);
        // Only the same database file: not one put in its place, nor another mount there.
        if (db && (keptConnection.path != path || ::stat(path.constData(), &st) != 0 ||
                   st.st_dev != keptConnection.device || st.st_ino != keptConnection.inode)) {
            sqlite3_close(db);
            db = nullptr;
        }
    }
    if (db && sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr) == SQLITE_OK)
        return db;
    sqlite3_close(db);
    return openDatabase(config, reason, true);
}

void keepConnection(sqlite3 *db, const JournalConfig &config) {
    sqlite3_wal_hook(db, nullptr, nullptr);
    const QByteArray path = PathBytes(databasePath(config));
    struct stat st {};
    const std::lock_guard lock(keptMutex);
    if (keptConnection.db || ::stat(path.constData(), &st) != 0) {
        sqlite3_close(db);
        return;
    }
    keptConnection = {db, path, st.st_dev, st.st_ino};
}

bool checkpointLater(sqlite3 *db, const JournalConfig &config) {
    const std::lock_guard lock(checkpointer.mutex);
    if (checkpointer.running)
        return false;
    if (checkpointer.thread.joinable())
        checkpointer.thread.join();
    checkpointer.running = true;
    checkpointer.thread = std::thread([db, config] {
        int log = -1, moved = -1;
        if (sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, &log, &moved) ==
                SQLITE_OK &&
            log == moved) {
            // All of it moved: the next write starts the log afresh and flushes the new log's
            // header. That write here rather than the next batch's first commit: one that
            // changes no row writes nothing, rewriting the version number always does.
            Statement version(db, "PRAGMA user_version");
            if (version.step() == SQLITE_ROW) {
                const QByteArray again =
                    "PRAGMA user_version = " + QByteArray::number(version.integer(0));
                version.reset();
                sqlite3_exec(db, again.constData(), nullptr, nullptr, nullptr);
            }
        }
        keepConnection(db, config);
        const std::lock_guard lock(checkpointer.mutex);
        checkpointer.running = false;
    });
    return true;
}

} // namespace journal_detail

JournalConfig JournalConfigFrom(const Environment &environment, const Settings &settings,
                                const Clock &clock) {
    JournalConfig c;
    QString base = environment.variable(QStringLiteral("XDG_STATE_HOME"));
    if (!base.startsWith(QLatin1Char('/'))) {
        const QString home = environment.variable(QStringLiteral("HOME"));
        base =
            home.startsWith(QLatin1Char('/')) ? home + QStringLiteral("/.local/state") : QString();
    }
    if (!base.isEmpty())
        c.stateFolder = base + QStringLiteral("/Kalmora");
    const auto number = [&](const char *key, qint64 fallback) {
        bool ok = false;
        const qint64 v =
            settings.value(QStringLiteral("Journal"), QLatin1String(key)).toLongLong(&ok);
        return ok && v >= 0 ? v : fallback;
    };
    c.keepDays = int(number("KeepDays", c.keepDays));
    c.keepOriginalsBytes = number("KeepOriginalsMB", c.keepOriginalsBytes >> 20) << 20;
    c.copyLimitBytes = number("CopyLimitMB", c.copyLimitBytes >> 20) << 20;
    c.enabled =
        settings.value(QStringLiteral("Journal"), QStringLiteral("Enabled")) != QLatin1String("0");
    c.now = LocalToUtcSeconds(clock.now()).value_or(0);
    return c;
}

// The layout QDataStream gives these fields (big-endian; a null hash as length 0xffffffff), which
// DecodeState reads; spelt out by hand, as every entry takes two or three of them.
QByteArray EncodeState(const FileState &s) {
    constexpr qsizetype Fixed = 1 + 1 + 8 * 9 + 1 + 4;
    QByteArray out(Fixed + s.hash.size(), Qt::Uninitialized);
    uchar *p = reinterpret_cast<uchar *>(out.data());
    *p++ = 1;
    *p++ = s.exists ? 1 : 0;
    for (const quint64 v :
         {s.device, s.inode, quint64(s.size), quint64(s.access.sec), quint64(s.access.nsec),
          quint64(s.modification.sec), quint64(s.modification.nsec), quint64(s.creation.sec),
          quint64(s.creation.nsec)}) {
        qToBigEndian(v, p);
        p += 8;
    }
    *p++ = s.creationSettable ? 1 : 0;
    qToBigEndian(s.hash.isNull() ? quint32(0xffffffff) : quint32(s.hash.size()), p);
    p += 4;
    if (!s.hash.isEmpty())
        std::memcpy(p, s.hash.constData(), size_t(s.hash.size()));
    return out;
}

FileState DecodeState(const QByteArray &bytes) {
    // What QDataStream reads of EncodeState's record, by hand: an undo reads three of them for
    // each of a million entries. A record cut short is no state, not the half of one.
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const uchar *const end = p + bytes.size();
    constexpr qsizetype Fixed = 1 + 1 + 8 * 9 + 1 + 4;
    if (end - p < Fixed || p[0] != 1)
        return {};
    FileState s;
    s.exists = p[1] != 0;
    p += 2;
    const auto number = [&] {
        const quint64 v = qFromBigEndian<quint64>(p);
        p += 8;
        return v;
    };
    s.device = number();
    s.inode = number();
    s.size = qint64(number());
    for (Stamp *stamp : {&s.access, &s.modification, &s.creation}) {
        stamp->sec = qint64(number());
        stamp->nsec = qint64(number());
    }
    s.creationSettable = *p++ != 0;
    const quint32 length = qFromBigEndian<quint32>(p);
    p += 4;
    if (length == 0xffffffff)
        return s; // no hash
    if (quint64(end - p) < length)
        return {};
    s.hash = QByteArray(reinterpret_cast<const char *>(p), qsizetype(length));
    return s;
}

} // namespace kalmora
