#include "core/exif/exif_reader.h"

#include "core/base/folder_handle.h"
#include "core/base/write_protection.h"
#include "core/exif/exif_container.h"
#include "core/exif/exif_file_bytes.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kalmora {

using namespace exif_detail;

bool ExifReader::setTag(int exifTag, const QString &value) {
    return setTags({{exifTag, value}});
}

bool ExifReader::canSetTag(int exifTag, const QString &value) const {
    return patchFor(exifTag, value).has_value();
}

QByteArray ExifReader::textBytes(const QString &value) {
    QByteArray bytes;
    bytes.reserve(value.size());
    for (const QChar c : value) {
        if (c.unicode() > 0xFF)
            throw ExifError("Character does not fit in one byte");
        bytes.append(char(c.unicode()));
    }
    return bytes;
}

std::optional<ExifReader::Patch> ExifReader::patchFor(int exifTag, const QString &value) const {
    if (!m_hasExif || exifTag == 0)
        return std::nullopt;
    const auto record =
        std::find_if(m_records.cbegin(), m_records.cend(),
                     [exifTag](const ExifTagRecord &r) { return r.Tag == exifTag; });
    if (record == m_records.cend())
        return std::nullopt;

    const QByteArray bytes = textBytes(value);

    // Only text that lies in its own data area may be overwritten: inline data would land on
    // the TIFF header, other formats would be corrupted, a longer text would spill over.
    if (record->DataFormat != FormatAscii || !record->dataOutsideEntry ||
        quint64(bytes.size()) > record->Components)
        return std::nullopt;
    const quint64 start = m_tiffStart + record->ValueOffset;
    bool safe = false;
    try {
        safe = patchRangeIsSafe(*record, start);
    } catch (const BeyondFirstRead &) {
        // Not reached: the load read the segment's header, the only bytes the check reads.
    }
    if (!safe)
        return std::nullopt;
    return Patch{start, bytes, record->Components};
}

bool ExifReader::setTags(const QList<std::pair<int, QString>> &values,
                         const QList<int> &readBackTags) {
    QList<Patch> patches;
    QList<std::pair<quint64, quint32>> readBack;
    for (const auto &[exifTag, value] : values) {
        std::optional<Patch> patch = patchFor(exifTag, value);
        if (!patch)
            return false;
        patches.append(*patch);
        readBack.append({patch->position, patch->field});
    }
    for (const int exifTag : readBackTags) {
        const auto range = textRange(exifTag);
        if (range && !readBack.contains(*range))
            readBack.append(*range);
    }
    if (patches.isEmpty())
        return false;
    // A container's checksum over the block changes with it, in the same write.
    QList<std::pair<quint64, QByteArray>> written;
    for (const Patch &p : patches)
        written.append({p.position, p.bytes});
    try {
        if (const auto sum = checksumAfter(written)) {
            patches.append(Patch{sum->first, sum->second, quint32(sum->second.size())});
            readBack.append({sum->first, quint32(sum->second.size())});
        }
    } catch (const ExifError &) {
        return false;
    }
    if (!WritePictureFile(m_picFile, patches, readBack))
        return false;
    // The bytes held in memory follow the file.
    for (const Patch &p : patches) {
        if (p.position >= quint64(m_buffer.size()))
            continue;
        const qsizetype held =
            std::min(p.bytes.size(), qsizetype(quint64(m_buffer.size()) - p.position));
        m_buffer.replace(qsizetype(p.position), held, p.bytes.left(held));
    }
    return true;
}

std::optional<std::pair<quint64, quint32>> ExifReader::textRange(int exifTag) const {
    if (!m_hasExif || exifTag == 0)
        return std::nullopt;
    const auto record =
        std::find_if(m_records.cbegin(), m_records.cend(),
                     [exifTag](const ExifTagRecord &r) { return r.Tag == exifTag; });
    if (record == m_records.cend() || record->DataFormat != FormatAscii ||
        !record->dataOutsideEntry)
        return std::nullopt;
    const quint64 start = m_tiffStart + record->ValueOffset;
    try {
        if (!patchRangeIsSafe(*record, start))
            return std::nullopt;
    } catch (const BeyondFirstRead &) {
        return std::nullopt;
    }
    return std::pair{start, record->Components};
}

std::optional<QByteArray> ExifReader::loadedBytes(quint64 offset, quint32 length) const {
    const quint64 held = quint64(m_buffer.size());
    if (offset > held || length > held - offset)
        return std::nullopt;
    return m_buffer.mid(qsizetype(offset), qsizetype(length));
}

std::optional<LoadedText> ExifReader::loadedText(int exifTag) const {
    const auto range = textRange(exifTag);
    // A block under a checksum is patched together with it, after a load of its own.
    if (!range || m_checksumAt != 0)
        return std::nullopt;
    const auto field = loadedBytes(range->first, range->second);
    if (!field)
        return std::nullopt;
    return LoadedText{range->first, *field, m_loadedFile};
}

std::optional<bool> ExifReader::setLoadedText(const QString &path, const LoadedText &text,
                                              const QString &value) {
    const int fd = OpenAt(path, O_RDWR | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct statx sx {};
    LoadedFile now;
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS, &sx) == 0 &&
        S_ISREG(sx.stx_mode))
        now = LoadedFileOf(sx);
    QByteArray held(text.field.size(), Qt::Uninitialized);
    if (now != text.file || text.field.isEmpty() ||
        ::pread(fd, held.data(), size_t(held.size()), off_t(text.position)) != held.size() ||
        held != text.field) {
        ::close(fd);
        return std::nullopt;
    }
    QByteArray bytes;
    try {
        bytes = textBytes(value);
    } catch (const ExifError &) {
        ::close(fd);
        return false;
    }
    if (bytes.size() > text.field.size() || MarkedReadOnly(sx.stx_uid, sx.stx_mode)) {
        ::close(fd);
        return false;
    }
    return writeAndClose(fd, {Patch{text.position, bytes, quint32(text.field.size())}},
                         {{text.position, quint32(text.field.size())}});
}

std::optional<std::pair<quint64, QByteArray>>
ExifReader::checksumAfter(const QList<std::pair<quint64, QByteArray>> &patches) const {
    if (m_inJpeg || m_checksumAt == 0)
        return std::nullopt;
    const auto bigEndian = [](quint32 v) {
        const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
        return QByteArray(b, 4);
    };
    const FileBytes in(m_buffer, m_fileSize);
    QByteArray covered, held;
    try {
        covered = in.bytes(m_checksumFrom, m_checksumAt - m_checksumFrom);
        held = in.bytes(m_checksumAt, 4);
    } catch (const BeyondFirstRead &) {
        throw ExifError("checksum beyond the bytes read");
    }
    if (bigEndian(PngCrc(covered)) != held)
        throw ExifError("the block's checksum does not match it");
    for (const auto &[offset, bytes] : patches) {
        if (offset < m_checksumFrom || quint64(bytes.size()) > m_checksumAt - offset)
            throw ExifError("patch outside the checksum's bytes");
        covered.replace(qsizetype(offset - m_checksumFrom), bytes.size(), bytes);
    }
    return std::pair{m_checksumAt, bigEndian(PngCrc(covered))};
}

bool ExifReader::WritePictureFile(const QString &path, const QList<Patch> &patches,
                                  const QList<std::pair<quint64, quint32>> &readBack) {
    // In place and without truncating, so the file keeps its identity, links and birth time.
    const int fd = OpenAt(path, O_RDWR);
    if (fd < 0)
        return false;
    struct stat info {};
    // A photo marked read-only keeps its bytes, also when the administrator runs the program. A
    // file whose length changed since it was read is not the one the offsets describe.
    if (::fstat(fd, &info) != 0 || MarkedReadOnly(info.st_uid, info.st_mode) ||
        quint64(info.st_size) != m_fileSize) {
        ::close(fd);
        return false;
    }
    return writeAndClose(fd, patches, readBack);
}

bool ExifReader::writeAndClose(int fd, const QList<Patch> &patches,
                               const QList<std::pair<quint64, quint32>> &readBack) {
    for (const Patch &p : patches) {
        if (::pwrite(fd, p.bytes.constData(), size_t(p.bytes.size()), off_t(p.position)) !=
            p.bytes.size()) {
            ::close(fd);
            return false;
        }
    }
    // The read-back: what the journal records as the file's state after the patch.
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME,
                &sx) == 0) {
        // The calls that take no handle reach the file written through its descriptor.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        m_writtenState = FileStateFromStatx(sx, self.constData());
        for (const auto &[position, length] : readBack) {
            QByteArray field(qsizetype(length), Qt::Uninitialized);
            const ssize_t got = ::pread(fd, field.data(), size_t(field.size()), off_t(position));
            if (got >= 0)
                m_writtenFields.insert(qint64(position), field.left(qsizetype(got)));
        }
    }
    // A write the file system refuses only now (a full network share) shows at the close.
    return ::close(fd) == 0;
}

bool ExifReader::patchRangeIsSafe(const ExifTagRecord &record, quint64 start) const {
    const FileBytes in(m_buffer, m_fileSize);
    const quint64 length = record.Components;
    if (!in.contains(start, length) || (m_inJpeg && !in.contains(m_segmentPosition + 2, 2)))
        return false;
    // Inside the APP1 segment (its length counts the two length bytes), or the container's
    // block, and after the TIFF header's start, so a patch can only touch this Exif block.
    const quint64 segmentEnd = blockEnd(in);
    if (start < m_tiffStart || start > segmentEnd || length > segmentEnd - start)
        return false;
    // Never over the directory entry that describes the data.
    const quint64 entryEnd = record.entryPosition + 12;
    const bool overlapsEntry = start < entryEnd && record.entryPosition < start + length;
    return !overlapsEntry;
}

} // namespace kalmora
