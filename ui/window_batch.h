#pragma once

#include "core/batch/batch.h"

#include <functional>

namespace kalmora {

class FMainDate;

// The window's front end to the batch engine: the runner works on a thread of its own while
// this thread shows each row as it comes (`showRow`), moves the progress bar, tells the user
// when the journal fails, and passes Stop on. Returns once the batch has ended and every row is
// shown. The window stays live meanwhile; handlers entered check `Busy` as before.
// `progress`: the progress bar follows the rows.
BatchOutcome RunWindowBatch(FMainDate &window, BatchStep &step,
                            const std::function<void(const BatchRow &)> &showRow,
                            bool progress = true);

} // namespace kalmora
