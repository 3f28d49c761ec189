#pragma once

// The kept originals of a batch that replaces its files' content (the erase): a hard link, else
// a copy, of each photo under originals/<batch id>/<seq> beside the journal's database.
#include "core/base/file_state.h"
#include "core/journal/journal_types.h"

#include <QString>

namespace kalmora::journal_detail {

// The folder of a batch's kept originals.
QString keptFolder(const JournalConfig &config, qint64 batch);

// Keeps the file at `path` (its state `state`, read just before) as entry `seq`'s original in
// `folder`: `kept` is where. TooLarge: it would have to be copied and is larger than `copyLimit`
// (nothing kept); Failed: `reason` says why.
enum class KeepResult { Kept, TooLarge, Failed };
KeepResult keepOriginal(const QString &path, const FileState &state, const QString &folder, int seq,
                        qint64 copyLimit, QString &kept, QString &reason);

// Removes one kept original; false when there was none to remove.
bool removeKept(const QString &kept);
// Removes a batch's folder of kept originals with all it holds.
void removeKeptFolder(const QString &folder);

// Puts the folder's names on the disk (its links to kept originals), where the folder exists.
void syncKeptFolder(const QString &folder);

} // namespace kalmora::journal_detail
