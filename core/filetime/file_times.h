#pragma once

#include "core/base/date_time.h"
#include "core/base/file_state.h"
#include "core/base/folder_handle.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

struct statx;

namespace kalmora {

// A file's three stamps as local calendar date-times at whole seconds.
struct FileTimes {
    DateTime creation;
    DateTime lastAccess;
    DateTime lastWrite;

    friend bool operator==(const FileTimes &, const FileTimes &) = default;
};

// The state of the file at `path` as the journal compares it, without hash; a final symbolic
// link is not followed (`mode`: its type and permissions, as stat gives them). Not `exists`
// where it cannot be examined.
FileState StatFileState(const QString &path, unsigned *mode = nullptr);
// The state of the file `sx` describes (at `name`), with the NTFS creation time where the file
// system keeps one; no hash.
// `askNtfs` false: the caller knows the file holds no such attribute.
FileState FileStateFromStatx(const struct statx &sx, const char *name, bool askNtfs = true);

// The stamps to write. A stamp without a value is left exactly as it is on disk.
struct FileTimesUpdate {
    std::optional<DateTime> creation;
    std::optional<DateTime> lastAccess;
    std::optional<DateTime> lastWrite;

    static FileTimesUpdate all(const FileTimes &times) {
        return {times.creation, times.lastAccess, times.lastWrite};
    }
};

// What one stamp holds after a write, judged by reading the file back.
enum class StampStatus {
    NotRequested, // not asked for; left as it was
    Written,      // reads back as asked, to the second
    NotSettable,  // the file system keeps no settable creation time; it holds something else
    Failed,       // not written, or reads back differently
};

// What the caller shows for a file: "修改成功", "修改成功(创建时间未改)" or "修改失败".
enum class WriteOutcome {
    Success,
    SuccessCreationUnchanged,
    Failure,
};

struct FileTimesWriteResult {
    StampStatus creation = StampStatus::NotRequested;
    StampStatus lastAccess = StampStatus::NotRequested;
    StampStatus lastWrite = StampStatus::NotRequested;
    // The stamps on disk after the write; no value when the file could not be read back.
    std::optional<FileTimes> readBack;
    // The same read-back to the nanosecond, with the file's identity and size (what the journal
    // records as the file's state after the change).
    std::optional<FileState> state;
    // The system's error code of the call that failed (errno here); 0 when no call failed. A
    // stamp that was accepted but reads back differently is Failed without an error code.
    int systemError = 0;

    // Failure when a call failed or any asked stamp does not hold its value; creation unchanged
    // when only the creation stamp could not be set on this file system. When the creation
    // stamp was the one change asked for (`onlyCreationChanges`: the others were written back
    // with the values they had, or not asked for at all) and it cannot be set, nothing changed:
    // Failure.
    WriteOutcome outcome(bool onlyCreationChanges = false) const;
};

// The file's current stamps, or no value when the file cannot be examined. Creation is the
// creation time the file system keeps (NTFS through ntfs-3g, or the birth time); where it keeps
// none, the earlier of the modification and status-change times.
std::optional<FileTimes> ReadFileTimes(const QString &path);

// Sets the stamps that have a value on the existing file; never creates, opens for writing or
// truncates it. A file that the program may not write to is refused untouched, as are values
// that are not dates. All conversions happen before the file is touched.
FileTimesWriteResult WriteFileTimes(const QString &path, const FileTimesUpdate &update);
inline FileTimesWriteResult WriteFileTimes(const QString &path, const FileTimes &times) {
    return WriteFileTimes(path, FileTimesUpdate::all(times));
}

// Conversions between a local date-time and seconds since 1970-01-01 00:00:00 UTC, with the
// zone's rules in force on the date converted. A local time that falls into a gap (clocks put
// forward) becomes the first valid time after the gap; one that occurs twice (clocks put back)
// becomes the earlier of the two instants.
std::optional<qint64> LocalToUtcSeconds(const DateTime &local);
std::optional<DateTime> UtcSecondsToLocal(qint64 utcSeconds);

} // namespace kalmora
