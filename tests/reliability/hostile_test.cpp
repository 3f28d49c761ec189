// Files set against the program: exports whose name is taken by a link or another user's file,
// photos whose texts would add lines of their own to an export, a photo built to expand, and
// photos marked read-only. Real files in a temporary folder; the tests run as the administrator.
#include "core/base/text_export.h"
#include "core/exif/date_shift.h"
#include "core/exif/exif_reader.h"
#include "gui/import/import.h"
#include "gui/photo/exif_export.h"
#include "tests/photo/photo_window.h"
#include "tests/support/files.h"

#include <QCheckBox>

#include <sys/stat.h>
#include <unistd.h>

using namespace kalmora;

namespace {

const QString ExifExportName = ExifExport::exportFileName();
const QString TimeListName = Import::exportFileName();

QStringList exportLines(const QByteArray &bytes) {
    return DecodeGb18030(bytes).value_or(QString()).split(QStringLiteral("\r\n"));
}

bool isLink(const QString &path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

} // namespace

class HostileTest : public QObject {
    Q_OBJECT
private:
    test::PhotoWindow f;
    QTemporaryDir m_outside; // another user's files, which links may point at
    FMainDate &w() { return f.w(); }

    // Imports the folder's "*.jpg" files in Exif mode, answering Yes to the time-list question.
    void importWithTimeList(const QString &pattern = QStringLiteral("*.jpg"), bool exif = true) {
        if (exif)
            w().OptExif->setChecked(true);
        w().LDir->setText(f.folder.path());
        w().File1->setPattern(pattern);
        if (!exif && w().CmdTimeZone->text() == QStringLiteral("设定时间区间"))
            w().CmdTimeZone->click();
        w().CmdInput->setEnabled(true);
        f.prompter().answer(MsgAnswer::Yes);
        w().CmdInput->click();
    }
    void exportExif() {
        f.prompter().answer(MsgAnswer::Yes); // export
        f.prompter().answer(MsgAnswer::No);  // do not open the folder
        w().CmdPicExifDel->click();
    }

private slots:
    void init() { f.reopen(); }
    void cleanup() { f.window.reset(); }

    // --- exports never write through a link nor over what is not the user's own file ---

    void exportsRefuseWhatIsNotTheUsersOwnFile_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("timeList");
        for (const bool timeList : {false, true}) {
            const char *which = timeList ? "time list" : "Exif export";
            for (const char *target : {"link", "dangling link", "fifo", "foreign file"})
                QTest::addRow("%s, %s", which, target) << QString::fromLatin1(target) << timeList;
        }
    }
    void exportsRefuseWhatIsNotTheUsersOwnFile() {
        QFETCH(QString, target);
        QFETCH(bool, timeList);
        f.write(QStringLiteral("a.jpg"), test::cameraPhoto(test::ByteOrder::Little).bytes);
        const QString name = timeList ? TimeListName : ExifExportName;
        const QString exportPath = f.path(name);
        const QString victim = m_outside.filePath(QStringLiteral("victim.txt"));
        QFile::remove(victim);
        QVERIFY(test::writeFile(victim, "someone else's words"));
        if (target == QLatin1String("link")) {
            QVERIFY(QFile::link(victim, exportPath));
        } else if (target == QLatin1String("dangling link")) {
            QFile::remove(victim);
            QVERIFY(QFile::link(victim, exportPath));
        } else if (target == QLatin1String("fifo")) {
            QVERIFY(::mkfifo(QFile::encodeName(exportPath).constData(), 0600) == 0);
        } else {
            QVERIFY(test::writeFile(exportPath, "someone else's words"));
            QVERIFY(::chown(QFile::encodeName(exportPath).constData(), 65534, 65534) == 0);
        }

        if (timeList) {
            importWithTimeList();
        } else {
            f.importPhotos();
            exportExif();
        }

        // The refusal names the path; the user's photo was still imported.
        QVERIFY(std::any_of(f.prompter().shown.cbegin(), f.prompter().shown.cend(),
                            [&](const Message &m) {
                                return m.icon == MsgIcon::Warning && m.text.contains(exportPath);
                            }));
        QCOMPARE(f.g().text(1, 1), QStringLiteral("2019:05:04 13:22:41"));
        // Nothing was written through or over it.
        if (target == QLatin1String("dangling link")) {
            QVERIFY(isLink(exportPath));
            QVERIFY(!QFile::exists(victim));
        } else if (target == QLatin1String("link")) {
            QVERIFY(isLink(exportPath));
            QCOMPARE(test::readFile(victim), QByteArray("someone else's words"));
        } else if (target == QLatin1String("fifo")) {
            struct stat info {};
            QVERIFY(::lstat(QFile::encodeName(exportPath).constData(), &info) == 0);
            QVERIFY(S_ISFIFO(info.st_mode));
        } else {
            QCOMPARE(test::readFile(exportPath), QByteArray("someone else's words"));
        }
        QFile::remove(exportPath);
    }

    // --- a photo or a file name cannot add lines of its own to an export ---

    void lineBreaksStayInsideTheirLine() {
        test::TiffBuilder tiff(test::ByteOrder::Little);
        const int ifd0 = tiff.addDirectory(), exif = tiff.addDirectory();
        tiff.add(ifd0, tiff.ascii(test::ExifTags::Model, "Cam\r\n照片名称：forged.jpg\nx"));
        tiff.add(ifd0, tiff.pointer(test::ExifTags::ExifIfdPointer, exif));
        tiff.add(exif, tiff.ascii(test::ExifTags::DateTimeOriginal, "2011:08:27 20:11:00"));
        const QString name = QStringLiteral("two\nlines\r.jpg");
        f.write(name, test::JpegBuilder().exif(tiff.build().bytes).withoutImage().build().bytes);

        importWithTimeList();
        const QStringList timeList = exportLines(f.bytesOf(TimeListName));
        // The header, one line for the photo, and the end of the last line.
        QCOMPARE(timeList.size(), 3);
        QCOMPARE(timeList[1], f.folder.path() + QStringLiteral("/\ttwo\\nlines\\r.jpg\t2011:08:27 "
                                                               "20:11:00"));
        QVERIFY(timeList[2].isEmpty());

        exportExif();
        const QStringList lines = exportLines(f.bytesOf(ExifExportName));
        QVERIFY(lines.contains(QStringLiteral("照片名称：two\\nlines\\r.jpg")));
        QVERIFY(lines.contains(QStringLiteral("相机型号 Cam\\r\\n照片名称：forged.jpg\\nx")));
        QCOMPARE(std::count_if(lines.cbegin(), lines.cend(),
                               [](const QString &l) { return l.startsWith(u"照片名称："); }),
                 1);
    }

    // Line breaks, TABs and backslashes in names: one line per file, each with the header's
    // five columns, and names that differ stay apart.
    void fileTimeListHoldsOneLinePerFile() {
        const QStringList names{QStringLiteral("a\r\nb.txt"), QStringLiteral("c.txt"),
                                QStringLiteral("d\t2099-01-01 00:00:00\tx.txt"),
                                QStringLiteral("e\\nf.txt"), QStringLiteral("e\nf.txt")};
        for (const QString &name : names)
            f.write(name, "x");
        importWithTimeList(QStringLiteral("*.txt"), false);
        const QStringList lines = exportLines(f.bytesOf(TimeListName));
        QCOMPARE(lines.size(), names.size() + 2); // header, the files, end of the last line
        QStringList exported;
        for (qsizetype i = 0; i <= names.size(); ++i) {
            const QStringList fields = lines[i].split(u'\t');
            QCOMPARE(fields.size(), 5);
            if (i > 0)
                exported << fields[1];
        }
        exported.sort();
        QCOMPARE(exported,
                 (QStringList{QStringLiteral("a\\r\\nb.txt"), QStringLiteral("c.txt"),
                              QStringLiteral("d\\t2099-01-01 00:00:00\\tx.txt"),
                              QStringLiteral("e\\\\nf.txt"), QStringLiteral("e\\nf.txt")}));
    }

    // --- a photo built to expand costs little and says what it left out ---

    void expandingPhotoIsReadWithinBounds() {
        f.write(QStringLiteral("expanding.jpg"), test::expandingPhoto(test::ByteOrder::Little));
        importWithTimeList();
        QCOMPARE(f.g().text(1, 1), QStringLiteral("2011:08:27 20:11:00"));
        QCOMPARE(f.g().text(1, 3), QStringLiteral("Kalmora TestCam"));

        exportExif();
        const QByteArray bytes = f.bytesOf(ExifExportName);
        QVERIFY2(bytes.size() <= 4 * 1024 * 1024 + 4096, qPrintable(QString::number(bytes.size())));
        const QStringList lines = exportLines(bytes);
        QVERIFY(lines.contains(QStringLiteral("照片名称：expanding.jpg")));
        QVERIFY(lines.contains(QStringLiteral("原始拍摄时间 2011:08:27 20:11:00")));
        int truncated = 0;
        for (const QString &line : lines) {
            QVERIFY2(line.size() <= 64 * 1024 + 64, qPrintable(line.left(40)));
            truncated += line.endsWith(QStringLiteral("【内容过长，已截断】")) ? 1 : 0;
        }
        QVERIFY(truncated > 0);
    }

    // --- a photo marked read-only keeps its bytes, also for the administrator ---

    void readOnlyPhotoIsNotPatched_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("read-only for all") << 0444;
        QTest::newRow("read-only for its owner") << 0400;
        QTest::newRow("no permissions") << 0;
    }
    void readOnlyPhotoIsNotPatched() {
        QFETCH(int, mode);
        const QString path = f.path(QStringLiteral("locked.jpg"));
        const QByteArray bytes = test::cameraPhoto(test::ByteOrder::Little).bytes;
        f.write(QStringLiteral("locked.jpg"), bytes);
        QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
        QCOMPARE(int(PatchShootingDate(path, QStringLiteral("2020:01:02 03:04:05")).outcome),
                 int(DatePatchOutcome::Failed));
        QCOMPARE(test::readFile(path), bytes);
        // A writable one is patched, so the refusal is the mode's doing.
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
        QCOMPARE(int(PatchShootingDate(path, QStringLiteral("2020:01:02 03:04:05")).outcome),
                 int(DatePatchOutcome::Written));
    }

    // --- something else under a photo's name fails the patch at once, with or without the
    // --- reader's short first read (a pipe must not keep it waiting for a writer) ---

    void oddEntryIsNoPhoto_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qint64>("firstRead");
        for (const char *kind : {"pipe", "folder", "missing", "unreadable"}) {
            QTest::newRow(qPrintable(QStringLiteral("%1, usual read").arg(kind)))
                << QString::fromLatin1(kind) << qint64(0);
            QTest::newRow(qPrintable(QStringLiteral("%1, short first read").arg(kind)))
                << QString::fromLatin1(kind) << DateReadFirstBytes;
        }
    }
    void oddEntryIsNoPhoto() {
        QFETCH(QString, kind);
        QFETCH(qint64, firstRead);
        const QString path = f.path(QStringLiteral("odd.jpg"));
        const QByteArray name = QFile::encodeName(path);
        if (kind == QLatin1String("pipe"))
            QCOMPARE(::mkfifo(name.constData(), 0600), 0);
        else if (kind == QLatin1String("folder"))
            QCOMPARE(::mkdir(name.constData(), 0700), 0);
        else if (kind == QLatin1String("unreadable"))
            f.write(QStringLiteral("odd.jpg"), test::cameraPhoto(test::ByteOrder::Big).bytes);
        if (kind == QLatin1String("unreadable") && ::geteuid() == 0)
            QSKIP("the administrator reads any file");
        if (kind == QLatin1String("unreadable"))
            QCOMPARE(::chmod(name.constData(), 0200), 0);
        const DatesPatchResult patched =
            PatchShootingDate(path, QStringLiteral("2020:01:02 03:04:05"), firstRead);
        QCOMPARE(int(patched.outcome), int(DatePatchOutcome::Failed));
        QVERIFY(!patched.after);
        QVERIFY(patched.fields.isEmpty());
        if (kind == QLatin1String("unreadable")) {
            QVERIFY(::chmod(name.constData(), 0600) == 0);
            QCOMPARE(test::readFile(path), test::cameraPhoto(test::ByteOrder::Big).bytes);
        }
        ::unlink(name.constData());
        ::rmdir(name.constData());
    }
};

QTEST_MAIN(HostileTest)
#include "hostile_test.moc"
