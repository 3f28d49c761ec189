#include "gui/plan/row_deletion.h"

#include "core/grid/file_grid.h"
#include "gui/plan/step_range.h"
#include "gui/window/features.h"
#include "gui/window/file_grid_view.h"
#include "gui/window/main_window.h"

#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

namespace kalmora {

namespace {
// The grid never shrinks below the header and 30 rows.
constexpr int MinimumRows = 31;
} // namespace

RowDeletion::RowDeletion(FMainDate &window) : QObject(&window), w(window) {
    connect(w.CmdDelete, &QPushButton::clicked, this, &RowDeletion::deleteClicked);
    connect(w.GridView, &FileGridView::gridDoubleClicked, this, &RowDeletion::gridDoubleClicked);
}

QString RowDeletion::remainingText(const QString &caption, int fileCount) {
    const qsizetype stop = caption.indexOf(QStringLiteral("。"));
    const QString prefix = stop < 0 ? QString() : caption.left(stop + 1);
    return prefix + QStringLiteral("现在还剩") + QString::number(fileCount) +
           QStringLiteral("个接受修改。");
}

// Removes a row that holds a file; blank filler rows are never counted as files.
bool RowDeletion::removeFileRow(int row) {
    FileGrid &g = *w.VSFlexGrid1;
    if (g.text(row, 0).isEmpty())
        return false;
    // A row a stopped import did not read is no file of the batch: the count stays.
    const bool counted = row <= w.FileCount;
    g.removeRow(row);
    if (g.rows() < MinimumRows + 1)
        g.setRows(MinimumRows);
    if (counted)
        w.state().fileRowRemoved();
    return true;
}

void RowDeletion::afterDeletion() {
    w.LFilesCount->setText(remainingText(w.LFilesCount->text(), w.FileCount));
    if (w.FileCount != 0)
        w.features().stepRange->UpdateStepRange();
}

void RowDeletion::deleteClicked() {
    FileGrid &g = *w.VSFlexGrid1;
    if (g.text(g.row(), 0).isEmpty()) {
        w.services().prompter.beep();
        return;
    }
    if (w.ApplyRunning || w.FileCount == 0)
        return;
    const int first = std::max(g.row(), g.rowSel());
    const int last = std::min(g.row(), g.rowSel());
    // From the bottom up, so that a removal does not shift the rows still to visit.
    for (int r = first; r >= last; --r)
        removeFileRow(r);
    afterDeletion();
}

void RowDeletion::gridDoubleClicked() {
    FileGrid &g = *w.VSFlexGrid1;
    const int row = g.row();
    if (row == 1 || w.ClearOnReset)
        return;
    if (w.Busy) {
        w.services().prompter.beep();
        return;
    }
    const QString name = g.text(row, 0);
    if (name.isEmpty() || w.ApplyRunning || w.FileCount == 0)
        return;
    emit w.rowPreviewRequested();
    if (w.Option3->isChecked() && w.OptExif->isChecked()) {
        w.services().desktop.openFile(w.pathOf(name));
        return;
    }
    if (removeFileRow(row))
        afterDeletion();
}

} // namespace kalmora
