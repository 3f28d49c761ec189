#include "core/exif/exif_reader.h"

#include "core/base/folder_handle.h"
#include "core/exif/exif_file_bytes.h"

#include <QFile>
#include <QSet>

#include <unistd.h>

namespace kalmora {

using namespace exif_detail;

bool ExifReader::isFirstExifSegment() const {
    if (!m_inJpeg)
        return true; // a container holds one block, the one found
    const FileBytes in(m_buffer, m_fileSize);
    // The walk a listing makes: marker by marker from the start, fill bytes skipped, up to the
    // first scan.
    quint64 at = 2;
    for (;;) {
        if (in.u8(at) != 0xFF)
            return false;
        quint8 marker = in.u8(at + 1);
        at += 2;
        while (marker == 0xFF)
            marker = in.u8(at++);
        if (marker == 0xD9 || marker == 0xDA)
            return false;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;
        const quint64 length = in.bigEndian16(at);
        if (length < 2 || !in.contains(at + 2, length - 2))
            return false;
        if (marker == 0xE1 && length >= 8 && in.bytes(at + 2, 6) == QByteArray("Exif\0\0", 6))
            return at - 2 == m_segmentPosition;
        at += length;
    }
}

std::optional<std::pair<quint64, quint32>> ExifReader::soleExifTextRange(int exifTag) const {
    if (!m_hasExif || exifTag == 0)
        return std::nullopt;
    const ExifTagRecord *entry = nullptr;
    const ExifTagRecord *exifPointer = nullptr;
    for (const ExifTagRecord &record : m_records) {
        if (record.Tag == exifTag) {
            if (entry)
                return std::nullopt;
            entry = &record;
        }
        if (record.Tag == TagExifSubIfd) {
            if (exifPointer)
                return std::nullopt;
            exifPointer = &record;
        }
    }
    // Longer texts may be cut short by the listing.
    constexpr quint32 WholeTextBytes = 256;
    if (!entry || !exifPointer || entry->DataFormat != FormatAscii || !entry->dataOutsideEntry ||
        entry->Components == 0 || entry->Components > WholeTextBytes)
        return std::nullopt;
    quint64 start = 0;
    try {
        const FileBytes in = tiffBytes();
        if (!isFirstExifSegment())
            return std::nullopt;
        const QByteArray header = in.bytes(m_tiffStart, 4);
        if (header != QByteArray("II\x2A\0", 4) && header != QByteArray("MM\0\x2A", 4))
            return std::nullopt;
        const quint64 segmentEnd = blockEnd(in);
        const auto inDirectory = [&](quint64 position, quint64 directory) {
            const quint64 count = in.entryCount(directory);
            return position >= TiffEntryPosition(directory, 0) &&
                   position < TiffEntryPosition(directory, count) &&
                   (position - TiffEntryPosition(directory, 0)) % 12 == 0;
        };
        // The Exif directory is IFD0's.
        if (!inDirectory(exifPointer->entryPosition, in.firstDirectory()))
            return std::nullopt;
        const quint64 exifDirectory = in.at(m_exifSubIfdOffset);
        start = in.at(entry->ValueOffset);
        if (!inDirectory(entry->entryPosition, exifDirectory) ||
            entry->entryPosition + 12 > segmentEnd || start > segmentEnd ||
            entry->Components > segmentEnd - start)
            return std::nullopt;
        // Field by field: the tag alone decides whether the rest of an entry is read.
        const quint64 entries = in.entryCount(exifDirectory);
        for (quint64 k = 0; k < entries; ++k) {
            const quint64 at = TiffEntryPosition(exifDirectory, k);
            if (in.u16(at) != 0xA005)
                continue;
            const quint64 interop = in.at(in.u32(at + 8));
            const quint64 count = in.entryCount(interop);
            for (quint64 i = 0; i < count; ++i) {
                if (in.u16(TiffEntryPosition(interop, i)) == quint16(exifTag))
                    return std::nullopt;
            }
        }
    } catch (...) {
        return std::nullopt;
    }
    return std::pair{start, entry->Components};
}

std::optional<QByteArray> ExifReader::soleExifTextInFile(int exifTag) const {
    const auto range = soleExifTextRange(exifTag);
    if (!range)
        return std::nullopt;
    const auto [start, length] = *range;
    QFile file;
    const int fd = OpenToRead(m_picFile);
    if (fd < 0)
        return std::nullopt;
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    if (file.isSequential() || !file.seek(qint64(start)))
        return std::nullopt;
    const QByteArray held = file.read(qint64(length));
    if (held.size() != qsizetype(length))
        return std::nullopt;
    return held;
}

std::optional<QByteArray> ExifReader::soleExifTextAsListed(int exifTag) const {
    const auto range = soleExifTextRange(exifTag);
    if (!range || !exifBlockIsClean())
        return std::nullopt;
    try {
        const FileBytes in(m_buffer, m_fileSize);
        return in.bytes(range->first, range->second);
    } catch (...) {
        return std::nullopt;
    }
}

bool ExifReader::exifBlockIsClean() const {
    try {
        const FileBytes in = tiffBytes();
        const quint64 segmentEnd = blockEnd(in);
        const auto inside = [&](quint64 start, quint64 count) {
            return start >= m_tiffStart && start <= segmentEnd && count <= segmentEnd - start;
        };
        // IFD0 and the chain after it, then the Exif, GPS and interoperability directories
        // (which end no chain).
        QList<std::pair<quint64, bool>> pending{{in.firstDirectory(), true}};
        QSet<quint64> seen;
        constexpr quint64 MostEntries = 256;
        while (!pending.isEmpty()) {
            const auto [directory, chained] = pending.takeFirst();
            if (seen.contains(directory))
                continue;
            seen.insert(directory);
            if (!inside(directory, 2))
                return false;
            const quint64 count = in.entryCount(directory);
            if (count > MostEntries || !inside(TiffEntryPosition(directory, 0), 12 * count + 4))
                return false;
            for (quint64 k = 0; k < count; ++k) {
                const TiffEntry entry = in.entry(TiffEntryPosition(directory, k));
                // Every format a listing knows, FLOAT, DOUBLE and IFD included.
                if (TiffTypeWidth(entry.type) == 0)
                    return false;
                if (entry.valueBytes() > 4 && !inside(in.at(entry.valueField), entry.valueBytes()))
                    return false;
                if (entry.tag == 0x014A) // sub-images: read by a listing in its own way
                    return false;
                if (entry.tag == TagExifSubIfd || entry.tag == 0x8825 || entry.tag == 0xA005) {
                    // A pointer that is not one long offset may be read otherwise by a listing.
                    if ((entry.type != 4 && entry.type != 9) || entry.count != 1)
                        return false;
                    pending.append({in.at(entry.valueField), false});
                }
            }
            if (chained) {
                const quint32 next = in.nextLink(directory, count);
                if (next != 0)
                    pending.append({in.at(next), true});
            }
        }
    } catch (...) {
        return false;
    }
    return true;
}

} // namespace kalmora
