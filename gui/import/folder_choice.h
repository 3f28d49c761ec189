#pragma once

#include "core/platform/app_values.h"
#include "core/platform/prompter.h"

#include <QObject>

namespace kalmora {

class FMainDate;

// True for folders the program must not work in: the Windows folder and, on newer systems, the
// program-files area by their substring rules, and the operating system's own folders here.
bool IsSystemFolder(const QString &path, const AppValues &values);

// A chosen folder made canonical: it ends with exactly one "/" (a network path keeps its "//").
QString NormaliseFolder(const QString &path);

// CmdDirBrowse: the folder question, the default folder dialog and the program's own FDir.
class FolderChoice : public QObject {
    Q_OBJECT
public:
    explicit FolderChoice(FMainDate &window);

    void browseClicked();
    // The folder dialog: the normalised folder, WorkFolder for one that does not exist, or
    // empty text when the user cancels.
    QString BrowseForFolder(const QString &title);
    // Shows FDir modally; its folder goes to the main window however it is closed, unless it
    // is a system folder (by the rules of values), which is refused with a retry.
    void showFDir(const AppValues &values);
    // A folder named from outside the window (the command line, a second start), with the
    // checks of a chosen one: a system folder is refused with the retry question, whose Retry
    // goes on as the browse button does; a path that is no folder is refused.
    void takeFolder(const QString &path);

private:
    // The values with the environment's folders read afresh, as every choice reads them.
    AppValues currentValues() const;
    void afterChoice(bool lunchFrameWasEnabled);
    // The warning with Retry and Cancel; the answer.
    MsgAnswer refuseSystemFolder();

    FMainDate &w;
};

} // namespace kalmora
