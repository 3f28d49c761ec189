#include "photo/date_rewrite.h"

#include "app/comm_declare.h"
#include "app/notice_window.h"
#include "app/startup.h"
#include "exif/read_exif.h"
#include "filetime/apply.h"
#include "ui/batch_stop.h"
#include "ui/features.h"
#include "ui/file_grid.h"
#include "ui/main_window.h"
#include "ui/photo_date_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace kalmora {

namespace {

const QString CrLf = QStringLiteral("\r\n");
constexpr int NameCol = 0, OriginalCol = 1, NewCol = 2, ResultCol = 5;

} // namespace

DateRewrite::DateRewrite(FMainDate &window) : QObject(&window), w(window) {
    askSettings = [this] { return FPhotoDate::ask(w.services(), &w); };
    connect(w.CmdPicDateMod, &QPushButton::clicked, this, &DateRewrite::picDateModClicked);
}

void DateRewrite::refreshRow(int row) {
    w.ExifRow = row;
    ReadExifIntoRow(w.pathOf(w.VSFlexGrid1->text(row, NameCol)), *w.VSFlexGrid1,
                    ExifRowContext{row, w.OptExif->isChecked(), w.RewriteRunning, false});
}

void DateRewrite::picDateModClicked() {
    if (w.VSFlexGrid1->text(1, NameCol).isEmpty() || w.Busy) {
        w.services().prompter.beep();
        return;
    }
    if (w.Option3->isChecked())
        rewriteCurrentRow();
    else
        rewriteAllRows();
}

void DateRewrite::rewriteCurrentRow() {
    FileGrid &g = *w.VSFlexGrid1;
    Prompter &prompter = w.services().prompter;
    const int row = g.row();
    if (g.text(row, NameCol).isEmpty() || g.text(row, OriginalCol).isEmpty()) {
        prompter.beep();
        return;
    }
    const MsgAnswer answer = prompter.show(
        QStringLiteral("修改拍摄日期时间，有歪曲事实作弊之嫌！ 你确定要用") + CrLf +
            QStringLiteral("起始日期时间来修改当前行的数码照片的拍摄日期？"),
        MsgIcon::Warning, MsgButtons::OkCancel, QStringLiteral("警 告"), MsgAnswer::Cancel);
    if (answer != MsgAnswer::Ok) {
        w.Option1->setChecked(true); // runs StepRange::option1Clicked
        return;
    }
    w.OperationRunning = true;
    w.RewriteRunning = true;
    if (w.ChPgDn->isChecked()) {
        w.features().applyFileTimes->applyClicked();
    } else {
        // Through a date value, so the text has its 19 characters whatever the fields hold.
        const std::optional<DateTime> start = DateTime::parse(
            w.TStartY->text() + QLatin1Char('-') + w.TStartM->text() + QLatin1Char('-') +
            w.TStartD->text() + QLatin1Char(' ') + w.TStartH->text() + QLatin1Char(':') +
            w.TStartMin->text() + QLatin1Char(':') + w.TStartSec->text());
        if (!start || ExifDateText(*start).isEmpty()) {
            g.setText(row, ResultCol, QStringLiteral("失败(日期数据异常)"));
        } else {
            switch (PatchShootingDate(w.pathOf(g.text(row, NameCol)), start->toExifText())) {
            case DatePatchOutcome::Failed:
                g.setText(row, ResultCol, QStringLiteral("修改失败"));
                g.setText(row, NewCol, g.text(row, OriginalCol));
                break;
            case DatePatchOutcome::NoDateField:
                refreshRow(row);
                g.setText(row, ResultCol, QStringLiteral("Exif信息丢失"));
                break;
            case DatePatchOutcome::Written:
                refreshRow(row);
                g.setText(row, ResultCol, QStringLiteral("修改成功"));
                break;
            }
        }
    }
    prompter.show(QStringLiteral("改写完毕！"), MsgIcon::Information);
    w.Option1->setChecked(true); // runs StepRange::option1Clicked
    w.RewriteRunning = false;
    w.Busy = false;
    w.Frame5->setEnabled(true);
    w.ChExclude->setEnabled(false);
    w.OperationRunning = false;
}

void DateRewrite::rewriteAllRows() {
    w.hide();
    const std::optional<PhotoDateSettings> settings = askSettings();
    w.show();
    if (!settings)
        return;

    // Around the video mode's apply too, so a stop inside it is seen here.
    const BatchBreath batch;
    w.Busy = true;
    w.ClearOnReset = false;
    w.ApplyRunning = true;
    w.CmdPicDateMod->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (w.ChPgDn->isChecked())
        w.features().applyFileTimes->applyClicked();
    else
        rewriteRows(*settings);

    // The apply's own closing steps may have restored the pointer already.
    if (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    // A stopped loop has told the user how far it came; the summary would claim every photo.
    if (!batch.stopped()) {
        w.services().prompter.show(RewriteSummaryText(*settings), MsgIcon::Information);
        NoticeText = QStringLiteral("原始拍摄时间改写完毕！稍后请单击“重置所有”按钮。");
        FNoticeMsg::showNotice();
    }
    w.ProgressBar1->setValue(0);
    w.VSFlexGrid1->setRow(1);
    w.CmdInput->setEnabled(true);
    w.Busy = false;
    w.OperationRunning = false;
    w.RewriteRunning = false;
    w.ApplyRunning = false;
    w.ClearOnReset = true;
}

void DateRewrite::rewriteRows(const PhotoDateSettings &settings) {
    FileGrid &g = *w.VSFlexGrid1;
    w.OperationRunning = true;
    w.RewriteRunning = true;
    ShootingDatePlan plan(settings, w.services().random);
    const int n = w.FileCount;
    BatchBreath breath;
    for (int r = 1; r <= n; ++r) {
        if (r > 1 && breath.breathe()) {
            BatchStop::markNotDone(g, r, n);
            w.features().batchStop->reportStopped(r - 1, n - r + 1);
            return;
        }
        if (r >= g.rows())
            break;
        g.selectRow(r);
        w.ProgressBar1->setValue(r * 100 / n);

        const QString original = g.text(r, OriginalCol);
        const std::optional<DateTime> base =
            settings.newStart
                ? RewriteBaseDate(settings.startText)
                : (original.isEmpty() ? std::nullopt : RewriteBaseDate(HyphenDateText(original)));
        const QString exifText = base ? ExifDateText(plan.newDate(*base)) : QString();
        if (exifText.isEmpty()) {
            g.setText(r, ResultCol, QStringLiteral("失败(日期数据异常)"));
            g.setText(r, NewCol, QString());
        } else {
            const ShootingDatePatch patch =
                PatchShootingDateReadBack(w.pathOf(g.text(r, NameCol)), exifText);
            switch (patch.outcome) {
            case DatePatchOutcome::Failed:
                g.setText(r, ResultCol, QStringLiteral("修改失败(文件访问错误)"));
                g.setText(r, NewCol, original);
                break;
            case DatePatchOutcome::NoDateField:
                refreshRow(r);
                g.setText(r, ResultCol, QStringLiteral("Exif信息丢失"));
                break;
            case DatePatchOutcome::Written:
                // The field the patch wrote, read back from the file, is all a full read would
                // show where the photo has no other; that read costs more than the patch.
                if (patch.fieldInFile) {
                    w.ExifRow = r;
                    g.setText(r, NewCol, ShootingDateCellText(*patch.fieldInFile));
                } else {
                    refreshRow(r);
                }
                g.setText(r, ResultCol, QStringLiteral("修改成功"));
                break;
            }
        }
        if (r % 30 == 0 && n - r > 30)
            g.setTopRow(r);
    }
}

} // namespace kalmora
