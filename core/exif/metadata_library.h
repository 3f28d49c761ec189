#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>
#include <vector>

// The photo metadata library (exiv2) is loaded when a program first reads metadata with it,
// not when the program starts: loading it costs every start a few milliseconds, and most
// commands and many sessions never need it. It sits behind a small module of ours, built with
// the programs, whose calls trade in the plain data below. Calls throw what the library throws.

namespace kalmora {

// One Exif entry as the library decoded it: its directory (the library's group name), tag,
// the library's name for the tag, TIFF type, count, and its value's bytes in the block's order.
struct DecodedExifEntry {
    std::string group;
    quint16 tag = 0;
    std::string tagName;
    int type = 0;
    long count = 0;
    QByteArray raw;
};

// No entries when the block is no TIFF structure the library can read.
struct DecodedExif {
    bool littleEndian = true;
    std::vector<DecodedExifEntry> entries;
};

// For the author and caption: each asked Exif key's entry (none when absent), and each asked XMP
// key's texts (the default language of an alternative text, or every item of a list).
struct DecodedSummary {
    bool littleEndian = true;
    std::vector<std::optional<DecodedExifEntry>> exif;
    std::vector<std::optional<std::vector<std::string>>> xmp;
};

struct MetadataLibraryCalls {
    // Whether the library can be set up at all.
    bool (*initialize)();
    // The Exif entries of a TIFF block (a JPEG's Exif segment without its header).
    DecodedExif (*decodeTiff)(const QByteArray &tiff);
    // The Exif entries of a whole picture file the library reads itself.
    DecodedExif (*readFile)(const std::string &path);
    // From a picture in memory (`bytes`), else the file at `path`.
    DecodedSummary (*readSummary)(const QByteArray &bytes, const std::string &path,
                                  const std::vector<std::string> &exifKeys,
                                  const std::vector<std::string> &xmpKeys);
};

// The module's calls, loaded on first use; null when it cannot be loaded.
const MetadataLibraryCalls *MetadataLibrary();
// The same for a reader that cannot go on without them: std::runtime_error when not loaded.
const MetadataLibraryCalls &RequiredMetadataLibrary();

} // namespace kalmora
