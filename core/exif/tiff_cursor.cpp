#include "core/exif/tiff_cursor.h"

namespace kalmora {

int TiffTypeWidth(int type) {
    switch (type) {
    case 1:
    case 2:
    case 6:
    case 7:
        return 1;
    case 3:
    case 8:
        return 2;
    case 4:
    case 9:
    case 11:
    case 13:
        return 4;
    case 5:
    case 10:
    case 12:
        return 8;
    default:
        return 0;
    }
}

quint64 DecodeUnsigned(const uchar *p, int size, TiffOrder order) {
    const bool little = order == TiffOrder::Little;
    quint64 value = 0;
    for (int i = 0; i < size; ++i)
        value |= quint64(p[little ? i : size - 1 - i]) << (8 * i);
    return value;
}

qint64 DecodeSigned(const uchar *p, int size, TiffOrder order) {
    const quint64 raw = DecodeUnsigned(p, size, order);
    const quint64 sign = quint64(1) << (8 * size - 1);
    return qint64(raw ^ sign) - qint64(sign);
}

std::optional<TiffOrder> TiffCursor::HeaderOrder(const uchar *data, quint64 size) {
    if (size < 8 || data[0] != data[1])
        return std::nullopt;
    if (data[0] == 'I')
        return TiffOrder::Little;
    if (data[0] == 'M')
        return TiffOrder::Big;
    return std::nullopt;
}

bool TiffWriter::put(quint64 position, quint64 value, int size) {
    if (!RangeInside(position, quint64(size), m_size))
        return false;
    const bool little = m_order == TiffOrder::Little;
    for (int i = 0; i < size; ++i)
        m_data[position + quint64(little ? i : size - 1 - i)] = uchar(value >> (8 * i));
    return true;
}

} // namespace kalmora
