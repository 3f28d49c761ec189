#pragma once

// The names the metadata listing gives its entries (image_metadata); internal to core/exif.

#include "core/exif/bounded_tiff.h"

#include <QString>

#include <string>

namespace kalmora {

// The listing's name of a tag in a directory; a tag without a name of its own keeps the
// library's name for it (`libraryName`).
QString ListedPropertyName(ListedDirectory directory, quint16 tag, const std::string &libraryName);

} // namespace kalmora
