#pragma once

#include <QDate>
#include <QString>
#include <QTime>

#include <compare>
#include <optional>

namespace kalmora {

// A local calendar date and time at whole seconds, without a zone. Arithmetic is in calendar
// units; differences count the unit boundaries crossed.
class DateTime {
public:
    DateTime() = default; // the null value: no date
    DateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
    DateTime(const QDate &date, const QTime &time);

    bool isValid() const { return m_date.isValid(); }
    QDate date() const { return m_date; }
    QTime time() const { return QTime::fromMSecsSinceStartOfDay(m_secs * 1000); }
    int year() const { return m_date.year(); }
    int month() const { return m_date.month(); }
    int day() const { return m_date.day(); }
    int hour() const { return m_secs / 3600; }
    int minute() const { return m_secs / 60 % 60; }
    int second() const { return m_secs % 60; }
    int secondsOfDay() const { return m_secs; }

    DateTime addSeconds(qint64 n) const;
    DateTime addMinutes(qint64 n) const { return addSeconds(n * 60); }
    DateTime addDays(qint64 n) const;
    DateTime addMonths(int n) const; // keeps the day, or the target month's last day
    DateTime addYears(int n) const;  // 2012-02-29 + 1 year = 2013-02-28

    // Boundaries crossed from this to other: 10:00:59 -> 10:01:00 is one minute.
    qint64 secondsTo(const DateTime &other) const;
    qint64 minutesTo(const DateTime &other) const;
    qint64 daysTo(const DateTime &other) const;

    QString toText() const;         // "yyyy-mm-dd hh:mm:ss"
    QString toExifText() const;     // "yyyy:mm:dd hh:mm:ss"
    QString toFileNameText() const; // "yyyy-mm-dd hh.mm.ss"
    QString toDateText() const;     // "yyyy-mm-dd"
    QString toGeneralText() const;  // "yyyy/M/d H:mm:ss", "yyyy/M/d" at midnight

    // Reads the text forms above (also with one-digit parts, and a date alone as midnight).
    // Anything that is not a real calendar date and time gives no value.
    static std::optional<DateTime> parse(const QString &text);

    friend bool operator==(const DateTime &, const DateTime &) = default;
    friend std::strong_ordering operator<=>(const DateTime &a, const DateTime &b);

    // A valid date-time as one number, seconds from the start of the Julian day count, and
    // back: eight bytes where a batch keeps a time for each of many files.
    qint64 totalSeconds() const;
    static DateTime fromTotalSeconds(qint64 total);

private:
    // The date, and unless timeSep is 0 the time, with zero-filled fields.
    QString numericText(char dateSep, char timeSep) const;

    QDate m_date;
    int m_secs = 0;
};

} // namespace kalmora
