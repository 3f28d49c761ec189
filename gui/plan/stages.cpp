#include "gui/plan/stages.h"

#include "gui/plan/step_range.h"
#include "gui/plan/time_fields.h"
#include "gui/window/features.h"
#include "gui/window/main_window.h"
#include "gui/window/up_down.h"

#include <QCheckBox>
#include <QDate>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace kalmora {

namespace {

struct StageCaptions {
    const char *open;
    const char *fixed;
};

} // namespace

Stages::Stages(FMainDate &window) : QObject(&window), w(window) {
    connect(w.CmdTimeZone, &QPushButton::clicked, this, &Stages::timeZoneClicked);
    connect(w.CmdTimeOnOffDuty, &QPushButton::clicked, this, &Stages::onOffDutyClicked);
    connect(w.CmdWordBreakTime, &QPushButton::clicked, this, &Stages::breakClicked);
    connect(w.CmdResetWork, &QPushButton::clicked, this, [this] { resetWorkClicked(); });
    connect(w.CmdResetB, &QPushButton::clicked, this, [this] { resetBreakClicked(); });
    connect(w.CmdNow, &QPushButton::clicked, this, &Stages::nowClicked);
    connect(w.ChOnWorkTime, &QCheckBox::toggled, this, &Stages::workTimeClicked);
    connect(w.ChExclude, &QCheckBox::toggled, this, &Stages::excludeClicked);
}

bool Stages::isFixed(const QPushButton *stage) {
    return FMainDate::tag(stage) == QLatin1String("-1");
}

void Stages::setStage(QPushButton *stage, bool fixed) {
    static const QHash<QString, StageCaptions> captions = {
        {QStringLiteral("CmdTimeZone"), {"设定时间区间", "修改时间区间"}},
        {QStringLiteral("CmdTimeOnOffDuty"), {"设定上下班时间", "修改上下班时间"}},
        {QStringLiteral("CmdWordBreakTime"), {"设定午休时间", "修改午休时间"}},
    };
    const StageCaptions c = captions.value(stage->objectName());
    stage->setText(QString::fromUtf8(fixed ? c.fixed : c.open));
    FMainDate::setTag(stage, fixed ? QStringLiteral("-1") : QStringLiteral("1"));
}

void Stages::focusSelected(QWidget *field) {
    auto *edit = static_cast<QLineEdit *>(field);
    edit->setSelection(0, edit->text().size());
    edit->setFocus(Qt::OtherFocusReason); // a field that cannot take the focus is left alone
}

void Stages::warn(const QString &text) {
    w.services().prompter.show(text, MsgIcon::Information, MsgButtons::Ok, QStringLiteral("警告"));
}

bool Stages::mayAct(bool timeZone, bool videoCounts) const {
    if (w.CmdReset->isEnabled() && w.ClearOnReset)
        return false;
    if (w.OptRename->isChecked() || w.Busy)
        return false;
    if (timeZone && (w.Option3->isChecked() || w.OptExif->isChecked()))
        return false;
    if (timeZone && videoCounts && w.ChPgDn->isChecked() && w.OptDate->isChecked())
        return false;
    return true;
}

void Stages::applyImportRule() {
    const bool enabled =
        isFixed(w.CmdTimeZone) && (!w.ChOnWorkTime->isChecked() ||
                                   (isFixed(w.CmdTimeOnOffDuty) &&
                                    (w.ChExclude->isChecked() || isFixed(w.CmdWordBreakTime))));
    w.CmdInput->setEnabled(enabled);
}

void Stages::timeZoneClicked() {
    if (!mayAct(true, true)) {
        w.services().prompter.beep();
        return;
    }
    TimeFields &fields = *w.features().timeFields;
    if (const QString refusal = WindowStageRefusal(fields.startNumber(), fields.endNumber());
        !refusal.isEmpty()) {
        warn(refusal);
        return;
    }
    w.CmdResetWork->setEnabled(false);
    if (!isFixed(w.CmdTimeZone)) {
        setStage(w.CmdTimeZone, true);
        if (w.CmdReset->isEnabled())
            w.CmdFileDateMod->setEnabled(false);
        w.Frame3->setEnabled(false);
        w.CmdNow->setEnabled(true);
        setStage(w.CmdTimeOnOffDuty, false);
        focusSelected(w.TOnDutyH);
        const bool duty = w.ChOnWorkTime->isChecked();
        w.CmdTimeOnOffDuty->setEnabled(duty);
        w.Frame4->setEnabled(duty);
    } else {
        setStage(w.CmdTimeZone, false);
        w.Frame3->setEnabled(true);
        focusSelected(w.TStartH);
        for (QWidget *c : std::initializer_list<QWidget *>{w.CmdNow, w.Frame4, w.CmdTimeOnOffDuty,
                                                           w.CmdResetB, w.CmdWordBreakTime})
            c->setEnabled(false);
        w.CmdFileDateMod->setEnabled(w.Option3->isChecked() && w.FileCount != 0);
    }
    applyImportRule();
    if (w.Option3->isChecked() && w.FileCount != 0)
        w.CmdFileDateMod->setEnabled(true);
    if (w.FileCount < 1)
        w.CmdFileDateMod->setEnabled(false);
}

void Stages::onOffDutyClicked() {
    if (!mayAct(false, false)) {
        w.services().prompter.beep();
        return;
    }
    TimeFields &fields = *w.features().timeFields;
    if (const QString refusal = DutyStageRefusal(fields.startTimeNumber(), fields.endTimeNumber(),
                                                 fields.onDutyNumber(), fields.offDutyNumber());
        !refusal.isEmpty()) {
        warn(refusal);
        return;
    }
    if (!isFixed(w.CmdTimeOnOffDuty)) {
        setStage(w.CmdTimeOnOffDuty, true);
        if (!w.ChExclude->isChecked()) {
            w.CmdWordBreakTime->setEnabled(true);
            if (isFixed(w.CmdWordBreakTime))
                w.CmdResetB->setEnabled(true);
            w.Frame2->setEnabled(true);
        }
        w.CmdResetWork->setEnabled(true);
        w.Frame4->setEnabled(false);
    } else {
        setStage(w.CmdTimeOnOffDuty, false);
        for (QWidget *c : std::initializer_list<QWidget *>{w.CmdFileDateMod, w.CmdWordBreakTime,
                                                           w.Frame2, w.CmdResetWork, w.CmdResetB})
            c->setEnabled(false);
        w.Frame4->setEnabled(true);
        focusSelected(w.TOnDutyH);
    }
    applyImportRule();
}

void Stages::breakClicked() {
    if (!mayAct(false, false)) {
        w.services().prompter.beep();
        return;
    }
    TimeFields &fields = *w.features().timeFields;
    if (const QString refusal =
            BreakStageRefusal(fields.breakStartNumber(), fields.breakEndNumber());
        !refusal.isEmpty()) {
        warn(refusal);
        return;
    }
    if (!isFixed(w.CmdWordBreakTime)) {
        setStage(w.CmdWordBreakTime, true);
        w.Frame2->setEnabled(false);
        w.CmdResetB->setEnabled(true);
        if (w.CmdReset->isEnabled())
            w.CmdFileDateMod->setEnabled(false);
    } else {
        setStage(w.CmdWordBreakTime, false);
        w.Frame2->setEnabled(true);
        focusSelected(w.TBreakH);
        w.CmdResetB->setEnabled(false);
        w.CmdFileDateMod->setEnabled(false);
    }
    applyImportRule();
}

void Stages::beepUnlessQuiet(bool quiet) {
    if (!quiet)
        w.services().prompter.beep();
}

void Stages::resetWorkClicked(bool quiet) {
    if (!mayAct(false, false)) {
        beepUnlessQuiet(quiet);
        return;
    }
    w.features().timeFields->writeDutyDefaults();
    w.UpDownoffDutyH->setMin(LeadingNumber(w.TOnDutyH->text()));
    setStage(w.CmdTimeOnOffDuty, false);
    w.Frame4->setEnabled(true);
    focusSelected(w.TOnDutyH);
    setStage(w.CmdWordBreakTime, false);
    w.Frame2->setEnabled(false);
}

void Stages::resetBreakClicked(bool quiet) {
    if (!mayAct(false, false)) {
        beepUnlessQuiet(quiet);
        return;
    }
    w.features().timeFields->writeBreakDefaults();
    w.UpDownEBreakH->setMin(LeadingNumber(w.TBreakH->text()));
    setStage(w.CmdWordBreakTime, false);
    w.Frame2->setEnabled(true);
    focusSelected(w.TBreakH);
    w.CmdInput->setEnabled(false);
    w.CmdFileDateMod->setEnabled(false);
    w.CmdResetB->setEnabled(false);
}

void Stages::nowClicked() {
    w.features().timeFields->writeDefaultWindow(w.services().clock.now().date());
    if (!mayAct(true, false))
        return;
    w.UpDownYE->setMin(LeadingNumber(w.TStartY->text()));
    setStage(w.CmdTimeZone, false);
    setStage(w.CmdTimeOnOffDuty, false);
    setStage(w.CmdWordBreakTime, false);
    w.Frame3->setEnabled(true);
    w.Frame4->setEnabled(false);
    w.Frame2->setEnabled(false);
    focusSelected(w.TStartH);
    w.CmdResetB->setEnabled(false);
    w.CmdInput->setEnabled(false);
    w.CmdFileDateMod->setEnabled(w.Option3->isChecked() && w.FileCount != 0);
    if (w.ChPgDn->isChecked() && w.OptDate->isChecked())
        w.CmdInput->setEnabled(true);
}

void Stages::workTimeClicked() {
    const bool on = w.ChOnWorkTime->isChecked();
    if (on) {
        w.ChExclude->setEnabled(true);
    } else {
        w.ChExclude->setChecked(true); // runs excludeClicked
        w.ChExclude->setEnabled(false);
    }
    if (w.ClearOnReset)
        return; // during a full reset only the lunch-break switch follows
    if (on) {
        if (isFixed(w.CmdTimeZone)) {
            w.CmdTimeOnOffDuty->setEnabled(true);
            w.Frame4->setEnabled(true);
        }
        if (isFixed(w.CmdTimeOnOffDuty)) {
            w.Frame4->setEnabled(false);
            w.CmdResetWork->setEnabled(true);
        }
    } else {
        w.CmdTimeOnOffDuty->setEnabled(false);
        w.Frame4->setEnabled(false);
    }
    applyImportRule();
    if (!w.listApplied() && w.FileCount > 0)
        w.features().stepRange->UpdateStepRange();
}

void Stages::excludeClicked() {
    if (w.listApplied())
        return;
    if (w.ChExclude->isChecked()) {
        w.Frame2->setEnabled(false);
        w.CmdWordBreakTime->setEnabled(false);
        w.CmdResetB->setEnabled(false);
        setStage(w.CmdWordBreakTime, false);
    } else {
        w.Frame2->setEnabled(true);
        w.features().timeFields->writeBreakDefaults();
        w.TBreakH->setSelection(0, w.TBreakH->text().size());
        if (isFixed(w.CmdTimeOnOffDuty))
            w.CmdWordBreakTime->setEnabled(true);
    }
    applyImportRule();
    if (w.FileCount > 0)
        w.features().stepRange->UpdateStepRange();
}

} // namespace kalmora
