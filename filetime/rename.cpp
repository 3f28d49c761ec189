#include "filetime/rename.h"

#include "app/comm_declare.h"
#include "ui/file_grid.h"
#include "ui/main_window.h"

#include <QCheckBox>
#include <QProgressBar>
#include <QPushButton>

namespace kalmora {

RenameByShootingDate::RenameByShootingDate(FMainDate &window) : QObject(&window), w(window) {}

int RenameByShootingDate::run() {
    w.Busy = true;
    w.ClearOnReset = false;
    w.ApplyRunning = true;
    w.CmdFileDateMod->setEnabled(false);
    FileGrid &g = *w.VSFlexGrid1;
    const bool video = w.ChPgDn->isChecked();
    const int n = w.FileCount;
    BatchBreath breath;
    for (int i = 1; i <= n; ++i) {
        if (i > 1 && breath.breathe())
            return i - 1;
        w.ProgressBar1->setValue(i * 100 / n);
        g.select(i, FileGrid::Cols - 1, i, FileGrid::Cols - 1);
        const QString name = g.text(i, 0);
        const QString s = g.text(i, 2);
        const QString newName = RenameTargetName(name, s, video);
        if (newName.isEmpty()) {
            g.setText(i, 1, name);
            g.setText(i, 5, RenameInvalidDateText());
            continue;
        }
        const RenameError error = RenameNoReplace(w.pathOf(name), w.pathOf(newName));
        g.setText(i, 1, error == RenameError::None ? newName : name);
        if (error != RenameError::None)
            g.setText(i, 5, RenameFailureText(error));
        ScrollAfterRow(g, i, n);
    }
    return n;
}

} // namespace kalmora
