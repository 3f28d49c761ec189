#include "gui/import/folder_choice.h"

#include "core/base/path_bytes.h"

#include "gui/plan/stages.h"
#include "gui/window/fdir.h"
#include "gui/window/features.h"
#include "gui/window/main_window.h"
#include "gui/window/reset.h"

#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include <sys/stat.h>

namespace kalmora {

namespace {

bool sameOrBelow(const QString &path, const QString &folder) {
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

} // namespace

bool IsSystemFolder(const QString &path, const AppValues &values) {
    if (!values.WinDir.isEmpty() && path.contains(values.WinDir))
        return true;
    if (values.IsWin7OrAbove && IsBelowProgramFiles(path, values.ProgramFilesDir))
        return true;
    const QString clean = QDir::cleanPath(path);
    if (sameOrBelow(clean, QStringLiteral("/run/media")))
        return false; // removable media
    for (const char *system : {"/bin", "/boot", "/dev", "/etc", "/lib", "/lib32", "/lib64",
                               "/libx32", "/proc", "/run", "/sbin", "/sys", "/usr", "/var"}) {
        if (sameOrBelow(clean, QLatin1String(system)))
            return true;
    }
    return false;
}

QString NormaliseFolder(const QString &path) {
    if (path.isEmpty())
        return {};
    QString p = path + QLatin1Char('/');
    while (p.contains(QLatin1String("//")))
        p.replace(QLatin1String("//"), QLatin1String("/"));
    if (path.startsWith(QLatin1String("//")))
        p.prepend(QLatin1Char('/')); // a network path keeps its double separator
    return p;
}

FolderChoice::FolderChoice(FMainDate &window) : QObject(&window), w(window) {
    connect(w.CmdDirBrowse, &QPushButton::clicked, this, &FolderChoice::browseClicked);
}

QString FolderChoice::BrowseForFolder(const QString &title) {
    const QString chosen = w.services().fileDialogs.chooseFolder(title, w.LDir->text());
    const QString folder = NormaliseFolder(chosen);
    if (!folder.isEmpty() && !QFileInfo(folder).isDir())
        return w.values().WorkFolder;
    return folder;
}

void FolderChoice::showFDir(const AppValues &values) {
    for (;;) {
        FDir dialog(w.values().WorkFolder, &w);
        dialog.exec();
        const QString folder = dialog.folder();
        // The same refusal as the default way: no way of choosing may reach a system folder.
        if (IsSystemFolder(folder, values)) {
            if (refuseSystemFolder() == MsgAnswer::Retry)
                continue;
            return;
        }
        w.features().reset->chooseFolder(folder);
        return;
    }
}

MsgAnswer FolderChoice::refuseSystemFolder() {
    return w.services().prompter.show(QStringLiteral("不允许操作系统目录，请重新指定其他目录！"),
                                      MsgIcon::Warning, MsgButtons::RetryCancel,
                                      QStringLiteral("提醒"));
}

AppValues FolderChoice::currentValues() const {
    AppValues values = w.values();
    values.ProgramFilesDir = w.services().environment.variable(QStringLiteral("ProgramFiles"));
    values.WinDir = w.services().environment.variable(QStringLiteral("windir"));
    return values;
}

void FolderChoice::takeFolder(const QString &path) {
    const QString folder = NormaliseFolder(QDir::cleanPath(QDir::current().absoluteFilePath(path)));
    if (IsSystemFolder(folder, currentValues())) {
        if (refuseSystemFolder() == MsgAnswer::Retry)
            browseClicked();
        return;
    }
    struct stat info {};
    if (folder.contains(QLatin1Char('{')) || ::stat(PathBytes(folder).constData(), &info) != 0 ||
        !S_ISDIR(info.st_mode)) {
        w.services().prompter.show(QStringLiteral("该目录不可用，请重新指定。"), MsgIcon::Critical,
                                   MsgButtons::Ok, QStringLiteral("警告"));
        return;
    }
    w.OptAll->setChecked(true);
    const bool lunchFrame = w.Frame2->isEnabled();
    w.features().reset->chooseFolder(folder);
    afterChoice(lunchFrame);
}

void FolderChoice::browseClicked() {
    Services &s = w.services();
    w.OptAll->setChecked(true);
    const AppValues values = currentValues();
    const QString previous = w.LDir->text();
    FMainDate::setTag(w.CmdDirBrowse, previous);
    const bool lunchFrame = w.Frame2->isEnabled();

    if (s.settings.value(QStringLiteral("Default"), QStringLiteral("DefaultDirAss")) !=
        QLatin1String("Yes")) {
        const MsgAnswer a = s.prompter.show(
            QStringLiteral("选择“否”后，如果您的系统报告Run-time error 429错误，请用替代方式。\r\n"
                           "是——使用替代方式来指定目录\r\n"
                           "取消——我的系统正常，使用默认方式，以后不再出现本提示"),
            MsgIcon::Information, MsgButtons::YesNoCancel, QStringLiteral("消息"), MsgAnswer::No);
        if (a == MsgAnswer::Yes) {
            showFDir(values);
            return;
        }
        if (a == MsgAnswer::Cancel)
            s.settings.setValue(QStringLiteral("Default"), QStringLiteral("DefaultDirAss"),
                                QStringLiteral("Yes"));
    }
    for (;;) {
        const QString path = BrowseForFolder(QStringLiteral("请选择输入目录："));
        if (!path.isEmpty() && IsSystemFolder(path, values)) {
            if (refuseSystemFolder() == MsgAnswer::Retry)
                continue;
            return;
        }
        if (path.contains(QLatin1Char('{'))) {
            s.prompter.show(QStringLiteral("该目录不可用，请重新指定。"), MsgIcon::Critical,
                            MsgButtons::Ok, QStringLiteral("警告"));
            continue;
        }
        if (path.isEmpty())
            return;
        w.features().reset->chooseFolder(path);
        afterChoice(lunchFrame);
        return;
    }
}

void FolderChoice::afterChoice(bool lunchFrameWasEnabled) {
    w.Frame2->setEnabled(lunchFrameWasEnabled);
    if (w.OptRename->isChecked())
        w.CmdInput->setEnabled(true);
    else
        w.features().stages->timeZoneClicked();
    if (w.OptExif->isChecked() || w.OptRename->isChecked())
        w.CmdInput->setEnabled(true);
    if (w.Option3->isChecked())
        w.CmdInput->setEnabled(true);
}

} // namespace kalmora
