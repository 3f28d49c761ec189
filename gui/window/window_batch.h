#pragma once

#include "core/batch/batch.h"

#include <functional>

namespace kalmora {

class FMainDate;

// The window's front end to the batch engine: the runner works on a thread of its own while
// this thread shows each row as it comes (`showRow`), moves the progress bar, tells the user
// when the journal fails, and passes Stop on. Returns once the batch has ended and every row is
// shown. The window stays live meanwhile; handlers entered check `Busy` as before.
struct WindowBatchOptions {
    bool progress = true; // the progress bar follows the rows
    // After a pass with failures: whether to try the failed files again (BatchSink::again).
    std::function<bool(int failed)> again;
};
BatchOutcome RunWindowBatch(FMainDate &window, BatchStep &step,
                            const std::function<void(const BatchRow &)> &showRow,
                            const WindowBatchOptions &options = {});

// Reads `count` rows on a thread of its own (`read(i, row)` there, for i from 0 on) while this
// thread shows each row as it comes (`showRow`, in order) and moves the progress bar. The user's
// Stop ends it after the row in hand; the rows read are all shown before it returns. Returns how
// many rows were read. For work that changes no file (the import, the exports).
int RunWindowReads(FMainDate &window, int count, const std::function<void(int, BatchRow &)> &read,
                   const std::function<void(const BatchRow &)> &showRow);

// Runs `work` on a thread of its own while this thread handles its events; returns once it has
// ended. Should the program end meanwhile, `stop` asks the work to end after the file in hand.
void RunOffWindowThread(const std::function<void()> &work, const std::function<void()> &stop);

// Runs `work` on the window's thread and returns its answer, waiting for it when called from
// the engine's thread (a question a step asks the user).
bool OnWindowThread(const std::function<bool()> &work);

} // namespace kalmora
