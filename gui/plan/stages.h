#pragma once

#include <QObject>

class QPushButton;

namespace kalmora {

class FMainDate;

// The three stages of the time plan (time window, working hours, lunch break), their reset
// buttons, the two switches and the rule that lets an import start.
class Stages : public QObject {
    Q_OBJECT
public:
    explicit Stages(FMainDate &window);

    // The click handlers; other handlers run them through here.
    void timeZoneClicked();
    void onOffDutyClicked();
    void breakClicked();
    // quiet: run as part of another action (the reset), where a refusal does not beep.
    void resetWorkClicked(bool quiet = false);
    void resetBreakClicked(bool quiet = false);
    void nowClicked();
    void workTimeClicked();
    void excludeClicked();

    // CmdInput is on exactly when every stage that is needed is fixed.
    void applyImportRule();

    static bool isFixed(const QPushButton *stage);

private:
    bool mayAct(bool timeZone, bool videoCounts) const;
    void beepUnlessQuiet(bool quiet);
    void setStage(QPushButton *stage, bool fixed);
    void focusSelected(QWidget *field);
    void warn(const QString &text);

    FMainDate &w;
};

} // namespace kalmora
