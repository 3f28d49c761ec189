#include "core/exif/exif_reader.h"
#include "tests/support/files.h"
#include "tests/support/jpeg_builder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace kalmora;
using namespace kalmora::test;

namespace {

constexpr int TagDate = ExifTags::DateTimeOriginal;
const QByteArray OriginalDate = "2019:05:04 13:22:41";
const QString NewDate = QStringLiteral("2021:12:31 23:59:58");

bool writeAll(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

ByteOrder orderOf(bool little) {
    return little ? ByteOrder::Little : ByteOrder::Big;
}
const char *orderName(ByteOrder order) {
    return order == ByteOrder::Little ? "II" : "MM";
}

// Loads and swallows a damage error; the caller checks what the reader holds afterwards.
bool loadThrows(ExifReader &reader, const QString &path) {
    try {
        reader.Load(path);
        return false;
    } catch (const ExifError &) {
        return true;
    }
}

// A small photo: IFD0 (make, orientation, Exif pointer) -> IFD1 (compression), and the Exif
// sub-IFD (exposure time, shooting date). A tweak may damage it before it is laid out.
struct SmallIds {
    int ifd0 = 0, ifd1 = 0, sub = 0;
    int pointerEntry = 0; // index of 34665 in IFD0
    int dateEntry = 0;    // index of 36867 in the sub-IFD
};
constexpr int SmallIfd0Count = 3, SmallIfd1Count = 1, SmallSubCount = 2;
using Tweak = std::function<void(TiffBuilder &, const SmallIds &)>;

QByteArray smallPhoto(ByteOrder order, const Tweak &tweak = {}) {
    TiffBuilder tiff(order);
    SmallIds ids;
    ids.ifd0 = tiff.addDirectory();
    ids.ifd1 = tiff.addDirectory();
    ids.sub = tiff.addDirectory();
    tiff.add(ids.ifd0, tiff.ascii(ExifTags::Make, "Cam"));
    tiff.add(ids.ifd0, tiff.shorts(ExifTags::Orientation, {1}));
    ids.pointerEntry = tiff.add(ids.ifd0, tiff.pointer(ExifTags::ExifIfdPointer, ids.sub));
    tiff.link(ids.ifd0, ids.ifd1);
    tiff.add(ids.ifd1, tiff.shorts(ExifTags::Compression, {6}));
    tiff.add(ids.sub, tiff.rationals(ExifTags::ExposureTime, {{1, 125}}));
    ids.dateEntry = tiff.add(ids.sub, tiff.ascii(ExifTags::DateTimeOriginal, OriginalDate));
    if (tweak)
        tweak(tiff, ids);
    return JpegBuilder().exif(tiff.build().bytes).build().bytes;
}

} // namespace

class ExifReaderTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_serial = 0;

    QString save(const QByteArray &bytes) {
        const QString path = m_dir.filePath(QStringLiteral("photo_%1.jpg").arg(++m_serial));
        if (!writeAll(path, bytes))
            qFatal("cannot write test file %s", qPrintable(path));
        return path;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void decodesEachFormat_data();
    void decodesEachFormat();
    void readsCameraPhoto_data();
    void readsCameraPhoto();
    void walksDirectoriesInOrder_data();
    void walksDirectoriesInOrder();
    void lastExifPointerWins_data();
    void lastExifPointerWins();
    void withoutExifPointerReadsLinkedChainOnly_data();
    void withoutExifPointerReadsLinkedChainOnly();
    void hasNoExif_data();
    void hasNoExif();
    void firstFfE1PairAnywhereIsTheSegment_data();
    void firstFfE1PairAnywhereIsTheSegment();
    void loadingAndQueryLifecycle();
    void damagedHeaderErrorReachesEveryQuery();
    void patchesInPlace_data();
    void patchesInPlace();
    void exifBeyondTheFirstRead_data();
    void exifBeyondTheFirstRead();
    void patchRefused_data();
    void patchRefused();
    void patchCharacterBeyondOneByteThrows();
    void patchWriteFailure_data();
    void patchWriteFailure();
    void damagedStructure_data();
    void damagedStructure();
    void truncatedAtEveryOffset_data();
    void truncatedAtEveryOffset();
};

// ---------------------------------------------------------------------------------------------
// Decoding

void ExifReaderTest::decodesEachFormat_data() {
    QTest::addColumn<bool>("little");
    QTest::addColumn<int>("format");
    QTest::addColumn<uint>("count");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("outOfLine");
    QTest::addColumn<QVariant>("expected");

    for (const bool little : {true, false}) {
        const ByteOrder o = orderOf(little);
        const auto e16 = [o](quint16 v) { return encode16(o, v); };
        const auto e32 = [o](quint32 v) { return encode32(o, v); };
        const auto row = [&](const char *name, int format, uint count, const QByteArray &data,
                             const QVariant &expected, bool outOfLine = false) {
            QTest::addRow("%s %s", orderName(o), name)
                << little << format << count << data << outOfLine << expected;
        };
        const auto pick = [little](const char *ii, const char *mm) {
            return QVariant(QString::fromLatin1(little ? ii : mm));
        };

        // BYTE and SBYTE: inline as the value field's number in hex, else decimal bytes.
        row("BYTE x1 inline is the value field as 8 hex digits", 1, 1, "\xAB",
            pick("000000AB", "AB000000"));
        row("BYTE x4 inline", 1, 4, "\x01\x02\x03\x04", pick("04030201", "01020304"));
        row("SBYTE x3 inline keeps leading zeros", 6, 3, "\xFF\x80\x7F",
            pick("007F80FF", "FF807F00"));
        row("BYTE x0 reads the whole value field", 1, 0, QByteArray(),
            pick("00000000", "00000000"));
        row("BYTE x6 out of line is decimal bytes", 1, 6, QByteArray("\x01\x02\x0A\xFF\x00\x10", 6),
            pick("1210255016", "1210255016"));
        row("SBYTE x5 out of line is unsigned decimal bytes", 6, 5,
            QByteArray("\x80\xFF\x00\x01\x02", 5), pick("128255012", "128255012"));

        // ASCII and UNDEFINED: inline four characters in file order, else all but the last.
        row("ASCII x3 inline is four characters in file order", 2, 3, QByteArray("AB\0", 3),
            QVariant(QString::fromLatin1("AB\0\0", 4)));
        row("ASCII x4 inline", 2, 4, "ABCD", QVariant(QStringLiteral("ABCD")));
        row("ASCII out of line drops the NUL", 2, 10, QByteArray("Canon EOS\0", 10),
            QVariant(QStringLiteral("Canon EOS")));
        row("ASCII byte above 127 is one character", 2, 6, QByteArray("caf\xE9s\0", 6),
            QVariant(QString::fromLatin1("caf\xE9s")));
        row("UNDEFINED x4 inline", 7, 4, "0231", QVariant(QStringLiteral("0231")));
        row("UNDEFINED out of line loses its last byte", 7, 6, "ABCDEF",
            QVariant(QStringLiteral("ABCDE")));

        // SHORT and SSHORT: inline as the sum of both halves, else decimal bytes.
        row("SHORT x1 inline", 3, 1, e16(6), QVariant(6));
        row("SHORT x1 inline 0xFFFF is unsigned", 3, 1, e16(0xFFFF), QVariant(65535));
        row("SHORT x2 inline is the sum of the halves", 3, 2, e16(3) + e16(4), QVariant(7));
        row("SSHORT x1 inline is signed", 8, 1, e16(0xFFFE), QVariant(-2));
        row("SSHORT x2 inline sums signed halves", 8, 2, e16(0xFFFF) + e16(5), QVariant(4));
        row("SHORT x3 out of line is one byte per component", 3, 3,
            e16(0x0102) + e16(0x0304) + e16(0x0506), pick("214", "321"));
        row("SSHORT x3 out of line", 8, 3, e16(0xFFFF) + e16(1) + e16(2),
            pick("2552551", "0255255"));

        // LONG and SLONG: inline as the value field, else decimal bytes.
        row("LONG x1 inline", 4, 1, e32(123456), QVariant(123456));
        row("LONG x1 inline with top bit set is unsigned", 4, 1, e32(0x80000000u),
            QVariant(qlonglong(2147483648LL)));
        row("LONG x1 inline 0xFFFFFFFF is unsigned", 4, 1, e32(0xFFFFFFFFu),
            QVariant(qlonglong(4294967295LL)));
        row("SLONG x1 inline is signed", 9, 1, e32(quint32(-5)), QVariant(-5));
        row("SLONG x1 inline maximum", 9, 1, e32(0x7FFFFFFF), QVariant(2147483647));
        row("LONG x2 out of line is one byte per component", 4, 2, e32(1) + e32(2),
            pick("10", "00"));
        row("SLONG x3 out of line", 9, 3, e32(0x11223344) + e32(0) + e32(0),
            pick("685134", "173451"));

        // RATIONAL and SRATIONAL: always from the data, first rational only.
        row("RATIONAL 1/125", 5, 1, e32(1) + e32(125), QVariant(QStringLiteral("1/125")), true);
        row("RATIONAL x2 keeps the first", 5, 2, e32(1) + e32(125) + e32(7) + e32(3),
            QVariant(QStringLiteral("1/125")), true);
        row("RATIONAL with top bit set is unsigned", 5, 1, e32(0x80000000u) + e32(1),
            QVariant(QStringLiteral("2147483648/1")), true);
        row("RATIONAL x0 still reads its data", 5, 0, e32(1) + e32(125),
            QVariant(QStringLiteral("1/125")), true);
        row("SRATIONAL -1/3 is signed", 10, 1, e32(quint32(-1)) + e32(3),
            QVariant(QStringLiteral("-1/3")), true);
        row("SRATIONAL x2 keeps the first", 10, 2, e32(quint32(-5)) + e32(2) + e32(1) + e32(1),
            QVariant(QStringLiteral("-5/2")), true);

        // Formats without a text form.
        row("FLOAT is empty", 11, 1, e32(0x3F800000), QVariant());
        row("DOUBLE is empty", 12, 1, QByteArray(8, '\x11'), QVariant());
        row("format 13 is empty", 13, 1, e32(1), QVariant());
        row("format 0 is empty", 0, 1, e32(1), QVariant());
        row("format 0xFFFF is empty", 0xFFFF, 1, e32(1), QVariant());
    }
}

void ExifReaderTest::decodesEachFormat() {
    QFETCH(bool, little);
    QFETCH(int, format);
    QFETCH(uint, count);
    QFETCH(QByteArray, data);
    QFETCH(bool, outOfLine);
    QFETCH(QVariant, expected);

    // The entry under test sits between two others, so a mis-sized read shows up in them.
    constexpr quint16 TagUnderTest = 50000;
    TiffBuilder tiff(orderOf(little));
    const int ifd0 = tiff.addDirectory();
    tiff.add(ifd0, tiff.ascii(ExifTags::Make, "Before"));
    TiffEntry entry = tiff.raw(TagUnderTest, quint16(format), count, data);
    entry.outOfLine = outOfLine;
    tiff.add(ifd0, entry);
    tiff.add(ifd0, tiff.ascii(ExifTags::Model, "After"));
    const QString path = save(JpegBuilder().exif(tiff.build().bytes).build().bytes);

    ExifReader reader;
    reader.Load(path);
    const QVariant actual = reader.tag(TagUnderTest);
    QCOMPARE(actual.typeId(), expected.typeId());
    QCOMPARE(actual, expected);
    QCOMPARE(reader.tag(ExifTags::Make), QVariant(QStringLiteral("Before")));
    QCOMPARE(reader.tag(ExifTags::Model), QVariant(QStringLiteral("After")));
    QCOMPARE(reader.tag(0), QVariant(3));
}

void ExifReaderTest::readsCameraPhoto_data() {
    QTest::addColumn<bool>("little");
    QTest::addColumn<int>("exifTag");
    QTest::addColumn<QVariant>("expected");

    for (const bool little : {true, false}) {
        const char *o = orderName(orderOf(little));
        const auto row = [&](const char *name, int exifTag, const QVariant &expected) {
            QTest::addRow("%s %s", o, name) << little << exifTag << expected;
        };
        row("make", ExifTags::Make, QStringLiteral("Kalmora"));
        row("model", ExifTags::Model, QStringLiteral("Kalmora TestCam"));
        row("orientation", ExifTags::Orientation, 1);
        row("x resolution", ExifTags::XResolution, QStringLiteral("72/1"));
        row("compression from IFD1", ExifTags::Compression, 6);
        row("exposure time 1/125", ExifTags::ExposureTime, QStringLiteral("1/125"));
        row("f-number", ExifTags::FNumber, QStringLiteral("28/10"));
        row("ISO", ExifTags::IsoSpeed, 100);
        row("Exif version", ExifTags::ExifVersion, QStringLiteral("0231"));
        row("shooting date", ExifTags::DateTimeOriginal, QString::fromLatin1(OriginalDate));
        row("negative exposure bias", ExifTags::ExposureBias, QStringLiteral("-1/3"));
        row("entry after the negative bias", ExifTags::ColorSpace, 1);
        row("maker note as text", ExifTags::MakerNote,
            QString::fromLatin1("KALMORA\0\x01\x02\x03", 11));
        row("tag absent", 40000, QVariant());
        row("tag 0 counts every entry", 0, 21);
    }
}

void ExifReaderTest::readsCameraPhoto() {
    QFETCH(bool, little);
    QFETCH(int, exifTag);
    QFETCH(QVariant, expected);

    const SamplePhoto photo = cameraPhoto(orderOf(little), OriginalDate);
    QCOMPARE(photo.recordCount, 21);
    ExifReader reader;
    reader.Load(save(photo.bytes));
    const QVariant actual = reader.tag(exifTag);
    QCOMPARE(actual.typeId(), expected.typeId());
    QCOMPARE(actual, expected);
    // Maker notes are not parsed: nothing answers as a maker-note entry.
    QCOMPARE(reader.MakerNoteTag(exifTag), QVariant());
}

void ExifReaderTest::walksDirectoriesInOrder_data() {
    QTest::addColumn<bool>("little");
    QTest::newRow("II") << true;
    QTest::newRow("MM") << false;
}

void ExifReaderTest::walksDirectoriesInOrder() {
    QFETCH(bool, little);
    // IFD0 -> IFD1 -> IFD2 by links, then the Exif sub-IFD once. The sub-IFD's own link and
    // the GPS pointer lead to directories that are never read.
    constexpr quint16 A = 50001, B = 50002, C = 50003, D = 50004, E = 50005, F = 50006;
    TiffBuilder tiff(orderOf(little));
    const int ifd0 = tiff.addDirectory();
    const int ifd1 = tiff.addDirectory();
    const int ifd2 = tiff.addDirectory();
    const int sub = tiff.addDirectory();
    const int afterSub = tiff.addDirectory();
    const int gps = tiff.addDirectory();
    tiff.add(ifd0, tiff.ascii(A, "ifd0"));
    tiff.add(ifd0, tiff.pointer(ExifTags::ExifIfdPointer, sub));
    tiff.add(ifd0, tiff.pointer(ExifTags::GpsIfdPointer, gps));
    tiff.link(ifd0, ifd1);
    tiff.add(ifd1, tiff.ascii(B, "ifd1"));
    tiff.add(ifd1, tiff.ascii(A, "ifd1"));
    tiff.link(ifd1, ifd2);
    tiff.add(ifd2, tiff.ascii(F, "ifd2"));
    tiff.add(sub, tiff.ascii(A, "sub-IFD"));
    tiff.add(sub, tiff.ascii(B, "sub-IFD"));
    tiff.add(sub, tiff.ascii(C, "sub-IFD"));
    tiff.add(sub, tiff.ascii(F, "sub-IFD"));
    tiff.link(sub, afterSub);
    tiff.add(afterSub, tiff.ascii(D, "after"));
    tiff.add(gps, tiff.ascii(E, "GPS IFD"));

    ExifReader reader;
    reader.Load(save(JpegBuilder().exif(tiff.build().bytes).build().bytes));
    QCOMPARE(reader.tag(A), QVariant(QStringLiteral("ifd0")));
    QCOMPARE(reader.tag(B), QVariant(QStringLiteral("ifd1")));
    QCOMPARE(reader.tag(F), QVariant(QStringLiteral("ifd2")));
    QCOMPARE(reader.tag(C), QVariant(QStringLiteral("sub-IFD")));
    QCOMPARE(reader.tag(D), QVariant());
    QCOMPARE(reader.tag(E), QVariant());
    QCOMPARE(reader.tag(0), QVariant(3 + 2 + 1 + 4));
}

void ExifReaderTest::lastExifPointerWins_data() {
    walksDirectoriesInOrder_data();
}

void ExifReaderTest::lastExifPointerWins() {
    QFETCH(bool, little);
    // IFD0 and IFD1 both carry 34665; the one read last decides which sub-IFD is walked.
    TiffBuilder tiff(orderOf(little));
    const int ifd0 = tiff.addDirectory();
    const int ifd1 = tiff.addDirectory();
    const int first = tiff.addDirectory();
    const int second = tiff.addDirectory();
    tiff.add(ifd0, tiff.pointer(ExifTags::ExifIfdPointer, first));
    tiff.link(ifd0, ifd1);
    tiff.add(ifd1, tiff.pointer(ExifTags::ExifIfdPointer, second));
    tiff.add(first, tiff.ascii(TagDate, "1999:01:01 00:00:00"));
    tiff.add(second, tiff.ascii(TagDate, "2005:06:07 08:09:10"));

    ExifReader reader;
    reader.Load(save(JpegBuilder().exif(tiff.build().bytes).build().bytes));
    QCOMPARE(reader.tag(TagDate), QVariant(QStringLiteral("2005:06:07 08:09:10")));
    QCOMPARE(reader.tag(0), QVariant(3));
}

void ExifReaderTest::withoutExifPointerReadsLinkedChainOnly_data() {
    walksDirectoriesInOrder_data();
}

void ExifReaderTest::withoutExifPointerReadsLinkedChainOnly() {
    QFETCH(bool, little);
    const QByteArray bytes = smallPhoto(orderOf(little), [](TiffBuilder &t, const SmallIds &ids) {
        // Turn the pointer into a plain entry: the sub-IFD is still in the file, unreachable.
        t.entry(ids.ifd0, ids.pointerEntry).tag = ExifTags::ResolutionUnit;
    });
    const QString path = save(bytes);
    const QDateTime old = QDateTime::currentDateTime().addDays(-400);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(old, QFileDevice::FileModificationTime));
    }

    ExifReader reader;
    reader.Load(path);
    QCOMPARE(reader.tag(0), QVariant(SmallIfd0Count + SmallIfd1Count));
    QCOMPARE(reader.tag(TagDate), QVariant());
    QCOMPARE(reader.tag(ExifTags::Compression), QVariant(6));
    // Nothing to patch: the file is left exactly as it was, not even rewritten.
    QVERIFY(!reader.setTag(TagDate, NewDate));
    QCOMPARE(readFile(path), bytes);
    QCOMPARE(QFileInfo(path).lastModified().toSecsSinceEpoch(), old.toSecsSinceEpoch());
}

// ---------------------------------------------------------------------------------------------
// Finding the segment

void ExifReaderTest::hasNoExif_data() {
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray tiff = [] {
        TiffBuilder t(ByteOrder::Little);
        t.add(t.addDirectory(), t.ascii(TagDate, OriginalDate));
        return t.build().bytes;
    }();
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("one byte") << QByteArray("\xFF", 1);
    QTest::newRow("start marker only") << QByteArray("\xFF\xD8", 2);
    QTest::newRow("start marker and FF E1 at the last two bytes") << QByteArray("\xFF\xD8\xFF\xE1");
    QTest::newRow("PNG") << QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
    QTest::newRow("TIFF file with a date") << tiff;
    QTest::newRow("Exif segment without the start marker")
        << JpegBuilder().exif(tiff).build().bytes.mid(2);
    QTest::newRow("JFIF without APP1") << JpegBuilder().jfif().build().bytes;
    QTest::newRow("APP1 that is not Exif")
        << JpegBuilder().segment(0xE1, QByteArray("Exig\0\0", 6) + tiff).build().bytes;
    for (const ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
        QTest::addRow("%s XMP APP1 before the Exif APP1", orderName(order))
            << JpegBuilder()
                   .jfif()
                   .xmp("<x:xmpmeta xmlns:x='adobe:ns:meta/'/>")
                   .rawBytes(smallPhoto(order).mid(2)) // Exif APP1 and the image
                   .withoutImage()
                   .build()
                   .bytes;
    }
}

void ExifReaderTest::hasNoExif() {
    QFETCH(QByteArray, bytes);
    const QString path = save(bytes);
    ExifReader reader(false); // JPEG's Exif alone: a TIFF file is none
    reader.Load(path);
    QCOMPARE(reader.tag(0), QVariant());
    QCOMPARE(reader.tag(TagDate), QVariant());
    QCOMPARE(reader.MakerNoteTag(1), QVariant());
    QVERIFY(!reader.setTag(TagDate, NewDate));
    QCOMPARE(readFile(path), bytes);
}

void ExifReaderTest::firstFfE1PairAnywhereIsTheSegment_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QVariant>("date");

    for (const ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
        TiffBuilder t(order);
        t.add(t.addDirectory(), t.ascii(TagDate, "2001:02:03 04:05:06"));
        const QByteArray tiff = t.build().bytes;
        const QByteArray later = smallPhoto(order).mid(2); // a proper Exif APP1 and the image

        // The scan is not a segment walk: FF E1 inside a comment's text is taken.
        QTest::addRow("%s FF E1 inside a comment", orderName(order))
            << JpegBuilder()
                   .comment(QByteArray("\xFF\xE1\x00\x00"
                                       "Exif\0\0",
                                       10) +
                            tiff)
                   .rawBytes(later)
                   .withoutImage()
                   .build()
                   .bytes
            << QVariant(QStringLiteral("2001:02:03 04:05:06"));
        // Without any FF E1 pair the letters at bytes 4 to 7 still count, with TIFF at 10.
        QTest::addRow("%s no FF E1, Exif letters at byte 4", orderName(order))
            << JpegBuilder()
                   .rawBytes(QByteArray("\xFF\xE2"
                                        "Exif\0\0",
                                        8) +
                             tiff)
                   .build()
                   .bytes
            << QVariant(QStringLiteral("2001:02:03 04:05:06"));
    }
}

void ExifReaderTest::firstFfE1PairAnywhereIsTheSegment() {
    QFETCH(QByteArray, bytes);
    QFETCH(QVariant, date);
    ExifReader reader;
    reader.Load(save(bytes));
    QCOMPARE(reader.tag(TagDate), date);
}

// ---------------------------------------------------------------------------------------------
// Loading and queries

void ExifReaderTest::loadingAndQueryLifecycle() {
    const QByteArray photo = cameraPhoto(ByteOrder::Big, OriginalDate).bytes;
    const QString withExif = save(photo);
    const QString other = save(cameraPhoto(ByteOrder::Big, "2000:01:01 00:00:00").bytes);

    // Nothing stored: no path, nothing to load.
    ExifReader empty;
    empty.Load(QString());
    QCOMPARE(empty.tag(0), QVariant());
    QVERIFY(!empty.setTag(TagDate, NewDate));

    // The property alone is enough: the first query loads.
    ExifReader lazy;
    lazy.setPicFile(withExif);
    QCOMPARE(lazy.tag(TagDate), QVariant(QString::fromLatin1(OriginalDate)));
    QCOMPARE(lazy.tag(0), QVariant(21));

    // A stored path wins over the argument of Load.
    ExifReader stored;
    stored.setPicFile(withExif);
    stored.Load(other);
    QCOMPARE(stored.tag(TagDate), QVariant(QString::fromLatin1(OriginalDate)));

    // Loading twice appends a second copy of the entries.
    ExifReader twice;
    twice.Load(withExif);
    twice.Load(withExif);
    QCOMPARE(twice.tag(0), QVariant(42));
    QCOMPARE(twice.tag(TagDate), QVariant(QString::fromLatin1(OriginalDate)));

    // A patch needs a loaded file; the property alone does not load.
    ExifReader unloaded;
    unloaded.setPicFile(withExif);
    QVERIFY(!unloaded.setTag(TagDate, NewDate));
    QCOMPARE(readFile(withExif), photo);

    // Every query of a file without Exif reads it again, so later content is seen.
    const QString changing = save("not a photo");
    ExifReader rereads;
    rereads.setPicFile(changing);
    QCOMPARE(rereads.tag(TagDate), QVariant());
    QVERIFY(writeAll(changing, photo));
    QCOMPARE(rereads.tag(TagDate), QVariant(QString::fromLatin1(OriginalDate)));

    // A file that does not exist has no Exif.
    ExifReader missing;
    missing.Load(m_dir.filePath(QStringLiteral("missing.jpg")));
    QCOMPARE(missing.tag(TagDate), QVariant());
    QCOMPARE(missing.tag(0), QVariant());
}

void ExifReaderTest::damagedHeaderErrorReachesEveryQuery() {
    // "Exif" found but the TIFF header is cut off: loading fails before Exif is recognised,
    // so every query loads again and fails again.
    const QByteArray bytes = JpegBuilder().exif("II").withoutImage().build().bytes;
    const QString path = save(bytes);
    ExifReader reader;
    QVERIFY_THROWS_EXCEPTION(ExifError, reader.Load(path));
    QVERIFY_THROWS_EXCEPTION(ExifError, reader.tag(TagDate));
    QVERIFY_THROWS_EXCEPTION(ExifError, reader.tag(0));
    QVERIFY(!reader.setTag(TagDate, NewDate));
    QCOMPARE(readFile(path), bytes);

    ExifReader lazy;
    lazy.setPicFile(path);
    QVERIFY_THROWS_EXCEPTION(ExifError, lazy.tag(TagDate));
}

// ---------------------------------------------------------------------------------------------
// Patching

void ExifReaderTest::patchesInPlace_data() {
    QTest::addColumn<bool>("little");
    QTest::addColumn<QString>("text");

    for (const bool little : {true, false}) {
        const char *o = orderName(orderOf(little));
        QTest::addRow("%s 19-character date keeps the NUL", o) << little << NewDate;
        QTest::addRow("%s shorter text changes only its bytes", o)
            << little << QStringLiteral("1999");
        QTest::addRow("%s text filling the whole field", o)
            << little << QStringLiteral("2021:12:31 23:59:58Z");
        QTest::addRow("%s Latin-1 characters are single bytes", o)
            << little << QString::fromLatin1("2021:12:31 23:59:5\xE9");
    }
}

void ExifReaderTest::patchesInPlace() {
    QFETCH(bool, little);
    QFETCH(QString, text);

    const SamplePhoto photo = cameraPhoto(orderOf(little), OriginalDate);
    const QString path = save(photo.bytes);
    const QByteArray textBytes = text.toLatin1();

#ifdef Q_OS_LINUX
    // In place means the same inode: a hard link sees the new bytes.
    const QString link = path + QStringLiteral(".link");
    QCOMPARE(::link(QFile::encodeName(path).constData(), QFile::encodeName(link).constData()), 0);
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);
#endif

    ExifReader reader;
    reader.Load(path);
    QVERIFY(reader.setTag(TagDate, text));

    // Every byte outside the text is the byte that was there before.
    const qsizetype at = photo.dateTimeOriginalPosition;
    const QByteArray after = readFile(path);
    QCOMPARE(after.size(), photo.bytes.size());
    QCOMPARE(after.left(at), photo.bytes.left(at));
    QCOMPARE(after.mid(at, textBytes.size()), textBytes);
    QCOMPARE(after.mid(at + textBytes.size()), photo.bytes.mid(at + textBytes.size()));
    if (textBytes.size() < 20)
        QCOMPARE(after[at + 19], '\0');

#ifdef Q_OS_LINUX
    struct stat afterStat {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &afterStat), 0);
    QCOMPARE(afterStat.st_ino, before.st_ino);
    QCOMPARE(readFile(link), after);
#endif

    // A fresh reader reads the new text back (a full field loses its last byte as the NUL).
    ExifReader fresh;
    fresh.Load(path);
    const QByteArray field = after.mid(photo.dateTimeOriginalPosition, 19);
    QCOMPARE(fresh.tag(TagDate), QVariant(QString::fromLatin1(field)));
    QVERIFY(fresh.tag(TagDate).toString().startsWith(text.left(19)));
}

// A load reads the first 64.5 KiB and the whole file only when the walk needs more: an Exif
// segment behind large other segments, or one that straddles that limit, reads and patches as
// one at the start does.
void ExifReaderTest::exifBeyondTheFirstRead_data() {
    QTest::addColumn<bool>("little");
    QTest::addColumn<int>("fillerSegments");
    QTest::addColumn<int>("fillerBytes");
    for (const bool little : {true, false}) {
        const char *o = orderName(orderOf(little));
        QTest::addRow("%s at the start", o) << little << 0 << 0;
        QTest::addRow("%s straddling the first read", o) << little << 1 << 64 * 1024 - 200;
        QTest::addRow("%s after 192 KiB of comments", o) << little << 3 << 65533;
    }
}

void ExifReaderTest::exifBeyondTheFirstRead() {
    QFETCH(bool, little);
    QFETCH(int, fillerSegments);
    QFETCH(int, fillerBytes);

    const SamplePhoto photo = cameraPhoto(orderOf(little), OriginalDate);
    // Comment segments right after the start marker push the Exif segment back.
    QByteArray filler;
    for (int i = 0; i < fillerSegments; ++i) {
        const int length = fillerBytes + 2;
        filler += QByteArray("\xFF\xFE") + char(length >> 8) + char(length & 0xFF);
        filler += QByteArray(fillerBytes, 'c');
    }
    const QByteArray bytes = photo.bytes.left(2) + filler + photo.bytes.mid(2);
    const qsizetype at = photo.dateTimeOriginalPosition + filler.size();
    QCOMPARE(bytes.mid(at, 19), OriginalDate);
    const QString path = save(bytes);

    ExifReader reader;
    reader.Load(path);
    QCOMPARE(reader.tag(TagDate), QVariant(QString::fromLatin1(OriginalDate)));
    QCOMPARE(reader.tag(ExifTags::Model), QVariant(QStringLiteral("Kalmora TestCam")));
    QCOMPARE(reader.tag(0), QVariant(photo.recordCount));
    QVERIFY(reader.setTag(TagDate, QStringLiteral("2020:01:02 03:04:05")));

    const QByteArray after = readFile(path);
    QCOMPARE(after.size(), bytes.size());
    QCOMPARE(after.left(at), bytes.left(at));
    QCOMPARE(after.mid(at, 19), QByteArray("2020:01:02 03:04:05"));
    QCOMPARE(after.mid(at + 19), bytes.mid(at + 19));
    ExifReader fresh;
    fresh.Load(path);
    QCOMPARE(fresh.tag(TagDate), QVariant(QStringLiteral("2020:01:02 03:04:05")));
}

void ExifReaderTest::patchRefused_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("exifTag");
    QTest::addColumn<QString>("text");

    for (const ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
        const char *o = orderName(order);
        const QByteArray camera = cameraPhoto(order, OriginalDate).bytes;
        QTest::addRow("%s date stored inline", o) << smallPhoto(order, [](TiffBuilder &t,
                                                                          const SmallIds &ids) {
            TiffEntry &e = t.entry(ids.sub, ids.dateEntry);
            e.count = 4;
            e.data = "2001";
        }) << TagDate << QStringLiteral("2021");
        QTest::addRow("%s SHORT record", o)
            << camera << int(ExifTags::Orientation) << QStringLiteral("9");
        QTest::addRow("%s RATIONAL record", o)
            << camera << int(ExifTags::ExposureTime) << QStringLiteral("1/1");
        QTest::addRow("%s UNDEFINED record out of line", o)
            << camera << int(ExifTags::MakerNote) << QStringLiteral("X");
        QTest::addRow("%s text one longer than the field", o)
            << camera << TagDate << NewDate + QStringLiteral("xy");
        QTest::addRow("%s tag not present", o) << camera << 40000 << NewDate;
        QTest::addRow("%s tag 0", o) << camera << 0 << NewDate;
        QTest::addRow("%s date data past the end of the APP1 segment", o) << [order] {
            TiffBuilder t(order);
            t.add(t.addDirectory(), t.ascii(TagDate, OriginalDate));
            const QByteArray tiff = t.build().bytes;
            // The declared length stops before the date text.
            return JpegBuilder().exif(tiff, quint16(2 + 6 + tiff.size() - 10)).build().bytes;
        }() << TagDate << NewDate;
        QTest::addRow("%s date data over its own entry", o) << [order] {
            TiffBuilder t(order);
            const int ifd0 = t.addDirectory();
            t.add(ifd0, t.ascii(TagDate, OriginalDate));
            const quint32 entry = t.build().entryOffsets.at(0).at(0);
            t.entry(ifd0, 0).valueField = entry;
            return JpegBuilder().exif(t.build().bytes).build().bytes;
        }() << TagDate << QStringLiteral("2021");
        QTest::addRow("%s XMP before Exif", o)
            << JpegBuilder().xmp("<x/>").rawBytes(camera.mid(2)).build().bytes << TagDate
            << NewDate;
    }
}

void ExifReaderTest::patchRefused() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, exifTag);
    QFETCH(QString, text);
    const QString path = save(bytes);
    ExifReader reader;
    reader.Load(path);
    QVERIFY(!reader.setTag(exifTag, text));
    QCOMPARE(readFile(path), bytes);
}

void ExifReaderTest::patchCharacterBeyondOneByteThrows() {
    const QByteArray bytes = cameraPhoto(ByteOrder::Little, OriginalDate).bytes;
    const QString path = save(bytes);
    ExifReader reader;
    reader.Load(path);
    QVERIFY_THROWS_EXCEPTION(ExifError,
                             reader.setTag(TagDate, QStringLiteral("2021:12:31 23:59:5\u4E2D")));
    QCOMPARE(readFile(path), bytes);
}

void ExifReaderTest::patchWriteFailure_data() {
    QTest::addColumn<QString>("damage");
    QTest::newRow("read-only file") << QStringLiteral("read-only");
    QTest::newRow("file deleted after loading") << QStringLiteral("deleted");
    QTest::newRow("file replaced by a folder") << QStringLiteral("folder");
    QTest::newRow("file grew after loading") << QStringLiteral("grew");
    QTest::newRow("file shrank after loading") << QStringLiteral("shrank");
}

void ExifReaderTest::patchWriteFailure() {
    QFETCH(QString, damage);
    const QByteArray bytes = cameraPhoto(ByteOrder::Big, OriginalDate).bytes;
    const QString path = save(bytes);
    ExifReader reader;
    reader.Load(path);

    QByteArray onDisk = bytes;
    bool immutable = false;
    if (damage == QLatin1String("read-only")) {
        QVERIFY(
            QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QFile probe(path);
        if (probe.open(QIODevice::ReadWrite)) {
            // Privileged users write to read-only files; the immutable flag stops them too.
            probe.close();
#ifdef Q_OS_LINUX
            const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
            int flags = 0;
            if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
                flags |= FS_IMMUTABLE_FL;
                immutable = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
            }
            if (fd >= 0)
                ::close(fd);
#endif
            if (!immutable)
                QSKIP("this user may write to read-only files and cannot make one immutable");
        }
    } else if (damage == QLatin1String("deleted")) {
        QVERIFY(QFile::remove(path));
    } else if (damage == QLatin1String("folder")) {
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkdir(path));
    } else if (damage == QLatin1String("grew")) {
        onDisk = bytes + QByteArray(16, 'x');
        QVERIFY(writeAll(path, onDisk));
    } else {
        onDisk = bytes.left(bytes.size() - 1);
        QVERIFY(writeAll(path, onDisk));
    }

    const bool written = reader.setTag(TagDate, NewDate);

#ifdef Q_OS_LINUX
    if (immutable) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        int flags = 0;
        QVERIFY(fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0);
        flags &= ~FS_IMMUTABLE_FL;
        QCOMPARE(::ioctl(fd, FS_IOC_SETFLAGS, &flags), 0);
        ::close(fd);
    }
#endif
    QVERIFY(!written);
    if (damage == QLatin1String("deleted"))
        QVERIFY(!QFileInfo::exists(path)); // not created anew
    else if (damage == QLatin1String("folder"))
        QVERIFY(QFileInfo(path).isDir());
    else
        QCOMPARE(readFile(path), onDisk);
}

// ---------------------------------------------------------------------------------------------
// Damaged files

void ExifReaderTest::damagedStructure_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("throws");
    QTest::addColumn<QVariant>("count"); // tag(0) afterwards
    QTest::addColumn<bool>("atLeast");   // count is a lower bound
    QTest::addColumn<QVariant>("date");  // tag(36867) afterwards

    const QVariant date = QString::fromLatin1(OriginalDate);
    const QVariant none;
    const int n0 = SmallIfd0Count, n1 = SmallIfd1Count, nSub = SmallSubCount;

    for (const ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
        const char *o = orderName(order);
        const auto row = [&](const char *name, const Tweak &tweak, bool throws,
                             const QVariant &count, const QVariant &expectedDate,
                             bool atLeast = false) {
            QTest::addRow("%s %s", o, name)
                << smallPhoto(order, tweak) << throws << count << atLeast << expectedDate;
        };
        const auto ifd0At = [](quint32 offset) {
            return [offset](TiffBuilder &t, const SmallIds &) { t.setIfd0OffsetRaw(offset); };
        };
        const auto dateCount = [](quint32 count) {
            return [count](TiffBuilder &t, const SmallIds &ids) {
                t.entry(ids.sub, ids.dateEntry).count = count;
            };
        };
        const auto dateAs = [](quint16 format, quint32 count) {
            return [format, count](TiffBuilder &t, const SmallIds &ids) {
                TiffEntry &e = t.entry(ids.sub, ids.dateEntry);
                e.format = format;
                e.count = count;
            };
        };

        row("IFD0 offset past the end", ifd0At(0x00100000), true, none, none);
        row("IFD0 offset 0x7FFFFFFF", ifd0At(0x7FFFFFFF), true, none, none);
        row("IFD0 offset 0xFFFFFFF0 wraps in 32 bits", ifd0At(0xFFFFFFF0), true, none, none);
        row("IFD0 offset 0xFFFFFFFF", ifd0At(0xFFFFFFFF), true, none, none);
        row(
            "next-IFD offset 0xFFFFFFF0",
            [](TiffBuilder &t, const SmallIds &ids) { t.setNextRaw(ids.ifd0, 0xFFFFFFF0); }, true,
            n0, none);
        row(
            "Exif pointer 0xFFFFFFF8",
            [](TiffBuilder &t, const SmallIds &ids) {
                TiffEntry &e = t.entry(ids.ifd0, ids.pointerEntry);
                e.pointsToDirectory = -1;
                e.valueField = 0xFFFFFFF8;
            },
            true, n0 + n1, none);
        row(
            "Exif pointer as text",
            [](TiffBuilder &t, const SmallIds &ids) {
                TiffEntry &e = t.entry(ids.ifd0, ids.pointerEntry);
                e.format = ExifFormat::Ascii;
                e.count = 3;
                e.pointsToDirectory = -1;
                e.data = "ab";
            },
            true, n0, none);
        row(
            "date value offset 0xFFFFFFFC",
            [](TiffBuilder &t, const SmallIds &ids) {
                t.entry(ids.sub, ids.dateEntry).valueField = 0xFFFFFFFC;
            },
            true, n0 + n1 + 1, none);
        row(
            "date value offset just past the end",
            [](TiffBuilder &t, const SmallIds &ids) {
                t.entry(ids.sub, ids.dateEntry).valueField = 0x00010000;
            },
            true, n0 + n1 + 1, none);
        row("ASCII count 0xFFFFFFFF", dateCount(0xFFFFFFFF), true, n0 + n1 + 1, none);
        row("BYTE count 0xFFFFFFFF", dateAs(ExifFormat::Byte, 0xFFFFFFFF), true, n0 + n1 + 1, none);
        row("SHORT count 0x80000000, size wraps to 0", dateAs(ExifFormat::Short, 0x80000000), true,
            n0 + n1 + 1, none);
        row("LONG count 0x40000000, size wraps to 0", dateAs(ExifFormat::Long, 0x40000000), true,
            n0 + n1 + 1, none);
        row("RATIONAL count 0x20000000, size wraps to 0", dateAs(ExifFormat::Rational, 0x20000000),
            true, n0 + n1 + 1, none);
        row("SRATIONAL count 0xFFFFFFFF", dateAs(ExifFormat::SRational, 0xFFFFFFFF), true,
            n0 + n1 + 1, none);
        row(
            "IFD0 with no entries",
            [](TiffBuilder &t, const SmallIds &ids) { t.setEntryCountRaw(ids.ifd0, 0); }, true,
            none, none);
        row(
            "IFD0 entry count 0xFFFF",
            [](TiffBuilder &t, const SmallIds &ids) { t.setEntryCountRaw(ids.ifd0, 0xFFFF); }, true,
            n0, QVariant(QStringLiteral("*")), true);
        row(
            "sub-IFD entry count 0xFFFF",
            [](TiffBuilder &t, const SmallIds &ids) { t.setEntryCountRaw(ids.sub, 0xFFFF); }, true,
            n0 + n1 + nSub, date, true);
        row(
            "next-IFD pointer to itself",
            [](TiffBuilder &t, const SmallIds &ids) { t.link(ids.ifd0, ids.ifd0); }, false,
            n0 + nSub, date);
        row(
            "A to B to A loop",
            [](TiffBuilder &t, const SmallIds &ids) { t.link(ids.ifd1, ids.ifd0); }, false,
            n0 + n1 + nSub, date);
        row(
            "Exif pointer to IFD0",
            [](TiffBuilder &t, const SmallIds &ids) {
                t.entry(ids.ifd0, ids.pointerEntry).pointsToDirectory = ids.ifd0;
            },
            false, n0 + n1, none);
        row(
            "Exif pointer to the linked IFD1",
            [](TiffBuilder &t, const SmallIds &ids) {
                t.entry(ids.ifd0, ids.pointerEntry).pointsToDirectory = ids.ifd1;
            },
            false, n0 + n1, none);
        row(
            "sub-IFD next pointer to garbage is not followed",
            [](TiffBuilder &t, const SmallIds &ids) { t.setNextRaw(ids.sub, 0xFFFFFFF0); }, false,
            n0 + n1 + nSub, date);
        row(
            "date record with inline data",
            [](TiffBuilder &t, const SmallIds &ids) {
                TiffEntry &e = t.entry(ids.sub, ids.dateEntry);
                e.count = 4;
                e.data = "2001";
            },
            false, n0 + n1 + nSub, QVariant(QStringLiteral("2001")));
        row(
            "date record with count 0",
            [](TiffBuilder &t, const SmallIds &ids) {
                TiffEntry &e = t.entry(ids.sub, ids.dateEntry);
                e.count = 0;
                e.data = QByteArray("\0\0\0\0", 4);
            },
            false, n0 + n1 + nSub, QVariant(QString(4, QChar(0))));

        // Directories that overlap entry by entry: each next pointer is the start of a later
        // entry and points one entry further, so N entries are read again and again.
        {
            constexpr quint32 N = 2500, M = 5000;
            QByteArray tiff = order == ByteOrder::Little ? "II" : "MM";
            tiff += encode16(order, 42) + encode32(order, 8) + encode16(order, N);
            for (quint32 j = 0; j < M; ++j) {
                tiff += encode32(order, j >= N ? 20 + 12 * (j - N) : 0xFFFF); // tag and format
                tiff += encode32(order, 0);                                   // count
                tiff += encode16(order, 0) + encode16(order, N); // next directory's count
            }
            tiff += encode32(order, 0);
            QTest::addRow("%s directories overlapping entry by entry", o)
                << JpegBuilder().exif(tiff).build().bytes << true << QVariant(int(2 * N)) << true
                << none;
        }
        // Many entries sharing one large block of data.
        {
            TiffBuilder t(order);
            const int ifd0 = t.addDirectory();
            const int holder = t.add(ifd0, t.bytes(50000, QByteArray(50000, '\x07')));
            const quint32 shared = t.build().dataOffsets.at(0).at(holder);
            for (int k = 0; k < 1000; ++k) {
                TiffEntry e = t.raw(quint16(50001 + k), ExifFormat::Byte, 50000, {});
                e.valueField = shared;
                t.add(ifd0, e);
            }
            // Entries were added after the block was placed: move its offset along.
            const TiffBuilder::Result built = t.build();
            for (int k = 0; k < 1000; ++k)
                t.entry(ifd0, k + 1).valueField = built.dataOffsets.at(0).at(holder);
            QTest::addRow("%s a thousand entries sharing one data block", o)
                << JpegBuilder().exif(t.build().bytes).build().bytes << true << QVariant(2) << false
                << none;
        }
    }
}

void ExifReaderTest::damagedStructure() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, throws);
    QFETCH(QVariant, count);
    QFETCH(bool, atLeast);
    QFETCH(QVariant, date);

    const QString path = save(bytes);
    ExifReader reader;
    QCOMPARE(loadThrows(reader, path), throws);
    // Exif was recognised before the walk failed: queries answer from what was read.
    if (atLeast)
        QVERIFY2(reader.tag(0).toInt() >= count.toInt(), qPrintable(reader.tag(0).toString()));
    else
        QCOMPARE(reader.tag(0), count);
    const QVariant found = reader.tag(TagDate);
    if (date == QVariant(QStringLiteral("*")))
        QVERIFY(!found.isValid() || found == QVariant(QString::fromLatin1(OriginalDate)));
    else
        QCOMPARE(found, date);
    // Whatever was read, a patch never grows the file nor writes outside the date field.
    if (reader.setTag(TagDate, NewDate)) {
        const QByteArray after = readFile(path);
        QCOMPARE(after.size(), bytes.size());
        QVERIFY(after != bytes);
    } else {
        QCOMPARE(readFile(path), bytes);
    }
}

void ExifReaderTest::truncatedAtEveryOffset_data() {
    walksDirectoriesInOrder_data();
}

void ExifReaderTest::truncatedAtEveryOffset() {
    QFETCH(bool, little);
    const SamplePhoto photo = cameraPhoto(orderOf(little), OriginalDate);
    const QString path = m_dir.filePath(QStringLiteral("truncated.jpg"));
    const QVariant date = QString::fromLatin1(OriginalDate);

    int threw = 0, noExif = 0, complete = 0;
    for (qsizetype length = 0; length <= photo.bytes.size(); ++length) {
        const QByteArray cut = photo.bytes.left(length);
        QVERIFY(writeAll(path, cut));
        ExifReader reader;
        const bool failed = loadThrows(reader, path);
        threw += failed;

        QVariant found;
        QVariant records;
        try {
            found = reader.tag(TagDate);
            records = reader.tag(0);
        } catch (const ExifError &) {
            QVERIFY2(failed, "a query throws only when loading threw");
        }
        // Never a value made from bytes that are not there.
        QVERIFY2(!found.isValid() || found == date, qPrintable(QString::number(length)));

        if (length < photo.tiffStart - 2) { // "Exif" letters incomplete
            QVERIFY(!failed);
            QCOMPARE(records, QVariant());
            ++noExif;
        } else if (length >= photo.exifEnd) { // every directory and value present
            QVERIFY(!failed);
            QCOMPARE(found, date);
            QCOMPARE(records, QVariant(photo.recordCount));
            ++complete;
        }
        if (reader.setTag(TagDate, NewDate))
            QCOMPARE(QFileInfo(path).size(), length);
        else
            QCOMPARE(readFile(path), cut);
    }
    QVERIFY(threw > 0);
    QVERIFY(noExif > 0);
    QVERIFY(complete > 0);
}

QTEST_GUILESS_MAIN(ExifReaderTest)
#include "exif_reader_test.moc"
