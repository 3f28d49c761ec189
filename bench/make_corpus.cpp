// Writes the benchmark corpus: photos of about a megabyte, like a camera's (Exif first, with
// Make, Model and three dates), every other one in big-endian byte order, each with its own
// shooting date; and small plain files.
#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

enum Type : quint16 { Ascii = 2, Short = 3, Long = 4, Rational = 5, Undefined = 7 };

struct Entry {
    quint16 tag;
    quint16 type;
    quint32 count;
    QByteArray data; // in the file's byte order
};

class Encoder {
public:
    explicit Encoder(bool little) : m_little(little) {}
    bool little() const { return m_little; }

    QByteArray u16(quint32 v) const {
        return m_little ? bytes({v & 0xFF, v >> 8}) : bytes({v >> 8, v & 0xFF});
    }
    QByteArray u32(quint32 v) const {
        return m_little ? bytes({v & 0xFF, v >> 8 & 0xFF, v >> 16 & 0xFF, v >> 24})
                        : bytes({v >> 24, v >> 16 & 0xFF, v >> 8 & 0xFF, v & 0xFF});
    }
    Entry ascii(quint16 tag, const QByteArray &text) const {
        return {tag, Ascii, quint32(text.size() + 1), text + '\0'};
    }
    Entry shortValue(quint16 tag, quint16 v) const { return {tag, Short, 1, u16(v)}; }
    Entry longValue(quint16 tag, quint32 v) const { return {tag, Long, 1, u32(v)}; }
    Entry rational(quint16 tag, quint32 num, quint32 den) const {
        return {tag, Rational, 1, u32(num) + u32(den)};
    }

    // A directory at `offset` with its values after it; `next` links the following one.
    QByteArray directory(std::vector<Entry> entries, quint32 offset, quint32 next = 0) const {
        std::sort(entries.begin(), entries.end(),
                  [](const Entry &a, const Entry &b) { return a.tag < b.tag; });
        QByteArray head = u16(quint16(entries.size())), values;
        const quint32 valuesAt = offset + 2 + 12 * quint32(entries.size()) + 4;
        for (const Entry &e : entries) {
            head += u16(e.tag) + u16(e.type) + u32(e.count);
            if (e.data.size() <= 4) {
                head += e.data + QByteArray(4 - e.data.size(), '\0');
            } else {
                head += u32(valuesAt + quint32(values.size()));
                values += e.data;
                if (values.size() % 2)
                    values += '\0'; // values start on word boundaries
            }
        }
        return head + u32(next) + values;
    }

private:
    static QByteArray bytes(std::initializer_list<unsigned> list) {
        QByteArray b;
        for (unsigned v : list)
            b += char(v);
        return b;
    }
    bool m_little;
};

QByteArray exifSegment(bool little, const QByteArray &make, const QByteArray &model,
                       const QByteArray &date, int width, int height) {
    const Encoder e(little);
    const std::vector<Entry> exif = {
        e.rational(0x829A, 1, 125),
        e.rational(0x829D, 28, 10),
        e.shortValue(0x8827, 200),
        {0x9000, Undefined, 4, "0232"},
        e.ascii(0x9003, date),
        e.ascii(0x9004, date),
        {0x9101, Undefined, 4, QByteArray("\1\2\3\0", 4)},
        e.rational(0x920A, 50, 1),
        {0xA000, Undefined, 4, "0100"},
        e.shortValue(0xA001, 1),
        e.longValue(0xA002, quint32(width)),
        e.longValue(0xA003, quint32(height)),
    };
    std::vector<Entry> ifd0 = {
        e.ascii(0x010F, make),           e.ascii(0x0110, model),    e.shortValue(0x0112, 1),
        e.rational(0x011A, 72, 1),       e.rational(0x011B, 72, 1), e.shortValue(0x0128, 2),
        e.ascii(0x0131, "Firmware 1.0"), e.ascii(0x0132, date),     e.shortValue(0x0213, 1),
        e.longValue(0x8769, 0), // placeholder: the size does not depend on it
    };
    const quint32 exifAt = 8 + quint32(e.directory(ifd0, 8).size());
    ifd0.back() = e.longValue(0x8769, exifAt);
    const QByteArray tiff = (little ? QByteArray("II") : QByteArray("MM")) + e.u16(42) + e.u32(8) +
                            e.directory(ifd0, 8) + e.directory(exif, exifAt);
    const int length = 2 + 6 + int(tiff.size());
    return QByteArray("\xFF\xE1", 2) + char(length >> 8) + char(length & 0xFF) +
           QByteArray("Exif\0\0", 6) + tiff;
}

// A noisy picture whose JPEG is close to the wanted size: the quality is searched for.
QByteArray baseJpeg(quint32 seed, int width, int height, qsizetype wanted) {
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int noise = int(random.bounded(48u)) - 24;
            const auto c = [noise](int v) { return std::clamp(v + noise, 0, 255); };
            line[x] = qRgb(c(x * 255 / width), c(y * 255 / height), c(128));
        }
    }
    QByteArray best;
    int low = 5, high = 100;
    while (low <= high) {
        const int quality = (low + high) / 2;
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "JPEG", quality))
            return {};
        if (best.isEmpty() || qAbs(jpeg.size() - wanted) < qAbs(best.size() - wanted))
            best = jpeg;
        if (jpeg.size() < wanted)
            low = quality + 1;
        else
            high = quality - 1;
    }
    return best;
}

// The stream after the start marker, without a leading JFIF segment: the Exif segment goes
// first, as cameras write it.
QByteArray afterStart(const QByteArray &jpeg) {
    qsizetype at = 2;
    if (jpeg.size() > 6 && uchar(jpeg[2]) == 0xFF && uchar(jpeg[3]) == 0xE0)
        at = 4 + (uchar(jpeg[4]) << 8 | uchar(jpeg[5]));
    return jpeg.mid(at);
}

bool write(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush();
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s FOLDER PHOTOS FILES PHOTO_KIB\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // for the JPEG writer
    const QDir root(QString::fromLocal8Bit(argv[1]));
    const int photos = QString::fromLocal8Bit(argv[2]).toInt();
    const int files = QString::fromLocal8Bit(argv[3]).toInt();
    const qsizetype photoBytes = QString::fromLocal8Bit(argv[4]).toLongLong() * 1024;
    if (!root.mkpath(QStringLiteral("photos")) || !root.mkpath(QStringLiteral("files")))
        return 1;

    // Two pictures, so that the two byte orders do not share one image stream.
    const int width = 2048, height = 1536;
    const QByteArray streams[2] = {afterStart(baseJpeg(1, width, height, photoBytes)),
                                   afterStart(baseJpeg(2, width, height, photoBytes))};
    if (streams[0].isEmpty() || streams[1].isEmpty()) {
        std::fprintf(stderr, "the JPEG writer is not available\n");
        return 1;
    }
    const QDateTime first(QDate(2019, 5, 1), QTime(8, 0), Qt::UTC);
    qint64 total = 0;
    for (int i = 0; i < photos; ++i) {
        const bool little = i % 2 == 0;
        // 97 s apart: every photo's date, and so its new name, is its own.
        const QByteArray date =
            first.addSecs(97LL * i).toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")).toLatin1();
        const QByteArray model = i % 4 < 2 ? "Acme X100" : "Acme X200 Pro";
        const QByteArray photo = QByteArray("\xFF\xD8", 2) +
                                 exifSegment(little, "Acme", model, date, width, height) +
                                 streams[i % 2];
        if (!write(root.filePath(QStringLiteral("photos/IMG_%1.jpg").arg(i + 1, 4, 10, QChar('0'))),
                   photo))
            return 1;
        total += photo.size();
    }
    const QByteArray content(1024, 'x');
    for (int i = 0; i < files; ++i) {
        if (!write(root.filePath(QStringLiteral("files/file_%1.dat").arg(i + 1, 4, 10, QChar('0'))),
                   content))
            return 1;
    }
    std::printf("corpus: %d photos (%.2f MiB each on average), %d plain files\n", photos,
                photos ? double(total) / photos / 1048576.0 : 0.0, files);
    return 0;
}
