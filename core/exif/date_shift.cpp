#include "core/exif/date_shift.h"

#include "core/exif/exif_reader.h"
#include "core/platform/random.h"
#include "core/platform/settings.h"

#include <QRegularExpression>
#include <QTime>

#include <cmath>

namespace kalmora {

namespace {
const QString CrLf = QStringLiteral("\r\n");
const QString OptionsGroup = QStringLiteral("Options");
const QString AllDatesKey = QStringLiteral("AllExifDates");
} // namespace

bool AllExifDatesChosen(const Settings &settings) {
    return settings.value(OptionsGroup, AllDatesKey) == QStringLiteral("1");
}

void RememberAllExifDates(Settings &settings, bool on) {
    settings.setValue(OptionsGroup, AllDatesKey, on ? QStringLiteral("1") : QStringLiteral("0"));
}

DateTime DateMove::applyTo(const DateTime &own) const {
    return to ? *to : AddUnits(own, unit, amount);
}

QString DateMove::textFor(const QString &ownText) const {
    if (to)
        return ExifDateText(*to);
    const std::optional<DateTime> own = RewriteBaseDate(HyphenDateText(ownText));
    return own ? ExifDateText(applyTo(*own)) : QString();
}

int FieldNumber(const QString &text) {
    static const QRegularExpression re(QStringLiteral(R"(^\s*([+-]?\d{1,9}))"));
    const QRegularExpressionMatch m = re.match(text);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

DateTime AddUnits(const DateTime &base, ShiftUnit unit, qint64 n) {
    switch (unit) {
    case ShiftUnit::Year:
        return base.addYears(int(n));
    case ShiftUnit::Month:
        return base.addMonths(int(n));
    case ShiftUnit::Day:
        return base.addDays(n);
    case ShiftUnit::Hour:
        return base.addSeconds(n * 3600);
    case ShiftUnit::Minute:
        return base.addMinutes(n);
    case ShiftUnit::Second:
        break;
    }
    return base.addSeconds(n);
}

qint64 RandomAmount(int from, int to, double x) {
    return qint64(std::floor(x * double(to - from))) + from;
}

QString HyphenDateText(const QString &text) {
    const qsizetype blank = text.indexOf(u' ');
    QString date = blank < 0 ? text : text.left(blank);
    date.replace(u':', u'-');
    return blank < 0 ? date : date + text.mid(blank);
}

std::optional<DateTime> RewriteBaseDate(const QString &baseText) {
    QString text = baseText;
    if (text.isEmpty() || text == QStringLiteral(" ") || !text.right(4).contains(u':'))
        return std::nullopt;
    if (text.size() - text.lastIndexOf(u':') - 1 >= 3) {
        text.chop(1);
        const std::optional<DateTime> trimmed = DateTime::parse(text);
        if (!trimmed)
            return std::nullopt;
        text = trimmed->toText();
    }
    return DateTime::parse(text);
}

bool IsValidStartText(const QString &text) {
    // The first blank at the tenth or eleventh character (1-based).
    const qsizetype blank = text.indexOf(u' ') + 1;
    if (blank < 10 || blank > 11)
        return false;
    static const QRegularExpression datePattern(QStringLiteral(R"(^(\d{4})-(\d{1,2})-(\d{1,2})$)"));
    static const QRegularExpression timePattern(QStringLiteral(R"(^(\d{1,2}):(\d{2}):(\d{2})$)"));
    const QRegularExpressionMatch d = datePattern.match(text.left(blank - 1));
    const QRegularExpressionMatch t = timePattern.match(text.mid(blank));
    if (!d.hasMatch() || !t.hasMatch())
        return false;
    const int year = d.captured(1).toInt();
    return year >= 1900 && year <= 2200 &&
           QDate(year, d.captured(2).toInt(), d.captured(3).toInt()).isValid() &&
           QTime(t.captured(1).toInt(), t.captured(2).toInt(), t.captured(3).toInt()).isValid();
}

ShootingDatePlan::ShootingDatePlan(const PhotoDateSettings &settings, Random &random)
    : m_settings(settings), m_random(random) {}

DateMove ShootingDatePlan::nextMove(const DateTime &base) {
    const PhotoDateSettings &s = m_settings;
    // Every row that reaches the formula counts, whatever the patch then comes to.
    if (s.newStart)
        return DateMove{AddUnits(base, s.unit, m_rows++ * FieldNumber(s.stepText)), s.unit, 0};
    const qint64 amount = s.randomShift ? RandomAmount(FieldNumber(s.stepStartText),
                                                       FieldNumber(s.stepEndText), m_random.next())
                                        : FieldNumber(s.stepText);
    return DateMove{std::nullopt, s.unit, s.earlier ? -amount : amount};
}

QString ExifDateText(const DateTime &date) {
    // Years 1 to 9999 only: the field holds four digits, and no sign.
    if (!date.isValid() || date.year() < 1 || date.year() > 9999)
        return {};
    return date.toExifText();
}

QList<int> PatchedDateTags() {
    return {TagDateTimeOriginal};
}

QString DatesPatchResult::note() const {
    QStringList parts;
    if (!missing.isEmpty())
        parts << QStringLiteral("无") + missing.join(QStringLiteral("、"));
    if (!unusable.isEmpty())
        parts << unusable.join(QStringLiteral("、")) + QStringLiteral("未改");
    return parts.isEmpty()
               ? QString()
               : QStringLiteral("(") + parts.join(QStringLiteral("，")) + QStringLiteral(")");
}

namespace {
// The dates a patch may touch: their fields are read back for the journal.
const QList<int> DateTags = {TagDateTimeOriginal, TagDateTimeDigitized, TagDateTime};

// `otherFields`: the fields of the dates besides the ones patched are read back too.
DatesPatchResult patchDates(const QString &path, const QString &exifText,
                            const std::optional<DateMove> &move, bool readBack,
                            qint64 firstReadBytes, bool otherFields, bool containers = true) {
    const QList<int> readBackTags = otherFields ? DateTags : QList<int>();
    DatesPatchResult result;
    try {
        ExifReader reader(containers);
        if (firstReadBytes > 0)
            reader.Load(path, firstReadBytes);
        else
            reader.Load(path);
        // A photo gone or unreadable since the import is an access error, not a photo without a
        // date field (the reader takes a file it could not read for one without Exif).
        if (!reader.regularFileRead())
            return result;
        const auto written = [&] {
            result.outcome = DatePatchOutcome::Written;
            result.after = reader.writtenState();
            result.fields = reader.writtenFields();
            if (readBack)
                result.fieldInFile = reader.soleExifTextInFile(TagDateTimeOriginal);
        };
        if (!move) {
            if (reader.tag(TagDateTimeOriginal).isNull())
                result.outcome = DatePatchOutcome::NoDateField;
            else if (reader.setTags({{TagDateTimeOriginal, exifText}}, readBackTags))
                written();
            return result;
        }

        QList<std::pair<int, QString>> patches;
        const std::pair<int, QString> dates[] = {
            {TagDateTimeOriginal, QStringLiteral("拍摄时间")},
            {TagDateTimeDigitized, QStringLiteral("数字化时间")},
            {TagDateTime, QStringLiteral("修改时间")}};
        for (const auto &[tag, name] : dates) {
            const QVariant own = reader.tag(tag);
            if (own.isNull()) {
                result.missing << name;
                continue;
            }
            const QString text =
                tag == TagDateTimeOriginal ? exifText : move->textFor(own.toString());
            if (text.isEmpty() || !reader.canSetTag(tag, text)) {
                // The shooting date fails the photo as it does on its own.
                if (tag == TagDateTimeOriginal)
                    return result;
                result.unusable << name;
                continue;
            }
            patches.append({tag, text});
        }
        if (patches.isEmpty())
            result.outcome = DatePatchOutcome::NoDateField; // the file is untouched
        else if (reader.setTags(patches, readBackTags))
            written();
        return result;
    } catch (const ExifError &) {
        return result;
    }
}

} // namespace

DatesPatchResult PatchShootingDates(const QString &path, const QString &exifText,
                                    const std::optional<DateMove> &move, bool readBack,
                                    qint64 firstReadBytes, bool containers) {
    return patchDates(path, exifText, move, readBack, firstReadBytes, true, containers);
}

DatesPatchResult PatchShootingDate(const QString &path, const QString &exifText,
                                   qint64 firstReadBytes) {
    return patchDates(path, exifText, std::nullopt, false, firstReadBytes, false);
}

DatesPatchResult PatchShootingDate(const QString &path, const QString &exifText,
                                   const LoadedText &loaded) {
    ExifReader reader;
    const std::optional<bool> written = reader.setLoadedText(path, loaded, exifText);
    if (!written)
        return PatchShootingDate(path, exifText, DateReadFirstBytes);
    DatesPatchResult result;
    if (*written) {
        result.outcome = DatePatchOutcome::Written;
        result.after = reader.writtenState();
        result.fields = reader.writtenFields();
    }
    return result;
}

QString RewriteSummaryText(const PhotoDateSettings &s) {
    static const char *const unitPhrases[] = {"年为时间位移单位，",   "月为时间位移单位，",
                                              "日为时间位移单位，",   "小时为时间位移单位，",
                                              "分钟为时间位移单位，", "秒为时间位移单位，"};
    QString text = QStringLiteral("   时间修改选项为：以") +
                   QString::fromUtf8(unitPhrases[static_cast<int>(s.unit)]);
    if (s.randomShift)
        text += QStringLiteral("以原时间随机") + CrLf + s.stepStartText + QStringLiteral("——") +
                s.stepEndText + s.unitText;
    else if (s.newStart)
        text += QStringLiteral("按指定新日期，以") + CrLf + s.stepText + s.unitText +
                QStringLiteral("递增。");
    else
        text += QStringLiteral("以原始时间固定") + CrLf + s.stepText + s.unitText;
    if (!s.newStart)
        text += s.earlier ? QStringLiteral("向前移位。") : QStringLiteral("向后移位。");
    return text + CrLf + QStringLiteral("原始拍摄时间改写完毕！稍后请单击“重置所有”按钮。");
}

} // namespace kalmora
