#include "filetime/rename.h"

#include "app/comm_declare.h"
#include "app/path_bytes.h"

#include "ui/file_grid.h"
#include "ui/main_window.h"

#include <QCheckBox>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace kalmora {

QString RenameBaseName(const QString &s, bool video) {
    QString base;
    if (video) {
        if (s.size() < 12)
            return {};
        base = s.left(10).replace(QLatin1Char(':'), QLatin1Char('-')) + QLatin1Char(' ') +
               s.mid(11).replace(QLatin1Char(':'), QLatin1Char('.'));
    } else {
        const qsizetype p = s.indexOf(QLatin1Char(' '));
        if (p < 0)
            return {};
        base = s.left(p).replace(QLatin1Char(':'), QLatin1Char('-')) +
               s.mid(p).replace(QLatin1Char(':'), QLatin1Char('.'));
    }
    // A date text is no path: a separator would move the file elsewhere.
    if (base.contains(QLatin1Char('/')) || base.contains(QChar(0)) || base.trimmed().isEmpty())
        return {};
    return base;
}

QString ExtensionOf(const QString &name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

QString RenameFailureText(RenameError error) {
    switch (error) {
    case RenameError::None:
        return {};
    case RenameError::Exists:
        return QStringLiteral("更名失败(同名)");
    case RenameError::Access:
        return QStringLiteral("更名失败(文件访问错误)");
    case RenameError::Other:
        return QStringLiteral("更名失败(文在在使用中)");
    }
    return {};
}

RenameByShootingDate::RenameByShootingDate(FMainDate &window) : QObject(&window), w(window) {}

int RenameByShootingDate::run() {
    FileGrid &g = *w.VSFlexGrid1;
    const bool video = w.ChPgDn->isChecked();
    const int n = w.FileCount;
    // Every new name is worked out and recorded before the first file is renamed.
    QStringList newNames(n + 1);
    for (int i = 1; i <= n; ++i) {
        const QString s = g.text(i, 2);
        const QString base = RenameBaseName(s, video);
        const bool unknownDate = s.isEmpty() || s.contains(QLatin1String("   "));
        // A name in another encoding gets a new name in UTF-8.
        if (!(unknownDate && !video) && !base.isEmpty())
            newNames[i] = base + DisplayName(ExtensionOf(g.text(i, 0)));
    }
    const auto journal = OpenBatchJournal(w.services(), w.LDir->text(), BatchKind::Rename);
    if (!journal)
        return NotStarted;
    QList<int> seqs(n + 1);
    for (int i = 1; i <= n; ++i) {
        if (!newNames[i].isEmpty())
            seqs[i] = journal->intendRename(w.pathOf(g.text(i, 0)), w.pathOf(newNames[i]));
    }
    if (!CommitIntents(*journal, w.services().prompter))
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
            g.setText(i, 5, QStringLiteral("更名失败(日期无效)"));
            continue;
        }
        const RenameError error = RenameNoReplace(w.pathOf(name), w.pathOf(newName));
        journal->done(seqs[i], error == RenameError::None);
        g.setText(i, 1, error == RenameError::None ? newName : name);
        if (error != RenameError::None)
            g.setText(i, 5, RenameFailureText(error));
        ScrollAfterRow(g, i, n);
    }
    journal->end();
    return n;
}

} // namespace kalmora
