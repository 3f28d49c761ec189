#pragma once

#include "core/platform/environment.h"

#include <QString>

namespace kalmora {

// The version name of an operating-system version, by the classic classification table.
QString GetSysTemVerNum(const OsVersionInfo &version);
// The same for the host that the environment describes.
QString GetSysTemVerNum(const Environment &environment);

// Process-wide values fixed at start-up.
struct AppValues {
    QString OsVersionName;
    bool IsWin7OrAbove = false;
    QString ProgramFilesDir;
    QString WinDir;
    QString ProgramDataDir;
    QString AppFolderName;
    QString WorkFolder;
    // Where the text exports go: the user's documents folder's "Kalmora"; empty, the work folder.
    QString ExportFolder;
};

// The folder the text exports go to (the documents folder's "Kalmora", else the work folder),
// made when `make` and it is missing.
QString ExportFolderOf(const AppValues &values, bool make = false);

// True when path lies in the program-files area: below the "ProgramFiles" folder when that
// variable is set, otherwise below the system program prefixes /usr or /opt.
bool IsBelowProgramFiles(const QString &path, const QString &programFilesDir);

// Computes the values. No folder is made: each is made when something is first written there.
AppValues ComputeAppValues(const Environment &environment);

// The text the notice window shows; set by whoever opens it.
extern QString NoticeText;

} // namespace kalmora
