#pragma once

#include "cli/cli.h"
#include "core/plan/time_plan.h"
#include "core/platform/random.h"

#include <QStringList>

#include <optional>

namespace kalmora::cli {

// The plan of the window's options for the listed files, through the checks the window makes
// on the way: fixing the stages, the step-range update of the import, the apply's checks.
struct PlanSetup {
    TimeWindow window;
    QStringList names;
    std::optional<std::uint64_t> seed; // --seed: the random steps drawn from it
    // The random steps of the plan: from the seed when one is given.
    MtRandom random() const { return seed ? MtRandom(*seed) : MtRandom(); }
};
// -1 when the plan is set up; otherwise the exit status (the reason told).
int PreparePlan(const Invocation &inv, PlanSetup &setup);

// The options of the time window, shared by plan and apply, and their help.
QList<OptionSpec> WindowOptionSpecs();
extern const QString WindowOptions;

} // namespace kalmora::cli
