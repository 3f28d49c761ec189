#include "core/exif/image_metadata.h"

#include "core/base/path_bytes.h"
#include "core/base/text_export.h"
#include "core/exif/bounded_tiff.h"
#include "core/exif/jpeg_scan.h"
#include "core/exif/metadata_library.h"
#include "core/exif/metadata_names.h"
#include "core/exif/tiff_cursor.h"

#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

namespace kalmora {

namespace {

// The listed directories by exiv2's group names. Others (maker notes, sub-images) are left out.
using Directory = ListedDirectory;
std::optional<Directory> directoryOf(const std::string &group) {
    if (group == "Image")
        return Directory::Ifd0;
    if (group == "Photo")
        return Directory::Exif;
    if (group == "Iop")
        return Directory::Interop;
    if (group == "GPSInfo")
        return Directory::Gps;
    if (group == "Thumbnail")
        return Directory::Ifd1;
    return std::nullopt;
}

// Exif text is meant to be ASCII; other writers use UTF-8, and older Chinese ones GBK.
QString decodeText(const QByteArray &raw) {
    const QByteArray bytes = raw.left(raw.indexOf('\0') < 0 ? raw.size() : raw.indexOf('\0'));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder gb("GB18030");
    if (gb.isValid())
        return gb.decode(bytes);
    return QString::fromLatin1(bytes);
}

qint64 truncated(double value) {
    return std::isfinite(value) ? qint64(std::clamp(value, -9.2e18, 9.2e18)) : 0;
}

// The first value of another type as an integer: enough to tell one such property from another.
qint64 firstAsInteger(int type, const QByteArray &raw, TiffOrder order) {
    const auto *data = reinterpret_cast<const uchar *>(raw.constData());
    const auto has = [&raw](qsizetype n) { return raw.size() >= n; };
    switch (type) {
    case 1:
        return has(1) ? data[0] : 0;
    case 6:
        return has(1) ? DecodeSigned(data, 1, order) : 0;
    case 8:
        return has(2) ? DecodeSigned(data, 2, order) : 0;
    case 9:
        return has(4) ? DecodeSigned(data, 4, order) : 0;
    case 13:
        return has(4) ? qint64(DecodeUnsigned(data, 4, order)) : 0;
    case 11:
        if (has(4)) {
            const quint32 bits = quint32(DecodeUnsigned(data, 4, order));
            float value;
            std::memcpy(&value, &bits, sizeof value);
            return truncated(value);
        }
        return 0;
    case 12:
        if (has(8)) {
            const quint64 bits = DecodeUnsigned(data, 8, order);
            double value;
            std::memcpy(&value, &bits, sizeof value);
            return truncated(value);
        }
        return 0;
    default:
        return 0;
    }
}

// Builds a property from the raw value bytes in the given byte order.
MetadataProperty makeProperty(const QString &name, int type, int count, const QByteArray &raw,
                              bool little) {
    const TiffOrder order = little ? TiffOrder::Little : TiffOrder::Big;
    MetadataProperty property;
    property.name = name;
    property.type = type;
    property.valueCount = count;
    const auto *data = reinterpret_cast<const uchar *>(raw.constData());
    const qsizetype size = raw.size();
    switch (type) {
    case 2:
        property.text = decodeText(raw);
        break;
    case 3:
    case 4: {
        const int width = type == 3 ? 2 : 4;
        for (qsizetype at = 0; at + width <= size; at += width)
            property.values.append(qint64(DecodeUnsigned(data + at, width, order)));
        break;
    }
    case 5:
    case 10:
        for (qsizetype at = 0; at + 8 <= size; at += 8) {
            if (type == 5)
                property.rationals.append({qint64(DecodeUnsigned(data + at, 4, order)),
                                           qint64(DecodeUnsigned(data + at + 4, 4, order))});
            else
                property.rationals.append(
                    {DecodeSigned(data + at, 4, order), DecodeSigned(data + at + 4, 4, order)});
        }
        break;
    case 7:
        property.bytes = raw;
        break;
    default:
        property.secondNumber = firstAsInteger(type, raw, order);
        break;
    }
    return property;
}

// exiv2 hands out a decoded maker note as its own entries and drops the raw entry; the raw one is
// what gets listed, so read its bytes from the Exif directory.
std::optional<MetadataProperty> rawMakerNote(const QByteArray &tiff) {
    const std::optional<TiffOrder> order = TiffCursor::HeaderOrder(tiff);
    if (!order)
        return std::nullopt;
    const TiffCursor in(tiff, *order);
    // The first entry with this tag in the directory at `directory`, among the entries that lie
    // inside the block.
    const auto findEntry = [&in](quint64 directory, quint16 tag) -> std::optional<TiffEntry> {
        const std::optional<quint16> entries = in.entryCount(directory);
        for (quint64 i = 0; entries && i < *entries; ++i) {
            const std::optional<TiffEntry> entry = in.entry(directory, i);
            if (!entry)
                break;
            if (entry->tag == tag)
                return entry;
        }
        return std::nullopt;
    };
    const auto exifPointer = findEntry(*in.firstDirectory(), 0x8769);
    if (!exifPointer)
        return std::nullopt;
    const auto note = findEntry(in.at(exifPointer->valueField), 0x927C);
    if (!note || note->count > quint64(INT_MAX))
        return std::nullopt;
    const std::optional<TiffCursor::Value> value = in.value(*note);
    if (!value)
        return std::nullopt;
    const quint64 width = quint64(TiffTypeWidth(note->type));
    const quint64 taken =
        std::min<quint64>(value->bytes, quint64(MetadataFieldBytes)) / width * width;
    MetadataProperty property = makeProperty(
        QStringLiteral("ExifMakerNote"), note->type, int(note->count),
        tiff.mid(qsizetype(value->position), qsizetype(taken)), *order == TiffOrder::Little);
    property.truncated = taken < value->bytes;
    return property;
}

struct Listed {
    Directory directory;
    quint16 tag;
    MetadataProperty property;
};

// `jpeg`: the file starts with a JPEG start marker, and `exifTiff` is its Exif block as the
// segment walk found it.
std::vector<Listed> readExif(const QString &path, const QByteArray &exifTiff, bool jpeg) {
    const MetadataLibraryCalls &library = RequiredMetadataLibrary();
    // For a JPEG the Exif block is decoded from a bounded copy (BoundTiff); the segment walk
    // has found it already, as the decoder's own JPEG reading would. Other pictures go to the
    // library whole.
    DecodedExif exifData;
    BoundedTiff bounded;
    if (jpeg) {
        bounded = BoundTiff(exifTiff);
        if (!bounded.tiff.isEmpty())
            exifData = library.decodeTiff(bounded.tiff);
    } else {
        exifData = library.readFile(PathBytes(path).toStdString());
    }
    const bool little = exifData.littleEndian;

    std::vector<Listed> listed;
    listed.reserve(exifData.entries.size() + 1);
    bool haveMakerNote = false;
    for (const DecodedExifEntry &datum : exifData.entries) {
        const auto directory = directoryOf(datum.group);
        if (!directory)
            continue;
        if (jpeg && *directory == Directory::Exif && datum.tag == HiddenMakerNoteTag)
            continue;
        const quint16 tag = datum.tag;
        haveMakerNote = haveMakerNote || (*directory == Directory::Exif && tag == 0x927C);
        listed.push_back({*directory, tag,
                          makeProperty(ListedPropertyName(*directory, tag, datum.tagName),
                                       datum.type, int(datum.count), datum.raw, little)});
        listed.back().property.truncated = bounded.cut.contains(ListedKey(*directory, tag));
    }
    if (!haveMakerNote) {
        if (auto note = rawMakerNote(exifTiff))
            listed.push_back({Directory::Exif, 0x927C, *note});
    }
    // Directory by directory, each in tag order as TIFF lays them out. Usually the decoder's
    // order already is, and the sort's buffer would cost more than the check.
    const auto listingOrder = [](const Listed &a, const Listed &b) {
        return a.directory != b.directory ? a.directory < b.directory : a.tag < b.tag;
    };
    if (!std::is_sorted(listed.begin(), listed.end(), listingOrder))
        std::stable_sort(listed.begin(), listed.end(), listingOrder);
    return listed;
}

MetadataProperty numbers(const QString &name, int type, const QList<qint64> &values) {
    MetadataProperty property;
    property.name = name;
    property.type = type;
    property.valueCount = int(values.size());
    property.values = values;
    return property;
}

MetadataProperty density(const QString &name, int value) {
    MetadataProperty property;
    property.name = name;
    property.type = 5;
    property.valueCount = 1;
    property.rationals = {{value, 1}};
    return property;
}

} // namespace

const QString TruncatedMark = QStringLiteral("【内容过长，已截断】");

namespace {

QString propertyText(const MetadataProperty &property) {
    QStringList parts;
    switch (property.type) {
    case 2:
        return property.name + u' ' + OneLine(property.text);
    case 3:
    case 4:
        for (qint64 value : property.values)
            parts.append(QString::number(value));
        break;
    case 5:
    case 10:
        for (const MetadataRational &value : property.rationals)
            parts.append(QString::number(value.numerator) + u'/' +
                         QString::number(value.denominator));
        break;
    case 7: {
        // Two upper-case digits a byte, written straight into the line: thousands of bytes are
        // common.
        static constexpr char Digits[] = "0123456789ABCDEF";
        QString line = property.name + u' ';
        const qsizetype start = line.size();
        line.resize(start + qMax<qsizetype>(0, property.bytes.size() * 3 - 1), u' ');
        QChar *out = line.data() + start;
        for (qsizetype i = 0; i < property.bytes.size(); ++i, out += 3) {
            const auto byte = uchar(property.bytes[i]);
            out[0] = QLatin1Char(Digits[byte >> 4]);
            out[1] = QLatin1Char(Digits[byte & 0x0F]);
        }
        return line;
    }
    default:
        return property.name + u' ' + QString::number(property.type) + u' ' +
               QString::number(property.secondNumber);
    }
    return property.name + u' ' + parts.join(QStringLiteral(", "));
}

} // namespace

MetadataProperty TextProperty(const QString &name, const QByteArray &raw) {
    return makeProperty(name, 2, int(raw.size()), raw, true);
}

QString PropertyLine(const MetadataProperty &property) {
    QString line = propertyText(property);
    if (line.size() > PropertyLineChars)
        line.truncate(PropertyLineChars - TruncatedMark.size() - 1);
    else if (!property.truncated)
        return line;
    return line + u' ' + TruncatedMark;
}

bool ImageMetadata::load(const QString &path) {
    m_properties.clear();
    try {
        const std::optional<JpegFacts> jpeg = ScanJpeg(path);
        std::vector<Listed> listed =
            readExif(path, jpeg ? jpeg->exifTiff : QByteArray(), jpeg.has_value());
        m_properties.reserve(qsizetype(listed.size()) + 5); // the JPEG's own come after
        for (Listed &entry : listed)
            m_properties.append(std::move(entry.property));
        if (!jpeg)
            return true;
        // JFIF units 0, 1, 2 (none, inch, cm) are TIFF's 1, 2, 3.
        if (m_properties.isEmpty() && jpeg->jfif) {
            const auto [units, x, y] = *jpeg->jfif;
            m_properties.append(density(QStringLiteral("XResolution"), x));
            m_properties.append(density(QStringLiteral("YResolution"), y));
            m_properties.append(numbers(QStringLiteral("ResolutionUnit"), 3, {units + 1}));
        }
        if (jpeg->tables[0])
            m_properties.append(numbers(QStringLiteral("LuminanceTable"), 3, *jpeg->tables[0]));
        if (jpeg->tables[1])
            m_properties.append(numbers(QStringLiteral("ChrominanceTable"), 3, *jpeg->tables[1]));
        return true;
    } catch (...) {
        // exiv2 reports unreadable and unknown files by throwing; so may a damaged file.
        m_properties.clear();
        return false;
    }
}

QByteArray BoundedJpegMetadata(const QString &path) {
    try {
        const std::optional<JpegFacts> jpeg = ScanJpeg(path);
        if (!jpeg)
            return {};
        QByteArray out("\xFF\xD8", 2);
        const auto segment = [&out](const QByteArray &payload) {
            const auto length = quint16(payload.size() + 2); // it came from one segment
            out += "\xFF\xE1";
            out += char(length >> 8);
            out += char(length & 0xFF);
            out += payload;
        };
        if (!jpeg->exifTiff.isEmpty())
            segment(QByteArray("Exif\0\0", 6) + BoundTiff(jpeg->exifTiff).tiff);
        if (!jpeg->xmp.isEmpty())
            segment(jpeg->xmp);
        return out + QByteArray("\xFF\xD9", 2);
    } catch (...) {
        return {};
    }
}

MetadataProperty ImageMetadata::item(int i) const {
    if (i < 1 || i > count())
        return {};
    return m_properties.at(i - 1);
}

bool ImageMetadata::libraryAvailable() {
    static const bool available = [] {
        const MetadataLibraryCalls *library = MetadataLibrary();
        return library && library->initialize();
    }();
    return available;
}

} // namespace kalmora
