#include "core/platform/app_values.h"

#include <QDir>
#include <QFileInfo>

namespace kalmora {

QString NoticeText;

QString GetSysTemVerNum(const OsVersionInfo &v) {
    if (v.platformId == 1) {
        switch (v.minor) {
        case 0:
            return QStringLiteral("Windows 95");
        case 10:
            return QStringLiteral("Windows 98");
        case 90:
            return QStringLiteral("Windows Mellinnium");
        default:
            return {};
        }
    }
    if (v.platformId == 2) {
        switch (v.major) {
        case 3:
            return QStringLiteral("Windows NT 3.51");
        case 4:
            return QStringLiteral("Windows NT 4.0");
        case 5:
            return v.minor == 0 ? QStringLiteral("Windows 2000") : QStringLiteral("Windows XP");
        default:
            return QStringLiteral("Win7OrAbove");
        }
    }
    return QStringLiteral("Failed");
}

QString GetSysTemVerNum(const Environment &environment) {
    return GetSysTemVerNum(environment.osVersion());
}

static bool isSameOrBelow(const QString &path, const QString &folder) {
    const QString p = QDir::cleanPath(path);
    const QString f = QDir::cleanPath(folder);
    return p == f || p.startsWith(f.endsWith(QLatin1Char('/')) ? f : f + QLatin1Char('/'));
}

bool IsBelowProgramFiles(const QString &path, const QString &programFilesDir) {
    if (!programFilesDir.isEmpty())
        return path.contains(programFilesDir); // exact, case-sensitive
    return isSameOrBelow(path, QStringLiteral("/usr")) ||
           isSameOrBelow(path, QStringLiteral("/opt"));
}

QString ExportFolderOf(const AppValues &values, bool make) {
    const QString folder = values.ExportFolder.isEmpty() ? values.WorkFolder : values.ExportFolder;
    if (make && !folder.isEmpty())
        QDir().mkpath(folder);
    return folder;
}

AppValues ComputeAppValues(const Environment &environment) {
    AppValues v;
    v.OsVersionName = GetSysTemVerNum(environment);
    v.IsWin7OrAbove = v.OsVersionName == QLatin1String("Win7OrAbove");
    v.ProgramFilesDir = environment.variable(QStringLiteral("ProgramFiles"));
    v.WinDir = environment.variable(QStringLiteral("windir"));

    const QString programFolder = environment.programFolder();
    const QString documents = environment.documentsFolder();
    if (!documents.isEmpty())
        v.ExportFolder = documents + QStringLiteral("/Kalmora");
    if (!v.IsWin7OrAbove) {
        v.WorkFolder = programFolder;
        return v;
    }
    v.ProgramDataDir = environment.variable(QStringLiteral("ProgramData"));
    if (v.ProgramDataDir.isEmpty()) {
        // The user's own data folder holds one folder per program, named after the program:
        // a folder named after wherever the binary sits ("bin", a build folder) is clutter.
        v.ProgramDataDir = environment.userDataFolder();
        v.AppFolderName = QStringLiteral("Kalmora");
    } else {
        v.AppFolderName = programFolder.mid(programFolder.lastIndexOf(QLatin1Char('/')) + 1);
    }
    v.WorkFolder = v.ProgramDataDir + QLatin1Char('/') + v.AppFolderName;
    if (!IsBelowProgramFiles(programFolder, v.ProgramFilesDir))
        v.WorkFolder = programFolder;
    return v;
}

} // namespace kalmora
