#include "cli/plan_options.h"

#include "cli/common.h"
#include "cli/output.h"

#include <QRegularExpression>
#include <QTime>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <tuple>

namespace kalmora::cli {

namespace {

std::optional<QTime> timeOfDay(const QString &text) {
    static const QRegularExpression re(QStringLiteral(R"(^(\d{1,2}):(\d{2})(?::(\d{2}))?$)"));
    const QRegularExpressionMatch m = re.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const QTime t(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    return t.isValid() ? std::optional<QTime>(t) : std::nullopt;
}

std::optional<std::pair<QTime, QTime>> timeRange(const QString &text) {
    const QStringList parts = text.split(QLatin1Char('-'));
    if (parts.size() != 2)
        return std::nullopt;
    const std::optional<QTime> from = timeOfDay(parts[0]), to = timeOfDay(parts[1]);
    if (!from || !to)
        return std::nullopt;
    return std::pair(*from, *to);
}

// --step N[s|m] and --random A-B[s|m]: the step fields and the unit. Minutes without a suffix,
// as the window starts.
bool readSteps(const Invocation &inv, TimeWindow &w, QString &error) {
    const bool random = inv.has(QStringLiteral("random"));
    if (random && inv.has(QStringLiteral("step"))) {
        error = Say("--step 与 --random 只能选一个。", "Give --step or --random, not both.");
        return false;
    }
    const QString text = random ? inv.value(QStringLiteral("random"))
                                : inv.value(QStringLiteral("step"), QStringLiteral("1m"));
    static const QRegularExpression fixed(QStringLiteral(R"(^(\d{1,3})([sm]?)$)"));
    static const QRegularExpression range(QStringLiteral(R"(^(\d{1,3})-(\d{1,3})([sm]?)$)"));
    const QRegularExpressionMatch m = (random ? range : fixed).match(text.trimmed());
    if (!m.hasMatch()) {
        error = random
                    ? Say("--random 的格式为 A-B[s|m]：%1", "--random takes A-B[s|m]: %1").arg(text)
                    : Say("--step 的格式为 N[s|m]：%1", "--step takes N[s|m]: %1").arg(text);
        return false;
    }
    const QString unit = m.captured(random ? 3 : 2);
    w.unit = unit == QLatin1String("s") ? TimeWindow::Unit::Seconds : TimeWindow::Unit::Minutes;
    w.stepMode = random ? TimeWindow::StepMode::Random : TimeWindow::StepMode::Fixed;
    QList<int> numbers;
    for (int i = 1; i <= (random ? 2 : 1); ++i)
        numbers.append(m.captured(i).toInt());
    // The window's step fields hold 1 to 300.
    for (const int n : numbers)
        if (n < 1 || n > 300) {
            error = Say("范围：1—300，请在此区间指定。", "Steps lie from 1 to 300.");
            return false;
        }
    if (random) {
        if (numbers[0] >= numbers[1]) {
            error = Say("--random 的下限须小于上限。", "--random needs A below B.");
            return false;
        }
        w.randomLower = numbers[0];
        w.randomUpper = numbers[1];
    } else {
        w.step = numbers[0];
    }
    return true;
}

} // namespace

int PreparePlan(const Invocation &inv, PlanSetup &setup) {
    TimeWindow &w = setup.window;
    const std::optional<DateTime> start = DateTime::parse(inv.value(QStringLiteral("start")));
    const std::optional<DateTime> end = DateTime::parse(inv.value(QStringLiteral("end")));
    if (!inv.has(QStringLiteral("start")) || !inv.has(QStringLiteral("end")))
        return UsageError(inv, Say("须指定 --start 和 --end。", "--start and --end are required."));
    if (!start || !end)
        return UsageError(inv, Say("日期时间的格式为 yyyy-mm-dd hh:mm:ss。",
                                   "Dates are written yyyy-mm-dd hh:mm:ss."));
    QString error;
    if (!readSteps(inv, w, error))
        return UsageError(inv, error);
    if (inv.has(QStringLiteral("seed"))) {
        bool ok = false;
        setup.seed = inv.value(QStringLiteral("seed")).toULongLong(&ok);
        if (!ok)
            return UsageError(inv, Say("--seed 须为非负整数。", "--seed takes a whole number."));
    }
    w.workingHoursOnly = inv.has(QStringLiteral("working-hours"));
    if (w.workingHoursOnly) {
        const auto hours = timeRange(inv.value(QStringLiteral("working-hours")));
        if (!hours)
            return UsageError(inv, Say("--working-hours 的格式为 HH:MM-HH:MM。",
                                       "--working-hours takes HH:MM-HH:MM."));
        std::tie(w.onDuty, w.offDuty) = *hours;
    }
    w.breakCountsAsWork = !inv.has(QStringLiteral("lunch"));
    if (!w.breakCountsAsWork) {
        if (!w.workingHoursOnly)
            return UsageError(inv, Say("--lunch 须与 --working-hours 一起使用。",
                                       "--lunch needs --working-hours."));
        const auto lunch = timeRange(inv.value(QStringLiteral("lunch")));
        if (!lunch)
            return UsageError(inv,
                              Say("--lunch 的格式为 HH:MM-HH:MM。", "--lunch takes HH:MM-HH:MM."));
        std::tie(w.breakStart, w.breakEnd) = *lunch;
    }

    // The stages, as their buttons check them.
    const qint64 startTime = ComparisonNumber(start->time()),
                 endTime = ComparisonNumber(end->time());
    QString refusal = WindowStageRefusal(ComparisonNumber(*start), ComparisonNumber(*end));
    if (refusal.isEmpty() && w.workingHoursOnly)
        refusal = DutyStageRefusal(startTime, endTime, ComparisonNumber(w.onDuty),
                                   ComparisonNumber(w.offDuty));
    if (refusal.isEmpty() && !w.breakCountsAsWork)
        refusal = BreakStageRefusal(ComparisonNumber(w.breakStart), ComparisonNumber(w.breakEnd));
    if (!refusal.isEmpty())
        return UsageError(inv, Localized(refusal));

    int status = AllDone;
    const std::optional<QStringList> names = ListFiles(inv, status);
    if (!names)
        return status;
    setup.names = *names;
    const qint64 n = setup.names.size();

    // With working hours the dates count alone; the duty hours give the times of day.
    w.start = w.workingHoursOnly ? DateTime(start->date(), QTime(0, 0)) : *start;
    w.end = w.workingHoursOnly ? DateTime(end->date(), QTime(0, 0)) : *end;
    const StepLimits limits = StepLimitsFor(WindowCapacity(w) / n);
    if (limits.tooSmall)
        return UsageError(inv, Localized(StepRangeTooSmallText()));
    // The import narrows the random bounds to what the window allows, as the fields show.
    const int lower = std::min(w.randomLower, limits.lowerMax);
    const int upper = std::min(w.randomUpper, limits.upperMax);
    if (w.stepMode == TimeWindow::StepMode::Random &&
        (lower != w.randomLower || upper != w.randomUpper))
        Message(Say("随机步长已按时间区间缩小为 %1-%2。",
                    "The random step was narrowed to %1-%2 to fit the window.")
                    .arg(lower)
                    .arg(upper));
    w.randomLower = lower;
    w.randomUpper = upper;

    if (w.workingHoursOnly) {
        refusal = ApplyDutyRefusal(startTime, endTime, ComparisonNumber(w.onDuty),
                                   ComparisonNumber(w.offDuty));
        if (!refusal.isEmpty())
            return UsageError(inv, Localized(refusal));
    }
    TimeWindow plain = w;
    plain.workingHoursOnly = false;
    plain.start = *start;
    plain.end = *end;
    switch (CheckCapacity(std::llabs(WindowCapacity(plain)), n, w)) {
    case CapacityVerdict::Fits:
        break;
    case CapacityVerdict::TooSmall:
        return UsageError(inv, Localized(CapacityTooSmallText()));
    case CapacityVerdict::MayBeTooSmall:
        // The window asks; a script goes on, as the answer "No" does there.
        Message(Localized(CapacityMayBeTooSmallText()));
        break;
    }
    return -1;
}

QList<OptionSpec> WindowOptionSpecs() {
    QList<OptionSpec> options;
    for (const char *name :
         {"start", "end", "step", "random", "seed", "working-hours", "lunch", "stamps"})
        options.append({QLatin1String(name), true});
    return options;
}

const QString WindowOptions = QStringLiteral(
    "  --start DATE           the window's start, yyyy-mm-dd hh:mm:ss (required)\n"
    "  --end DATE             the window's end, yyyy-mm-dd hh:mm:ss (required)\n"
    "  --step N[s|m]          a fixed step of N minutes (m, the default) or seconds (s);\n"
    "                         1 to 300, default 1m\n"
    "  --random A-B[s|m]      a random step from A to B (both included) instead\n"
    "  --seed N               the random steps drawn from N: plan --seed N shows what\n"
    "                         apply --seed N writes\n"
    "  --working-hours HH:MM-HH:MM\n"
    "                         only times inside these working hours, each day\n"
    "  --lunch HH:MM-HH:MM    skip this lunch break (with --working-hours)\n"
    "  --stamps c,m,a         the stamps that take the planned time: creation,\n"
    "                         modification, access (default all three)\n");

} // namespace kalmora::cli
