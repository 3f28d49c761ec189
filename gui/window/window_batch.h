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

// Runs `work` on the window's thread and returns its answer, waiting for it when called from
// the engine's thread (a question a step asks the user).
bool OnWindowThread(const std::function<bool()> &work);

} // namespace kalmora
