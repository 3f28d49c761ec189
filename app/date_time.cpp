#include "app/date_time.h"

#include <QRegularExpression>

namespace kalmora {

namespace {
constexpr qint64 secondsPerDay = 86400;

qint64 floorDiv(qint64 a, qint64 b) {
    qint64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}
} // namespace

DateTime::DateTime(int year, int month, int day, int hour, int minute, int second)
    : DateTime(QDate(year, month, day), QTime(hour, minute, second)) {}

DateTime::DateTime(const QDate &date, const QTime &time) {
    if (date.isValid() && time.isValid()) {
        m_date = date;
        m_secs = time.msecsSinceStartOfDay() / 1000;
    }
}

qint64 DateTime::totalSeconds() const {
    return m_date.toJulianDay() * secondsPerDay + m_secs;
}

DateTime DateTime::fromTotalSeconds(qint64 total) {
    DateTime d;
    d.m_date = QDate::fromJulianDay(floorDiv(total, secondsPerDay));
    d.m_secs = int(total - floorDiv(total, secondsPerDay) * secondsPerDay);
    return d;
}

DateTime DateTime::addSeconds(qint64 n) const {
    if (!isValid())
        return {};
    return fromTotalSeconds(totalSeconds() + n);
}

DateTime DateTime::addDays(qint64 n) const {
    if (!isValid())
        return {};
    DateTime d = *this;
    d.m_date = m_date.addDays(n);
    return d;
}

DateTime DateTime::addMonths(int n) const {
    if (!isValid())
        return {};
    DateTime d = *this;
    d.m_date = m_date.addMonths(n);
    return d;
}

DateTime DateTime::addYears(int n) const {
    if (!isValid())
        return {};
    DateTime d = *this;
    d.m_date = m_date.addYears(n);
    return d;
}

qint64 DateTime::secondsTo(const DateTime &other) const {
    return other.totalSeconds() - totalSeconds();
}

qint64 DateTime::minutesTo(const DateTime &other) const {
    return floorDiv(other.totalSeconds(), 60) - floorDiv(totalSeconds(), 60);
}

qint64 DateTime::daysTo(const DateTime &other) const {
    return m_date.daysTo(other.m_date);
}

static QString two(int v) {
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}
static QString four(int v) {
    return QStringLiteral("%1").arg(v, 4, 10, QLatin1Char('0'));
}

QString DateTime::toText() const {
    if (!isValid())
        return {};
    return QStringLiteral("%1-%2-%3 %4:%5:%6")
        .arg(four(year()), two(month()), two(day()), two(hour()), two(minute()), two(second()));
}

QString DateTime::toExifText() const {
    if (!isValid())
        return {};
    return QStringLiteral("%1:%2:%3 %4:%5:%6")
        .arg(four(year()), two(month()), two(day()), two(hour()), two(minute()), two(second()));
}

QString DateTime::toFileNameText() const {
    if (!isValid())
        return {};
    return QStringLiteral("%1-%2-%3 %4.%5.%6")
        .arg(four(year()), two(month()), two(day()), two(hour()), two(minute()), two(second()));
}

QString DateTime::toDateText() const {
    if (!isValid())
        return {};
    return QStringLiteral("%1-%2-%3").arg(four(year()), two(month()), two(day()));
}

QString DateTime::toGeneralText() const {
    if (!isValid())
        return {};
    // Four-digit year as in the other forms: parse needs it, also before the year 1000.
    QString date = QStringLiteral("%1/%2/%3").arg(four(year())).arg(month()).arg(day());
    if (m_secs == 0)
        return date;
    return date + QStringLiteral(" %1:%2:%3").arg(hour()).arg(two(minute()), two(second()));
}

std::optional<DateTime> DateTime::parse(const QString &text) {
    // Date with "-", "/" or ":" (one kind throughout), then an optional time with ":".
    static const QRegularExpression re(QStringLiteral(
        R"(^\s*(\d{4})([-/:])(\d{1,2})\2(\d{1,2})(?:[ T]+(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?)?\s*$)"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(3).toInt(), m.captured(4).toInt());
    if (!date.isValid())
        return std::nullopt;
    int h = 0, mi = 0, s = 0;
    if (m.hasCaptured(5)) {
        h = m.captured(5).toInt();
        mi = m.captured(6).toInt();
        s = m.hasCaptured(7) ? m.captured(7).toInt() : 0;
    }
    if (h > 23 || mi > 59 || s > 59)
        return std::nullopt;
    return DateTime(date, QTime(h, mi, s));
}

std::strong_ordering operator<=>(const DateTime &a, const DateTime &b) {
    if (a.isValid() != b.isValid())
        return a.isValid() ? std::strong_ordering::greater : std::strong_ordering::less;
    return a.totalSeconds() <=> b.totalSeconds();
}

} // namespace kalmora
