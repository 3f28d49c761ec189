#include "core/plan/time_plan.h"

#include "core/filetime/file_times.h"

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

// A time the clocks skip when they are put forward is walked past as a lunch break is: the
// plan goes on from the first time after the gap, so no two files share one instant.
DateTime pastGap(const DateTime &t) {
    const std::optional<qint64> instant = LocalToUtcSeconds(t);
    if (!instant)
        return t;
    const std::optional<DateTime> shown = UtcSecondsToLocal(*instant);
    return shown && *shown > t ? *shown : t;
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
        s.cursor = pastGap(w.start);
        return s;
    }
    s.cursor = pastGap(at(w.start, w.onDuty));
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
    if (!w.workingHoursOnly) {
        s.cursor = pastGap(s.cursor);
        return s;
    }
    if (!w.breakCountsAsWork && s.cursor > s.breakStart && s.cursor < s.breakEnd)
        s.cursor = s.breakEnd;
    if (s.cursor > s.offDuty) {
        s.onDuty = s.onDuty.addDays(1);
        s.offDuty = s.offDuty.addDays(1);
        s.breakStart = s.breakStart.addDays(1);
        s.breakEnd = s.breakEnd.addDays(1);
        s.cursor = s.onDuty;
    }
    s.cursor = pastGap(s.cursor);
    return s;
}

qint64 ComparisonNumber(const DateTime &d) {
    return d.year() * 10000000000LL + d.month() * 100000000LL + d.day() * 1000000LL +
           d.hour() * 10000LL + d.minute() * 100LL + d.second();
}

qint64 ComparisonNumber(const QTime &t) {
    return t.hour() * 10000LL + t.minute() * 100LL + t.second();
}

QString WindowStageRefusal(qint64 start, qint64 end) {
    return end <= start ? QStringLiteral("结束时间小于起始时间，请检查后重新指定！") : QString();
}

QString DutyStageRefusal(qint64 startTime, qint64 endTime, qint64 onDuty, qint64 offDuty) {
    if (onDuty >= offDuty)
        return QStringLiteral("上班时间晚于下班时间，请检查后重新指定！");
    if (startTime > onDuty)
        return QStringLiteral("上班时间不应早于起止起始时间，请检查后重新指定！");
    if (endTime < offDuty)
        return QStringLiteral("下班时间不应晚于起止结束时间，请检查后重新指定！");
    return {};
}

QString BreakStageRefusal(qint64 breakStart, qint64 breakEnd) {
    return breakEnd <= breakStart
               ? QStringLiteral("午休结束时间早于午休开始时间，请检查后重新指定！")
               : QString();
}

QString StepRangeTooSmallText() {
    return QStringLiteral("时间区间间隔过小，稍后请重新指定以扩大区间；\r\n然后需重新导入以刷新。");
}

QString ApplyDutyRefusal(qint64 startTime, qint64 endTime, qint64 onDuty, qint64 offDuty) {
    if (onDuty < startTime)
        return QStringLiteral("上班时间应不早于起始时间，请检查后重新指定！");
    if (offDuty > endTime)
        return QStringLiteral("下班时间应不晚于结束时间，请检查后重新指定！");
    return {};
}

CapacityVerdict CheckCapacity(qint64 span, qint64 files, const TimeWindow &w) {
    if (w.stepMode == TimeWindow::StepMode::Random) {
        if (span < files * w.randomLower)
            return CapacityVerdict::TooSmall;
        if (span < files * w.randomUpper)
            return CapacityVerdict::MayBeTooSmall;
        return CapacityVerdict::Fits;
    }
    return span < files * w.step ? CapacityVerdict::TooSmall : CapacityVerdict::Fits;
}

QString CapacityTooSmallText() {
    return QStringLiteral("起止时间差小于列表的文件数，请重新\r\n指定起止时间以扩大时间差后重试。");
}

QString CapacityMayBeTooSmallText() {
    return QStringLiteral("起止时间差有可能小于列表的文件数，建议重新指定起止时间以扩大\r\n"
                          "时间差后重试，否则靠后的文件将有可能因超出上限而被放弃修改。");
}

} // namespace kalmora
