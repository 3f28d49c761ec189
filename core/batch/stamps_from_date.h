#pragma once

// File times from the date recorded inside the files: each photo's shooting date (or each
// video's recorded date), shifted if asked, written as local time into the chosen stamps. The
// files' contents are never touched.

#include "core/batch/stamps_step.h"
#include "core/filetime/video_date.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace kalmora {

class Settings;

// Which stamps take the date, and the shift added to the date first (a camera clock set to the
// wrong zone or hour).
struct DateStampsChoice {
    bool creation = false, modification = true, access = false;
    qint64 shiftSeconds = 0;
};

// The stamps chosen last time (modification alone until a choice was made); the shift is not
// kept: one camera's error must not follow the user to the next folder.
DateStampsChoice ChosenDateStamps(const Settings &settings);
void RememberDateStamps(Settings &settings, const DateStampsChoice &choice);

// "±DdHhMmSs" (any of the parts, in that order, at least one; "+8h", "-1d2h30m", "45s"): the
// seconds; no value when the text is not such a shift.
std::optional<qint64> ParseDateShift(const QString &text);

// A file's own date, or why it has none (the row's text; the file is left alone): a file
// without a date is skipped, one whose date is no date fails.
struct InsideDate {
    std::optional<DateTime> date;
    QString missing;
    bool failed = false;
};
// From a photo's shooting date as the import shows it (Exif or hyphen form): none gives
// "Exif信息丢失", one that is no date "失败(日期数据异常)".
InsideDate PhotoInsideDate(const QString &cellText);
// From a video's date: only a date the container records counts; its file's own date is no
// news for its file times.
InsideDate VideoInsideDate(const QString &text, bool recorded);
// The text a video row gets when its container records no date.
QString NoRecordedDateText();

// The local time written for `date` shifted by `shiftSeconds`. A time the clocks skip (the hour
// of the spring change) moves on by the length of the skip, 02:30 to 03:30, so that the files
// keep their order and spacing; the rows show what the drive then holds.
DateTime StampTimeOf(const DateTime &date, qint64 shiftSeconds);

// The batch (journal kind StampsFromDate): file i's date from `dateOf`, asked once for each
// file in order while the batch works out its changes.
std::unique_ptr<StampsStep> MakeStampsFromDateStep(QStringList names,
                                                   std::function<InsideDate(int i)> dateOf,
                                                   const DateStampsChoice &choice,
                                                   FileTimeStore *store = nullptr);

} // namespace kalmora
