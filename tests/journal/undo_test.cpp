// Every batch of the window undone from its journal: the files come back byte for byte and stamp
// for stamp; a file changed since is left alone; a journal that cannot be written stops the batch
// before any file changes.
#include "core/batch/date_patch_intent.h"
#include "core/batch/restore_step.h"
#include "core/exif/date_shift.h"
#include "core/filetime/rename_rules.h"
#include "core/platform/comm_declare.h"
#include "gui/photo/date_rewrite.h"
#include "gui/window/features.h"
#include "gui/window/history_window.h"
#include "tests/photo/photo_window.h"
#include "tests/support/files.h"

#include <QCheckBox>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTest>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>

using namespace kalmora;

namespace {

// What a file is, as the undo must give it back.
struct Held {
    QByteArray bytes;
    FileState state;
    bool operator==(const Held &o) const {
        return bytes == o.bytes && state.sameAs(o.state) && state.access == o.state.access &&
               state.mode == o.state.mode;
    }
};
using Snapshot = QMap<QString, Held>;

// The test's own reading must not move the access times it compares.
QByteArray readUntouched(const QString &path) {
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_NOATIME);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return {};
    return file.readAll();
}

Snapshot snapshot(const QString &folder) {
    Snapshot s;
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        const QString path = folder + QLatin1Char('/') + name;
        const FileState state = ReadFileState(path);
        s.insert(name, Held{readUntouched(path), state});
    }
    return s;
}

QString describe(const Snapshot &a, const Snapshot &b) {
    if (a.keys() != b.keys())
        return a.keys().join(u',') + QStringLiteral(" / ") + b.keys().join(u',');
    for (const QString &k : a.keys()) {
        const FileState &x = a[k].state, &y = b[k].state;
        if (!(a[k] == b[k]))
            return k + QStringLiteral(": bytes %1, mtime %2.%3 vs %4.%5, atime %6.%7 vs %8.%9")
                           .arg(a[k].bytes == b[k].bytes)
                           .arg(x.modification.sec)
                           .arg(x.modification.nsec)
                           .arg(y.modification.sec)
                           .arg(y.modification.nsec)
                           .arg(x.access.sec)
                           .arg(x.access.nsec)
                           .arg(y.access.sec)
                           .arg(y.access.nsec);
    }
    return {};
}

// Stamps with nanoseconds, which no batch writes: only a restore can bring them back.
void setNanoStamps(const QString &path, int i) {
    const timespec times[2] = {{1300000000 + i * 7, 123456789 - i},
                               {1200000000 + i * 11, 987654321 - i}};
    QCOMPARE(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

} // namespace

class UndoTest : public QObject {
    Q_OBJECT
private:
    test::PhotoWindow f;
    FMainDate &w() { return f.w(); }

    JournalConfig config() {
        return JournalConfigFrom(f.doubles->environment, f.doubles->settings, f.doubles->clock);
    }

    void makeFiles(const QString &kind) {
        for (int i = 1; i <= 6; ++i) {
            const bool photo = kind != QLatin1String("file times");
            const QString name =
                photo ? QStringLiteral("DSC%1.jpg").arg(i) : QStringLiteral("文件 %1.dat").arg(i);
            const DateTime taken = DateTime(2015, 2, 27, 20, 0, 0).addSeconds(3671 * i);
            // Three different dates, so each patch has its own bytes to give back.
            f.write(name, photo ? test::cameraPhotoDates(
                                      i % 2 ? test::ByteOrder::Little : test::ByteOrder::Big,
                                      taken.toExifText().toLatin1(),
                                      taken.addSeconds(-3600).toExifText().toLatin1(),
                                      taken.addSeconds(3600).toExifText().toLatin1())
                                      .bytes
                                : name.toUtf8());
            setNanoStamps(f.path(name), i);
        }
    }

    // Imports the folder for one batch of the window (reading a photo moves its access time).
    void importFor(const QString &kind) {
        if (kind == QLatin1String("file times")) {
            f.setWindow(DateTime(2021, 3, 4, 9, 0, 0), DateTime(2021, 3, 6, 9, 0, 0));
            f.importFolder();
        } else if (kind == QLatin1String("rename")) {
            w().OptRename->setChecked(true);
            w().CmdInput->setEnabled(true);
            w().LDir->setText(f.folder.path());
            w().File1->setPattern(QStringLiteral("*.jpg"));
            w().CmdInput->click();
        } else {
            f.importPhotos();
        }
    }
    // Runs the batch over the imported files.
    void runBatch(const QString &kind) {
        if (kind == QLatin1String("file times")) {
            w().Option1->setChecked(true);
            w().TStep->setText(QStringLiteral("1"));
            w().CmdFileDateMod->click();
        } else if (kind == QLatin1String("rename")) {
            w().CmdFileDateMod->click();
        } else if (kind.startsWith(QLatin1String("date rewrite"))) {
            PhotoDateSettings settings;
            settings.allDates = kind.endsWith(QLatin1String("all dates"));
            settings.stepText = QStringLiteral("3");
            settings.unitText = QStringLiteral("天。");
            settings.unit = ShiftUnit::Day;
            settings.earlier = true;
            w().features().dateRewrite->askSettings = [settings] { return settings; };
            w().CmdPicDateMod->click();
        } else {
            f.doubles->environment.variables.insert(QStringLiteral("PATH"),
                                                    qEnvironmentVariable("PATH"));
            f.prompter().answer(MsgAnswer::No); // not the export: the erase
            w().CmdPicExifDel->click();
        }
    }

private slots:
    void init() {
        f.reopen();
        w().show(); // the window's load makes its file list
    }
    void cleanup() { f.window.reset(); }

    void undoRestoresEveryFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("operation");
        QTest::newRow("file times") << "file times" << int(BatchKind::FileTimes);
        QTest::newRow("rename") << "rename" << int(BatchKind::Rename);
        QTest::newRow("date rewrite") << "date rewrite" << int(BatchKind::DateRewrite);
        QTest::newRow("date rewrite, all dates")
            << "date rewrite, all dates" << int(BatchKind::DateRewrite);
        QTest::newRow("erase") << "erase" << int(BatchKind::Erase);
    }
    void undoRestoresEveryFile() {
        QFETCH(QString, kind);
        QFETCH(int, operation);
        if (kind == QLatin1String("erase") && f.exiftoolPath().isEmpty())
            QSKIP("exiftool is not installed");
        makeFiles(kind);
        importFor(kind);
        const Snapshot before = snapshot(f.folder.path());
        runBatch(kind);
        const Snapshot after = snapshot(f.folder.path());
        QVERIFY2(after != before, "the batch changed nothing");
        for (const QString &name : after.keys())
            QVERIFY2(!(after.value(name) == before.value(name)), qPrintable(name));

        const QList<BatchSummary> batches = ListBatches(config());
        QCOMPARE(batches.size(), 1);
        QCOMPARE(int(batches[0].kind), operation);
        // What the journal took as each file's after-value (the engine's own read-back where it
        // gave one) is what the file holds.
        QList<JournalEntry> entries;
        BatchSummary summary;
        QVERIFY(ReadEntries(config(), batches[0].id, entries, summary, nullptr));
        for (const JournalEntry &e : std::as_const(entries)) {
            const QString path = e.kind == ChangeKind::Rename ? e.newPath : e.path;
            QVERIFY2(e.after && e.after->sameAs(ReadFileState(path, e.kind == ChangeKind::Content)),
                     qPrintable(path));
            for (int n = 0; n < e.patches.size(); ++n)
                QCOMPARE(e.patchAfter.value(n),
                         readUntouched(path).mid(e.patches[n].offset, e.patches[n].before.size()));
        }
        QCOMPARE(batches[0].state, BatchSummary::State::Finished);
        QCOMPARE(batches[0].done, 6);
        QCOMPARE(batches[0].folder, f.folder.path());

        const RestoreReport report = RestoreBatch(config(), batches[0].id);
        QVERIFY2(report.started, qPrintable(report.reason));
        QVERIFY2(report.skipped.isEmpty(),
                 qPrintable(report.skipped.value(0).path + report.skipped.value(0).reason));
        QCOMPARE(report.restored, 6);
        const Snapshot restored = snapshot(f.folder.path());
        QVERIFY2(restored == before, qPrintable(describe(restored, before)));
        // Nothing of the journal's own lands in the user's folder.
        QCOMPARE(restored.keys(), before.keys());

        // The restore is a batch of its own, and undoing it brings the batch's result back.
        const QList<BatchSummary> now = ListBatches(config());
        QCOMPARE(now.size(), 2);
        QCOMPARE(now[0].kind, BatchKind::Restore);
        QCOMPARE(now[0].undoes, batches[0].id);
        QCOMPARE(now[1].undoneBy, now[0].id);
        const RestoreReport again = RestoreBatch(config(), now[0].id);
        QVERIFY2(again.started && again.skipped.isEmpty(), qPrintable(again.reason));
        const Snapshot redone = snapshot(f.folder.path());
        for (const QString &name : after.keys())
            QVERIFY2(redone.value(name).bytes == after.value(name).bytes &&
                         redone.value(name).state.modification ==
                             after.value(name).state.modification,
                     qPrintable(name));
    }

    // A file changed after the batch keeps that change; the others come back.
    void fileChangedSinceIsSkipped_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("file times, content edited") << "file times";
        QTest::newRow("date rewrite, date edited") << "date rewrite";
        QTest::newRow("rename, edited under its new name") << "rename";
    }
    void fileChangedSinceIsSkipped() {
        QFETCH(QString, kind);
        makeFiles(kind);
        importFor(kind);
        const Snapshot before = snapshot(f.folder.path());
        runBatch(kind);
        const QString edited = snapshot(f.folder.path()).firstKey();
        {
            QFile file(f.path(edited));
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.seek(file.size() - 1));
            QVERIFY(file.write("!") == 1); // the last byte of a JPEG is its end marker
        }
        const Held editedHeld = snapshot(f.folder.path()).value(edited);

        const QList<BatchSummary> batches = ListBatches(config());
        QCOMPARE(batches.size(), 1);
        const RestoreReport report = RestoreBatch(config(), batches[0].id);
        QVERIFY(report.started);
        QCOMPARE(report.restored, 5);
        QCOMPARE(report.skipped.size(), 1);
        QCOMPARE(report.skipped[0].path, f.path(edited));
        QCOMPARE(report.skipped[0].reason, QStringLiteral("文件在这批操作之后又被改动过"));
        const Snapshot now = snapshot(f.folder.path());
        QVERIFY(now.value(edited) == editedHeld);
        QCOMPARE(now.size(), before.size());
        int back = 0;
        for (const QString &name : before.keys())
            back += now.value(name) == before.value(name) ? 1 : 0;
        QCOMPARE(back, 5);
    }

    // A batch cut off half-way (its journal gone before any after-value reached the disk, as
    // when the program is killed): the files it changed come back, the one it never reached
    // stays, and a file that is neither as before nor as intended is left alone.
    void cutOffBatchRestoresWhatItTouched_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("stamps") << "file times"
                                << "文件既不是操作前的样子，也不是这批操作写成的样子";
        QTest::newRow("rename") << "rename"
                                << "文件已不存在(已被移动或删除)";
        QTest::newRow("date patch") << "date rewrite"
                                    << "文件既不是操作前的样子，也不是这批操作写成的样子";
    }
    void cutOffBatchRestoresWhatItTouched() {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        makeFiles(kind);
        const Snapshot before = snapshot(f.folder.path());
        const QStringList names = before.keys();
        const auto newName = [](int i) { return QStringLiteral("renamed %1.jpg").arg(i); };
        const DateTime planned(2021, 3, 4, 9, 0, 0);
        {
            BatchJournal journal(config());
            QVERIFY(journal.begin(f.folder.path(), BatchKind::FileTimes));
            QList<int> seqs;
            for (int i = 0; i < names.size(); ++i) {
                const QString path = f.path(names[i]);
                const DateTime t = planned.addSeconds(60 * i);
                seqs.append(kind == QLatin1String("file times")
                                ? journal.intendStamps(path, FileTimesUpdate{t, t, t})
                            : kind == QLatin1String("rename")
                                ? journal.intendRename(path, f.path(newName(i)))
                                : journal.intendDatePatch(
                                      path, DateTextPatches(path, t.toExifText(), {36867})));
            }
            QVERIFY(journal.commit());
            for (int i = 0; i < 4; ++i) {
                const QString path = f.path(names[i]);
                const DateTime t = planned.addSeconds(60 * i);
                if (kind == QLatin1String("file times"))
                    QVERIFY(WriteFileTimes(path, FileTimesUpdate{t, t, t}).outcome() !=
                            WriteOutcome::Failure);
                else if (kind == QLatin1String("rename"))
                    QCOMPARE(RenameNoReplace(path, f.path(newName(i))), RenameError::None);
                else
                    QCOMPARE(PatchShootingDate(path, t.toExifText()).outcome,
                             DatePatchOutcome::Written);
                if (i < 2)
                    journal.done(seqs[i], true); // not yet on the disk when the journal goes
            }
            QCOMPARE(ListBatches(config()).first().state, BatchSummary::State::Running);
        }
        // The last file: changed by someone else meanwhile.
        const QString other = f.path(names.last());
        if (kind == QLatin1String("rename")) {
            QVERIFY(QFile::remove(other));
        } else {
            QFile file(other);
            QVERIFY(file.open(QIODevice::Append));
            QCOMPARE(file.write("+"), 1);
        }
        const Held otherHeld = snapshot(f.folder.path()).value(names.last());

        const QList<BatchSummary> batches = ListBatches(config());
        QCOMPARE(batches.first().state, BatchSummary::State::Interrupted);
        const RestoreReport report = RestoreBatch(config(), batches.first().id);
        QVERIFY2(report.started, qPrintable(report.reason));
        QCOMPARE(report.skipped.size(), 1);
        QCOMPARE(report.skipped[0].path, other);
        QCOMPARE(report.skipped[0].reason, reason);
        QCOMPARE(report.restored + report.unchanged, names.size() - 1);
        QVERIFY(report.restored >= 4);
        const Snapshot now = snapshot(f.folder.path());
        for (int i = 0; i + 1 < names.size(); ++i)
            QVERIFY2(now.value(names[i]) == before.value(names[i]),
                     qPrintable(describe(Snapshot{{names[i], now.value(names[i])}},
                                         Snapshot{{names[i], before.value(names[i])}})));
        QVERIFY(now.value(names.last()) == otherHeld);
        QCOMPARE(now.size(), kind == QLatin1String("rename") ? names.size() - 1 : names.size());
    }

    // Intents committed group by group while the files change (or, streamed, while the caller
    // still works them out): a file changes only once its intent is on the disk, and a batch cut
    // off then restores exactly the files it changed.
    void laterGroupsAreDurableBeforeTheirFilesChange_data() {
        QTest::addColumn<bool>("streamed");
        QTest::newRow("queued first") << false;
        QTest::newRow("streamed") << true;
    }
    void laterGroupsAreDurableBeforeTheirFilesChange() {
        QFETCH(bool, streamed);
        constexpr int Files = 300, Changed = 280;
        QStringList paths;
        for (int i = 0; i < Files; ++i) {
            paths << f.path(QStringLiteral("file %1.dat").arg(i));
            QVERIFY(test::writeFile(paths.last(), QByteArray::number(i)));
            setNanoStamps(paths.last(), i);
        }
        const Snapshot before = snapshot(f.folder.path());
        const DateTime planned(2021, 3, 4, 9, 0, 0);
        {
            BatchJournal journal(config());
            QVERIFY(journal.begin(f.folder.path(), BatchKind::FileTimes));
            QVERIFY(!streamed || journal.streamIntents(Files));
            QList<int> seqs;
            for (int i = 0; i < Files; ++i) {
                const DateTime t = planned.addSeconds(60 * i);
                seqs.append(journal.intendStamps(paths[i], FileTimesUpdate{t, t, t}));
                QCOMPARE(seqs.last(), i + 1);
            }
            if (streamed) {
                // Written meanwhile: another connection sees the first groups before the last
                // intent is marked; none beyond the number announced is taken.
                QTRY_VERIFY(ListBatches(config()).value(0).total >= 32);
                QCOMPARE(journal.intendStamps(paths[0], FileTimesUpdate{planned, planned, planned}),
                         0);
            }
            QVERIFY2(journal.commitFirst(), qPrintable(journal.reason()));
            // Ready means committed: another connection sees the last group's intents.
            QVERIFY2(journal.ready(seqs.last()), qPrintable(journal.reason()));
            QList<JournalEntry> entries;
            BatchSummary summary;
            QVERIFY(ReadEntries(config(), journal.batchId(), entries, summary, nullptr));
            QCOMPARE(entries.size(), Files);
            for (int i = 0; i < Changed; ++i) {
                QVERIFY2(journal.ready(seqs[i]), qPrintable(journal.reason()));
                const DateTime t = planned.addSeconds(60 * i);
                const FileTimesWriteResult result =
                    WriteFileTimes(paths[i], FileTimesUpdate{t, t, t});
                QVERIFY(result.outcome() != WriteOutcome::Failure);
                journal.done(seqs[i], true, result.state);
            }
        } // no end: cut off
        const QList<BatchSummary> batches = ListBatches(config());
        QCOMPARE(batches.first().state, BatchSummary::State::Interrupted);
        QCOMPARE(batches.first().total, Files);
        const RestoreReport report = RestoreBatch(config(), batches.first().id);
        QVERIFY2(report.started && report.skipped.isEmpty(), qPrintable(report.reason));
        QCOMPARE(report.restored, Changed);
        QCOMPARE(report.unchanged, Files - Changed);
        const Snapshot now = snapshot(f.folder.path());
        QVERIFY2(now == before, qPrintable(describe(now, before)));
    }

    // A batch many times the rows the journal holds in memory: every intent goes to the disk,
    // every after-value is recorded (those of entries long dropped from memory read back, one
    // again as a repeat pass records it), and the undo, reading its entries a few at a time,
    // gives every file back. Queued first or streamed; stamps (with the engine's read-back or
    // without), stamps of links, renames that worked or failed, patches as intended or not.
    void batchLargerThanItsWindow_data() {
        QTest::addColumn<bool>("streamed");
        QTest::addColumn<QString>("kind");
        for (const bool streamed : {false, true})
            for (const char *kind : {"stamps", "link", "rename", "patch"})
                QTest::addRow("%s, %s", streamed ? "streamed" : "queued first", kind)
                    << streamed << QString::fromLatin1(kind);
    }
    void batchLargerThanItsWindow() {
        QFETCH(bool, streamed);
        QFETCH(QString, kind);
        constexpr int Files = 150, Repeated = 6;
        JournalConfig small = config();
        small.rowsInMemory = 3;
        QStringList paths;
        for (int i = 0; i < Files; ++i) {
            const QString name = QStringLiteral("file %1.dat").arg(i);
            if (kind == QLatin1String("link")) {
                QVERIFY(test::writeFile(f.path(QStringLiteral("target %1").arg(i)), "t"));
                QCOMPARE(
                    ::symlink(QFile::encodeName(QStringLiteral("target %1").arg(i)).constData(),
                              QFile::encodeName(f.path(name)).constData()),
                    0);
                // Following a link reads it: an access time ahead of its other times, and of
                // now, is one the system leaves as it is.
                const timespec times[2] = {{time(nullptr) + 3600 + i, 5}, {1200000000 + i, 7}};
                QCOMPARE(utimensat(AT_FDCWD, QFile::encodeName(f.path(name)).constData(), times,
                                   AT_SYMLINK_NOFOLLOW),
                         0);
            } else {
                QVERIFY(test::writeFile(f.path(name), "ab" + QByteArray::number(i)));
                setNanoStamps(f.path(name), i);
            }
            paths << f.path(name);
        }
        const Snapshot before = snapshot(f.folder.path());
        const DateTime planned(2021, 3, 4, 9, 0, 0);
        // What each file holds after its change, as the journal must record it.
        QMap<QString, FileState> expected;
        QMap<QString, QByteArray> patchAfter;
        qint64 batch = 0;
        {
            BatchJournal journal(small);
            QVERIFY(journal.begin(f.folder.path(), kind == QLatin1String("rename")
                                                       ? BatchKind::Rename
                                                       : BatchKind::FileTimes));
            batch = journal.batchId();
            QVERIFY(!streamed || journal.streamIntents(Files));
            for (int i = 0; i < Files; ++i) {
                const DateTime t = planned.addSeconds(60 * i);
                const int seq =
                    kind == QLatin1String("rename")
                        ? journal.intendRename(paths[i], paths[i] + QStringLiteral(".new"))
                    : kind == QLatin1String("patch")
                        ? journal.intendBytes(paths[i], {{0, "ab", "xy"}}, ReadFileState(paths[i]))
                        : journal.intendStamps(paths[i], FileTimesUpdate{t, t, t});
                QCOMPARE(seq, i + 1);
            }
            QVERIFY2(journal.commitFirst(), qPrintable(journal.reason()));
            const auto change = [&](int i) {
                QVERIFY2(journal.ready(i + 1), qPrintable(journal.reason()));
                const DateTime t = planned.addSeconds(60 * i);
                if (kind == QLatin1String("stamps")) {
                    const FileTimesWriteResult r =
                        WriteFileTimes(paths[i], FileTimesUpdate{t, t, t});
                    QVERIFY(r.outcome() != WriteOutcome::Failure);
                    expected[paths[i]] = ReadFileState(paths[i]);
                    // Every other file without the engine's read-back: the journal reads it.
                    journal.done(i + 1, true, i % 2 ? std::optional(r.state) : std::nullopt);
                } else if (kind == QLatin1String("link")) {
                    const timespec times[2] = {{time(nullptr) + 7200 + i, 0}, {1500000000 + i, 0}};
                    QCOMPARE(utimensat(AT_FDCWD, QFile::encodeName(paths[i]).constData(), times,
                                       AT_SYMLINK_NOFOLLOW),
                             0);
                    expected[paths[i]] = ReadFileState(paths[i]);
                    // The target's read-back, as an engine that follows links gives it.
                    journal.done(i + 1, true,
                                 StatFileState(f.path(QStringLiteral("target %1").arg(i))));
                } else if (kind == QLatin1String("rename")) {
                    // Every third name is left as it was: a failed rename.
                    const bool ok = i % 3 != 0 &&
                                    RenameNoReplace(paths[i], paths[i] + QStringLiteral(".new")) ==
                                        RenameError::None;
                    expected[paths[i]] =
                        ReadFileState(ok ? paths[i] + QStringLiteral(".new") : paths[i]);
                    journal.done(i + 1, ok);
                } else {
                    // Every third patch writes other bytes than it intended.
                    const QByteArray bytes = i % 3 ? "xy" : "zz";
                    QFile file(paths[i]);
                    QVERIFY(file.open(QIODevice::ReadWrite));
                    QCOMPARE(file.write(bytes), 2);
                    file.close();
                    expected[paths[i]] = ReadFileState(paths[i]);
                    patchAfter[paths[i]] = bytes;
                    // Every other one with the bytes the engine read back.
                    journal.done(i + 1, true, std::nullopt,
                                 i % 2 ? QHash<qint64, QByteArray>{{0, bytes}}
                                       : QHash<qint64, QByteArray>{});
                }
            };
            for (int i = 0; i < Files; ++i)
                change(i);
            change(Repeated); // a repeat pass, long after its entry left memory
            QVERIFY(journal.end());
        }

        QList<JournalEntry> entries;
        BatchSummary summary;
        QVERIFY(ReadEntries(config(), batch, entries, summary, nullptr));
        QCOMPARE(entries.size(), Files);
        QCOMPARE(summary.state, BatchSummary::State::Finished);
        for (int i = 0; i < Files; ++i) {
            const JournalEntry &e = entries[i];
            QCOMPARE(e.seq, i + 1);
            QCOMPARE(e.path, paths[i]);
            const bool failed = kind == QLatin1String("rename") && i % 3 == 0;
            QCOMPARE(e.state, failed ? EntryFailed : EntryDone);
            QVERIFY2(e.after && e.after->sameAs(expected[paths[i]]) &&
                         e.after->access == expected[paths[i]].access,
                     qPrintable(e.path));
            if (kind == QLatin1String("patch"))
                QCOMPARE(e.patchAfter, QList<QByteArray>{patchAfter[paths[i]]});
        }

        const RestoreReport report = RestoreBatch(small, batch);
        QVERIFY2(report.started && report.skipped.isEmpty(),
                 qPrintable(report.reason + report.skipped.value(0).path +
                            report.skipped.value(0).reason));
        QCOMPARE(report.restored + report.unchanged, Files);
        QCOMPARE(report.unchanged, kind == QLatin1String("rename") ? (Files + 2) / 3 : 0);
        // Newest first, as it takes them; a file renamed where it is now.
        const bool lastRenamed = kind == QLatin1String("rename") && (Files - 1) % 3 != 0;
        QCOMPARE(report.files.first().path,
                 lastRenamed ? paths.last() + QStringLiteral(".new") : paths.last());
        const Snapshot now = snapshot(f.folder.path());
        QVERIFY2(now == before, qPrintable(describe(now, before)));
    }

    // A batch that ends before its streamed intents were marked complete (fewer than announced,
    // more than its window holds) still writes them all, and its undo finds every file as it was.
    void streamedIntentsNeverMarkedAreAllWritten() {
        constexpr int Files = 9;
        JournalConfig small = config();
        small.rowsInMemory = 2;
        QStringList paths;
        for (int i = 0; i < Files; ++i) {
            paths << f.path(QStringLiteral("s%1.dat").arg(i));
            QVERIFY(test::writeFile(paths.last(), "s"));
        }
        qint64 batch = 0;
        {
            BatchJournal journal(small);
            QVERIFY(journal.begin(f.folder.path(), BatchKind::FileTimes));
            batch = journal.batchId();
            QVERIFY(journal.streamIntents(3 * Files));
            const DateTime t(2021, 3, 4, 9, 0, 0);
            for (int i = 0; i < Files; ++i)
                QCOMPARE(journal.intendStamps(paths[i], FileTimesUpdate{t, t, t}), i + 1);
            QVERIFY2(journal.end(), qPrintable(journal.reason()));
        }
        QList<JournalEntry> entries;
        BatchSummary summary;
        QVERIFY(ReadEntries(config(), batch, entries, summary, nullptr));
        QCOMPARE(entries.size(), Files);
        for (int i = 0; i < Files; ++i)
            QCOMPARE(entries[i].path, paths[i]);
        const RestoreReport report = RestoreBatch(small, batch, true);
        QVERIFY2(report.started, qPrintable(report.reason));
        QCOMPARE(report.unchanged, Files);
    }

    // An erase stopped after its third photo: the photos never handed over leave no intent and
    // no kept original behind, and the undo restores the three.
    void stoppedEraseForgetsThePhotosNotHandedOver() {
        constexpr int Photos = 8, HandedOver = 3;
        QStringList paths;
        for (int i = 1; i <= Photos; ++i) {
            paths << f.path(QStringLiteral("DSC%1.jpg").arg(i));
            QVERIFY(test::writeFile(paths.last(), "photo " + QByteArray::number(i)));
            setNanoStamps(paths.last(), i);
        }
        const Snapshot before = snapshot(f.folder.path());
        qint64 batch = 0;
        {
            BatchJournal journal(config());
            QVERIFY(journal.begin(f.folder.path(), BatchKind::Erase));
            batch = journal.batchId();
            for (int i = 0; i < Photos; ++i)
                QCOMPARE(journal.intendContent(paths[i], true), i + 1);
            journal.forgetAfter(HandedOver);
            QVERIFY2(journal.commitFirst(), qPrintable(journal.reason()));
            for (int i = 0; i < HandedOver; ++i) {
                QVERIFY2(journal.ready(i + 1), qPrintable(journal.reason()));
                // As the tool does: a new file put in the photo's place.
                const QByteArray erased = QFile::encodeName(paths[i] + QStringLiteral(".new"));
                QVERIFY(test::writeFile(QFile::decodeName(erased), "erased"));
                QCOMPARE(::rename(erased.constData(), QFile::encodeName(paths[i]).constData()), 0);
                journal.done(i + 1, true);
            }
            QVERIFY(journal.end());
        }
        const QList<BatchSummary> batches = ListBatches(config());
        QCOMPARE(batches.first().total, HandedOver);
        QCOMPARE(batches.first().done, HandedOver);
        const QDir kept(f.doubles->stateHome.path() + QStringLiteral("/Kalmora/originals/") +
                        QString::number(batch));
        QCOMPARE(kept.entryList(QDir::Files).size(), HandedOver);
        const RestoreReport report = RestoreBatch(config(), batch);
        QVERIFY2(report.started && report.skipped.isEmpty(), qPrintable(report.reason));
        QCOMPARE(report.restored, HandedOver);
        const Snapshot now = snapshot(f.folder.path());
        QVERIFY2(now == before, qPrintable(describe(now, before)));
    }
    // and ends (no file changed: nothing to restore).
    void streamedIntentsEndWithoutTheirMark() {
        const QString path = f.path(QStringLiteral("a.dat"));
        QVERIFY(test::writeFile(path, "a"));
        const DateTime t(2021, 3, 4, 9, 0, 0);
        {
            BatchJournal journal(config());
            QVERIFY(journal.begin(f.folder.path(), BatchKind::FileTimes));
            QVERIFY(journal.streamIntents(10));
            for (int i = 0; i < 5; ++i) // fewer than a group
                QCOMPARE(journal.intendStamps(path, FileTimesUpdate{t, t, t}), i + 1);
            QVERIFY(journal.end());
        }
        const QList<BatchSummary> batches = ListBatches(config());
        QCOMPARE(batches.size(), 1);
        QCOMPARE(batches.first().total, 5);
        QCOMPARE(batches.first().state, BatchSummary::State::Finished);
    }

    // The disk fills up while streamed intents are written: the files of the intents that
    // could not be written may not change (the batch does not start, or stops before them), the
    // reason says why, and no later intent is taken.
    void fullDiskWhileIntentsStreamStopsTheBatch() {
        const QByteArray state = QFile::encodeName(f.doubles->stateHome.path());
        if (mount("tmpfs", state.constData(), "tmpfs", 0, "size=128k") != 0)
            QSKIP("cannot mount a file system here (needs the administrator)");
        const auto unmount = qScopeGuard([&] { umount2(state.constData(), MNT_DETACH); });
        constexpr int Files = 3000;
        const DateTime t(2021, 3, 4, 9, 0, 0);
        BatchJournal journal(config());
        QVERIFY2(journal.begin(f.folder.path(), BatchKind::FileTimes),
                 qPrintable(journal.reason()));
        QVERIFY(journal.streamIntents(Files));
        // Long names, so that the intents outgrow the disk whatever the page layout.
        const QString name = f.path(QString(200, QLatin1Char('n')));
        int taken = 0;
        for (int i = 0; i < Files; ++i)
            taken += journal.intendStamps(name + QString::number(i), FileTimesUpdate{t, t, t}) > 0;
        QVERIFY(taken > 0);
        journal.commitFirst(); // either way, the last intent never becomes durable
        QVERIFY(!journal.ready(taken));
        QVERIFY2(journal.reason().contains(QStringLiteral("无法写入撤销记录")),
                 qPrintable(journal.reason()));
        QCOMPARE(journal.intendStamps(name, FileTimesUpdate{t, t, t}), 0);
    }

    // The window lists the batch; its undo asks first, then says what it did and what it skipped.
    void historyWindowUndoesTheSelectedBatch() {
        makeFiles(QStringLiteral("file times"));
        importFor(QStringLiteral("file times"));
        const Snapshot before = snapshot(f.folder.path());
        runBatch(QStringLiteral("file times"));
        const QString edited = before.firstKey();
        QVERIFY(test::writeFile(f.path(edited), "edited since"));

        FHistory history(*f.services, &w());
        QCOMPARE(history.TBatches->rowCount(), 1);
        QCOMPARE(history.TBatches->item(0, 1)->text(), QStringLiteral("修改文件时间"));
        QCOMPARE(history.TBatches->item(0, 2)->text(), QStringLiteral("6 / 0"));
        QCOMPARE(history.TBatches->item(0, 3)->text(), QStringLiteral("完成"));
        QCOMPARE(history.TBatches->item(0, 4)->text(), f.folder.path());
        QVERIFY(!history.CmdUndo->isEnabled());
        history.TBatches->selectRow(0);
        QVERIFY(history.CmdUndo->isEnabled());

        f.prompter().shown.clear();
        f.prompter().answer(MsgAnswer::Cancel);
        history.CmdUndo->click();
        QCOMPARE(f.prompter().last().buttons, MsgButtons::OkCancel);
        QVERIFY(snapshot(f.folder.path()) != before); // cancelled: nothing restored

        history.TBatches->selectRow(0);
        f.prompter().answer(MsgAnswer::Ok);
        history.CmdUndo->click();
        QCOMPARE(history.TResult->toPlainText(),
                 QStringLiteral("已恢复 5 个文件；0 个文件这批操作并未改动。\n以下 1 个文件未恢复："
                                "\n") +
                     f.path(edited) +
                     QStringLiteral("：文件在这批操作之后又被改动过\n"
                                    "主窗口中已导入的列表不会自动更新，需要时请重新导入。"));
        QCOMPARE(history.TBatches->rowCount(), 2);
        QCOMPARE(history.TBatches->item(0, 1)->text(), QStringLiteral("撤销(第 1 批)"));
        QCOMPARE(history.TBatches->item(1, 3)->text(), QStringLiteral("已撤销"));
        const Snapshot now = snapshot(f.folder.path());
        for (const QString &name : before.keys())
            QVERIFY2((now.value(name) == before.value(name)) == (name != edited), qPrintable(name));
    }

    // A restore shows its progress and stops on request: Escape while the files are judged
    // changes nothing and keeps the window open; Stop part-way leaves the rest as the batch left
    // them, for a second undo to restore.
    void historyWindowRestoreStops() {
        makeFiles(QStringLiteral("file times"));
        importFor(QStringLiteral("file times"));
        const Snapshot before = snapshot(f.folder.path());
        runBatch(QStringLiteral("file times"));
        const Snapshot after = snapshot(f.folder.path());
        const int files = int(before.size());

        // The bar moves, and the events pending then are handled, at every file: the stop
        // lands at the file chosen.
        const int interval = std::exchange(BatchBreath::BreathIntervalMs, 0);
        const auto restoreInterval =
            qScopeGuard([interval] { BatchBreath::BreathIntervalMs = interval; });
        FHistory history(*f.services, &w());
        history.show();
        QVERIFY(!history.PBRestore->isVisible() && !history.CmdStop->isVisible());
        int stopAt = 1;
        bool shownWhileRestoring = false;
        connect(history.PBRestore, &QProgressBar::valueChanged, &history, [&](int value) {
            shownWhileRestoring = history.CmdStop->isVisible() && !history.CmdClose->isEnabled();
            if (value != stopAt)
                return;
            if (stopAt == 1)
                QTest::keyClick(&history, Qt::Key_Escape);
            else
                history.CmdStop->click();
        });
        f.prompter().answer(MsgAnswer::Ok);
        history.TBatches->selectRow(0);
        history.CmdUndo->click();
        QVERIFY(shownWhileRestoring);
        QVERIFY(history.isVisible());
        QCOMPARE(history.TResult->toPlainText(),
                 QStringLiteral("撤销没有进行，没有改动任何文件：已停止"));
        QVERIFY(snapshot(f.folder.path()) == after);
        // No restore is listed for it, and the batch is not undone.
        QCOMPARE(history.TBatches->rowCount(), 1);
        QCOMPARE(ListBatches(config()).size(), 1);
        QCOMPARE(history.TBatches->item(0, 3)->text(), QStringLiteral("完成"));

        stopAt = files + 2; // every file judged, two put back
        history.TBatches->selectRow(0);
        f.prompter().answer(MsgAnswer::Ok);
        history.CmdUndo->click();
        QVERIFY(!history.PBRestore->isVisible() && history.CmdClose->isEnabled());
        QVERIFY2(history.TResult->toPlainText().contains(
                     QStringLiteral("已停止：其余 %1 个文件没有处理").arg(files - 2)),
                 qPrintable(history.TResult->toPlainText()));
        const Snapshot part = snapshot(f.folder.path());
        int back = 0;
        for (const QString &name : before.keys()) {
            QVERIFY2(part.value(name) == before.value(name) ||
                         part.value(name) == after.value(name),
                     qPrintable(name));
            back += part.value(name) == before.value(name);
        }
        QCOMPARE(back, 2);

        stopAt = -1;
        history.TBatches->selectRow(1);
        QCOMPARE(history.TBatches->item(1, 1)->text(), QStringLiteral("修改文件时间"));
        f.prompter().answer(MsgAnswer::Ok);
        history.CmdUndo->click();
        QVERIFY2(history.TResult->toPlainText().startsWith(
                     QStringLiteral("已恢复 %1 个文件").arg(files - 2)),
                 qPrintable(history.TResult->toPlainText()));
        QVERIFY(snapshot(f.folder.path()) == before);
    }

    // A second rename finds every photo named after its date already, so it moves none: its
    // undo leaves them as they are (not skipped for a name taken), and the first rename's undo
    // still gives the old names back.
    void renameThatMovedNothingLeavesEveryFile() {
        makeFiles(QStringLiteral("rename"));
        const Snapshot original = snapshot(f.folder.path());
        importFor(QStringLiteral("rename"));
        runBatch(QStringLiteral("rename"));
        w().CmdReset->click();
        importFor(QStringLiteral("rename"));
        runBatch(QStringLiteral("rename"));
        const Snapshot renamed = snapshot(f.folder.path());
        const QList<BatchSummary> batches = ListBatches(config());
        QCOMPARE(batches.size(), 2);
        QCOMPARE(batches[0].failed, 6);

        const RestoreReport again = RestoreBatch(config(), batches[0].id);
        QVERIFY(again.started);
        QVERIFY2(again.skipped.isEmpty(), qPrintable(again.skipped.value(0).reason));
        QCOMPARE(again.unchanged, 6);
        QCOMPARE(again.restored, 0);
        QCOMPARE(describe(snapshot(f.folder.path()), renamed), QString());

        // The second import read the photos, which moved their access times.
        const RestoreReport first = RestoreBatch(config(), batches[1].id);
        QCOMPARE(first.restored, 6);
        const Snapshot back = snapshot(f.folder.path());
        QCOMPARE(back.keys(), original.keys());
        for (const QString &name : back.keys())
            QVERIFY(back[name].bytes == original[name].bytes &&
                    back[name].state.modification == original[name].state.modification);
    }

    // Batches older than the days kept go when the next one starts; so do kept originals beyond
    // the total kept, oldest first, while their batch stays listed.
    void oldBatchesArePruned() {
        makeFiles(QStringLiteral("file times"));
        importFor(QStringLiteral("file times"));
        runBatch(QStringLiteral("file times"));
        const QList<BatchSummary> first = ListBatches(config());
        QCOMPARE(first.size(), 1);

        f.doubles->settings.setValue(QStringLiteral("Journal"), QStringLiteral("KeepDays"),
                                     QStringLiteral("30"));
        const auto batchAt = [&](const DateTime &now) {
            f.doubles->clock.time = now;
            JournalConfig c = config();
            BatchJournal journal(c);
            QVERIFY(journal.begin(f.folder.path(), BatchKind::Rename));
            QVERIFY(journal.end());
        };
        const DateTime started = *UtcSecondsToLocal(first[0].started);
        batchAt(started.addDays(30));
        QCOMPARE(ListBatches(config()).size(), 2); // thirty days old: kept
        batchAt(started.addDays(31));
        const QList<BatchSummary> now = ListBatches(config());
        QCOMPARE(now.size(), 2);
        QVERIFY(now[0].id != first[0].id && now[1].id != first[0].id);
    }

    // The undo of a batch older than the days kept: opening the undo's own batch leaves it (and
    // whatever it kept), the undo reads its entries a page at a time and gives every file back;
    // the next batch's start prunes it.
    void undoOfABatchItsOwnStartPrunes() {
        makeFiles(QStringLiteral("file times"));
        importFor(QStringLiteral("file times"));
        const Snapshot before = snapshot(f.folder.path());
        runBatch(QStringLiteral("file times"));
        const BatchSummary done = ListBatches(config()).value(0);
        QCOMPARE(done.done, 6);
        f.doubles->settings.setValue(QStringLiteral("Journal"), QStringLiteral("KeepDays"),
                                     QStringLiteral("30"));
        f.doubles->clock.time = UtcSecondsToLocal(done.started)->addDays(31);
        JournalConfig later = config();
        later.rowsInMemory = 2;
        const RestoreReport report = RestoreBatch(later, done.id);
        QVERIFY2(report.started && report.skipped.isEmpty(), qPrintable(report.reason));
        QCOMPARE(report.restored, 6);
        const Snapshot now = snapshot(f.folder.path());
        QVERIFY2(now == before, qPrintable(describe(now, before)));
        QList<BatchSummary> batches = ListBatches(config());
        QCOMPARE(batches.size(), 2);
        QCOMPARE(batches[0].kind, BatchKind::Restore);
        QCOMPARE(batches[0].done, 6);
        BatchJournal next(config());
        QVERIFY(next.begin(f.folder.path(), BatchKind::Rename));
        QVERIFY(next.end());
        batches = ListBatches(config());
        QCOMPARE(batches.size(), 2);
        QVERIFY(batches[0].id != done.id && batches[1].id != done.id);
    }

    void keptOriginalsBeyondTheLimitArePruned() {
        if (f.exiftoolPath().isEmpty())
            QSKIP("exiftool is not installed");
        makeFiles(QStringLiteral("erase"));
        importFor(QStringLiteral("erase"));
        runBatch(QStringLiteral("erase"));
        const QString originals =
            f.doubles->stateHome.path() + QStringLiteral("/Kalmora/originals");
        const qint64 erased = ListBatches(config()).first().id;
        QCOMPARE(QDir(originals + QLatin1Char('/') + QString::number(erased))
                     .entryList(QDir::Files)
                     .size(),
                 6);
        // Less than the six photos' size: the originals of the newest batch that kept any stay,
        // those of an older one go at the next start.
        f.doubles->settings.setValue(QStringLiteral("Journal"), QStringLiteral("KeepOriginalsMB"),
                                     QStringLiteral("0"));
        const auto start = [&](bool keeping) {
            BatchJournal next(config());
            QVERIFY(next.begin(f.folder.path(), keeping ? BatchKind::Erase : BatchKind::Rename));
            if (keeping) {
                const QString other = f.path(QStringLiteral("kept elsewhere.dat"));
                QVERIFY(test::writeFile(other, "content"));
                QCOMPARE(next.intendContent(other, true), 1);
                QVERIFY(next.commit());
            }
            QVERIFY(next.end());
        };
        start(false);
        QVERIFY(QFileInfo::exists(originals + QLatin1Char('/') + QString::number(erased)));
        QVERIFY(!ListBatches(config()).last().originalsPruned);
        start(true);
        start(false);
        QVERIFY(!QFileInfo::exists(originals + QLatin1Char('/') + QString::number(erased)));
        QVERIFY(ListBatches(config()).last().originalsPruned);
        QVERIFY(!UndoLimitText(ListBatches(config()).last()).isEmpty());
        const RestoreReport report = RestoreBatch(config(), erased);
        QVERIFY(report.started);
        QCOMPARE(report.restored, 0);
        QCOMPARE(report.skipped.size(), 6);
        QCOMPARE(report.skipped[0].reason, QStringLiteral("原件没有保留(超过保留上限或已被清理)"));
    }

    // The erase's originals would pass their limit: the window asks once. Cancel erases
    // nothing; "no" erases them without undo, which the history then says; "yes" keeps them all.
    void eraseBeyondTheOriginalsLimitAsks_data() {
        QTest::addColumn<MsgAnswer>("answer");
        QTest::addColumn<int>("kept");
        QTest::newRow("cancel") << MsgAnswer::Cancel << -1;
        QTest::newRow("erase without undo") << MsgAnswer::No << 0;
        QTest::newRow("keep them all") << MsgAnswer::Yes << 6;
    }
    void eraseBeyondTheOriginalsLimitAsks() {
        QFETCH(MsgAnswer, answer);
        QFETCH(int, kept);
        if (f.exiftoolPath().isEmpty())
            QSKIP("exiftool is not installed");
        f.doubles->settings.setValue(QStringLiteral("Journal"), QStringLiteral("KeepOriginalsMB"),
                                     QStringLiteral("0"));
        makeFiles(QStringLiteral("erase"));
        importFor(QStringLiteral("erase"));
        const Snapshot before = snapshot(f.folder.path());
        f.prompter().answer(MsgAnswer::No); // the erase, not the export
        f.prompter().answer(answer);
        f.doubles->environment.variables.insert(QStringLiteral("PATH"),
                                                qEnvironmentVariable("PATH"));
        w().CmdPicExifDel->click();
        const QStringList texts = f.prompter().texts();
        QVERIFY2(texts.size() >= 2 && texts[1].contains(QStringLiteral("超过保留上限(0 MB)")),
                 qPrintable(texts.join(u'|')));
        const QList<BatchSummary> batches = ListBatches(config());
        if (kept < 0) {
            QVERIFY2(texts.value(2).contains(QStringLiteral("本次抹除已取消")),
                     qPrintable(texts.join(u'|')));
            const Snapshot after = snapshot(f.folder.path());
            QVERIFY2(after == before, qPrintable(describe(after, before)));
            QVERIFY(batches.isEmpty());
            return;
        }
        QCOMPARE(batches.size(), 1);
        QCOMPARE(batches[0].done, 6);
        QCOMPARE(batches[0].erasedWithoutOriginal, 6 - kept);
        const QString originals = f.doubles->stateHome.path() +
                                  QStringLiteral("/Kalmora/originals/%1").arg(batches[0].id);
        QCOMPARE(QDir(originals).entryList(QDir::Files).size(), kept);
        FHistory history(*f.services, &w());
        QCOMPARE(history.TBatches->item(0, 3)->text().contains(QStringLiteral("不能撤销")),
                 kept == 0);
    }

    // The history window says where the journal lives and what it keeps; switched off there,
    // the next batch is not recorded, and switched on again, the one after is.
    void journalSwitchedOffAndOn() {
        FHistory history(*f.services, &w());
        QVERIFY(history.ChJournal->isChecked());
        QVERIFY2(history.LJournal->text().contains(config().stateFolder) &&
                     history.LJournal->text().contains(QStringLiteral("保留最近 30 天的批次")),
                 qPrintable(history.LJournal->text()));
        history.ChJournal->click();
        QVERIFY(history.LJournal->text().startsWith(QStringLiteral("撤销记录已关闭")));
        makeFiles(QStringLiteral("file times"));
        importFor(QStringLiteral("file times"));
        runBatch(QStringLiteral("file times"));
        QVERIFY(ListBatches(config()).isEmpty());
        history.ChJournal->click();
        w().CmdReset->click();
        importFor(QStringLiteral("file times"));
        runBatch(QStringLiteral("file times"));
        QCOMPARE(ListBatches(config()).size(), 1);
    }

    // The journal's folder cannot take the batch: a box says why and asks whether to go on
    // without it. No, the default, changes no file; Yes runs the batch unrecorded.
    void unwritableJournalStopsTheBatch_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("goOn");
        for (const char *kind : {"file times", "rename", "date rewrite", "erase"}) {
            QTest::addRow("%s, state folder is a file", kind) << kind << "file" << false;
            QTest::addRow("%s, full disk", kind) << kind << "full" << false;
        }
        QTest::addRow("file times, full disk, going on") << "file times"
                                                         << "full" << true;
        QTest::addRow("rename, state folder is a file, going on") << "rename"
                                                                  << "file" << true;
    }
    void unwritableJournalStopsTheBatch() {
        QFETCH(QString, kind);
        QFETCH(QString, how);
        QFETCH(bool, goOn);
        if (kind == QLatin1String("erase") && f.exiftoolPath().isEmpty())
            QSKIP("exiftool is not installed");
        const QString state = f.doubles->stateHome.path();
        struct Unmount {
            QByteArray at;
            ~Unmount() {
                if (!at.isEmpty())
                    umount2(at.constData(), MNT_DETACH);
            }
        } unmount;
        if (how == QLatin1String("file")) {
            QVERIFY(test::writeFile(state + QStringLiteral("/Kalmora"), "not a folder"));
        } else {
            // A small file system of its own, filled up.
            if (mount("tmpfs", QFile::encodeName(state).constData(), "tmpfs", 0, "size=64k") != 0)
                QSKIP("cannot mount a file system here (needs the administrator)");
            unmount.at = QFile::encodeName(state);
            QVERIFY(QDir().mkpath(state + QStringLiteral("/Kalmora")));
            QFile filler(state + QStringLiteral("/Kalmora/filler"));
            QVERIFY(filler.open(QIODevice::WriteOnly));
            const QByteArray block(4096, 'x');
            while (filler.write(block) == block.size() && filler.flush()) {
            }
            filler.close();
        }
        makeFiles(kind);
        importFor(kind);
        const Snapshot before = snapshot(f.folder.path());
        f.prompter().shown.clear();
        if (goOn)
            f.prompter().answer(MsgAnswer::Yes);
        runBatch(kind);
        const Snapshot after = snapshot(f.folder.path());
        QCOMPARE(after == before, !goOn);
        const auto asked = std::find_if(
            f.prompter().shown.cbegin(), f.prompter().shown.cend(), [](const Message &m) {
                return m.text.startsWith(QStringLiteral("无法写入撤销记录：")) &&
                       m.text.endsWith(QStringLiteral("。是否在没有撤销记录的情况下继续？"));
            });
        QVERIFY2(asked != f.prompter().shown.cend(), qPrintable(f.prompter().texts().join(u'|')));
        QCOMPARE(asked->defaultButton, std::optional(MsgAnswer::No));
        if (!goOn) // nothing more is said after the No
            QCOMPARE(&*asked, &f.prompter().shown.last());
        QVERIFY(!w().Busy);
        QVERIFY(!w().OperationRunning);
    }

    // Journals written by earlier builds hold states in QDataStream's layout (version 1, and 2
    // with the permission bits after the hash): they read back as they were. A state is now
    // written in a compact form (version 3) that reads back whole, and is short.
    void statesKeepTheirStoredForm() {
        FileState plain;
        plain.exists = true;
        plain.device = (quint64(259) << 32) | 3;
        plain.inode = 0x8000000000000001;
        plain.size = 1234567;
        plain.access = {1733000000, 999999999};
        plain.modification = {-86401, 5}; // before 1970
        plain.creation = {1426325213, 0};
        FileState hashed = plain;
        hashed.creationSettable = true;
        hashed.hash = QByteArray(32, '\xab');
        FileState emptyHash = plain;
        emptyHash.hash = QByteArray("");
        const auto same = [](const FileState &a, const FileState &b) {
            return a.sameAs(b) && a.access == b.access && a.hash == b.hash &&
                   a.hash.isNull() == b.hash.isNull() && a.creationSettable == b.creationSettable &&
                   a.mode == b.mode;
        };
        for (const FileState &s : {FileState(), plain, hashed, emptyHash}) {
            QByteArray stored;
            QDataStream d(&stored, QIODevice::WriteOnly);
            d << quint8(1) << s.exists << s.device << s.inode << s.size << s.access.sec
              << s.access.nsec << s.modification.sec << s.modification.nsec << s.creation.sec
              << s.creation.nsec << s.creationSettable << s.hash;
            QVERIFY(same(DecodeState(stored), s));
            FileState withMode = s;
            withMode.mode = 04751;
            QByteArray second = stored;
            second[0] = 2;
            second.append(QByteArray::fromHex("000009e9"));
            QVERIFY(same(DecodeState(second), withMode));
            QVERIFY(!DecodeState(second.chopped(1)).exists);

            const QByteArray now = EncodeState(withMode);
            QCOMPARE(now.at(0), char(3));
            QVERIFY(same(DecodeState(now), withMode));
            QVERIFY2(now.size() <= 48 + s.hash.size(), qPrintable(QString::number(now.size())));
            // Cut short anywhere, it is no state.
            for (qsizetype n = 1; n < now.size(); ++n)
                QVERIFY2(!DecodeState(now.left(n)).exists || !s.exists,
                         qPrintable(QString::number(n)));
        }
    }
};

QTEST_MAIN(UndoTest)
#include "undo_test.moc"
