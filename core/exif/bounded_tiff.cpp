#include "core/exif/bounded_tiff.h"

#include "core/exif/image_metadata.h"
#include "core/exif/tiff_cursor.h"

#include <QList>

#include <algorithm>
#include <optional>

namespace kalmora {

QSet<quint32> BoundTiffInPlace(uchar *data, quint64 size) {
    QSet<quint32> cut;
    const std::optional<TiffOrder> order = TiffCursor::HeaderOrder(data, size);
    if (!order)
        return cut;
    // The reads see the writes made before them, should the block's structures share bytes.
    const TiffCursor in(data, size, *order);
    TiffWriter out(data, size, *order);
    // Directories to visit: the listed ones with their name, any other (sub-images, further
    // links) without, as the decoder reads those too.
    struct Pending {
        quint64 offset;
        std::optional<ListedDirectory> directory;
    };
    QList<Pending> queue{{*in.firstDirectory(), ListedDirectory::Ifd0}};
    QSet<quint64> seen;
    quint64 budget = quint64(MetadataPhotoBytes);
    while (!queue.isEmpty() && seen.size() < MostBoundedDirectories) {
        const Pending at = queue.takeFirst();
        const std::optional<quint16> entries = in.entryCount(at.offset);
        if (seen.contains(at.offset) || !entries)
            continue;
        seen.insert(at.offset);
        quint64 k = 0;
        for (; k < *entries; ++k) {
            const std::optional<TiffEntry> entry = in.entry(at.offset, k);
            if (!entry)
                break;
            const quint16 tag = entry->tag;
            const quint64 count = entry->count;
            const quint64 value = entry->valueField;
            if (at.directory == ListedDirectory::Exif && tag == 0x927C) {
                out.put16(entry->position, HiddenMakerNoteTag);
                continue;
            }
            // Whatever its type says, the decoder may follow it.
            if (count >= 1) {
                if (tag == 0x8769 && at.directory == ListedDirectory::Ifd0)
                    queue.append({value, ListedDirectory::Exif});
                else if (tag == 0x8825 && at.directory == ListedDirectory::Ifd0)
                    queue.append({value, ListedDirectory::Gps});
                else if (tag == 0xA005 && at.directory == ListedDirectory::Exif)
                    queue.append({value, ListedDirectory::Interop});
                else if (tag == 0x8769 || tag == 0x8825 || tag == 0xA005)
                    queue.append({value, std::nullopt});
                else if (tag == 0x014A) {
                    const quint64 list = count == 1 ? entry->valueFieldPosition() : value;
                    for (quint64 i = 0; i < std::min<quint64>(count, MostBoundedDirectories); ++i) {
                        const std::optional<quint32> offset = in.u32(list + 4 * i);
                        if (!offset)
                            break;
                        queue.append({*offset, std::nullopt});
                    }
                }
            }
            const quint64 width = quint64(TiffTypeWidth(entry->type));
            const quint64 bytes = entry->valueBytes();
            if (bytes <= 4)
                continue;
            // Short values (dates, names, numbers) are always read whole: the budget is for
            // the long ones, and a directory can hold only a few thousand entries.
            const quint64 allowed = bytes <= ShortValueBytes
                                        ? bytes
                                        : std::min({bytes, quint64(MetadataFieldBytes),
                                                    std::max(budget, ShortValueBytes)});
            const quint64 kept = allowed / width;
            if (kept < count) {
                out.put32(entry->position + 4, quint32(kept));
                if (at.directory)
                    cut.insert(ListedKey(*at.directory, tag));
            }
            budget -= std::min(budget, kept * width);
        }
        if (k == *entries) {
            const std::optional<quint32> link = in.nextLink(at.offset, *entries);
            if (link && *link != 0)
                queue.append({*link, at.directory == ListedDirectory::Ifd0
                                         ? std::optional<ListedDirectory>(ListedDirectory::Ifd1)
                                         : std::nullopt});
        }
    }
    return cut;
}

BoundedTiff BoundTiff(const QByteArray &exifTiff) {
    BoundedTiff out{exifTiff, {}};
    if (TiffCursor::HeaderOrder(exifTiff))
        out.cut =
            BoundTiffInPlace(reinterpret_cast<uchar *>(out.tiff.data()), quint64(out.tiff.size()));
    return out;
}

} // namespace kalmora
