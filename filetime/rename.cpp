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
    FileGrid &g = *w.VSFlexGrid1;
    const bool video = w.ChPgDn->isChecked();
    const int n = w.FileCount;
    // Every new name is worked out and recorded before the first file is renamed.
    QStringList newNames(n + 1);
    for (int i = 1; i <= n; ++i)
        newNames[i] = RenameTargetName(g.text(i, 0), g.text(i, 2), video);
    const auto journal = OpenBatchJournal(w.services(), w.LDir->text(), BatchKind::Rename);
    if (!journal)
        return NotStarted;
    QList<int> seqs(n + 1);
    for (int i = 1; i <= n; ++i) {
        if (!newNames[i].isEmpty())
            seqs[i] = journal->intendRename(w.pathOf(g.text(i, 0)), w.pathOf(newNames[i]));
    }
    if (!CommitFirstIntents(*journal, w.services().prompter))
        return NotStarted;

    w.Busy = true;
    w.ClearOnReset = false;
    w.ApplyRunning = true;
    w.CmdFileDateMod->setEnabled(false);
    BatchBreath breath;
    for (int i = 1; i <= n; ++i) {
        if (i > 1 && breath.breathe()) {
            journal->end();
            return i - 1;
        }
        w.ProgressBar1->setValue(i * 100 / n);
        g.select(i, FileGrid::Cols - 1, i, FileGrid::Cols - 1);
        const QString name = g.text(i, 0);
        const QString &newName = newNames[i];
        if (newName.isEmpty()) {
            g.setText(i, 1, name);
            g.setText(i, 5, RenameInvalidDateText());
            continue;
        }
        if (!ReadyToChange(*journal, seqs[i], w.services().prompter, [&] { breath.breathe(); })) {
            journal->end();
            return i - 1;
        }
        const RenameError error = RenameNoReplace(w.pathOf(name), w.pathOf(newName));
        journal->done(seqs[i], error == RenameError::None);
        g.setText(i, 1, error == RenameError::None ? newName : name);
        if (error != RenameError::None)
            g.setText(i, 5, RenameFailureText(error));
        ScrollAfterRow(g, i, n);
    }
    journal->end([&] { breath.breathe(); });
    return n;
}

} // namespace kalmora
