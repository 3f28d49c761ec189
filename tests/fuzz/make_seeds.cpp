// Writes the seed corpus of the fuzz targets: OUTPUT/exif_reader/*.jpg (both byte orders,
// every format code inline and out of line, the damaged shapes the reader must survive, and
// structures past the first 64 KiB of the file),
// OUTPUT/date_time/*.txt and OUTPUT/file_pattern/*.txt.
// Usage: kalmora_fuzz_seeds OUTPUT_FOLDER
#include "core/journal/journal.h"
#include "tests/support/jpeg_builder.h"

#include <QDir>
#include <QFile>

#include <cstdio>

using namespace kalmora::test;

namespace {

QString g_out;
int g_written = 0;

bool save(const QString &target, const QString &name, const QByteArray &bytes) {
    const QString folder = g_out + QLatin1Char('/') + target;
    if (!QDir().mkpath(folder))
        return false;
    QFile f(folder + QLatin1Char('/') + name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        return false;
    ++g_written;
    return true;
}

QString orderName(ByteOrder order) {
    return order == ByteOrder::Little ? QStringLiteral("ii") : QStringLiteral("mm");
}

int widthOf(quint16 format) {
    switch (format) {
    case 1:
    case 2:
    case 6:
    case 7:
        return 1;
    case 3:
    case 8:
        return 2;
    case 4:
    case 9:
    case 11:
        return 4;
    case 5:
    case 10:
    case 12:
        return 8;
    default:
        return 1;
    }
}

// Component bytes with the top bit set here and there, so signed formats see negatives.
QByteArray pattern(int size) {
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char(i % 3 == 1 ? 0x80 + i : 0x30 + i % 10);
    return data;
}

QByteArray jpeg(const TiffBuilder &tiff) {
    return JpegBuilder().jfif().exif(tiff.build().bytes).build().bytes;
}

// IFD0 with entries of one format code (one component, as many as fit in 4 bytes, and one
// more than fit), a pointer to an Exif directory that holds the shooting date.
QByteArray formatPhoto(ByteOrder order, quint16 format) {
    TiffBuilder tiff(order);
    const int ifd0 = tiff.addDirectory();
    const int exif = tiff.addDirectory();
    const int w = widthOf(format);
    const quint32 counts[] = {1, quint32(qMax(1, 4 / w)), quint32(4 / w + 1)};
    quint16 tag = 0x0100;
    for (const quint32 count : counts)
        tiff.add(ifd0, tiff.raw(tag++, format, count, pattern(int(count) * w)));
    tiff.add(ifd0, tiff.pointer(ExifTags::ExifIfdPointer, exif));
    tiff.add(exif, tiff.ascii(ExifTags::DateTimeOriginal, "2011:08:27 20:11:00"));
    tiff.add(exif,
             tiff.raw(ExifTags::DateTimeDigitized, format, counts[2], pattern(int(counts[2]) * w)));
    return jpeg(tiff);
}

bool exifSeeds() {
    using namespace ExifTags;
    bool ok = true;
    for (const ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
        const QString o = orderName(order);
        const auto put = [&](const QString &name, const QByteArray &bytes) {
            ok = save(QStringLiteral("exif_reader"), o + QLatin1Char('-') + name, bytes) && ok;
        };
        const SamplePhoto camera = cameraPhoto(order);
        put(QStringLiteral("camera.jpg"), camera.bytes);
        put(QStringLiteral("expanding.jpg"), expandingPhoto(order));
        put(QStringLiteral("camera-cut-in-exif.jpg"), camera.bytes.left(camera.exifEnd - 40));
        for (quint16 format = 0; format <= 13; ++format)
            put(QStringLiteral("format-%1.jpg").arg(format), formatPhoto(order, format));

        {
            // The date in IFD0 only, no Exif pointer.
            TiffBuilder tiff(order);
            const int ifd0 = tiff.addDirectory();
            tiff.add(ifd0, tiff.ascii(DateTimeOriginal, "2011:08:27 20:11:00"));
            tiff.add(ifd0, tiff.ascii(Model, "Short"));
            put(QStringLiteral("date-in-ifd0.jpg"), jpeg(tiff));
        }
        {
            // Dates too short for the patch, inline, and of the wrong format.
            TiffBuilder tiff(order);
            const int ifd0 = tiff.addDirectory();
            const int exif = tiff.addDirectory();
            tiff.add(ifd0, tiff.pointer(ExifIfdPointer, exif));
            tiff.add(exif, tiff.ascii(DateTimeOriginal, "2011:08"));
            tiff.add(exif, tiff.ascii(DateTimeDigitized, "ab"));
            tiff.add(exif, tiff.bytes(DateTime, "2011:08:27 20:11:00", ExifFormat::Undefined));
            put(QStringLiteral("dates-that-cannot-take-a-patch.jpg"), jpeg(tiff));
        }
        {
            // A chain that links back to IFD0 and an Exif pointer to its own directory.
            TiffBuilder tiff(order);
            const int ifd0 = tiff.addDirectory();
            const int ifd1 = tiff.addDirectory();
            const int exif = tiff.addDirectory();
            tiff.add(ifd0, tiff.pointer(ExifIfdPointer, exif));
            tiff.link(ifd0, ifd1);
            tiff.add(ifd1, tiff.shorts(Compression, {6}));
            tiff.link(ifd1, ifd0);
            tiff.add(exif, tiff.pointer(ExifIfdPointer, exif));
            tiff.add(exif, tiff.ascii(DateTimeOriginal, "2011:08:27 20:11:00"));
            put(QStringLiteral("directory-loops.jpg"), jpeg(tiff));
        }
        {
            // Offsets that point past the end, a huge count and an empty IFD0.
            TiffBuilder tiff(order);
            const int ifd0 = tiff.addDirectory();
            TiffEntry far = tiff.ascii(Model, "Kalmora TestCam");
            far.valueField = 0xFFFFFFF0u;
            tiff.add(ifd0, far);
            tiff.add(ifd0, tiff.raw(Make, ExifFormat::Ascii, 0x7FFFFFFF, pattern(8)));
            tiff.setNextRaw(ifd0, 0xFFFFFF00u);
            put(QStringLiteral("offsets-past-the-end.jpg"), jpeg(tiff));
            TiffBuilder empty(order);
            empty.addDirectory();
            put(QStringLiteral("empty-ifd0.jpg"), jpeg(empty));
        }
        {
            // Past the first 64 KiB that a load reads: the segment itself, and an Exif
            // directory behind a large value.
            TiffBuilder small(order);
            small.add(small.addDirectory(), small.ascii(DateTimeOriginal, "2011:08:27 20:11:00"));
            put(QStringLiteral("exif-after-64k-of-comments.jpg"),
                JpegBuilder()
                    .comment(QByteArray(34000, 'c'))
                    .comment(QByteArray(34000, 'd'))
                    .exif(small.build().bytes)
                    .build()
                    .bytes);
            TiffBuilder tiff(order);
            const int ifd0 = tiff.addDirectory();
            const int exif = tiff.addDirectory();
            tiff.add(ifd0, tiff.bytes(MakerNote, pattern(67000), ExifFormat::Undefined));
            tiff.add(ifd0, tiff.pointer(ExifIfdPointer, exif));
            tiff.add(exif, tiff.ascii(DateTimeOriginal, "2011:08:27 20:11:00"));
            put(QStringLiteral("exif-directory-after-64k.jpg"), jpeg(tiff));
        }
        {
            // XMP before Exif: the first APP1 is not Exif.
            TiffBuilder tiff(order);
            const int ifd0 = tiff.addDirectory();
            tiff.add(ifd0, tiff.ascii(DateTimeOriginal, "2011:08:27 20:11:00"));
            put(QStringLiteral("xmp-first.jpg"),
                JpegBuilder().xmp("<x:xmpmeta/>").exif(tiff.build().bytes).build().bytes);
            // An APP1 length shorter than its data.
            put(QStringLiteral("segment-length-short.jpg"),
                JpegBuilder().exif(tiff.build().bytes, 12).build().bytes);
        }
    }
    ok = save(QStringLiteral("exif_reader"), QStringLiteral("no-exif.jpg"),
              JpegBuilder().jfif().build().bytes) &&
         ok;
    ok = save(QStringLiteral("exif_reader"), QStringLiteral("not-a-jpeg.png"),
              QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)) &&
         ok;
    // No FF E1 pair at all, but "Exif" at bytes 4 to 7.
    ok = save(QStringLiteral("exif_reader"), QStringLiteral("exif-word-without-segment.jpg"),
              QByteArray("\xFF\xD8\x00\x40"
                         "Exif\0\0II*\0\x08\0\0\0\x01\0\x03\x90\x02\0\x14\0\0\0\x1a\0\0\0\0\0\0\0"
                         "2011:08:27 20:11:00\0",
                         56)) &&
         ok;
    return ok;
}

bool textSeeds(const QString &target, const QList<QByteArray> &texts) {
    bool ok = true;
    int i = 0;
    for (const QByteArray &text : texts)
        ok = save(target, QStringLiteral("%1.txt").arg(++i, 3, 10, QLatin1Char('0')), text) && ok;
    return ok;
}

// States as the journal writes them: a missing file, a plain one, one with an NTFS creation time
// and a content hash, and one whose hash was never taken.
bool journalStateSeeds() {
    kalmora::FileState plain;
    plain.exists = true;
    plain.device = 0x0000000800000001;
    plain.inode = 1234567;
    plain.size = 4096;
    plain.access = {1314447060, 5};
    plain.modification = {-2208988800, 999999999};
    plain.creation = {0, 0};
    kalmora::FileState ntfs = plain;
    ntfs.creationSettable = true;
    ntfs.hash = QByteArray(32, '\x5a');
    kalmora::FileState empty = plain;
    empty.hash = QByteArray("");
    bool ok = true;
    int i = 0;
    for (const kalmora::FileState &s : {kalmora::FileState(), plain, ntfs, empty})
        ok = save(QStringLiteral("journal_state"), QStringLiteral("%1.bin").arg(++i),
                  kalmora::EncodeState(s)) &&
             ok;
    return ok;
}

} // namespace

int main(int argc, char *argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    bool ok = exifSeeds();
    ok = textSeeds(QStringLiteral("date_time"), {"2011-08-27 20:11:00",
                                                 "2011:08:27 20:11:00",
                                                 "2011/8/27 20:11:00",
                                                 "2011/8/27",
                                                 "2011-8-7 9:5",
                                                 "  2012-02-29T23:59:59  ",
                                                 "1900-02-29",
                                                 "2011-04-31 10:00:00",
                                                 "9999-12-31 23:59:59",
                                                 "0001-01-01 00:00:00",
                                                 "0999-06-15 08:00:00",
                                                 "2011-08-27 24:00:00",
                                                 "2011-08-27 20:60:00",
                                                 "2011-08-27 20:11:60",
                                                 "2011-08/27",
                                                 "    :  :     :  :  ",
                                                 "",
                                                 "2011-08-27  T 20:11",
                                                 "２０１１-08-27",
                                                 "2011-08-27 20:11:00:00"}) &&
         ok;
    ok = textSeeds(QStringLiteral("file_pattern"),
                   {"*.jpg\nIMG_0001.JPG", "*.jpg;*.jpeg\nphoto.jpeg", "*.*\nREADME", "*\n.hidden",
                    "IMG_????.jpg\nIMG_12.jpg", " *.avi ; *.mov \nclip.MOV", "[a-c]*.jpg\nb.jpg",
                    "[!a]*.jpg\na.jpg", "*.JPG\n照片.jpg",
                    "*a*a*a*a*a*b\naaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", ";;\nx", "*.txt\n",
                    "\\*.jpg\n\\a.jpg", "*ſ*\nS", "(*).jpg\n(1).jpg"}) &&
         ok;
    ok = journalStateSeeds() && ok;
    std::printf("%d seed files in %s\n", g_written, qPrintable(g_out));
    return ok ? 0 : 1;
}
