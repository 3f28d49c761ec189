// The journal's file says what it is: this program's journal at a schema version; another
// program's database and a newer version's journal are refused untouched, an older one taken.
#include "core/journal/journal.h"
#include "tests/support/files.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <sqlite3.h>

using namespace kalmora;

namespace {

// Runs SQL on the database file as another program would; the first column of the last row.
qint64 sql(const QString &path, const char *statements, const char *query = nullptr) {
    sqlite3 *db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK)
        return -1;
    sqlite3_exec(db, statements, nullptr, nullptr, nullptr);
    qint64 answer = 0;
    if (query) {
        sqlite3_stmt *q = nullptr;
        sqlite3_prepare_v2(db, query, -1, &q, nullptr);
        answer = sqlite3_step(q) == SQLITE_ROW ? sqlite3_column_int64(q, 0) : -1;
        sqlite3_finalize(q);
    }
    sqlite3_close(db);
    return answer;
}

} // namespace

class JournalStoreTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    int m_folder = 0; // each case its own journal: a process keeps its last connection open
    QString folder() const { return m_dir.path() + QStringLiteral("/%1").arg(m_folder); }
    JournalConfig config() const {
        JournalConfig c;
        c.stateFolder = folder();
        c.now = 1'700'000'000;
        return c;
    }
    QString database() const { return folder() + QStringLiteral("/journal.sqlite"); }

    bool begins() {
        BatchJournal journal(config());
        return journal.begin(m_dir.path(), BatchKind::FileTimes) && journal.end();
    }
    // The journal so far, marked as `statements` say, as the one file of a fresh folder.
    void moveOn(const char *statements) {
        const QString from = database();
        ++m_folder;
        QVERIFY(QDir().mkpath(folder()));
        sql(from, qPrintable(QStringLiteral("VACUUM INTO '%1';").arg(database())));
        sql(database(), statements);
    }

private slots:
    void init() { ++m_folder; }

    void newJournalSaysWhatItIs() {
        QVERIFY(begins());
        QCOMPARE(sql(database(), "", "PRAGMA application_id"), 0x4B4C4D4A);
        QCOMPARE(sql(database(), "", "PRAGMA user_version"), 3);
    }

    // A journal written before the file said what it is holds the same tables: it is taken,
    // marked, and its batches stay listed.
    void unmarkedJournalIsTakenAndMarked() {
        QVERIFY(begins());
        moveOn("PRAGMA application_id=0; PRAGMA user_version=0;");
        QVERIFY(begins());
        QCOMPARE(sql(database(), "", "PRAGMA user_version"), 3);
        QCOMPARE(ListBatches(config()).size(), 2);
    }

    // A journal of the first schema (no counters, no mark of pruned originals) is brought up to
    // the current one: its batches stay listed, and numbers go on above them.
    void firstSchemaIsBroughtUp() {
        QVERIFY(begins());
        QVERIFY(begins());
        moveOn("DROP TABLE counters; ALTER TABLE batches DROP COLUMN originals_pruned; "
               "PRAGMA user_version=1;");
        QCOMPARE(sql(database(), "", "PRAGMA user_version"), 1);
        QVERIFY(begins());
        QCOMPARE(sql(database(), "", "PRAGMA user_version"), 3);
        const QList<BatchSummary> batches = ListBatches(config());
        QCOMPARE(batches.size(), 3);
        QCOMPARE(batches.first().id, 3);
        QVERIFY(!batches.first().originalsPruned);
    }

    void foreignOrNewerFilesAreRefusedUntouched_data() {
        QTest::addColumn<QByteArray>("mark");
        QTest::addColumn<QString>("reason");
        QTest::newRow("another program's database")
            << QByteArray("PRAGMA application_id=1234;") << QStringLiteral("不是本程序的撤销记录");
        QTest::newRow("a newer version's journal")
            << QByteArray("PRAGMA user_version=7;") << QStringLiteral("更新版本");
    }
    void foreignOrNewerFilesAreRefusedUntouched() {
        QFETCH(QByteArray, mark);
        QFETCH(QString, reason);
        QVERIFY(begins());
        moveOn(mark.constData());
        const QByteArray before = test::readFile(database());
        BatchJournal journal(config());
        QVERIFY(!journal.begin(m_dir.path(), BatchKind::FileTimes));
        QVERIFY2(journal.reason().contains(reason), qPrintable(journal.reason()));
        QCOMPARE(test::readFile(database()), before);
    }

    // The history reads through the same checks: an unmarked journal is listed (and marked), its
    // entries read; another program's database or a newer version's journal lists nothing, says
    // why, and stays untouched.
    void historyReadsOnlyJournalsItKnows() {
        {
            BatchJournal journal(config());
            QVERIFY(journal.begin(m_dir.path(), BatchKind::FileTimes));
            QVERIFY(journal.intendStampsExact(m_dir.path() + QStringLiteral("/none"), {}) == 1);
            QVERIFY(journal.commit());
            QVERIFY(journal.end());
        }
        moveOn("PRAGMA application_id=0; PRAGMA user_version=0;");
        QString reason;
        const QList<BatchSummary> batches = ListBatches(config(), &reason);
        QVERIFY2(reason.isEmpty(), qPrintable(reason));
        QCOMPARE(batches.size(), 1);
        QCOMPARE(batches.first().total, 1);
        QCOMPARE(sql(database(), "", "PRAGMA user_version"), 3);
        QList<JournalEntry> entries;
        BatchSummary summary;
        QVERIFY(ReadEntries(config(), batches.first().id, entries, summary, &reason));
        QCOMPARE(entries.size(), 1);
        QCOMPARE(summary.id, batches.first().id);

        for (const char *mark : {"PRAGMA application_id=1234;", "PRAGMA user_version=7;"}) {
            moveOn(mark);
            const QByteArray before = test::readFile(database());
            reason.clear();
            QVERIFY(ListBatches(config(), &reason).isEmpty());
            QVERIFY2(reason.startsWith(QStringLiteral("无法打开撤销记录：")), qPrintable(reason));
            QString entriesReason;
            QVERIFY(!ReadEntries(config(), batches.first().id, entries, summary, &entriesReason));
            QCOMPARE(entriesReason, reason);
            QCOMPARE(test::readFile(database()), before);
        }
    }

    // An emptied or damaged journal is never taken for a new one: the history says what it is
    // and leaves it; the next batch moves it aside under a dated name and does not start (the
    // user is told); the batch after that begins a fresh journal.
    void brokenJournalIsSetAsideNotReplaced_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("said");
        QTest::newRow("emptied") << QByteArray() << QStringLiteral("撤销记录文件是空的(0 字节)");
        QTest::newRow("damaged") << QByteArray("not a journal, nor any database\n").repeated(200)
                                 << QStringLiteral("撤销记录文件已损坏");
    }
    void brokenJournalIsSetAsideNotReplaced() {
        QFETCH(QByteArray, content);
        QFETCH(QString, said);
        QVERIFY(QDir().mkpath(folder()));
        QVERIFY(test::writeFile(database(), content));
        QString reason;
        QVERIFY(ListBatches(config(), &reason).isEmpty());
        QVERIFY2(reason.startsWith(said), qPrintable(reason));
        QCOMPARE(test::readFile(database()), content);

        BatchJournal refused(config());
        QVERIFY(!refused.begin(m_dir.path(), BatchKind::FileTimes));
        QVERIFY2(refused.reason().startsWith(said) && refused.reason().contains(u"改名保存"),
                 qPrintable(refused.reason()));
        const QStringList aside =
            QDir(folder()).entryList({QStringLiteral("journal-damaged-*.sqlite")}, QDir::Files);
        QCOMPARE(aside.size(), 1);
        QVERIFY2(refused.reason().endsWith(folder() + u'/' + aside.first()),
                 qPrintable(refused.reason()));
        QCOMPARE(test::readFile(folder() + u'/' + aside.first()), content);

        QVERIFY(begins());
        reason.clear();
        QCOMPARE(ListBatches(config(), &reason).size(), 1);
        QVERIFY2(reason.isEmpty(), qPrintable(reason));
    }

    // The journal names the user's files: whatever the umask, its folders are the owner's alone
    // (those it makes above it too), its files too; a journal of an earlier build is made so.
    void journalIsPrivate() {
        const mode_t umaskBefore = ::umask(002);
        const auto restore = qScopeGuard([&] { ::umask(umaskBefore); });
        const QString above = m_dir.path() + QStringLiteral("/%1-home").arg(m_folder);
        JournalConfig c = config();
        c.stateFolder = above + QStringLiteral("/state/Kalmora");
        const auto modeOf = [](const QString &path) {
            struct stat st {};
            return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777)
                                                                         : -1;
        };
        const auto begin = [](const JournalConfig &config) {
            BatchJournal journal(config);
            QVERIFY2(journal.begin(QDir::tempPath(), BatchKind::FileTimes),
                     qPrintable(journal.reason()));
            QVERIFY(journal.end());
        };
        const auto privateJournal = [&](const JournalConfig &config) {
            for (const QString &f :
                 {config.stateFolder, config.stateFolder + QStringLiteral("/originals")})
                QCOMPARE(modeOf(f), 0700);
            const QString db = config.stateFolder + QStringLiteral("/journal.sqlite");
            QCOMPARE(modeOf(db), 0600);
            for (const char *suffix : {"-wal", "-shm"})
                if (QFile::exists(db + QLatin1String(suffix)))
                    QCOMPARE(modeOf(db + QLatin1String(suffix)), 0600);
        };
        begin(c);
        privateJournal(c);
        QCOMPARE(modeOf(above), 0700);
        QCOMPARE(modeOf(above + QStringLiteral("/state")), 0700);

        // As an earlier build left its journal: the folder and the file open to the group.
        JournalConfig earlier = config();
        earlier.stateFolder = m_dir.path() + QStringLiteral("/%1-earlier/Kalmora").arg(m_folder);
        QVERIFY(QDir().mkpath(earlier.stateFolder));
        QCOMPARE(::chmod(QFile::encodeName(earlier.stateFolder).constData(), 0775), 0);
        sql(c.stateFolder + QStringLiteral("/journal.sqlite"),
            qPrintable(
                QStringLiteral("VACUUM INTO '%1/journal.sqlite';").arg(earlier.stateFolder)));
        QCOMPARE(::chmod(QFile::encodeName(earlier.stateFolder + QStringLiteral("/journal.sqlite"))
                             .constData(),
                         0664),
                 0);
        begin(earlier);
        privateJournal(earlier);
        QCOMPARE(ListBatches(earlier).size(), 2);
    }
};

QTEST_GUILESS_MAIN(JournalStoreTest)
#include "store_test.moc"
