#include "core/exif/jpeg_scan.h"

#include "core/base/folder_handle.h"
#include "core/exif/tiff_cursor.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace kalmora {

namespace {

const QByteArray XmpSignature("http://ns.adobe.com/xap/1.0/\0", 29);

// Position in the 8x8 block of the k-th coefficient as a table stores it.
constexpr std::array<int, 64> ZigZag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

void readQuantisationTables(const QByteArray &payload, JpegFacts &facts) {
    const auto *p = reinterpret_cast<const uchar *>(payload.constData());
    qsizetype at = 0;
    while (at < payload.size()) {
        const int precision = p[at] >> 4, id = p[at] & 0x0F;
        const int width = precision ? 2 : 1;
        ++at;
        if (id > 3 || payload.size() - at < 64 * width)
            return;
        QList<qint64> table(64);
        for (int k = 0; k < 64; ++k, at += width)
            table[ZigZag[k]] = qint64(DecodeUnsigned(p + at, width, TiffOrder::Big));
        facts.tables[id] = table; // a later definition replaces an earlier one
    }
}

// The file as the segment walk reads it: a few bytes at a time, whole segments skipped. Served
// from one buffer, with the size taken once, the walk costs a read or two per photo instead of
// several system calls per segment.
class SegmentReader {
public:
    SegmentReader() = default;
    SegmentReader(const SegmentReader &) = delete;
    SegmentReader &operator=(const SegmentReader &) = delete;
    ~SegmentReader() {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    // Fails for what a file open would refuse too: no such file, a directory, a name with NUL.
    bool open(const QString &path) {
        if (path.isEmpty() || path.contains(QChar(u'\0')))
            return false;
        m_fd = OpenToRead(path);
        struct stat info {};
        if (m_fd < 0 || ::fstat(m_fd, &info) != 0 || S_ISDIR(info.st_mode))
            return false;
        m_size = info.st_size;
        return true;
    }
    qint64 pos() const { return m_pos; }
    qint64 size() const { return m_size; }
    bool seek(qint64 pos) {
        if (pos < 0)
            return false;
        m_pos = pos;
        return true;
    }
    // Up to `count` bytes from the current position; fewer at the end of the file.
    QByteArray read(qint64 count) {
        QByteArray bytes;
        if (count <= 0)
            return bytes;
        if (m_pos < m_bufferStart || m_pos + count > m_bufferStart + m_bufferLength) {
            if (count > qint64(sizeof m_buffer)) {
                bytes.resize(qsizetype(count));
                bytes.resize(qsizetype(readAtPos(bytes.data(), count)));
                m_pos += bytes.size();
                return bytes;
            }
            m_bufferStart = m_pos;
            m_bufferLength = readAtPos(m_buffer, qint64(sizeof m_buffer));
        }
        const qint64 available = std::min(count, m_bufferStart + m_bufferLength - m_pos);
        if (available > 0)
            bytes = QByteArray(m_buffer + (m_pos - m_bufferStart), qsizetype(available));
        m_pos += bytes.size();
        return bytes;
    }

private:
    // The descriptor's own position follows the reads, so only a skip costs a seek.
    qint64 readAtPos(char *to, qint64 count) {
        if (m_filePos != m_pos) {
            if (::lseek(m_fd, off_t(m_pos), SEEK_SET) != off_t(m_pos))
                return 0;
            m_filePos = m_pos;
        }
        qint64 done = 0;
        while (done < count) {
            const ssize_t n = ::read(m_fd, to + done, size_t(count - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += n;
        }
        m_filePos += done;
        return done;
    }

    int m_fd = -1;
    char m_buffer[4096];
    qint64 m_size = 0;
    qint64 m_pos = 0;
    qint64 m_filePos = 0;
    qint64 m_bufferStart = 0;
    qint64 m_bufferLength = 0;
};

} // namespace

std::optional<JpegFacts> ScanJpeg(const QString &path) {
    SegmentReader file;
    if (!file.open(path) || file.read(2) != QByteArray("\xFF\xD8", 2))
        return std::nullopt;
    JpegFacts facts;
    for (;;) {
        QByteArray head = file.read(2);
        if (head.size() < 2 || uchar(head[0]) != 0xFF)
            break;
        while (uchar(head[1]) == 0xFF) { // fill bytes before a marker
            const QByteArray next = file.read(1);
            if (next.isEmpty())
                return facts;
            head[1] = next[0];
        }
        const uchar marker = uchar(head[1]);
        if (marker == 0xD9 || marker == 0xDA) // end of image, start of scan
            break;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;
        const QByteArray lengthBytes = file.read(2);
        if (lengthBytes.size() < 2)
            break;
        const int length = int(
            DecodeUnsigned(reinterpret_cast<const uchar *>(lengthBytes.data()), 2, TiffOrder::Big));
        if (length < 2)
            break;
        const bool wanted = marker == 0xDB || (marker == 0xE0 && !facts.jfif) ||
                            (marker == 0xE1 && (facts.exifTiff.isEmpty() || facts.xmp.isEmpty()));
        if (!wanted) {
            if (!file.seek(file.pos() + length - 2) || file.pos() > file.size())
                break;
            continue;
        }
        const QByteArray payload = file.read(length - 2);
        if (payload.size() < length - 2)
            break;
        const auto *p = reinterpret_cast<const uchar *>(payload.constData());
        if (marker == 0xDB) {
            readQuantisationTables(payload, facts);
        } else if (marker == 0xE0) {
            if (payload.size() >= 12 && payload.startsWith(QByteArray("JFIF\0", 5)))
                facts.jfif = std::array<int, 3>{p[7], int(DecodeUnsigned(p + 8, 2, TiffOrder::Big)),
                                                int(DecodeUnsigned(p + 10, 2, TiffOrder::Big))};
        } else if (payload.startsWith(QByteArray("Exif\0\0", 6))) {
            if (facts.exifTiff.isEmpty())
                facts.exifTiff = payload.mid(6);
        } else if (payload.startsWith(XmpSignature) && facts.xmp.isEmpty()) {
            facts.xmp = payload;
        }
    }
    return facts;
}

} // namespace kalmora
