#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace kalmora {

struct MetadataRational {
    qint64 numerator = 0;
    qint64 denominator = 0;
};

// One metadata property of a picture: its name and its value as the TIFF type code says.
struct MetadataProperty {
    QString name;
    int type = 0; // 2 text, 3/4 integers, 5/10 rationals, 7 bytes, others
    int valueCount = 0;
    QString text;                      // type 2, up to the first NUL
    QList<qint64> values;              // types 3 and 4
    QList<MetadataRational> rationals; // types 5 and 10
    QByteArray bytes;                  // type 7
    qint64 secondNumber = 0;           // other types: the first value read as an integer
    bool truncated = false;            // the value was cut short to keep the photo's cost bounded
};

// What reading one photo may take: each value up to `MetadataFieldBytes` bytes, the long values
// together up to `MetadataPhotoBytes` (past that each keeps its first 256 bytes; shorter values
// are always whole). A whole Exif block holds at most 64 KiB, so only entries that point at one
// shared block of data can add up to more.
inline constexpr qsizetype MetadataFieldBytes = 16 * 1024;
inline constexpr qsizetype MetadataPhotoBytes = 1024 * 1024;
// The most text one property line holds, and the mark a line gets when its value was cut.
inline constexpr qsizetype PropertyLineChars = 64 * 1024;
extern const QString TruncatedMark;

// The property's name, a blank and its value as text, on one line: line breaks inside a text
// show as "\r" and "\n". At most `PropertyLineChars` characters; a cut value ends with the
// mark.
QString PropertyLine(const MetadataProperty &property);

// A text (ASCII) property as the listing makes one from the entry's bytes.
MetadataProperty TextProperty(const QString &name, const QByteArray &raw);

// A JPEG's Exif and XMP segments alone, rebuilt as a small JPEG whose Exif block is bounded as
// for the listing: what the author and caption reading hands to the library instead of the
// file. Empty when the file is not a JPEG.
QByteArray BoundedJpegMetadata(const QString &path);

// Lists the metadata of one picture: the entries of IFD0, the Exif, interoperability and GPS
// directories and IFD1, then what the JPEG stream itself says (JFIF resolution when there is no
// Exif, the quantisation tables). One object serves one file.
class ImageMetadata {
public:
    // Whether the metadata library can be set up at all (photo decoding is available).
    static bool libraryAvailable();

    // False for a file that cannot be read or is not a supported picture; never throws.
    bool load(const QString &path);
    int count() const { return int(m_properties.size()); }
    // 1-based; an empty property outside 1..count().
    MetadataProperty item(int i) const;

private:
    QList<MetadataProperty> m_properties;
};

} // namespace kalmora
