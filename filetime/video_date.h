#pragma once

#include <QString>

namespace kalmora {

// The recorded date of a video as MediaInfo reports it ("File last modification date (local)"),
// "yyyy-mm-dd hh:mm:ss"; empty when the file cannot be opened or the report has no such field.
QString ReadVideoDate(const QString &path);

// The date text of that field in a MediaInfo report; empty when the field is missing.
QString ExtractVideoDate(const QString &report);

} // namespace kalmora
