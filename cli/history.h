#pragma once

#include "cli/cli.h"

namespace kalmora::cli {

// The journal's batches, newest first.
int HistoryCommand(const Invocation &inv);
// Restores one batch (the newest not yet undone by default), as the history window does.
int UndoCommand(const Invocation &inv);

} // namespace kalmora::cli
