#pragma once

// The bounded copy of a JPEG's Exif block that the metadata listing hands to the decoder instead
// of the block itself (image_metadata). Internal to core/exif; the tests and the fuzz target
// (tests/fuzz, target bounded_tiff) reach it here.

#include <QByteArray>
#include <QSet>

namespace kalmora {

// The directories the listing shows, in its order; exiv2's groups Image, Photo, Iop, GPSInfo
// and Thumbnail.
enum class ListedDirectory { Ifd0, Exif, Interop, Gps, Ifd1 };

// An entry of a listed directory, as the set of cut entries names it.
constexpr quint32 ListedKey(ListedDirectory directory, quint16 tag) {
    return quint32(directory) << 16 | tag;
}

// The tag the Exif directory's maker note (0x927C) gets in the copy, so that the decoder does not
// walk the maker's own directories unchecked; the listing shows it from the original block.
inline constexpr quint16 HiddenMakerNoteTag = 0xFFFF;

// Values of at most this many bytes are always kept whole.
inline constexpr quint64 ShortValueBytes = 256;

// The most directories the copy visits (and sub-image offsets it takes from one entry).
inline constexpr qsizetype MostBoundedDirectories = 64;

// A copy of the Exif block whose decoding costs a bounded amount: of the same bytes, with the
// count of each long value lowered so that it keeps at most MetadataFieldBytes, and all of them
// together about MetadataPhotoBytes (past that each keeps its first ShortValueBytes); hundreds of
// entries may point at one block of data, and decoded, each would take its own copy of it. The
// copy visits the directories the decoder reads: IFD0 and its chain (the first link is IFD1), the
// Exif, GPS and interoperability directories, sub-images (0x014A), at most
// MostBoundedDirectories of them, each once. Nothing but those counts and the maker note's tag
// changes: no entry is dropped or moved, no offset changed. A block without a TIFF header ("II"
// or "MM", 8 bytes) stays as it is.
struct BoundedTiff {
    QByteArray tiff;
    QSet<quint32> cut; // ListedKey of every entry of a listed directory cut short
};
BoundedTiff BoundTiff(const QByteArray &exifTiff);

// The same change made in place to `size` bytes at `data`, reading and writing none outside
// them; returns the cut entries.
QSet<quint32> BoundTiffInPlace(uchar *data, quint64 size);

} // namespace kalmora
