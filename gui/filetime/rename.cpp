#include "gui/filetime/rename.h"

#include "core/batch/rename_step.h"
#include "core/grid/file_grid.h"
#include "core/platform/comm_declare.h"
#include "gui/window/main_window.h"
#include "gui/window/window_batch.h"

#include <QCheckBox>
#include <QProgressBar>
#include <QPushButton>

namespace kalmora {

RenameByShootingDate::RenameByShootingDate(FMainDate &window) : QObject(&window), w(window) {}

int RenameByShootingDate::run() {
    FileGrid &g = *w.VSFlexGrid1;
    const bool video = w.ChPgDn->isChecked();
    const int n = w.FileCount;
    // Copied here: the batch's thread works the names out while this one writes rows.
    QStringList names, dates;
    names.reserve(n);
    dates.reserve(n);
    for (int i = 1; i <= n; ++i) {
        names.append(g.text(i, 0));
        dates.append(g.text(i, 2));
    }
    // Every new name is worked out from the imported date before the first file is renamed.
    RenameStep step(names, [&](int i) { return RenameTargetName(names[i], dates[i], video); });

    const bool applyEnabled = w.CmdFileDateMod->isEnabled();
    const WindowState::BatchFlags before = w.state().batchStarted();
    w.CmdFileDateMod->setEnabled(false);
    const BatchOutcome outcome = RunWindowBatch(w, step, [&](const BatchRow &row) {
        const int i = row.index + 1;
        g.select(i, FileGrid::Cols - 1, i, FileGrid::Cols - 1);
        const QString note = row.value(QStringLiteral("note"));
        switch (row.verdict) {
        case RowVerdict::Done:
            g.setText(i, 1, step.newName(row.index));
            break;
        case RowVerdict::NotDone:
            g.setText(i, 5, note);
            return;
        default:
            g.setText(i, 1, g.text(i, 0));
            g.setText(i, 5, note);
            if (step.newName(row.index).isEmpty())
                return; // no date: nothing was tried
            break;
        }
        ScrollAfterRow(g, i, n);
    });
    if (outcome.end == BatchOutcome::End::NotStarted) {
        // Nothing changed: the window as before.
        w.state().batchAbandoned(before);
        w.CmdFileDateMod->setEnabled(applyEnabled);
        return NotStarted;
    }
    return outcome.end == BatchOutcome::End::Finished ? n : outcome.reached;
}

} // namespace kalmora
