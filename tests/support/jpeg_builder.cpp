#include "tests/support/jpeg_builder.h"

namespace kalmora::test {

QByteArray encode16(ByteOrder order, quint16 value) {
    QByteArray out(2, '\0');
    const int lo = order == ByteOrder::Little ? 0 : 1;
    out[lo] = char(value & 0xFF);
    out[1 - lo] = char(value >> 8);
    return out;
}

QByteArray encode32(ByteOrder order, quint32 value) {
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i) {
        const int index = order == ByteOrder::Little ? i : 3 - i;
        out[index] = char((value >> (8 * i)) & 0xFF);
    }
    return out;
}

TiffBuilder::TiffBuilder(ByteOrder order) : m_order(order) {}

int TiffBuilder::addDirectory() {
    m_directories.append(Directory{});
    return int(m_directories.size() - 1);
}

int TiffBuilder::add(int directory, const TiffEntry &entry) {
    m_directories[directory].entries.append(entry);
    return int(m_directories[directory].entries.size() - 1);
}

TiffEntry TiffBuilder::ascii(quint16 tag, const QByteArray &text) const {
    QByteArray data = text;
    data.append('\0');
    return raw(tag, ExifFormat::Ascii, quint32(data.size()), data);
}

TiffEntry TiffBuilder::raw(quint16 tag, quint16 format, quint32 count,
                           const QByteArray &data) const {
    TiffEntry entry;
    entry.tag = tag;
    entry.format = format;
    entry.count = count;
    entry.data = data;
    return entry;
}

TiffEntry TiffBuilder::bytes(quint16 tag, const QByteArray &data, quint16 format) const {
    return raw(tag, format, quint32(data.size()), data);
}

TiffEntry TiffBuilder::shorts(quint16 tag, const QList<quint16> &values, quint16 format) const {
    QByteArray data;
    for (quint16 v : values)
        data += encode16(m_order, v);
    return raw(tag, format, quint32(values.size()), data);
}

TiffEntry TiffBuilder::longs(quint16 tag, const QList<quint32> &values, quint16 format) const {
    QByteArray data;
    for (quint32 v : values)
        data += encode32(m_order, v);
    return raw(tag, format, quint32(values.size()), data);
}

TiffEntry TiffBuilder::rationals(quint16 tag, const QList<std::pair<quint32, quint32>> &values,
                                 quint16 format) const {
    QByteArray data;
    for (const auto &[numerator, denominator] : values)
        data += encode32(m_order, numerator) + encode32(m_order, denominator);
    TiffEntry entry = raw(tag, format, quint32(values.size()), data);
    entry.outOfLine = true;
    return entry;
}

TiffEntry TiffBuilder::pointer(quint16 tag, int directory) const {
    TiffEntry entry = raw(tag, ExifFormat::Long, 1, QByteArray(4, '\0'));
    entry.pointsToDirectory = directory;
    return entry;
}

void TiffBuilder::link(int directory, int next) {
    m_directories[directory].next = next;
}

void TiffBuilder::setNextRaw(int directory, quint32 offset) {
    m_directories[directory].nextRaw = offset;
}

void TiffBuilder::setEntryCountRaw(int directory, quint16 count) {
    m_directories[directory].countRaw = count;
}

void TiffBuilder::setIfd0OffsetRaw(quint32 offset) {
    m_ifd0Raw = offset;
}

TiffBuilder::Result TiffBuilder::build() const {
    Result result;
    const auto outOfLine = [](const TiffEntry &e) { return e.outOfLine || e.data.size() > 4; };

    // First pass: where every directory and every data block goes.
    quint32 position = 8;
    for (const Directory &dir : m_directories) {
        result.directoryOffsets.append(position);
        QList<quint32> entries;
        for (qsizetype k = 0; k < dir.entries.size(); ++k)
            entries.append(position + 2 + 12 * quint32(k));
        result.entryOffsets.append(entries);
        position += 2 + 12 * quint32(dir.entries.size()) + 4;
        QList<quint32> data;
        for (const TiffEntry &e : dir.entries) {
            if (outOfLine(e)) {
                data.append(position);
                position += quint32(e.data.size() + (e.data.size() & 1)); // keep words aligned
            } else {
                data.append(0);
            }
        }
        result.dataOffsets.append(data);
    }

    QByteArray &out = result.bytes;
    out += m_order == ByteOrder::Little ? QByteArray("II") : QByteArray("MM");
    out += encode16(m_order, 42);
    out += encode32(
        m_order, m_ifd0Raw.value_or(m_directories.isEmpty() ? 0 : result.directoryOffsets.at(0)));
    for (qsizetype d = 0; d < m_directories.size(); ++d) {
        const Directory &dir = m_directories.at(d);
        out += encode16(m_order, dir.countRaw.value_or(quint16(dir.entries.size())));
        for (qsizetype k = 0; k < dir.entries.size(); ++k) {
            const TiffEntry &e = dir.entries.at(k);
            out += encode16(m_order, e.tag);
            out += encode16(m_order, e.format);
            out += encode32(m_order, e.count);
            if (e.valueField) {
                out += encode32(m_order, *e.valueField);
            } else if (e.pointsToDirectory >= 0) {
                out += encode32(m_order, result.directoryOffsets.at(e.pointsToDirectory));
            } else if (outOfLine(e)) {
                out += encode32(m_order, result.dataOffsets.at(d).at(k));
            } else {
                out += e.data.leftJustified(4, '\0', true);
            }
        }
        const quint32 next =
            dir.nextRaw.value_or(dir.next >= 0 ? result.directoryOffsets.at(dir.next) : 0);
        out += encode32(m_order, next);
        for (const TiffEntry &e : dir.entries) {
            if (outOfLine(e)) {
                out += e.data;
                if (e.data.size() & 1)
                    out += '\0';
            }
        }
    }
    return result;
}

JpegBuilder &JpegBuilder::segment(quint8 marker, const QByteArray &payload,
                                  std::optional<quint16> length) {
    QByteArray part;
    part += char(0xFF);
    part += char(marker);
    part += encode16(ByteOrder::Big, length.value_or(quint16(payload.size() + 2)));
    part += payload;
    m_parts.append(part);
    return *this;
}

JpegBuilder &JpegBuilder::exif(const QByteArray &tiff, std::optional<quint16> length) {
    return segment(0xE1, QByteArray("Exif\0\0", 6) + tiff, length);
}

JpegBuilder &JpegBuilder::xmp(const QByteArray &packet) {
    return segment(0xE1, QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + packet);
}

JpegBuilder &JpegBuilder::jfif() {
    // Version 1.01, no density unit, 1:1, no thumbnail.
    return segment(0xE0, QByteArray("JFIF\0\x01\x01\x00\x00\x01\x00\x01\x00\x00", 14));
}

JpegBuilder &JpegBuilder::comment(const QByteArray &text) {
    return segment(0xFE, text);
}

JpegBuilder &JpegBuilder::rawBytes(const QByteArray &bytes) {
    m_parts.append(bytes);
    return *this;
}

JpegBuilder &JpegBuilder::withoutImage() {
    m_image = false;
    return *this;
}

JpegBuilder::Result JpegBuilder::build() const {
    Result result;
    result.bytes = QByteArray("\xFF\xD8", 2);
    for (const QByteArray &part : m_parts) {
        result.segmentPositions.append(result.bytes.size());
        result.bytes += part;
    }
    if (!m_image)
        return result;

    // Baseline 8x8 grey image: a flat quantisation table, one-code Huffman tables (DC
    // category 0, AC end-of-block) and one block coded as the bits 0 0, padded with ones.
    const auto marker = [&result](quint8 code, const QByteArray &payload) {
        result.bytes += char(0xFF);
        result.bytes += char(code);
        result.bytes += encode16(ByteOrder::Big, quint16(payload.size() + 2));
        result.bytes += payload;
    };
    marker(0xDB, QByteArray(1, '\0') + QByteArray(64, '\x01'));
    marker(0xC0, QByteArray("\x08\x00\x08\x00\x08\x01\x01\x11\x00", 9));
    QByteArray dc(1, '\x00');
    dc += QByteArray("\x01", 1) + QByteArray(15, '\0') + QByteArray(1, '\0');
    marker(0xC4, dc);
    QByteArray ac(1, '\x10');
    ac += QByteArray("\x01", 1) + QByteArray(15, '\0') + QByteArray(1, '\0');
    marker(0xC4, ac);
    marker(0xDA, QByteArray("\x01\x01\x00\x00\x3F\x00", 6));
    result.bytes += char(0x3F);
    result.bytes += QByteArray("\xFF\xD9", 2);
    return result;
}

namespace {
// A date without a value is left out.
using Date = std::optional<QByteArray>;
SamplePhoto buildCameraPhoto(ByteOrder order, const Date &dateTimeOriginal,
                             const Date &dateTimeDigitized, const Date &dateTime,
                             const QByteArray &model) {
    using namespace ExifTags;
    TiffBuilder tiff(order);
    const int ifd0 = tiff.addDirectory();
    const int ifd1 = tiff.addDirectory();
    const int exif = tiff.addDirectory();
    int records = 0;

    tiff.add(ifd0, tiff.ascii(Make, "Kalmora"));
    tiff.add(ifd0, tiff.ascii(Model, model));
    tiff.add(ifd0, tiff.shorts(Orientation, {1}));
    tiff.add(ifd0, tiff.rationals(XResolution, {{72, 1}}));
    tiff.add(ifd0, tiff.rationals(YResolution, {{72, 1}}));
    tiff.add(ifd0, tiff.shorts(ResolutionUnit, {2}));
    const int modified = dateTime ? tiff.add(ifd0, tiff.ascii(DateTime, *dateTime)) : -1;
    records += modified < 0 ? 0 : 1;
    tiff.add(ifd0, tiff.pointer(ExifIfdPointer, exif));
    tiff.link(ifd0, ifd1);

    tiff.add(ifd1, tiff.shorts(Compression, {6}));
    tiff.add(ifd1, tiff.rationals(XResolution, {{72, 1}}));
    tiff.add(ifd1, tiff.rationals(YResolution, {{72, 1}}));
    tiff.add(ifd1, tiff.shorts(ResolutionUnit, {2}));

    tiff.add(exif, tiff.rationals(ExposureTime, {{1, 125}}));
    tiff.add(exif, tiff.rationals(FNumber, {{28, 10}}));
    tiff.add(exif, tiff.shorts(IsoSpeed, {100}));
    tiff.add(exif, tiff.bytes(ExifVersion, "0231", ExifFormat::Undefined));
    const int original =
        dateTimeOriginal ? tiff.add(exif, tiff.ascii(DateTimeOriginal, *dateTimeOriginal)) : -1;
    const int digitized =
        dateTimeDigitized ? tiff.add(exif, tiff.ascii(DateTimeDigitized, *dateTimeDigitized)) : -1;
    records += (original < 0 ? 0 : 1) + (digitized < 0 ? 0 : 1);
    tiff.add(exif, tiff.rationals(ExposureBias, {{quint32(-1), 3}}, ExifFormat::SRational));
    tiff.add(exif, tiff.bytes(MakerNote, QByteArray("KALMORA\0\x01\x02\x03\x04", 12),
                              ExifFormat::Undefined));
    tiff.add(exif, tiff.shorts(ColorSpace, {1}));

    const TiffBuilder::Result built = tiff.build();
    const JpegBuilder::Result jpeg = JpegBuilder().exif(built.bytes).build();

    SamplePhoto photo;
    photo.bytes = jpeg.bytes;
    photo.tiffStart = JpegBuilder::tiffStart(jpeg, 0);
    const auto position = [&](int directory, int entry) {
        return entry < 0 ? qsizetype(0)
                         : photo.tiffStart + built.dataOffsets.at(directory).at(entry);
    };
    photo.dateTimeOriginalPosition = position(exif, original);
    photo.dateTimeDigitizedPosition = position(exif, digitized);
    photo.dateTimePosition = position(ifd0, modified);
    photo.exifEnd = photo.tiffStart + built.bytes.size();
    photo.recordCount = 7 + 4 + 7 + records;
    return photo;
}
} // namespace

SamplePhoto cameraPhoto(ByteOrder order, const QByteArray &dateTimeOriginal,
                        const QByteArray &model) {
    return buildCameraPhoto(order, dateTimeOriginal, dateTimeOriginal,
                            QByteArray("2019:05:04 13:22:41"), model);
}

SamplePhoto cameraPhotoDates(ByteOrder order, const QByteArray &dateTimeOriginal,
                             const QByteArray &dateTimeDigitized, const QByteArray &dateTime) {
    const auto given = [](const QByteArray &date) { return date.isEmpty() ? Date() : Date(date); };
    return buildCameraPhoto(order, given(dateTimeOriginal), given(dateTimeDigitized),
                            given(dateTime), "Kalmora TestCam");
}

QByteArray expandingPhoto(ByteOrder order) {
    using namespace ExifTags;
    constexpr int SharedBytes = 52000;
    constexpr int EntriesPerDirectory = 240;
    TiffBuilder tiff(order);
    const int ifd0 = tiff.addDirectory();
    const int ifd1 = tiff.addDirectory();
    const int exif = tiff.addDirectory();
    const int gps = tiff.addDirectory();
    tiff.add(ifd0, tiff.ascii(Model, "Kalmora TestCam"));
    tiff.add(ifd0, tiff.pointer(ExifIfdPointer, exif));
    tiff.add(ifd0, tiff.pointer(GpsIfdPointer, gps));
    tiff.link(ifd0, ifd1);
    tiff.add(exif, tiff.ascii(DateTimeOriginal, "2011:08:27 20:11:00"));

    // Printable bytes without NUL, so that a text reading takes them all.
    QByteArray shared(SharedBytes, '\0');
    for (int i = 0; i < SharedBytes; ++i)
        shared[i] = char(0x41 + i % 26);
    const quint16 formats[] = {ExifFormat::Undefined, ExifFormat::Short, ExifFormat::Long,
                               ExifFormat::Rational,  ExifFormat::Ascii, ExifFormat::SRational};
    const auto width = [](quint16 format) {
        return format == ExifFormat::Short       ? 2
               : format == ExifFormat::Long      ? 4
               : format == ExifFormat::Rational  ? 8
               : format == ExifFormat::SRational ? 8
                                                 : 1;
    };
    QList<std::pair<int, int>> sharing; // directory, entry index
    for (const int dir : {ifd0, ifd1, exif, gps}) {
        for (int k = 0; k < EntriesPerDirectory; ++k) {
            const quint16 format = formats[k % 6];
            TiffEntry e;
            e.tag = quint16((dir == gps ? 0x0100 : 0xC000) + k);
            e.format = format;
            e.count = quint32(SharedBytes / width(format));
            e.valueField = 0;
            sharing.append({dir, tiff.add(dir, e)});
        }
    }
    const int holder = tiff.add(gps, tiff.bytes(0x00FF, shared, ExifFormat::Undefined));
    const quint32 at = tiff.build().dataOffsets.at(gps).at(holder);
    for (const auto &[dir, k] : sharing)
        tiff.entry(dir, k).valueField = at;
    return JpegBuilder().jfif().exif(tiff.build().bytes).build().bytes;
}

quint32 PngCrc32(const QByteArray &bytes) {
    quint32 c = 0xFFFFFFFFu;
    for (const char b : bytes) {
        c ^= quint8(b);
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return ~c;
}

namespace {
QByteArray pngChunk(const QByteArray &type, const QByteArray &data) {
    return encode32(ByteOrder::Big, quint32(data.size())) + type + data +
           encode32(ByteOrder::Big, PngCrc32(type + data));
}

QByteArray box(const QByteArray &type, const QByteArray &content) {
    return encode32(ByteOrder::Big, quint32(content.size() + 8)) + type + content;
}
} // namespace

QByteArray pngWithExif(const QByteArray &tiff) {
    const QByteArray header = encode32(ByteOrder::Big, 1) + encode32(ByteOrder::Big, 1) +
                              QByteArray("\x08\x00\x00\x00\x00", 5);
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + pngChunk("IHDR", header) + pngChunk("eXIf", tiff) +
           pngChunk("IDAT", QByteArray("x\x9c\x63\x60\x00\x00\x00\x02\x00\x01", 10)) +
           pngChunk("IEND", {});
}

QByteArray webpWithExif(const QByteArray &tiff) {
    const auto chunk = [](const QByteArray &type, const QByteArray &data) {
        return type + encode32(ByteOrder::Little, quint32(data.size())) + data +
               (data.size() % 2 ? QByteArray(1, '\0') : QByteArray());
    };
    // VP8X: the Exif flag, a canvas of 1 by 1 (sizes less one, 24 bits each).
    const QByteArray body =
        chunk("VP8X", QByteArray("\x08\0\0\0\0\0\0\0\0\0", 10)) + chunk("EXIF", tiff);
    return "RIFF" + encode32(ByteOrder::Little, quint32(body.size() + 4)) + "WEBP" + body;
}

QByteArray heicWithExif(const QByteArray &tiff) {
    const QByteArray ftyp = box("ftyp", QByteArray("heic\0\0\0\0mif1heic", 16));
    // Item 1, of type "Exif": iinf version 0 with one infe of version 2.
    const QByteArray infe = box("infe", QByteArray("\x02\0\0\0\0\x01\0\0Exif\0", 13));
    const QByteArray iinf = box("iinf", QByteArray("\0\0\0\0\0\x01", 6) + infe);
    const QByteArray item = encode32(ByteOrder::Big, 6) + "Exif" + QByteArray(2, '\0') + tiff;
    // iloc version 0: offsets and lengths of 4 bytes, no base offset; one item, one extent.
    const auto iloc = [&](quint32 offset) {
        return box("iloc", QByteArray("\0\0\0\0\x44\0\0\x01\0\x01\0\0\0\x01", 14) +
                               encode32(ByteOrder::Big, offset) +
                               encode32(ByteOrder::Big, quint32(item.size())));
    };
    const QByteArray hdlr = box("hdlr", QByteArray(8, '\0') + "pict" + QByteArray(13, '\0'));
    const auto meta = [&](quint32 offset) {
        return box("meta", QByteArray(4, '\0') + hdlr + iinf + iloc(offset));
    };
    const quint32 itemAt = quint32(ftyp.size() + meta(0).size() + 8);
    return ftyp + meta(itemAt) + box("mdat", item);
}

} // namespace kalmora::test
