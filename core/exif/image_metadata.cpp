#include "core/exif/image_metadata.h"

#include "core/base/folder_handle.h"
#include "core/base/path_bytes.h"
#include "core/base/text_export.h"
#include "core/exif/metadata_library.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kalmora {

namespace {

struct TagName {
    quint16 tag;
    const char *name;
};

// Entries of IFD0, the Exif and the interoperability directories.
constexpr TagName MainNames[] = {
    {0x00FE, "NewSubfileType"},
    {0x00FF, "SubfileType"},
    {0x0100, "ImageWidth"},
    {0x0101, "ImageHeight"},
    {0x0102, "BitsPerSample"},
    {0x0103, "Compression"},
    {0x0106, "PhotometricInterp"},
    {0x0107, "ThreshHolding"},
    {0x0108, "CellWidth"},
    {0x0109, "CellHeight"},
    {0x010A, "FillOrder"},
    {0x010D, "DocumentName"},
    {0x010E, "ImageDescription"},
    {0x010F, "EquipMake"},
    {0x0110, "EquipModel"},
    {0x0111, "StripOffsets"},
    {0x0112, "Orientation"},
    {0x0115, "SamplesPerPixel"},
    {0x0116, "RowsPerStrip"},
    {0x0117, "StripBytesCount"},
    {0x0118, "MinSampleValue"},
    {0x0119, "MaxSampleValue"},
    {0x011A, "XResolution"},
    {0x011B, "YResolution"},
    {0x011C, "PlanarConfig"},
    {0x011D, "PageName"},
    {0x011E, "XPosition"},
    {0x011F, "YPosition"},
    {0x0120, "FreeOffset"},
    {0x0121, "FreeByteCounts"},
    {0x0122, "GrayResponseUnit"},
    {0x0123, "GrayResponseCurve"},
    {0x0124, "T4Option"},
    {0x0125, "T6Option"},
    {0x0128, "ResolutionUnit"},
    {0x0129, "PageNumber"},
    {0x012D, "TransferFunction"},
    {0x0131, "SoftwareUsed"},
    {0x0132, "DateTime"},
    {0x013B, "Artist"},
    {0x013C, "HostComputer"},
    {0x013D, "Predictor"},
    {0x013E, "WhitePoint"},
    {0x013F, "PrimaryChromaticities"},
    {0x0140, "ColorMap"},
    {0x0141, "HalftoneHints"},
    {0x0142, "TileWidth"},
    {0x0143, "TileLength"},
    {0x0144, "TileOffset"},
    {0x0145, "TileByteCounts"},
    {0x014C, "InkSet"},
    {0x014D, "InkNames"},
    {0x014E, "NumberOfInks"},
    {0x0150, "DotRange"},
    {0x0151, "TargetPrinter"},
    {0x0152, "ExtraSamples"},
    {0x0153, "SampleFormat"},
    {0x0154, "SMinSampleValue"},
    {0x0155, "SMaxSampleValue"},
    {0x0156, "TransferRange"},
    {0x0200, "JPEGProc"},
    {0x0201, "JPEGInterFormat"},
    {0x0202, "JPEGInterLength"},
    {0x0203, "JPEGRestartInterval"},
    {0x0205, "JPEGLosslessPredictors"},
    {0x0206, "JPEGPointTransforms"},
    {0x0207, "JPEGQTables"},
    {0x0208, "JPEGDCTables"},
    {0x0209, "JPEGACTables"},
    {0x0211, "YCbCrCoefficients"},
    {0x0212, "YCbCrSubsampling"},
    {0x0213, "YCbCrPositioning"},
    {0x0214, "REFBlackWhite"},
    {0x0301, "Gamma"},
    {0x0302, "ICCProfileDescriptor"},
    {0x0303, "SRGBRenderingIntent"},
    {0x0320, "ImageTitle"},
    {0x8298, "Copyright"},
    {0x829A, "ExifExposureTime"},
    {0x829D, "ExifFNumber"},
    {0x8769, "ExifIFD"},
    {0x8773, "ICCProfile"},
    {0x8822, "ExifExposureProg"},
    {0x8824, "ExifSpectralSense"},
    {0x8825, "GpsIFD"},
    {0x8827, "ExifISOSpeed"},
    {0x8828, "ExifOECF"},
    {0x9000, "ExifVer"},
    {0x9003, "ExifDTOrig"},
    {0x9004, "ExifDTDigitized"},
    {0x9101, "ExifCompConfig"},
    {0x9102, "ExifCompBPP"},
    {0x9201, "ExifShutterSpeed"},
    {0x9202, "ExifAperture"},
    {0x9203, "ExifBrightness"},
    {0x9204, "ExifExposureBias"},
    {0x9205, "ExifMaxAperture"},
    {0x9206, "ExifSubjectDist"},
    {0x9207, "ExifMeteringMode"},
    {0x9208, "ExifLightSource"},
    {0x9209, "ExifFlash"},
    {0x920A, "ExifFocalLength"},
    {0x927C, "ExifMakerNote"},
    {0x9286, "ExifUserComment"},
    {0x9290, "ExifDTSubsec"},
    {0x9291, "ExifDTOrigSS"},
    {0x9292, "ExifDTDigSS"},
    {0xA000, "ExifFPXVer"},
    {0xA001, "ExifColorSpace"},
    {0xA002, "ExifPixXDim"},
    {0xA003, "ExifPixYDim"},
    {0xA004, "ExifRelatedWav"},
    {0xA005, "ExifInterop"},
    {0xA20B, "ExifFlashEnergy"},
    {0xA20C, "ExifSpatialFR"},
    {0xA20E, "ExifFocalXRes"},
    {0xA20F, "ExifFocalYRes"},
    {0xA210, "ExifFocalResUnit"},
    {0xA214, "ExifSubjectLoc"},
    {0xA215, "ExifExposureIndex"},
    {0xA217, "ExifSensingMethod"},
    {0xA300, "ExifFileSource"},
    {0xA301, "ExifSceneType"},
    {0xA302, "ExifCfaPattern"},
};

// The GPS directory numbers its tags from 0, so it needs its own table.
constexpr TagName GpsNames[] = {
    {0x0000, "GpsVer"},          {0x0001, "GpsLatitudeRef"},    {0x0002, "GpsLatitude"},
    {0x0003, "GpsLongitudeRef"}, {0x0004, "GpsLongitude"},      {0x0005, "GpsAltitudeRef"},
    {0x0006, "GpsAltitude"},     {0x0007, "GpsGpsTime"},        {0x0008, "GpsGpsSatellites"},
    {0x0009, "GpsGpsStatus"},    {0x000A, "GpsGpsMeasureMode"}, {0x000B, "GpsGpsDop"},
    {0x000C, "GpsSpeedRef"},     {0x000D, "GpsSpeed"},          {0x000E, "GpsTrackRef"},
    {0x000F, "GpsTrack"},        {0x0010, "GpsImgDirRef"},      {0x0011, "GpsImgDir"},
    {0x0012, "GpsMapDatum"},     {0x0013, "GpsDestLatRef"},     {0x0014, "GpsDestLat"},
    {0x0015, "GpsDestLongRef"},  {0x0016, "GpsDestLong"},       {0x0017, "GpsDestBearRef"},
    {0x0018, "GpsDestBear"},     {0x0019, "GpsDestDistRef"},    {0x001A, "GpsDestDist"},
};

// IFD1 describes the thumbnail; its entries get the thumbnail names where one exists, so that
// they never pass for the main image's entries.
constexpr TagName ThumbnailNames[] = {
    {0x0100, "ThumbnailImageWidth"},
    {0x0101, "ThumbnailImageHeight"},
    {0x0102, "ThumbnailBitsPerSample"},
    {0x0103, "ThumbnailCompression"},
    {0x0106, "ThumbnailPhotometricInterp"},
    {0x010E, "ThumbnailImageDescription"},
    {0x010F, "ThumbnailEquipMake"},
    {0x0110, "ThumbnailEquipModel"},
    {0x0111, "ThumbnailStripOffsets"},
    {0x0112, "ThumbnailOrientation"},
    {0x0115, "ThumbnailSamplesPerPixel"},
    {0x0116, "ThumbnailRowsPerStrip"},
    {0x0117, "ThumbnailStripBytesCount"},
    {0x011A, "ThumbnailResolutionX"},
    {0x011B, "ThumbnailResolutionY"},
    {0x011C, "ThumbnailPlanarConfig"},
    {0x0128, "ThumbnailResolutionUnit"},
    {0x012D, "ThumbnailTransferFunction"},
    {0x0131, "ThumbnailSoftwareUsed"},
    {0x0132, "ThumbnailDateTime"},
    {0x013B, "ThumbnailArtist"},
    {0x013E, "ThumbnailWhitePoint"},
    {0x013F, "ThumbnailPrimaryChromaticities"},
    {0x0202, "ThumbnailCompressedSize"},
    {0x0211, "ThumbnailYCbCrCoefficients"},
    {0x0212, "ThumbnailYCbCrSubsampling"},
    {0x0213, "ThumbnailYCbCrPositioning"},
    {0x0214, "ThumbnailRefBlackWhite"},
    {0x8298, "ThumbnailCopyRight"},
};

template <size_t N> const char *lookUp(const TagName (&table)[N], quint16 tag) {
    for (const TagName &entry : table) {
        if (entry.tag == tag)
            return entry.name;
    }
    return nullptr;
}

// Directories in listing order; exiv2's group names. Others (maker notes, sub-images) are left
// out.
enum class Directory { Ifd0, Exif, Interop, Gps, Ifd1 };
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

// Tags without a name of their own keep exiv2's name for them.
QString propertyName(Directory directory, quint16 tag, const DecodedExifEntry &datum) {
    const char *name = nullptr;
    if (directory == Directory::Gps)
        name = lookUp(GpsNames, tag);
    else if (directory == Directory::Ifd1)
        name = lookUp(ThumbnailNames, tag);
    if (!name && directory != Directory::Gps)
        name = lookUp(MainNames, tag);
    return name ? QString::fromLatin1(name) : QString::fromStdString(datum.tagName);
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

quint64 readUnsigned(const uchar *p, int size, bool little) {
    quint64 value = 0;
    for (int i = 0; i < size; ++i)
        value |= quint64(p[little ? i : size - 1 - i]) << (8 * i);
    return value;
}

qint64 readSigned(const uchar *p, int size, bool little) {
    const quint64 raw = readUnsigned(p, size, little);
    const quint64 sign = quint64(1) << (8 * size - 1);
    return qint64(raw ^ sign) - qint64(sign);
}

qint64 truncated(double value) {
    return std::isfinite(value) ? qint64(std::clamp(value, -9.2e18, 9.2e18)) : 0;
}

// Bytes per component of a TIFF type; 0 for a type the decoder does not know.
int formatWidth(int type) {
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

// The first value of another type as an integer: enough to tell one such property from another.
qint64 firstAsInteger(int type, const QByteArray &raw, bool little) {
    const auto *data = reinterpret_cast<const uchar *>(raw.constData());
    const auto has = [&raw](qsizetype n) { return raw.size() >= n; };
    switch (type) {
    case 1:
        return has(1) ? data[0] : 0;
    case 6:
        return has(1) ? readSigned(data, 1, little) : 0;
    case 8:
        return has(2) ? readSigned(data, 2, little) : 0;
    case 9:
        return has(4) ? readSigned(data, 4, little) : 0;
    case 13:
        return has(4) ? qint64(readUnsigned(data, 4, little)) : 0;
    case 11:
        if (has(4)) {
            const quint32 bits = quint32(readUnsigned(data, 4, little));
            float value;
            std::memcpy(&value, &bits, sizeof value);
            return truncated(value);
        }
        return 0;
    case 12:
        if (has(8)) {
            const quint64 bits = readUnsigned(data, 8, little);
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
            property.values.append(qint64(readUnsigned(data + at, width, little)));
        break;
    }
    case 5:
    case 10:
        for (qsizetype at = 0; at + 8 <= size; at += 8) {
            if (type == 5)
                property.rationals.append({qint64(readUnsigned(data + at, 4, little)),
                                           qint64(readUnsigned(data + at + 4, 4, little))});
            else
                property.rationals.append(
                    {readSigned(data + at, 4, little), readSigned(data + at + 4, 4, little)});
        }
        break;
    case 7:
        property.bytes = raw;
        break;
    default:
        property.secondNumber = firstAsInteger(type, raw, little);
        break;
    }
    return property;
}

// What the JPEG stream says besides Exif, read up to the first scan.
struct JpegFacts {
    std::optional<std::array<int, 3>> jfif; // units, x density, y density
    std::array<std::optional<QList<qint64>>, 4> tables;
    QByteArray exifTiff; // first Exif segment, from the TIFF header on
    QByteArray xmp;      // first XMP segment, whole
};

const QByteArray XmpSignature("http://ns.adobe.com/xap/1.0/\0", 29);

// Position in the 8x8 block of the k-th coefficient as a table stores it.
constexpr std::array<int, 64> ZigZag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

void readQuantisationTables(const QByteArray &payload, JpegFacts &facts) {
    const auto *p = reinterpret_cast<const uchar *>(payload.constData());
    qsizetype at = 0;
    while (at < payload.size()) {
        const int precision = p[at] >> 4, id = p[at] & 0x0F;
        const int width = precision ? 2 : 1;
        ++at;
        if (id > 3 || payload.size() - at < 64 * width)
            return;
        QList<qint64> table(64);
        for (int k = 0; k < 64; ++k, at += width)
            table[ZigZag[k]] = qint64(readUnsigned(p + at, width, false));
        facts.tables[id] = table; // a later definition replaces an earlier one
    }
}

// The file as the segment walk reads it: a few bytes at a time, whole segments skipped. Served
// from one buffer, with the size taken once, the walk costs a read or two per photo instead of
// several system calls per segment.
class SegmentReader {
public:
    SegmentReader() = default;
    SegmentReader(const SegmentReader &) = delete;
    SegmentReader &operator=(const SegmentReader &) = delete;
    ~SegmentReader() {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    // Fails for what a file open would refuse too: no such file, a directory, a name with NUL.
    bool open(const QString &path) {
        if (path.isEmpty() || path.contains(QChar(u'\0')))
            return false;
        m_fd = OpenToRead(path);
        struct stat info {};
        if (m_fd < 0 || ::fstat(m_fd, &info) != 0 || S_ISDIR(info.st_mode))
            return false;
        m_size = info.st_size;
        return true;
    }
    qint64 pos() const { return m_pos; }
    qint64 size() const { return m_size; }
    bool seek(qint64 pos) {
        if (pos < 0)
            return false;
        m_pos = pos;
        return true;
    }
    // Up to `count` bytes from the current position; fewer at the end of the file.
    QByteArray read(qint64 count) {
        QByteArray bytes;
        if (count <= 0)
            return bytes;
        if (m_pos < m_bufferStart || m_pos + count > m_bufferStart + m_bufferLength) {
            if (count > qint64(sizeof m_buffer)) {
                bytes.resize(qsizetype(count));
                bytes.resize(qsizetype(readAtPos(bytes.data(), count)));
                m_pos += bytes.size();
                return bytes;
            }
            m_bufferStart = m_pos;
            m_bufferLength = readAtPos(m_buffer, qint64(sizeof m_buffer));
        }
        const qint64 available = std::min(count, m_bufferStart + m_bufferLength - m_pos);
        if (available > 0)
            bytes = QByteArray(m_buffer + (m_pos - m_bufferStart), qsizetype(available));
        m_pos += bytes.size();
        return bytes;
    }

private:
    // The descriptor's own position follows the reads, so only a skip costs a seek.
    qint64 readAtPos(char *to, qint64 count) {
        if (m_filePos != m_pos) {
            if (::lseek(m_fd, off_t(m_pos), SEEK_SET) != off_t(m_pos))
                return 0;
            m_filePos = m_pos;
        }
        qint64 done = 0;
        while (done < count) {
            const ssize_t n = ::read(m_fd, to + done, size_t(count - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += n;
        }
        m_filePos += done;
        return done;
    }

    int m_fd = -1;
    char m_buffer[4096];
    qint64 m_size = 0;
    qint64 m_pos = 0;
    qint64 m_filePos = 0;
    qint64 m_bufferStart = 0;
    qint64 m_bufferLength = 0;
};

std::optional<JpegFacts> scanJpeg(const QString &path) {
    SegmentReader file;
    if (!file.open(path) || file.read(2) != QByteArray("\xFF\xD8", 2))
        return std::nullopt;
    JpegFacts facts;
    for (;;) {
        QByteArray head = file.read(2);
        if (head.size() < 2 || uchar(head[0]) != 0xFF)
            break;
        while (uchar(head[1]) == 0xFF) { // fill bytes before a marker
            const QByteArray next = file.read(1);
            if (next.isEmpty())
                return facts;
            head[1] = next[0];
        }
        const uchar marker = uchar(head[1]);
        if (marker == 0xD9 || marker == 0xDA) // end of image, start of scan
            break;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;
        const QByteArray lengthBytes = file.read(2);
        if (lengthBytes.size() < 2)
            break;
        const int length =
            int(readUnsigned(reinterpret_cast<const uchar *>(lengthBytes.data()), 2, false));
        if (length < 2)
            break;
        const bool wanted = marker == 0xDB || (marker == 0xE0 && !facts.jfif) ||
                            (marker == 0xE1 && (facts.exifTiff.isEmpty() || facts.xmp.isEmpty()));
        if (!wanted) {
            if (!file.seek(file.pos() + length - 2) || file.pos() > file.size())
                break;
            continue;
        }
        const QByteArray payload = file.read(length - 2);
        if (payload.size() < length - 2)
            break;
        const auto *p = reinterpret_cast<const uchar *>(payload.constData());
        if (marker == 0xDB) {
            readQuantisationTables(payload, facts);
        } else if (marker == 0xE0) {
            if (payload.size() >= 12 && payload.startsWith(QByteArray("JFIF\0", 5)))
                facts.jfif = std::array<int, 3>{p[7], int(readUnsigned(p + 8, 2, false)),
                                                int(readUnsigned(p + 10, 2, false))};
        } else if (payload.startsWith(QByteArray("Exif\0\0", 6))) {
            if (facts.exifTiff.isEmpty())
                facts.exifTiff = payload.mid(6);
        } else if (payload.startsWith(XmpSignature) && facts.xmp.isEmpty()) {
            facts.xmp = payload;
        }
    }
    return facts;
}

// exiv2 hands out a decoded maker note as its own entries and drops the raw entry; the raw one is
// what gets listed, so read its bytes from the Exif directory.
std::optional<MetadataProperty> rawMakerNote(const QByteArray &tiff) {
    const auto *p = reinterpret_cast<const uchar *>(tiff.constData());
    const quint64 size = quint64(tiff.size());
    if (size < 8 || (tiff.left(2) != "II" && tiff.left(2) != "MM"))
        return std::nullopt;
    const bool little = tiff[0] == 'I';
    const auto inside = [size](quint64 offset, quint64 count) {
        return offset <= size && count <= size - offset;
    };
    // Position of the type field of the first entry with this tag in the directory at `offset`.
    const auto findEntry = [&](quint64 offset, quint16 tag) -> std::optional<quint64> {
        if (!inside(offset, 2))
            return std::nullopt;
        const quint64 entries = readUnsigned(p + offset, 2, little);
        for (quint64 i = 0; i < entries && inside(offset + 2 + 12 * i, 12); ++i) {
            const quint64 entry = offset + 2 + 12 * i;
            if (readUnsigned(p + entry, 2, little) == tag)
                return entry + 2;
        }
        return std::nullopt;
    };
    const auto exifPointer = findEntry(readUnsigned(p + 4, 4, little), 0x8769);
    if (!exifPointer)
        return std::nullopt;
    const auto note = findEntry(readUnsigned(p + *exifPointer + 6, 4, little), 0x927C);
    if (!note)
        return std::nullopt;
    const int type = int(readUnsigned(p + *note, 2, little));
    const quint64 width = quint64(formatWidth(type));
    const quint64 count = readUnsigned(p + *note + 2, 4, little);
    const quint64 bytes = count * width;
    const quint64 data = bytes <= 4 ? *note + 6 : readUnsigned(p + *note + 6, 4, little);
    if (width == 0 || count > quint64(INT_MAX) || !inside(data, bytes))
        return std::nullopt;
    const quint64 taken = std::min<quint64>(bytes, quint64(MetadataFieldBytes)) / width * width;
    MetadataProperty property = makeProperty(QStringLiteral("ExifMakerNote"), type, int(count),
                                             tiff.mid(qsizetype(data), qsizetype(taken)), little);
    property.truncated = taken < bytes;
    return property;
}

// The tag that a maker note is given in the copy handed to the decoder (see boundedTiff).
constexpr quint16 HiddenMakerNoteTag = 0xFFFF;

quint32 listedKey(Directory directory, quint16 tag) {
    return quint32(directory) << 16 | tag;
}

// A copy of the Exif block whose decoding costs a bounded amount: values are cut to the limits
// of MetadataFieldBytes and MetadataPhotoBytes by lowering the entry's count. Hundreds of entries
// may point at one block of data; decoded, each would take its own copy of it. The maker note is
// hidden from the decoder, which would otherwise walk the maker's own directories unchecked; it is
// listed from the original block (rawMakerNote).
struct BoundedTiff {
    QByteArray tiff;
    QSet<quint32> cut; // listedKey of every entry cut short
};

BoundedTiff boundedTiff(const QByteArray &original) {
    BoundedTiff out{original, {}};
    const quint64 size = quint64(original.size());
    if (size < 8 || (original.left(2) != "II" && original.left(2) != "MM"))
        return out;
    const bool little = original[0] == 'I';
    auto *p = reinterpret_cast<uchar *>(out.tiff.data());
    const auto inside = [size](quint64 offset, quint64 count) {
        return offset <= size && count <= size - offset;
    };
    const auto write = [&](quint64 at, quint64 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            p[at + quint64(little ? i : bytes - 1 - i)] = uchar(value >> (8 * i));
    };
    // Directories to visit: the listed ones with their name, any other (sub-images, further
    // links) without, as the decoder reads those too.
    struct Pending {
        quint64 offset;
        std::optional<Directory> directory;
    };
    QList<Pending> queue{{readUnsigned(p + 4, 4, little), Directory::Ifd0}};
    QSet<quint64> seen;
    quint64 budget = quint64(MetadataPhotoBytes);
    constexpr qsizetype MostDirectories = 64;
    while (!queue.isEmpty() && seen.size() < MostDirectories) {
        const Pending at = queue.takeFirst();
        if (seen.contains(at.offset) || !inside(at.offset, 2))
            continue;
        seen.insert(at.offset);
        const quint64 entries = readUnsigned(p + at.offset, 2, little);
        quint64 k = 0;
        for (; k < entries && inside(at.offset + 2 + 12 * k, 12); ++k) {
            const quint64 entry = at.offset + 2 + 12 * k;
            const auto tag = quint16(readUnsigned(p + entry, 2, little));
            const int type = int(readUnsigned(p + entry + 2, 2, little));
            const quint64 count = readUnsigned(p + entry + 4, 4, little);
            const quint64 value = readUnsigned(p + entry + 8, 4, little);
            if (at.directory == Directory::Exif && tag == 0x927C) {
                write(entry, HiddenMakerNoteTag, 2);
                continue;
            }
            // Whatever its type says, the decoder may follow it.
            if (count >= 1) {
                if (tag == 0x8769 && at.directory == Directory::Ifd0)
                    queue.append({value, Directory::Exif});
                else if (tag == 0x8825 && at.directory == Directory::Ifd0)
                    queue.append({value, Directory::Gps});
                else if (tag == 0xA005 && at.directory == Directory::Exif)
                    queue.append({value, Directory::Interop});
                else if (tag == 0x8769 || tag == 0x8825 || tag == 0xA005)
                    queue.append({value, std::nullopt});
                else if (tag == 0x014A) {
                    const quint64 list = count == 1 ? entry + 8 : value;
                    for (quint64 i = 0;
                         i < std::min<quint64>(count, MostDirectories) && inside(list + 4 * i, 4);
                         ++i)
                        queue.append({readUnsigned(p + list + 4 * i, 4, little), std::nullopt});
                }
            }
            const quint64 width = quint64(formatWidth(type));
            const quint64 bytes = count * width; // at most 2^32 * 8: no wrap
            if (bytes <= 4)
                continue;
            // Short values (dates, names, numbers) are always read whole: the budget is for
            // the long ones, and a directory can hold only a few thousand entries.
            constexpr quint64 ShortValueBytes = 256;
            const quint64 allowed = bytes <= ShortValueBytes
                                        ? bytes
                                        : std::min({bytes, quint64(MetadataFieldBytes),
                                                    std::max(budget, ShortValueBytes)});
            const quint64 kept = allowed / width;
            if (kept < count) {
                write(entry + 4, kept, 4);
                if (at.directory)
                    out.cut.insert(listedKey(*at.directory, tag));
            }
            budget -= std::min(budget, kept * width);
        }
        const quint64 next = at.offset + 2 + 12 * entries;
        if (k == entries && inside(next, 4)) {
            if (const quint64 link = readUnsigned(p + next, 4, little); link != 0)
                queue.append({link, at.directory == Directory::Ifd0
                                        ? std::optional<Directory>(Directory::Ifd1)
                                        : std::nullopt});
        }
    }
    return out;
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
    // For a JPEG the Exif block is decoded from a bounded copy (boundedTiff); the segment walk
    // has found it already, as the decoder's own JPEG reading would. Other pictures go to the
    // library whole.
    DecodedExif exifData;
    BoundedTiff bounded;
    if (jpeg) {
        bounded = boundedTiff(exifTiff);
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
                          makeProperty(propertyName(*directory, tag, datum), datum.type,
                                       int(datum.count), datum.raw, little)});
        listed.back().property.truncated = bounded.cut.contains(listedKey(*directory, tag));
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
        const std::optional<JpegFacts> jpeg = scanJpeg(path);
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
        const std::optional<JpegFacts> jpeg = scanJpeg(path);
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
            segment(QByteArray("Exif\0\0", 6) + boundedTiff(jpeg->exifTiff).tiff);
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
