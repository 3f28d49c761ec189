#include "core/grid/file_grid.h"
#include "core/import/file_list.h"
#include "gui/plan/row_deletion.h"
#include "gui/plan/stages.h"
#include "gui/plan/step_range.h"
#include "gui/plan/time_fields.h"
#include "gui/window/features.h"
#include "gui/window/file_grid_view.h"
#include "gui/window/main_window.h"
#include "gui/window/up_down.h"
#include "tests/support/doubles.h"
#include "tests/support/real_input.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace kalmora;

namespace {

void setFields(std::initializer_list<QLineEdit *> fields,
               std::initializer_list<const char *> texts) {
    auto t = texts.begin();
    for (QLineEdit *f : fields)
        f->setText(QLatin1String(*t++));
}

} // namespace

class WindowPlanTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_folder;
    std::unique_ptr<test::TestServices> m_doubles;
    std::unique_ptr<Services> m_services;
    std::unique_ptr<FMainDate> m_window;

    FMainDate &w() { return *m_window; }
    test::ScriptedPrompter &prompter() { return m_doubles->prompter; }

    void setStart(const char *y, const char *mo, const char *d, const char *h, const char *mi,
                  const char *s) {
        setFields(
            {w().TStartY, w().TStartM, w().TStartD, w().TStartH, w().TStartMin, w().TStartSec},
            {y, mo, d, h, mi, s});
    }
    void setEnd(const char *y, const char *mo, const char *d, const char *h, const char *mi,
                const char *s) {
        setFields({w().TEndY, w().TEndM, w().TEndD, w().TEndH, w().TEndMin, w().TEndSec},
                  {y, mo, d, h, mi, s});
    }
    // A listed folder of n files as an import leaves it.
    void listFiles(int n, int rows = 0) {
        FileGrid &g = *w().VSFlexGrid1;
        g.setRows(rows ? rows : n + 1);
        for (int r = 1; r < g.rows(); ++r)
            for (int c = 0; c < FileGrid::Cols; ++c)
                g.setText(r, c, QString());
        for (int r = 1; r <= n; ++r)
            g.setText(r, 0, QStringLiteral("f%1.jpg").arg(r));
        w().state().filesListed(n);
        w().state().resetDone();
        w().LFilesCount->setText(QStringLiteral("目标文件数共%1个。").arg(n));
        w().CmdDelete->setEnabled(true);
        w().CmdReset->setEnabled(true);
        w().CmdFileDateMod->setEnabled(true);
        g.selectRow(1);
    }
    QStringList names() const {
        QStringList n;
        for (int r = 1; r < m_window->VSFlexGrid1->rows(); ++r)
            if (!m_window->VSFlexGrid1->text(r, 0).isEmpty())
                n << m_window->VSFlexGrid1->text(r, 0);
        return n;
    }
    void expectMessage(const QString &text, const QString &title) {
        QVERIFY2(!prompter().shown.isEmpty(), "no message shown");
        QCOMPARE(prompter().last().text, text);
        QCOMPARE(prompter().last().title, title);
        QCOMPARE(prompter().last().icon, MsgIcon::Information);
        QCOMPARE(prompter().last().buttons, MsgButtons::Ok);
    }

private slots:
    void init() {
        m_doubles = std::make_unique<test::TestServices>();
        m_doubles->clock.time = DateTime(2011, 1, 1, 9, 0, 0);
        m_services = std::make_unique<Services>(m_doubles->services());
        AppValues values;
        values.WorkFolder = m_folder.path();
        m_window = std::make_unique<FMainDate>(*m_services, values);
    }
    void cleanup() { m_window.reset(); }

    // --- time-window fields ---

    void daysFollowTheMonth_data() {
        QTest::addColumn<QString>("year");
        QTest::addColumn<QString>("month");
        QTest::addColumn<QString>("day");
        QTest::addColumn<QString>("dayAfter");
        QTest::addColumn<int>("lastDay");
        QTest::newRow("February 2012 is leap") << "2012"
                                               << "02"
                                               << "31"
                                               << "29" << 29;
        QTest::newRow("February 2011") << "2011"
                                       << "02"
                                       << "31"
                                       << "28" << 28;
        QTest::newRow("2100 is not leap") << "2100"
                                          << "02"
                                          << "31"
                                          << "28" << 28;
        QTest::newRow("2000 is leap") << "2000"
                                      << "02"
                                      << "31"
                                      << "29" << 29;
        QTest::newRow("April has 30") << "2011"
                                      << "04"
                                      << "31"
                                      << "30" << 30;
        QTest::newRow("July keeps 31") << "2011"
                                       << "07"
                                       << "31"
                                       << "31" << 31;
        QTest::newRow("a small day stays") << "2011"
                                           << "02"
                                           << "05"
                                           << "05" << 28;
    }
    void daysFollowTheMonth() {
        QFETCH(QString, year);
        QFETCH(QString, month);
        QFETCH(QString, day);
        QFETCH(QString, dayAfter);
        QFETCH(int, lastDay);
        for (bool start : {true, false}) {
            QLineEdit *y = start ? w().TStartY : w().TEndY;
            QLineEdit *m = start ? w().TStartM : w().TEndM;
            QLineEdit *d = start ? w().TStartD : w().TEndD;
            UpDown *spinner = start ? w().UpDownDayS : w().UpDownDayE;
            m->setText(QStringLiteral("01"));
            d->setText(day);
            y->setText(year);
            m->setText(month);
            QCOMPARE(d->text(), dayAfter);
            QCOMPARE(spinner->max(), lastDay);
            // The spinner stops at the month's last day.
            d->setText(QString::number(lastDay - 1));
            spinner->stepUp();
            spinner->stepUp();
            QCOMPARE(d->text(), QString::number(lastDay));
        }
    }

    void yearChangePullsTheLeapDayDown() {
        setStart("2012", "02", "29", "08", "00", "00");
        QCOMPARE(w().TStartD->text(), QStringLiteral("29"));
        w().TStartY->setText(QStringLiteral("2013"));
        QCOMPARE(w().TStartD->text(), QStringLiteral("28"));
        QCOMPARE(w().UpDownYE->min(), 2013);
        w().TEndY->setText(QStringLiteral("2050"));
        QCOMPARE(w().UpDownYS->min(), 2000); // the end year never moves the start spinner
    }

    void canonicalTwoDigits() {
        w().TStartM->setText(QStringLiteral("5"));
        QCOMPARE(w().TStartM->text(), QStringLiteral("05"));
        w().UpDownMinS->stepUp();
        QCOMPARE(w().TStartMin->text(), QStringLiteral("01"));
        w().TBreakS->setText(QStringLiteral("7"));
        QCOMPARE(w().TBreakS->text(), QStringLiteral("07"));
        w().TStartY->setText(QStringLiteral("2011"));
        QCOMPARE(w().TStartY->text(), QStringLiteral("2011"));
    }

    void startHourPushesEndHourAndDuty() {
        QCOMPARE(w().TEndH->text(), QStringLiteral("18"));
        w().TStartH->setText(QStringLiteral("20"));
        QCOMPARE(w().TEndH->text(), QStringLiteral("20"));
        QCOMPARE(w().TOnDutyH->text(), QStringLiteral("20"));
        QCOMPARE(w().TOffDutyH->text(), QStringLiteral("20"));
        QCOMPARE(w().UpDownOnDutyH->min(), 20);
        QCOMPARE(w().UpDownoffDutyH->max(), 20);
        w().TEndH->setText(QStringLiteral("07"));
        QCOMPARE(w().TStartH->text(), QStringLiteral("07"));
    }

    void randomBoundsCouple() {
        w().TStepS->setText(QStringLiteral("297"));
        QCOMPARE(w().UpDownTStepE->min(), 298);
        w().TStepS->setText(QStringLiteral("20"));
        QCOMPARE(w().UpDownTStepE->min(), 22);
        w().TStepE->setText(QStringLiteral("5"));
        QCOMPARE(w().UpDownTStepS->max(), 1);
        w().TStepE->setText(QStringLiteral("90"));
        QCOMPARE(w().UpDownTStepS->max(), 80);
    }

    void keysInFields() {
        w().show();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        // Date and time fields change only through their spinners.
        test::real::click(w().TStartD);
        const QString day = w().TStartD->text();
        test::real::type(QStringLiteral("5a"));
        test::real::key(Qt::Key_Delete); // X11 gives it the text U+007F
        QCOMPARE(w().TStartD->text(), day);
        QCOMPARE(prompter().beeps, 3);
        // Step fields take digits and Backspace only, typed or from an input method.
        test::real::click(w().TStepS);
        QTRY_COMPARE(w().TStepS->selectedText(), QStringLiteral("10"));
        test::real::type(QStringLiteral("x"));
        QCOMPARE(w().TStepS->text(), QStringLiteral("10"));
        QCOMPARE(prompter().beeps, 4);
        test::real::type(QStringLiteral("25"));
        QCOMPARE(w().TStepS->text(), QStringLiteral("25"));
        test::real::key(Qt::Key_Backspace);
        QCOMPARE(w().TStepS->text(), QStringLiteral("2"));
        test::real::key(Qt::Key_4, Qt::KeypadModifier);
        QCOMPARE(w().TStepS->text(), QStringLiteral("24"));
        QCOMPARE(prompter().beeps, 4);
        test::real::key(Qt::Key_Home);
        test::real::key(Qt::Key_Delete);
        QCOMPARE(w().TStepS->text(), QStringLiteral("24"));
        QCOMPARE(prompter().beeps, 5);
        test::real::key(Qt::Key_End);
        test::real::commit(QStringLiteral("x"));
        QCOMPARE(w().TStepS->text(), QStringLiteral("24"));
        QCOMPARE(prompter().beeps, 6);
        test::real::commit(QStringLiteral("中文"), QStringLiteral("zhongwen"));
        QCOMPARE(w().TStepS->text(), QStringLiteral("24"));
        QCOMPARE(prompter().beeps, 7);
        test::real::key(Qt::Key_Backspace);
        test::real::commit(QStringLiteral("5六"));
        QCOMPARE(w().TStepS->text(), QStringLiteral("25"));
        QCOMPARE(prompter().beeps, 8);
        test::real::commit(QStringLiteral("7"));
        QCOMPARE(w().TStepS->text(), QStringLiteral("257"));
        QCOMPARE(prompter().beeps, 8);
    }

    void stepOutOfRangeIsRefused_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("designText");
        QTest::addColumn<QString>("leaving"); // how the focus leaves the field
        QTest::newRow("TStep 0, Tab") << "TStep"
                                      << "0"
                                      << "1"
                                      << "Tab";
        QTest::newRow("TStep 0, to another program") << "TStep"
                                                     << "0"
                                                     << "1"
                                                     << "another program";
        QTest::newRow("TStep 0, the apply's shortcut") << "TStep"
                                                       << "0"
                                                       << "1"
                                                       << "Alt+M";
        QTest::newRow("TStep 301, Tab") << "TStep"
                                        << "301"
                                        << "1"
                                        << "Tab";
        QTest::newRow("TStepS empty, to another program") << "TStepS"
                                                          << ""
                                                          << "10"
                                                          << "another program";
        QTest::newRow("TStepE 999, a click elsewhere") << "TStepE"
                                                       << "999"
                                                       << "90"
                                                       << "click";
    }
    void stepOutOfRangeIsRefused() {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, designText);
        QFETCH(QString, leaving);
        auto *f = w().findChild<QLineEdit *>(field);
        w().show();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        w().CmdFileDateMod->setEnabled(true);
        QSignalSpy applyPressed(w().CmdFileDateMod, &QPushButton::pressed);
        test::real::click(f);
        QTRY_VERIFY(f->hasFocus());
        QTRY_COMPARE(f->selectedText(), f->text());
        test::real::key(Qt::Key_Backspace);
        test::real::type(typed);
        QCOMPARE(f->text(), typed);
        QVERIFY(prompter().shown.isEmpty());
        if (leaving == QLatin1String("Tab")) {
            test::real::key(Qt::Key_Tab);
        } else if (leaving == QLatin1String("click")) {
            w().TAuthor->setEnabled(true);
            test::real::click(w().TAuthor);
        } else if (leaving == QLatin1String("Alt+M")) {
            test::real::key(Qt::Key_M, Qt::AltModifier);
            QCOMPARE(applyPressed.count(), 0); // the apply never starts with a bad step
        } else {
            test::real::leaveForAnotherApplication();
            QCOMPARE(f->text(), designText); // checked before the user is back
            test::real::returnFromAnotherApplication(&w());
        }
        expectMessage(QStringLiteral("范围：1—300，请在此区间指定。"), QStringLiteral("提醒"));
        QCOMPARE(prompter().shown.size(), 1);
        QCOMPARE(f->text(), designText);
        QTRY_VERIFY(f->hasFocus());
        QCOMPARE(f->selectedText(), designText);
    }

    void stepInRangeLeavesQuietly() {
        w().show();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        w().TStep->setFocus();
        QTRY_VERIFY(w().TStep->hasFocus());
        w().TStep->setText(QStringLiteral("300"));
        w().CmdClear->setFocus(Qt::TabFocusReason);
        QVERIFY(prompter().shown.isEmpty());
        QCOMPARE(w().TStep->text(), QStringLiteral("300"));
    }

    // --- stages ---

    void equalWindowIsRefused() {
        setStart("2011", "01", "01", "00", "00", "00");
        setEnd("2011", "01", "01", "00", "00", "00");
        w().CmdTimeZone->click();
        expectMessage(QStringLiteral("结束时间小于起始时间，请检查后重新指定！"),
                      QStringLiteral("警告"));
        QCOMPARE(w().CmdTimeZone->text(), QStringLiteral("设定时间区间"));
        QVERIFY(!w().CmdInput->isEnabled());
        QVERIFY(w().Frame3->isEnabled());
    }

    void windowStageTogglesAndEnablesImport() {
        w().show();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        w().CmdTimeZone->click();
        QCOMPARE(w().CmdTimeZone->text(), QStringLiteral("修改时间区间"));
        QCOMPARE(FMainDate::tag(w().CmdTimeZone), QStringLiteral("-1"));
        QVERIFY(!w().Frame3->isEnabled());
        QVERIFY(w().CmdNow->isEnabled());
        QVERIFY(w().CmdInput->isEnabled());
        QVERIFY(!w().CmdTimeOnOffDuty->isEnabled());
        // The duty frame is locked without working hours: its hour is selected, not focused.
        QCOMPARE(w().TOnDutyH->selectedText(), QStringLiteral("08"));

        w().CmdTimeZone->click();
        QCOMPARE(w().CmdTimeZone->text(), QStringLiteral("设定时间区间"));
        QCOMPARE(FMainDate::tag(w().CmdTimeZone), QStringLiteral("1"));
        QVERIFY(w().Frame3->isEnabled());
        QVERIFY(!w().CmdNow->isEnabled());
        QVERIFY(!w().CmdInput->isEnabled());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w().TStartH));
        QCOMPARE(w().TStartH->selectedText(), QStringLiteral("08"));
    }

    void importRule_data() {
        QTest::addColumn<bool>("workTime");
        QTest::addColumn<bool>("breakCounted");
        QTest::addColumn<int>("fixedStages"); // 0 none, 1 window, 2 + duty, 3 + break
        QTest::addColumn<bool>("input");
        QTest::newRow("no working hours, window open") << false << true << 0 << false;
        QTest::newRow("no working hours, window fixed") << false << true << 1 << true;
        QTest::newRow("working hours, duty open") << true << true << 1 << false;
        QTest::newRow("working hours fixed, break counted") << true << true << 2 << true;
        QTest::newRow("break skipped, break open") << true << false << 2 << false;
        QTest::newRow("break skipped, break fixed") << true << false << 3 << true;
    }
    void importRule() {
        QFETCH(bool, workTime);
        QFETCH(bool, breakCounted);
        QFETCH(int, fixedStages);
        QFETCH(bool, input);
        w().ChOnWorkTime->setChecked(workTime);
        w().ChExclude->setChecked(breakCounted);
        if (fixedStages >= 1)
            w().CmdTimeZone->click();
        if (fixedStages >= 2) {
            QVERIFY(w().CmdTimeOnOffDuty->isEnabled());
            w().CmdTimeOnOffDuty->click();
            QCOMPARE(w().CmdTimeOnOffDuty->text(), QStringLiteral("修改上下班时间"));
            QCOMPARE(w().CmdWordBreakTime->isEnabled(), !breakCounted);
            QCOMPARE(w().Frame2->isEnabled(), !breakCounted);
        }
        if (fixedStages >= 3) {
            w().CmdWordBreakTime->click();
            QCOMPARE(w().CmdWordBreakTime->text(), QStringLiteral("修改午休时间"));
            QVERIFY(w().CmdResetB->isEnabled());
            QVERIFY(!w().Frame2->isEnabled());
        }
        QVERIFY(prompter().shown.isEmpty());
        QCOMPARE(w().CmdInput->isEnabled(), input);
    }

    void dutyValidations_data() {
        QTest::addColumn<QStringList>("start"); // hour, minute, second of the window start
        QTest::addColumn<QStringList>("end");
        QTest::addColumn<QStringList>("onDuty");
        QTest::addColumn<QStringList>("offDuty");
        QTest::addColumn<QString>("message");
        QTest::newRow("on-duty equals off-duty")
            << QStringList{"08", "00", "00"} << QStringList{"18", "00", "00"}
            << QStringList{"08", "00", "00"} << QStringList{"08", "00", "00"}
            << "上班时间晚于下班时间，请检查后重新指定！";
        QTest::newRow("window starts after on-duty")
            << QStringList{"09", "00", "00"} << QStringList{"18", "00", "00"}
            << QStringList{"08", "00", "00"} << QStringList{"18", "00", "00"}
            << "上班时间不应早于起止起始时间，请检查后重新指定！";
        QTest::newRow("window ends before off-duty, by minutes")
            << QStringList{"08", "00", "00"} << QStringList{"17", "30", "00"}
            << QStringList{"08", "00", "00"} << QStringList{"18", "00", "00"}
            << "下班时间不应晚于起止结束时间，请检查后重新指定！";
        QTest::newRow("equal times pass")
            << QStringList{"08", "00", "00"} << QStringList{"18", "00", "00"}
            << QStringList{"08", "00", "00"} << QStringList{"18", "00", "00"} << "";
    }
    void dutyValidations() {
        QFETCH(QStringList, start);
        QFETCH(QStringList, end);
        QFETCH(QStringList, onDuty);
        QFETCH(QStringList, offDuty);
        QFETCH(QString, message);
        setStart("2011", "01", "01", "08", "00", "00");
        setEnd("2011", "01", "03", "18", "00", "00");
        w().TStartH->setText(start[0]);
        w().TStartMin->setText(start[1]);
        w().TEndH->setText(end[0]);
        w().TEndMin->setText(end[1]);
        w().ChOnWorkTime->setChecked(true);
        w().CmdTimeZone->click();
        // The window hours are copied into the duty hours; put the duty under test back.
        w().Frame4->setEnabled(true);
        setFields({w().TOnDutyH, w().TOnDutyM, w().TOnDutyS},
                  {qPrintable(onDuty[0]), qPrintable(onDuty[1]), qPrintable(onDuty[2])});
        setFields({w().TOffDutyH, w().TOffDutyM, w().TOffDutyS},
                  {qPrintable(offDuty[0]), qPrintable(offDuty[1]), qPrintable(offDuty[2])});
        w().TOnDutyH->setText(onDuty[0]);
        w().CmdTimeOnOffDuty->click();
        if (message.isEmpty()) {
            QVERIFY(prompter().shown.isEmpty());
            QCOMPARE(w().CmdTimeOnOffDuty->text(), QStringLiteral("修改上下班时间"));
            QVERIFY(!w().Frame4->isEnabled());
            QVERIFY(w().CmdResetWork->isEnabled());
        } else {
            expectMessage(message, QStringLiteral("警告"));
            QCOMPARE(w().CmdTimeOnOffDuty->text(), QStringLiteral("设定上下班时间"));
            QVERIFY(w().Frame4->isEnabled());
        }
    }

    void equalBreakIsRefused() {
        w().ChOnWorkTime->setChecked(true);
        w().ChExclude->setChecked(false);
        w().CmdTimeZone->click();
        w().CmdTimeOnOffDuty->click();
        setFields({w().TBreakH, w().TEBreakH}, {"13", "13"});
        w().CmdWordBreakTime->click();
        expectMessage(QStringLiteral("午休结束时间早于午休开始时间，请检查后重新指定！"),
                      QStringLiteral("警告"));
        QCOMPARE(w().CmdWordBreakTime->text(), QStringLiteral("设定午休时间"));
        QVERIFY(!w().CmdInput->isEnabled());
    }

    void reopeningDutyLocksTheLaterStages() {
        w().ChOnWorkTime->setChecked(true);
        w().ChExclude->setChecked(false);
        w().CmdTimeZone->click();
        w().CmdTimeOnOffDuty->click();
        w().CmdWordBreakTime->click();
        QVERIFY(w().CmdInput->isEnabled());
        w().CmdTimeOnOffDuty->click();
        QCOMPARE(w().CmdTimeOnOffDuty->text(), QStringLiteral("设定上下班时间"));
        for (QWidget *c : std::initializer_list<QWidget *>{
                 w().CmdWordBreakTime, w().Frame2, w().CmdResetWork, w().CmdResetB, w().CmdInput})
            QVERIFY2(!c->isEnabled(), qPrintable(c->objectName()));
        QVERIFY(w().Frame4->isEnabled());
    }

    void guardBeepsWithoutActing_data() {
        QTest::addColumn<QString>("situation");
        QTest::newRow("rename mode") << "rename";
        QTest::newRow("busy") << "busy";
        QTest::newRow("applied, not reset") << "applied";
        QTest::newRow("current-row mode (window only)") << "option3";
        QTest::newRow("video in file-time mode (window only)") << "video";
    }
    void guardBeepsWithoutActing() {
        QFETCH(QString, situation);
        if (situation == QLatin1String("rename"))
            w().OptRename->setChecked(true);
        else if (situation == QLatin1String("busy"))
            w().state().workStarted();
        else if (situation == QLatin1String("applied")) {
            w().CmdReset->setEnabled(true);
            w().state().batchClosed();
        } else if (situation == QLatin1String("option3"))
            w().Option3->setChecked(true);
        else
            w().ChPgDn->setChecked(true);
        const int before = prompter().beeps;
        w().CmdTimeZone->click();
        QCOMPARE(prompter().beeps, before + 1);
        QCOMPARE(w().CmdTimeZone->text(), QStringLiteral("设定时间区间"));
        w().TOnDutyH->setText(QStringLiteral("10"));
        w().CmdResetWork->setEnabled(true);
        w().CmdResetWork->click();
        const bool windowOnly =
            situation == QLatin1String("option3") || situation == QLatin1String("video");
        QCOMPARE(w().TOnDutyH->text(), windowOnly ? QStringLiteral("08") : QStringLiteral("10"));
        QCOMPARE(prompter().beeps, before + (windowOnly ? 1 : 2));
        QVERIFY(prompter().shown.isEmpty());
    }

    void resetButtons() {
        w().ChOnWorkTime->setChecked(true);
        w().ChExclude->setChecked(false);
        w().CmdTimeZone->click();
        w().CmdTimeOnOffDuty->click();
        w().CmdWordBreakTime->click();
        w().Frame4->setEnabled(true);
        setFields({w().TOnDutyH, w().TOnDutyM, w().TOffDutyH}, {"09", "30", "17"});
        w().CmdResetWork->setEnabled(true);
        w().CmdResetWork->click();
        QCOMPARE((QStringList{w().TOnDutyH->text(), w().TOnDutyM->text(), w().TOnDutyS->text(),
                              w().TOffDutyH->text(), w().TOffDutyM->text(), w().TOffDutyS->text()}),
                 (QStringList{"08", "00", "00", "18", "00", "00"}));
        QCOMPARE(w().CmdTimeOnOffDuty->text(), QStringLiteral("设定上下班时间"));
        QCOMPARE(w().CmdWordBreakTime->text(), QStringLiteral("设定午休时间"));
        QVERIFY(w().Frame4->isEnabled());
        QVERIFY(!w().Frame2->isEnabled());
        QCOMPARE(w().UpDownoffDutyH->min(), 8);

        setFields({w().TBreakH, w().TEBreakM}, {"13", "30"});
        w().CmdResetB->setEnabled(true);
        w().CmdResetB->click();
        QCOMPARE((QStringList{w().TBreakH->text(), w().TBreakM->text(), w().TBreakS->text(),
                              w().TEBreakH->text(), w().TEBreakM->text(), w().TEBreakS->text()}),
                 (QStringList{"12", "00", "00", "14", "00", "00"}));
        QVERIFY(w().Frame2->isEnabled());
        QVERIFY(!w().CmdInput->isEnabled());
        QVERIFY(!w().CmdResetB->isEnabled());
        QCOMPARE(w().UpDownEBreakH->min(), 12);
    }

    void nowRestoresTheDefaultWindow() {
        m_doubles->clock.time = DateTime(2012, 2, 28, 15, 0, 0);
        w().CmdTimeZone->click();
        w().CmdNow->click();
        QCOMPARE((QStringList{w().TStartY->text(), w().TStartM->text(), w().TStartD->text(),
                              w().TStartH->text(), w().TEndY->text(), w().TEndM->text(),
                              w().TEndD->text(), w().TEndH->text()}),
                 (QStringList{"2012", "02", "28", "08", "2012", "02", "29", "18"}));
        QCOMPARE(w().CmdTimeZone->text(), QStringLiteral("设定时间区间"));
        QVERIFY(w().Frame3->isEnabled());
        QVERIFY(!w().CmdInput->isEnabled());
        QCOMPARE(w().UpDownYE->min(), 2012);
        QCOMPARE(w().TOnDutyH->text(), QStringLiteral("08"));
        QCOMPARE(w().TOffDutyH->text(), QStringLiteral("18"));
    }

    void switchesLeaveTheBreakCounted() {
        w().ChOnWorkTime->setChecked(true);
        QVERIFY(w().ChExclude->isEnabled());
        w().ChExclude->setChecked(false);
        QVERIFY(w().Frame2->isEnabled());
        w().ChOnWorkTime->setChecked(false);
        QVERIFY(w().ChExclude->isChecked());
        QVERIFY(!w().ChExclude->isEnabled());
        QVERIFY(!w().Frame2->isEnabled());
        QVERIFY(!w().CmdTimeOnOffDuty->isEnabled());
    }

    void onDutyHourPushesTheBreak() {
        w().Frame4->setEnabled(true);
        w().TOnDutyH->setText(QStringLiteral("13"));
        QCOMPARE(w().TBreakH->text(), QStringLiteral("13"));
        QCOMPARE(w().UpDownBreakH->min(), 14);
        QCOMPARE(w().UpDownEBreakH->min(), 14);
        w().TOffDutyH->setText(QStringLiteral("13"));
        QCOMPARE(w().TEBreakH->text(), QStringLiteral("13"));
        QCOMPARE(w().UpDownBreakH->max(), 12);
        w().TBreakH->setText(QStringLiteral("15"));
        QCOMPARE(w().TEBreakH->text(), QStringLiteral("15"));
        w().TEBreakH->setText(QStringLiteral("11"));
        QCOMPARE(w().TBreakH->text(), QStringLiteral("11"));
    }

    // --- step range ---

    void stepRangeFollowsTheList_data() {
        QTest::addColumn<int>("files");
        QTest::addColumn<QStringList>("end");   // the window starts 2011-01-01 00:00:00
        QTest::addColumn<QList<int>>("maxima"); // TStep, TStepS, TStepE
        QTest::addColumn<QStringList>("texts"); // TStepS, TStepE after
        QTest::newRow("100 files in 1000 minutes")
            << 100 << QStringList{"2011", "01", "01", "16", "40", "00"} << QList<int>{10, 1, 10}
            << QStringList{"1", "10"};
        QTest::newRow("2 files in a day") << 2 << QStringList{"2011", "01", "02", "00", "00", "00"}
                                          << QList<int>{300, 290, 300} << QStringList{"10", "90"};
        QTest::newRow("5 files in 4 minutes")
            << 5 << QStringList{"2011", "01", "01", "00", "04", "00"} << QList<int>{1, 1, 1}
            << QStringList{"10", "90"};
    }
    void stepRangeFollowsTheList() {
        QFETCH(int, files);
        QFETCH(QStringList, end);
        QFETCH(QList<int>, maxima);
        QFETCH(QStringList, texts);
        setStart("2011", "01", "01", "00", "00", "00");
        setEnd("2011", "01", "01", "23", "00", "00");
        setFields({w().TEndY, w().TEndM, w().TEndD, w().TEndH, w().TEndMin, w().TEndSec},
                  {qPrintable(end[0]), qPrintable(end[1]), qPrintable(end[2]), qPrintable(end[3]),
                   qPrintable(end[4]), qPrintable(end[5])});
        w().TStartH->setText(QStringLiteral("00"));
        listFiles(files);
        w().CmdReset->setEnabled(false);
        w().Option1->setChecked(true);
        QCOMPARE(
            (QList<int>{w().UpDownTStep->max(), w().UpDownTStepS->max(), w().UpDownTStepE->max()}),
            maxima);
        QCOMPARE((QStringList{w().TStepS->text(), w().TStepE->text()}), texts);
        QCOMPARE(w().TStep->text(), QStringLiteral("1"));
        const bool refused = maxima[0] == 1;
        QCOMPARE(w().CmdFileDateMod->isEnabled(), !refused);
        if (refused) {
            expectMessage(QStringLiteral("时间区间间隔过小，稍后请重新指定以扩大区间；\r\n"
                                         "然后需重新导入以刷新。"),
                          QStringLiteral("消息"));
            QCOMPARE(w().UpDownTStepE->min(), 1);
        } else {
            QVERIFY(prompter().shown.isEmpty());
        }
    }

    void unitOptions() {
        w().OptSec->setChecked(true);
        QCOMPARE(w().Label19->text(), QStringLiteral("秒。"));
        QCOMPARE(w().Label21->text(), QStringLiteral("秒。"));
        w().OptMin->setChecked(true);
        QCOMPARE(w().Label19->text(), QStringLiteral("分钟。"));
        // After an apply the options change nothing until a reset.
        listFiles(3);
        w().CmdFileDateMod->setEnabled(false);
        w().OptSec->setChecked(true);
        QCOMPARE(w().Label19->text(), QStringLiteral("分钟。"));
    }

    void stepOptionsSetTheSwitches() {
        w().CheckAll->setEnabled(true);
        w().CheckAll->setChecked(true);
        w().ChPgDn->setChecked(true);
        w().Frame1->setEnabled(false);
        w().Option1->setChecked(true);
        QVERIFY(!w().CheckAll->isChecked());
        QVERIFY(!w().CheckAll->isEnabled());
        QVERIFY(!w().ChOnWorkTime->isEnabled());
        QVERIFY(w().Frame1->isEnabled());
        w().ChPgDn->setChecked(false);
        w().CmdTimeZone->click();
        w().Frame3->setEnabled(true);
        w().Option2->setChecked(true);
        QVERIFY(w().ChOnWorkTime->isEnabled());
        QVERIFY(!w().Frame3->isEnabled());
    }

    // --- deletion ---

    void deleteSelectedRowsFromTheBottomUp() {
        listFiles(40);
        FileGrid &g = *w().VSFlexGrid1;
        g.select(3, 0, 5, 7);
        w().CmdDelete->click();
        QCOMPARE(w().FileCount, 37);
        QCOMPARE(g.rows(), 38);
        const QStringList left = names();
        QCOMPARE(left.mid(0, 3), (QStringList{"f1.jpg", "f2.jpg", "f6.jpg"}));
        QVERIFY(!left.contains(QStringLiteral("f3.jpg")) &&
                !left.contains(QStringLiteral("f5.jpg")));
        QCOMPARE(w().LFilesCount->text(),
                 QStringLiteral("目标文件数共40个。现在还剩37个接受修改。"));
    }

    void gridNeverShrinksBelow31Rows() {
        listFiles(10, 31);
        FileGrid &g = *w().VSFlexGrid1;
        g.selectRow(4);
        w().CmdDelete->click();
        QCOMPARE(g.rows(), 31);
        QCOMPARE(w().FileCount, 9);
        QCOMPARE(names().size(), 9);
        // A selection running into the blank rows removes files only.
        g.select(8, 0, 20, 7);
        w().CmdDelete->click();
        QCOMPARE(w().FileCount, 7);
        QCOMPARE(g.rows(), 31);
        g.selectRow(25);
        const int beeps = prompter().beeps;
        w().CmdDelete->click();
        QCOMPARE(prompter().beeps, beeps + 1);
        QCOMPARE(w().FileCount, 7);
    }

    void labelKeepsTheImportSentence() {
        listFiles(25);
        w().VSFlexGrid1->selectRow(2);
        w().CmdDelete->click();
        QCOMPARE(w().LFilesCount->text(),
                 QStringLiteral("目标文件数共25个。现在还剩24个接受修改。"));
        w().VSFlexGrid1->selectRow(2);
        w().CmdDelete->click();
        QCOMPARE(w().LFilesCount->text(),
                 QStringLiteral("目标文件数共25个。现在还剩23个接受修改。"));
        // Any reset shows the list's count again, the plain one too.
        w().show();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        QVERIFY(!w().ClearOnReset);
        test::real::click(w().CmdReset);
        QCOMPARE(w().FileCount, 0);
        QCOMPARE(w().LFilesCount->text(), w().countText());
        QCOMPARE(RowDeletion::remainingText(QStringLiteral("no sentence"), 4),
                 QStringLiteral("现在还剩4个接受修改。"));
    }

    void deletingTheLastFileKeepsTheLimits() {
        setStart("2011", "01", "01", "00", "00", "00");
        setEnd("2011", "01", "01", "16", "40", "00");
        w().TStartH->setText(QStringLiteral("00"));
        listFiles(2, 31);
        w().CmdReset->setEnabled(false);
        w().Option1->setChecked(true);
        QCOMPARE(w().UpDownTStep->max(), 300);
        w().VSFlexGrid1->select(1, 0, 2, 7);
        w().CmdDelete->click();
        QCOMPARE(w().FileCount, 0);
        QCOMPARE(w().UpDownTStep->max(), 300);
        QVERIFY(prompter().shown.isEmpty());
    }

    void doubleClick_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("exifCurrentRow");
        QTest::addColumn<int>("filesAfter");
        QTest::addColumn<QStringList>("opened");
        QTest::newRow("first row does nothing") << 1 << false << 5 << QStringList();
        QTest::newRow("another row is deleted") << 3 << false << 4 << QStringList();
        QTest::newRow("Exif current-row mode opens the file")
            << 3 << true << 5 << QStringList{QStringLiteral("file:%1/f3.jpg")};
        QTest::newRow("a blank row does nothing") << 8 << false << 5 << QStringList();
    }
    void doubleClick() {
        QFETCH(int, row);
        QFETCH(bool, exifCurrentRow);
        QFETCH(int, filesAfter);
        QFETCH(QStringList, opened);
        w().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w()));
        // The mode first: switching modes resets a listed folder.
        if (exifCurrentRow) {
            w().OptExif->setChecked(true);
            w().Option3->setChecked(true);
        }
        listFiles(5, 31);
        FileGridView *view = w().GridView;
        const QRect cell = view->visualRect(w().VSFlexGrid1->index(row - 1, 0));
        test::real::doubleClick(view->viewport(), cell.center());
        QCOMPARE(w().VSFlexGrid1->row(), std::min(row, w().VSFlexGrid1->rows() - 1));
        QCOMPARE(w().FileCount, filesAfter);
        QCOMPARE(names().size(), filesAfter);
        if (!opened.isEmpty())
            opened[0] = opened[0].arg(m_folder.path());
        QCOMPARE(m_doubles->desktop.opened, opened);
    }

    void doubleClickWhileBusyBeeps() {
        w().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w()));
        listFiles(5, 31);
        w().state().workStarted();
        FileGridView *view = w().GridView;
        test::real::doubleClick(view->viewport(),
                                view->visualRect(w().VSFlexGrid1->index(2, 0)).center());
        QCOMPARE(prompter().beeps, 1);
        QCOMPARE(w().FileCount, 5);
    }
};

QTEST_MAIN(WindowPlanTest)
#include "window_plan_test.moc"
