#include "gui/plan/step_range.h"

#include "gui/plan/time_fields.h"
#include "gui/window/features.h"
#include "gui/window/main_window.h"
#include "gui/window/up_down.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace kalmora {

StepRange::StepRange(FMainDate &window) : QObject(&window), w(window) {
    auto onSelect = [this](QRadioButton *option, auto handler) {
        connect(option, &QRadioButton::toggled, this, [this, handler](bool on) {
            if (on)
                (this->*handler)();
        });
    };
    onSelect(w.Option1, &StepRange::option1Clicked);
    onSelect(w.Option2, &StepRange::option2Clicked);
    connect(w.OptMin, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            unitClicked(true);
    });
    connect(w.OptSec, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            unitClicked(false);
    });
}

void StepRange::updateWhileListed() {
    if (w.FileCount > 0)
        UpdateStepRange();
}

void StepRange::stepModeClicked() {
    w.CheckAll->setChecked(false);
    w.CheckAll->setEnabled(false);
    w.ChOnWorkTime->setEnabled(!w.ChPgDn->isChecked());
    w.Frame1->setEnabled(true);
}

void StepRange::option1Clicked() {
    if (w.listApplied())
        return;
    stepModeClicked();
    updateWhileListed();
}

void StepRange::option2Clicked() {
    if (w.listApplied())
        return;
    stepModeClicked();
    if (w.Option2->isChecked() && w.OptDate->isChecked() &&
        w.CmdTimeZone->text() == QStringLiteral("修改时间区间"))
        w.Frame3->setEnabled(false);
    updateWhileListed();
}

void StepRange::unitClicked(bool minutes) {
    if (w.listApplied())
        return;
    const QString unit = minutes ? QStringLiteral("分钟。") : QStringLiteral("秒。");
    w.Label19->setText(unit);
    w.Label21->setText(unit);
    updateWhileListed();
}

void StepRange::UpdateStepRange() {
    if (w.FileCount <= 0)
        return;
    const qint64 capacity = WindowCapacity(w.features().timeFields->timeWindow());
    const StepLimits limits = StepLimitsFor(capacity / w.FileCount);
    UpDown *spinners[] = {w.UpDownTStep, w.UpDownTStepS, w.UpDownTStepE};
    if (limits.tooSmall) {
        w.services().prompter.show(StepRangeTooSmallText(), MsgIcon::Information);
        w.CmdFileDateMod->setEnabled(false);
        for (UpDown *u : spinners) {
            u->setMax(1);
            u->setMin(1);
        }
        return;
    }
    w.UpDownTStep->setMax(limits.stepMax);
    w.UpDownTStepE->setMax(limits.upperMax);
    w.UpDownTStepS->setMax(limits.lowerMax);
    if (LeadingNumber(w.TStepS->text()) > w.UpDownTStepS->max())
        w.TStepS->setText(QString::number(w.UpDownTStepS->max()));
    if (LeadingNumber(w.TStepE->text()) > w.UpDownTStepE->max())
        w.TStepE->setText(QString::number(w.UpDownTStepE->max()));
}

} // namespace kalmora
