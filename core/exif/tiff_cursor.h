#pragma once

// The one reader of TIFF structures (an Exif block is one): the byte order, reads of 16- and
// 32-bit numbers at a position, directories and their 12-byte entries, and where an entry's
// value lies. Every read is checked against the bytes held in 64-bit arithmetic, so an offset or
// count taken from the data can neither wrap nor reach outside them; a read outside gives no
// value. The Exif reader (exif_reader, exif_patch, exif_listing) and the bounded copy of the
// metadata listing (bounded_tiff) both walk their directories through it.

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace kalmora {

// "II" and "MM".
enum class TiffOrder : quint8 { Little, Big };

// Bytes per component of a TIFF type: 1 BYTE, 2 ASCII, 6 SBYTE, 7 UNDEFINED; 3 SHORT, 8 SSHORT;
// 4 LONG, 9 SLONG, 11 FLOAT, 13 IFD; 5 RATIONAL, 10 SRATIONAL, 12 DOUBLE. 0 for any other.
int TiffTypeWidth(int type);

// An unsigned number of `size` bytes (1 to 8) at `p` in the given order, and the same read as a
// two's complement number. The caller has checked that the bytes are there.
quint64 DecodeUnsigned(const uchar *p, int size, TiffOrder order);
qint64 DecodeSigned(const uchar *p, int size, TiffOrder order);

// Whether `count` bytes from `position` lie inside `size` bytes; never wraps.
constexpr bool RangeInside(quint64 position, quint64 count, quint64 size) {
    return position <= size && count <= size - position;
}

// One directory entry as its 12 bytes say.
struct TiffEntry {
    quint64 position = 0; // of its first byte
    quint16 tag = 0;
    quint16 type = 0;
    quint32 count = 0;
    quint32 valueField = 0; // the value's offset, or the value itself where it fits

    // The value's length by its type's width (0 for an unknown type); below 2^35, so no sum
    // with a 32-bit offset wraps.
    quint64 valueBytes() const { return quint64(TiffTypeWidth(type)) * count; }
    quint64 valueFieldPosition() const { return position + 8; }
};

// A directory's place: at `position` a 16-bit count, then `count` entries of 12 bytes, then
// the 32-bit offset of the next directory in the chain (0 at its end).
constexpr quint64 TiffEntryPosition(quint64 directory, quint64 index) {
    return directory + 2 + 12 * index;
}

class TiffCursor {
public:
    // Over `size` bytes at `data` (which stay owned by the caller and may change between
    // reads); `tiffStart` is where the TIFF header lies in them, from which the offsets in the
    // structure count.
    TiffCursor(const uchar *data, quint64 size, TiffOrder order = TiffOrder::Big,
               quint64 tiffStart = 0)
        : m_data(data), m_size(size), m_tiffStart(tiffStart), m_order(order) {}
    TiffCursor(const QByteArray &bytes, TiffOrder order = TiffOrder::Big, quint64 tiffStart = 0)
        : TiffCursor(reinterpret_cast<const uchar *>(bytes.constData()), quint64(bytes.size()),
                     order, tiffStart) {}

    // The order a bare TIFF block's header names: "II" or "MM" in a block of at least 8 bytes.
    static std::optional<TiffOrder> HeaderOrder(const uchar *data, quint64 size);
    static std::optional<TiffOrder> HeaderOrder(const QByteArray &tiff) {
        return HeaderOrder(reinterpret_cast<const uchar *>(tiff.constData()), quint64(tiff.size()));
    }

    quint64 size() const { return m_size; }
    TiffOrder order() const { return m_order; }
    bool littleEndian() const { return m_order == TiffOrder::Little; }
    quint64 tiffStart() const { return m_tiffStart; }
    TiffCursor withOrder(TiffOrder order) const {
        return TiffCursor(m_data, m_size, order, m_tiffStart);
    }

    bool contains(quint64 position, quint64 count) const {
        return RangeInside(position, count, m_size);
    }
    // The bytes themselves, or null when they do not lie inside.
    const uchar *span(quint64 position, quint64 count) const {
        return contains(position, count) ? m_data + position : nullptr;
    }

    std::optional<quint8> u8(quint64 position) const {
        if (!contains(position, 1))
            return std::nullopt;
        return m_data[position];
    }
    // In the cursor's byte order.
    std::optional<quint16> u16(quint64 position) const {
        if (!contains(position, 2))
            return std::nullopt;
        const uchar *p = m_data + position;
        return littleEndian() ? quint16(p[0] | p[1] << 8) : quint16(p[0] << 8 | p[1]);
    }
    std::optional<quint32> u32(quint64 position) const {
        if (!contains(position, 4))
            return std::nullopt;
        const uchar *p = m_data + position;
        return littleEndian()
                   ? quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24
                   : quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
    }

    // The position of a TIFF offset among the bytes: below 2^33, no wrap.
    quint64 at(quint64 tiffOffset) const { return m_tiffStart + tiffOffset; }
    // IFD0's position, from the offset in the header.
    std::optional<quint64> firstDirectory() const {
        const auto offset = u32(m_tiffStart + 4);
        return offset ? std::optional<quint64>(at(*offset)) : std::nullopt;
    }

    // A directory's entry count.
    std::optional<quint16> entryCount(quint64 directory) const { return u16(directory); }
    // The entry whose 12 bytes start at `position`, when they all lie inside.
    std::optional<TiffEntry> entry(quint64 position) const {
        if (!contains(position, 12))
            return std::nullopt;
        TiffEntry e;
        e.position = position;
        e.tag = *u16(position);
        e.type = *u16(position + 2);
        e.count = *u32(position + 4);
        e.valueField = *u32(position + 8);
        return e;
    }
    std::optional<TiffEntry> entry(quint64 directory, quint64 index) const {
        return entry(TiffEntryPosition(directory, index));
    }
    // The link to the next directory after a directory of `count` entries.
    std::optional<quint32> nextLink(quint64 directory, quint64 count) const {
        return u32(TiffEntryPosition(directory, count));
    }

    // Where an entry's value lies: in its own value field when it takes at most 4 bytes, else
    // at its offset. The position only, unchecked.
    quint64 valuePosition(const TiffEntry &e) const {
        return e.valueBytes() <= 4 ? e.valueFieldPosition() : at(e.valueField);
    }
    // The same with its length, when the type is known and the whole value lies inside.
    struct Value {
        quint64 position = 0;
        quint64 bytes = 0;
    };
    std::optional<Value> value(const TiffEntry &e) const {
        const Value v{valuePosition(e), e.valueBytes()};
        if (TiffTypeWidth(e.type) == 0 || !contains(v.position, v.bytes))
            return std::nullopt;
        return v;
    }

private:
    const uchar *m_data;
    quint64 m_size;
    quint64 m_tiffStart;
    TiffOrder m_order;
};

// Checked writes of 16- and 32-bit numbers into bytes held in place, in a TIFF block's order;
// false, and nothing written, where they would not lie wholly inside.
class TiffWriter {
public:
    TiffWriter(uchar *data, quint64 size, TiffOrder order)
        : m_data(data), m_size(size), m_order(order) {}
    bool put16(quint64 position, quint16 value) { return put(position, value, 2); }
    bool put32(quint64 position, quint32 value) { return put(position, value, 4); }

private:
    bool put(quint64 position, quint64 value, int size);

    uchar *m_data;
    quint64 m_size;
    TiffOrder m_order;
};

} // namespace kalmora
