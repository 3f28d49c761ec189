// Folders unpacked from archives of other systems hold names that are not UTF-8 (GBK above all).
// Every such file is listed, shown readably, and every operation acts on its exact bytes, also
// beside a UTF-8 name that reads the same.
#include "core/base/path_bytes.h"
#include "core/base/text_export.h"
#include "core/exif/exif_reader.h"
#include "core/exif/image_metadata.h"
#include "core/filetime/file_times.h"
#include "gui/photo/date_rewrite.h"
#include "gui/window/features.h"
#include "tests/photo/photo_window.h"

#include <QRadioButton>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

using namespace kalmora;

namespace {

const QByteArray GbkPhoto("\xD5\xD5\xC6\xAC.jpg"); // 照片.jpg in GBK
const QByteArray Utf8Photo("照片.jpg");            // reads the same
const QByteArray Undecodable("\xFF\xFE"
                             "x.jpg"); // neither UTF-8 nor GB18030
const DateTime Start(2021, 3, 4, 9, 0, 0);

QByteArray photo(const char *date) {
    return test::cameraPhoto(test::ByteOrder::Little, date).bytes;
}

} // namespace

class ForeignNamesTest : public QObject {
    Q_OBJECT
private:
    test::PhotoWindow f;
    FMainDate &w() { return f.w(); }
    FileGrid &g() { return f.g(); }
    QByteArray folderBytes() const { return QFile::encodeName(f.folder.path()) + '/'; }

    void writeRaw(const QByteArray &name, const QByteArray &content) {
        const int fd = ::open(folderBytes() + name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, content.constData(), size_t(content.size())), ssize_t(content.size()));
        ::close(fd);
    }
    QByteArray readRaw(const QByteArray &name) {
        QFile file;
        return OpenPath(file, NameFromBytes(folderBytes() + name), O_RDONLY, QIODevice::ReadOnly)
                   ? file.readAll()
                   : QByteArray();
    }
    QSet<QByteArray> entries() {
        QSet<QByteArray> names;
        DIR *dir = opendir(QFile::encodeName(f.folder.path()).constData());
        while (const dirent *e = dir ? readdir(dir) : nullptr)
            if (e->d_name[0] != '.')
                names.insert(QByteArray(e->d_name));
        if (dir)
            closedir(dir);
        return names;
    }
    int rowOfBytes(const QByteArray &name) {
        for (int r = 1; r < g().rows(); ++r)
            if (PathBytes(g().text(r, 0)) == name)
                return r;
        return -1;
    }
    QString shown(int row, int col) {
        return g().data(g().index(row - 1, col), Qt::DisplayRole).toString();
    }

private slots:
    void init() { f.reopen(); }
    void cleanup() {
        f.window.reset();
        // Qt cannot remove what it cannot name.
        for (const QByteArray &name : entries())
            ::unlink(folderBytes() + name);
    }

    void fileTimesReachEveryName() {
        for (const QByteArray &name : {GbkPhoto, Utf8Photo, Undecodable})
            writeRaw(name, name);
        f.prompter().answer(MsgAnswer::Yes); // the time-list export
        f.setWindow(Start, Start.addDays(2));
        f.importFolder();
        QCOMPARE(w().FileCount, 3);

        // Two rows read "照片.jpg" and are still two files; the third shows its bytes.
        const int gbk = rowOfBytes(GbkPhoto), utf8 = rowOfBytes(Utf8Photo),
                  odd = rowOfBytes(Undecodable);
        QVERIFY(gbk > 0 && utf8 > 0 && odd > 0);
        QCOMPARE(shown(gbk, 0), QStringLiteral("照片.jpg"));
        QCOMPARE(shown(utf8, 0), QStringLiteral("照片.jpg"));
        QCOMPARE(shown(odd, 0), QStringLiteral("\\xFF\\xFEx.jpg"));
        for (int r : {gbk, utf8, odd})
            QVERIFY2(g().text(r, 5).isEmpty() && !g().text(r, 1).isEmpty(),
                     qPrintable(shown(r, 0)));

        w().Option1->setChecked(true);
        w().TStep->setText(QStringLiteral("1"));
        w().CmdFileDateMod->click();
        for (const QByteArray &name : {GbkPhoto, Utf8Photo, Undecodable}) {
            const int r = rowOfBytes(name);
            QVERIFY2(g().text(r, 5).startsWith(QStringLiteral("修改成功")),
                     qPrintable(shown(r, 5)));
            const std::optional<FileTimes> t = ReadFileTimes(NameFromBytes(folderBytes() + name));
            QVERIFY(t);
            QCOMPARE(t->lastWrite, Start.addSeconds(60 * qint64(r - 1)));
            QCOMPARE(readRaw(name), name); // contents untouched
        }
        QCOMPARE(entries(), (QSet<QByteArray>{GbkPhoto, Utf8Photo, Undecodable,
                                              QByteArray("文件时间信息批量导出.txt")}));

        // The export holds what the grid shows, one line per file.
        QFile exported(f.path(QStringLiteral("文件时间信息批量导出.txt")));
        QVERIFY(exported.open(QIODevice::ReadOnly));
        const std::optional<QString> text = DecodeGb18030(exported.readAll());
        QVERIFY(text);
        QStringList names;
        for (const QString &line : text->split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).mid(1))
            names.append(line.section(QLatin1Char('\t'), 1, 1));
        names.sort();
        QCOMPARE(names, (QStringList{"\\xFF\\xFEx.jpg", "照片.jpg", "照片.jpg"}));
    }

    void photosReadPatchedAndRenamed() {
        writeRaw(GbkPhoto, photo("2011:08:27 20:11:00"));
        writeRaw(Utf8Photo, photo("2012:01:31 23:59:59"));
        f.importPhotos();
        QCOMPARE(w().FileCount, 2);
        QCOMPARE(g().text(rowOfBytes(GbkPhoto), 1), QStringLiteral("2011:08:27 20:11:00"));
        QCOMPARE(g().text(rowOfBytes(Utf8Photo), 1), QStringLiteral("2012:01:31 23:59:59"));

        // Three days back, each photo from its own date.
        PhotoDateSettings s;
        s.unit = ShiftUnit::Day;
        s.stepText = QStringLiteral("3");
        s.earlier = true;
        w().features().dateRewrite->askSettings = [s] { return std::optional(s); };
        w().CmdPicDateMod->click();
        QCOMPARE(g().text(rowOfBytes(GbkPhoto), 5), QStringLiteral("修改成功"));
        QCOMPARE(g().text(rowOfBytes(Utf8Photo), 5), QStringLiteral("修改成功"));
        for (const auto &[name, date] : {std::pair{GbkPhoto, "2011:08:24 20:11:00"},
                                         std::pair{Utf8Photo, "2012:01:28 23:59:59"}}) {
            ExifReader reader;
            reader.Load(NameFromBytes(folderBytes() + name));
            QCOMPARE(reader.tag(36867).toString(), QLatin1String(date));
        }

        // Renamed after their dates: the new names are UTF-8.
        w().CmdReset->click();
        w().OptRename->setChecked(true);
        w().LDir->setText(f.folder.path());
        w().File1->setPattern(QStringLiteral("*.jpg"));
        w().CmdInput->setEnabled(true);
        w().CmdInput->click();
        w().CmdFileDateMod->click();
        QCOMPARE(entries(),
                 (QSet<QByteArray>{"2011-08-24 20.11.00.jpg", "2012-01-28 23.59.59.jpg"}));
        QCOMPARE(readRaw("2011-08-24 20.11.00.jpg").size(), photo("2011:08:24 20:11:00").size());
    }

    void eraseReachesEveryName() {
        if (f.exiftoolPath().isEmpty())
            QSKIP("exiftool is not installed");
        for (const QByteArray &name : {GbkPhoto, Utf8Photo, Undecodable})
            writeRaw(name, photo("2011:08:27 20:11:00"));
        f.doubles->environment.variables.insert(QStringLiteral("PATH"),
                                                qEnvironmentVariable("PATH"));
        f.importPhotos();
        QCOMPARE(w().FileCount, 3);
        f.prompter().answer(MsgAnswer::No); // erase
        w().CmdPicExifDel->click();
        QVERIFY(w().ClearOnReset && !w().Busy);
        for (const QByteArray &name : {GbkPhoto, Utf8Photo, Undecodable}) {
            QCOMPARE(g().text(rowOfBytes(name), 5), QString());
            ImageMetadata metadata;
            QVERIFY(metadata.load(NameFromBytes(folderBytes() + name)));
            QVERIFY2(metadata.count() < 6, qPrintable(QString::number(metadata.count())));
        }
        QCOMPARE(entries(), (QSet<QByteArray>{GbkPhoto, Utf8Photo, Undecodable}));
        QCOMPARE(f.prompter().texts().last(),
                 QStringLiteral("抹除完毕！稍后请单击“重置所有”以进行新的操作。"));
    }
};

QTEST_MAIN(ForeignNamesTest)
#include "foreign_names_test.moc"
