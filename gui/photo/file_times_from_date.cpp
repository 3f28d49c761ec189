#include "gui/photo/file_times_from_date.h"

#include "core/grid/file_grid.h"
#include "gui/filetime/apply.h"
#include "gui/import/import.h"
#include "gui/window/batch_stop.h"
#include "gui/window/date_stamps_dialog.h"
#include "gui/window/features.h"
#include "gui/window/main_window.h"
#include "gui/window/window_batch.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace kalmora {

namespace {
const QString CrLf = QStringLiteral("\r\n");
constexpr int NameCol = 0, DateCol = 1, RewrittenCol = 2, ResultCol = 5;
} // namespace

FileTimesFromDate::FileTimesFromDate(FMainDate &window) : QObject(&window), w(window) {
    askChoice = [this] { return FDateStamps::ask(w.services(), &w); };
    connect(w.CmdStampsFromDate, &QPushButton::clicked, this, &FileTimesFromDate::clicked);
    // In Exif mode the button follows the rewrite's: after a rewrite of every row the photos'
    // dates are no longer those of the list.
    w.CmdPicDateMod->installEventFilter(this);
}

bool FileTimesFromDate::eventFilter(QObject *watched, QEvent *event) {
    if (watched == w.CmdPicDateMod && event->type() == QEvent::EnabledChange &&
        w.OptExif->isChecked())
        w.CmdStampsFromDate->setEnabled(w.CmdPicDateMod->isEnabled());
    return QObject::eventFilter(watched, event);
}

void FileTimesFromDate::clicked() {
    FileGrid &g = *w.VSFlexGrid1;
    Prompter &prompter = w.services().prompter;
    const bool video = !w.OptExif->isChecked();
    if (g.text(1, NameCol).isEmpty() || w.Busy || w.FileCount <= 0) {
        prompter.beep();
        return;
    }
    if (video && w.features().import->videoSource() != VideoDateSource::Recorded) {
        prompter.show(
            QStringLiteral("列表中视频的日期取自文件本身的修改时间，不需要再写入文件时间。") +
                CrLf +
                QStringLiteral("如需使用视频内记录的拍摄时间，请勾选“使用视频内记录的拍摄"
                               "时间”后重新导入。"),
            MsgIcon::Information);
        return;
    }
    const std::optional<DateStampsChoice> choice = askChoice();
    if (!choice)
        return;

    // The rows as the click found them: the batch's thread reads them while this one shows.
    const int n = std::min(w.FileCount, g.rows() - 1);
    QStringList names, dates;
    std::vector<bool> recorded;
    for (int r = 1; r <= n; ++r) {
        names.append(g.text(r, NameCol));
        // A photo's date as last read: after a rewrite of its row, the new one.
        const QString readBack = video ? QString() : g.text(r, RewrittenCol);
        dates.append(readBack.isEmpty() ? g.text(r, DateCol) : readBack);
        // The import says so where a video records no date of its own.
        recorded.push_back(g.text(r, ResultCol) != VideoFallbackNote());
    }
    const std::unique_ptr<StampsStep> step = MakeStampsFromDateStep(
        names,
        [&](int i) {
            return video ? VideoInsideDate(dates[i], recorded[size_t(i)])
                         : PhotoInsideDate(dates[i]);
        },
        *choice, &w.services().fileTimes);
    ApplyFileTimes &apply = *w.features().applyFileTimes;
    apply.fitToDrive(*step);

    const WindowState::BatchFlags before = w.state().batchStarted();
    w.state().operationStarted();
    w.CmdStampsFromDate->setEnabled(false);
    // What would start another batch over these rows, or clear them, waits for this one (the
    // video mode's apply does not look at Busy).
    const std::initializer_list<QWidget *> others = {
        w.Frame5, w.CmdFileDateMod, w.CmdPicDateMod, w.CmdPicExifDel, w.CmdInput, w.CmdDelete};
    QList<bool> enabledBefore;
    for (QWidget *c : others) {
        enabledBefore.append(c->isEnabled());
        c->setEnabled(false);
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    int done = 0, skipped = 0, failed = 0;
    const BatchOutcome outcome = RunWindowBatch(w, *step, [&](const BatchRow &row) {
        const int r = row.index + 1;
        g.selectRow(r);
        done += row.verdict == RowVerdict::Done ? 1 : 0;
        skipped += row.verdict == RowVerdict::Skipped ? 1 : 0;
        failed += row.verdict == RowVerdict::Failed ? 1 : 0;
        // Video rows show the stamps as the apply does; a photo's columns 2 to 4 hold its
        // Exif cells.
        if (video)
            apply.showResult(r, row);
        else
            g.setText(r, ResultCol, row.value(QStringLiteral("note")));
        ScrollAfterRow(g, r, n);
    });
    QApplication::restoreOverrideCursor();
    w.state().operationEnded();
    qsizetype i = 0;
    for (QWidget *c : others)
        c->setEnabled(enabledBefore[i++]);
    if (outcome.end == BatchOutcome::End::NotStarted) {
        // Nothing changed: the window as before the click.
        w.CmdStampsFromDate->setEnabled(true);
        w.state().batchAbandoned(before);
        return;
    }
    if (outcome.end == BatchOutcome::End::Finished)
        prompter.show(QStringLiteral("修改完毕！") + CrLf + CrLf +
                          QStringLiteral("成功 %1 个，没有拍摄日期而未修改 %2 个，失败 %3 个。")
                              .arg(done)
                              .arg(skipped)
                              .arg(failed),
                      MsgIcon::Information);
    else
        w.features().batchStop->reportStopped(outcome.reached, n - outcome.reached);
    w.ProgressBar1->setValue(0);
    g.setRow(1);
    g.setTopRow(1);
    w.state().batchEnded();
}

} // namespace kalmora
