#pragma once

#include "core/base/date_time.h"
#include "core/filetime/file_times.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace kalmora {

struct LoadedText;

class Random;
class Settings;

enum class ShiftUnit { Year, Month, Day, Hour, Minute, Second };

// What the shooting-date dialog was left with: how each photo's new date is derived. The texts
// are kept as the fields showed them, because the closing summary quotes them.
struct PhotoDateSettings {
    bool newStart = false;    // ChNew: a new start date plus k steps
    QString startText;        // TStart
    bool randomShift = false; // Option2; Option1 (fixed amount) otherwise
    QString stepText;         // TStep
    QString stepStartText;    // TStepS
    QString stepEndText;      // TStepE
    QString unitText;         // Label2, such as "天。"
    bool earlier = true;      // ChFor ("前移"); the direction is read from it alone
    ShiftUnit unit = ShiftUnit::Day;
    bool allDates = false;    // the digitized and modified dates move with the shooting date
    bool recordedToo = false; // videos: the dates their headers record move with their stamps
};

// Whether a rewrite moves the digitized (36868) and modified (306) dates along; the user's
// choice, kept in the settings, off unless chosen.
bool AllExifDatesChosen(const Settings &settings);
void RememberAllExifDates(Settings &settings, bool on);

// The number a text field holds: its leading digits after blanks, with an optional sign.
int FieldNumber(const QString &text);

// base + n units; months and years keep the day or fall back to the month's last day.
DateTime AddUnits(const DateTime &base, ShiftUnit unit, qint64 n);

// Int(x × (to − from)) + from for x in [0, 1): from `from` up to `to` − 1.
qint64 RandomAmount(int from, int to, double x);

// A shooting date as the grid shows it in the hyphen form: the colons of the date part (before
// the first blank) become hyphens.
QString HyphenDateText(const QString &text);

// The date a row's new date is derived from, or no value when the text is no usable date: empty,
// a single blank, no colon among the last four characters, or not a real date-time. One extra
// character after the seconds is dropped first.
std::optional<DateTime> RewriteBaseDate(const QString &baseText);

// TStart's rule: "yyyy-m-d h:mm:ss" with a year from 1900 to 2200.
bool IsValidStartText(const QString &text);

// How one photo's dates move: all to one new date, or each by the same amount from its own.
struct DateMove {
    std::optional<DateTime> to;
    ShiftUnit unit = ShiftUnit::Second;
    qint64 amount = 0; // signed
    DateTime applyTo(const DateTime &own) const;
    // The Exif text a date besides the shooting date takes: the new date, or its own moved;
    // empty where its own text is no date to move from (blanks, as cameras write an unknown
    // one) or the result lies outside the years 1 to 9999.
    QString textFor(const QString &ownText) const;
};

// Gives each row its new shooting date. With a new start the k-th photo that took a date gets
// start + k × step; otherwise each row's own date moves by the fixed or a random amount (drawn
// anew for every call).
class ShootingDatePlan {
public:
    ShootingDatePlan(const PhotoDateSettings &settings, Random &random);
    // With a new start, each call is one row further: rows rejected for a bad date never get
    // here, every other row counts, whatever its patch comes to.
    DateTime newDate(const DateTime &base) { return nextMove(base).applyTo(base); }
    // The same step as newDate, for dates besides `base` to follow it.
    DateMove nextMove(const DateTime &base);

private:
    const PhotoDateSettings &m_settings;
    Random &m_random;
    qint64 m_rows = 0;
};

// The 19-character Exif form of a new shooting date, or empty text for a date outside the
// years 1 to 9999.
QString ExifDateText(const DateTime &date);

// What writing a new shooting date into a photo came to.
enum class DatePatchOutcome {
    Written,     // the file holds the new date
    NoDateField, // the photo has no shooting-date field to rewrite; the file is untouched
    Failed,      // a damaged Exif block, or the file could not be written
};

struct DatesPatchResult {
    DatePatchOutcome outcome = DatePatchOutcome::Failed;
    QStringList missing;  // names of the dates the photo lacks
    QStringList unusable; // names of the dates that hold no date to move, or cannot be patched
    // With `readBack`, after a write: the shooting date's bytes as the file holds them now, where
    // the photo's metadata listing could show no other shooting date (no value otherwise: then
    // only the whole listing tells what a reader sees).
    std::optional<QByteArray> fieldInFile;
    // After a write, read back through the file's open for the write: its state and each
    // patched date's whole field by offset (what the journal records as the file's after-value).
    std::optional<FileState> after;
    QHash<qint64, QByteArray> fields;
    // What the row adds to its result text; empty when every date was written.
    QString note() const;
};

// Writes the 19-character Exif date text over the photo's original shooting date (tag 36867),
// with a fresh reader for the one file. `firstReadBytes`: the reader's first read, when not its
// usual one (the result is the same). After a write, `after` and `fields` hold the file's state
// and the shooting date's field (no other date is read back).
DatesPatchResult PatchShootingDate(const QString &path, const QString &exifText,
                                   qint64 firstReadBytes = 0);
// The same, for a photo whose shooting date a load of this batch found (`loaded`, from
// ExifReader::loadedText): written without reading the photo again while it is still the file
// that load read, else as PatchShootingDate. The same result either way.
DatesPatchResult PatchShootingDate(const QString &path, const QString &exifText,
                                   const LoadedText &loaded);
// The tags of the date texts PatchShootingDate overwrites, for the journal to keep.
QList<int> PatchedDateTags();

// As PatchShootingDate, and with a move also the digitized and modified dates, each moved from
// its own value (or set to the new date), through the same in-place patch. The dates that can
// be written are, whichever others are missing; the shooting date keeps `exifText`.
// `containers`: the photo may be other than a JPEG (ExifReader's containers).
DatesPatchResult PatchShootingDates(const QString &path, const QString &exifText,
                                    const std::optional<DateMove> &move, bool readBack = false,
                                    qint64 firstReadBytes = 0, bool containers = true);

// The message that ends a rewrite of all rows.
QString RewriteSummaryText(const PhotoDateSettings &settings);

} // namespace kalmora
