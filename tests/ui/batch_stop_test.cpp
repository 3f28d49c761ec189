#include "core/journal/journal.h"
#include "core/platform/comm_declare.h"
#include "gui/photo/date_rewrite.h"
#include "gui/photo/exif_export.h"
#include "gui/window/features.h"
#include "gui/window/file_grid_view.h"
#include "gui/window/notice_window.h"
#include "tests/photo/photo_window.h"
#include "tests/support/files.h"
#include "tests/support/real_input.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>

#include <sqlite3.h>

#include <sys/mount.h>
#include <sys/stat.h>

using namespace kalmora;

namespace {

enum class Batch { Import, Apply, VideoShift, Rename, Rewrite, Erase };

const int Files = 5;

DateTime dt(const char *text) {
    return DateTime::parse(QLatin1String(text)).value();
}

QString nameOf(int i, Batch b = Batch::Rewrite) {
    return QStringLiteral("f%1.%2").arg(i).arg(b == Batch::VideoShift ? QStringLiteral("avi")
                                                                      : QStringLiteral("jpg"));
}

} // namespace

class BatchStopTest : public QObject {
    Q_OBJECT
private:
    test::PhotoWindow f;
    FMainDate &w() { return f.w(); }
    FileGrid &g() { return f.g(); }
    QPushButton *stopButton() { return w().findChild<QPushButton *>(QStringLiteral("CmdStop")); }

    bool photos(Batch b) { return b == Batch::Rename || b == Batch::Rewrite || b == Batch::Erase; }

    void fresh(Batch b) {
        f.reopen();
        w().show();
        w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        for (int i = 1; i <= Files; ++i) {
            if (photos(b))
                f.write(nameOf(i), test::cameraPhoto(test::ByteOrder::Little,
                                                     QByteArray("2011:08:2") +
                                                         QByteArray::number(i) + " 20:11:00")
                                       .bytes);
            else if (b == Batch::VideoShift) // MediaInfo gives any file its modification date
                f.makeFile(nameOf(i, b), dt("2010-05-06 07:08:09"), dt("2010-05-07 00:00:00"),
                           QByteArray(4096, 'x'));
            else
                f.makeFile(nameOf(i), dt("2010-05-06 07:08:09"), dt("2010-05-07 00:00:00"));
        }
        f.doubles->environment.variables.insert(QStringLiteral("PATH"),
                                                qEnvironmentVariable("PATH"));
        // Everything before the batch itself.
        if (b == Batch::Rename) {
            w().OptRename->setChecked(true);
            w().LDir->setText(f.folder.path());
            w().File1->setPattern(QStringLiteral("*.jpg"));
            w().CmdInput->setEnabled(true);
            w().CmdInput->click();
        } else if (photos(b)) {
            f.importPhotos();
        } else if (b == Batch::VideoShift) {
            w().ChPgDn->setChecked(true);
            w().LDir->setText(f.folder.path());
            w().CmdInput->click();
        } else {
            f.setWindow(dt("2011-08-27 20:11:00"), dt("2011-08-28 23:00:00"));
            if (b == Batch::Apply) {
                f.importFolder();
                w().Option1->setChecked(true);
                w().TStep->setText(QStringLiteral("3"));
            }
        }
        f.prompter().shown.clear();
    }

    void run(Batch b) {
        switch (b) {
        case Batch::Import:
            f.importFolder();
            break;
        case Batch::Apply:
        case Batch::Rename:
            w().CmdFileDateMod->click();
            break;
        case Batch::VideoShift:
        case Batch::Rewrite: {
            PhotoDateSettings s;
            s.unit = ShiftUnit::Day;
            s.stepText = QStringLiteral("3");
            w().features().dateRewrite->askSettings = [s] { return s; };
            if (b == Batch::VideoShift)
                w().CmdFileDateMod->click();
            else
                w().CmdPicDateMod->click();
            break;
        }
        case Batch::Erase:
            // The commands to exiftool grow however slow the machine is today.
            w().features().exifExport->commandTimeMs = 600000;
            f.prompter().answer(MsgAnswer::No);
            w().CmdPicExifDel->click();
            break;
        }
    }

    // What a file holds that the batch may change: a photo's bytes (none once renamed away), a
    // plain file's times.
    QString onDisk(Batch b, const QString &name) {
        if (photos(b))
            return QString::fromLatin1(f.bytesOf(name).toBase64());
        const FileTimes t = ReadFileTimes(f.path(name)).value();
        return t.lastWrite.toText() + QLatin1Char('|') + t.lastAccess.toText();
    }

    // Clicks Stop as soon as the next batch has begun.
    void stopAtStart() {
        const auto once = std::make_shared<bool>(false);
        connect(&BatchBreath::notifier(), &BatchSignals::runningChanged, &w(),
                [&, once](bool running) {
                    if (!running || *once)
                        return;
                    *once = true;
                    QTimer::singleShot(0, &w(), [&] { test::real::click(stopButton()); });
                });
    }

    // The window once the batch has closed.
    QStringList finalState() {
        QStringList s;
        s << QStringLiteral("Busy=%1").arg(w().Busy)
          << QStringLiteral("OperationRunning=%1").arg(w().OperationRunning)
          << QStringLiteral("ApplyRunning=%1").arg(w().ApplyRunning)
          << QStringLiteral("RewriteRunning=%1").arg(w().RewriteRunning)
          << QStringLiteral("ClearOnReset=%1").arg(w().ClearOnReset)
          << QStringLiteral("progress=%1").arg(w().ProgressBar1->value())
          << QStringLiteral("waitCursor=%1").arg(QApplication::overrideCursor() != nullptr)
          << QStringLiteral("stop=%1").arg(stopButton()->isVisible());
        for (QWidget *c : std::initializer_list<QWidget *>{
                 w().CmdInput, w().CmdReset, w().CmdDelete, w().CmdFileDateMod, w().CmdPicDateMod,
                 w().CmdPicExifDel, w().CmdDirBrowse})
            s << c->objectName() + QStringLiteral("=%1").arg(c->isEnabled());
        return s;
    }

    // A plain file's creation time is the moment it was made, which differs between the runs
    // compared: those cells are left out.
    QStringList rowTexts(Batch b, int row) {
        QStringList texts;
        for (int c = 0; c < FileGrid::Cols; ++c)
            texts << (!photos(b) && (c == 1 || c == 2) ? QString() : g().text(row, c));
        return texts;
    }

    // Acts once, from the event handling after the batch has started row `row`.
    void atRow(int row, std::function<void()> act) {
        auto fired = std::make_shared<bool>(false);
        connect(w().ProgressBar1, &QProgressBar::valueChanged, &w(), [row, act, fired](int value) {
            if (*fired || value != row * 100 / Files)
                return;
            *fired = true;
            QTimer::singleShot(0, act);
        });
    }

private slots:
    void initTestCase() {
        if (f.exiftoolPath().isEmpty())
            QSKIP("exiftool is not installed");
        // Events after every row: what the hooks post is handled at the row they chose.
        BatchBreath::BreathIntervalMs = 0;
    }
    void cleanup() {
        f.window.reset();
        FNoticeMsg::closeNotice();
    }

    void stopLeavesDoneRowsAndTheRestUntouched_data() {
        QTest::addColumn<Batch>("batch");
        QTest::addColumn<bool>("escape");
        QTest::addColumn<int>("stopRow");
        QTest::addColumn<int>("done");
        const QList<std::pair<const char *, Batch>> batches{
            {"import", Batch::Import},          {"apply", Batch::Apply},
            {"video shift", Batch::VideoShift}, {"rename", Batch::Rename},
            {"rewrite", Batch::Rewrite},        {"erase", Batch::Erase}};
        for (const auto &[name, batch] : batches) {
            QTest::addRow("%s, button", name) << batch << false << 2 << 2;
            QTest::addRow("%s, Escape", name) << batch << true << 2 << 2;
        }
        // Photos 3 and 4 went to exiftool in one command: both are finished.
        QTest::addRow("erase, inside a command") << Batch::Erase << false << 3 << 4;
    }
    void stopLeavesDoneRowsAndTheRestUntouched() {
        QFETCH(Batch, batch);
        QFETCH(bool, escape);
        QFETCH(int, stopRow);
        QFETCH(int, done);
        const int k = done;

        // The same batch run to its end gives the true results of the rows done.
        fresh(batch);
        QStringList before;
        for (int i = 1; i <= Files; ++i)
            before << onDisk(batch, nameOf(i, batch));
        QVERIFY(!stopButton()->isVisible());
        run(batch);
        const QStringList fullState = finalState();
        QList<QStringList> fullRows;
        QStringList fullDisk;
        for (int i = 1; i <= k; ++i) {
            fullRows << rowTexts(batch, i);
            fullDisk << onDisk(batch, g().text(i, 0));
        }
        if (batch != Batch::Import)
            for (int i = 1; i <= k; ++i)
                QVERIFY(fullDisk[i - 1] != before[i - 1]);

        // Read anew: reading a video's date at the import sets its access time to that moment.
        fresh(batch);
        before.clear();
        for (int i = 1; i <= Files; ++i)
            before << onDisk(batch, nameOf(i, batch));
        bool offered = false;
        atRow(stopRow, [&] {
            offered = stopButton()->isVisible() && stopButton()->isEnabled();
            if (escape)
                test::real::key(Qt::Key_Escape);
            else
                test::real::click(stopButton());
        });
        run(batch);

        QVERIFY(offered);
        QCOMPARE(f.prompter().texts().last(),
                 QStringLiteral("已停止：已处理%1个文件，其余%2个未处理。").arg(k).arg(Files - k));
        QCOMPARE(finalState(), fullState);
        for (int i = 1; i <= k; ++i) {
            QCOMPARE(rowTexts(batch, i), fullRows[i - 1]);
            QCOMPARE(onDisk(batch, g().text(i, 0)), fullDisk[i - 1]);
        }
        for (int i = k + 1; i <= Files; ++i) {
            QCOMPARE(g().text(i, 0), nameOf(i, batch));
            QCOMPARE(g().text(i, 5), QStringLiteral("未处理(已停止)"));
            QCOMPARE(onDisk(batch, nameOf(i, batch)), before[i - 1]);
        }
        if (batch == Batch::Import) {
            // The files not read are outside the count: no later batch touches them.
            QCOMPARE(w().FileCount, k);
            QCOMPARE(g().rows(), Files + 1);
        }
    }

    // The program told to end while a batch runs on its own thread (the session closes): the
    // batch stops after the file in hand, as for Stop, and the window gets its rows before the
    // call returns, so no thread outlives the window.
    void programEndingStopsTheBatch_data() {
        QTest::addColumn<Batch>("batch");
        QTest::newRow("apply") << Batch::Apply;
        QTest::newRow("rewrite") << Batch::Rewrite;
        QTest::newRow("rename") << Batch::Rename;
    }
    void programEndingStopsTheBatch() {
        QFETCH(Batch, batch);
        fresh(batch);
        QStringList before;
        for (int i = 1; i <= Files; ++i)
            before << onDisk(batch, nameOf(i, batch));
        atRow(2, [] { QCoreApplication::exit(0); });
        run(batch);
        // Every event loop started after exit() returns at once until the application's own
        // loop has run: run it once, so that the next case starts as a new program would.
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
        QCOMPARE(f.prompter().texts().last(),
                 QStringLiteral("已停止：已处理2个文件，其余3个未处理。"));
        for (int i = 1; i <= Files; ++i) {
            const bool done = i <= 2;
            QCOMPARE(g().text(i, 5) == QStringLiteral("未处理(已停止)"), !done);
            if (!done)
                QCOMPARE(onDisk(batch, nameOf(i, batch)), before[i - 1]);
        }
        QVERIFY(!stopButton()->isVisible());
    }

    // A row a stopped import did not read may be deleted; the files it read stay in the count.
    void deletingAnUnreadRowKeepsTheCount() {
        fresh(Batch::Import);
        atRow(2, [&] { test::real::click(stopButton()); });
        run(Batch::Import);
        QCOMPARE(w().FileCount, 2);
        g().setRow(4);
        w().CmdDelete->click();
        QCOMPARE(w().FileCount, 2);
        QCOMPARE(g().text(1, 0), nameOf(1));
        QCOMPARE(g().text(2, 0), nameOf(2));
        QVERIFY(w().LFilesCount->text().contains(QStringLiteral("现在还剩2个")));
    }

    // Another program holds the journal's write lock: the bar says the batch waits for it, and
    // the user's Stop ends the wait with no file changed.
    void stopWhileWaitingForTheJournal() {
        fresh(Batch::Apply);
        JournalConfig config;
        config.stateFolder = f.doubles->stateHome.path() + QStringLiteral("/Kalmora");
        QVERIFY(BatchJournal(config).begin(f.folder.path(), BatchKind::Rename));
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(config.stateFolder + "/journal.sqlite").constData(),
                              &db),
                 SQLITE_OK);
        const auto closed = qScopeGuard([db] { sqlite3_close(db); });
        QCOMPARE(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        QStringList before;
        for (int i = 1; i <= Files; ++i)
            before << onDisk(Batch::Apply, nameOf(i));
        QString said;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &w(), [&] {
            if (said.isEmpty() && w().ProgressBar1->format() != QStringLiteral("%p%")) {
                said = w().ProgressBar1->format();
                test::real::click(stopButton());
            }
        });
        poll.start(50);
        run(Batch::Apply);
        QCOMPARE(said, QStringLiteral("等待另一批操作写完撤销记录…"));
        QCOMPARE(w().ProgressBar1->format(), QStringLiteral("%p%"));
        for (int i = 1; i <= Files; ++i) {
            QCOMPARE(g().text(i, 5), QStringLiteral("未处理(已停止)"));
            QCOMPARE(onDisk(Batch::Apply, nameOf(i)), before[i - 1]);
        }
    }

    // The folder is listed and sorted as part of the import: the window handles events before
    // the grid is filled, refuses what it refuses during the loop, and a stop asked then ends
    // the import after its first file.
    void stopWhileTheFolderIsListed() {
        fresh(Batch::Import);
        int countSeen = -1;
        bool offered = false, busy = false;
        const auto once = std::make_shared<bool>(false);
        connect(&BatchBreath::notifier(), &BatchSignals::runningChanged, &w(),
                [&, once](bool running) {
                    if (!running || *once)
                        return;
                    *once = true;
                    QTimer::singleShot(0, &w(), [&] {
                        countSeen = w().FileCount;
                        offered = stopButton()->isVisible() && stopButton()->isEnabled();
                        busy = w().Busy && !w().CmdInput->isEnabled();
                        FileGridView *view = w().GridView;
                        test::real::doubleClick(view->viewport(),
                                                view->visualRect(g().index(1, 0)).center());
                        test::real::click(stopButton());
                    });
                });
        run(Batch::Import);
        QCOMPARE(countSeen, 0);
        QVERIFY(offered);
        QVERIFY(busy);
        QCOMPARE(f.prompter().beeps, 1);
        QCOMPARE(f.prompter().texts().last(),
                 QStringLiteral("已停止：已处理1个文件，其余%1个未处理。").arg(Files - 1));
        QCOMPARE(w().FileCount, 1);
        QCOMPARE(g().text(1, 0), nameOf(1));
        QVERIFY(!g().text(1, 1).isEmpty());
        for (int i = 2; i <= Files; ++i)
            QCOMPARE(g().text(i, 5), QStringLiteral("未处理(已停止)"));
        QVERIFY(!stopButton()->isVisible());
        QVERIFY(!w().Busy && !w().OperationRunning);
    }

    // Keeping the originals reads every photo before the first is erased; a stop meanwhile
    // leaves every photo as it was.
    void stopWhileOriginalsAreKept() {
        fresh(Batch::Erase);
        QStringList before;
        for (int i = 1; i <= Files; ++i)
            before << onDisk(Batch::Erase, nameOf(i));
        stopAtStart();
        run(Batch::Erase);
        QCOMPARE(f.prompter().texts().last(),
                 QStringLiteral("已停止：已处理0个文件，其余%1个未处理。").arg(Files));
        for (int i = 1; i <= Files; ++i) {
            QCOMPARE(onDisk(Batch::Erase, nameOf(i)), before[i - 1]);
            QCOMPARE(g().text(i, 5), QStringLiteral("未处理(已停止)"));
        }
        QVERIFY(!w().Busy && !stopButton()->isVisible());
    }

    // Originals on another disk than the journal's are copied, and a photo above the copy limit
    // asks before it goes on without undo. A stop keeps no more of them, and asks no more.
    void stopEndsTheKeepingOfCopies() {
        fresh(Batch::Erase);
        const QByteArray state = QFile::encodeName(f.doubles->stateHome.path());
        if (mount("tmpfs", state.constData(), "tmpfs", 0, "size=1m") != 0)
            QSKIP("cannot mount a file system here (needs the administrator)");
        const auto unmount = qScopeGuard([&] { umount2(state.constData(), MNT_DETACH); });
        f.doubles->settings.setValue(QStringLiteral("Journal"), QStringLiteral("CopyLimitMB"),
                                     QStringLiteral("0"));
        stopAtStart();
        f.prompter().answer(MsgAnswer::No);  // the erase, not the export
        f.prompter().answer(MsgAnswer::Yes); // the first photo without undo
        w().features().exifExport->commandTimeMs = 600000;
        w().CmdPicExifDel->click();
        const QStringList texts = f.prompter().texts();
        QCOMPARE(texts.filter(QStringLiteral("超过了复制上限")).size(), 1);
        QCOMPARE(texts.last(),
                 QStringLiteral("已停止：已处理0个文件，其余%1个未处理。").arg(Files));
        QVERIFY(!w().Busy && !stopButton()->isVisible());
    }

    // What would disturb the grid under a running import is refused: a mode switch, or a second
    // import through the current-row option, which turns the import button on again.
    void importRefusesWhatWouldDisturbIt_data() {
        QTest::addColumn<QString>("act");
        QTest::newRow("Exif mode") << "OptExif";
        QTest::newRow("rename mode") << "OptRename";
        QTest::newRow("video switch") << "ChPgDn";
        QTest::newRow("current row, then import") << "Option3";
    }
    void importRefusesWhatWouldDisturbIt() {
        QFETCH(QString, act);
        fresh(Batch::Import);
        atRow(2, [&] {
            test::real::click(w().findChild<QAbstractButton *>(act));
            if (w().CmdInput->isEnabled())
                test::real::click(w().CmdInput);
        });
        run(Batch::Import);
        QVERIFY(w().OptDate->isChecked() && !w().ChPgDn->isChecked());
        QCOMPARE(w().FileCount, Files);
        for (int i = 1; i <= Files; ++i) {
            QCOMPARE(g().text(i, 0), nameOf(i));
            QVERIFY2(!g().text(i, 1).isEmpty(), qPrintable(QString::number(i)));
        }
        QCOMPARE(g().rows(), Files + 1);
        QCOMPARE(f.prompter().texts().count(
                     QStringLiteral("导入完毕！\r\n\r\n提示：稍后双击非空行可以删除该行。"
                                    "\r\n\r\n如果要更改文件夹或者文件类型，请单击重置所有,"
                                    "\r\n\r\n设置好后须重新导入。")),
                 1);
        QVERIFY(!w().Busy && !w().OperationRunning);
        QVERIFY(w().Frame5->isEnabled());
    }

    // The export changes no photo and writes no row result: a stop keeps the whole blocks of the
    // photos done and leaves the rows as they were.
    void stoppedExportKeepsWholeBlocks() {
        const QString file = QStringLiteral("Exif信息导出.txt");
        fresh(Batch::Rewrite);
        f.prompter().answer(MsgAnswer::Yes); // export
        f.prompter().answer(MsgAnswer::No);  // do not open the folder
        w().CmdPicExifDel->click();
        const QByteArray full = f.bytesOf(file);
        const QStringList fullState = finalState();
        QList<QStringList> fullRows;
        for (int i = 1; i <= Files; ++i)
            fullRows << rowTexts(Batch::Rewrite, i);

        fresh(Batch::Rewrite);
        atRow(2, [&] { test::real::click(stopButton()); });
        f.prompter().answer(MsgAnswer::Yes);
        w().CmdPicExifDel->click();
        const QByteArray stopped = f.bytesOf(file);
        QCOMPARE(f.prompter().texts().last(),
                 QStringLiteral("已停止：已处理2个文件，其余3个未处理。"));
        QVERIFY(stopped.contains("f2.jpg") && !stopped.contains("f3.jpg"));
        QVERIFY(full.startsWith(stopped));
        const QByteArray rest = full.mid(stopped.size());
        QVERIFY(rest.startsWith("\r\n"));
        QVERIFY(rest.mid(2, rest.indexOf('\n', 2) - 2).contains("f3.jpg"));
        QCOMPARE(finalState(), fullState);
        for (int i = 1; i <= Files; ++i)
            QCOMPARE(rowTexts(Batch::Rewrite, i), fullRows[i - 1]);
    }

    void clickDuringBatchIsHandled() {
        fresh(Batch::Apply);
        atRow(2, [&] {
            FileGridView *view = w().GridView;
            test::real::doubleClick(view->viewport(), view->visualRect(g().index(2, 0)).center());
            // The history would restore files under the running batch: it only beeps.
            test::real::click(w().CmdHistory);
        });
        run(Batch::Apply);
        // The handlers ran meanwhile and only beeped; the batch went on to its normal end.
        QCOMPARE(f.prompter().beeps, 2);
        QCOMPARE(w().FileCount, Files);
        for (int i = 1; i <= Files; ++i)
            QVERIFY(g().text(i, 5).startsWith(QStringLiteral("修改成功")));
        QCOMPARE(
            f.prompter().texts().last(),
            QStringLiteral("修改完毕！\r\n\r\n稍后须单击重置所有按钮后方能进行下一次新操作！"));
        QVERIFY(!stopButton()->isVisible());
    }

    // The folder is moved away during the apply and another put at its path, with files of the
    // same names: the batch goes on with the files it imported, the others keep their times.
    void applyKeepsToTheFolderItOpened() {
        fresh(Batch::Apply);
        QTemporaryDir elsewhere;
        const QString moved = elsewhere.filePath(QStringLiteral("moved"));
        // Read by path with the system's own call: ours, from inside the batch, would reach the
        // folder the batch holds.
        const auto times = [](const QString &path) {
            struct stat st {};
            if (::stat(QFile::encodeName(path).constData(), &st) != 0)
                return QString();
            return QStringLiteral("%1.%2|%3.%4")
                .arg(st.st_mtim.tv_sec)
                .arg(st.st_mtim.tv_nsec)
                .arg(st.st_atim.tv_sec)
                .arg(st.st_atim.tv_nsec);
        };
        QStringList impostors;
        atRow(2, [&] {
            QVERIFY(QDir().rename(f.folder.path(), moved));
            QVERIFY(QDir().mkpath(f.folder.path()));
            for (int i = 1; i <= Files; ++i) {
                QVERIFY(test::writeFile(f.path(nameOf(i)), "another file"));
                impostors << times(f.path(nameOf(i)));
            }
        });
        run(Batch::Apply);
        QCOMPARE(impostors.size(), Files);
        for (int i = 1; i <= Files; ++i) {
            QCOMPARE(times(f.path(nameOf(i))), impostors[i - 1]);
            QVERIFY(g().text(i, 5).startsWith(QStringLiteral("修改成功")));
            const FileTimes t = ReadFileTimes(moved + QLatin1Char('/') + nameOf(i)).value();
            QCOMPARE(t.lastWrite.toText(), g().text(i, 3));
        }
    }
};

QTEST_MAIN(BatchStopTest)
#include "batch_stop_test.moc"
