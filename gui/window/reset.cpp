#include "gui/window/reset.h"

#include "core/grid/file_grid.h"
#include "core/import/file_list.h"
#include "gui/plan/stages.h"
#include "gui/plan/time_fields.h"
#include "gui/window/features.h"
#include "gui/window/main_window.h"
#include "gui/window/notice_window.h"
#include "gui/window/up_down.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace kalmora {

Reset::Reset(FMainDate &window) : QObject(&window), w(window) {
    connect(w.CmdReset, &QPushButton::clicked, this, &Reset::resetClicked);
    connect(w.CmdClear, &QPushButton::clicked, this, &Reset::clearClicked);
    connect(w.LDir, &ChangeLabel::textChanged, this, &Reset::folderChanged);
}

void Reset::resetWithClear() {
    w.state().clearingResetStarted();
    resetClicked();
    w.state().resetDone();
}

void Reset::clearClicked() {
    w.File1->setPattern(w.CmbFileFilter->currentText());
    if (w.FileCount < 1) {
        w.services().prompter.beep();
        return;
    }
    resetWithClear();
}

void Reset::folderChanged(const QString &text) {
    // The label shows a folder without its trailing separator (the root stays "/").
    if (text.size() > 1 && text.endsWith(QLatin1Char('/'))) {
        w.LDir->setText(text.left(text.size() - 1)); // runs this handler again
        return;
    }
    if (!w.File1->setPath(text))
        return;
    if (w.FileCount >= 1)
        resetWithClear();
}

void Reset::chooseFolder(const QString &path) {
    // Choosing the folder already shown changes no text, yet it starts over like another one.
    if (w.LDir->text() == path)
        folderChanged(path);
    else
        w.LDir->setText(path); // runs folderChanged
}

void Reset::writeResetHeaders() {
    FileGrid &g = *w.VSFlexGrid1;
    g.setText(0, 0, QStringLiteral("文件名"));
    g.setText(0, 5, QStringLiteral("其他信息"));
    if (w.OptDate->isChecked()) {
        g.setText(0, 1, QStringLiteral("原创建时间"));
        g.setText(0, 2, QStringLiteral("现创建时间"));
        g.setText(0, 3, QStringLiteral("现修改时间"));
        g.setText(0, 4, QStringLiteral("现访问时间"));
    } else if (w.OptExif->isChecked()) {
        g.setText(0, 1, QStringLiteral("原拍摄时间"));
        g.setText(0, 2, QStringLiteral("现拍摄时间"));
    } else if (w.OptRename->isChecked()) {
        g.setText(0, 1, QStringLiteral("现文件名"));
    }
}

void Reset::resetClicked() {
    if (!w.OptExif->isChecked())
        w.ChPgDn->setEnabled(true);
    w.Check1->setChecked(false); // runs PhotoPreview::refresh
    w.Frame5->setEnabled(true);
    if (w.Busy && !w.Option3->isChecked() && !w.CheckAll->isChecked()) {
        w.services().prompter.beep();
        return;
    }
    w.state().listCleared();
    w.OptAll->setChecked(true);
    w.state().workEnded();
    FNoticeMsg::closeNotice();
    if (!w.ApplyRunning) {
        for (QPushButton *b :
             {w.CmdPicDateMod, w.CmdPicMemoAdd, w.CmdPicExifDel, w.CmdStampsFromDate})
            b->setEnabled(false);
        w.CmdDirBrowse->setEnabled(true);
        if (w.OptDate->isChecked())
            w.ChPatternDefault->setEnabled(true);
        w.CmdInput->setEnabled(true);
        w.CmdReset->setEnabled(false);
        w.CmdFileDateMod->setEnabled(false);
        if (!w.ChPatternDefault->isChecked()) {
            w.CmbFileFilter->setEnabled(true);
            w.CmdFileExt->setEnabled(true);
        }
    }
    if (w.ClearOnReset)
        fullReset();
    if (w.OptExif->isChecked() || w.OptRename->isChecked())
        w.CmdInput->setEnabled(true);
    w.ChPgDn->setChecked(false); // runs ModeSwitches::videoClicked(false) when it was on
    if (!w.OptDate->isChecked())
        w.ChPatternDefault->setEnabled(false);
    if (w.OptRename->isChecked())
        w.Option3->setEnabled(false);
    // Row deletion leaves a "remaining" text there; every reset shows the list's count again.
    w.refreshCountText();
}

void Reset::fullReset() {
    Stages &stages = *w.features().stages;
    w.Option1->setChecked(true); // runs StepRange::option1Clicked
    w.TStep->setText(QStringLiteral("1"));
    w.TStepS->setText(QStringLiteral("10"));
    w.TStepE->setText(QStringLiteral("90"));
    w.OptMin->setChecked(true); // runs StepRange::unitClicked

    FileGrid &g = *w.VSFlexGrid1;
    g.setRows(1);
    g.clearCells();
    g.setRows(11);
    writeResetHeaders();

    w.features().timeFields->writeDutyDefaults();
    w.features().timeFields->writeBreakDefaults();
    w.ProgressBar1->setValue(0);
    w.CmdDirBrowse->setEnabled(true);
    w.CmdFileDateMod->setEnabled(false);
    w.CmdTimeZone->setText(QStringLiteral("设定时间区间"));
    FMainDate::setTag(w.CmdTimeZone, QStringLiteral("1"));
    w.Frame3->setEnabled(true);
    w.ChPatternDefault->setEnabled(true);
    if (!w.ChPatternDefault->isChecked()) {
        w.CmbFileFilter->setEnabled(true);
        w.CmdFileExt->setEnabled(true);
    }

    stages.nowClicked();
    stages.resetWorkClicked(true);
    stages.resetBreakClicked(true);

    w.ChExclude->setChecked(true); // runs Stages::excludeClicked
    w.ChExclude->setEnabled(true);
    w.CmdReset->setEnabled(false);
    w.CmbFileFilter->setEditText(FMainDate::defaultPattern()); // FileFilter::textChanged
    w.CmbFileFilter->setEnabled(false);
    w.CmdFileExt->setEnabled(false);
    w.ChPatternDefault->setChecked(true); // runs FileFilter::defaultClicked
    w.ChPatternDefault->setEnabled(true);
    // Stages::workTimeClicked: while ClearOnReset is set only the lunch-break switch follows.
    w.ChOnWorkTime->setChecked(true);
    w.UpDownTStep->setMax(300);
    w.UpDownTStepS->setMax(290);
    w.UpDownTStepE->setMax(300);
    w.CmdDelete->setEnabled(false);
    w.refreshCountText();
    w.ChOnWorkTime->setChecked(false); // runs Stages::workTimeClicked

    w.state().resetDone();
    w.Option1->setChecked(true);
    w.Option3->setEnabled(true);
    w.TStartH->setSelection(0, w.TStartH->text().size());
    w.TStartH->setFocus();
    w.TStepS->setText(QStringLiteral("10"));
    w.TStepE->setText(QStringLiteral("90"));
    w.TStep->setText(QStringLiteral("1"));
}

} // namespace kalmora
