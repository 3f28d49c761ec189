#include "photo/date_rewrite.h"

#include "app/comm_declare.h"
#include "app/notice_window.h"
#include "app/startup.h"
#include "exif/exif_reader.h"
#include "exif/read_exif.h"
#include "filetime/apply.h"
#include "journal/journal.h"
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

#include <functional>

namespace kalmora {

namespace {

const QString CrLf = QStringLiteral("\r\n");
constexpr int NameCol = 0, OriginalCol = 1, NewCol = 2, ResultCol = 5;
// The date texts a rewrite may overwrite; the journal keeps each one it finds.
const QList<int> DateTags = {TagDateTimeOriginal, TagDateTimeDigitized, TagDateTime};

// What the dates besides the shooting date become: moved from their own values with the move,
// left as they are without one.
std::function<QByteArray(const QByteArray &)> otherDates(const std::optional<DateMove> &move) {
    if (!move)
        return {};
    return [move = *move](const QByteArray &own) {
        const std::optional<DateTime> date =
            RewriteBaseDate(HyphenDateText(QString::fromLatin1(own.left(19))));
        return date ? ExifDateText(move.applyTo(*date)).toLatin1() : own;
    };
}

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
            const QString path = w.pathOf(g.text(row, NameCol));
            // The other dates, when chosen, take the same new date.
            const std::optional<DateMove> move = AllExifDatesChosen(w.services().settings)
                                                     ? std::optional<DateMove>(DateMove{*start})
                                                     : std::nullopt;
            auto journal = OpenBatchJournal(w.services(), w.LDir->text(), BatchKind::DateRewrite);
            if (journal) {
                journal->intendDatePatch(path, start->toExifText(), DateTags, otherDates(move));
                if (!CommitIntents(*journal, prompter)) // a failed intent fails the commit
                    journal.reset();
            }
            if (!journal) {
                w.Option1->setChecked(true);
                w.OperationRunning = false;
                w.RewriteRunning = false;
                return;
            }
            const DatesPatchResult patched = PatchShootingDates(path, start->toExifText(), move);
            switch (patched.outcome) {
            case DatePatchOutcome::Failed:
                g.setText(row, ResultCol, QStringLiteral("修改失败"));
                g.setText(row, NewCol, g.text(row, OriginalCol));
                break;
            case DatePatchOutcome::NoDateField:
                refreshRow(row);
                g.setText(row, ResultCol, QStringLiteral("Exif信息丢失") + patched.note());
                break;
            case DatePatchOutcome::Written:
                refreshRow(row);
                g.setText(row, ResultCol, QStringLiteral("修改成功") + patched.note());
                break;
            }
            journal->done(1, patched.outcome == DatePatchOutcome::Written, patched.after,
                          patched.fields);
            journal->end();
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
    if (w.ChPgDn->isChecked()) {
        w.features().applyFileTimes->applyClicked();
    } else if (!rewriteRows(*settings)) {
        // The journal could not record the batch: nothing changed, the window as before.
        QApplication::restoreOverrideCursor();
        w.CmdPicDateMod->setEnabled(true);
        w.Busy = false;
        w.ApplyRunning = false;
        w.OperationRunning = false;
        w.RewriteRunning = false;
        return;
    }

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

bool DateRewrite::rewriteRows(const PhotoDateSettings &settings) {
    FileGrid &g = *w.VSFlexGrid1;
    ShootingDatePlan plan(settings, w.services().random);
    const int n = std::min(w.FileCount, g.rows() - 1);
    // Every new date is worked out and recorded before the first photo changes.
    QStringList exifTexts(n + 1);
    QList<std::optional<DateMove>> moves(n + 1);
    for (int r = 1; r <= n; ++r) {
        const QString original = g.text(r, OriginalCol);
        const std::optional<DateTime> base =
            settings.newStart
                ? RewriteBaseDate(settings.startText)
                : (original.isEmpty() ? std::nullopt : RewriteBaseDate(HyphenDateText(original)));
        moves[r] = base ? std::optional<DateMove>(plan.nextMove(*base)) : std::nullopt;
        exifTexts[r] = moves[r] ? ExifDateText(moves[r]->applyTo(*base)) : QString();
    }
    const auto journal = OpenBatchJournal(w.services(), w.LDir->text(), BatchKind::DateRewrite);
    if (!journal)
        return false;
    QList<int> seqs(n + 1);
    for (int r = 1; r <= n; ++r) {
        if (!exifTexts[r].isEmpty())
            seqs[r] = journal->intendDatePatch(
                w.pathOf(g.text(r, NameCol)), exifTexts[r], DateTags,
                otherDates(settings.allDates ? moves[r] : std::optional<DateMove>()));
    }
    if (!CommitFirstIntents(*journal, w.services().prompter))
        return false;

    w.OperationRunning = true;
    w.RewriteRunning = true;
    const int count = w.FileCount;
    BatchBreath breath;
    for (int r = 1; r <= count; ++r) {
        if (r > 1 && breath.breathe()) {
            BatchStop::markNotDone(g, r, count);
            w.features().batchStop->reportStopped(r - 1, count - r + 1);
            break;
        }
        if (r >= g.rows())
            break;
        g.selectRow(r);
        w.ProgressBar1->setValue(r * 100 / count);

        const QString original = g.text(r, OriginalCol);
        const QString &exifText = exifTexts[r];
        if (exifText.isEmpty()) {
            g.setText(r, ResultCol, QStringLiteral("失败(日期数据异常)"));
            g.setText(r, NewCol, QString());
        } else {
            if (!ReadyToChange(*journal, seqs[r], w.services().prompter,
                               [&] { breath.breathe(); })) {
                BatchStop::markNotDone(g, r, count);
                w.features().batchStop->reportStopped(r - 1, count - r + 1);
                break;
            }
            const DatesPatchResult patched =
                PatchShootingDates(w.pathOf(g.text(r, NameCol)), exifText,
                                   settings.allDates ? moves[r] : std::optional<DateMove>(), true);
            switch (patched.outcome) {
            case DatePatchOutcome::Failed:
                g.setText(r, ResultCol, QStringLiteral("修改失败(文件访问错误)"));
                g.setText(r, NewCol, original);
                break;
            case DatePatchOutcome::NoDateField:
                refreshRow(r);
                g.setText(r, ResultCol, QStringLiteral("Exif信息丢失") + patched.note());
                break;
            case DatePatchOutcome::Written:
                // The field the patch wrote, read back from the file, is all a full read would
                // show where the photo has no other; that read costs more than the patch.
                if (patched.fieldInFile) {
                    w.ExifRow = r;
                    g.setText(r, NewCol, ShootingDateCellText(*patched.fieldInFile));
                } else {
                    refreshRow(r);
                }
                g.setText(r, ResultCol, QStringLiteral("修改成功") + patched.note());
                break;
            }
            journal->done(seqs[r], patched.outcome == DatePatchOutcome::Written, patched.after,
                          patched.fields);
        }
        if (r % 30 == 0 && count - r > 30)
            g.setTopRow(r);
    }
    journal->end([&] { breath.breathe(); });
    return true;
}

} // namespace kalmora
