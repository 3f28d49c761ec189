#pragma once

#include "core/plan/time_plan.h"

#include <QObject>

class QDate;
class QLineEdit;

namespace kalmora {

class FMainDate;

// The date, time and step fields of the time window and the working-hours and lunch-break
// fields: their canonical texts, the days of the month, their couplings, key and focus rules,
// and the TimeWindow read from them.
class TimeFields : public QObject {
    Q_OBJECT
public:
    explicit TimeFields(FMainDate &window);

    TimeWindow timeWindow() const;

    // The default window: today 08:00:00 to tomorrow 18:00:00, written field by field, start
    // first, so that every field's handler runs.
    void writeDefaultWindow(const QDate &today);
    // The default working hours (08:00:00 to 18:00:00) and lunch break (12:00:00 to 14:00:00).
    void writeDutyDefaults();
    void writeBreakDefaults();

    // Comparison numbers: the fields' trimmed texts run together (year … second).
    qint64 startNumber() const;
    qint64 endNumber() const;
    qint64 startTimeNumber() const;
    qint64 endTimeNumber() const;
    qint64 onDutyNumber() const;
    qint64 offDutyNumber() const;
    qint64 breakStartNumber() const;
    qint64 breakEndNumber() const;

    // The last day of the month that the start (or end) year and month texts name.
    int lastDay(bool start) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool makeCanonical(QLineEdit *field);
    void onTimeFieldChanged(QLineEdit *field);
    void followMonth(bool start);
    // True when the field holds a step of 1..300; otherwise the message, the design-time text
    // and the focus back in the field.
    bool validateStep(QLineEdit *field);
    // An input method's commit: digits only in the step fields, nothing in the others.
    bool filterCommit(QLineEdit *field, bool isStep, QEvent *event);

    FMainDate &w;
    QList<QLineEdit *> m_timeFields; // two-digit fields and the years: typing only beeps
    QList<QLineEdit *> m_stepFields;
    bool m_validating = false;      // the message of a step check is open
    bool m_swallowShortcut = false; // a shortcut refused for an invalid step: its key press too
};

} // namespace kalmora
