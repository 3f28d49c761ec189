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

namespace {

RenameError classify(int error) {
    switch (error) {
    case EEXIST:
    case ENOTEMPTY:
        return RenameError::Exists;
    case ENOENT:
    case EACCES:
    case EPERM:
    case EROFS:
    case ENAMETOOLONG:
        return RenameError::Access;
    default:
        return RenameError::Other;
    }
}

} // namespace

RenameError RenameNoReplace(const QString &from, const QString &to) {
    const QByteArray a = PathBytes(from), b = PathBytes(to);
    if (renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_NOREPLACE) == 0)
        return RenameError::None;
    if (errno != EINVAL && errno != ENOSYS)
        return classify(errno);
    // The file system cannot refuse a replacement by itself: a hard link cannot replace
    // anything either, and the old name goes only once the new one exists.
    if (link(a.constData(), b.constData()) != 0)
        return classify(errno);
    if (unlink(a.constData()) != 0) {
        const int error = errno;
        unlink(b.constData()); // the file keeps exactly one name
        return classify(error);
    }
    return RenameError::None;
}

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
        const QString base = RenameBaseName(s, video);
        const bool unknownDate = s.isEmpty() || s.contains(QLatin1String("   "));
        if ((unknownDate && !video) || base.isEmpty()) {
            g.setText(i, 1, name);
            g.setText(i, 5, QStringLiteral("更名失败(日期无效)"));
            continue;
        }
        // A name in another encoding gets a new name in UTF-8.
        const QString newName = base + DisplayName(ExtensionOf(name));
        const RenameError error = RenameNoReplace(w.pathOf(name), w.pathOf(newName));
        g.setText(i, 1, error == RenameError::None ? newName : name);
        if (error != RenameError::None)
            g.setText(i, 5, RenameFailureText(error));
        ScrollAfterRow(g, i, n);
    }
    return n;
}

} // namespace kalmora
