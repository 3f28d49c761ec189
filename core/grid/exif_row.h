#pragma once

#include <QString>

namespace kalmora {

class FileGrid;
class ImageMetadata;

// What the caller's window state says about the row being read.
struct ExifRowContext {
    int row;             // the grid row to fill
    bool exifMode;       // Exif mode is selected
    bool rewriteRunning; // a shooting-date rewrite is under way
    bool eraseMarking;   // called by the erase: mark column 5 and pause
};

// Fills the row from the photo: the shooting date (column 1 in Exif mode outside a rewrite,
// column 2 otherwise) and, in Exif mode outside a rewrite, the camera model in column 3. A file
// that cannot be loaded leaves the row as it is.
void ReadExifIntoRow(const QString &path, FileGrid &grid, const ExifRowContext &context);
// The same from a photo's metadata loaded already.
void ExifIntoRow(const ImageMetadata &metadata, FileGrid &grid, const ExifRowContext &context);

} // namespace kalmora
