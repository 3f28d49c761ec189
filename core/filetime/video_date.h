#pragma once

#include "core/base/date_time.h"

#include <QString>

#include <optional>

namespace kalmora {

class Settings;

// The recorded date of a video as MediaInfo reports it ("File last modification date (local)"),
// "yyyy-mm-dd hh:mm:ss"; empty when the file cannot be opened or the report has no such field.
QString ReadVideoDate(const QString &path);

// Why videos cannot be read (MediaInfo, loaded on first use, is missing or unusable); empty
// when they can. Loads the library.
QString VideoLibraryError();

// The date text of that field in a MediaInfo report; empty when the field is missing.
QString ExtractVideoDate(const QString &report);

// Where a video's date comes from: its file's modification date, or the date the container
// records, with the modification date where it records none.
enum class VideoDateSource { FileModified, Recorded };

struct VideoDate {
    QString text;          // "yyyy-mm-dd hh:mm:ss", empty when there is none
    bool recorded = false; // from the container; otherwise the file's modification date
};
VideoDate ReadVideoDate(const QString &path, VideoDateSource source);

// A container's date field as MediaInfo gives it, as local time: a UTC value ("UTC 2021-05-01
// 10:00:00", "2021-05-01 10:00:00 UTC", "...Z") is converted by this computer's rules for that
// date; a value with its own offset keeps the clock time it states; no value for anything else.
std::optional<DateTime> ContainerDateToLocal(const QString &value);

// A video row's note where the recorded date was asked for and the file's modification date
// stands in for it.
QString VideoFallbackNote();

// The user's choice of source, kept in the settings; the modification date unless chosen.
VideoDateSource ChosenVideoDateSource(const Settings &settings);
void RememberVideoDateSource(Settings &settings, VideoDateSource source);

} // namespace kalmora
