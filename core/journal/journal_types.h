#pragma once

// The values the journal's parts share: what a batch did, what one entry changes, where the
// journal lives, one patch of bytes.
#include "core/base/byte_patch.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>

namespace kalmora {

// What a batch did to its files; the number is what the journal stores.
enum class BatchKind {
    FileTimes = 1,
    VideoShift = 2,
    Rename = 3,
    DateRewrite = 4,
    Erase = 5,
    Restore = 6,
    StampsFromDate = 7, // file times from the date inside the files
};

// What one journal entry changes in its file.
enum class ChangeKind {
    Stamps = 1,    // access, modification and creation times
    Rename = 2,    // the name, within its folder
    DatePatch = 3, // a few bytes in place (the Exif date texts), then the stamps as they were
    Content = 4,   // the whole content (the erase): the original is kept beside the journal
};

// An entry's state in the store.
constexpr int EntryIntended = 0, EntryDone = 1, EntryFailed = 2;

// Where the journal lives and how long it keeps what.
struct JournalConfig {
    QString stateFolder; // empty: no folder could be found
    int keepDays = 30;
    qint64 keepOriginalsBytes = qint64(2048) << 20;
    qint64 copyLimitBytes = qint64(100) << 20; // a kept original that must be copied, not linked
    bool enabled = true;
    qint64 now = 0; // seconds since 1970, from the clock service
    // The rows a batch holds in memory in each of its queues, and a page the undo reads at a
    // time: a batch of a million files takes no more memory than one of this many.
    int rowsInMemory = 16384;
    // While a batch begins and another holds the journal's write lock: called with the time
    // waited so far, whether to wait on. Unset: 30 seconds.
    std::function<bool(qint64 waitedMs)> lockWait;
};

} // namespace kalmora
