#include "core/batch/stamps_from_date.h"

#include "core/exif/date_shift.h"
#include "core/platform/settings.h"

#include <QRegularExpression>

namespace kalmora {

namespace {
const QString Group = QStringLiteral("StampsFromDate");
const QString StampsKey = QStringLiteral("Stamps");
} // namespace

DateStampsChoice ChosenDateStamps(const Settings &settings) {
    const QString kept = settings.value(Group, StampsKey);
    DateStampsChoice choice;
    if (kept.isEmpty())
        return choice;
    choice.creation = kept.contains(u'c');
    choice.modification = kept.contains(u'm');
    choice.access = kept.contains(u'a');
    if (!choice.creation && !choice.modification && !choice.access)
        choice.modification = true;
    return choice;
}

void RememberDateStamps(Settings &settings, const DateStampsChoice &choice) {
    QString kept;
    if (choice.creation)
        kept += u'c';
    if (choice.modification)
        kept += u'm';
    if (choice.access)
        kept += u'a';
    settings.setValue(Group, StampsKey, kept);
}

std::optional<qint64> ParseDateShift(const QString &text) {
    static const QRegularExpression re(
        QStringLiteral(R"(^([+-]?)(?:(\d{1,6})d)?(?:(\d{1,7})h)?(?:(\d{1,9})m)?(?:(\d{1,10})s)?$)"),
        QRegularExpression::CaseInsensitiveOption);
    const QString t = text.trimmed();
    const QRegularExpressionMatch m = re.match(t);
    if (!m.hasMatch() || t.size() == m.capturedLength(1))
        return std::nullopt;
    const qint64 seconds = m.captured(2).toLongLong() * 86400 + m.captured(3).toLongLong() * 3600 +
                           m.captured(4).toLongLong() * 60 + m.captured(5).toLongLong();
    return m.captured(1) == QLatin1String("-") ? -seconds : seconds;
}

InsideDate PhotoInsideDate(const QString &cellText) {
    if (cellText.trimmed().isEmpty())
        return {std::nullopt, QStringLiteral("Exif信息丢失")};
    if (const std::optional<DateTime> date = RewriteBaseDate(HyphenDateText(cellText)))
        return {date, {}};
    return {std::nullopt, QStringLiteral("失败(日期数据异常)"), true};
}

QString NoRecordedDateText() {
    return QStringLiteral("视频未记录拍摄时间，未修改");
}

InsideDate VideoInsideDate(const QString &text, bool recorded) {
    if (!recorded || text.trimmed().isEmpty())
        return {std::nullopt, NoRecordedDateText()};
    if (const std::optional<DateTime> date = DateTime::parse(text))
        return {date, {}};
    return {std::nullopt, QStringLiteral("失败(日期数据异常)"), true};
}

DateTime StampTimeOf(const DateTime &date, qint64 shiftSeconds) {
    const DateTime local = date.addSeconds(shiftSeconds);
    // The instant a skipped time is given is the first after the skip; its local time, and
    // the one a second before, tell how long the skip is.
    const std::optional<qint64> instant = LocalToUtcSeconds(local);
    if (!instant)
        return local;
    const std::optional<DateTime> held = UtcSecondsToLocal(*instant);
    const std::optional<DateTime> before = UtcSecondsToLocal(*instant - 1);
    if (!held || !before || *held == local)
        return local;
    return local.addSeconds(before->secondsTo(*held) - 1);
}

std::unique_ptr<StampsStep> MakeStampsFromDateStep(QStringList names,
                                                   std::function<InsideDate(int)> dateOf,
                                                   const DateStampsChoice &choice,
                                                   FileTimeStore *store) {
    const bool onlyCreation = choice.creation && !choice.modification && !choice.access;
    // The reason of the file the plan last turned down, for its row.
    auto missing = std::make_shared<StampsStep::Unplanned>();
    auto step = std::make_unique<StampsStep>(
        BatchKind::StampsFromDate, onlyCreation, std::move(names),
        [dateOf = std::move(dateOf), choice, missing](int i) -> std::optional<FileTimesUpdate> {
            const InsideDate inside = dateOf(i);
            if (!inside.date) {
                *missing = {inside.missing, inside.failed};
                return std::nullopt;
            }
            const DateTime t = StampTimeOf(*inside.date, choice.shiftSeconds);
            FileTimesUpdate update;
            if (choice.creation)
                update.creation = t;
            if (choice.modification)
                update.lastWrite = t;
            if (choice.access)
                update.lastAccess = t;
            return update;
        },
        store);
    step->whyUnplanned([missing](int) { return *missing; });
    return step;
}

} // namespace kalmora
