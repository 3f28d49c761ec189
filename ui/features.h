#pragma once

#include <memory>

namespace kalmora {

class FMainDate;
class RowDeletion;
class Stages;
class StepRange;
class TimeFields;

// The feature areas attached to the main window. Each owns the handlers of its controls; a
// handler that must run another calls the owner through here.
struct Features {
    std::unique_ptr<TimeFields> timeFields;
    std::unique_ptr<StepRange> stepRange;
    std::unique_ptr<Stages> stages;
    std::unique_ptr<RowDeletion> rowDeletion;

    explicit Features(FMainDate &window);
    ~Features();
};

} // namespace kalmora
