#pragma once

#include "core/base/date_time.h"
#include "core/platform/random.h"

#include <QString>
#include <QTime>

namespace kalmora {

// The time window as its fields describe it, read fresh whenever it is needed.
struct TimeWindow {
    enum class Unit { Minutes, Seconds };
    enum class StepMode { Fixed, Random };

    DateTime start;
    DateTime end;
    Unit unit = Unit::Minutes;
    StepMode stepMode = StepMode::Fixed;
    int step = 1;
    int randomLower = 10;
    int randomUpper = 90;
    bool workingHoursOnly = false;
    QTime onDuty{8, 0, 0};
    QTime offDuty{18, 0, 0};
    bool breakCountsAsWork = true; // the lunch break is working time (not skipped)
    QTime breakStart{12, 0, 0};
    QTime breakEnd{14, 0, 0};
};

// Whole units the window offers; negative when it runs backwards. Differences count the unit
// boundaries crossed.
qint64 WindowCapacity(const TimeWindow &window);

// Upper bounds of the three step spinners for a step quotient, or "too small" when the window
// cannot hold one step per file.
struct StepLimits {
    bool tooSmall = false;
    int stepMax = 300;  // UpDownTStep
    int lowerMax = 290; // UpDownTStepS
    int upperMax = 300; // UpDownTStepE
};
// quotient = capacity integer-divided by the file count (truncating toward zero).
StepLimits StepLimitsFor(qint64 quotient);

// The plan cursor and, with working hours, the day anchors on the cursor's day.
struct PlanState {
    DateTime cursor;
    DateTime onDuty;
    DateTime offDuty;
    DateTime breakStart;
    DateTime breakEnd;
};

PlanState StartPlan(const TimeWindow &window);

// The step of one row: fixed, or drawn from lower to upper inclusive.
int PlanStep(const TimeWindow &window, Random &random);

// Advances the cursor after a row. A time exactly at off-duty, break start or break end stays;
// the walk never compares the cursor with the window's end. A time inside the hour the clocks
// skip in spring becomes the first time after it; the hour they repeat in autumn is walked
// once, each time meaning its earlier instant.
PlanState NextPlannedTime(const PlanState &state, const TimeWindow &window, Random &random);

// The checks a time window passes before any file is touched. Times compare as the numbers their
// digits make: yyyymmddhhmmss for a date-time, hhmmss for a time of day. Each returns the
// refusal the user is shown, or empty text when the window passes.
qint64 ComparisonNumber(const DateTime &dateTime);
qint64 ComparisonNumber(const QTime &time);
// Fixing the time window, the working hours, the lunch break.
QString WindowStageRefusal(qint64 start, qint64 end);
QString DutyStageRefusal(qint64 startTime, qint64 endTime, qint64 onDuty, qint64 offDuty);
QString BreakStageRefusal(qint64 breakStart, qint64 breakEnd);
// The step-range update after an import, when the window cannot hold one step per file.
QString StepRangeTooSmallText();
// The apply's checks: the duty hours against the window's times of day, then the span between
// the plain start and end against the files times the step.
QString ApplyDutyRefusal(qint64 startTime, qint64 endTime, qint64 onDuty, qint64 offDuty);
enum class CapacityVerdict {
    Fits,
    TooSmall,      // refused with CapacityTooSmallText
    MayBeTooSmall, // random steps: the user is asked with CapacityMayBeTooSmallText
};
CapacityVerdict CheckCapacity(qint64 span, qint64 files, const TimeWindow &window);
QString CapacityTooSmallText();
QString CapacityMayBeTooSmallText();

} // namespace kalmora
