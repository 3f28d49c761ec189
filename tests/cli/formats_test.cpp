// The photo formats phones and cameras record, made here from one camera photo's Exif block:
// each reads its shooting date as exiv2's own reader does, a shift changes only the date's
// bytes (and a PNG chunk's CRC), and the undo puts every byte back.
#include "tests/cli/cli_support.h"
#include "tests/support/files.h"
#include "tests/support/jpeg_builder.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace kalmora;
using namespace kalmora::test;

namespace {

bool run(const QString &program, const QStringList &arguments, QByteArray *out = nullptr) {
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return false;
    if (out)
        *out = p.readAllStandardOutput().trimmed();
    return true;
}

// exiv2's command-line reader on the file.
QByteArray exiv2Date(const QString &path) {
    QByteArray out;
    run(QStringLiteral("exiv2"), {"-q", "-K", "Exif.Photo.DateTimeOriginal", "-Pv", path}, &out);
    return out;
}

} // namespace

class FormatsTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir, homes;
    const SamplePhoto camera = cameraPhoto(ByteOrder::Big, "2019:05:04 13:22:41");
    QByteArray tiff() const {
        return camera.bytes.mid(camera.tiffStart, camera.exifEnd - camera.tiffStart);
    }

private slots:
    void initTestCase() {
        qputenv("XDG_STATE_HOME", QFile::encodeName(homes.filePath(QStringLiteral("state"))));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(homes.filePath(QStringLiteral("config"))));
    }

    void shiftedInPlaceAndUndone_data() {
        QTest::addColumn<QString>("name");
        for (const char *name : {"photo.heic", "photo.png", "photo.webp", "photo.dng", "photo.cr3"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void shiftedInPlaceAndUndone() {
        QFETCH(QString, name);
        const QString folder = dir.filePath(name + QStringLiteral(".d")),
                      path = folder + u'/' + name;
        QVERIFY(QDir().mkpath(folder));
        // HEIC and WebP by their encoders from a JPEG of 64 by 64 pixels (smaller ones become
        // HEIC grids exiv2 cannot read) with the camera's Exif block, which they copy.
        const QString jpeg = dir.filePath(name + QStringLiteral(".jpg"));
        const bool cr3 = name.endsWith(QLatin1String(".cr3"));
        // Canon's CR3 keeps the Exif directory's entries as the first directory of a TIFF
        // structure of its own, in the CMT2 box of its Canon "uuid" box.
        const QByteArray block = cr3 ? [] {
            TiffBuilder t(ByteOrder::Little);
            t.add(t.addDirectory(), t.ascii(ExifTags::DateTimeOriginal, "2019:05:04 13:22:41"));
            return t.build().bytes;
        }()
                                     : tiff();
        if (cr3) {
            const auto box = [](const QByteArray &type, const QByteArray &content) {
                return encode32(ByteOrder::Big, quint32(content.size() + 8)) + type + content;
            };
            const QByteArray canon = QByteArray::fromHex("85c0b687820f11e08111f4ce462b6a48");
            QVERIFY(writeFile(path, box("ftyp", "crx \0\0\0\x01crx isom") +
                                        box("moov", box("uuid", canon + box("CMT2", block))) +
                                        box("mdat", QByteArray(64, '\0'))));
        } else if (!name.endsWith(QLatin1String(".png")) && !name.endsWith(QLatin1String(".dng"))) {
            if (!run("ffmpeg", {"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                "color=gray:s=64x64", "-frames:v", "1", jpeg}))
                QSKIP("ffmpeg is not installed");
            const QByteArray app1 = QByteArray("Exif\0\0", 6) + tiff();
            QVERIFY(writeFile(jpeg, readFile(jpeg).insert(
                                        2, QByteArray("\xFF\xE1", 2) +
                                               encode16(ByteOrder::Big, quint16(app1.size() + 2)) +
                                               app1)));
        }
        if (name.endsWith(QLatin1String(".png")))
            QVERIFY(writeFile(path, pngWithExif(tiff())));
        else if (name.endsWith(QLatin1String(".dng")))
            QVERIFY(writeFile(path, tiff()));
        else if (!cr3 && !run(name.endsWith(QLatin1String(".heic")) ? "heif-enc" : "cwebp",
                              name.endsWith(QLatin1String(".heic"))
                                  ? QStringList{"-q", "50", jpeg, "-o", path}
                                  : QStringList{"-quiet", "-metadata", "exif", jpeg, "-o", path}))
            QSKIP("the encoder is not installed");
        if (QStandardPaths::findExecutable(QStringLiteral("exiv2")).isEmpty())
            QSKIP("exiv2's command-line reader is not installed");
        const QByteArray before = readFile(path);
        const qsizetype tiffAt = before.indexOf(block);
        QVERIFY2(tiffAt >= 0, "the encoder did not keep the Exif block as it was");
        QCOMPARE(exiv2Date(path), QByteArray("2019:05:04 13:22:41"));

        const CliRun shifted = runCli({"shift-date", "--by", "+1d2h", "--pattern", "*.*", folder});
        QCOMPARE(shifted.exit, 0);
        QCOMPARE(shifted.lines().value(0).split('\t').value(3), QByteArray("2019-05-04 13:22:41"));
        QCOMPARE(exiv2Date(path), QByteArray("2019:05:05 15:22:41"));
        const QByteArray after = readFile(path);
        QCOMPARE(after.size(), before.size());
        const qsizetype date = cr3 ? before.indexOf("2019:05:04 13:22:41")
                                   : tiffAt + (camera.dateTimeOriginalPosition - camera.tiffStart);
        const qsizetype crc = name.endsWith(QLatin1String(".png")) ? tiffAt + tiff().size() : -1;
        for (qsizetype i = 0; i < after.size(); ++i)
            if (after[i] != before[i])
                QVERIFY2((i >= date && i < date + 19) || (crc >= 0 && i >= crc && i < crc + 4),
                         qPrintable(QStringLiteral("byte %1 changed").arg(i)));
        if (crc >= 0)
            QCOMPARE(after.mid(crc, 4),
                     encode32(ByteOrder::Big, PngCrc32(after.mid(tiffAt - 4, tiff().size() + 4))));

        QCOMPARE(runCli({"undo"}).exit, 0);
        QVERIFY(readFile(path) == before);
    }

    // The dates a movie records of itself: moved in place by the shift as ffprobe and
    // MediaInfo's readers show them, only their bytes changed, and put back whole.
    void movieDatesShiftedInPlace() {
        const QString folder = dir.filePath(QStringLiteral("movies")),
                      path = folder + QStringLiteral("/clip.mp4");
        QVERIFY(QDir().mkpath(folder));
        if (!run("ffmpeg",
                 {"-loglevel", "error", "-y", "-f", "lavfi", "-i", "color=black:s=16x16:d=0.1",
                  "-c:v", "mpeg4", "-metadata", "creation_time=2021-05-01T10:00:00Z", path}))
            QSKIP("ffmpeg is not installed");
        const auto probe = [&] {
            QByteArray out;
            run("ffprobe",
                {"-v", "error", "-show_entries", "format_tags=creation_time", "-of",
                 "default=nw=1:nk=1", path},
                &out);
            return out.left(19);
        };
        QCOMPARE(probe(), QByteArray("2021-05-01T10:00:00"));
        const QByteArray before = readFile(path);
        QCOMPARE(runCli({"shift-date", "--video", "--by", "+1d2h", folder}).exit, 0);
        QCOMPARE(probe(), QByteArray("2021-05-02T12:00:00"));
        QByteArray encoded;
        QVERIFY(run("mediainfo", {"--Inform=General;%Encoded_Date%", path}, &encoded));
        QCOMPARE(encoded, QByteArray("2021-05-02 12:00:00 UTC"));
        const QByteArray after = readFile(path);
        QCOMPARE(after.size(), before.size());
        int changed = 0;
        for (qsizetype i = 0; i < after.size(); ++i)
            changed += after[i] != before[i] ? 1 : 0;
        QVERIFY2(changed > 0 && changed <= 6 * 4, qPrintable(QString::number(changed)));
        QCOMPARE(runCli({"undo"}).exit, 0);
        QVERIFY(readFile(path) == before);
    }

    // Headers of version 1 keep 64-bit dates (after 2040); one not set (0) stays so.
    void wideMovieDates() {
        const auto be64 = [](quint64 v) {
            return encode32(ByteOrder::Big, quint32(v >> 32)) +
                   encode32(ByteOrder::Big, quint32(v));
        };
        const auto box = [](const QByteArray &type, const QByteArray &content) {
            return encode32(ByteOrder::Big, quint32(content.size() + 8)) + type + content;
        };
        const quint64 y2050 = 2524608000ull + 2082844800ull; // since 1904
        const auto header = [&](const char *type, quint64 created) {
            return box(type, QByteArray("\x01\0\0\0", 4) + be64(created) + be64(created));
        };
        const QByteArray movie =
            box("ftyp", "qt  \0\0\0\0qt  ") +
            box("moov", header("mvhd", y2050) +
                            box("trak", header("tkhd", y2050) + box("mdia", header("mdhd", 0)))) +
            box("mdat", {});
        const QString folder = dir.filePath(QStringLiteral("wide"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeFile(folder + QStringLiteral("/wide.mov"), movie));
        QCOMPARE(runCli({"shift-date", "--video", "--by", "-1d", folder}).exit, 0);
        QByteArray expected = movie;
        for (const char *type : {"mvhd", "tkhd"})
            for (int k = 0; k < 2; ++k)
                expected.replace(movie.indexOf(type) + 8 + 8 * k, 8, be64(y2050 - 86400));
        QVERIFY(readFile(folder + QStringLiteral("/wide.mov")) == expected);
    }
};

QTEST_GUILESS_MAIN(FormatsTest)
#include "formats_test.moc"
