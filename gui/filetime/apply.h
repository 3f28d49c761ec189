#pragma once

#include "core/batch/batch.h"
#include "core/batch/recorded_date_step.h"
#include "core/batch/stamps_step.h"
#include "core/filetime/file_times.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace kalmora {

class FMainDate;

// CmdFileDateMod in file-time mode: checks the window against the list, gives every file its
// planned time (or the start time, for the current row or for all rows alike), writes the chosen
// stamps, shows what the file holds afterwards, and leaves the window for a reset.
class ApplyFileTimes : public QObject {
    Q_OBJECT
public:
    explicit ApplyFileTimes(FMainDate &window);

    void applyClicked();

    // What a batch needs of a row, taken on the window's thread: the batch's own thread works
    // out the stamps from it while the window goes on.
    struct RowTexts {
        // Columns 0, 1 (the creation time as imported, or a video's date), 6 and 7.
        QString name, creation, modification, access;
    };
    // Which stamps take the planned time, from the option buttons at the click.
    struct Planned {
        bool creation, modification, access;
    };
    RowTexts rowTexts(int row) const;
    Planned planned() const;
    // The stamps to write for a row: the planned time where the option says so, the row's own
    // imported texts for the others (a text that is not a date leaves that stamp as it is).
    static FileTimesUpdate writeSet(const DateTime &time, const RowTexts &row, Planned planned);
    // The row's result text and read-back cells after a write.
    void showResult(int row, const BatchRow &result);
    // Asked once, before any file changes, where the drive cannot hold a planned time: whether
    // to write it as the drive holds it (No, the default, refuses the batch).
    void fitToDrive(StampsStep &step);

    // The steps after a run over all rows: the applied state.
    // done: rows finished when a Stop ended the loop early; -1 when it ran to the end.
    void closingSteps(bool shiftCancelled = false, int done = -1);

private:
    bool checkWindow();
    void runCurrentRow(const DateTime &first);
    void runAllRowsAlike(const DateTime &first);
    void runPlanned();
    void runVideoShift();
    // The loop over all rows: each row's time from timeFor, asked once for each row in order on
    // the batch's thread (no value: the row fails untouched); keptFromRow: the stamps not taken
    // come from the row's imported texts, else they stay as they are on disk.
    // Returns the rows done: all of them unless a Stop came first; NotStarted when the journal
    // could not record the batch (nothing changed).
    using TimeFor = std::function<std::optional<DateTime>(const RowTexts &row)>;
    // `recordedToo`: the dates the videos record move by as much as their stamps.
    int runRows(const TimeFor &timeFor, bool keptFromRow, BatchKind kind, bool recordedToo = false);
    static constexpr int NotStarted = -2;
    // Back to the state before the click, when the journal stops the batch.
    void notStarted();
    // The batch over grid rows firstRow.. with these names and each one's update, worked out on
    // the batch's thread (no value: the row fails untouched); `around` runs after each row is
    // shown. Returns the rows done, as runRows.
    // `recorded`: each video's shift of the dates it records (RecordedDateStep), if asked.
    int runStamps(BatchKind kind, const QStringList &names, const StampsStep::Plan &plan,
                  int firstRow, const std::function<void(int row)> &around,
                  const RecordedDateStep::Shift &recorded = {});

    FMainDate &w;
};

} // namespace kalmora
