#include "core/grid/file_grid.h"
#include "gui/plan/time_fields.h"
#include "gui/window/features.h"
#include "tests/support/files.h"
#include "tests/support/fuse_volume.h"
#include "tests/support/window_fixture.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSet>

#include <sys/stat.h>

using namespace kalmora;

namespace {
DateTime dt(const char *text) {
    return DateTime::parse(QLatin1String(text)).value();
}
} // namespace

class ApplyTest : public QObject {
    Q_OBJECT
private:
    test::WindowFixture f;
    FMainDate &w() { return f.w(); }
    FileGrid &g() { return *f.w().VSFlexGrid1; }

    void makeFiles(int n) {
        for (int i = 1; i <= n; ++i)
            f.makeFile(QStringLiteral("file %1.txt").arg(i), dt("2010-05-06 07:08:09"),
                       dt("2010-05-07 00:00:00"));
    }
    FileTimes onDisk(const QString &name) { return ReadFileTimes(f.path(name)).value(); }
    void select(QRadioButton *option) { option->setChecked(true); }
    int rowOf(const QString &name) {
        for (int r = 1; r < g().rows(); ++r)
            if (g().text(r, 0) == name)
                return r;
        return -1;
    }

private slots:
    void init() {
        f.folder.remove();
        QVERIFY(QDir().mkpath(f.folder.path()));
        f.open();
    }
    void cleanup() { f.window.reset(); }

    void plannedTimesReachEveryFile() {
        const int n = 300;
        makeFiles(n);
        f.setWindow(dt("2011-08-27 20:11:00"), dt("2011-08-28 23:00:00"));
        f.importFolder();
        w().Option1->setChecked(true);
        w().TStep->setText(QStringLiteral("3"));
        w().CmdFileDateMod->click();

        const TimeWindow window = w().features().timeFields->timeWindow();
        test::ScriptedRandom random;
        PlanState plan = StartPlan(window);
        for (int r = 1; r <= n; ++r) {
            const QString name = g().text(r, 0);
            const FileTimes t = onDisk(name);
            QCOMPARE(t.lastWrite, plan.cursor);
            QCOMPARE(t.lastAccess, plan.cursor);
            // The row shows what the file holds, and says whether creation could be set.
            QCOMPARE(g().text(r, 2), t.creation.toText());
            QCOMPARE(g().text(r, 3), t.lastWrite.toText());
            QCOMPARE(g().text(r, 4), t.lastAccess.toDateText());
            const QString expected = t.creation == plan.cursor
                                         ? QStringLiteral("修改成功")
                                         : QStringLiteral("修改成功(创建时间未改)");
            QCOMPARE(g().text(r, 5), expected);
            plan = NextPlannedTime(plan, window, random);
        }
        QCOMPARE(
            f.prompter().last().text,
            QStringLiteral("修改完毕！\r\n\r\n稍后须单击重置所有按钮后方能进行下一次新操作！"));
        // The applied state: only the reset leads on.
        QVERIFY(w().CmdReset->isEnabled());
        for (QWidget *c :
             std::initializer_list<QWidget *>{w().CmdFileDateMod, w().CmdDelete, w().Option3,
                                              w().CheckAll, w().Frame2, w().Frame5, w().ChPgDn})
            QVERIFY2(!c->isEnabled(), qPrintable(c->objectName()));
        QVERIFY(w().ClearOnReset);
        QVERIFY(!w().Busy && !w().ApplyRunning && !w().OperationRunning);
        QVERIFY(w().Option1->isChecked());
        QVERIFY(w().OptAll->isChecked());
    }

    // The hour the clocks skip: the grid shows what the disk holds, each file its own time, the
    // walk going on from 03:00:00 as the command line's plan does.
    void springForwardGapIsWalkedPast() {
        const QByteArray zoneBefore = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        const auto restore = qScopeGuard([&] { qputenv("TZ", zoneBefore); });
        makeFiles(10);
        f.setWindow(dt("2011-03-27 01:58:00"), dt("2011-03-28 23:00:00"));
        f.importFolder();
        w().OptSec->setChecked(true);
        w().Option1->setChecked(true);
        w().TStep->setText(QStringLiteral("20"));
        w().CmdFileDateMod->click();
        QStringList shown;
        for (int r = 1; r <= 10; ++r) {
            QCOMPARE(g().text(r, 5), QStringLiteral("修改成功(创建时间未改)"));
            QCOMPARE(g().text(r, 3), onDisk(g().text(r, 0)).lastWrite.toText());
            shown << g().text(r, 3);
        }
        QCOMPARE(shown.mid(5, 2), (QStringList{QStringLiteral("2011-03-27 01:59:40"),
                                               QStringLiteral("2011-03-27 03:00:00")}));
        QCOMPARE(QSet<QString>(shown.begin(), shown.end()).size(), 10);
    }

    // A FAT drive holds no odd second: asked once before any file changes. No (the default)
    // leaves every file; Yes writes what the drive holds, and the grid shows what it holds once
    // mounted afresh.
    void fatDriveAsksBeforeRounding_data() {
        QTest::addColumn<bool>("goOn");
        QTest::newRow("no") << false;
        QTest::newRow("yes") << true;
    }
    void fatDriveAsksBeforeRounding() {
        QFETCH(bool, goOn);
        test::FuseVolume fat(test::Drive::Fat);
        QString why;
        if (!fat.mount(&why))
            QSKIP(qPrintable(why));
        for (int i = 1; i <= 4; ++i)
            QVERIFY(test::writeFile(fat.path() + QStringLiteral("/f%1.txt").arg(i), "x"));
        f.setWindow(dt("2011-08-27 20:11:00"), dt("2011-08-28 23:00:00"));
        w().LDir->setText(fat.path());
        w().File1->setPattern(QStringLiteral("*.txt"));
        w().CmdTimeZone->click();
        w().CmdInput->click();
        w().OptSec->setChecked(true);
        w().Option1->setChecked(true);
        w().TStep->setText(QStringLiteral("7"));
        QStringList before;
        for (int r = 1; r <= 4; ++r)
            before << ReadFileTimes(fat.path() + u'/' + g().text(r, 0))->lastWrite.toText();
        f.prompter().shown.clear();
        if (goOn)
            f.prompter().answer(MsgAnswer::Yes);
        w().CmdFileDateMod->click();
        const QList<Message> &shown = f.prompter().shown;
        QVERIFY(!shown.isEmpty() && shown[0].text.contains(QStringLiteral("该磁盘（FAT）")));
        QCOMPARE(shown[0].defaultButton, std::optional(MsgAnswer::No));
        QVERIFY(fat.remount(&why));
        for (int r = 1; r <= 4; ++r) {
            const FileTimes held = ReadFileTimes(fat.path() + u'/' + g().text(r, 0)).value();
            if (!goOn) {
                QCOMPARE(held.lastWrite.toText(), before[r - 1]);
                continue;
            }
            QCOMPARE(g().text(r, 5), QStringLiteral("修改成功(创建时间未改)"));
            QCOMPARE(g().text(r, 3), held.lastWrite.toText());
            QCOMPARE(held.lastWrite.time().second() % 2, 0);
        }
        if (!goOn)
            QCOMPARE(shown.last().text, QStringLiteral("本次修改已取消，没有改动任何文件。"));
    }

    void optionsKeepTheOtherStamps_data() {
        QTest::addColumn<QString>("option");
        QTest::newRow("仅创建") << "OptCreate";
        QTest::newRow("仅修改") << "OptModTime";
        QTest::newRow("仅访问") << "OptAccessDate";
    }
    void optionsKeepTheOtherStamps() {
        QFETCH(QString, option);
        makeFiles(3);
        f.setWindow(dt("2012-02-29 10:00:00"), dt("2012-03-01 12:00:00"));
        f.importFolder();
        QMap<QString, FileTimes> before;
        for (int r = 1; r <= 3; ++r)
            before.insert(g().text(r, 0), onDisk(g().text(r, 0)));
        select(w().findChild<QRadioButton *>(option));
        w().Option1->setChecked(true);
        w().CmdFileDateMod->click();
        for (int r = 1; r <= 3; ++r) {
            const QString name = g().text(r, 0);
            const FileTimes was = before.value(name), now = onDisk(name);
            const DateTime planned = dt("2012-02-29 10:00:00").addMinutes(r - 1);
            QCOMPARE(now.lastWrite,
                     option == QLatin1String("OptModTime") ? planned : was.lastWrite);
            QCOMPARE(now.lastAccess,
                     option == QLatin1String("OptAccessDate") ? planned : was.lastAccess);
            QCOMPARE(now.creation, was.creation); // this file system keeps its birth time
            // Creation only, on a file system that keeps its birth time: nothing changed.
            QCOMPARE(g().text(r, 5), option == QLatin1String("OptCreate")
                                         ? QStringLiteral("修改失败")
                                         : QStringLiteral("修改成功"));
        }
    }

    void allRowsAlikeWithModificationOnly() {
        makeFiles(4);
        f.makeFile(QStringLiteral("file 2.txt"), dt("2009-01-02 03:04:05"),
                   dt("2009-02-03 04:05:06"));
        f.setWindow(dt("2011-08-27 20:11:00"), dt("2011-08-28 23:00:00"));
        f.importFolder();
        w().Option3->setChecked(true);
        w().CheckAll->setEnabled(true);
        w().CheckAll->setChecked(true);
        select(w().OptModTime);
        g().selectRow(rowOf(QStringLiteral("file 2.txt")));
        const DateTime keptCreation = onDisk(QStringLiteral("file 2.txt")).creation;
        w().CmdFileDateMod->click();
        for (int r = 1; r <= 4; ++r) {
            const FileTimes t = onDisk(g().text(r, 0));
            QCOMPARE(t.lastWrite, dt("2011-08-27 20:11:00"));
            // Kept stamps come from the current row's imported texts, for every file.
            QCOMPARE(t.lastAccess, dt("2009-02-03 04:05:06"));
            // The current row's creation time goes to every file too; a file born in another
            // second cannot take it on this file system, and its row says so.
            QCOMPARE(g().text(r, 5), t.creation == keptCreation
                                         ? QStringLiteral("修改成功")
                                         : QStringLiteral("修改成功(创建时间未改)"));
        }
        QVERIFY(w().ClearOnReset);
    }

    void currentRowOnly() {
        makeFiles(3);
        f.setWindow(dt("2011-08-27 00:00:00"), dt("2011-08-28 23:00:00"));
        f.importFolder();
        w().Option3->setChecked(true);
        select(w().OptModTime);
        g().selectRow(2);
        const QString name = g().text(2, 0);
        const FileTimes other = onDisk(g().text(3, 0));
        w().CmdFileDateMod->click();
        QCOMPARE(onDisk(name).lastWrite, dt("2011-08-27 00:00:00"));
        QCOMPARE(g().text(2, 3), QStringLiteral("2011-08-27 00:00:00")); // midnight shows 00:00:00
        QCOMPARE(g().text(2, 5), QStringLiteral("修改成功"));
        QCOMPARE(onDisk(g().text(3, 0)), other);
        QVERIFY(g().text(3, 5).isEmpty());
        QCOMPARE(f.prompter().last().text, QStringLiteral("修改完毕！"));
        // The window is not locked: only the mode frame stays off.
        QVERIFY(w().OperationRunning);
        QVERIFY(!w().Busy);
        QVERIFY(!w().Frame5->isEnabled());
        QVERIFY(!w().ClearOnReset);
    }

    void failuresLeaveTheFileAndSayWhy() {
        makeFiles(4);
        f.setWindow(dt("2011-08-27 20:11:00"), dt("2011-08-28 23:00:00"));
        f.importFolder();
        const QString readOnly = g().text(2, 0), gone = g().text(3, 0);
        QVERIFY(QFile::setPermissions(f.path(readOnly), QFile::ReadOwner | QFile::ReadGroup));
        const FileTimes readOnlyBefore = onDisk(readOnly);
        QVERIFY(QFile::remove(f.path(gone)));
        w().Option1->setChecked(true);
        w().CmdFileDateMod->click();
        QCOMPARE(g().text(2, 5), QStringLiteral("修改失败"));
        QCOMPARE(onDisk(readOnly), readOnlyBefore);
        QCOMPARE(g().text(3, 5), QStringLiteral("修改失败"));
        QVERIFY(!QFile::exists(f.path(gone))); // nothing created in its place
        QVERIFY(g().text(3, 2).isEmpty());
        QVERIFY(g().text(1, 5).startsWith(QStringLiteral("修改成功")));
        QVERIFY(g().text(4, 5).startsWith(QStringLiteral("修改成功")));
    }

    void keptStampThatIsNoDateStaysOnDisk() {
        makeFiles(2);
        f.setWindow(dt("2011-08-27 20:11:00"), dt("2011-08-28 23:00:00"));
        f.importFolder();
        const QString name = g().text(1, 0);
        const FileTimes before = onDisk(name);
        g().setText(1, 7, QString()); // the access text is gone
        select(w().OptModTime);
        w().Option1->setChecked(true);
        w().CmdFileDateMod->click();
        QCOMPARE(onDisk(name).lastAccess, before.lastAccess);
        QCOMPARE(onDisk(name).lastWrite, dt("2011-08-27 20:11:00"));
        QCOMPARE(g().text(1, 5), QStringLiteral("修改成功"));
    }

    void windowChecks_data() {
        QTest::addColumn<DateTime>("end");
        QTest::addColumn<bool>("random");
        QTest::addColumn<int>("answer"); // to the Yes/No warning; -1: none shown
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("applied");
        const QString small = QStringLiteral("起止时间差小于列表的文件数，请重新\r\n"
                                             "指定起止时间以扩大时间差后重试。");
        QTest::newRow("N x step equal to the span passes")
            << dt("2011-01-01 10:08:00") << false << -1 << "" << true;
        QTest::newRow("one second short")
            << dt("2011-01-01 10:07:59") << false << -1 << small << false;
        QTest::newRow("random: below N x lower")
            << dt("2011-01-01 10:07:59") << true << -1 << small << false;
        QTest::newRow("random: below N x upper, Yes re-specifies")
            << dt("2011-01-01 12:00:00") << true << int(MsgAnswer::Yes) << "" << false;
        QTest::newRow("random: below N x upper, No goes on")
            << dt("2011-01-01 12:00:00") << true << int(MsgAnswer::No) << "" << true;
    }
    void windowChecks() {
        QFETCH(DateTime, end);
        QFETCH(bool, random);
        QFETCH(int, answer);
        QFETCH(QString, message);
        QFETCH(bool, applied);
        makeFiles(4);
        f.setWindow(dt("2011-01-01 10:00:00"), end);
        f.importFolder();
        // The option first: it fits the step fields to the list, then the steps under test.
        if (random) {
            w().Option2->setChecked(true);
            w().TStepS->setText(QStringLiteral("2"));
            w().TStepE->setText(QStringLiteral("40"));
        } else {
            w().Option1->setChecked(true);
            w().TStep->setText(QStringLiteral("2"));
        }
        const int before = int(f.prompter().shown.size());
        if (answer >= 0)
            f.prompter().answer(MsgAnswer(answer));
        const QString first = g().text(1, 0);
        const FileTimes was = onDisk(first);
        w().CmdFileDateMod->click();
        if (!message.isEmpty())
            QCOMPARE(f.prompter().shown.value(before).text, message);
        if (answer >= 0)
            QCOMPARE(
                f.prompter().shown.value(before).text,
                QStringLiteral("起止时间差有可能小于列表的文件数，建议重新指定起止时间以扩大\r\n"
                               "时间差后重试，否则靠后的文件将有可能因超出上限而被放弃修改。"));
        QCOMPARE(w().ClearOnReset, applied);
        if (!applied) {
            QCOMPARE(onDisk(first), was);
            QVERIFY(w().CmdFileDateMod->isEnabled());
            QVERIFY(!w().Busy);
        }
    }

    void dutyCheckUsesTimesOfDay() {
        makeFiles(2);
        w().ChOnWorkTime->setChecked(true);
        f.setWindow(dt("2011-01-01 08:00:00"), dt("2011-01-05 18:00:00"));
        w().CmdTimeZone->click();
        w().CmdTimeOnOffDuty->click();
        f.importFolder();
        // A later start of day than on-duty is refused whatever the dates.
        w().TOnDutyH->setText(QStringLiteral("07"));
        w().Option1->setChecked(true);
        w().CmdFileDateMod->click();
        QCOMPARE(f.prompter().last().text,
                 QStringLiteral("上班时间应不早于起始时间，请检查后重新指定！"));
        QVERIFY(w().CmdFileDateMod->isEnabled());
    }

    void resetAfterApplyClearsTheGrid() {
        makeFiles(2);
        f.setWindow(dt("2011-08-27 20:11:00"), dt("2011-08-28 23:00:00"));
        f.importFolder();
        w().Option1->setChecked(true);
        w().CmdFileDateMod->click();
        QVERIFY(w().ClearOnReset);
        w().CmdReset->click();
        QCOMPARE(g().rows(), 11);
        QCOMPARE(g().text(0, 1), QStringLiteral("原创建时间"));
        for (int r = 1; r < 11; ++r)
            QVERIFY(g().text(r, 0).isEmpty());
        QCOMPARE(w().FileCount, 0);
        QVERIFY(!w().ClearOnReset);
        QCOMPARE((QStringList{w().TStep->text(), w().TStepS->text(), w().TStepE->text()}),
                 (QStringList{"1", "10", "90"}));
        QCOMPARE(w().CmdTimeZone->text(), QStringLiteral("设定时间区间"));
        QVERIFY(w().Frame5->isEnabled());
        QVERIFY(w().ChPgDn->isEnabled());
        // The time window has to be fixed again before the next import.
        QVERIFY(!w().CmdInput->isEnabled());
        QVERIFY(!w().CmdReset->isEnabled());
    }
};

QTEST_MAIN(ApplyTest)
#include "apply_test.moc"
