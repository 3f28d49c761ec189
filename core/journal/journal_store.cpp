// The journal's store: one SQLite database in the user's state folder (WAL, synchronous FULL),
// marked as this program's journal at a schema version.
#include "core/journal/journal_store.h"

#include "core/base/path_bytes.h"
#include "core/filetime/file_times.h"
#include "core/filetime/rename_rules.h"
#include "core/journal/journal.h"
#include "core/journal/journal_texts.h"
#include "core/journal/kept_originals.h"
#include "core/platform/clock.h"
#include "core/platform/environment.h"
#include "core/platform/settings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace kalmora {

namespace journal_detail {

namespace {

const char *const Schema = R"(
CREATE TABLE IF NOT EXISTS batches(
    id INTEGER PRIMARY KEY, started INTEGER NOT NULL, ended INTEGER, folder BLOB NOT NULL,
    operation INTEGER NOT NULL, state INTEGER NOT NULL, pid INTEGER NOT NULL,
    undoes INTEGER NOT NULL DEFAULT 0, originals_pruned INTEGER NOT NULL DEFAULT 0);
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
-- Version 2: the highest batch number ever given ("batch"), so that none is given twice.
CREATE TABLE IF NOT EXISTS counters(name TEXT PRIMARY KEY, value INTEGER NOT NULL);
)";

// What the file says it is: this program's journal, and which schema it holds. Version 1 is the
// schema above without the counters and the batches' `originals_pruned`; a journal written
// before the file said so holds it too. Version 2 adds both. Version 3 writes states in their
// compact form and names files within their batch's folder (both still read in their earlier
// forms, so it needs no step of its own; a build of version 2 must not read it).
constexpr int ApplicationId = 0x4B4C4D4A; // "KLMJ"
constexpr int SchemaVersion = 3;

int pragmaNumber(sqlite3 *db, const char *sql) {
    Statement q(db, sql);
    return q.step() == SQLITE_ROW ? int(q.integer(0)) : -1;
}

// Whether the file is our journal at a schema we know (or a new or older one); the reason
// otherwise: another program's database, or one from a newer version of ours. Asked before
// anything is written to the file.
bool knownSchema(sqlite3 *db, QString &reason) {
    const int id = pragmaNumber(db, "PRAGMA application_id");
    if (id < 0) {
        // Not a database at all, or one whose first page is damaged.
        reason = damagedText(false, sqliteText(db));
        return false;
    }
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
    const int version = pragmaNumber(db, "PRAGMA user_version");
    if (pragmaNumber(db, "PRAGMA application_id") == ApplicationId && version == SchemaVersion)
        return true;
    // Each step from the version before; the statements above made what is new and whole.
    if (version < 2) {
        Statement has(db, "SELECT originals_pruned FROM batches LIMIT 0");
        if (!has.ok() &&
            sqlite3_exec(db,
                         "ALTER TABLE batches ADD COLUMN originals_pruned INTEGER NOT NULL "
                         "DEFAULT 0",
                         nullptr, nullptr, &error) != SQLITE_OK)
            return failed();
    }
    const QByteArray mark = "PRAGMA application_id=" + QByteArray::number(ApplicationId) +
                            "; PRAGMA user_version=" + QByteArray::number(SchemaVersion) + ";";
    if (sqlite3_exec(db, mark.constData(), nullptr, nullptr, &error) != SQLITE_OK)
        return failed();
    return true;
}

// SQLite's memory statistics take a global lock around every allocation, and nothing here
// reads them. They can only be turned off before SQLite starts.
void quietMemoryStatistics() {
    static std::once_flag quiet;
    std::call_once(quiet, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
}

enum class Damage { None, Empty, NotADatabase };

// What a look at the file's first bytes tells: SQLite would take an emptied file for a new,
// empty journal, and a batch would then replace the history without a word.
Damage damageOf(const QString &path) {
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return Damage::None; // none yet, or unreadable: the open says why
    const QByteArray head = file.read(16);
    if (head.isEmpty())
        return Damage::Empty;
    return head == QByteArray("SQLite format 3", 16) ? Damage::None : Damage::NotADatabase;
}

// Moves the damaged journal (with its log) aside under a dated name; the reason to show.
QString setAside(const JournalConfig &config, Damage damage) {
    const QString path = databasePath(config);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = config.stateFolder + QStringLiteral("/journal-damaged-%1.sqlite").arg(stamp);
    for (int n = 2; QFile::exists(aside); ++n)
        aside =
            config.stateFolder + QStringLiteral("/journal-damaged-%1-%2.sqlite").arg(stamp).arg(n);
    if (::rename(PathBytes(path).constData(), PathBytes(aside).constData()) != 0)
        return damagedText(damage == Damage::Empty, QString::fromLocal8Bit(std::strerror(errno)));
    for (const char *suffix : {"", "-wal", "-shm"}) {
        const QByteArray from = PathBytes(path + QLatin1String(suffix));
        if (*suffix && ::access(from.constData(), F_OK) == 0)
            ::rename(from.constData(), PathBytes(aside + QLatin1String(suffix)).constData());
        makePrivateFile(aside + QLatin1String(suffix));
    }
    return setAsideText(damage == Damage::Empty, aside);
}

// A new journal, made whole under a name of its own and then put in place, so that the journal's
// name never holds a file still empty (which damageOf() would take for an emptied one). Another
// process may put its own there first: then that one is the journal.
bool createJournal(const JournalConfig &config, QString &reason) {
    const QString path = databasePath(config);
    const QString fresh = path + QStringLiteral(".new-%1").arg(::getpid());
    const QByteArray freshBytes = PathBytes(fresh);
    const auto removeFresh = [&] {
        for (const char *suffix : {"", "-wal", "-shm", "-journal"})
            ::unlink((freshBytes + suffix).constData());
    };
    removeFresh();
    const int fd = ::open(freshBytes.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        reason = cannotWriteText(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    ::close(fd);
    sqlite3 *db = nullptr;
    bool made = sqlite3_open_v2(freshBytes.constData(), &db,
                                SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) == SQLITE_OK;
    char *error = nullptr;
    // Without the write-ahead log here: all of it is in the one file when it closes (the log
    // comes with the first open under the journal's name).
    made =
        made && sqlite3_exec(db, "PRAGMA synchronous=FULL;", nullptr, nullptr, &error) == SQLITE_OK;
    if (!made)
        reason = cannotWriteText(error ? QString::fromUtf8(error) : sqliteText(db));
    sqlite3_free(error);
    made = made && prepareSchema(db, reason);
    if (sqlite3_close(db) != SQLITE_OK) {
        reason = cannotWriteText(sqliteText(db));
        made = false;
    }
    if (made) {
        const RenameError put = RenameNoReplace(fresh, path);
        if (put != RenameError::None && put != RenameError::Exists) {
            reason = cannotWriteText(QString::fromLocal8Bit(std::strerror(errno)));
            made = false;
        }
    }
    removeFresh();
    if (made)
        syncFolder(config.stateFolder); // the new name on the disk before a batch counts on it
    return made;
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

QByteArray StoredName(const QString &path, const QString &folder) {
    if (!folder.isEmpty() && path.size() > folder.size() + 1 && path.startsWith(folder) &&
        path[folder.size()] == QLatin1Char('/') &&
        path.indexOf(QLatin1Char('/'), folder.size() + 1) < 0)
        return PathBytes(path.mid(folder.size() + 1));
    return PathBytes(path);
}

QString WholePath(const QByteArray &stored, const QString &folder) {
    const QString name = NameFromBytes(stored);
    return name.startsWith(QLatin1Char('/')) || folder.isEmpty() || name.isEmpty()
               ? name
               : folder + QLatin1Char('/') + name;
}

bool makePrivateFolder(const QString &path) {
    const QByteArray whole = PathBytes(QDir::cleanPath(path));
    if (!whole.startsWith('/'))
        return false;
    // From the top down: mkdir's mode goes through the umask, chmod's does not.
    for (qsizetype at = 1; at <= whole.size(); ++at) {
        if (at < whole.size() && whole[at] != '/')
            continue;
        const QByteArray part = whole.left(at);
        if (::mkdir(part.constData(), 0700) == 0) {
            if (::chmod(part.constData(), 0700) != 0)
                return false;
        } else if (errno != EEXIST) {
            return false;
        }
    }
    struct stat st {};
    if (::stat(whole.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return (st.st_mode & 077) == 0 || st.st_uid != ::geteuid() ||
           ::chmod(whole.constData(), st.st_mode & 0700) == 0;
}

void makePrivateFile(const QString &path) {
    const QByteArray bytes = PathBytes(path);
    struct stat st {};
    if (::lstat(bytes.constData(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) != 0 &&
        st.st_uid == ::geteuid())
        ::chmod(bytes.constData(), st.st_mode & 0700);
}

sqlite3 *openDatabase(const JournalConfig &config, QString &reason, bool create) {
    if (config.stateFolder.isEmpty()) {
        reason = noStateFolderText();
        return nullptr;
    }
    if (create && !makePrivateFolder(config.stateFolder)) {
        reason = cannotMakeFolderText(config.stateFolder);
        return nullptr;
    }
    const QString path = databasePath(config);
    // An emptied or damaged file is never taken for a new journal: a batch about to start sets
    // it aside under a dated name (and does not start: the user is told), the history says so.
    const Damage damage = damageOf(path);
    if (damage != Damage::None) {
        reason = create ? setAside(config, damage) : damagedText(damage == Damage::Empty, {});
        return nullptr;
    }
    if (create) {
        if (!QFile::exists(path) && !createJournal(config, reason))
            return nullptr;
        // SQLite makes its log and shared-memory files with the database's mode: a journal of
        // an earlier version is made private too.
        for (const char *suffix : {"", "-wal", "-shm"})
            makePrivateFile(path + QLatin1String(suffix));
        makePrivateFolder(config.stateFolder + QStringLiteral("/originals"));
    }
    quietMemoryStatistics();
    sqlite3 *db = nullptr;
    // A connection is used by one thread at a time (handed on with the batch's own locks), so
    // SQLite need not lock it at every call.
    const int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(PathBytes(path).constData(), &db, flags, nullptr) != SQLITE_OK) {
        reason = cannotOpenText(sqliteText(db));
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, DefaultLockWaitMs);
    if (!knownSchema(db, reason)) {
        sqlite3_close(db);
        return nullptr;
    }
    // The log stays between batches: checkpointing it at every close and starting it afresh
    // costs the next batch's commit a flush of the new log's header and of the folder. A batch
    // checkpoints at its end once the log has grown (see BatchJournal::end()).
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    char *error = nullptr;
    // WAL and a full sync: a commit that returned is on the disk. Once a checkpoint has moved
    // the whole log into the database, the log's file is cut back to 4 MB when it starts over
    // (it would otherwise stay at the largest a batch ever made it).
    if (sqlite3_exec(db,
                     "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; "
                     "PRAGMA journal_size_limit=4194304;",
                     nullptr, nullptr, &error) != SQLITE_OK) {
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

// Version 3, written: a flags byte (exists, NTFS creation settable, hash present), then each
// number as a variable-length integer (the signed ones zigzagged: a stamp before 1970 stays
// short), the mode, and the hash's length and bytes. About 40 bytes where the fixed layouts below
// took 83: every entry holds two or three states.
// Versions 1 and 2, read only: the layout QDataStream gave these fields (big-endian; a null hash
// as length 0xffffffff); version 2 added the permission bits after the hash.
namespace {

void putVarint(QByteArray &out, quint64 v) {
    while (v >= 0x80) {
        out.append(char(v | 0x80));
        v >>= 7;
    }
    out.append(char(v));
}

quint64 zigzag(qint64 v) {
    return (quint64(v) << 1) ^ quint64(v >> 63);
}

qint64 unzigzag(quint64 v) {
    return qint64(v >> 1) ^ -qint64(v & 1);
}

enum StateFlag : uchar { Exists = 1, CreationSettable = 2, Hashed = 4 };

FileState decodeCompact(const uchar *p, const uchar *end) {
    bool cut = false;
    const auto varint = [&]() -> quint64 {
        quint64 v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (p == end) {
                cut = true;
                return 0;
            }
            const uchar b = *p++;
            v |= quint64(b & 0x7f) << shift;
            if (!(b & 0x80))
                return v;
        }
        cut = true; // longer than any 64-bit number
        return 0;
    };
    if (p == end)
        return {};
    const uchar flags = *p++;
    FileState s;
    s.exists = flags & Exists;
    s.creationSettable = flags & CreationSettable;
    s.device = varint();
    s.inode = varint();
    s.size = unzigzag(varint());
    for (Stamp *stamp : {&s.access, &s.modification, &s.creation}) {
        stamp->sec = unzigzag(varint());
        stamp->nsec = unzigzag(varint());
    }
    s.mode = quint32(varint());
    if (flags & Hashed) {
        const quint64 length = varint();
        if (cut || quint64(end - p) < length)
            return {};
        s.hash = QByteArray(reinterpret_cast<const char *>(p), qsizetype(length));
    }
    return cut ? FileState() : s;
}

} // namespace

QByteArray EncodeState(const FileState &s) {
    QByteArray out;
    out.reserve(48 + s.hash.size());
    out.append(char(3));
    out.append(char((s.exists ? Exists : 0) | (s.creationSettable ? CreationSettable : 0) |
                    (s.hash.isNull() ? 0 : Hashed)));
    putVarint(out, s.device);
    putVarint(out, s.inode);
    putVarint(out, zigzag(s.size));
    for (const Stamp &stamp : {s.access, s.modification, s.creation}) {
        putVarint(out, zigzag(stamp.sec));
        putVarint(out, zigzag(stamp.nsec));
    }
    putVarint(out, s.mode);
    if (!s.hash.isNull()) {
        putVarint(out, quint64(s.hash.size()));
        out.append(s.hash);
    }
    return out;
}

FileState DecodeState(const QByteArray &bytes) {
    // By hand: an undo reads three of them for each of a million entries. A record cut short is
    // no state, not the half of one.
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const uchar *const end = p + bytes.size();
    if (p != end && p[0] == 3)
        return decodeCompact(p + 1, end);
    constexpr qsizetype Fixed = 1 + 1 + 8 * 9 + 1 + 4;
    if (end - p < Fixed || (p[0] != 1 && p[0] != 2))
        return {};
    const int version = p[0];
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
    if (length != 0xffffffff) {
        if (quint64(end - p) < length)
            return {};
        s.hash = QByteArray(reinterpret_cast<const char *>(p), qsizetype(length));
        p += length;
    }
    if (version == 2) {
        if (end - p < 4)
            return {};
        s.mode = qFromBigEndian<quint32>(p);
    }
    return s;
}

} // namespace kalmora
