#pragma once

#include "cli/cli.h"
#include "journal/journal.h"

#include <memory>

namespace kalmora::cli {

// The journal the window writes: the same folder and the same settings.
JournalConfig CliJournalConfig();

// The journal of a writing batch over `folder` (an absolute path), begun. No value when it
// cannot be written: the reason is on standard error and `status` is NotJournaled; the batch
// must not start.
std::unique_ptr<BatchJournal> OpenCliJournal(const QString &folder, BatchKind kind, int &status);
// Before any intent: the journal writes the intents while the command still works them out
// (BatchJournal::streamIntents); CommitCliJournal(…, true) then marks the last. False as above.
bool StreamCliIntents(BatchJournal &journal, int expected, int &status);
// Makes the intents durable; false as above when it cannot. `firstOnly`, for a loop that asks
// ReadyForChange before each file: only the first intents are flushed before the first file
// changes, the others while the files change.
bool CommitCliJournal(BatchJournal &journal, int &status, bool firstOnly = false);
// Whether the file of intent `seq` may change now. False: the journal failed meanwhile; the
// reason is printed, `status` is NotJournaled, and neither this file nor any later may change.
bool ReadyForChange(BatchJournal &journal, int seq, int &status);
// What the user reads when the journal stops a batch, in the locale's language.
QString JournalFailureMessage(const QString &reason);

// The journal's batches, newest first.
int HistoryCommand(const Invocation &inv);
// Restores one batch (the newest not yet undone by default), as the history window does.
int UndoCommand(const Invocation &inv);

} // namespace kalmora::cli
