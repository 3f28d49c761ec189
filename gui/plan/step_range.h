#pragma once

#include <QObject>

namespace kalmora {

class FMainDate;

// Bounds the step fields by what the window can hold for the listed files, and owns the step
// and unit options that trigger it.
class StepRange : public QObject {
    Q_OBJECT
public:
    explicit StepRange(FMainDate &window);

    // Fits the step spinners to the window's capacity per file; refuses a window too small for
    // one step per file.
    void UpdateStepRange();
    // What the step and unit options run before the update (their click handlers).
    void option1Clicked();
    void option2Clicked();
    void unitClicked(bool minutes);

private:
    void stepModeClicked();
    void updateWhileListed();

    FMainDate &w;
};

} // namespace kalmora
