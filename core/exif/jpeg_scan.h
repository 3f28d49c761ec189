#pragma once

// The JPEG segment walk of the metadata listing (image_metadata); internal to core/exif.

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace kalmora {

// What the JPEG stream says besides Exif, read up to the first scan.
struct JpegFacts {
    std::optional<std::array<int, 3>> jfif; // units, x density, y density
    std::array<std::optional<QList<qint64>>, 4> tables;
    QByteArray exifTiff; // first Exif segment, from the TIFF header on
    QByteArray xmp;      // first XMP segment, whole
};

// The file's segments up to the first scan, marker by marker as the decoder's own JPEG reading
// walks them; no value when the file cannot be read or does not start as a JPEG.
std::optional<JpegFacts> ScanJpeg(const QString &path);

} // namespace kalmora
