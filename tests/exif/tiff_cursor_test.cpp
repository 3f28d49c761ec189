// The TIFF cursor both Exif walkers read through, and the bounded copy of the metadata listing.
#include "core/exif/bounded_tiff.h"
#include "core/exif/image_metadata.h"
#include "core/exif/tiff_cursor.h"
#include "tests/support/jpeg_builder.h"

#include <QTest>

#include <limits>

using kalmora::TiffCursor;
using kalmora::TiffOrder;
namespace test = kalmora::test;

Q_DECLARE_METATYPE(kalmora::TiffOrder)

namespace {

test::ByteOrder builderOrder(TiffOrder order) {
    return order == TiffOrder::Little ? test::ByteOrder::Little : test::ByteOrder::Big;
}

} // namespace

class TiffCursorTest : public QObject {
    Q_OBJECT

private:
    static void orders() {
        QTest::addColumn<TiffOrder>("order");
        QTest::newRow("II") << TiffOrder::Little;
        QTest::newRow("MM") << TiffOrder::Big;
    }

private slots:
    void readsNumbersInTheBlocksOrder_data() { orders(); }
    void readsNumbersInTheBlocksOrder() {
        QFETCH(TiffOrder, order);
        const QByteArray bytes("\x01\x02\x03\x04\x05", 5);
        const TiffCursor in(bytes, order);
        const bool little = order == TiffOrder::Little;
        QCOMPARE(*in.u8(4), quint8(5));
        QCOMPARE(*in.u16(0), quint16(little ? 0x0201 : 0x0102));
        QCOMPARE(*in.u32(1), quint32(little ? 0x05040302 : 0x02030405));
        QCOMPARE(*in.withOrder(TiffOrder::Big).u16(3), quint16(0x0405));
        const auto *p = reinterpret_cast<const uchar *>("\xFF\xFE");
        QCOMPARE(kalmora::DecodeUnsigned(p, 2, order), quint64(little ? 0xFEFF : 0xFFFE));
        QCOMPARE(kalmora::DecodeSigned(p, 2, order), qint64(little ? -257 : -2));
    }

    void readsNothingOutside() {
        const QByteArray bytes(8, 'x');
        const TiffCursor in(bytes);
        QVERIFY(in.u32(4).has_value());
        QVERIFY(!in.u32(5).has_value());
        QVERIFY(!in.u16(7).has_value());
        QVERIFY(!in.u8(8).has_value());
        QVERIFY(in.contains(8, 0));
        QVERIFY(!in.contains(9, 0));
        QVERIFY(in.span(8, 0) != nullptr);
        QVERIFY(in.span(2, 7) == nullptr);
        // Offsets and counts from the data never wrap.
        constexpr quint64 Most = std::numeric_limits<quint64>::max();
        QVERIFY(!in.contains(Most, 2));
        QVERIFY(!in.contains(2, Most));
        QVERIFY(!in.u32(Most - 1).has_value());
        QVERIFY(!in.entry(Most - 5).has_value());
        QVERIFY(!TiffCursor(bytes, TiffOrder::Big, 6).firstDirectory().has_value());
    }

    void namesTheHeadersOrder() {
        QCOMPARE(TiffCursor::HeaderOrder(QByteArray("II*\0\x08\0\0\0", 8)), TiffOrder::Little);
        QCOMPARE(TiffCursor::HeaderOrder(QByteArray("MM\0*\0\0\0\x08", 8)), TiffOrder::Big);
        QVERIFY(!TiffCursor::HeaderOrder(QByteArray("IM*\0\x08\0\0\0", 8)));
        QVERIFY(!TiffCursor::HeaderOrder(QByteArray("II*\0\x08\0\0", 7)));
        QVERIFY(!TiffCursor::HeaderOrder(QByteArray()));
    }

    void walksDirectoriesAndValues_data() { orders(); }
    void walksDirectoriesAndValues() {
        QFETCH(TiffOrder, order);
        test::TiffBuilder tiff(builderOrder(order));
        const int ifd0 = tiff.addDirectory();
        const int exif = tiff.addDirectory();
        tiff.add(ifd0, tiff.ascii(test::ExifTags::Model, "Cam"));
        tiff.add(ifd0, tiff.pointer(test::ExifTags::ExifIfdPointer, exif));
        tiff.add(exif, tiff.ascii(test::ExifTags::DateTimeOriginal, "2011:08:27 20:11:00"));
        test::TiffEntry unknown = tiff.raw(0xC000, 99, 3, QByteArray(4, 'u'));
        tiff.add(exif, unknown);
        test::TiffEntry far = tiff.raw(0xC001, 5, 0xFFFFFFFFu, QByteArray(8, 'r'));
        far.valueField = 0xFFFFFFF0u;
        tiff.add(exif, far);
        const test::TiffBuilder::Result built = tiff.build();
        // Inside a JPEG-like block: the TIFF offsets count from the header.
        const quint64 start = 10;
        const QByteArray block = QByteArray(int(start), '\0') + built.bytes;
        const TiffCursor in(block, order, start);

        const quint64 first = *in.firstDirectory();
        QCOMPARE(first, start + built.directoryOffsets.at(ifd0));
        QCOMPARE(*in.entryCount(first), quint16(2));
        const auto model = *in.entry(first, 0);
        QCOMPARE(model.position, kalmora::TiffEntryPosition(first, 0));
        QCOMPARE(model.tag, quint16(test::ExifTags::Model));
        QCOMPARE(model.type, quint16(2));
        QCOMPARE(model.count, quint32(4));
        QCOMPARE(model.valueBytes(), quint64(4));
        QCOMPARE(in.valuePosition(model), model.valueFieldPosition()); // inline
        QCOMPARE(
            QByteArray(reinterpret_cast<const char *>(in.span(in.value(model)->position, 4)), 4),
            QByteArray("Cam\0", 4));
        QCOMPARE(*in.nextLink(first, 2), quint32(0));

        const auto pointer = *in.entry(first, 1);
        const quint64 exifAt = in.at(pointer.valueField);
        QCOMPARE(exifAt, start + built.directoryOffsets.at(exif));
        const auto date = *in.entry(exifAt, 0);
        const auto value = in.value(date);
        QVERIFY(value.has_value());
        QCOMPARE(value->position, start + built.dataOffsets.at(exif).at(0));
        QCOMPARE(value->bytes, quint64(20));
        // An unknown type has no value; a value past the end has none either, and its length
        // (2^32 - 1 rationals) does not wrap.
        QVERIFY(!in.value(*in.entry(exifAt, 1)).has_value());
        const auto rationals = *in.entry(exifAt, 2);
        QCOMPARE(rationals.valueBytes(), quint64(0xFFFFFFFFu) * 8);
        QVERIFY(!in.value(rationals).has_value());
        QCOMPARE(*in.entryCount(exifAt), quint16(3));
        QCOMPARE(*in.nextLink(exifAt, 3), quint32(0));
    }

    void writesInsideOnly_data() { orders(); }
    void writesInsideOnly() {
        QFETCH(TiffOrder, order);
        QByteArray bytes(6, '\0');
        kalmora::TiffWriter out(reinterpret_cast<uchar *>(bytes.data()), 6, order);
        QVERIFY(out.put32(2, 0x01020304));
        QVERIFY(out.put16(0, 0xA0B0));
        QVERIFY(!out.put32(3, 0xFFFFFFFF));
        QVERIFY(!out.put16(std::numeric_limits<quint64>::max(), 0xFFFF));
        const TiffCursor in(bytes, order);
        QCOMPARE(*in.u32(2), quint32(0x01020304));
        QCOMPARE(*in.u16(0), quint16(0xA0B0));
    }

    // The bounded copy: the camera photo's block keeps every byte but the maker note's tag; the
    // expanding photo's long values are cut, and named.
    void boundsTheCopy_data() { orders(); }
    void boundsTheCopy() {
        QFETCH(TiffOrder, order);
        const test::SamplePhoto photo = test::cameraPhoto(builderOrder(order));
        const QByteArray block = photo.bytes.mid(photo.tiffStart, photo.exifEnd - photo.tiffStart);
        const kalmora::BoundedTiff camera = kalmora::BoundTiff(block);
        QVERIFY(camera.cut.isEmpty());
        QCOMPARE(camera.tiff.size(), block.size());
        QList<qsizetype> changed;
        for (qsizetype i = 0; i < block.size(); ++i) {
            if (camera.tiff[i] != block[i])
                changed.append(i);
        }
        QCOMPARE(changed.size(), 2);
        const TiffCursor copy(camera.tiff, order);
        QCOMPARE(changed.last(), changed.first() + 1); // one tag field
        QCOMPARE(*copy.u16(changed.first()), kalmora::HiddenMakerNoteTag);
        QCOMPARE(*TiffCursor(block, order).u16(changed.first()), quint16(0x927C));

        const QByteArray expanding = test::expandingPhoto(builderOrder(order));
        const qsizetype at = expanding.indexOf("Exif\0\0") + 6;
        const qsizetype length = quint8(expanding[at - 8]) << 8 | quint8(expanding[at - 7]);
        const kalmora::BoundedTiff bounded = kalmora::BoundTiff(expanding.mid(at, length - 8));
        QVERIFY(bounded.cut.contains(kalmora::ListedKey(kalmora::ListedDirectory::Ifd0, 0xC000)));
        QVERIFY(bounded.cut.contains(kalmora::ListedKey(kalmora::ListedDirectory::Gps, 0x0100)));
        QVERIFY(!bounded.cut.contains(kalmora::ListedKey(kalmora::ListedDirectory::Ifd0, 0x0110)));

        const QByteArray notTiff("XX*\0\x08\0\0\0\x01\0", 10);
        QCOMPARE(kalmora::BoundTiff(notTiff).tiff, notTiff);
    }
};

QTEST_GUILESS_MAIN(TiffCursorTest)
#include "tiff_cursor_test.moc"
