// kalmora-cli apply: the planned times written as the files' stamps.
#include "cli/commands.h"
#include "cli/common.h"
#include "cli/output.h"
#include "cli/plan_options.h"
#include "core/batch/stamps_step.h"

namespace kalmora::cli {

int ApplyCommand(const Invocation &inv) {
    const std::optional<StampChoice> stamps =
        ReadStamps(inv.value(QStringLiteral("stamps"), QStringLiteral("c,m,a")));
    if (!stamps)
        return UsageError(inv, StampsUsageText());
    PlanSetup setup;
    if (const int status = PreparePlan(inv, setup); status >= 0)
        return status;
    const bool onlyCreation = stamps->creation && !stamps->modification && !stamps->access;
    // As the import does: every file's stamps first, the kept ones go back as they were read.
    // With all three planned, nothing read would be kept.
    const bool keepsSome = !stamps->creation || !stamps->modification || !stamps->access;
    MtRandom random = setup.random();
    PlanState plan = StartPlan(setup.window);
    // Each file's time as the batch comes to it (in order, once each), read through the
    // batch's hold on the folder: the plan of a million files is never held whole.
    StampsStep step(BatchKind::FileTimes, onlyCreation, setup.names, [&](int i) {
        const DateTime t = plan.cursor;
        plan = NextPlannedTime(plan, setup.window, random);
        const std::optional<FileTimes> old =
            keepsSome ? ReadFileTimes(PathOf(inv, setup.names[i])) : std::nullopt;
        const auto kept = [&](bool planned, DateTime FileTimes::*stamp) {
            return planned ? std::optional(t) : old ? std::optional((*old).*stamp) : std::nullopt;
        };
        FileTimesUpdate update;
        update.creation = kept(stamps->creation, &FileTimes::creation);
        update.lastWrite = kept(stamps->modification, &FileTimes::lastWrite);
        update.lastAccess = kept(stamps->access, &FileTimes::lastAccess);
        return std::optional(update);
    });
    // What the drive cannot hold as planned is said once, before anything changes.
    bool refusedForDrive = false;
    FitStampsToDrive(inv, step, refusedForDrive);
    const int status = RunBatch(inv, step);
    return refusedForDrive ? int(SomeFailed) : status;
}

} // namespace kalmora::cli
