#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace kalmora {

struct LoadedText;

class ImageMetadata;

// What the full read puts into a row: the shooting date (column 1 when importing, else column 2)
// and, when importing, the camera model (column 3); no value for what the photo does not have.
// `exifMode`: the read stops once it has both.
struct ExifCells {
    std::optional<QString> date;
    std::optional<QString> model;
};
ExifCells ExifCellsOf(const ImageMetadata &metadata, bool importing, bool exifMode);

// The shooting date as the full read puts it into a row (column 1 when importing in Exif mode,
// else column 2); no value when the photo has none or cannot be loaded (the row keeps its text).
std::optional<QString> ShootingDateCell(const QString &path, bool importing);

// The shooting date as a row shows it, from the bytes of the photo's shooting-date field.
QString ShootingDateCellText(const QByteArray &field);
// The shooting date the import would put into the row, read through the byte-level reader where
// its answer is certainly the full read's: a photo with one shooting date in a cleanly laid out
// Exif block. No value where only the full read (ReadExifIntoRow) can tell, which includes every
// photo without a date. `loaded`: where it answers, the date's text as the load found it, for
// a patch later in the batch (no value where a patch would need the file read again).
std::optional<QString> QuickShootingDateCellText(const QString &path,
                                                 std::optional<LoadedText> *loaded = nullptr);

// Appends one line per property, then an empty line, to the export buffer. Lines end in CR LF.
// Nothing is appended for a file that cannot be loaded.
void AppendPropertyText(const QString &path, QString &exportBuffer);

// One photo's part of the Exif export: its name line and its translated properties, or the one
// line that stands for a photo with maker tags. The name is left as it is: a photo called
// "DateTime.jpg" keeps its name.
QString ExifExportBlock(const QString &fileName, const QString &path);

// Whether the photo keeps no more than what the JPEG stream itself describes, as a stripped
// photo does; false when it cannot be loaded.
bool MetadataErased(const QString &path);
bool MetadataErased(const ImageMetadata &metadata);

} // namespace kalmora
