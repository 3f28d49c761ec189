#pragma once

// What the journal keeps of a shooting-date patch. The batch reads the photo, the journal only
// stores what it is handed: a finder that the journal calls when it makes the intent's row (on
// its own threads, see BatchJournal::intendDatePatch), after it has read the file's state and
// before the file may change.
#include "core/journal/journal.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace kalmora {

struct LoadedText;

// The date texts `tags` hold (those present), read from the photo: the first to be overwritten
// with `text`, the others with what `other` makes of their own text (no function: left as they
// are). No patch where the photo holds no date text (the patch will not find one either).
// `containers`: as the patch's reader (ExifReader).
BatchJournal::PatchFinder
DateTextPatches(const QString &path, const QString &text, const QList<int> &tags,
                const std::function<QByteArray(const QByteArray &own)> &other = {},
                bool containers = true);
// The same for one text a load of this batch found (ExifReader::loadedText): its bytes are
// taken from that load while the file is still the one it read, else from a load of its own.
BatchJournal::PatchFinder DateTextPatches(const QString &path, const QString &text, int tag,
                                          const LoadedText &loaded);

} // namespace kalmora
