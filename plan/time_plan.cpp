#include "plan/time_plan.h"

#include <cmath>
#include <cstdlib>

namespace kalmora {

namespace {

// Difference in the window's unit between two times of the same day.
qint64 unitsBetween(const QTime &a, const QTime &b, TimeWindow::Unit unit) {
    const DateTime day(2000, 1, 1);
    const DateTime from(day.date(), a);
    const DateTime to(day.date(), b);
    return unit == TimeWindow::Unit::Minutes ? from.minutesTo(to) : from.secondsTo(to);
}

DateTime at(const DateTime &day, const QTime &time) {
    return DateTime(day.date(), time);
}

} // namespace

qint64 WindowCapacity(const TimeWindow &w) {
    if (!w.start.isValid() || !w.end.isValid())
        return 0;
    if (!w.workingHoursOnly)
        return w.unit == TimeWindow::Unit::Minutes ? w.start.minutesTo(w.end)
                                                   : w.start.secondsTo(w.end);
    const qint64 days = std::llabs(w.start.daysTo(w.end));
    const qint64 duty = std::llabs(unitsBetween(w.onDuty, w.offDuty, w.unit));
    if (w.breakCountsAsWork)
        return duty * (days + 1);
    const qint64 brk = std::llabs(unitsBetween(w.breakStart, w.breakEnd, w.unit));
    return std::llabs(duty - brk) * (days + 1);
}

StepLimits StepLimitsFor(qint64 q) {
    StepLimits limits;
    if (q >= 300)
        return limits;
    if (q < 1) {
        limits.tooSmall = true;
        limits.stepMax = limits.lowerMax = limits.upperMax = 1;
        return limits;
    }
    limits.stepMax = int(q);
    limits.upperMax = int(q);
    limits.lowerMax = std::max(int(q) - 10, 1);
    return limits;
}

PlanState StartPlan(const TimeWindow &w) {
    PlanState s;
    if (!w.workingHoursOnly) {
        s.cursor = w.start;
        return s;
    }
    s.cursor = at(w.start, w.onDuty);
    s.onDuty = s.cursor;
    s.offDuty = at(w.start, w.offDuty);
    s.breakStart = at(w.start, w.breakStart);
    s.breakEnd = at(w.start, w.breakEnd);
    return s;
}

int PlanStep(const TimeWindow &w, Random &random) {
    if (w.stepMode == TimeWindow::StepMode::Fixed)
        return w.step;
    const double r = random.next();
    return int(std::floor(double(w.randomUpper - w.randomLower + 1) * r)) + w.randomLower;
}

PlanState NextPlannedTime(const PlanState &state, const TimeWindow &w, Random &random) {
    PlanState s = state;
    const int step = PlanStep(w, random);
    s.cursor =
        w.unit == TimeWindow::Unit::Minutes ? s.cursor.addMinutes(step) : s.cursor.addSeconds(step);
    if (!w.workingHoursOnly)
        return s;
    if (!w.breakCountsAsWork && s.cursor > s.breakStart && s.cursor < s.breakEnd)
        s.cursor = s.breakEnd;
    if (s.cursor > s.offDuty) {
        s.onDuty = s.onDuty.addDays(1);
        s.offDuty = s.offDuty.addDays(1);
        s.breakStart = s.breakStart.addDays(1);
        s.breakEnd = s.breakEnd.addDays(1);
        s.cursor = s.onDuty;
    }
    return s;
}

} // namespace kalmora
