#include "core/exif/exif_labels.h"
#include "core/exif/image_metadata.h"
#include "core/exif/read_exif.h"
#include "core/grid/exif_row.h"
#include "core/grid/file_grid.h"
#include "tests/support/files.h"
#include "tests/support/jpeg_builder.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace kalmora;
using namespace kalmora::test;

namespace {

const QString Date = QStringLiteral("2020:01:02 03:04:05");

QByteArray baseJpeg() {
    return JpegBuilder().build().bytes;
}

QStringList linesOf(const ImageMetadata &metadata) {
    QStringList lines;
    for (int i = 1; i <= metadata.count(); ++i)
        lines.append(PropertyLine(metadata.item(i)));
    return lines;
}

MetadataProperty propertyNamed(const ImageMetadata &metadata, const QString &name) {
    for (int i = 1; i <= metadata.count(); ++i) {
        if (metadata.item(i).name == name)
            return metadata.item(i);
    }
    return {};
}

// A Canon maker note is a bare directory, which exiv2 decodes into entries of its own.
QByteArray canonPhoto(ByteOrder order, const QByteArray &makerNote) {
    TiffBuilder tiff(order);
    const int ifd0 = tiff.addDirectory();
    const int exif = tiff.addDirectory();
    tiff.add(ifd0, tiff.ascii(ExifTags::Make, "Canon"));
    tiff.add(ifd0, tiff.ascii(ExifTags::Model, QByteArray("Cam\0junk", 8)));
    tiff.add(ifd0, tiff.pointer(ExifTags::ExifIfdPointer, exif));
    tiff.add(exif, tiff.ascii(ExifTags::DateTimeOriginal, Date.toLatin1()));
    tiff.add(exif, tiff.bytes(ExifTags::MakerNote, makerNote, ExifFormat::Undefined));
    return JpegBuilder().exif(tiff.build().bytes).build().bytes;
}

QByteArray canonMakerNote(ByteOrder order) {
    return encode16(order, 1) + encode16(order, 0x0010) + encode16(order, ExifFormat::Long) +
           encode32(order, 1) + encode32(order, 0x12345678) + encode32(order, 0);
}

// A photo whose Exif directory holds the shooting date and `extra` further entries; with
// `inIfd0`, IFD0 holds a second shooting date. `cut`: bytes left out of the Exif segment's
// length, so that the last values lie after the segment in the file.
QByteArray datedPhoto(ByteOrder order, const TiffEntry &date, int extra = 0, bool inIfd0 = false,
                      int cut = 0) {
    TiffBuilder tiff(order);
    const int ifd0 = tiff.addDirectory();
    const int exif = tiff.addDirectory();
    tiff.add(ifd0, tiff.ascii(ExifTags::Model, "Test Cam"));
    tiff.add(ifd0, tiff.pointer(ExifTags::ExifIfdPointer, exif));
    if (inIfd0)
        tiff.add(ifd0, tiff.ascii(ExifTags::DateTimeOriginal, "2001:01:01 01:01:01"));
    tiff.add(exif, date);
    for (int i = 0; i < extra; ++i)
        tiff.add(exif, tiff.shorts(quint16(0xC000 + i), {1}));
    if (cut > 0)
        tiff.add(exif, tiff.bytes(ExifTags::MakerNote, QByteArray(64, 'm'), ExifFormat::Undefined));
    const QByteArray bytes = tiff.build().bytes;
    return JpegBuilder().exif(bytes, quint16(bytes.size() + 8 - cut)).build().bytes;
}

} // namespace

class MetadataTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    bool m_exiftool = false;
    int m_files = 0;

    static bool runExiftool(const QStringList &args, const QString &path) {
        QProcess tool;
        tool.start(QStringLiteral("exiftool"),
                   QStringList{"-q", "-q", "-overwrite_original"} + args + QStringList{path});
        return tool.waitForFinished(60000) && tool.exitStatus() == QProcess::NormalExit &&
               tool.exitCode() == 0;
    }

    // A fresh copy of `bytes`, rewritten by exiftool with `args` when there are any.
    QString photo(const QStringList &args, const QByteArray &bytes = baseJpeg()) {
        const QString path = m_dir.filePath(QStringLiteral("photo%1.jpg").arg(++m_files));
        if (!writeFile(path, bytes) || (!args.isEmpty() && !runExiftool(args, path)))
            return {};
        return path;
    }

    QStringList cameraArgs(const QString &order) {
        const QString thumbnail = m_dir.filePath(QStringLiteral("thumb.jpg"));
        writeFile(thumbnail, baseJpeg());
        return {"-ExifByteOrder=" + order,
                "-Make=Kalmora",
                "-Model=Test Cam",
                "-DateTimeOriginal=" + Date,
                "-Orientation#=6",
                "-ExposureTime=1/125",
                "-ExposureCompensation=-1/3",
                "-GPSLatitude=30.5",
                "-GPSLatitudeRef=N",
                "-InteropIndex=R98",
                "-ThumbnailImage<=" + thumbnail};
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_exiftool = !QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty();
    }

    void cameraPhoto_data() {
        QTest::addColumn<QString>("order");
        QTest::newRow("Intel byte order") << "II";
        QTest::newRow("Motorola byte order") << "MM";
    }
    void cameraPhoto() {
        if (!m_exiftool)
            QSKIP("exiftool is not installed");
        QFETCH(QString, order);
        const QString path = photo(cameraArgs(order));
        QVERIFY(!path.isEmpty());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains(QByteArray("Exif\0\0", 6) + order.toLatin1()));

        ImageMetadata metadata;
        QVERIFY(metadata.load(path));
        const QStringList lines = linesOf(metadata);
        for (const char *expected :
             {"EquipMake Kalmora", "EquipModel Test Cam", "Orientation 6", "XResolution 72/1",
              "ResolutionUnit 2", "ExifExposureTime 1/125", "ExifExposureBias -1/3",
              "ExifVer 30 32 33 32", "ExifDTOrig 2020:01:02 03:04:05", "InteroperabilityIndex R98",
              "GpsVer 1 2", "GpsLatitudeRef N", "GpsLatitude 30/1, 30/1, 0/1",
              "ThumbnailCompression 6", "ThumbnailResolutionX 72/1"})
            QVERIFY2(lines.contains(QLatin1String(expected)), expected);

        QVERIFY(lines.contains("ThumbnailCompressedSize " + QString::number(baseJpeg().size())));

        QCOMPARE(propertyNamed(metadata, "ExifIFD").type, 4);
        // IFD0 before the Exif directory, the thumbnail after both.
        QVERIFY(lines.indexOf("EquipModel Test Cam") < lines.indexOf("ExifDTOrig " + Date));
        QVERIFY(lines.indexOf("ExifDTOrig " + Date) < lines.indexOf("ThumbnailCompression 6"));
        QCOMPARE(lines.filter(QStringLiteral("XResolution ")).size(), 1);
    }

    void strippedPhotoHasFewerThanSixProperties_data() {
        QTest::addColumn<QByteArray>("base");
        QTest::addColumn<QStringList>("strip");
        QTest::newRow("all metadata") << baseJpeg() << QStringList{"-all="};
        QTest::newRow("JFIF kept")
            << JpegBuilder().jfif().build().bytes << QStringList{"-all=", "--JFIF:all"};
    }
    void strippedPhotoHasFewerThanSixProperties() {
        if (!m_exiftool)
            QSKIP("exiftool is not installed");
        QFETCH(QByteArray, base);
        QFETCH(QStringList, strip);
        const QString path = photo(cameraArgs("II"), base);
        QVERIFY(!path.isEmpty());
        ImageMetadata metadata;
        QVERIFY(metadata.load(path));
        QVERIFY(metadata.count() >= 6);
        QVERIFY(runExiftool(strip, path));
        ImageMetadata stripped;
        QVERIFY(stripped.load(path));
        QVERIFY2(stripped.count() < 6, qPrintable(linesOf(stripped).join(" | ")));
        QCOMPARE(propertyNamed(stripped, "LuminanceTable").valueCount, 64);
    }

    void quantisationTables_data() {
        QTest::addColumn<int>("precision");
        QTest::addColumn<QString>("firstRows");
        QTest::newRow("8-bit table") << 0 << "1, 2, 6, 7, 15, 16, 28, 29, 3, 5, 8, 14";
        QTest::newRow("16-bit table")
            << 1 << "1001, 1002, 1006, 1007, 1015, 1016, 1028, 1029, 1003, 1005, 1008, 1014";
    }
    void quantisationTables() {
        QFETCH(int, precision);
        QFETCH(QString, firstRows);
        // Table 1 stores 1..64 (plus 1000 at 16 bits) in zig-zag order; table 0 is all ones.
        QByteArray table(1, char(precision << 4 | 1));
        for (int k = 1; k <= 64; ++k)
            table +=
                precision ? encode16(ByteOrder::Big, quint16(1000 + k)) : QByteArray(1, char(k));
        const QString path = photo({}, JpegBuilder().segment(0xDB, table).build().bytes);

        ImageMetadata metadata;
        QVERIFY(metadata.load(path));
        const MetadataProperty chrominance = propertyNamed(metadata, "ChrominanceTable");
        QCOMPARE(chrominance.type, 3);
        QCOMPARE(chrominance.valueCount, 64);
        QVERIFY2(PropertyLine(chrominance).startsWith("ChrominanceTable " + firstRows + ", "),
                 qPrintable(PropertyLine(chrominance)));
        QStringList ones;
        for (int k = 0; k < 64; ++k)
            ones.append("1");
        QCOMPARE(PropertyLine(propertyNamed(metadata, "LuminanceTable")),
                 "LuminanceTable " + ones.join(", "));
    }

    void jfifResolution_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("JFIF only") << QStringList{"-JFIF:XResolution=300", "-JFIF:YResolution=150",
                                                  "-JFIF:ResolutionUnit=cm"}
                                   << QStringList{"XResolution 300/1", "YResolution 150/1",
                                                  "ResolutionUnit 3", "LuminanceTable"};
        QTest::newRow("Exif beside JFIF wins")
            << QStringList{"-JFIF:XResolution=300", "-JFIF:YResolution=300", "-EXIF:XResolution=96",
                           "-EXIF:YResolution=96", "-EXIF:ResolutionUnit=cm"}
            << QStringList{"XResolution 96/1", "YResolution 96/1", "ResolutionUnit 3"};
    }
    void jfifResolution() {
        if (!m_exiftool)
            QSKIP("exiftool is not installed");
        QFETCH(QStringList, args);
        QFETCH(QStringList, expected);
        const QString path = photo(args, JpegBuilder().jfif().build().bytes);
        QVERIFY(!path.isEmpty());
        ImageMetadata metadata;
        QVERIFY(metadata.load(path));
        const QStringList lines = linesOf(metadata);
        for (const QString &line : expected)
            QVERIFY2(!lines.filter(line).isEmpty(), qPrintable(lines.join(" | ")));
        QCOMPARE(lines.filter("XResolution ").size(), 1);
    }

    void textValues_data() {
        QTest::addColumn<QByteArray>("model");
        QTest::addColumn<QString>("expected");
        QTest::newRow("stops at the first NUL") << QByteArray("Cam\0junk", 8) << "Cam";
        QTest::newRow("UTF-8") << QByteArray("佳能 R5") << QStringLiteral("佳能 R5");
        QTest::newRow("GBK") << QByteArray("\xBC\xD1\xC4\xDC R5") << QStringLiteral("佳能 R5");
    }
    void textValues() {
        QFETCH(QByteArray, model);
        QFETCH(QString, expected);
        TiffBuilder tiff(ByteOrder::Little);
        tiff.add(tiff.addDirectory(), tiff.ascii(ExifTags::Model, model));
        const QString path = photo({}, JpegBuilder().exif(tiff.build().bytes).build().bytes);
        ImageMetadata metadata;
        QVERIFY(metadata.load(path));
        QCOMPARE(PropertyLine(propertyNamed(metadata, "EquipModel")), "EquipModel " + expected);
    }

    void makerNoteIsListedRaw_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("note");
        for (ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
            const char *name = order == ByteOrder::Little ? "II" : "MM";
            QTest::addRow("unknown maker %s", name)
                << test::cameraPhoto(order).bytes << QByteArray("KALMORA\0\x01\x02\x03\x04", 12);
            QTest::addRow("maker note exiv2 decodes %s", name)
                << canonPhoto(order, canonMakerNote(order)) << canonMakerNote(order);
        }
    }
    void makerNoteIsListedRaw() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, note);
        ImageMetadata metadata;
        QVERIFY(metadata.load(photo({}, bytes)));
        const MetadataProperty property = propertyNamed(metadata, "ExifMakerNote");
        QCOMPARE(property.type, 7);
        QCOMPARE(property.bytes, note);
        QCOMPARE(property.valueCount, note.size());
    }

    // Every cut of the file is loaded; the whole file still lists what it can.
    void damagedFilesNeverCrash_data() {
        QTest::addColumn<QByteArray>("whole");
        QTest::addColumn<bool>("makerNote");
        for (ByteOrder order : {ByteOrder::Little, ByteOrder::Big})
            QTest::addRow("decoded maker note %s", order == ByteOrder::Little ? "II" : "MM")
                << canonPhoto(order, canonMakerNote(order)) << true;
        const QByteArray wide = QByteArray(1, '\x11') + QByteArray(128, '\x02');
        QTest::newRow("JFIF and a 16-bit table")
            << JpegBuilder().jfif().segment(0xDB, wide).build().bytes << false;
        QTest::newRow("table cut short")
            << JpegBuilder().segment(0xDB, QByteArray(11, '\x01')).build().bytes << false;
        TiffBuilder tiff(ByteOrder::Big);
        const int ifd0 = tiff.addDirectory(), exif = tiff.addDirectory();
        tiff.add(ifd0, tiff.ascii(ExifTags::Make, "Canon"));
        tiff.add(ifd0, tiff.pointer(ExifTags::ExifIfdPointer, exif));
        tiff.add(exif, tiff.raw(ExifTags::MakerNote, ExifFormat::Undefined, 0xFFFFFFF0,
                                canonMakerNote(ByteOrder::Big)));
        QTest::newRow("maker note count past the end")
            << JpegBuilder().exif(tiff.build().bytes).build().bytes << false;
    }
    void damagedFilesNeverCrash() {
        QFETCH(QByteArray, whole);
        QFETCH(bool, makerNote);
        for (qsizetype size = 0; size < whole.size(); ++size) {
            ImageMetadata metadata;
            metadata.load(photo({}, whole.left(size)));
        }
        ImageMetadata metadata;
        QVERIFY(metadata.load(photo({}, whole)));
        QCOMPARE(propertyNamed(metadata, "ExifMakerNote").type == 7, makerNote);
        QCOMPARE(propertyNamed(metadata, "LuminanceTable").valueCount, 64);
    }

    void loadFails_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("text file") << QByteArray("not a picture\n");
    }
    void loadFails() {
        QFETCH(QByteArray, bytes);
        ImageMetadata metadata;
        QVERIFY(!metadata.load(photo({}, bytes)));
        QCOMPARE(metadata.count(), 0);
        QVERIFY(!metadata.load(m_dir.filePath("missing.jpg")));
        QVERIFY(!metadata.load(m_dir.path()));
    }

    void propertyLine_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("expected");
        QTest::newRow("text") << 2 << "P Canon EOS";
        QTest::newRow("16-bit list") << 3 << "P 1, 65535";
        QTest::newRow("32-bit list") << 4 << "P 4294967295";
        QTest::newRow("rationals") << 5 << "P 1/125, 28/10";
        QTest::newRow("signed rational") << 10 << "P -1/3";
        QTest::newRow("bytes, one digit gets a 0") << 7 << "P 05 AB 00";
        QTest::newRow("other type: type and number") << 9 << "P 9 -7";
    }
    void propertyLine() {
        QFETCH(int, type);
        QFETCH(QString, expected);
        MetadataProperty property;
        property.name = "P";
        property.type = type;
        property.text = "Canon EOS";
        property.values = type == 3 ? QList<qint64>{1, 65535} : QList<qint64>{4294967295};
        property.rationals = type == 5 ? QList<MetadataRational>{{1, 125}, {28, 10}}
                                       : QList<MetadataRational>{{-1, 3}};
        property.bytes = QByteArray("\x05\xAB\x00", 3);
        property.secondNumber = -7;
        QCOMPARE(PropertyLine(property), expected);
    }

    void translateLabels_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first occurrence only")
            << "DateTime a\r\nDateTime b" << QStringLiteral("拍摄时间 a\r\nDateTime b");
        QTest::newRow("Orientation twice, not a third time")
            << "Orientation 1\r\nThumbnailOrientation 1\r\nOrientation 3"
            << QStringLiteral("方向 1\r\nThumbnail方向 1\r\nOrientation 3");
        QTest::newRow("longer name first is cut at the listed start")
            << "ExifFlashEnergy 5\r\nExifFlash 16"
            << QStringLiteral("闪光灯模式Energy 5\r\nExifFlash 16");
        QTest::newRow("case matters") << "equipmodel X"
                                      << "equipmodel X";
    }
    void translateLabels() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(TranslateLabels(text), expected);
    }

    // The byte-level reader answers for the date only where the full read shows that very text;
    // anywhere else it leaves the answer to the full read.
    void quickDateIsTheFullReads_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("answers");
        const auto plain = [](ByteOrder order, const QByteArray &text) {
            TiffBuilder t(order);
            return datedPhoto(order, t.ascii(ExifTags::DateTimeOriginal, text));
        };
        const TiffBuilder le(ByteOrder::Little);
        QTest::newRow("little-endian") << plain(ByteOrder::Little, Date.toLatin1()) << true;
        QTest::newRow("big-endian") << plain(ByteOrder::Big, Date.toLatin1()) << true;
        QTest::newRow("camera photo")
            << kalmora::test::cameraPhoto(ByteOrder::Big, Date.toLatin1()).bytes << true;
        QTest::newRow("blanks for an unknown date")
            << plain(ByteOrder::Little, "    :  :     :  :  ") << true;
        QTest::newRow("characters after the seconds")
            << plain(ByteOrder::Little, "2020:01:02 03:04:05.123 junk") << true;
        QTest::newRow("no terminating NUL")
            << datedPhoto(ByteOrder::Little, le.raw(ExifTags::DateTimeOriginal, ExifFormat::Ascii,
                                                    19, "2020:01:02 03:04:05"))
            << true;
        QTest::newRow("GBK after the date")
            << plain(ByteOrder::Big, "2020:01:02 03:04:05\xC8\xD5") << true;
        QTest::newRow("NUL inside the field")
            << plain(ByteOrder::Little, QByteArray("2020:01:02\0 03:04:05", 20)) << true;
        QTest::newRow("a second date in IFD0")
            << datedPhoto(ByteOrder::Little, le.ascii(ExifTags::DateTimeOriginal, Date.toLatin1()),
                          0, true)
            << false;
        QTest::newRow("date as undefined bytes")
            << datedPhoto(ByteOrder::Little,
                          le.raw(ExifTags::DateTimeOriginal, ExifFormat::Undefined, 20,
                                 Date.toLatin1() + '\0'))
            << false;
        QTest::newRow("Exif directory of 300 entries")
            << datedPhoto(ByteOrder::Little, le.ascii(ExifTags::DateTimeOriginal, Date.toLatin1()),
                          299)
            << false;
        QTest::newRow("a value past the segment's end")
            << datedPhoto(ByteOrder::Little, le.ascii(ExifTags::DateTimeOriginal, Date.toLatin1()),
                          0, false, 32)
            << false;
        QTest::newRow("no Exif") << baseJpeg() << false;
        QTest::newRow("not a picture") << QByteArray("2020:01:02 03:04:05") << false;
    }
    void quickDateIsTheFullReads() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, answers);
        const QString path = photo({}, bytes);
        QVERIFY(!path.isEmpty());
        FileGrid grid;
        grid.setRows(2);
        ReadExifIntoRow(path, grid, {1, true, false, false});
        const std::optional<QString> quick = QuickShootingDateCellText(path);
        QCOMPARE(quick.has_value(), answers);
        if (quick)
            QCOMPARE(*quick, grid.text(1, 1));
    }

    void readExifIntoRow_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("exifMode");
        QTest::addColumn<bool>("rewriteRunning");
        QTest::addColumn<QStringList>("cells"); // columns 1, 2, 3 afterwards; "-" untouched
        const QStringList camera{"-Model=Test Cam", "-DateTimeOriginal=" + Date};
        QTest::newRow("Exif mode: date col 1, model col 3")
            << camera << true << false << QStringList{Date, "-", "Test Cam"};
        QTest::newRow("empty model")
            << QStringList{"-Model^=", "-DateTimeOriginal=" + Date} << true << false
            << QStringList{Date, "-", QStringLiteral("相机型号未知")};
        QTest::newRow("no model") << QStringList{"-DateTimeOriginal=" + Date} << true << false
                                  << QStringList{Date, "-", "-"};
        QTest::newRow("rewrite running: date col 2, no model")
            << camera << true << true << QStringList{"-", Date, "-"};
        QTest::newRow("rename mode: date col 2")
            << camera << false << false << QStringList{"-", Date, "-"};
        QTest::newRow("characters after the seconds are cut")
            << QStringList{"-DateTimeOriginal#=2020:01:02 03:04:05.123 junk"} << false << false
            << QStringList{"-", Date, "-"};
        QTest::newRow("sub-seconds do not replace the date")
            << QStringList{"-DateTimeOriginal=" + Date, "-SubSecTimeOriginal=12"} << false << false
            << QStringList{"-", Date, "-"};
        QTest::newRow("no date") << QStringList{"-Model=Test Cam"} << true << false
                                 << QStringList{"-", "-", "Test Cam"};
    }
    void readExifIntoRow() {
        if (!m_exiftool)
            QSKIP("exiftool is not installed");
        QFETCH(QStringList, args);
        QFETCH(bool, exifMode);
        QFETCH(bool, rewriteRunning);
        QFETCH(QStringList, cells);
        const QString path = photo(args);
        QVERIFY(!path.isEmpty());
        FileGrid grid;
        grid.setRows(3);
        for (int col = 0; col < FileGrid::Cols; ++col)
            grid.setText(2, col, "-");
        ReadExifIntoRow(path, grid, {2, exifMode, rewriteRunning, false});
        QCOMPARE((QStringList{grid.text(2, 1), grid.text(2, 2), grid.text(2, 3)}), cells);
        QCOMPARE(grid.text(2, 5), "-");
        QCOMPARE(grid.text(1, 1), QString());
    }

    void eraseMarking_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("mark");
        QTest::newRow("metadata left: erase failed")
            << QStringList{"-Make=K", "-Model=M"} << QStringLiteral("抹除失败");
        QTest::newRow("stripped: mark cleared") << QStringList{"-all="} << QString();
    }
    void eraseMarking() {
        if (!m_exiftool)
            QSKIP("exiftool is not installed");
        QFETCH(QStringList, args);
        QFETCH(QString, mark);
        FileGrid grid;
        grid.setRows(2);
        grid.setText(1, 5, "old");
        ReadExifIntoRow(photo(args), grid, {1, true, false, true});
        QCOMPARE(grid.text(1, 5), mark);
    }

    void unloadableFileLeavesRowAlone() {
        FileGrid grid;
        grid.setRows(2);
        for (int col = 0; col < FileGrid::Cols; ++col)
            grid.setText(1, col, "-");
        ReadExifIntoRow(photo({}, "not a picture"), grid, {1, true, false, true});
        for (int col = 0; col < FileGrid::Cols; ++col)
            QCOMPARE(grid.text(1, col), "-");
    }

    void appendPropertyText() {
        const QString path = photo({}, test::cameraPhoto(ByteOrder::Little).bytes);
        ImageMetadata metadata;
        QVERIFY(metadata.load(path));
        QString buffer = "照片名称：a.jpg\r\n";
        AppendPropertyText(path, buffer);
        QVERIFY(buffer.startsWith("照片名称：a.jpg\r\nEquipMake Kalmora\r\n"));
        QVERIFY(buffer.contains("\r\nExifExposureTime 1/125\r\n"));
        QVERIFY(buffer.contains(QStringLiteral("\r\n制造商注释：【内容太多太长，不予导出】\r\n")));
        QVERIFY(!buffer.contains("ExifMakerNote"));
        QVERIFY(buffer.endsWith("\r\n\r\n"));
        QCOMPARE(buffer.count("\r\n"), 1 + metadata.count() + 1);

        QString untouched = "x";
        AppendPropertyText(m_dir.filePath("missing.jpg"), untouched);
        QCOMPARE(untouched, "x");
    }
};

QTEST_GUILESS_MAIN(MetadataTest)
#include "metadata_test.moc"
