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
};

// True when path lies in the program-files area: below the "ProgramFiles" folder when that
// variable is set, otherwise below the system program prefixes /usr or /opt.
bool IsBelowProgramFiles(const QString &path, const QString &programFilesDir);

// Computes the values and makes sure the "OutPict" sub-folder of the program-data candidate
// exists (failures to create it are not reported).
AppValues ComputeAppValues(const Environment &environment);

// The text the notice window shows; set by whoever opens it.
extern QString NoticeText;

} // namespace kalmora
