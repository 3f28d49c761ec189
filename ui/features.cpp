#include "ui/features.h"

#include "plan/row_deletion.h"
#include "plan/stages.h"
#include "plan/step_range.h"
#include "plan/time_fields.h"

namespace kalmora {

Features::Features(FMainDate &window)
    : timeFields(std::make_unique<TimeFields>(window)),
      stepRange(std::make_unique<StepRange>(window)), stages(std::make_unique<Stages>(window)),
      rowDeletion(std::make_unique<RowDeletion>(window)) {}

Features::~Features() = default;

} // namespace kalmora
