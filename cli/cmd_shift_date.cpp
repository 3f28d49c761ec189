// kalmora-cli shift-date: the photos' shooting dates rewritten in place.
#include "cli/commands.h"
#include "cli/common.h"
#include "cli/output.h"
#include "core/batch/date_patch_step.h"
#include "core/batch/recorded_date_step.h"
#include "core/exif/read_exif.h"
#include "core/platform/random.h"

#include <QRegularExpression>

#include <algorithm>
#include <vector>

namespace kalmora::cli {

namespace {

const QString UnitPattern = QStringLiteral("(y|mo|d|h|mi|s)");

ShiftUnit unitOf(const QString &u) {
    static const QHash<QString, ShiftUnit> units = {
        {QStringLiteral("y"), ShiftUnit::Year},    {QStringLiteral("mo"), ShiftUnit::Month},
        {QStringLiteral("d"), ShiftUnit::Day},     {QStringLiteral("h"), ShiftUnit::Hour},
        {QStringLiteral("mi"), ShiftUnit::Minute}, {QStringLiteral("s"), ShiftUnit::Second}};
    return units.value(u);
}

// The dialog's settings for each part of the shift; several parts (a fixed shift only) are
// applied one after the other, largest unit first.
std::optional<std::vector<PhotoDateSettings>> readShift(const Invocation &inv, QString &error) {
    const int given = int(inv.has(QStringLiteral("by"))) + int(inv.has(QStringLiteral("random"))) +
                      int(inv.has(QStringLiteral("new-start")));
    if (given != 1) {
        error = Say("须且只能指定 --by、--random、--new-start 之一。",
                    "Give exactly one of --by, --random, --new-start.");
        return std::nullopt;
    }
    std::vector<PhotoDateSettings> parts;
    if (inv.has(QStringLiteral("by"))) {
        const QString text = inv.value(QStringLiteral("by")).trimmed();
        const QRegularExpression whole(QStringLiteral("^[+-](?:\\d+%1)+$").arg(UnitPattern));
        if (!whole.match(text).hasMatch()) {
            error = Say("--by 的格式为 ±[Ny][Nmo][Nd][Nh][Nmi][Ns]：%1",
                        "--by takes ±[Ny][Nmo][Nd][Nh][Nmi][Ns]: %1")
                        .arg(text);
            return std::nullopt;
        }
        const QRegularExpression part(QStringLiteral("(\\d+)%1").arg(UnitPattern));
        for (auto it = part.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            PhotoDateSettings s;
            s.stepText = m.captured(1);
            s.unit = unitOf(m.captured(2));
            s.earlier = text.startsWith(QLatin1Char('-'));
            parts.push_back(s);
        }
        std::stable_sort(parts.begin(), parts.end(),
                         [](const auto &a, const auto &b) { return int(a.unit) < int(b.unit); });
    } else if (inv.has(QStringLiteral("random"))) {
        const QString text = inv.value(QStringLiteral("random")).trimmed();
        const QRegularExpression re(QStringLiteral("^([+-])(\\d+)-(\\d+)%1$").arg(UnitPattern));
        const QRegularExpressionMatch m = re.match(text);
        if (!m.hasMatch() || m.captured(2).toLongLong() >= m.captured(3).toLongLong()) {
            error = Say("--random 的格式为 ±A-B单位（A 小于 B）：%1",
                        "--random takes ±A-B followed by a unit, A below B: %1")
                        .arg(text);
            return std::nullopt;
        }
        PhotoDateSettings s;
        s.randomShift = true;
        s.earlier = m.captured(1) == QLatin1String("-");
        s.stepStartText = m.captured(2);
        s.stepEndText = m.captured(3);
        s.unit = unitOf(m.captured(4));
        parts.push_back(s);
    } else {
        PhotoDateSettings s;
        s.newStart = true;
        s.startText = inv.value(QStringLiteral("new-start")).trimmed();
        if (!IsValidStartText(s.startText)) {
            error =
                Say("非法起始日期时间，请修正！样式及范围：1900-00-00 00:00:00—2200-00-00 00:00:00",
                    "--new-start takes yyyy-mm-dd hh:mm:ss, years 1900 to 2200.");
            return std::nullopt;
        }
        const QString inc = inv.value(QStringLiteral("increment"), QStringLiteral("10s")).trimmed();
        const QRegularExpression re(QStringLiteral("^(\\d+)%1$").arg(UnitPattern));
        const QRegularExpressionMatch m = re.match(inc);
        if (!m.hasMatch()) {
            error = Say("--increment 的格式为 N单位：%1", "--increment takes N and a unit: %1")
                        .arg(inc);
            return std::nullopt;
        }
        s.stepText = m.captured(1);
        s.unit = unitOf(m.captured(2));
        parts.push_back(s);
    }
    return parts;
}

} // namespace

int ShiftDateCommand(const Invocation &inv) {
    if (inv.has(QStringLiteral("increment")) && !inv.has(QStringLiteral("new-start")))
        return UsageError(inv, Say("--increment 须与 --new-start 一起使用。",
                                   "--increment goes with --new-start."));
    QString error;
    const std::optional<std::vector<PhotoDateSettings>> settings = readShift(inv, error);
    if (!settings)
        return UsageError(inv, error);
    const bool video = inv.flags.contains(QStringLiteral("video"));
    if (video && inv.has(QStringLiteral("new-start")))
        return UsageError(inv, Say("--video 只能与 --by 或 --random 一起使用。",
                                   "--video goes with --by or --random."));
    int status = AllDone;
    const std::optional<QStringList> names =
        ListFiles(inv, status, !video, video ? DefaultVideoPattern() : DefaultPicturePattern());
    if (!names)
        return status;
    MtRandom random;
    std::vector<ShootingDatePlan> plans;
    for (const PhotoDateSettings &s : *settings)
        plans.emplace_back(s, random);
    if (video) {
        // The dates the movies record of themselves, moved in place as a photo's would be.
        RecordedDateStep step(inv.folder, *names, [&](int, const DateTime &recorded) {
            DateTime moved = recorded;
            for (ShootingDatePlan &plan : plans)
                moved = plan.newDate(moved);
            return std::optional<qint64>(recorded.secondsTo(moved));
        });
        return RunBatch(inv, step);
    }
    // The import's reading, then the rewrite's, as the window does them. The byte-level reader
    // answers for a photo whose date only it can be; the full read for any other.
    const auto workOut = [&](int i, DatePatchStep::Item &item) {
        const QString path = PathOf(inv, names->at(i));
        const std::optional<QString> quick = QuickShootingDateCellText(path, &item.loaded);
        const QString original = quick ? *quick : ShootingDateCell(path, true).value_or(QString());
        item.original = HyphenDateText(original);
        const PhotoDateSettings &first = settings->front();
        std::optional<DateTime> date = first.newStart       ? RewriteBaseDate(first.startText)
                                       : original.isEmpty() ? std::nullopt
                                                            : RewriteBaseDate(item.original);
        if (date)
            for (ShootingDatePlan &plan : plans)
                date = plan.newDate(*date);
        item.date = date;
    };
    DatePatchStep step(*names, workOut);
    return RunBatch(inv, step);
}

} // namespace kalmora::cli
