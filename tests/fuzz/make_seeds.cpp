// Writes the seed corpus of the fuzz targets: OUTPUT/exif_reader/*.jpg (both byte orders,
// every format code inline and out of line, the damaged shapes the reader must survive, and
// structures past the first 64 KiB of the file), OUTPUT/bounded_tiff/*.tif (the Exif blocks of
// such photos: every directory the bounded copy visits, values it cuts, damaged shapes),
// OUTPUT/date_time/*.txt, OUTPUT/file_pattern/*.txt and OUTPUT/journal_state/*.bin.
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

// The Exif block of a JPEG the builder made: what follows "Exif\0\0" in its first Exif segment.
QByteArray exifBlockOf(const QByteArray &jpeg) {
    for (qsizetype at = 2; at + 4 <= jpeg.size() && quint8(jpeg[at]) == 0xFF;) {
        const qsizetype length = quint8(jpeg[at + 2]) << 8 | quint8(jpeg[at + 3]);
        if (quint8(jpeg[at + 1]) == 0xE1 && jpeg.mid(at + 4, 6) == QByteArray("Exif\0\0", 6))
            return jpeg.mid(at + 10, length - 8);
        at += 2 + length;
    }
    return {};
}

// The containers other than JPEG that keep an Exif block (core/exif/exif_container.h), whole
// and in the damaged shapes the locator must survive.
bool containerSeeds() {
    bool ok = true;
    for (const ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
        const SamplePhoto camera = cameraPhoto(order);
        const QByteArray tiff =
            camera.bytes.mid(camera.tiffStart, camera.exifEnd - camera.tiffStart);
        const QString o = orderName(order) + QLatin1Char('-');
        const QByteArray png = pngWithExif(tiff), webp = webpWithExif(tiff),
                         heic = heicWithExif(tiff);
        QByteArray badCrc = png;
        badCrc[png.indexOf("IDAT") - 5] = char(badCrc[png.indexOf("IDAT") - 5] ^ 1);
        QByteArray farItem = heic;
        farItem.replace(heic.indexOf("iloc") + 18, 4, encode32(ByteOrder::Big, 0x7FFFFFF0));
        const std::pair<const char *, QByteArray> files[] = {
            {"photo.tif", tiff},
            {"photo.png", png},
            {"photo.webp", webp},
            {"photo.heic", heic},
            {"crc-wrong.png", badCrc},
            {"item-beyond-file.heic", farItem},
            {"cut.heic", heic.left(heic.size() - 40)},
            {"cut.webp", webp.left(webp.size() / 2)},
            {"orf-header.orf", QByteArray("IIRO", 4) + tiff.mid(4)},
        };
        for (const auto &[name, bytes] : files)
            ok = save(QStringLiteral("exif_reader"), o + QLatin1String(name), bytes) && ok;
    }
    return ok;
}

// Exif blocks for the bounded copy of the metadata listing (core/exif/bounded_tiff.h).
bool boundedTiffSeeds() {
    using namespace ExifTags;
    bool ok = true;
    for (const ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
        const auto put = [&](const QString &name, const QByteArray &bytes) {
            ok = save(QStringLiteral("bounded_tiff"), orderName(order) + QLatin1Char('-') + name,
                      bytes) &&
                 ok;
        };
        put(QStringLiteral("camera.tif"), exifBlockOf(cameraPhoto(order).bytes));
        // Hundreds of long values over one block of data: cut to the per-value limit, then to
        // the photo's budget.
        put(QStringLiteral("expanding.tif"), exifBlockOf(expandingPhoto(order)));
        {
            // Every directory the copy visits: IFD0, its GPS and Exif directories, the
            // interoperability directory, IFD1 and two further links, sub-images by one inline
            // offset and by a list. Each holds a value past the per-value limit, so that the
            // cut shows every visit; they all share one block of data. A long maker note
            // (hidden, never cut).
            TiffBuilder tiff(order);
            const int ifd0 = tiff.addDirectory();
            const int ifd1 = tiff.addDirectory();
            const int further = tiff.addDirectory();
            const int last = tiff.addDirectory();
            const int exif = tiff.addDirectory();
            const int gps = tiff.addDirectory();
            const int interop = tiff.addDirectory();
            const int subA = tiff.addDirectory();
            const int subB = tiff.addDirectory();
            const int subC = tiff.addDirectory();
            tiff.add(ifd0, tiff.ascii(Model, "Kalmora TestCam"));
            tiff.add(ifd0, tiff.pointer(0x014A, subA));
            tiff.add(ifd0, tiff.pointer(ExifIfdPointer, exif));
            tiff.add(ifd0, tiff.pointer(GpsIfdPointer, gps));
            tiff.link(ifd0, ifd1);
            tiff.add(ifd1, tiff.shorts(Compression, {6}));
            const int list = tiff.add(ifd1, tiff.longs(0x014A, {0, 0}));
            tiff.link(ifd1, further);
            tiff.link(further, last);
            tiff.add(exif, tiff.ascii(DateTimeOriginal, "2011:08:27 20:11:00"));
            tiff.add(exif, tiff.bytes(MakerNote, pattern(20000), ExifFormat::Undefined));
            tiff.add(exif, tiff.pointer(0xA005, interop));
            tiff.add(gps, tiff.rationals(0x0002, {{1, 2}, {3, 4}, {5, 6}}));
            tiff.add(interop, tiff.ascii(0x0001, "R98"));
            tiff.add(subA, tiff.shorts(0x0100, {8}));
            tiff.add(subB, tiff.longs(0x0101, QList<quint32>(100, 7)));
            tiff.add(subC, tiff.rationals(0x011A, QList<std::pair<quint32, quint32>>(40, {72, 1})));
            const int holder = tiff.add(further, tiff.bytes(0x9286, pattern(17000)));
            QList<std::pair<int, int>> sharing;
            quint16 tag = 0xC000; // one of its own in each directory
            for (const int dir : {ifd0, ifd1, last, exif, gps, interop, subA, subB, subC})
                sharing.append({dir, tiff.add(dir, tiff.raw(tag++, ExifFormat::Undefined, 17000,
                                                            QByteArray()))});
            const quint32 shared = tiff.build().dataOffsets.at(further).at(holder);
            for (const auto &[dir, k] : sharing)
                tiff.entry(dir, k).valueField = shared;
            // The list's offsets, known once the layout is: they change no length.
            TiffBuilder::Result built = tiff.build();
            const quint32 at = built.dataOffsets.at(ifd1).at(list);
            built.bytes.replace(at, 4, encode32(order, built.directoryOffsets.at(subB)));
            built.bytes.replace(at + 4, 4, encode32(order, built.directoryOffsets.at(subC)));
            put(QStringLiteral("every-directory.tif"), built.bytes);
        }
        {
            // The photo's budget spent part way, in the third directory visited: thirty values
            // past the per-value limit in each of six directories, all over one block of data,
            // then short and long values after; the tags tell the directories apart.
            TiffBuilder tiff(order);
            const int ifd0 = tiff.addDirectory();
            const int ifd1 = tiff.addDirectory();
            const int exif = tiff.addDirectory();
            const int gps = tiff.addDirectory();
            const int interop = tiff.addDirectory();
            const int sub = tiff.addDirectory();
            tiff.add(ifd0, tiff.pointer(0x014A, sub));
            tiff.add(ifd0, tiff.pointer(ExifIfdPointer, exif));
            tiff.add(ifd0, tiff.pointer(GpsIfdPointer, gps));
            tiff.add(exif, tiff.pointer(0xA005, interop));
            tiff.link(ifd0, ifd1);
            const int holder = tiff.add(ifd1, tiff.bytes(0x9286, pattern(17000)));
            QList<std::pair<int, int>> sharing;
            quint16 tag = 0xC100;
            for (const int dir : {ifd1, gps, interop, sub, exif, ifd0}) {
                for (int k = 0; k < 30; ++k)
                    sharing.append({dir, tiff.add(dir, tiff.raw(tag++, ExifFormat::Undefined, 17000,
                                                                QByteArray()))});
                tiff.add(dir, tiff.bytes(tag++, pattern(200)));
                tiff.add(dir, tiff.shorts(tag++, QList<quint16>(150, 9)));
            }
            const quint32 shared = tiff.build().dataOffsets.at(ifd1).at(holder);
            for (const auto &[dir, k] : sharing)
                tiff.entry(dir, k).valueField = shared;
            put(QStringLiteral("budget-spent.tif"), tiff.build().bytes);
        }
        {
            // Values of every format code just past the inline 4 bytes, at and just past the
            // 256 bytes always kept whole, and longer, in the Exif directory.
            TiffBuilder tiff(order);
            const int ifd0 = tiff.addDirectory();
            const int exif = tiff.addDirectory();
            tiff.add(ifd0, tiff.pointer(ExifIfdPointer, exif));
            quint16 tag = 0xC000;
            for (quint16 format = 1; format <= 13; ++format) {
                const int w = widthOf(format);
                for (const int bytes : {5, 256, 257, 2000}) {
                    const quint32 count = quint32((bytes + w - 1) / w);
                    tiff.add(exif, tiff.raw(tag++, format, count, pattern(int(count) * w)));
                }
            }
            put(QStringLiteral("format-sizes.tif"), tiff.build().bytes);
        }
        {
            // A chain back to IFD0, an Exif pointer to its own directory.
            TiffBuilder tiff(order);
            const int ifd0 = tiff.addDirectory();
            const int ifd1 = tiff.addDirectory();
            const int exif = tiff.addDirectory();
            tiff.add(ifd0, tiff.pointer(ExifIfdPointer, exif));
            tiff.link(ifd0, ifd1);
            tiff.add(ifd1, tiff.bytes(0x0100, pattern(400)));
            tiff.link(ifd1, ifd0);
            tiff.add(exif, tiff.pointer(ExifIfdPointer, exif));
            tiff.add(exif, tiff.bytes(0x9286, pattern(400), ExifFormat::Undefined));
            put(QStringLiteral("directory-loops.tif"), tiff.build().bytes);
        }
        {
            // A value and a link past the end, a count past the end, and an Exif pointer into
            // IFD0's own entries, so that directories share bytes.
            TiffBuilder tiff(order);
            const int ifd0 = tiff.addDirectory();
            TiffEntry far = tiff.bytes(0x0100, pattern(300));
            far.valueField = 0xFFFFFFF0u;
            tiff.add(ifd0, far);
            tiff.add(ifd0, tiff.raw(Make, ExifFormat::Ascii, 0x7FFFFFFF, pattern(8)));
            TiffEntry inside = tiff.raw(ExifIfdPointer, ExifFormat::Long, 1, encode32(order, 14));
            tiff.add(ifd0, inside);
            tiff.add(ifd0, tiff.bytes(0x9286, pattern(600)));
            tiff.setNextRaw(ifd0, 0xFFFFFF00u);
            put(QStringLiteral("damaged.tif"), tiff.build().bytes);
            TiffBuilder cut(order);
            cut.add(cut.addDirectory(), cut.bytes(0x0100, pattern(300)));
            cut.setEntryCountRaw(0, 40);
            put(QStringLiteral("entries-past-the-end.tif"), cut.build().bytes);
        }
    }
    ok = save(QStringLiteral("bounded_tiff"), QStringLiteral("no-tiff-header.tif"),
              QByteArray("XX*\0\x08\0\0\0\x01\0\x00\x01\x07\0\x00\x02\0\0", 18)) &&
         ok;
    ok = save(QStringLiteral("bounded_tiff"), QStringLiteral("header-cut-short.tif"),
              QByteArray("II*\0\x08", 5)) &&
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
    plain.mode = 0644;
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
    ok = containerSeeds() && ok;
    ok = boundedTiffSeeds() && ok;
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
