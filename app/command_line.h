#pragma once

#include <QString>
#include <QStringList>

namespace kalmora {

// What the program was asked on its command line. Read before any window exists, so --help and
// --version answer without a display.
struct CommandLine {
    enum class Action { Run, Help, Version, UsageError };
    Action action = Action::Run;
    QString folder; // the folder to start with; empty for the usual start
    QString error;  // for UsageError: what was wrong
};

// args: the program's arguments after its name. Qt's own options (-platform, -style, …) are
// left for Qt.
CommandLine ParseCommandLine(const QStringList &args);
QString UsageText();
QString VersionText();

} // namespace kalmora
