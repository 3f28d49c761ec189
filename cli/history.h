#pragma once

#include "cli/cli.h"
#include "core/journal/journal.h"

namespace kalmora::cli {

// The journal the window writes: the same folder and the same settings.
JournalConfig CliJournalConfig();

// What the user reads when the journal cannot record a batch, in the locale's language: before
// it starts (nothing changed), and during it (it stopped before the next file).
QString JournalFailureMessage(const QString &reason);
QString JournalStopMessage(const QString &reason);

// The journal's batches, newest first.
int HistoryCommand(const Invocation &inv);
// Restores one batch (the newest not yet undone by default), as the history window does.
int UndoCommand(const Invocation &inv);

} // namespace kalmora::cli
