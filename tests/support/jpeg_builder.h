#pragma once

#include <QByteArray>
#include <QList>

#include <optional>
#include <utility>

namespace kalmora::test {

enum class ByteOrder { Little, Big };

QByteArray encode16(ByteOrder order, quint16 value);
QByteArray encode32(ByteOrder order, quint32 value);

// Exif tag and format numbers the suites use.
namespace ExifTags {
inline constexpr quint16 Make = 0x010F;
inline constexpr quint16 Model = 0x0110;
inline constexpr quint16 Orientation = 0x0112;
inline constexpr quint16 XResolution = 0x011A;
inline constexpr quint16 YResolution = 0x011B;
inline constexpr quint16 ResolutionUnit = 0x0128;
inline constexpr quint16 DateTime = 0x0132;
inline constexpr quint16 Compression = 0x0103;
inline constexpr quint16 ExposureTime = 0x829A;
inline constexpr quint16 FNumber = 0x829D;
inline constexpr quint16 ExifIfdPointer = 0x8769; // 34665
inline constexpr quint16 GpsIfdPointer = 0x8825;  // 34853
inline constexpr quint16 IsoSpeed = 0x8827;
inline constexpr quint16 ExifVersion = 0x9000;
inline constexpr quint16 DateTimeOriginal = 0x9003;  // 36867
inline constexpr quint16 DateTimeDigitized = 0x9004; // 36868
inline constexpr quint16 ExposureBias = 0x9204;
inline constexpr quint16 MakerNote = 0x927C; // 37500
inline constexpr quint16 ColorSpace = 0xA001;
} // namespace ExifTags

namespace ExifFormat {
inline constexpr quint16 Byte = 1;
inline constexpr quint16 Ascii = 2;
inline constexpr quint16 Short = 3;
inline constexpr quint16 Long = 4;
inline constexpr quint16 Rational = 5;
inline constexpr quint16 SByte = 6;
inline constexpr quint16 Undefined = 7;
inline constexpr quint16 SShort = 8;
inline constexpr quint16 SLong = 9;
inline constexpr quint16 SRational = 10;
inline constexpr quint16 Float = 11;
inline constexpr quint16 Double = 12;
} // namespace ExifFormat

// One directory entry. `count` is written as given, so it may disagree with the data on purpose.
struct TiffEntry {
    quint16 tag = 0;
    quint16 format = 0;
    quint32 count = 0;
    QByteArray data;                   // value bytes in file order
    bool outOfLine = false;            // data after the directory even when it fits in 4 bytes
    std::optional<quint32> valueField; // written instead of the inline data or the data offset
    int pointsToDirectory = -1;        // value field = offset of that directory
};

// Builds a TIFF structure (header, directories, value data) in either byte order. Directories
// are laid out in the order they were added, each followed by its out-of-line data.
class TiffBuilder {
public:
    explicit TiffBuilder(ByteOrder order);
    ByteOrder order() const { return m_order; }

    int addDirectory(); // the first one added is IFD0
    int add(int directory, const TiffEntry &entry);
    TiffEntry &entry(int directory, int index) { return m_directories[directory].entries[index]; }

    // Entries encoded in this builder's byte order; data longer than 4 bytes goes out of line.
    TiffEntry ascii(quint16 tag, const QByteArray &text) const; // count includes the NUL
    TiffEntry raw(quint16 tag, quint16 format, quint32 count, const QByteArray &data) const;
    TiffEntry bytes(quint16 tag, const QByteArray &data, quint16 format = ExifFormat::Byte) const;
    TiffEntry shorts(quint16 tag, const QList<quint16> &values,
                     quint16 format = ExifFormat::Short) const;
    TiffEntry longs(quint16 tag, const QList<quint32> &values,
                    quint16 format = ExifFormat::Long) const;
    TiffEntry rationals(quint16 tag, const QList<std::pair<quint32, quint32>> &values,
                        quint16 format = ExifFormat::Rational) const;
    TiffEntry pointer(quint16 tag, int directory) const; // LONG holding a directory's offset

    void link(int directory, int next);             // next-IFD pointer to another directory
    void setNextRaw(int directory, quint32 offset); // next-IFD pointer as given
    void setEntryCountRaw(int directory, quint16 count);
    void setIfd0OffsetRaw(quint32 offset);

    struct Result {
        QByteArray bytes;
        QList<quint32> directoryOffsets;    // relative to the TIFF start
        QList<QList<quint32>> entryOffsets; // [directory][entry], relative to the TIFF start
        QList<QList<quint32>> dataOffsets;  // [directory][entry], 0 for inline data
    };
    Result build() const;

private:
    struct Directory {
        QList<TiffEntry> entries;
        int next = -1;
        std::optional<quint32> nextRaw;
        std::optional<quint16> countRaw;
    };
    ByteOrder m_order;
    QList<Directory> m_directories;
    std::optional<quint32> m_ifd0Raw;
};

// Builds a JPEG file: start marker, the segments in the order added, a tiny 8x8 grey image
// that decoders accept, end marker.
class JpegBuilder {
public:
    // A marker segment; its length field is payload + 2, cut to 16 bits unless given.
    JpegBuilder &segment(quint8 marker, const QByteArray &payload,
                         std::optional<quint16> length = std::nullopt);
    JpegBuilder &exif(const QByteArray &tiff, std::optional<quint16> length = std::nullopt);
    JpegBuilder &xmp(const QByteArray &packet);
    JpegBuilder &jfif();
    JpegBuilder &comment(const QByteArray &text);
    JpegBuilder &rawBytes(const QByteArray &bytes); // inserted as given, no marker
    JpegBuilder &withoutImage();                    // only the start marker and the segments

    struct Result {
        QByteArray bytes;
        QList<qsizetype> segmentPositions; // index of each added part's first byte
    };
    Result build() const;

    // File index of the TIFF header inside an Exif segment added at `segmentIndex`.
    static qsizetype tiffStart(const Result &result, int segmentIndex) {
        return result.segmentPositions.at(segmentIndex) + 10;
    }

private:
    QList<QByteArray> m_parts;
    bool m_image = true;
};

// A camera-like photo: IFD0 (make, model, date, Exif pointer), IFD1 (thumbnail fields) and an
// Exif sub-IFD with exposure, version, both dates, an exposure bias of -1/3 and a maker note.
struct SamplePhoto {
    QByteArray bytes;
    qsizetype tiffStart = 0;
    qsizetype dateTimeOriginalPosition = 0;  // file index of the 20-byte DateTimeOriginal text
    qsizetype dateTimeDigitizedPosition = 0; // the same for DateTimeDigitized, 0 when left out
    qsizetype dateTimePosition = 0;          // the same for IFD0's DateTime, 0 when left out
    qsizetype exifEnd = 0;                   // file index just past the Exif segment
    int recordCount = 0;                     // entries in IFD0, IFD1 and the Exif sub-IFD
};
SamplePhoto cameraPhoto(ByteOrder order, const QByteArray &dateTimeOriginal = "2019:05:04 13:22:41",
                        const QByteArray &model = "Kalmora TestCam");
// The same photo with its three dates as given; an empty date is left out of the photo.
SamplePhoto cameraPhotoDates(ByteOrder order, const QByteArray &dateTimeOriginal,
                             const QByteArray &dateTimeDigitized, const QByteArray &dateTime);

// A photo of about 65 KB built to expand: one block of value data of about 50 KB that hundreds
// of entries in IFD0, IFD1, the Exif and the GPS directories all point at, read as bytes,
// shorts, longs, rationals and text. It still has a model and a shooting date.
QByteArray expandingPhoto(ByteOrder order);

// The containers other than JPEG that keep an Exif block (a TIFF structure, as
// TiffBuilder::build makes it): PNG with an eXIf chunk before its one grey pixel, WebP with an
// EXIF chunk after a VP8X header, and HEIC with an "Exif" item in its media data (no image
// data: enough for a reader that looks for the block).
quint32 PngCrc32(const QByteArray &bytes);
QByteArray pngWithExif(const QByteArray &tiff);
QByteArray webpWithExif(const QByteArray &tiff);
QByteArray heicWithExif(const QByteArray &tiff);

} // namespace kalmora::test
