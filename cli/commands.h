#pragma once

#include "cli/cli.h"

namespace kalmora::cli {

// One function per command, each in its own file (cmd_*.cpp); the table in commands.cpp.
int PlanCommand(const Invocation &inv);
int ApplyCommand(const Invocation &inv);
int ShiftDateCommand(const Invocation &inv);
int RenameCommand(const Invocation &inv);
int StampsFromDateCommand(const Invocation &inv);
int ExportTimesCommand(const Invocation &inv);
int ExportExifCommand(const Invocation &inv);
int StripCommand(const Invocation &inv);

} // namespace kalmora::cli
