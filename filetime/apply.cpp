#include "filetime/apply.h"

#include "app/comm_declare.h"
#include "filetime/rename.h"
#include "photo/date_rewrite.h"
#include "photo/date_shift.h"
#include "plan/time_fields.h"
#include "ui/batch_stop.h"
#include "ui/features.h"
#include "ui/file_grid.h"
#include "ui/main_window.h"
#include "ui/reset.h"
#include "ui/up_down.h"

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

FileTimesUpdate ApplyFileTimes::writeSet(const DateTime &planned, int row) const {
    const FileGrid &g = *w.VSFlexGrid1;
    FileTimesUpdate u;
    const bool all = w.OptAll->isChecked();
    u.creation = all || w.OptCreate->isChecked() ? planned : dateOf(g.text(row, 1));
    u.lastAccess = all || w.OptAccessDate->isChecked() ? planned : dateOf(g.text(row, 7));
    u.lastWrite = all || w.OptModTime->isChecked() ? planned : dateOf(g.text(row, 6));
    return u;
}

void ApplyFileTimes::showResult(int row, const FileTimesWriteResult &result) {
    FileGrid &g = *w.VSFlexGrid1;
    // "仅创建": the other stamps go back with their old values, so a creation time that cannot
    // be set leaves the file as it was.
    const bool onlyCreation = !w.OptAll->isChecked() && w.OptCreate->isChecked();
    switch (result.outcome(onlyCreation)) {
    case WriteOutcome::Success:
        g.setText(row, 5, QStringLiteral("修改成功"));
        break;
    case WriteOutcome::SuccessCreationUnchanged:
        g.setText(row, 5, QStringLiteral("修改成功(创建时间未改)"));
        break;
    case WriteOutcome::Failure:
        g.setText(row, 5, QStringLiteral("修改失败"));
        return; // the other cells keep their texts
    }
    if (result.readBack) {
        g.setText(row, 2, result.readBack->creation.toText());
        g.setText(row, 3, result.readBack->lastWrite.toText());
        g.setText(row, 4, result.readBack->lastAccess.toDateText());
    } else {
        for (int c = 2; c <= 4; ++c)
            g.setText(row, c, QString());
    }
}

FileTimesWriteResult ApplyFileTimes::writeRow(int row, const FileTimesUpdate &update,
                                              bool retryWithoutSlash) {
    const QString name = w.VSFlexGrid1->text(row, 0);
    FileTimesWriteResult result = w.services().fileTimes.write(w.pathOf(name), update);
    // A folder text that already ends in a separator (a file-system root) takes the name as is.
    // Any other folder text run on with the name names a file beside the folder: never that.
    if (retryWithoutSlash && result.outcome() == WriteOutcome::Failure &&
        result.systemError == ENOENT && w.LDir->text().endsWith(QLatin1Char('/'))) {
        result = w.services().fileTimes.write(w.LDir->text() + name, update);
        result.state.reset(); // of another path than the journal's entry: it reads its own
    }
    return result;
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
    w.OperationRunning = true;
    if (w.OptRename->isChecked()) {
        const int done = RenameByShootingDate(w).run();
        if (done == RenameByShootingDate::NotStarted) {
            w.OperationRunning = false;
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
    w.Busy = true;
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
    if (!g.text(row, 0).isEmpty()) {
        std::vector<std::optional<FileTimesUpdate>> updates(size_t(row) + 1);
        updates[size_t(row)] = writeSet(first, row);
        std::vector<int> seqs;
        const auto journal = journalRows(BatchKind::FileTimes, updates, seqs);
        if (!journal)
            return notStarted();
        const FileTimesWriteResult result = writeRow(row, *updates[size_t(row)], false);
        showResult(row, result);
        journal->done(seqs[size_t(row)], result.outcome() != WriteOutcome::Failure, result.state);
        journal->end();
    }
    w.services().prompter.show(QStringLiteral("修改完毕！"), MsgIcon::Information);
    w.Busy = false;
    w.OptAll->setChecked(true);
}

void ApplyFileTimes::runAllRowsAlike(const DateTime &first) {
    FileGrid &g = *w.VSFlexGrid1;
    const FolderScope scope(w.LDir->text());
    const FileTimesUpdate update = writeSet(first, g.row());
    const int n = w.FileCount;
    std::vector<int> seqs;
    const auto journal =
        journalRows(BatchKind::FileTimes,
                    std::vector<std::optional<FileTimesUpdate>>(size_t(n) + 1, update), seqs);
    if (!journal)
        return notStarted();
    w.CmdFileDateMod->setEnabled(false);
    BatchBreath breath;
    int done = n;
    for (int i = 1; i <= n; ++i) {
        if (!ReadyToChange(*journal, seqs[size_t(i)], w.services().prompter,
                           [&] { breath.breathe(); })) {
            done = i - 1;
            break;
        }
        g.selectRow(i);
        const FileTimesWriteResult result = writeRow(i, update, true);
        showResult(i, result);
        journal->done(seqs[size_t(i)], result.outcome() != WriteOutcome::Failure, result.state);
        ScrollAfterRow(g, i, n);
        w.ProgressBar1->setValue(i * 100 / n);
        if (breath.breathe()) {
            done = i;
            break;
        }
    }
    journal->end([&] { breath.breathe(); });
    closingSteps(false, done);
}

std::unique_ptr<BatchJournal>
ApplyFileTimes::journalRows(BatchKind kind,
                            const std::vector<std::optional<FileTimesUpdate>> &updates,
                            std::vector<int> &seqs) {
    auto journal = OpenBatchJournal(w.services(), w.LDir->text(), kind);
    if (!journal)
        return nullptr;
    seqs.assign(updates.size(), 0);
    for (size_t i = 1; i < updates.size(); ++i) {
        if (updates[i])
            seqs[i] = journal->intendStamps(w.pathOf(w.VSFlexGrid1->text(int(i), 0)), *updates[i]);
    }
    if (!CommitFirstIntents(*journal, w.services().prompter))
        return nullptr;
    return journal;
}

void ApplyFileTimes::notStarted() {
    w.Busy = false;
    w.Frame5->setEnabled(true);
    w.OperationRunning = false;
    w.OptAll->setChecked(true);
}

int ApplyFileTimes::runRows(const std::function<std::optional<DateTime>(int row)> &timeFor,
                            bool keptFromRow, BatchKind kind) {
    FileGrid &g = *w.VSFlexGrid1;
    const FolderScope scope(w.LDir->text());
    const int n = w.FileCount;
    // Every row's change is worked out and recorded before the first file changes.
    std::vector<std::optional<FileTimesUpdate>> updates(size_t(n) + 1);
    for (int i = 1; i <= n; ++i) {
        const std::optional<DateTime> planned = timeFor(i);
        if (!planned)
            continue;
        FileTimesUpdate update = writeSet(*planned, i);
        if (!keptFromRow) {
            // Nothing was imported for the kept stamps: they stay as they are on disk.
            const bool all = w.OptAll->isChecked();
            if (!all && !w.OptCreate->isChecked())
                update.creation.reset();
            if (!all && !w.OptAccessDate->isChecked())
                update.lastAccess.reset();
            if (!all && !w.OptModTime->isChecked())
                update.lastWrite.reset();
        }
        updates[size_t(i)] = update;
    }
    std::vector<int> seqs;
    const auto journal = journalRows(kind, updates, seqs);
    if (!journal)
        return NotStarted;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    w.CmdReset->setEnabled(false);
    w.ApplyRunning = true;
    w.CmdFileDateMod->setEnabled(false);
    w.CmdDelete->setEnabled(false);
    BatchBreath breath;
    int done = n;
    for (int i = 1; i <= n; ++i) {
        g.select(i, FileGrid::Cols - 1, i, FileGrid::Cols - 1);
        w.ProgressBar1->setValue(i * 100 / n);
        if (const std::optional<FileTimesUpdate> &update = updates[size_t(i)]) {
            if (!ReadyToChange(*journal, seqs[size_t(i)], w.services().prompter,
                               [&] { breath.breathe(); })) {
                done = i - 1;
                break;
            }
            const FileTimesWriteResult result = writeRow(i, *update, false);
            showResult(i, result);
            journal->done(seqs[size_t(i)], result.outcome() != WriteOutcome::Failure, result.state);
        } else {
            g.setText(i, 5, QStringLiteral("修改失败")); // no date to start from: untouched
        }
        ScrollAfterRow(g, i, n);
        if (breath.breathe()) {
            done = i;
            break;
        }
    }
    journal->end([&] { breath.breathe(); });
    if (w.CheckAll->isChecked())
        w.CmdInput->setEnabled(false);
    return done;
}

void ApplyFileTimes::runPlanned() {
    const TimeWindow window = w.features().timeFields->timeWindow();
    PlanState plan = StartPlan(window);
    const int done = runRows(
        [&](int) {
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
    w.hide();
    const std::optional<PhotoDateSettings> settings = w.features().dateRewrite->askSettings();
    w.show();
    if (!settings) {
        closingSteps(true);
        return;
    }
    Random &random = w.services().random;
    const int done = runRows(
        [&](int row) -> std::optional<DateTime> {
            const std::optional<DateTime> recorded = DateTime::parse(w.VSFlexGrid1->text(row, 1));
            if (!recorded)
                return std::nullopt;
            const qint64 amount =
                settings->randomShift
                    ? RandomAmount(FieldNumber(settings->stepStartText),
                                   FieldNumber(settings->stepEndText), random.next())
                    : FieldNumber(settings->stepText);
            return AddUnits(*recorded, settings->unit, settings->earlier ? -amount : amount);
        },
        false, BatchKind::VideoShift);
    if (done == NotStarted)
        return notStarted();
    closingSteps(false, done);
}

void ApplyFileTimes::closingSteps(bool shiftCancelled, int done) {
    FileGrid &g = *w.VSFlexGrid1;
    const int n = w.FileCount;
    if (done >= 0 && done < n) {
        // The bar ends where a full run leaves it.
        w.ProgressBar1->setValue(100);
        BatchStop::markNotDone(g, done + 1, n);
        w.features().batchStop->reportStopped(done, n - done);
    } else if (!shiftCancelled)
        w.services().prompter.show(
            QStringLiteral("修改完毕！") + CrLf + CrLf +
                QStringLiteral("稍后须单击重置所有按钮后方能进行下一次新操作！"),
            MsgIcon::Information);
    g.setRow(1);
    g.setTopRow(1);
    w.OperationRunning = false;
    if (w.CheckAll->isChecked())
        w.CmdInput->setEnabled(false);
    g.select(g.row(), FileGrid::Cols - 1, g.row(), FileGrid::Cols - 1);
    if (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    w.CmdReset->setEnabled(true);
    w.ApplyRunning = false;
    w.ClearOnReset = true;
    w.Option3->setChecked(false);
    w.Option3->setEnabled(false);
    w.Frame2->setEnabled(false);
    w.CheckAll->setChecked(false);
    w.CheckAll->setEnabled(false);
    w.Option1->setChecked(true);
    w.CmdDelete->setEnabled(false);
    w.CmdReset->setFocus();
    w.Frame5->setEnabled(false);
    w.Busy = false;
    w.ChPgDn->setEnabled(false);
    if (shiftCancelled)
        w.features().reset->resetClicked();
    w.OptAll->setChecked(true);
}

} // namespace kalmora
