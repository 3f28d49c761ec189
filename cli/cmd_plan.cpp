// kalmora-cli plan: the planned time of every file.
#include "cli/commands.h"
#include "cli/common.h"
#include "cli/output.h"
#include "cli/plan_options.h"

namespace kalmora::cli {

int PlanCommand(const Invocation &inv) {
    if (!ReadStamps(inv.value(QStringLiteral("stamps"), QStringLiteral("c,m,a"))))
        return UsageError(inv, StampsUsageText());
    PlanSetup setup;
    if (const int status = PreparePlan(inv, setup); status >= 0)
        return status;
    Results results(inv.flags.contains(QStringLiteral("json")));
    MtRandom random = setup.random();
    PlanState plan = StartPlan(setup.window);
    for (const QString &name : setup.names) {
        results.add(PathOf(inv, name), QStringLiteral("planned"),
                    {{QStringLiteral("time"), plan.cursor.toText()}});
        plan = NextPlannedTime(plan, setup.window, random);
    }
    return AllDone;
}

} // namespace kalmora::cli
