#pragma once

// What the Exif reader's files share (exif_reader.cpp: the load; exif_patch.cpp: the patches;
// exif_listing.cpp: the comparison with a full listing). Internal to core/exif.

#include "core/exif/exif_reader.h"
#include "core/exif/tiff_cursor.h"

#include <sys/stat.h>

namespace kalmora::exif_detail {

inline constexpr int TagExifSubIfd = 34665;
inline constexpr int FormatAscii = 2;

// Thrown when a read reaches past the bytes read so far but stays inside the file; the load
// then starts over with the whole file, so what it finds never depends on the first read.
struct BeyondFirstRead {};

// The file as the reader sees it: its first bytes (or all of them) as read, and its length.
// Reads go through a TiffCursor over the bytes held; a read outside the file is a damaged Exif
// block (ExifError), one inside the file but past the bytes held is BeyondFirstRead. Numbers are
// read in the TIFF block's order; the JPEG's own (segment lengths) are big-endian.
class FileBytes {
public:
    FileBytes(const QByteArray &held, quint64 fileSize, TiffOrder order = TiffOrder::Big,
              quint64 tiffStart = 0)
        : m_held(held, order, tiffStart), m_size(fileSize) {}

    quint64 size() const { return m_size; }
    bool contains(quint64 position, quint64 count) const {
        return RangeInside(position, count, m_size);
    }
    void require(quint64 position, quint64 count) const {
        if (!contains(position, count))
            throw ExifError("Exif data points outside the file");
        if (!m_held.contains(position, count))
            throw BeyondFirstRead();
    }

    quint8 u8(quint64 position) const {
        require(position, 1);
        return *m_held.u8(position);
    }
    quint16 u16(quint64 position) const {
        require(position, 2);
        return *m_held.u16(position);
    }
    quint32 u32(quint64 position) const {
        require(position, 4);
        return *m_held.u32(position);
    }
    quint16 bigEndian16(quint64 position) const {
        require(position, 2);
        return *m_held.withOrder(TiffOrder::Big).u16(position);
    }
    QByteArray bytes(quint64 position, quint64 count) const {
        require(position, count);
        return QByteArray(reinterpret_cast<const char *>(m_held.span(position, count)),
                          qsizetype(count));
    }

    // The TIFF structure, through the cursor's reading of it.
    quint64 at(quint64 tiffOffset) const { return m_held.at(tiffOffset); }
    quint64 firstDirectory() const { return at(u32(m_held.tiffStart() + 4)); }
    quint16 entryCount(quint64 directory) const { return u16(directory); }
    TiffEntry entry(quint64 position) const {
        require(position, 12);
        return *m_held.entry(position);
    }
    quint32 nextLink(quint64 directory, quint64 count) const {
        return u32(TiffEntryPosition(directory, count));
    }

    // Index of the first occurrence of the two bytes at or after `from`, -1 when none.
    qint64 find(uchar first, uchar second, quint64 from) const {
        const quint64 held = m_held.size();
        const uchar *data = m_held.span(0, held);
        for (quint64 i = from; held >= 2 && i <= held - 2; ++i) {
            if (data[i] == first && data[i + 1] == second)
                return qint64(i);
        }
        if (held < m_size)
            throw BeyondFirstRead();
        return -1;
    }

private:
    TiffCursor m_held;
    quint64 m_size;
};

inline LoadedFile LoadedFileOf(const struct statx &sx) {
    return {(quint64(sx.stx_dev_major) << 32) | sx.stx_dev_minor, sx.stx_ino, sx.stx_size,
            Stamp{sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec},
            Stamp{sx.stx_ctime.tv_sec, sx.stx_ctime.tv_nsec}};
}

} // namespace kalmora::exif_detail
