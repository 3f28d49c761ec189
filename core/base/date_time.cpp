#include "core/base/date_time.h"

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

namespace {

// Appends v with at least `width` digits, zero-filled in front, as QString::arg(v, width, 10,
// QLatin1Char('0')) writes it. The grid fills its time columns by the ten thousand: built by
// hand, a text costs a fraction of what arg's pattern parsing does.
void appendNumber(QString &s, int v, int width) {
    if (v < 0) {
        s += QStringLiteral("%1").arg(v, width, 10, QLatin1Char('0'));
        return;
    }
    char16_t digits[10];
    int n = 0;
    do {
        digits[n++] = char16_t(u'0' + v % 10);
        v /= 10;
    } while (v > 0);
    for (int i = n; i < width; ++i)
        s += QLatin1Char('0');
    while (n > 0)
        s += QChar(digits[--n]);
}

} // namespace

// Date and time with the given separators: year-month-day, then hour, minute and second.
QString DateTime::numericText(char dateSep, char timeSep) const {
    if (!isValid())
        return {};
    int y = 0, mo = 0, d = 0;
    m_date.getDate(&y, &mo, &d);
    QString s;
    s.reserve(19);
    appendNumber(s, y, 4);
    s += QLatin1Char(dateSep);
    appendNumber(s, mo, 2);
    s += QLatin1Char(dateSep);
    appendNumber(s, d, 2);
    if (timeSep == 0)
        return s;
    s += QLatin1Char(' ');
    appendNumber(s, hour(), 2);
    s += QLatin1Char(timeSep);
    appendNumber(s, minute(), 2);
    s += QLatin1Char(timeSep);
    appendNumber(s, second(), 2);
    return s;
}

QString DateTime::toText() const {
    return numericText('-', ':');
}

QString DateTime::toExifText() const {
    return numericText(':', ':');
}

QString DateTime::toFileNameText() const {
    return numericText('-', '.');
}

QString DateTime::toDateText() const {
    return numericText('-', 0);
}

QString DateTime::toGeneralText() const {
    if (!isValid())
        return {};
    int y = 0, mo = 0, d = 0;
    m_date.getDate(&y, &mo, &d);
    // Four-digit year as in the other forms: parse needs it, also before the year 1000.
    QString s;
    s.reserve(19);
    appendNumber(s, y, 4);
    s += QLatin1Char('/');
    appendNumber(s, mo, 1);
    s += QLatin1Char('/');
    appendNumber(s, d, 1);
    if (m_secs == 0)
        return s;
    s += QLatin1Char(' ');
    appendNumber(s, hour(), 1);
    s += QLatin1Char(':');
    appendNumber(s, minute(), 2);
    s += QLatin1Char(':');
    appendNumber(s, second(), 2);
    return s;
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
