#pragma once

// Where a photo that is not a JPEG keeps its Exif block: a TIFF file (TIFF, DNG and the raws
// built on it) is one; PNG keeps it in an eXIf chunk, WebP in an EXIF chunk, HEIC and HEIF in an
// item of type "Exif". Internal to core/exif: the reader walks the block the same way wherever
// it lies, and a patch never reaches past the block's end. Canon's CR3 keeps its Exif directory
// as a TIFF structure of its own (the CMT2 box).

#include "core/exif/exif_file_bytes.h"

#include <optional>

namespace kalmora::exif_detail {

enum class ExifContainer : quint8 { Jpeg, Tiff, Png, WebP, Heif };

struct ExifBlock {
    ExifContainer container = ExifContainer::Jpeg;
    quint64 tiffStart = 0; // the TIFF header's first byte in the file
    quint64 end = 0;       // the first byte after the block
    // PNG: the chunk's CRC lies at `end` and covers [crcFrom, end).
    quint64 crcFrom = 0;
};

// The block of a file that is none of JPEG's; no value when the file is of no such kind or
// holds no Exif block. A block whose bounds lie outside the file is damaged (ExifError); one
// past the bytes read so far is BeyondFirstRead, as for any read.
std::optional<ExifBlock> LocateExifBlock(const FileBytes &in);

// PNG's CRC-32 of these bytes.
quint32 PngCrc(const QByteArray &bytes);

} // namespace kalmora::exif_detail
