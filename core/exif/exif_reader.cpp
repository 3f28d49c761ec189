#include "core/exif/exif_reader.h"

#include "core/base/folder_handle.h"
#include "core/exif/exif_container.h"
#include "core/exif/exif_file_bytes.h"

#include <QSet>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace kalmora {

using namespace exif_detail;

namespace {

// An Exif segment holds at most 64 KiB and comes first or nearly so: a load reads this much
// and the whole file only when the walk reaches further. Copying the whole photo for a few
// hundred bytes of directories was most of a load's time.
constexpr qint64 FirstReadBytes = 64 * 1024 + 512;

// Bytes per component of the formats whose values the reader keeps; FLOAT, DOUBLE, IFD and
// unknown formats give 0.
int bytesPerComponent(int format) {
    return format <= 10 ? TiffTypeWidth(format) : 0;
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
        m_byteOrder = IsIntelOrder() ? TiffOrder::Little : TiffOrder::Big;
        const quint64 ifd0 = tiffBytes().firstDirectory();
        m_hasExif = true;
        m_exifSubIfdOffset = 0;
        ParseIfdChain(ifd0);
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
        m_loadedFile = LoadedFileOf(sx);
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

FileBytes ExifReader::tiffBytes() const {
    return FileBytes(m_buffer, m_fileSize, m_byteOrder, m_tiffStart);
}

bool ExifReader::FindExifSegment() {
    const FileBytes in(m_buffer, m_fileSize);
    m_segmentPosition = 0;
    m_inJpeg = true;
    m_checksumAt = 0;
    if (!in.contains(0, 2) || in.u8(0) != 0xFF || in.u8(1) != 0xD8) {
        const std::optional<ExifBlock> block =
            m_containers ? LocateExifBlock(in) : std::optional<ExifBlock>();
        if (!block)
            return false;
        m_inJpeg = false;
        m_tiffStart = block->tiffStart;
        m_blockEnd = block->end;
        if (block->container == ExifContainer::Png) {
            m_checksumFrom = block->crcFrom;
            m_checksumAt = block->end;
        }
        return true;
    }
    // A plain byte scan: the first FF E1 pair anywhere after the start marker is taken.
    const qint64 found = in.find(0xFF, 0xE1, 2);
    m_segmentPosition = found < 0 ? 0 : quint64(found);
    m_tiffStart = m_segmentPosition + 10;
    return in.contains(m_segmentPosition + 4, 4) &&
           in.bytes(m_segmentPosition + 4, 4) == QByteArrayLiteral("Exif");
}

quint64 ExifReader::blockEnd(const FileBytes &in) const {
    return m_inJpeg ? m_segmentPosition + 2 + in.bigEndian16(m_segmentPosition + 2) : m_blockEnd;
}

bool ExifReader::IsIntelOrder() const {
    const FileBytes in(m_buffer, m_fileSize);
    return in.u8(m_tiffStart) == 0x49;
}

QString ExifReader::PadLeft(const QString &text, int width, QChar fill) {
    if (text.size() >= width)
        return text;
    return QString(width - text.size(), fill) + text;
}

void ExifReader::ParseIfdChain(quint64 position) {
    const FileBytes in = tiffBytes();

    // Directories and value data that do not overlap fit in the buffer; more than that means a
    // crafted file whose structures share bytes, and the walk would grow without bound.
    const quint64 maxEntries = in.size() / 12;
    quint64 dataBudget = 2 * in.size() + 4096;
    quint64 entriesRead = 0;

    QSet<quint64> visited;
    bool exifSubIfdDone = false;
    for (;;) {
        visited.insert(position);
        const quint16 count = in.entryCount(position);
        if (count == 0 && m_records.isEmpty())
            throw ExifError("First image directory has no entries");
        for (quint64 k = 0; k < count; ++k) {
            if (++entriesRead > maxEntries)
                throw ExifError("Image directories overlap");
            m_records.append(readEntry(TiffEntryPosition(position, k), dataBudget));
            if (m_records.last().Tag == TagExifSubIfd)
                m_exifSubIfdOffset = offsetFromValue(m_records.last().Value);
        }

        quint32 next = 0;
        if (!exifSubIfdDone) {
            next = in.nextLink(position, count);
            // A link back to a directory already read would repeat forever: the chain ends.
            if (next != 0 && visited.contains(in.at(next)))
                next = 0;
        }
        if (next == 0 && !exifSubIfdDone) {
            next = m_exifSubIfdOffset;
            exifSubIfdDone = true;
        }
        position = in.at(next);
        if (next == 0 || visited.contains(position))
            return;
    }
}

ExifReader::ExifTagRecord ExifReader::readEntry(quint64 entryPosition, quint64 &dataBudget) const {
    const FileBytes in = tiffBytes();
    const TiffEntry entry = in.entry(entryPosition);

    ExifTagRecord record;
    record.entryPosition = entryPosition;
    record.Tag = entry.tag;
    record.DataFormat = entry.type;
    record.Components = entry.count;
    const quint64 field = entry.valueFieldPosition();

    const int width = bytesPerComponent(record.DataFormat);
    if (width == 0)
        return record; // FLOAT, DOUBLE and unknown formats stay empty
    const quint64 size = quint64(width) * record.Components;
    const bool rational = record.DataFormat == 5 || record.DataFormat == 10;

    if (size <= 4 && !rational) {
        switch (record.DataFormat) {
        case 1:
        case 6: {
            const quint32 number = entry.valueField;
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
            record.Value = int(in.u16(field)) + int(in.u16(field + 2));
            break;
        case 8:
            record.Value = int(qint16(in.u16(field))) + int(qint16(in.u16(field + 2)));
            break;
        case 4:
            record.Value = unsignedValue(entry.valueField);
            break;
        case 9:
            record.Value = int(qint32(entry.valueField));
            break;
        }
        return record;
    }

    record.ValueOffset = entry.valueField;
    record.dataOutsideEntry = true;
    const quint64 data = in.at(record.ValueOffset);
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
        const quint32 numerator = in.u32(data);
        const quint32 denominator = in.u32(data + 4);
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
        const bool descending =
            m_byteOrder == TiffOrder::Big && (record.DataFormat == 3 || record.DataFormat == 8);
        record.Value = decimalBytes(in.bytes(data, record.Components), descending);
        break;
    }
    }
    return record;
}

} // namespace kalmora
