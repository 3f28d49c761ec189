#pragma once

// The kept originals of a batch that replaces its files' content (the erase): a hard link, else
// a copy, of each photo under originals/<batch id>/<seq> beside the journal's database.
#include "core/base/file_state.h"
#include "core/journal/journal_types.h"

#include <QString>

namespace kalmora::journal_detail {

// The folder of a batch's kept originals.
QString keptFolder(const JournalConfig &config, qint64 batch);
// The highest batch number among the folders of kept originals; 0 without any.
qint64 highestKeptFolder(const JournalConfig &config);

// Keeps the file at `path` (its state `state`, read just before) as entry `seq`'s original in
// `folder`: `kept` is where. TooLarge: it would have to be copied and is larger than `copyLimit`
// (nothing kept); Failed: `reason` says why.
enum class KeepResult { Kept, TooLarge, Failed };
KeepResult keepOriginal(const QString &path, const FileState &state, const QString &folder, int seq,
                        qint64 copyLimit, QString &kept, QString &reason);

// Once the batch has put a new file under the original's name (`now` is what that name holds),
// the kept original is nobody's but the journal's: others lose their access to it. Its own
// permissions are in the journal, and the undo gives them back.
void makeKeptPrivate(const QString &kept, const FileState &now);

// Removes one kept original; false when there was none to remove.
bool removeKept(const QString &kept);
// Removes a batch's folder of kept originals with all it holds.
void removeKeptFolder(const QString &folder);

// Puts the folder's names on the disk (its links to kept originals), where the folder exists.
void syncFolder(const QString &folder);

} // namespace kalmora::journal_detail
