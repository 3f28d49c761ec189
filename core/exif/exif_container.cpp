#include "core/exif/exif_container.h"

#include <algorithm>
#include <array>

namespace kalmora::exif_detail {

namespace {

quint32 little32(const FileBytes &in, quint64 at) {
    const QByteArray b = in.bytes(at, 4);
    return quint32(quint8(b[3])) << 24 | quint32(quint8(b[2])) << 16 | quint32(quint8(b[1])) << 8 |
           quint8(b[0]);
}

quint64 bigN(const FileBytes &in, quint64 at, int bytes) {
    quint64 v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | in.u8(at + quint64(i));
    return v;
}

bool startsTiff(const FileBytes &in, quint64 at) {
    if (!in.contains(at, 4))
        return false;
    const QByteArray h = in.bytes(at, 4);
    return h == QByteArray("II\x2A\0", 4) || h == QByteArray("MM\0\x2A", 4);
}

// A block's TIFF header, after the "Exif\0\0" some writers put first.
std::optional<ExifBlock> blockAt(const FileBytes &in, ExifContainer kind, quint64 start,
                                 quint64 end) {
    if (end < start || !in.contains(start, end - start))
        throw ExifError("Exif block outside the file");
    if (end - start >= 6 && in.bytes(start, 6) == QByteArray("Exif\0\0", 6))
        start += 6;
    if (end - start < 8 || !startsTiff(in, start))
        return std::nullopt;
    return ExifBlock{kind, start, end, 0};
}

std::optional<ExifBlock> pngBlock(const FileBytes &in) {
    quint64 at = 8;
    while (in.contains(at, 12)) {
        const quint64 length = bigN(in, at, 4);
        const QByteArray type = in.bytes(at + 4, 4);
        const quint64 data = at + 8;
        if (!in.contains(data, length + 4))
            throw ExifError("PNG chunk outside the file");
        if (type == "eXIf") {
            std::optional<ExifBlock> block = blockAt(in, ExifContainer::Png, data, data + length);
            if (block)
                block->crcFrom = at + 4;
            return block;
        }
        // Exif after the image data is not read by every program: such a file is left alone.
        if (type == "IDAT" || type == "IEND")
            return std::nullopt;
        at = data + length + 4;
    }
    return std::nullopt;
}

std::optional<ExifBlock> webpBlock(const FileBytes &in) {
    const quint64 riffEnd = std::min<quint64>(8 + quint64(little32(in, 4)), in.size());
    quint64 at = 12;
    while (at + 8 <= riffEnd) {
        const QByteArray type = in.bytes(at, 4);
        const quint64 length = little32(in, at + 4), data = at + 8;
        if (length > riffEnd - data)
            throw ExifError("WebP chunk outside the file");
        if (type == "EXIF")
            return blockAt(in, ExifContainer::WebP, data, data + length);
        at = data + length + (length & 1);
    }
    return std::nullopt;
}

// ISO media boxes: the size (32 bits, or 1 and 64 bits after the type, or 0 to the end of the
// enclosing box), the type; `header` is where the box's content starts.
struct Box {
    QByteArray type;
    quint64 start = 0, header = 0, end = 0;
};

std::optional<Box> boxAt(const FileBytes &in, quint64 at, quint64 limit) {
    if (at + 8 > limit)
        return std::nullopt;
    Box b{in.bytes(at + 4, 4), at, at + 8, 0};
    quint64 size = bigN(in, at, 4);
    if (size == 1) {
        size = bigN(in, at + 8, 8);
        b.header += 8;
    } else if (size == 0) {
        size = limit - at;
    }
    if (size < b.header - at || size > limit - at)
        throw ExifError("box outside its container");
    b.end = at + size;
    return b;
}

std::optional<Box> childBox(const FileBytes &in, quint64 from, quint64 limit,
                            const QByteArray &type) {
    quint64 at = from;
    while (const std::optional<Box> b = boxAt(in, at, limit)) {
        if (b->type == type)
            return b;
        if (b->end == at)
            break;
        at = b->end;
    }
    return std::nullopt;
}

std::optional<ExifBlock> heifBlock(const FileBytes &in) {
    const auto meta = childBox(in, 0, in.size(), "meta");
    if (!meta)
        return std::nullopt;
    const quint64 children = meta->header + 4; // a full box: version and flags first
    const auto iinf = childBox(in, children, meta->end, "iinf");
    const auto iloc = childBox(in, children, meta->end, "iloc");
    if (!iinf || !iloc)
        return std::nullopt;
    // The item of type "Exif".
    const int iinfVersion = in.u8(iinf->header);
    quint64 at = iinf->header + 4 + (iinfVersion == 0 ? 2 : 4);
    std::optional<quint64> exifItem;
    while (!exifItem) {
        const auto infe = boxAt(in, at, iinf->end);
        if (!infe)
            return std::nullopt;
        const int version = in.u8(infe->header);
        if (infe->type == "infe" && version >= 2) {
            const int idBytes = version == 2 ? 2 : 4;
            const quint64 id = bigN(in, infe->header + 4, idBytes);
            if (in.bytes(infe->header + 4 + quint64(idBytes) + 2, 4) == "Exif")
                exifItem = id;
        }
        at = infe->end;
    }
    // Its one extent, stored in the file itself.
    const int version = in.u8(iloc->header);
    const quint8 sizes = in.u8(iloc->header + 4), more = in.u8(iloc->header + 5);
    const int offsetSize = sizes >> 4, lengthSize = sizes & 15, baseSize = more >> 4,
              indexSize = version >= 1 ? more & 15 : 0;
    const int idBytes = version < 2 ? 2 : 4;
    at = iloc->header + 6;
    const quint64 items = bigN(in, at, idBytes);
    at += quint64(idBytes);
    for (quint64 i = 0; i < items; ++i) {
        const quint64 id = bigN(in, at, idBytes);
        at += quint64(idBytes);
        int method = 0;
        if (version >= 1) {
            method = int(bigN(in, at, 2) & 15);
            at += 2;
        }
        at += 2; // data reference index
        const quint64 base = bigN(in, at, baseSize);
        at += quint64(baseSize);
        const quint64 extents = bigN(in, at, 2);
        at += 2;
        if (id == *exifItem) {
            if (method != 0 || extents != 1 || indexSize != 0)
                return std::nullopt;
            const quint64 offset = base + bigN(in, at, offsetSize);
            const quint64 length = bigN(in, at + quint64(offsetSize), lengthSize);
            if (length < 4 || !in.contains(offset, length))
                throw ExifError("Exif item outside the file");
            // The item starts with the distance from its fifth byte to the TIFF header.
            const quint64 skip = bigN(in, offset, 4);
            if (skip > length - 4)
                throw ExifError("Exif item header outside the item");
            const quint64 start = offset + 4 + skip;
            if (!startsTiff(in, start))
                return std::nullopt;
            return ExifBlock{ExifContainer::Heif, start, offset + length, 0};
        }
        at += extents * quint64(indexSize + offsetSize + lengthSize);
    }
    return std::nullopt;
}

// Canon's CR3: the Exif directory is the TIFF structure of the CMT2 box inside the movie box's
// Canon "uuid" box (CMT1 holds IFD0's).
std::optional<ExifBlock> cr3Block(const FileBytes &in) {
    static const QByteArray canon = QByteArray::fromHex("85c0b687820f11e08111f4ce462b6a48");
    const auto moov = childBox(in, 0, in.size(), "moov");
    if (!moov)
        return std::nullopt;
    quint64 at = moov->header;
    while (const std::optional<Box> uuid = boxAt(in, at, moov->end)) {
        if (uuid->type == "uuid" && uuid->end - uuid->header >= 16 &&
            in.bytes(uuid->header, 16) == canon) {
            const auto cmt2 = childBox(in, uuid->header + 16, uuid->end, "CMT2");
            return cmt2 ? blockAt(in, ExifContainer::Heif, cmt2->header, cmt2->end) : std::nullopt;
        }
        if (uuid->end == at)
            break;
        at = uuid->end;
    }
    return std::nullopt;
}

} // namespace

std::optional<ExifBlock> LocateExifBlock(const FileBytes &in) {
    if (!in.contains(0, 12))
        return std::nullopt;
    const QByteArray head = in.bytes(0, 12);
    // TIFF, DNG and the raws built on TIFF (CR2, NEF, ARW, PEF; ORF and RW2 with magic numbers
    // of their own in the header).
    static const std::array<QByteArray, 4> rawHeads = {QByteArray("IIRO", 4), QByteArray("IIRS", 4),
                                                       QByteArray("MMOR", 4),
                                                       QByteArray("IIU\0", 4)};
    if (startsTiff(in, 0) ||
        std::find(rawHeads.begin(), rawHeads.end(), head.left(4)) != rawHeads.end())
        return ExifBlock{ExifContainer::Tiff, 0, in.size(), 0};
    if (head.startsWith(QByteArray("\x89PNG\r\n\x1A\n", 8)))
        return pngBlock(in);
    if (head.startsWith("RIFF") && head.mid(8, 4) == "WEBP")
        return webpBlock(in);
    if (head.mid(4, 4) == "ftyp") {
        static const std::array<QByteArray, 7> brands = {"heic", "heix", "heim", "heis",
                                                         "mif1", "msf1", "avif"};
        const QByteArray brand = head.mid(8, 4);
        if (std::find(brands.begin(), brands.end(), brand) != brands.end())
            return heifBlock(in);
        if (brand == "crx ")
            return cr3Block(in);
    }
    return std::nullopt;
}

quint32 PngCrc(const QByteArray &bytes) {
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 c = 0xFFFFFFFFu;
    for (const char byte : bytes)
        c = table[(c ^ quint8(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

} // namespace kalmora::exif_detail
