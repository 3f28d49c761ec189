#pragma once

#include <QString>

namespace kalmora {

// Waits more than the given time while the window keeps handling clicks and repaints. It sleeps
// between events and measures on a monotonic clock, so midnight does not matter.
void PauseWithEvents(float seconds);

// There are no 8.3 names here: an existing path is its own short form; a missing one is empty.
QString ShortPathOf(const QString &path);

// Copies a NUL-terminated wide string, such as the texts MediaInfo returns.
QString StringFromWidePointer(const wchar_t *pointer);

// The most a download may bring: no program we fetch is larger.
constexpr qint64 DownloadSizeLimit = 64 * 1024 * 1024;

// Fetches the address into targetPath. The file appears only after a complete, successful
// response; on any failure (no connection, HTTP error, no data for stallTimeoutMs, not done
// within totalTimeoutMs, more than maxBytes, a body shorter than announced or cut off) the
// result is false and no target file is left behind. A target that is neither free nor a
// regular file of this user (MayWriteOwnFile) is refused before anything is fetched.
bool DownloadUrlToFile(const QString &url, const QString &targetPath, int stallTimeoutMs = 60000,
                       int totalTimeoutMs = 120000, qint64 maxBytes = DownloadSizeLimit);

} // namespace kalmora
