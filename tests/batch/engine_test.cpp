// The batch engine, once for every kind of batch: what a run leaves on disk and in the journal,
// Stop in each phase, a journal that refuses, failure rows, repeat passes over failed files, and
// a folder swapped between the journal's record and the change.
#include "core/batch/content_step.h"
#include "core/batch/date_patch_step.h"
#include "core/batch/rename_step.h"
#include "core/batch/restore_step.h"
#include "core/batch/stamps_step.h"
#include "core/exif/read_exif.h"
#include "tests/support/files.h"
#include "tests/support/jpeg_builder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMap>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <sys/mount.h>
#include <unistd.h>

using namespace kalmora;

namespace {

enum class Kind { Stamps, Rename, DatePatch, Content };
constexpr int Files = 4;

QString nameOf(int i) {
    return QStringLiteral("f%1.jpg").arg(i + 1);
}

// What the batch may change in a file: its bytes and modification time; a renamed file is gone.
using Snapshot = QMap<QString, QPair<QByteArray, qint64>>;

Snapshot snapshot(const QString &folder) {
    Snapshot s;
    for (const QString &name : QDir(folder).entryList(QDir::Files)) {
        const QString path = folder + QLatin1Char('/') + name;
        s.insert(name, {test::readFile(path), StatFileState(path).modification.sec});
    }
    return s;
}

class RecordingSink final : public BatchSink {
public:
    QList<BatchRow> rows;
    QList<bool> failures; // `started` of each journal failure
    QList<bool> busy;     // each journalBusy()
    std::function<void(const BatchRow &)> onRow;
    std::function<void()> onBusy;

    void row(const BatchRow &row) override {
        rows.append(row);
        if (onRow)
            onRow(row);
    }
    void journalFailed(bool started, const QString &) override { failures.append(started); }
    void journalBusy(bool waiting) override {
        busy.append(waiting);
        if (waiting && onBusy)
            onBusy();
    }

    QList<RowVerdict> verdicts() const {
        QList<RowVerdict> v;
        for (const BatchRow &r : rows)
            v.append(r.verdict);
        return v;
    }
};

// Passes every call on; asks the runner to stop while the change of file `stopAt` is worked out.
class StoppingStep final : public BatchStep {
public:
    StoppingStep(BatchStep &inner, int stopAt) : m_inner(inner), m_stopAt(stopAt) {}
    BatchRunner *runner = nullptr;

    BatchKind kind() const override { return m_inner.kind(); }
    int count() const override { return m_inner.count(); }
    QString name(int i) const override { return m_inner.name(i); }
    bool keepsOriginals() const override { return m_inner.keepsOriginals(); }
    bool prepare(int i, BatchRow &row) override {
        if (i == m_stopAt)
            runner->requestStop();
        return m_inner.prepare(i, row);
    }
    int intend(BatchJournal &journal, int i, const QString &path) override {
        return m_inner.intend(journal, i, path);
    }
    void dryRun(int i, const QString &path, BatchRow &row) override {
        m_inner.dryRun(i, path, row);
    }
    int groupSize() const override { return m_inner.groupSize(); }
    bool handsAhead() const override { return m_inner.handsAhead(); }
    void handOver(const QList<int> &files) override { m_inner.handOver(files); }
    ChangeResult change(int i, const QString &path, BatchRow &row) override {
        return m_inner.change(i, path, row);
    }
    void notReached(int i, BatchRow &row) override { m_inner.notReached(i, row); }
    void finish() override { m_inner.finish(); }

private:
    BatchStep &m_inner;
    int m_stopAt;
};

// Passes every call on, but the first pass fails files 1 and 2 without touching them, as a
// program that timed out on them would.
class FlakyStep final : public BatchStep {
public:
    explicit FlakyStep(BatchStep &inner) : m_inner(inner) {}
    int passes = 1;

    BatchKind kind() const override { return m_inner.kind(); }
    int count() const override { return m_inner.count(); }
    QString name(int i) const override { return m_inner.name(i); }
    bool prepare(int i, BatchRow &row) override { return m_inner.prepare(i, row); }
    int intend(BatchJournal &journal, int i, const QString &path) override {
        return m_inner.intend(journal, i, path);
    }
    void dryRun(int i, const QString &path, BatchRow &row) override {
        m_inner.dryRun(i, path, row);
    }
    ChangeResult change(int i, const QString &path, BatchRow &row) override {
        if (passes == 1 && (i == 1 || i == 2)) {
            row.set(QStringLiteral("note"), QStringLiteral("修改失败"));
            return {};
        }
        return m_inner.change(i, path, row);
    }
    void newPass() override { ++passes; }
    void notReached(int i, BatchRow &row) override { m_inner.notReached(i, row); }

private:
    BatchStep &m_inner;
};

} // namespace

class BatchEngineTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString folder() const { return m_dir.path() + QStringLiteral("/photos"); }
    QString stateFolder() const { return m_dir.path() + QStringLiteral("/state"); }

    JournalConfig journalConfig() const {
        JournalConfig c;
        c.stateFolder = stateFolder();
        c.now = 1'700'000'000;
        return c;
    }

    void makeFolder(const QString &path) {
        QVERIFY(QDir().mkpath(path));
        for (int i = 0; i < Files; ++i) {
            const QString date = QStringLiteral("2011:08:2%1 20:11:00").arg(i + 1);
            QVERIFY(
                test::writeFile(path + QLatin1Char('/') + nameOf(i),
                                test::cameraPhoto(test::ByteOrder::Little, date.toLatin1()).bytes));
            QVERIFY(WriteFileTimes(path + QLatin1Char('/') + nameOf(i),
                                   FileTimes{DateTime(2010, 5, 6, 7, 8, 9),
                                             DateTime(2010, 5, 7, 0, 0, 0),
                                             DateTime(2010, 5, 6, 7, 8, 9)})
                        .outcome() != WriteOutcome::Failure);
        }
    }

    std::unique_ptr<BatchStep> stepFor(Kind kind) {
        QStringList names;
        for (int i = 0; i < Files; ++i)
            names.append(nameOf(i));
        switch (kind) {
        case Kind::Stamps: {
            return std::make_unique<StampsStep>(BatchKind::FileTimes, false, names, [](int i) {
                const DateTime t(2015, 1, 2, 3, 4, i);
                return std::optional(FileTimesUpdate::all(FileTimes{t, t, t}));
            });
        }
        case Kind::Rename:
            return std::make_unique<RenameStep>(
                names, [](int i) { return QStringLiteral("r%1.jpg").arg(i + 1); });
        case Kind::DatePatch:
            return std::make_unique<DatePatchStep>(names, [this](int i, DatePatchStep::Item &item) {
                // As the command line works it out: from the photo's own date.
                item.original =
                    QuickShootingDateCellText(folder() + QLatin1Char('/') + nameOf(i), &item.loaded)
                        .value_or(QString());
                item.date = DateTime(2020, 1, 1, 0, 0, i);
            });
        case Kind::Content:
            return std::make_unique<ContentStep>(
                names, folder(), [](int) { return true; },
                [](const QString &, qint64) { return false; },
                [] {
                    return std::make_unique<ExifToolProcess>(QStringLiteral("exiftool"), 30000);
                });
        }
        return nullptr;
    }

    // The journal's database as another program opens it; null when it cannot.
    sqlite3 *openJournal() const {
        sqlite3 *db = nullptr;
        if (sqlite3_open(
                QFile::encodeName(stateFolder() + QStringLiteral("/journal.sqlite")).constData(),
                &db) == SQLITE_OK)
            return db;
        sqlite3_close(db);
        return nullptr;
    }

    BatchOptions options(bool dryRun = false) const {
        BatchOptions o;
        o.folder = folder();
        o.dryRun = dryRun;
        o.journal = journalConfig();
        return o;
    }

    void kinds() {
        QTest::addColumn<Kind>("kind");
        QTest::newRow("stamps") << Kind::Stamps;
        QTest::newRow("rename") << Kind::Rename;
        QTest::newRow("date patch") << Kind::DatePatch;
        QTest::newRow("erase") << Kind::Content;
    }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        QDir(m_dir.path()).removeRecursively();
        makeFolder(folder());
    }

    // Every file changes, its row says so, the journal holds the batch, and its undo gives
    // every file back as it was.
    void runsAndUndoes_data() { kinds(); }
    void runsAndUndoes() {
        QFETCH(Kind, kind);
        const Snapshot before = snapshot(folder());
        const auto step = stepFor(kind);
        RecordingSink sink;
        BatchRunner runner(*step, sink, options());
        const BatchOutcome outcome = runner.run();
        QCOMPARE(outcome.end, BatchOutcome::End::Finished);
        QCOMPARE(outcome.done, Files);
        QCOMPARE(sink.verdicts(), QList<RowVerdict>(Files, RowVerdict::Done));
        const Snapshot after = snapshot(folder());
        for (int i = 0; i < Files; ++i)
            QVERIFY2(after.value(nameOf(i)) != before.value(nameOf(i)), qPrintable(nameOf(i)));

        QList<BatchSummary> batches = ListBatches(journalConfig());
        QCOMPARE(batches.size(), 1);
        QCOMPARE(batches[0].kind, step->kind());
        QCOMPARE(batches[0].done, Files);
        const RestoreReport undo = RestoreBatch(journalConfig(), outcome.batchId, false);
        QCOMPARE(undo.restored, Files);
        QCOMPARE(snapshot(folder()), before);
    }

    // A dry run reports what would change and changes nothing, not even an access time, and
    // records nothing.
    void dryRunTouchesNothing_data() { kinds(); }
    void dryRunTouchesNothing() {
        QFETCH(Kind, kind);
        const QString first = folder() + QLatin1Char('/') + nameOf(0);
        const FileState before = StatFileState(first);
        const auto step = stepFor(kind);
        RecordingSink sink;
        BatchRunner runner(*step, sink, options(true));
        QCOMPARE(runner.run().end, BatchOutcome::End::Finished);
        QCOMPARE(sink.verdicts(), QList<RowVerdict>(Files, RowVerdict::DryRun));
        const FileState after = StatFileState(first);
        QVERIFY(after.sameAs(before));
        QCOMPARE(after.access, before.access);
        QVERIFY(!QFile::exists(stateFolder() + QStringLiteral("/journal.sqlite")));
    }

    // Stop while the changes are worked out changes nothing; a stop after the first file ends
    // the batch after the files already handed over (the erase hands the second to the tool
    // while the first is read again).
    void stops_data() {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<bool>("whilePreparing");
        QTest::addColumn<int>("done");
        const struct {
            const char *name;
            Kind kind;
            int afterFirst;
        } cases[] = {{"stamps", Kind::Stamps, 1},
                     {"rename", Kind::Rename, 1},
                     {"date patch", Kind::DatePatch, 1},
                     {"erase", Kind::Content, 2}};
        for (const auto &c : cases) {
            QTest::addRow("%s, while preparing", c.name) << c.kind << true << 0;
            QTest::addRow("%s, after the first file", c.name) << c.kind << false << c.afterFirst;
        }
    }
    void stops() {
        QFETCH(Kind, kind);
        QFETCH(bool, whilePreparing);
        QFETCH(int, done);
        const Snapshot before = snapshot(folder());
        const auto inner = stepFor(kind);
        StoppingStep step(*inner, whilePreparing ? 2 : -1);
        RecordingSink sink;
        BatchRunner runner(step, sink, options());
        step.runner = &runner;
        sink.onRow = [&](const BatchRow &row) {
            if (row.index == 0)
                runner.requestStop();
        };
        const BatchOutcome outcome = runner.run();
        QCOMPARE(outcome.end, BatchOutcome::End::Stopped);
        QCOMPARE(outcome.done, done);
        QCOMPARE(sink.rows.size(), Files);
        const Snapshot after = snapshot(folder());
        for (int i = 0; i < Files; ++i) {
            QCOMPARE(sink.rows[i].verdict, i < done ? RowVerdict::Done : RowVerdict::NotDone);
            if (i >= done) {
                QCOMPARE(sink.rows[i].value(QStringLiteral("note")),
                         QStringLiteral("未处理(已停止)"));
                QCOMPARE(after.value(nameOf(i)), before.value(nameOf(i)));
            }
        }
        // The journal holds what changed and no more: nothing at all, originals kept included,
        // for a batch stopped before its first change.
        const QList<BatchSummary> batches = ListBatches(journalConfig());
        QCOMPARE(batches.size(), whilePreparing ? 0 : 1);
        if (!whilePreparing)
            QCOMPARE(batches[0].done, done);
        const QDir kept(stateFolder() + QStringLiteral("/originals"));
        QCOMPARE(kept.entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot).size(),
                 whilePreparing ? 0 : int(kind == Kind::Content));
    }

    // A stop while the changes are worked out, once the first groups of intents are on the disk
    // (the journal holds only a few in memory, so most are written as they come): the journal
    // keeps nothing of the batch, and no file changes.
    void stopAfterIntentsWentToTheDisk() {
        constexpr int Many = 200, StopAt = 150;
        QStringList names;
        for (int i = 0; i < Many; ++i) {
            names.append(QStringLiteral("many %1.dat").arg(i));
            QVERIFY(test::writeFile(folder() + QLatin1Char('/') + names.last(), "x"));
        }
        const Snapshot before = snapshot(folder());
        StampsStep inner(BatchKind::FileTimes, false, names, [](int i) {
            const DateTime t(2015, 1, 2, 3, 4, i % 60);
            return std::optional(FileTimesUpdate::all(FileTimes{t, t, t}));
        });
        StoppingStep step(inner, StopAt);
        BatchOptions o = options();
        o.journal.rowsInMemory = 4;
        RecordingSink sink;
        BatchRunner runner(step, sink, o);
        step.runner = &runner;
        QCOMPARE(runner.run().end, BatchOutcome::End::Stopped);
        QCOMPARE(sink.rows.size(), Many);
        QVERIFY(ListBatches(journalConfig()).isEmpty());
        QCOMPARE(snapshot(folder()), before);
    }

    // A journal that cannot be written stops the batch before any file changes.
    void journalRefuses_data() { kinds(); }
    void journalRefuses() {
        QFETCH(Kind, kind);
        QVERIFY(test::writeFile(stateFolder(), "not a folder"));
        const Snapshot before = snapshot(folder());
        const auto step = stepFor(kind);
        RecordingSink sink;
        BatchRunner runner(*step, sink, options());
        const BatchOutcome outcome = runner.run();
        QCOMPARE(outcome.end, BatchOutcome::End::NotStarted);
        QCOMPARE(sink.failures, QList<bool>{false});
        QVERIFY(sink.rows.isEmpty());
        QCOMPARE(snapshot(folder()), before);
    }

    // The journal's disk fills up once the first changes may begin: the after-values and the
    // batch's end may be lost, never a file's truth. A row that reads done holds its change, any
    // other row's file is as it was, and once there is room again the undo puts back every file.
    void journalDiskFillsMidBatch_data() { kinds(); }
    void journalDiskFillsMidBatch() {
        QFETCH(Kind, kind);
        if (::geteuid() != 0)
            QSKIP("mounting a small tmpfs needs the administrator");
        const QByteArray state = QFile::encodeName(stateFolder());
        QVERIFY(QDir().mkpath(stateFolder()));
        if (::mount("tmpfs", state.constData(), "tmpfs", 0, "size=2m") != 0)
            QSKIP("this machine refuses to mount a tmpfs");
        const auto unmount = qScopeGuard([&] { ::umount2(state.constData(), MNT_DETACH); });
        const QString filler = stateFolder() + QStringLiteral("/filler");
        const Snapshot before = snapshot(folder());
        const auto step = stepFor(kind);
        RecordingSink sink;
        BatchRunner runner(*step, sink, options());
        runner.beforeChange = [&](int first) {
            if (first != 0)
                return;
            QFile fill(filler);
            QVERIFY(fill.open(QIODevice::WriteOnly));
            const QByteArray block(64 * 1024, 'x');
            while (fill.write(block) == block.size() && fill.flush()) {
            }
        };
        const BatchOutcome outcome = runner.run();
        QVERIFY(outcome.end != BatchOutcome::End::NotStarted);
        const Snapshot after = snapshot(folder());
        QCOMPARE(sink.rows.size(), Files);
        for (const BatchRow &row : sink.rows) {
            const QString name = nameOf(row.index);
            if (row.verdict == RowVerdict::Done)
                QVERIFY2(after.value(name) != before.value(name), qPrintable(name));
            else
                QVERIFY2(after.value(name) == before.value(name), qPrintable(name));
        }
        QCOMPARE(outcome.done, int(std::count_if(sink.rows.begin(), sink.rows.end(), [](auto &r) {
                     return r.verdict == RowVerdict::Done;
                 })));

        QVERIFY(QFile::remove(filler));
        const RestoreReport undo = RestoreBatch(journalConfig(), outcome.batchId, false);
        QVERIFY2(undo.started && undo.skipped.isEmpty(),
                 qPrintable(undo.reason + undo.skipped.value(0).reason));
        QCOMPARE(undo.restored, outcome.done);
        QCOMPARE(snapshot(folder()), before);
    }

    // The folder swapped for another one after the journal recorded the batch: the batch (and
    // its undo) writes into the folder it opened, never into the one that took its name.
    void swappedFolder_data() {
        QTest::addColumn<Kind>("kind");
        QTest::newRow("stamps") << Kind::Stamps;
        QTest::newRow("rename") << Kind::Rename;
        QTest::newRow("date patch") << Kind::DatePatch;
        QTest::newRow("erase") << Kind::Content;
    }
    void swappedFolder() {
        QFETCH(Kind, kind);
        const QString moved = m_dir.path() + QStringLiteral("/moved");
        const QString other = m_dir.path() + QStringLiteral("/other");
        makeFolder(other);
        const Snapshot before = snapshot(folder()), intruder = snapshot(other);
        const auto step = stepFor(kind);
        RecordingSink sink;
        BatchRunner runner(*step, sink, options());
        // Names only: anything else here would run inside the batch's folder.
        runner.beforeChange = [&](int first) {
            if (first == 0)
                QVERIFY(QDir().rename(folder(), moved) && QDir().rename(other, folder()));
        };
        const BatchOutcome outcome = runner.run();
        QCOMPARE(outcome.done, Files);
        QCOMPARE(snapshot(folder()), intruder);
        const Snapshot changed = snapshot(moved);
        QCOMPARE(changed.size(), Files);
        QVERIFY(changed != before);

        // The undo, with the folders swapped back between its judging and its first write: it
        // puts back the folder it judged, and the other one keeps what it holds.
        const QString judged = m_dir.path() + QStringLiteral("/judged");
        QVERIFY(QDir().rename(folder(), other) && QDir().rename(moved, folder()));
        const RestoreReport undo =
            RestoreBatch(journalConfig(), outcome.batchId, false, {}, {}, [&](int first) {
                if (first == 0)
                    QVERIFY(QDir().rename(folder(), judged) && QDir().rename(other, folder()));
            });
        QCOMPARE(undo.restored, Files);
        QCOMPARE(snapshot(judged), before);
        QCOMPARE(snapshot(folder()), intruder);
    }

    // The journal stays small for a large batch: under 200 bytes a file for a stamps batch of
    // camera-named files, once its log is moved into the database.
    void journalIsCompact() {
        constexpr int Many = 20000;
        const QString many = m_dir.path() + QStringLiteral("/many");
        QVERIFY(QDir().mkpath(many));
        QStringList names;
        for (int i = 0; i < Many; ++i) {
            names << QStringLiteral("IMG_20230101_%1.jpg").arg(i, 6, 10, QLatin1Char('0'));
            QFile f(many + u'/' + names.last());
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        StampsStep step(BatchKind::FileTimes, false, names, [](int i) {
            const DateTime t = DateTime(2015, 1, 2, 3, 4, 5).addSeconds(i);
            return std::optional(FileTimesUpdate::all(FileTimes{t, t, t}));
        });
        RecordingSink sink;
        BatchOptions o = options();
        o.folder = many;
        QCOMPARE(BatchRunner(step, sink, o).run().done, Many);
        // The database's own size, the part still in its log included.
        sqlite3 *db = openJournal();
        QVERIFY(db);
        qint64 size = 1;
        for (const char *pragma : {"PRAGMA page_count", "PRAGMA page_size"}) {
            sqlite3_stmt *q = nullptr;
            sqlite3_prepare_v2(db, pragma, -1, &q, nullptr);
            QCOMPARE(sqlite3_step(q), SQLITE_ROW);
            size *= sqlite3_column_int64(q, 0);
            sqlite3_finalize(q);
        }
        sqlite3_close(db);
        QVERIFY2(size < 200 * qint64(Many), qPrintable(QString::number(double(size) / Many)));
    }

    // An undo judges (and, for the erase, hashes) every file before it changes one: another
    // batch starts meanwhile without waiting for it, and both are recorded.
    void batchStartsDuringAnUndo() {
        const auto step = stepFor(Kind::Stamps);
        RecordingSink sink;
        BatchRunner runner(*step, sink, options());
        const BatchOutcome outcome = runner.run();
        QCOMPARE(outcome.done, Files);
        bool started = false;
        qint64 waitedMs = -1;
        const RestoreReport undo =
            RestoreBatch(journalConfig(), outcome.batchId, false, [&](int done, int) {
                if (done == 1) {
                    QElapsedTimer clock;
                    clock.start();
                    BatchJournal other(journalConfig());
                    started = other.begin(m_dir.path(), BatchKind::FileTimes) && other.end();
                    waitedMs = clock.elapsed();
                }
                return true;
            });
        QVERIFY(started);
        QVERIFY2(waitedMs < 2000, qPrintable(QString::number(waitedMs)));
        QCOMPARE(undo.restored, Files);
        QCOMPARE(ListBatches(journalConfig()).size(), 3);
    }

    // Another program holds the journal's write lock as a batch begins: the batch says it waits,
    // and runs once the lock is free, or ends untouched at the user's Stop.
    void waitsForAnotherWriter_data() {
        QTest::addColumn<bool>("stop");
        QTest::newRow("lock freed") << false;
        QTest::newRow("stopped while waiting") << true;
    }
    void waitsForAnotherWriter() {
        QFETCH(bool, stop);
        QVERIFY(BatchJournal(journalConfig()).begin(m_dir.path(), BatchKind::FileTimes));
        sqlite3 *db = openJournal();
        QVERIFY(db);
        const auto closed = qScopeGuard([db] { sqlite3_close(db); });
        QCOMPARE(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        const Snapshot before = snapshot(folder());
        const auto step = stepFor(Kind::Stamps);
        RecordingSink sink;
        BatchOptions o = options();
        o.journalWaitMs = 0;
        BatchRunner runner(*step, sink, o);
        sink.onBusy = [&] {
            if (stop)
                runner.requestStop();
            else
                sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        };
        const BatchOutcome outcome = runner.run();
        QCOMPARE(sink.busy, QList<bool>({true, false}));
        QCOMPARE(sink.failures, QList<bool>());
        QCOMPARE(outcome.end, stop ? BatchOutcome::End::Stopped : BatchOutcome::End::Finished);
        QCOMPARE(outcome.done, stop ? 0 : Files);
        QCOMPARE(sink.rows.size(), Files);
        QCOMPARE(snapshot(folder()) == before, stop);
    }

    // A journal row changed after the batch to name files elsewhere (hard links to the batch's
    // own, so that they hold exactly what the batch left) is refused: the undo writes nowhere
    // but the batch's folder, nor takes a kept original from outside its batch's.
    void undoStaysInItsFolder_data() { kinds(); }
    void undoStaysInItsFolder() {
        QFETCH(Kind, kind);
        const auto step = stepFor(kind);
        RecordingSink sink;
        BatchRunner runner(*step, sink, options());
        const BatchOutcome outcome = runner.run();
        QCOMPARE(outcome.done, Files);
        const QString other = m_dir.path() + QStringLiteral("/other");
        QVERIFY(QDir().mkpath(other));
        for (const QString &name : QDir(folder()).entryList(QDir::Files))
            QCOMPARE(::link(QFile::encodeName(folder() + u'/' + name).constData(),
                            QFile::encodeName(other + u'/' + name).constData()),
                     0);
        // Every path of entry 1 moved to the other folder; for the erase, entry 2's original
        // taken from a copy outside the journal's folder.
        const QString outsideOriginal = m_dir.path() + QStringLiteral("/original-2");
        // The journal keeps names within the batch's folder: the forged row names whole paths.
        QString forge =
            QStringLiteral(
                "UPDATE entries SET path = CAST('%1/' || CAST(path AS TEXT) AS BLOB), "
                "new_path = CAST('%1/' || CAST(new_path AS TEXT) AS BLOB) WHERE seq = 1;")
                .arg(other);
        if (kind == Kind::Content) {
            const QString kept =
                stateFolder() + QStringLiteral("/originals/%1/2").arg(outcome.batchId);
            QVERIFY(QFile::copy(kept, outsideOriginal));
            forge += QStringLiteral("UPDATE entries SET kept = CAST('%1' AS BLOB) WHERE seq = 2;")
                         .arg(outsideOriginal);
        }
        sqlite3 *db = openJournal();
        QVERIFY(db);
        QCOMPARE(sqlite3_exec(db, forge.toUtf8().constData(), nullptr, nullptr, nullptr),
                 SQLITE_OK);
        QCOMPARE(sqlite3_changes(db), 1);
        sqlite3_close(db);
        const Snapshot outside = snapshot(other);
        const Snapshot left = snapshot(folder());

        const RestoreReport undo = RestoreBatch(journalConfig(), outcome.batchId, false);
        const int refused = kind == Kind::Content ? 2 : 1;
        QCOMPARE(undo.restored, Files - refused);
        QCOMPARE(undo.skipped.size(), refused);
        for (const RestoreSkip &skip : undo.skipped)
            QVERIFY2(skip.reason.contains(QStringLiteral("不在这批操作的文件夹中")),
                     qPrintable(skip.reason));
        // The forged entry's file in the other folder holds what the batch left, under the
        // batch's name for it.
        const QString forged = kind == Kind::Rename ? QStringLiteral("r1.jpg") : nameOf(0);
        QCOMPARE(snapshot(other).value(forged), outside.value(forged));
        QVERIFY(kind != Kind::Rename || !QFile::exists(other + u'/' + nameOf(0)));
        if (kind == Kind::Content) {
            QVERIFY(QFile::exists(outsideOriginal));
            QCOMPARE(snapshot(folder()).value(nameOf(1)), left.value(nameOf(1)));
        }
    }

    // After a pass with failures the sink may ask for another over the failed files, in the same
    // batch: their rows come again, the outcome counts what finally changed, and one undo puts
    // back every file.
    void repeatPassOverFailedFiles_data() {
        QTest::addColumn<bool>("tryAgain");
        QTest::newRow("tried again") << true;
        QTest::newRow("left failed") << false;
    }
    void repeatPassOverFailedFiles() {
        QFETCH(bool, tryAgain);
        const Snapshot before = snapshot(folder());
        const auto inner = stepFor(Kind::Rename);
        FlakyStep step(*inner);
        class AskingSink final : public BatchSink {
        public:
            RecordingSink rows;
            bool answer = true;
            QList<int> asked;
            void row(const BatchRow &row) override { rows.row(row); }
            void journalFailed(bool started, const QString &r) override {
                rows.journalFailed(started, r);
            }
            bool again(int failed) override {
                asked.append(failed);
                return answer && asked.size() == 1;
            }
        } sink;
        sink.answer = tryAgain;
        BatchRunner runner(step, sink, options());
        const BatchOutcome outcome = runner.run();
        QCOMPARE(outcome.end, BatchOutcome::End::Finished);
        QCOMPARE(sink.asked, QList<int>{2});
        QCOMPARE(outcome.done, tryAgain ? Files : Files - 2);
        QCOMPARE(outcome.failed, tryAgain ? 0 : 2);
        QList<int> order;
        for (const BatchRow &row : sink.rows.rows)
            order.append(row.index);
        QCOMPARE(order, tryAgain ? (QList<int>{0, 1, 2, 3, 1, 2}) : (QList<int>{0, 1, 2, 3}));
        const QStringList left = QDir(folder()).entryList(QDir::Files);
        QCOMPARE(left, tryAgain ? (QStringList{"r1.jpg", "r2.jpg", "r3.jpg", "r4.jpg"})
                                : (QStringList{"f2.jpg", "f3.jpg", "r1.jpg", "r4.jpg"}));

        const QList<BatchSummary> batches = ListBatches(journalConfig());
        QCOMPARE(batches.size(), 1);
        QCOMPARE(batches[0].done, outcome.done);
        QCOMPARE(RestoreBatch(journalConfig(), outcome.batchId, false).restored, outcome.done);
        QCOMPARE(snapshot(folder()), before);
    }

    // A row that reads failure leaves its file as it was: a year the file system clamps is put
    // back, a name taken is not replaced, a photo without the date keeps its bytes.
    void failedRowsLeaveFilesAlone() {
        const QString path = folder() + QLatin1Char('/') + nameOf(0);
        const FileState before = StatFileState(path);
        const DateTime old(1880, 1, 1, 0, 0, 0);
        StampsStep stamps(BatchKind::FileTimes, false, {nameOf(0)}, [&](int) {
            return std::optional(FileTimesUpdate{std::nullopt, old, old});
        });
        RecordingSink sink;
        BatchRunner runner(stamps, sink, options());
        runner.run();
        if (sink.rows.value(0).verdict == RowVerdict::Done)
            QSKIP("this file system holds the year 1880");
        QCOMPARE(sink.rows[0].value(QStringLiteral("note")), QStringLiteral("修改失败"));
        const FileState after = StatFileState(path);
        QCOMPARE(after.modification, before.modification);
        QCOMPARE(after.access, before.access);

        const Snapshot files = snapshot(folder());
        RenameStep rename({nameOf(0)}, [](int) { return nameOf(1); });
        RecordingSink renamed;
        BatchRunner(rename, renamed, options()).run();
        QCOMPARE(renamed.rows[0].verdict, RowVerdict::Failed);
        QCOMPARE(renamed.rows[0].value(QStringLiteral("note")), QStringLiteral("更名失败(同名)"));
        QCOMPARE(snapshot(folder()), files);

        QVERIFY(
            test::writeFile(path, test::cameraPhotoDates(test::ByteOrder::Big, "", "", "").bytes));
        const QByteArray bytes = test::readFile(path);
        DatePatchStep patch({nameOf(0)}, [](int, DatePatchStep::Item &item) {
            item.date = DateTime(2020, 1, 1, 0, 0, 0);
        });
        RecordingSink patched;
        BatchRunner(patch, patched, options()).run();
        QCOMPARE(patched.rows[0].verdict, RowVerdict::Failed);
        QCOMPARE(patched.rows[0].value(QStringLiteral("note")), QStringLiteral("Exif信息丢失"));
        QCOMPARE(test::readFile(path), bytes);
    }
};

QTEST_GUILESS_MAIN(BatchEngineTest)
#include "engine_test.moc"
