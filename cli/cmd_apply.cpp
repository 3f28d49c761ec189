// kalmora-cli apply: the planned times written as the files' stamps.
#include "cli/commands.h"
#include "cli/common.h"
#include "cli/plan_options.h"
#include "core/batch/stamps_step.h"
#include "core/platform/random.h"

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
    StampsStep step(BatchKind::FileTimes, onlyCreation);
    step.items.reserve(size_t(setup.names.size()));
    // As the import does: every file's stamps first, the kept ones go back as they were read.
    // With all three planned, nothing read would be kept.
    const bool keepsSome = !stamps->creation || !stamps->modification || !stamps->access;
    MtRandom random;
    PlanState plan = StartPlan(setup.window);
    {
        const FolderScope scope(inv.folder);
        for (const QString &name : setup.names) {
            const DateTime t = plan.cursor;
            plan = NextPlannedTime(plan, setup.window, random);
            const std::optional<FileTimes> old =
                keepsSome ? ReadFileTimes(PathOf(inv, name)) : std::nullopt;
            const auto kept = [&](bool planned, DateTime FileTimes::*stamp) {
                return planned ? std::optional(t)
                       : old   ? std::optional((*old).*stamp)
                               : std::nullopt;
            };
            FileTimesUpdate update;
            update.creation = kept(stamps->creation, &FileTimes::creation);
            update.lastWrite = kept(stamps->modification, &FileTimes::lastWrite);
            update.lastAccess = kept(stamps->access, &FileTimes::lastAccess);
            step.items.push_back({name, update});
        }
    }
    return RunBatch(inv, step);
}

} // namespace kalmora::cli
