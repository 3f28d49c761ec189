#include "core/exif/exif_reader.h"

#include "core/base/folder_handle.h"
#include "core/base/path_bytes.h"
#include "core/base/write_protection.h"

#include <QFile>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace kalmora {

namespace {

constexpr int TagExifSubIfd = 34665;
constexpr int FormatAscii = 2;

// An Exif segment holds at most 64 KiB and comes first or nearly so: a load reads this much
// and the whole file only when the walk reaches further. Copying the whole photo for a few
// hundred bytes of directories was most of a load's time.
constexpr qint64 FirstReadBytes = 64 * 1024 + 512;

// Thrown when a read reaches past the bytes read so far but stays inside the file; the load
// then starts over with the whole file, so what it finds never depends on the first read.
struct BeyondFirstRead {};

// The only code that touches the file's bytes. Every read is bounds-checked in 64-bit
// arithmetic, so offsets taken from the file can neither wrap nor reach past the buffer.
class ByteCursor {
public:
    // `bytes` are the file's first bytes; `fileSize` is its length, which the checks use.
    ByteCursor(const QByteArray &bytes, quint64 fileSize)
        : m_data(reinterpret_cast<const unsigned char *>(bytes.constData())),
          m_held(quint64(bytes.size())), m_size(fileSize) {}

    quint64 size() const { return m_size; }

    bool contains(quint64 offset, quint64 count) const {
        return offset <= m_size && count <= m_size - offset;
    }

    void require(quint64 offset, quint64 count) const {
        if (!contains(offset, count))
            throw ExifError("Exif data points outside the file");
        if (offset > m_held || count > m_held - offset)
            throw BeyondFirstRead();
    }

    quint8 u8(quint64 offset) const {
        require(offset, 1);
        return m_data[offset];
    }

    quint16 u16(quint64 offset, bool littleEndian) const {
        require(offset, 2);
        const unsigned char *p = m_data + offset;
        return littleEndian ? quint16(p[0] | p[1] << 8) : quint16(p[0] << 8 | p[1]);
    }

    quint32 u32(quint64 offset, bool littleEndian) const {
        require(offset, 4);
        const unsigned char *p = m_data + offset;
        return littleEndian
                   ? quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24
                   : quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
    }

    QByteArray bytes(quint64 offset, quint64 count) const {
        require(offset, count);
        return QByteArray(reinterpret_cast<const char *>(m_data + offset), qsizetype(count));
    }

    // Index of the first occurrence of the two bytes at or after `from`, -1 when none.
    qint64 find(unsigned char first, unsigned char second, quint64 from) const {
        for (quint64 i = from; m_held >= 2 && i <= m_held - 2; ++i) {
            if (m_data[i] == first && m_data[i + 1] == second)
                return qint64(i);
        }
        if (m_held < m_size)
            throw BeyondFirstRead();
        return -1;
    }

private:
    const unsigned char *m_data;
    quint64 m_held;
    quint64 m_size;
};

int bytesPerComponent(int format) {
    switch (format) {
    case 1: // BYTE
    case 2: // ASCII
    case 6: // SBYTE
    case 7: // UNDEFINED
        return 1;
    case 3: // SHORT
    case 8: // SSHORT
        return 2;
    case 4: // LONG
    case 9: // SLONG
        return 4;
    case 5:  // RATIONAL
    case 10: // SRATIONAL
        return 8;
    default:
        return 0;
    }
}

// Unsigned 32-bit values above the int range are kept exact rather than turned negative.
QVariant unsignedValue(quint32 value) {
    if (value <= quint32(std::numeric_limits<int>::max()))
        return QVariant(int(value));
    return QVariant(qlonglong(value));
}

// Decimal values of single data bytes, run together.
QString decimalBytes(const QByteArray &data, bool descending) {
    QString text;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const qsizetype k = descending ? data.size() - 1 - i : i;
        text += QString::number(quint8(data[k]));
    }
    return text;
}

// The Exif pointer as a directory offset; a value that is no number cannot be followed.
quint32 offsetFromValue(const QVariant &value) {
    if (!value.isValid())
        return 0;
    if (value.typeId() == QMetaType::QString) {
        bool ok = false;
        const qlonglong number = value.toString().toLongLong(&ok);
        if (!ok || number < 0 || number > qlonglong(std::numeric_limits<quint32>::max()))
            throw ExifError("Exif pointer is not an offset");
        return quint32(number);
    }
    // Signed formats keep their bit pattern, as the offset field itself would.
    return quint32(value.toLongLong());
}

LoadedFile loadedFileOf(const struct statx &sx) {
    return {(quint64(sx.stx_dev_major) << 32) | sx.stx_dev_minor, sx.stx_ino, sx.stx_size,
            Stamp{sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec},
            Stamp{sx.stx_ctime.tv_sec, sx.stx_ctime.tv_nsec}};
}

} // namespace

void ExifReader::setPicFile(const QString &path) {
    m_picFile = path;
}

QVariant ExifReader::MakerNoteTag(int makerTag) const {
    if (!m_hasExif)
        return {};
    for (const ExifTagRecord &record : m_records) {
        if (record.Tag == makerTag && record.IsMakerNote)
            return record.Value;
    }
    return {};
}

QVariant ExifReader::tag(int exifTag) {
    if (!m_hasExif) {
        if (m_picFile.isEmpty())
            return {};
        Load(m_picFile);
    }
    if (exifTag == 0)
        return m_records.isEmpty() ? QVariant() : QVariant(int(m_records.size()));
    for (const ExifTagRecord &record : m_records) {
        if (record.Tag == exifTag)
            return record.Value;
    }
    return {};
}

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
    if (patches.isEmpty() || !WritePictureFile(m_picFile, patches, readBack))
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
    if (!range)
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
        now = loadedFileOf(sx);
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

void ExifReader::Load(const QString &picFile) {
    if (m_picFile.isEmpty())
        m_picFile = picFile;
    loadWithin({FirstReadBytes});
}

void ExifReader::Load(const QString &picFile, qint64 firstReadBytes) {
    if (m_picFile.isEmpty())
        m_picFile = picFile;
    // A walk that reaches further takes the usual first read next, and only then the whole file.
    if (firstReadBytes < FirstReadBytes)
        loadWithin({firstReadBytes, FirstReadBytes});
    else
        loadWithin({firstReadBytes});
}

void ExifReader::loadWithin(const QList<qint64> &firstReads) {
    if (m_picFile.isEmpty())
        return;

    const auto walk = [this] {
        if (!FindExifSegment()) {
            m_hasExif = false;
            return;
        }
        m_byteOrder = IsIntelOrder() ? ByteOrder::Little : ByteOrder::Big;
        const ByteCursor in(m_buffer, m_fileSize);
        const quint32 ifd0Offset = in.u32(m_tiffStart + 4, m_byteOrder == ByteOrder::Little);
        m_hasExif = true;
        m_exifSubIfdOffset = 0;
        ParseIfdChain(m_tiffStart + ifd0Offset);
    };
    const qsizetype recordsBefore = m_records.size();
    for (const qint64 limit : firstReads) {
        ReadPictureFile(m_picFile, limit);
        try {
            walk();
            return;
        } catch (const BeyondFirstRead &) {
            m_records.resize(recordsBefore);
            // A file no longer than what was read has nothing further to give.
            if (quint64(m_buffer.size()) >= m_fileSize)
                break;
        }
    }
    ReadPictureFile(m_picFile, -1);
    walk();
}

void ExifReader::ReadPictureFile(const QString &path, qint64 limit) {
    m_buffer.clear();
    m_fileSize = 0;
    m_regularFile = false;
    if (path.isEmpty() || path.contains(QChar(u'\0')))
        return;
    // Without waiting for a writer, should a pipe have taken the file's name.
    const int fd = OpenToRead(path, O_NONBLOCK);
    if (fd < 0)
        return;
    struct statx sx {};
    // A device or pipe has no size to read up to and is no picture file.
    m_regularFile =
        ::statx(fd, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS, &sx) == 0 &&
        S_ISREG(sx.stx_mode);
    if (m_regularFile) {
        m_loadedFile = loadedFileOf(sx);
        const qint64 size = qint64(sx.stx_size);
        const qint64 wanted = limit < 0 ? size : std::min(size, limit);
        m_buffer.resize(qsizetype(wanted));
        qint64 done = 0;
        while (done < wanted) {
            const ssize_t n =
                ::pread(fd, m_buffer.data() + done, size_t(wanted - done), off_t(done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += n;
        }
        m_buffer.resize(qsizetype(done));
        // A file that got shorter meanwhile ends where its bytes end.
        m_fileSize = quint64(done < wanted ? done : size);
    }
    ::close(fd);
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

bool ExifReader::FindExifSegment() {
    const ByteCursor in(m_buffer, m_fileSize);
    m_segmentPosition = 0;
    if (!in.contains(0, 2) || in.u8(0) != 0xFF || in.u8(1) != 0xD8)
        return false;
    // A plain byte scan: the first FF E1 pair anywhere after the start marker is taken.
    const qint64 found = in.find(0xFF, 0xE1, 2);
    m_segmentPosition = found < 0 ? 0 : quint64(found);
    m_tiffStart = m_segmentPosition + 10;
    return in.contains(m_segmentPosition + 4, 4) &&
           in.bytes(m_segmentPosition + 4, 4) == QByteArrayLiteral("Exif");
}

bool ExifReader::IsIntelOrder() const {
    const ByteCursor in(m_buffer, m_fileSize);
    return in.u8(m_tiffStart) == 0x49;
}

QString ExifReader::PadLeft(const QString &text, int width, QChar fill) {
    if (text.size() >= width)
        return text;
    return QString(width - text.size(), fill) + text;
}

void ExifReader::ParseIfdChain(quint64 position) {
    const ByteCursor in(m_buffer, m_fileSize);
    const bool little = m_byteOrder == ByteOrder::Little;

    // Directories and value data that do not overlap fit in the buffer; more than that means a
    // crafted file whose structures share bytes, and the walk would grow without bound.
    const quint64 maxEntries = in.size() / 12;
    quint64 dataBudget = 2 * in.size() + 4096;
    quint64 entriesRead = 0;

    QSet<quint64> visited;
    bool exifSubIfdDone = false;
    for (;;) {
        visited.insert(position);
        const quint16 count = in.u16(position, little);
        if (count == 0 && m_records.isEmpty())
            throw ExifError("First image directory has no entries");
        for (quint64 k = 0; k < count; ++k) {
            if (++entriesRead > maxEntries)
                throw ExifError("Image directories overlap");
            m_records.append(readEntry(position + 2 + 12 * k, dataBudget));
            if (m_records.last().Tag == TagExifSubIfd)
                m_exifSubIfdOffset = offsetFromValue(m_records.last().Value);
        }

        quint32 next = 0;
        if (!exifSubIfdDone) {
            next = in.u32(position + 2 + 12 * quint64(count), little);
            // A link back to a directory already read would repeat forever: the chain ends.
            if (next != 0 && visited.contains(m_tiffStart + next))
                next = 0;
        }
        if (next == 0 && !exifSubIfdDone) {
            next = m_exifSubIfdOffset;
            exifSubIfdDone = true;
        }
        position = m_tiffStart + next;
        if (next == 0 || visited.contains(position))
            return;
    }
}

ExifReader::ExifTagRecord ExifReader::readEntry(quint64 entryPosition, quint64 &dataBudget) const {
    const ByteCursor in(m_buffer, m_fileSize);
    const bool little = m_byteOrder == ByteOrder::Little;
    in.require(entryPosition, 12);

    ExifTagRecord record;
    record.entryPosition = entryPosition;
    record.Tag = in.u16(entryPosition, little);
    record.DataFormat = in.u16(entryPosition + 2, little);
    record.Components = in.u32(entryPosition + 4, little);
    const quint64 field = entryPosition + 8;

    const int width = bytesPerComponent(record.DataFormat);
    if (width == 0)
        return record; // FLOAT, DOUBLE and unknown formats stay empty
    const quint64 size = quint64(width) * record.Components;
    const bool rational = record.DataFormat == 5 || record.DataFormat == 10;

    if (size <= 4 && !rational) {
        switch (record.DataFormat) {
        case 1:
        case 6: {
            const quint32 number = in.u32(field, little);
            QString text;
            for (int shift = 24; shift >= 0; shift -= 8)
                text += PadLeft(QString::number((number >> shift) & 0xFF, 16).toUpper(), 2, '0');
            record.Value = text;
            break;
        }
        case 2:
        case 7:
            // In file order whatever the byte order: these are characters, not a number.
            record.Value = QString::fromLatin1(in.bytes(field, 4));
            break;
        case 3:
            record.Value = int(in.u16(field, little)) + int(in.u16(field + 2, little));
            break;
        case 8:
            record.Value =
                int(qint16(in.u16(field, little))) + int(qint16(in.u16(field + 2, little)));
            break;
        case 4:
            record.Value = unsignedValue(in.u32(field, little));
            break;
        case 9:
            record.Value = int(qint32(in.u32(field, little)));
            break;
        }
        return record;
    }

    record.ValueOffset = in.u32(field, little);
    record.dataOutsideEntry = true;
    const quint64 data = m_tiffStart + record.ValueOffset;
    in.require(data, size);

    const auto spend = [&dataBudget](quint64 bytes) {
        if (bytes > dataBudget)
            throw ExifError("Exif values overlap");
        dataBudget -= bytes;
    };

    switch (record.DataFormat) {
    case 2:
    case 7:
        // The last byte is the NUL of an ASCII string and is dropped for both formats.
        spend(record.Components - 1);
        record.Value = QString::fromLatin1(in.bytes(data, record.Components - 1));
        break;
    case 5:
    case 10: {
        spend(8);
        const quint32 numerator = in.u32(data, little);
        const quint32 denominator = in.u32(data + 4, little);
        if (record.DataFormat == 5)
            record.Value = QStringLiteral("%1/%2").arg(numerator).arg(denominator);
        else
            record.Value = QStringLiteral("%1/%2").arg(qint32(numerator)).arg(qint32(denominator));
        break;
    }
    default: {
        // One byte per component, not whole components; 16-bit values of big-endian files
        // are taken from the last of those bytes backwards.
        spend(record.Components);
        const bool descending = !little && (record.DataFormat == 3 || record.DataFormat == 8);
        record.Value = decimalBytes(in.bytes(data, record.Components), descending);
        break;
    }
    }
    return record;
}

bool ExifReader::patchRangeIsSafe(const ExifTagRecord &record, quint64 start) const {
    const ByteCursor in(m_buffer, m_fileSize);
    const quint64 length = record.Components;
    if (!in.contains(start, length) || !in.contains(m_segmentPosition + 2, 2))
        return false;
    // Inside the APP1 segment (its length counts the two length bytes) and after the TIFF
    // header's start, so a patch can only touch this Exif block.
    const quint64 segmentEnd = m_segmentPosition + 2 + in.u16(m_segmentPosition + 2, false);
    if (start < m_tiffStart || start > segmentEnd || length > segmentEnd - start)
        return false;
    // Never over the directory entry that describes the data.
    const quint64 entryEnd = record.entryPosition + 12;
    const bool overlapsEntry = start < entryEnd && record.entryPosition < start + length;
    return !overlapsEntry;
}

bool ExifReader::isFirstExifSegment() const {
    const ByteCursor in(m_buffer, m_fileSize);
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
        const quint64 length = in.u16(at, false);
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
        const ByteCursor in(m_buffer, m_fileSize);
        const bool little = m_byteOrder == ByteOrder::Little;
        if (!isFirstExifSegment())
            return std::nullopt;
        const QByteArray header = in.bytes(m_tiffStart, 4);
        if (header != QByteArray("II\x2A\0", 4) && header != QByteArray("MM\0\x2A", 4))
            return std::nullopt;
        const quint64 segmentEnd = m_segmentPosition + 2 + in.u16(m_segmentPosition + 2, false);
        const auto inDirectory = [&](quint64 position, quint64 directory) {
            const quint64 count = in.u16(directory, little);
            return position >= directory + 2 && position < directory + 2 + 12 * count &&
                   (position - directory - 2) % 12 == 0;
        };
        // The Exif directory is IFD0's.
        if (!inDirectory(exifPointer->entryPosition, m_tiffStart + in.u32(m_tiffStart + 4, little)))
            return std::nullopt;
        const quint64 exifDirectory = m_tiffStart + m_exifSubIfdOffset;
        start = m_tiffStart + entry->ValueOffset;
        if (!inDirectory(entry->entryPosition, exifDirectory) ||
            entry->entryPosition + 12 > segmentEnd || start > segmentEnd ||
            entry->Components > segmentEnd - start)
            return std::nullopt;
        const quint64 entries = in.u16(exifDirectory, little);
        for (quint64 k = 0; k < entries; ++k) {
            const quint64 at = exifDirectory + 2 + 12 * k;
            if (in.u16(at, little) != 0xA005)
                continue;
            const quint64 interop = m_tiffStart + in.u32(at + 8, little);
            const quint64 count = in.u16(interop, little);
            for (quint64 i = 0; i < count; ++i) {
                if (in.u16(interop + 2 + 12 * i, little) == quint16(exifTag))
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
        const ByteCursor in(m_buffer, m_fileSize);
        return in.bytes(range->first, range->second);
    } catch (...) {
        return std::nullopt;
    }
}

bool ExifReader::exifBlockIsClean() const {
    try {
        const ByteCursor in(m_buffer, m_fileSize);
        const bool little = m_byteOrder == ByteOrder::Little;
        const quint64 segmentEnd = m_segmentPosition + 2 + in.u16(m_segmentPosition + 2, false);
        const auto inside = [&](quint64 start, quint64 count) {
            return start >= m_tiffStart && start <= segmentEnd && count <= segmentEnd - start;
        };
        // IFD0 and the chain after it, then the Exif, GPS and interoperability directories
        // (which end no chain).
        QList<std::pair<quint64, bool>> pending{
            {m_tiffStart + in.u32(m_tiffStart + 4, little), true}};
        QSet<quint64> seen;
        constexpr quint64 MostEntries = 256;
        while (!pending.isEmpty()) {
            const auto [directory, chained] = pending.takeFirst();
            if (seen.contains(directory))
                continue;
            seen.insert(directory);
            if (!inside(directory, 2))
                return false;
            const quint64 count = in.u16(directory, little);
            if (count > MostEntries || !inside(directory + 2, 12 * count + 4))
                return false;
            for (quint64 k = 0; k < count; ++k) {
                const quint64 at = directory + 2 + 12 * k;
                const quint16 tag = in.u16(at, little);
                const quint16 format = in.u16(at + 2, little);
                const quint64 components = in.u32(at + 4, little);
                const quint64 value = in.u32(at + 8, little);
                quint64 width = 0;
                switch (format) {
                case 1:
                case 2:
                case 6:
                case 7:
                    width = 1;
                    break;
                case 3:
                case 8:
                    width = 2;
                    break;
                case 4:
                case 9:
                case 11:
                case 13:
                    width = 4;
                    break;
                case 5:
                case 10:
                case 12:
                    width = 8;
                    break;
                default:
                    return false;
                }
                const quint64 size = width * components;
                if (size > 4 && !inside(m_tiffStart + value, size))
                    return false;
                if (tag == 0x014A) // sub-images: read by a listing in its own way
                    return false;
                if (tag == TagExifSubIfd || tag == 0x8825 || tag == 0xA005) {
                    // A pointer that is not one long offset may be read otherwise by a listing.
                    if ((format != 4 && format != 9) || components != 1)
                        return false;
                    pending.append({m_tiffStart + value, false});
                }
            }
            if (chained) {
                const quint32 next = in.u32(directory + 2 + 12 * count, little);
                if (next != 0)
                    pending.append({m_tiffStart + next, true});
            }
        }
    } catch (...) {
        return false;
    }
    return true;
}

} // namespace kalmora
