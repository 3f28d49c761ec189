#include "gui/filetime/apply.h"

#include "core/batch/stamps_step.h"
#include "core/exif/date_shift.h"
#include "core/grid/file_grid.h"
#include "core/platform/comm_declare.h"
#include "gui/filetime/rename.h"
#include "gui/photo/date_rewrite.h"
#include "gui/plan/time_fields.h"
#include "gui/window/batch_stop.h"
#include "gui/window/features.h"
#include "gui/window/main_window.h"
#include "gui/window/reset.h"
#include "gui/window/up_down.h"
#include "gui/window/window_batch.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <cerrno>
#include <cstdlib>

namespace kalmora {

namespace {
const QString CrLf = QStringLiteral("\r\n");

std::optional<DateTime> dateOf(const QString &text) {
    if (text.trimmed().isEmpty())
        return std::nullopt;
    return DateTime::parse(text);
}
} // namespace

ApplyFileTimes::ApplyFileTimes(FMainDate &window) : QObject(&window), w(window) {
    connect(w.CmdFileDateMod, &QPushButton::clicked, this, &ApplyFileTimes::applyClicked);
}

ApplyFileTimes::RowTexts ApplyFileTimes::rowTexts(int row) const {
    const FileGrid &g = *w.VSFlexGrid1;
    return {g.text(row, 0), g.text(row, 1), g.text(row, 6), g.text(row, 7)};
}

ApplyFileTimes::Planned ApplyFileTimes::planned() const {
    const bool all = w.OptAll->isChecked();
    return {all || w.OptCreate->isChecked(), all || w.OptModTime->isChecked(),
            all || w.OptAccessDate->isChecked()};
}

FileTimesUpdate ApplyFileTimes::writeSet(const DateTime &time, const RowTexts &row,
                                         Planned planned) {
    FileTimesUpdate u;
    u.creation = planned.creation ? time : dateOf(row.creation);
    u.lastAccess = planned.access ? time : dateOf(row.access);
    u.lastWrite = planned.modification ? time : dateOf(row.modification);
    return u;
}

void ApplyFileTimes::showResult(int row, const BatchRow &result) {
    FileGrid &g = *w.VSFlexGrid1;
    const QString note = result.value(QStringLiteral("note"));
    // A failure leaves the other cells as they are; so does a file the batch did not reach.
    if (result.verdict != RowVerdict::Done)
        return g.setText(row, 5, note);
    const std::optional<DateTime> access = dateOf(result.value(QStringLiteral("access")));
    g.setTexts(row, {{5, note},
                     {2, result.value(QStringLiteral("creation"))},
                     {3, result.value(QStringLiteral("modification"))},
                     {4, access ? access->toDateText() : QString()}});
}

void ApplyFileTimes::fitToDrive(StampsStep &step) {
    step.fitToDrive(DriveStamps::of(w.LDir->text()), [this](const QString &drive) {
        return OnWindowThread([&] {
            Prompter &prompter = w.services().prompter;
            const QString which = drive.isEmpty() ? QStringLiteral("该磁盘")
                                                  : QStringLiteral("该磁盘（%1）").arg(drive);
            const bool goOn =
                prompter.show(QStringLiteral("部分计划时间超出%1能保存的精度或年份"
                                             "（例如FAT磁盘只能保存偶数秒的修改时间，"
                                             "年份须在1980至2107之间），无法原样写入。")
                                      .arg(which) +
                                  QStringLiteral("\r\n") +
                                  QStringLiteral("是否按磁盘能保存的时间写入？选择“否”则不修改"
                                                 "任何文件。"),
                              MsgIcon::Question, MsgButtons::YesNo, QStringLiteral("消息"),
                              MsgAnswer::No) == MsgAnswer::Yes;
            if (!goOn)
                prompter.show(QStringLiteral("本次修改已取消，没有改动任何文件。"),
                              MsgIcon::Information);
            return goOn;
        });
    });
}

int ApplyFileTimes::runStamps(BatchKind kind, const QStringList &names,
                              const StampsStep::Plan &plan, int firstRow,
                              const std::function<void(int row)> &around,
                              const RecordedDateStep::Shift &recorded) {
    // "仅创建": the other stamps go back with their old values, so a creation time that cannot
    // be set leaves the file as it was.
    auto stamps =
        std::make_unique<StampsStep>(kind, !w.OptAll->isChecked() && w.OptCreate->isChecked(),
                                     names, plan, &w.services().fileTimes);
    fitToDrive(*stamps);
    // The videos' own dates move with their stamps: the stamps' step inside theirs.
    std::unique_ptr<RecordedDateStep> movies;
    if (recorded)
        movies =
            std::make_unique<RecordedDateStep>(w.LDir->text(), names, recorded, std::move(stamps));
    BatchStep &step = movies ? static_cast<BatchStep &>(*movies) : *stamps;
    const BatchOutcome outcome = RunWindowBatch(
        w, step,
        [&](const BatchRow &row) {
            const int r = firstRow + row.index;
            showResult(r, row);
            if (around)
                around(r);
        },
        WindowBatchOptions{bool(around), {}});
    if (outcome.end == BatchOutcome::End::NotStarted)
        return NotStarted;
    return outcome.end == BatchOutcome::End::Finished ? int(names.size()) : outcome.reached;
}

bool ApplyFileTimes::checkWindow() {
    Prompter &prompter = w.services().prompter;
    TimeFields &fields = *w.features().timeFields;
    if (w.ChOnWorkTime->isChecked()) {
        const QString refusal = ApplyDutyRefusal(fields.startTimeNumber(), fields.endTimeNumber(),
                                                 fields.onDutyNumber(), fields.offDutyNumber());
        if (!refusal.isEmpty()) {
            prompter.show(refusal, MsgIcon::Information);
            return false;
        }
    }
    TimeWindow window = fields.timeWindow();
    window.workingHoursOnly = false; // the plain start and end, not the duty times
    window.start = DateTime::parse(w.TStartY->text().trimmed() + QLatin1Char('-') +
                                   w.TStartM->text() + QLatin1Char('-') + w.TStartD->text() +
                                   QLatin1Char(' ') + w.TStartH->text() + QLatin1Char(':') +
                                   w.TStartMin->text() + QLatin1Char(':') + w.TStartSec->text())
                       .value_or(DateTime());
    window.end =
        DateTime::parse(w.TEndY->text().trimmed() + QLatin1Char('-') + w.TEndM->text() +
                        QLatin1Char('-') + w.TEndD->text() + QLatin1Char(' ') + w.TEndH->text() +
                        QLatin1Char(':') + w.TEndMin->text() + QLatin1Char(':') + w.TEndSec->text())
            .value_or(DateTime());
    switch (CheckCapacity(std::llabs(WindowCapacity(window)), w.FileCount, window)) {
    case CapacityVerdict::Fits:
        return true;
    case CapacityVerdict::TooSmall:
        prompter.show(CapacityTooSmallText(), MsgIcon::Information);
        return false;
    case CapacityVerdict::MayBeTooSmall:
        return prompter.show(CapacityMayBeTooSmallText(), MsgIcon::Information,
                             MsgButtons::YesNo) != MsgAnswer::Yes;
    }
    return false;
}

void ApplyFileTimes::applyClicked() {
    Prompter &prompter = w.services().prompter;
    const bool video = w.ChPgDn->isChecked();
    FileGrid &g = *w.VSFlexGrid1;
    auto giveUp = [this] { w.OptAll->setChecked(true); };
    if (!video && w.Busy)
        return giveUp();
    if (w.OptExif->isChecked() && !video) {
        prompter.beep();
        return giveUp();
    }
    const bool currentRowEmpty = g.text(g.row(), 0).isEmpty();
    if (w.Option3->isChecked() && currentRowEmpty && !video) {
        prompter.beep();
        return giveUp();
    }
    w.state().operationStarted();
    if (w.OptRename->isChecked()) {
        const int done = RenameByShootingDate(w).run();
        if (done == RenameByShootingDate::NotStarted) {
            w.state().operationEnded();
            return;
        }
        closingSteps(false, done);
        return;
    }
    if (w.Option3->isChecked() && currentRowEmpty && !w.CheckAll->isChecked()) {
        prompter.beep();
        return giveUp();
    }
    // Videos keep their own dates, shifted: no time window to check.
    const bool videoShift = video && w.OptDate->isChecked() && !w.Option3->isChecked();
    if (!videoShift && !w.Option3->isChecked() && !checkWindow())
        return giveUp();
    w.state().workStarted();
    w.Frame5->setEnabled(false);
    if (videoShift)
        return runVideoShift();

    const DateTime first = StartPlan(w.features().timeFields->timeWindow()).cursor;
    if (w.Option3->isChecked() && !w.CheckAll->isChecked())
        runCurrentRow(first);
    else if (w.Option3->isChecked())
        runAllRowsAlike(first);
    else
        runPlanned();
}

void ApplyFileTimes::runCurrentRow(const DateTime &first) {
    FileGrid &g = *w.VSFlexGrid1;
    const int row = g.row();
    const FileTimesUpdate update = writeSet(first, rowTexts(row), planned());
    if (!g.text(row, 0).isEmpty() &&
        runStamps(BatchKind::FileTimes, {g.text(row, 0)},
                  [&](int) { return std::optional(update); }, row, {}) == NotStarted)
        return notStarted();
    w.services().prompter.show(QStringLiteral("修改完毕！"), MsgIcon::Information);
    w.state().workEnded();
    w.OptAll->setChecked(true);
}

void ApplyFileTimes::runAllRowsAlike(const DateTime &first) {
    FileGrid &g = *w.VSFlexGrid1;
    const int n = w.FileCount;
    const FileTimesUpdate update = writeSet(first, rowTexts(g.row()), planned());
    QStringList names;
    names.reserve(n);
    for (int r = 1; r <= n; ++r)
        names.append(g.text(r, 0));
    const bool applyEnabled = w.CmdFileDateMod->isEnabled();
    w.CmdFileDateMod->setEnabled(false);
    const int done = runStamps(
        BatchKind::FileTimes, names, [&](int) { return std::optional(update); }, 1,
        [&](int r) {
            g.selectRow(r);
            ScrollAfterRow(g, r, n);
        });
    if (done == NotStarted) {
        w.CmdFileDateMod->setEnabled(applyEnabled);
        return notStarted();
    }
    closingSteps(false, done);
}

void ApplyFileTimes::notStarted() {
    w.state().workEnded();
    w.Frame5->setEnabled(true);
    w.state().operationEnded();
    w.OptAll->setChecked(true);
}

int ApplyFileTimes::runRows(const TimeFor &timeFor, bool keptFromRow, BatchKind kind,
                            bool recordedToo) {
    FileGrid &g = *w.VSFlexGrid1;
    const int n = w.FileCount;
    // The rows as the click found them; each row's change is worked out on the batch's thread,
    // every one before the first file changes.
    std::vector<RowTexts> rows;
    rows.reserve(size_t(n));
    QStringList names;
    names.reserve(n);
    for (int i = 1; i <= n; ++i) {
        rows.push_back(rowTexts(i));
        names.append(rows.back().name);
    }
    const Planned stamps = planned();
    // Each row's move from its imported date, for the dates a video records.
    std::vector<std::optional<qint64>> moves(static_cast<size_t>(n));
    const StampsStep::Plan plan = [&](int i) -> std::optional<FileTimesUpdate> {
        const RowTexts &row = rows[size_t(i)];
        const std::optional<DateTime> time = timeFor(row);
        if (!time)
            return std::nullopt; // no date to start from: the row fails untouched
        if (const std::optional<DateTime> from = DateTime::parse(row.creation))
            moves[size_t(i)] = from->secondsTo(*time);
        FileTimesUpdate update = writeSet(*time, row, stamps);
        if (!keptFromRow) {
            // Nothing was imported for the kept stamps: they stay as they are on disk.
            if (!stamps.creation)
                update.creation.reset();
            if (!stamps.access)
                update.lastAccess.reset();
            if (!stamps.modification)
                update.lastWrite.reset();
        }
        return update;
    };
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool resetEnabled = w.CmdReset->isEnabled(), applyEnabled = w.CmdFileDateMod->isEnabled(),
               deleteEnabled = w.CmdDelete->isEnabled();
    w.CmdReset->setEnabled(false);
    w.state().applyStarted();
    w.CmdFileDateMod->setEnabled(false);
    w.CmdDelete->setEnabled(false);
    RecordedDateStep::Shift recorded;
    if (recordedToo)
        recorded = [&](int i, const DateTime &) { return moves[size_t(i)]; };
    const int done = runStamps(
        kind, names, plan, 1,
        [&](int r) {
            g.select(r, FileGrid::Cols - 1, r, FileGrid::Cols - 1);
            ScrollAfterRow(g, r, n);
        },
        recorded);
    if (done == NotStarted) {
        // Nothing changed: the window as before the click.
        QApplication::restoreOverrideCursor();
        w.CmdReset->setEnabled(resetEnabled);
        w.state().applyAbandoned();
        w.CmdFileDateMod->setEnabled(applyEnabled);
        w.CmdDelete->setEnabled(deleteEnabled);
        return NotStarted;
    }
    if (w.CheckAll->isChecked())
        w.CmdInput->setEnabled(false);
    return done;
}

void ApplyFileTimes::runPlanned() {
    const TimeWindow window = w.features().timeFields->timeWindow();
    PlanState plan = StartPlan(window);
    const int done = runRows(
        [&](const RowTexts &) {
            const DateTime t = plan.cursor;
            plan = NextPlannedTime(plan, window, w.services().random);
            return std::optional<DateTime>(t);
        },
        true, BatchKind::FileTimes);
    if (done == NotStarted)
        return notStarted();
    closingSteps(false, done);
}

void ApplyFileTimes::runVideoShift() {
    const std::optional<PhotoDateSettings> settings = w.features().dateRewrite->askSettings();
    if (!settings) {
        closingSteps(true);
        return;
    }
    Random &random = w.services().random;
    const int done = runRows(
        [&](const RowTexts &row) -> std::optional<DateTime> {
            const std::optional<DateTime> recorded = DateTime::parse(row.creation);
            if (!recorded)
                return std::nullopt;
            const qint64 amount =
                settings->randomShift
                    ? RandomAmount(FieldNumber(settings->stepStartText),
                                   FieldNumber(settings->stepEndText), random.next())
                    : FieldNumber(settings->stepText);
            return AddUnits(*recorded, settings->unit, settings->earlier ? -amount : amount);
        },
        false, BatchKind::VideoShift, settings->recordedToo);
    if (done == NotStarted)
        return notStarted();
    closingSteps(false, done);
}

void ApplyFileTimes::closingSteps(bool shiftCancelled, int done) {
    FileGrid &g = *w.VSFlexGrid1;
    const int n = w.FileCount;
    if (done >= 0 && done < n) {
        // The bar ends where a full run leaves it; the rows not reached say so already.
        w.ProgressBar1->setValue(100);
        w.features().batchStop->reportStopped(done, n - done);
    } else if (!shiftCancelled)
        w.services().prompter.show(
            QStringLiteral("修改完毕！") + CrLf + CrLf +
                QStringLiteral("稍后须单击重置所有按钮后方能进行下一次新操作！"),
            MsgIcon::Information);
    g.setRow(1);
    g.setTopRow(1);
    w.state().operationEnded();
    if (w.CheckAll->isChecked())
        w.CmdInput->setEnabled(false);
    g.select(g.row(), FileGrid::Cols - 1, g.row(), FileGrid::Cols - 1);
    if (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    w.CmdReset->setEnabled(true);
    w.state().batchClosed();
    w.Option3->setChecked(false);
    w.Option3->setEnabled(false);
    w.Frame2->setEnabled(false);
    w.CheckAll->setChecked(false);
    w.CheckAll->setEnabled(false);
    w.Option1->setChecked(true);
    w.CmdDelete->setEnabled(false);
    w.CmdReset->setFocus();
    w.Frame5->setEnabled(false);
    w.state().workEnded();
    w.ChPgDn->setEnabled(false);
    if (shiftCancelled)
        w.features().reset->resetClicked();
    w.OptAll->setChecked(true);
}

} // namespace kalmora
