#pragma once

// The dates a QuickTime or MP4 movie (MOV, MP4, M4V, 3GP) records of itself: the creation and
// modification times of its movie header and of each track's and medium's header (mvhd, tkhd,
// mdhd), seconds since 1904-01-01 UTC in 32 or 64 bits. Moved in place, they change only those
// bytes.

#include "core/base/byte_patch.h"

#include <QList>
#include <QString>

#include <optional>

namespace kalmora {

struct QuickTimeDate {
    qint64 offset = 0; // in the file
    int width = 4;     // bytes: 4 or 8
    quint64 value = 0; // as stored; 0 means "not set"
};

// The dates of the movie at `path`; no value when it is no such movie, or its boxes are damaged.
std::optional<QList<QuickTimeDate>> ReadQuickTimeDates(const QString &path);

// The bytes that move each set date by `seconds` (the journal's form: offset, what it holds,
// what it will hold); no value when a date would leave what its width holds. Dates of 0 stay.
std::optional<QList<BytePatch>> QuickTimeShift(const QList<QuickTimeDate> &dates, qint64 seconds);

// The first set date of the movie header, as an instant (seconds since 1970); none when unset.
std::optional<qint64> QuickTimeMovieCreated(const QList<QuickTimeDate> &dates);

} // namespace kalmora
