#pragma once

// How the journal reads the batch's files (their states, their content's hash) and sets their
// stamps back, without its reads counting as a change.
#include "core/base/file_state.h"

#include <QByteArray>
#include <QFile>
#include <QString>

namespace kalmora {

// Opens the file for reading without moving its access time where the system allows it (our
// own files), so that the journal's reads never count as a change.
bool OpenUntouched(QFile &file, const QString &path);

// Reads what `path` holds now; `withHash` adds the content's hash.
FileState ReadFileState(const QString &path, bool withHash = false);

// Sets the stamps the state holds, to the nanosecond (the creation time where it is settable).
// Empty text on success, otherwise why not.
QString WriteStamps(const QString &path, const FileState &state);

namespace journal_detail {

// The system's text for an errno value.
QString systemText(int error);

// The SHA-256 of the file's content; null when it cannot be read.
QByteArray contentHash(const QString &path);

// As ReadFileState; `link` tells whether the name is a symbolic link.
FileState readState(const QString &path, bool withHash, bool *link = nullptr);

} // namespace journal_detail

} // namespace kalmora
