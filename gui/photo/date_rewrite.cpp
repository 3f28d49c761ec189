#include "gui/photo/date_rewrite.h"

#include "core/exif/exif_reader.h"
#include "core/exif/read_exif.h"
#include "core/grid/file_grid.h"
#include "core/platform/app_values.h"
#include "core/platform/comm_declare.h"
#include "gui/filetime/apply.h"
#include "gui/window/batch_stop.h"
#include "gui/window/features.h"
#include "gui/window/main_window.h"
#include "gui/window/notice_window.h"
#include "gui/window/photo_date_dialog.h"
#include "gui/window/window_batch.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <functional>

namespace kalmora {

namespace {

const QString CrLf = QStringLiteral("\r\n");
constexpr int NameCol = 0, OriginalCol = 1, NewCol = 2, ResultCol = 5;
} // namespace

DateRewrite::DateRewrite(FMainDate &window) : QObject(&window), w(window) {
    askSettings = [this] { return FPhotoDate::ask(w.services(), &w, w.ChPgDn->isChecked()); };
    connect(w.CmdPicDateMod, &QPushButton::clicked, this, &DateRewrite::picDateModClicked);
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
    w.state().rewriteStarted();
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
        } else if (rewrite(
                       {row},
                       [&](int, DatePatchStep::Item &item) {
                           item.date = start;
                           // The other dates, when chosen, take the same new date.
                           item.move = DateMove{*start};
                       },
                       AllExifDatesChosen(w.services().settings),
                       QStringLiteral("修改失败")) == BatchOutcome::End::NotStarted) {
            w.Option1->setChecked(true);
            w.state().rewriteEnded();
            return;
        }
    }
    prompter.show(QStringLiteral("改写完毕！"), MsgIcon::Information);
    w.Option1->setChecked(true); // runs StepRange::option1Clicked
    w.state().rewriteEnded();
    w.state().workEnded();
    w.Frame5->setEnabled(true);
    w.ChExclude->setEnabled(false);
}

void DateRewrite::rewriteAllRows() {
    w.hide();
    const std::optional<PhotoDateSettings> settings = askSettings();
    w.show();
    if (!settings)
        return;

    // Around the video mode's apply too, so a stop inside it is seen here.
    const BatchBreath batch;
    const WindowState::BatchFlags before = w.state().batchStarted();
    w.CmdPicDateMod->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Stopped, or the journal failed on the way: the user has been told how far it came.
    bool ended = false;
    if (w.ChPgDn->isChecked()) {
        w.features().applyFileTimes->applyClicked();
        ended = batch.stopped();
    } else {
        const BatchOutcome::End end = rewriteRows(*settings);
        if (end == BatchOutcome::End::NotStarted) {
            // The journal could not record the batch: nothing changed, the window as before.
            QApplication::restoreOverrideCursor();
            w.CmdPicDateMod->setEnabled(true);
            w.state().batchAbandoned(before);
            w.state().rewriteEnded();
            return;
        }
        ended = end != BatchOutcome::End::Finished;
    }

    // The apply's own closing steps may have restored the pointer already.
    if (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    // The summary would claim every photo.
    if (!ended) {
        w.services().prompter.show(RewriteSummaryText(*settings), MsgIcon::Information);
        NoticeText = QStringLiteral("原始拍摄时间改写完毕！稍后请单击“重置所有”按钮。");
        FNoticeMsg::showNotice();
    }
    w.ProgressBar1->setValue(0);
    w.VSFlexGrid1->setRow(1);
    w.CmdInput->setEnabled(true);
    w.state().rewriteEnded();
    w.state().batchEnded();
}

BatchOutcome::End DateRewrite::rewriteRows(const PhotoDateSettings &settings) {
    FileGrid &g = *w.VSFlexGrid1;
    ShootingDatePlan plan(settings, w.services().random);
    const int n = std::min(w.FileCount, g.rows() - 1);
    QList<int> rows;
    for (int r = 1; r <= n; ++r)
        rows.append(r);
    w.state().rewriteStarted();
    // Every new date is worked out, and recorded, before the first photo changes.
    const BatchOutcome::End end = rewrite(
        rows,
        [&](int, DatePatchStep::Item &item) {
            const QString original = item.original;
            const std::optional<DateTime> base =
                settings.newStart    ? RewriteBaseDate(settings.startText)
                : original.isEmpty() ? std::nullopt
                                     : RewriteBaseDate(HyphenDateText(original));
            if (!base)
                return;
            item.move = plan.nextMove(*base);
            item.date = item.move->applyTo(*base);
        },
        settings.allDates, QStringLiteral("修改失败(文件访问错误)"));
    if (end != BatchOutcome::End::NotStarted && end != BatchOutcome::End::Finished) {
        int notDone = 0;
        for (const int r : rows)
            notDone += g.text(r, ResultCol) == BatchStop::notDoneText() ? 1 : 0;
        w.features().batchStop->reportStopped(n - notDone, notDone);
    }
    return end;
}

BatchOutcome::End DateRewrite::rewrite(const QList<int> &rows,
                                       const DatePatchStep::WorkOut &workOut, bool otherDates,
                                       const QString &failedText) {
    FileGrid &g = *w.VSFlexGrid1;
    // Copied here: the batch's thread works the dates out while this one writes rows.
    QStringList names, originals;
    for (const int r : rows) {
        names.append(g.text(r, NameCol));
        originals.append(g.text(r, OriginalCol));
    }
    DatePatchStep step(
        names,
        [&](int i, DatePatchStep::Item &item) {
            item.original = originals[i];
            workOut(i, item);
        },
        DatePatchStep::InWindow{otherDates, failedText, w.ChAllFormats->isChecked()});
    const bool many = rows.size() > 1;
    const int count = int(rows.size());
    const BatchOutcome outcome = RunWindowBatch(
        w, step,
        [&](const BatchRow &row) {
            const int r = rows[row.index];
            if (many)
                g.selectRow(r);
            g.setText(r, ResultCol, row.value(QStringLiteral("note")));
            if (row.has(QStringLiteral("date"))) {
                w.state().exifRowRead(r);
                g.setText(r, NewCol, row.value(QStringLiteral("date")));
            }
            if (many && r % 30 == 0 && count - r > 30)
                g.setTopRow(r);
        },
        WindowBatchOptions{many, {}});
    return outcome.end;
}

} // namespace kalmora
