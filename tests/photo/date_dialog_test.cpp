#include "gui/window/date_stamps_dialog.h"
#include "gui/window/main_window.h"
#include "gui/window/photo_date_dialog.h"
#include "gui/window/up_down.h"
#include "tests/support/doubles.h"
#include "tests/support/real_input.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace kalmora;

class DateDialogTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<test::TestServices> doubles;
    std::unique_ptr<Services> services;
    std::unique_ptr<FPhotoDate> d;
    const QString now = QStringLiteral("2026-12-07 09:30:15"); // the fake clock's time

    void showActive() {
        d->show();
        QVERIFY(QTest::qWaitForWindowActive(d.get()));
    }

private slots:
    void init() {
        doubles = std::make_unique<test::TestServices>();
        services = std::make_unique<Services>(doubles->services());
        d = std::make_unique<FPhotoDate>(*services);
    }
    void cleanup() { d.reset(); }

    void startState() {
        QCOMPARE(d->windowTitle(), QStringLiteral("数码照片/视频拍摄时间修改设置"));
        QVERIFY(!d->ChNew->isChecked() && !d->TStart->isEnabled());
        QCOMPARE(d->TStart->text(), now);
        QVERIFY(d->Option1->isChecked() && d->OptDay->isChecked());
        QCOMPARE((QStringList{d->TStep->text(), d->TStepS->text(), d->TStepE->text(),
                              d->Label2->text(), d->Label3->text(), d->Frame1->title()}),
                 (QStringList{"3", "1", "10", "天。", "天。", "时间位移单位："}));
        QVERIFY(d->ChFor->isChecked() && !d->Chback->isChecked());
        QCOMPARE(FMainDate::tag(d->CmdCancel), QStringLiteral("0"));
        QVERIFY(!d->dialogDone());
    }

    void unitTable_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("unitText");
        QTest::addColumn<QList<int>>("maxima");
        QTest::addColumn<QStringList>("amounts");
        QTest::newRow("years") << "OptYear" << QStringLiteral("年。") << QList<int>{10, 5, 10}
                               << QStringList{"1", "1", "5"};
        QTest::newRow("months") << "OptMon" << QStringLiteral("月。") << QList<int>{12, 6, 12}
                                << QStringList{"1", "1", "6"};
        QTest::newRow("days") << "OptDay" << QStringLiteral("天。") << QList<int>{30, 10, 30}
                              << QStringList{"5", "3", "10"};
        QTest::newRow("hours") << "OptHour" << QStringLiteral("小时。") << QList<int>{23, 10, 23}
                               << QStringList{"3", "1", "10"};
        QTest::newRow("minutes") << "OptMin" << QStringLiteral("分钟。") << QList<int>{59, 10, 59}
                                 << QStringList{"10", "5", "30"};
        QTest::newRow("seconds") << "OptSec" << QStringLiteral("秒。") << QList<int>{59, 10, 59}
                                 << QStringList{"10", "1", "30"};
    }
    void unitTable() {
        QFETCH(QString, option);
        QFETCH(QString, unitText);
        QFETCH(QList<int>, maxima);
        QFETCH(QStringList, amounts);
        (option == QLatin1String("OptYear") ? d->OptSec : d->OptYear)->click(); // a real change
        d->findChild<QRadioButton *>(option)->click();
        QCOMPARE(d->Label2->text(), unitText);
        QCOMPARE(d->Label3->text(), unitText);
        QCOMPARE((QList<int>{d->UpDownTStep->max(), d->UpDownTStepS->max(), d->UpDownTStepE->max(),
                             d->UpDownTStepE->min()}),
                 maxima + QList<int>{maxima[1]});
        QCOMPARE((QStringList{d->TStep->text(), d->TStepS->text(), d->TStepE->text()}), amounts);
    }

    void newStartAndOptions() {
        showActive();
        doubles->clock.time = DateTime(2027, 1, 2, 3, 4, 5);
        d->ChNew->click();
        QCOMPARE(d->Frame1->title(), QStringLiteral("时间递增单位："));
        QVERIFY(d->OptSec->isChecked());
        QCOMPARE(d->TStep->text(), QStringLiteral("10"));
        QVERIFY(d->ChFor->isChecked() && !d->ChFor->isEnabled());
        QVERIFY(d->TStart->isEnabled());
        QCOMPARE(d->TStart->selectedText(), QStringLiteral("2027-01-02 03:04:05"));
        QCOMPARE(QApplication::focusWidget(), d->TStart);

        d->Option2->click(); // a random shift has no new start
        QVERIFY(!d->ChNew->isChecked() && !d->ChNew->isEnabled());
        QCOMPARE(d->Frame1->title(), QStringLiteral("时间位移单位："));
        QVERIFY(d->OptDay->isChecked() && d->ChFor->isEnabled() && !d->TStart->isEnabled());
        d->Option1->click();
        QVERIFY(d->ChNew->isEnabled() && !d->ChNew->isChecked());

        d->ChFor->click();
        QVERIFY(d->Chback->isChecked());
        QVERIFY(!d->settings().earlier);
        d->Chback->click(); // no handler: the direction follows ChFor alone
        QVERIFY(!d->settings().earlier);
    }

    // Off at first; the choice of all three dates outlives the dialog.
    void allDatesRemembered() {
        QVERIFY(!d->ChAllDates->isChecked() && !d->settings().allDates);
        d->ChAllDates->click();
        QVERIFY(d->settings().allDates);
        d = std::make_unique<FPhotoDate>(*services);
        QVERIFY(d->ChAllDates->isChecked() && d->settings().allDates);
        d->ChAllDates->click();
        d = std::make_unique<FPhotoDate>(*services);
        QVERIFY(!d->ChAllDates->isChecked());
    }

    void startValidatedOnOk_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("1899 refused") << "1899-01-01 00:00:00" << false;
        QTest::newRow("one-digit month and hour accepted") << "2011-8-17 9:05:03" << true;
        QTest::newRow("the blank ninth refused") << "2011-8-7 9:05:03" << false;
    }
    void startValidatedOnOk() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        d->ChNew->click();
        d->TStart->setText(text);
        doubles->prompter.answer(MsgAnswer::Retry);
        d->CmdOk->click();
        if (valid) {
            QVERIFY(doubles->prompter.shown.isEmpty());
            QVERIFY(d->dialogDone() && !d->cancelled());
            QCOMPARE(d->settings().startText, text);
            return;
        }
        const Message &box = doubles->prompter.last();
        QCOMPARE(box.text, QStringLiteral("非法起始日期时间，请修正！样式及范围：\r\n"
                                          "1900-00-00 00:00:00—2200-00-00 00:00:00"));
        QCOMPARE(box.icon, MsgIcon::Critical);
        QCOMPARE(box.buttons, MsgButtons::RetryCancel);
        // Retry: the field is refilled and the dialog stays.
        QVERIFY(!d->dialogDone());
        QCOMPARE(d->TStart->selectedText(), now);
        // Cancel: the fixed shift is shown instead, for a second OK.
        d->TStart->setText(text);
        doubles->prompter.answer(MsgAnswer::Cancel);
        d->CmdOk->click();
        QVERIFY(!d->dialogDone() && d->Option1->isChecked() && !d->settings().newStart);
        d->CmdOk->click();
        QVERIFY(d->dialogDone() && !d->cancelled());
    }

    void okAfterCancelRunsWhatTheDialogShows() {
        showActive();
        test::real::click(d->ChNew);
        QVERIFY(d->ChNew->isChecked() && d->OptSec->isChecked());
        QCOMPARE(QApplication::focusWidget(), d->TStart);
        d->TStart->setText(QStringLiteral("2011-13-01 00:00:00"));
        doubles->prompter.answer(MsgAnswer::Cancel);
        test::real::click(d->CmdOk);
        QCOMPARE(doubles->prompter.shown.size(), 1);
        QVERIFY(doubles->prompter.last().text.startsWith(QStringLiteral("非法起始日期时间")));
        // Not gone with values the user never saw: the fixed shift is there to be looked at.
        QVERIFY(!d->dialogDone());
        QVERIFY(d->isVisible());
        QVERIFY(d->Option1->isChecked() && !d->ChNew->isChecked());
        QVERIFY(d->OptDay->isChecked() && d->ChFor->isChecked());
        QCOMPARE(d->TStep->text(), QStringLiteral("5"));
        test::real::click(d->CmdOk);
        QVERIFY(d->dialogDone() && !d->cancelled());
        const PhotoDateSettings s = d->settings();
        QVERIFY(!s.newStart && !s.randomShift && s.earlier);
        QCOMPARE(s.unit, ShiftUnit::Day);
        QCOMPARE(s.stepText, QStringLiteral("5"));
        QCOMPARE(doubles->prompter.shown.size(), 1);
    }

    void leavingTheStartFieldValidatesIt() {
        showActive();
        d->ChNew->click();
        d->TStart->setText(QStringLiteral("2011-13-01 00:00:00"));
        doubles->prompter.answer(MsgAnswer::Retry);
        d->TStep->setFocus(Qt::TabFocusReason);
        QCOMPARE(doubles->prompter.shown.size(), 1);
        QCOMPARE(QApplication::focusWidget(), d->TStart);
        d->TStep->setFocus(Qt::TabFocusReason); // now valid: no word
        QCOMPARE(QApplication::focusWidget(), d->TStep);
        QCOMPARE(doubles->prompter.shown.size(), 1);
    }

    void askRunsModally() {
        QTimer::singleShot(0, this, [] {
            auto *dialog = qobject_cast<FPhotoDate *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->OptHour->click();
            dialog->CmdOk->click();
        });
        const std::optional<PhotoDateSettings> s = FPhotoDate::ask(*services, nullptr);
        QVERIFY(s && s->unit == ShiftUnit::Hour);

        // Cancel, and the window's close button, give up.
        QTimer::singleShot(0, this, [] { QApplication::activeModalWidget()->close(); });
        QVERIFY(!FPhotoDate::ask(*services, nullptr));
        d->CmdCancel->click();
        QCOMPARE(FMainDate::tag(d->CmdCancel), QStringLiteral("1"));
        QVERIFY(d->dialogDone());
    }

    // The file-times question: the stamps chosen are remembered for the next time, the shift
    // is not; no stamp at all cannot be confirmed.
    void dateStampsChoiceRemembered() {
        QTimer::singleShot(0, this, [] {
            auto *dialog = qobject_cast<FDateStamps *>(QApplication::activeModalWidget());
            QVERIFY(dialog && dialog->ChModification->isChecked() && !dialog->TShiftH->isEnabled());
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            test::real::click(dialog->ChModification);
            QVERIFY(!dialog->CmdOk->isEnabled());
            test::real::click(dialog->ChCreation);
            test::real::click(dialog->ChShift);
            dialog->CmbShiftSign->setCurrentIndex(1); // 提前
            dialog->TShiftH->setValue(8);
            test::real::click(dialog->CmdOk);
        });
        const std::optional<DateStampsChoice> first = FDateStamps::ask(*services, nullptr);
        QVERIFY(first);
        QCOMPARE((QList<qint64>{first->creation, first->modification, first->access,
                                first->shiftSeconds}),
                 (QList<qint64>{1, 0, 0, -8 * 3600}));
        QTimer::singleShot(0, this, [] {
            auto *dialog = qobject_cast<FDateStamps *>(QApplication::activeModalWidget());
            QVERIFY(dialog && !dialog->ChShift->isChecked());
            dialog->CmdOk->click();
        });
        const std::optional<DateStampsChoice> second = FDateStamps::ask(*services, nullptr);
        QVERIFY(second && second->creation && !second->modification && second->shiftSeconds == 0);
    }
};

QTEST_MAIN(DateDialogTest)
#include "date_dialog_test.moc"
