#include "gui/window/date_stamps_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>

namespace kalmora {

FDateStamps::FDateStamps(const DateStampsChoice &start, QWidget *parent) : QDialog(parent) {
    setupUi(this);
    ChCreation->setChecked(start.creation);
    ChModification->setChecked(start.modification);
    ChAccess->setChecked(start.access);
    for (QCheckBox *c : {ChCreation, ChModification, ChAccess, ChShift})
        connect(c, &QCheckBox::toggled, this, &FDateStamps::refresh);
    connect(CmdOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(CmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    refresh();
}

void FDateStamps::refresh() {
    CmdOk->setEnabled(ChCreation->isChecked() || ChModification->isChecked() ||
                      ChAccess->isChecked());
    for (QWidget *c : std::initializer_list<QWidget *>{CmbShiftSign, TShiftD, TShiftH, TShiftM,
                                                       TShiftS, LShiftD, LShiftH, LShiftM, LShiftS})
        c->setEnabled(ChShift->isChecked());
}

DateStampsChoice FDateStamps::choice() const {
    DateStampsChoice c;
    c.creation = ChCreation->isChecked();
    c.modification = ChModification->isChecked();
    c.access = ChAccess->isChecked();
    if (ChShift->isChecked()) {
        const qint64 seconds = qint64(TShiftD->value()) * 86400 + TShiftH->value() * 3600 +
                               TShiftM->value() * 60 + TShiftS->value();
        c.shiftSeconds = CmbShiftSign->currentIndex() == 1 ? -seconds : seconds;
    }
    return c;
}

std::optional<DateStampsChoice> FDateStamps::ask(Services &services, QWidget *parent) {
    FDateStamps dialog(ChosenDateStamps(services.settings), parent);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const DateStampsChoice choice = dialog.choice();
    RememberDateStamps(services.settings, choice);
    return choice;
}

} // namespace kalmora
