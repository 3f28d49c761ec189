// What the file-time apply, the rename, the import and the Exif erase do when the folder is not
// what the list says: files deleted, replaced or made read-only after the import, a read-only
// folder, rename targets that exist or appear, odd entries, names of 255 bytes, photos exiftool
// cannot rewrite and a full disk under the export and the erase. Each case checks the row's text
// and that nothing else in the folder changed.
#include "core/base/text_export.h"
#include "core/exif/exif_reader.h"
#include "core/exif/exif_tool.h"
#include "core/exif/image_metadata.h"
#include "core/grid/file_grid.h"
#include "core/platform/comm_declare.h"
#include "tests/support/files.h"
#include "tests/support/http_server.h"
#include "tests/support/jpeg_builder.h"
#include "tests/support/window_fixture.h"

#include <QBuffer>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QImage>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace kalmora;

// --- a new name that appears just before the system call that would take it ---

namespace {
// The folder handle the new name is relative to (AT_FDCWD for a whole path) and the name.
std::function<void(int newDir, const char *newPath)> g_beforeNewName;

template <typename F> F realFunction(const char *name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
void beforeNewName(int newDir, const char *newPath) {
    if (g_beforeNewName)
        g_beforeNewName(newDir, newPath);
}
} // namespace

// Every call that can give a file a new name passes here first, whichever the rename uses.
extern "C" int renameat2(int oldDir, const char *oldPath, int newDir, const char *newPath,
                         unsigned int flags) noexcept {
    static const auto real =
        realFunction<int (*)(int, const char *, int, const char *, unsigned)>("renameat2");
    beforeNewName(newDir, newPath);
    return real(oldDir, oldPath, newDir, newPath, flags);
}
extern "C" int renameat(int oldDir, const char *oldPath, int newDir, const char *newPath) noexcept {
    static const auto real =
        realFunction<int (*)(int, const char *, int, const char *)>("renameat");
    beforeNewName(newDir, newPath);
    return real(oldDir, oldPath, newDir, newPath);
}
extern "C" int rename(const char *oldPath, const char *newPath) noexcept {
    static const auto real = realFunction<int (*)(const char *, const char *)>("rename");
    beforeNewName(AT_FDCWD, newPath);
    return real(oldPath, newPath);
}
extern "C" int link(const char *oldPath, const char *newPath) noexcept {
    static const auto real = realFunction<int (*)(const char *, const char *)>("link");
    beforeNewName(AT_FDCWD, newPath);
    return real(oldPath, newPath);
}
extern "C" int linkat(int oldDir, const char *oldPath, int newDir, const char *newPath,
                      int flags) noexcept {
    static const auto real =
        realFunction<int (*)(int, const char *, int, const char *, int)>("linkat");
    beforeNewName(newDir, newPath);
    return real(oldDir, oldPath, newDir, newPath, flags);
}

namespace {

const DateTime Start(2021, 3, 4, 9, 0, 0);
const QString Failed = QStringLiteral("修改失败");

DateTime dt(const char *text) {
    return DateTime::parse(QLatin1String(text)).value();
}

using test::readFile;
using test::writeFile;

QByteArray photo(const char *date) {
    return test::cameraPhoto(test::ByteOrder::Little, date).bytes;
}

const QString EraseFailed = QStringLiteral("抹除失败");
const QString EraseAgain = QStringLiteral("抹除完毕！有 1张的抹除失败，再次尝试抹除失败的吗？(推荐)"
                                          "\r\n稍后请单击“重置所有”以进行新的操作。");

int propertyCount(const QString &path) {
    ImageMetadata metadata;
    return metadata.load(path) ? metadata.count() : -1;
}

bool hasShootingDate(const QString &path) {
    try {
        ExifReader reader;
        reader.Load(path);
        return !reader.tag(36867).isNull();
    } catch (const ExifError &) {
        return true; // an Exif block, if a damaged one
    }
}

// Four properties and the JPEG stream's table: below the count the erase takes for "not erased".
QByteArray sparsePhoto() {
    test::TiffBuilder tiff(test::ByteOrder::Little);
    const int ifd0 = tiff.addDirectory(), exif = tiff.addDirectory();
    tiff.add(ifd0, tiff.ascii(test::ExifTags::Make, "Kalmora"));
    tiff.add(ifd0, tiff.ascii(test::ExifTags::Model, "Cam A"));
    tiff.add(ifd0, tiff.pointer(test::ExifTags::ExifIfdPointer, exif));
    tiff.add(exif, tiff.ascii(test::ExifTags::DateTimeOriginal, "2011:08:27 20:11:00"));
    return test::JpegBuilder().exif(tiff.build().bytes).build().bytes;
}

// A camera's Exif block in front of a real, noisy 160x160 picture of some 20 KiB.
QByteArray largePhoto() {
    QImage picture(160, 160, QImage::Format_Grayscale8);
    QRandomGenerator random(20110827);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.scanLine(y)[x] = uchar(random.bounded(256));
    QBuffer jpeg;
    jpeg.open(QIODevice::WriteOnly);
    if (!picture.save(&jpeg, "JPEG", 90))
        return {};
    const test::SamplePhoto camera = test::cameraPhoto(test::ByteOrder::Big);
    return camera.bytes.left(camera.exifEnd) + jpeg.data().mid(2);
}

// Every entry of a folder as a line of text: kind, size, content digest, modification time in
// nanoseconds, permissions and link target. Contents are read without touching access times.
using Snapshot = QMap<QString, QString>;

Snapshot snapshot(const QString &folder) {
    Snapshot s;
    const QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                     QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        const QByteArray path = QFile::encodeName(folder + QLatin1Char('/') + name);
        struct stat st {};
        if (lstat(path.constData(), &st) != 0) {
            s.insert(name, QStringLiteral("gone"));
            continue;
        }
        QString kind = S_ISREG(st.st_mode)    ? QStringLiteral("file")
                       : S_ISDIR(st.st_mode)  ? QStringLiteral("folder")
                       : S_ISLNK(st.st_mode)  ? QStringLiteral("link")
                       : S_ISFIFO(st.st_mode) ? QStringLiteral("pipe")
                                              : QStringLiteral("other");
        QByteArray digest;
        if (S_ISREG(st.st_mode)) {
            const int fd = open(path.constData(), O_RDONLY | O_NOATIME);
            QCryptographicHash hash(QCryptographicHash::Sha1);
            char buffer[65536];
            for (ssize_t n; fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0;)
                hash.addData(QByteArrayView(buffer, n));
            if (fd >= 0)
                close(fd);
            digest = hash.result().toHex().left(12);
        }
        QString target;
        if (S_ISLNK(st.st_mode))
            target = QFile::symLinkTarget(QFile::decodeName(path));
        s.insert(name, QStringLiteral("%1 %2 %3 %4.%5 %6 %7")
                           .arg(kind)
                           .arg(st.st_size)
                           .arg(QString::fromLatin1(digest))
                           .arg(st.st_mtim.tv_sec)
                           .arg(st.st_mtim.tv_nsec)
                           .arg(st.st_mode & 07777, 0, 8)
                           .arg(target));
    }
    return s;
}

void sameEntries(const Snapshot &after, const Snapshot &expected) {
    QCOMPARE(after.keys(), expected.keys());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QVERIFY2(after.value(it.key()) == it.value(),
                 qPrintable(it.key() + QStringLiteral(": ") + after.value(it.key()) +
                            QStringLiteral(" instead of ") + it.value()));
}

} // namespace

class FaultTest : public QObject {
    Q_OBJECT
private:
    test::WindowFixture f;
    QTemporaryDir outside; // link targets live here, outside the imported folder
    QStringList mounts;
    QStringList immutables;

    FMainDate &w() { return f.w(); }
    FileGrid &g() { return *f.w().VSFlexGrid1; }
    QString path(const QString &name) const { return f.path(name); }

    int rowOf(const QString &name) {
        for (int r = 1; r < g().rows(); ++r)
            if (g().text(r, 0) == name)
                return r;
        return -1;
    }
    DateTime planned(int row) const { return Start.addSeconds(60 * qint64(row - 1)); }
    // The success text for a file that took its planned stamps: this file system may keep a
    // creation time that cannot be set.
    QString successText(const QString &file, int row) const {
        const std::optional<FileTimes> t = ReadFileTimes(file);
        return t && t->creation == planned(row) ? QStringLiteral("修改成功")
                                                : QStringLiteral("修改成功(创建时间未改)");
    }
    void makeFiles(const QStringList &names) {
        for (const QString &name : names)
            f.makeFile(name, dt("2010-05-06 07:08:09"), dt("2010-05-07 10:00:00"), name.toUtf8());
    }
    void importFileTimes(const QString &pattern = QStringLiteral("*.*")) {
        f.setWindow(Start, Start.addDays(2));
        f.importFolder(pattern);
    }
    void apply() {
        w().Option1->setChecked(true);
        w().TStep->setText(QStringLiteral("1"));
        w().CmdFileDateMod->click();
        QVERIFY(w().ClearOnReset);
    }
    void importForRename(const QString &pattern) {
        w().OptRename->setChecked(true);
        w().LDir->setText(f.folder.path());
        w().File1->setPattern(pattern);
        w().CmdInput->setEnabled(true);
        w().CmdInput->click();
    }
    // A row applied as planned: its text, and both stamps on the disk.
    void checkApplied(int row, const QString &file) {
        QCOMPARE(g().text(row, 5), successText(file, row));
        const std::optional<FileTimes> t = ReadFileTimes(file);
        QVERIFY(t);
        QCOMPARE(t->lastWrite, planned(row));
        QCOMPARE(t->lastAccess, planned(row));
    }
    bool mountReadOnly(const QString &folder) {
        const QByteArray p = QFile::encodeName(folder);
        if (mount(p.constData(), p.constData(), nullptr, MS_BIND, nullptr) != 0)
            return false;
        mounts.append(folder);
        return mount(nullptr, p.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) ==
               0;
    }

    qint64 freeBytes() const {
        struct statvfs fs {};
        if (statvfs(QFile::encodeName(f.folder.path()).constData(), &fs) != 0)
            return -1;
        return qint64(fs.f_bavail) * qint64(fs.f_frsize);
    }
    // Mounts a 64 KiB tmpfs over the folder: empty means done, otherwise why not.
    QString mountSmallDisk() {
        if (geteuid() != 0)
            return QStringLiteral("mounting a small tmpfs needs the administrator");
        const QByteArray folder = QFile::encodeName(f.folder.path());
        if (mount("tmpfs", folder.constData(), "tmpfs", 0, "size=64k") != 0)
            return QStringLiteral("this machine refuses to mount a tmpfs: ") +
                   QString::fromLocal8Bit(strerror(errno));
        mounts.append(f.folder.path());
        return {};
    }
    // Fills the small disk up to one free page.
    void fillUp() {
        QVERIFY(freeBytes() > 4096);
        QVERIFY(writeFile(path(QStringLiteral("filler.bin")), QByteArray(freeBytes() - 4096, 'f')));
        QCOMPARE(freeBytes(), qint64(4096));
    }

    // The immutable flag stops even the administrator; false where the file system has no flags.
    static bool setImmutable(const QString &file, bool on) {
        const int fd = open(QFile::encodeName(file).constData(), O_RDONLY);
        int flags = 0;
        bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (fd >= 0)
            close(fd);
        return done;
    }

    // Exif mode over the folder's photos, with the real exiftool on the search path.
    void importPhotos() {
        f.doubles->environment.variables.insert(QStringLiteral("PATH"),
                                                qEnvironmentVariable("PATH"));
        w().OptExif->setChecked(true);
        w().LDir->setText(f.folder.path());
        w().File1->setPattern(QStringLiteral("*.jpg"));
        w().CmdInput->setEnabled(true);
        w().CmdInput->click();
        QVERIFY(w().CmdPicExifDel->isEnabled());
        f.prompter().shown.clear();
    }
    // Erases, tries the failed photos once more when asked, then gives up.
    void eraseAndRetryOnce() {
        for (const MsgAnswer a : {MsgAnswer::No, MsgAnswer::Yes, MsgAnswer::No})
            f.prompter().answer(a);
        w().CmdPicExifDel->click();
        QVERIFY(w().ClearOnReset && !w().Busy && !w().ApplyRunning);
    }
    // The tool alone erases the photo once the obstacle is gone: it was the fault, nothing else.
    void erasableWithout(const QString &name) {
        ExifToolProcess tool(QStandardPaths::findExecutable(QStringLiteral("exiftool")), 30000);
        QVERIFY(tool.eraseAll(path(name)));
        const int count = propertyCount(path(name));
        QVERIFY2(count >= 0 && count < 6, qPrintable(QString::number(count)));
    }
    // The photos of these rows are erased and their rows say so; they leave both snapshots.
    void checkErased(const QStringList &names, Snapshot &before, Snapshot &after) {
        for (const QString &name : names) {
            const int count = propertyCount(path(name));
            QVERIFY2(count >= 0 && count < 6, qPrintable(name + QStringLiteral(": %1").arg(count)));
            QVERIFY2(!hasShootingDate(path(name)), qPrintable(name));
            QCOMPARE(g().text(rowOf(name), 5), QString());
            before.remove(name);
            after.remove(name);
        }
    }

private slots:
    void init() {
        f.folder.remove();
        QVERIFY(QDir().mkpath(f.folder.path()));
        f.open();
        g_beforeNewName = nullptr;
    }
    void cleanup() {
        g_beforeNewName = nullptr;
        f.window.reset();
        while (!immutables.isEmpty())
            setImmutable(immutables.takeLast(), false);
        while (!mounts.isEmpty())
            umount2(QFile::encodeName(mounts.takeLast()).constData(), MNT_DETACH);
    }

    // --- file-time apply after the folder changed under the list ---

    void applyAfterTheFileChanged_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("fails");
        QTest::newRow("file deleted") << "delete" << true;
        QTest::newRow("file made read-only") << "read-only" << true;
        QTest::newRow("file replaced by another file: the name takes the stamps")
            << "replace" << false;
        QTest::newRow("file replaced by a symbolic link: followed for the stamps")
            << "link" << false;
    }
    void applyAfterTheFileChanged() {
        QFETCH(QString, change);
        QFETCH(bool, fails);
        makeFiles({"file 1.dat", "file 2.dat", "file 3.dat", "file 4.dat"});
        importFileTimes();
        QCOMPARE(w().FileCount, 4);
        const QString victim = path(QStringLiteral("file 2.dat"));
        const QString target = outside.filePath(QStringLiteral("target.dat"));
        QVERIFY(writeFile(target, "target"));
        const Snapshot targetBefore = snapshot(outside.path());
        if (change == QLatin1String("delete")) {
            QVERIFY(QFile::remove(victim));
        } else if (change == QLatin1String("read-only")) {
            QVERIFY(chmod(QFile::encodeName(victim).constData(), 0444) == 0);
        } else if (change == QLatin1String("replace")) {
            QVERIFY(QFile::remove(victim));
            QVERIFY(writeFile(victim, "a newer file"));
        } else {
            QVERIFY(QFile::remove(victim));
            QVERIFY(QFile::link(target, victim));
        }
        Snapshot expected = snapshot(f.folder.path());

        apply();

        for (int row : {1, 3, 4}) {
            checkApplied(row, path(g().text(row, 0)));
            expected.remove(g().text(row, 0));
        }
        Snapshot after = snapshot(f.folder.path());
        for (int row : {1, 3, 4})
            after.remove(g().text(row, 0));
        if (fails) {
            QCOMPARE(g().text(2, 5), Failed);
            QVERIFY(g().text(2, 2).isEmpty() && g().text(2, 3).isEmpty());
            sameEntries(after, expected); // a deleted file stays deleted
        } else {
            checkApplied(2, victim);
            // The entry itself keeps what it is: the same content, or a link to the same file.
            QCOMPARE(after.value(QStringLiteral("file 2.dat")).section(QLatin1Char(' '), 0, 2),
                     expected.value(QStringLiteral("file 2.dat")).section(QLatin1Char(' '), 0, 2));
            QCOMPARE(QFileInfo(victim).isSymLink(), change == QLatin1String("link"));
            after.remove(QStringLiteral("file 2.dat"));
            expected.remove(QStringLiteral("file 2.dat"));
            sameEntries(after, expected);
        }
        if (change != QLatin1String("link"))
            sameEntries(snapshot(outside.path()), targetBefore);
    }

    // All rows alike retries a missing file under the folder text and the name run together,
    // for a folder text that ends in a separator; elsewhere that names a file beside the folder.
    void allRowsAlikeStayInTheFolder() {
        makeFiles({"file 1.dat", "file 2.dat", "file 3.dat"});
        const QString beside = f.folder.path() + QStringLiteral("file 2.dat");
        QVERIFY(writeFile(beside, "beside the folder"));
        const auto removeBeside = qScopeGuard([&] { QFile::remove(beside); });
        const std::optional<FileTimes> besideBefore = ReadFileTimes(beside);
        QVERIFY(besideBefore);
        importFileTimes();
        QVERIFY(QFile::remove(path(QStringLiteral("file 2.dat"))));
        const Snapshot before = snapshot(f.folder.path());
        w().Option3->setChecked(true);
        w().CheckAll->setEnabled(true);
        w().CheckAll->setChecked(true);
        g().selectRow(1);
        w().CmdFileDateMod->click();
        QCOMPARE(g().text(2, 5), Failed);
        QCOMPARE(ReadFileTimes(beside), besideBefore);
        for (int row : {1, 3}) {
            const std::optional<FileTimes> t = ReadFileTimes(path(g().text(row, 0)));
            QVERIFY(t && t->lastWrite == Start && t->lastAccess == Start);
        }
        QCOMPARE(snapshot(f.folder.path()).keys(), before.keys());
    }

    void fileDeletedDuringTheImport() {
        makeFiles({"file 1.dat", "file 2.dat", "file 3.dat"});
        // The export question comes after the list is read and before the first file.
        f.prompter().onShow = [this](const Message &m) {
            if (m.text.startsWith(QStringLiteral("需要将文件名")))
                QFile::remove(path(QStringLiteral("file 2.dat")));
        };
        importFileTimes();
        f.prompter().onShow = nullptr;
        QCOMPARE(w().FileCount, 3);
        QCOMPARE(g().text(2, 5), QStringLiteral("读取失败"));
        QVERIFY(g().text(2, 1).isEmpty() && g().text(2, 6).isEmpty());
        const Snapshot before = snapshot(f.folder.path());
        apply();
        QCOMPARE(g().text(2, 5), Failed);
        checkApplied(1, path(QStringLiteral("file 1.dat")));
        checkApplied(3, path(QStringLiteral("file 3.dat")));
        QCOMPARE(snapshot(f.folder.path()).keys(), before.keys());
    }

    void readOnlyFolder() {
        if (geteuid() != 0)
            QSKIP("a folder's permissions do not protect its files' stamps; only a read-only "
                  "mount does, and mounting needs the administrator");
        makeFiles({"file 1.dat", "file 2.dat"});
        if (!mountReadOnly(f.folder.path()))
            QSKIP("this machine refuses a read-only bind mount");
        const Snapshot before = snapshot(f.folder.path());
        importFileTimes();
        QCOMPARE(w().FileCount, 2);
        // Reading still works.
        QCOMPARE(g().text(1, 6), QStringLiteral("2010/5/6 7:08:09"));
        QCOMPARE(g().text(2, 7), QStringLiteral("2010/5/7 10:00:00"));
        apply();
        QCOMPARE(g().text(1, 5), Failed);
        QCOMPARE(g().text(2, 5), Failed);
        sameEntries(snapshot(f.folder.path()), before);
    }

    // --- rename: nothing that exists is ever replaced ---

    void renameNeverReplaces_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("text"); // of the first row
        const QString same = QStringLiteral("更名失败(同名)");
        QTest::newRow("target exists before the run") << "file" << same;
        QTest::newRow("target is a dangling symbolic link") << "dangling" << same;
        QTest::newRow("target appears during the run, just before the rename") << "appears" << same;
        QTest::newRow("photo replaced by a symbolic link: the link is renamed, not its file")
            << "link"
            << "";
    }
    void renameNeverReplaces() {
        QFETCH(QString, situation);
        QFETCH(QString, text);
        QVERIFY(writeFile(path(QStringLiteral("DSC0001.jpg")), photo("2011:08:27 20:11:00")));
        QVERIFY(writeFile(path(QStringLiteral("DSC0002.jpg")), photo("2012:01:02 03:04:05")));
        const QString first = QStringLiteral("2011-08-27 20.11.00.jpg");
        const QString second = QStringLiteral("2012-01-02 03.04.05.jpg");
        const QString linked = outside.filePath(QStringLiteral("elsewhere.jpg"));
        QVERIFY(writeFile(linked, photo("2013:03:04 05:06:07")));
        if (situation == QLatin1String("file"))
            QVERIFY(writeFile(path(first), "someone else's file"));
        else if (situation == QLatin1String("dangling"))
            QVERIFY(QFile::link(outside.filePath(QStringLiteral("nothing")), path(first)));
        importForRename(QStringLiteral("DSC*.jpg"));
        QCOMPARE(w().FileCount, 2);
        if (situation == QLatin1String("link")) {
            QVERIFY(QFile::remove(path(QStringLiteral("DSC0001.jpg"))));
            QVERIFY(QFile::link(linked, path(QStringLiteral("DSC0001.jpg"))));
        }
        const QByteArray intruder = QFile::encodeName(path(first));
        if (situation == QLatin1String("appears")) {
            g_beforeNewName = [intruder, name = QFile::encodeName(first)](int dir,
                                                                          const char *newPath) {
                if (dir == AT_FDCWD ? intruder == newPath : name == newPath) {
                    const int fd = openat(dir, newPath, O_WRONLY | O_CREAT | O_EXCL, 0644);
                    QVERIFY(fd >= 0 && write(fd, "arrived", 7) == 7);
                    close(fd);
                }
            };
        }
        const Snapshot outsideBefore = snapshot(outside.path());
        Snapshot expected = snapshot(f.folder.path());

        w().CmdFileDateMod->click();
        g_beforeNewName = nullptr;

        QCOMPARE(g().text(1, 5), text);
        QCOMPARE(g().text(1, 1), text.isEmpty() ? first : QStringLiteral("DSC0001.jpg"));
        QCOMPARE(g().text(2, 5), QString());
        QCOMPARE(g().text(2, 1), second);
        expected.insert(second, expected.take(QStringLiteral("DSC0002.jpg")));
        if (text.isEmpty())
            expected.insert(first, expected.take(QStringLiteral("DSC0001.jpg")));
        Snapshot after = snapshot(f.folder.path());
        if (situation == QLatin1String("appears")) {
            QFile arrived(path(first));
            QVERIFY(arrived.open(QIODevice::ReadOnly));
            QCOMPARE(arrived.readAll(), QByteArray("arrived"));
            after.remove(first);
        }
        sameEntries(after, expected);
        sameEntries(snapshot(outside.path()), outsideBefore);
    }

    // --- entries that are not plain photos ---

    void oddEntries_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("rename");
        // The odd entry's row text ("success": it took its stamps); empty: it is not listed.
        QTest::addColumn<QString>("text");
        for (const bool rename : {false, true}) {
            const char *mode = rename ? "rename" : "file times";
            QTest::addRow("photo of 0 bytes, %s", mode)
                << "empty" << rename
                << (rename ? QStringLiteral("更名失败(日期无效)") : QStringLiteral("success"));
            QTest::addRow("directory named like a photo, %s", mode) << "folder" << rename << "";
            QTest::addRow("named pipe named like a photo, %s", mode) << "pipe" << rename << "";
            QTest::addRow("symbolic link named like a photo, %s", mode) << "link" << rename << "";
        }
    }
    void oddEntries() {
        QFETCH(QString, kind);
        QFETCH(bool, rename);
        QFETCH(QString, text);
        QVERIFY(writeFile(path(QStringLiteral("a.jpg")), photo("2011:08:27 20:11:00")));
        QVERIFY(writeFile(path(QStringLiteral("c.jpg")), photo("2012:01:02 03:04:05")));
        const QString odd = path(QStringLiteral("b.jpg"));
        const QString target = outside.filePath(QStringLiteral("target.jpg"));
        QVERIFY(writeFile(target, photo("2013:03:04 05:06:07")));
        if (kind == QLatin1String("empty"))
            QVERIFY(writeFile(odd, QByteArray()));
        else if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(odd));
        else if (kind == QLatin1String("pipe"))
            QVERIFY(mkfifo(QFile::encodeName(odd).constData(), 0644) == 0);
        else
            QVERIFY(QFile::link(target, odd));
        const Snapshot outsideBefore = snapshot(outside.path());
        Snapshot before = snapshot(f.folder.path());

        if (rename)
            importForRename(QStringLiteral("*.jpg"));
        else
            importFileTimes(QStringLiteral("*.jpg"));
        const bool listed = !text.isEmpty();
        QCOMPARE(w().FileCount, listed ? 3 : 2);
        QCOMPARE(rowOf(QStringLiteral("b.jpg")) > 0, listed);
        if (rename)
            w().CmdFileDateMod->click();
        else
            apply();

        Snapshot after = snapshot(f.folder.path());
        for (const QString &name :
             {QStringLiteral("a.jpg"), QStringLiteral("c.jpg"), QStringLiteral("b.jpg")}) {
            const int row = rowOf(name);
            if (row < 0)
                continue;
            if (name == QLatin1String("b.jpg") && rename) {
                QCOMPARE(g().text(row, 5), text);
                continue;
            }
            if (rename) {
                QCOMPARE(g().text(row, 5), QString());
                before.insert(g().text(row, 1), before.take(name));
            } else {
                checkApplied(row, path(name));
                before.remove(name);
                after.remove(name);
            }
        }
        sameEntries(after, before);
        sameEntries(snapshot(outside.path()), outsideBefore);
    }

    // --- names of 255 bytes ---

    void namesOf255Bytes_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("rename");
        QTest::addColumn<QString>("text");
        const QString longName = QStringLiteral("ab") + QString(83, QChar(0x7167)) +
                                 QStringLiteral(".jpg"); // 照 is 3 bytes
        QTest::newRow("file times and export of a 255-byte name") << longName << false << "";
        QTest::newRow("rename of a 255-byte name") << longName << true << "";
        QTest::newRow("rename to a name longer than 255 bytes")
            << QStringLiteral("a.") + QString(253, QLatin1Char('x')) << true
            << QStringLiteral("更名失败(文件访问错误)");
    }
    void namesOf255Bytes() {
        QFETCH(QString, name);
        QFETCH(bool, rename);
        QFETCH(QString, text);
        QCOMPARE(QFile::encodeName(name).size(), 255);
        QVERIFY(writeFile(path(name), photo("2011:08:27 20:11:00")));
        Snapshot expected = snapshot(f.folder.path());
        if (rename) {
            importForRename(QStringLiteral("*.*"));
            w().CmdFileDateMod->click();
            QCOMPARE(g().text(1, 5), text);
            if (text.isEmpty()) {
                QCOMPARE(g().text(1, 1), QStringLiteral("2011-08-27 20.11.00.jpg"));
                expected.insert(g().text(1, 1), expected.take(name));
            } else {
                QCOMPARE(g().text(1, 1), name);
            }
            sameEntries(snapshot(f.folder.path()), expected);
            return;
        }
        f.prompter().answer(MsgAnswer::Yes); // the export, into the work folder
        importFileTimes();
        apply();
        checkApplied(1, path(name));
        QFile exported(path(QStringLiteral("文件时间信息批量导出.txt")));
        QVERIFY(exported.open(QIODevice::ReadOnly));
        const QStringList lines =
            DecodeGb18030(exported.readAll()).value_or(QString()).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.value(1).section(QLatin1Char('\t'), 1, 1), name);
    }

    // --- a full disk under the time-list export and under a download ---

    void fullDiskDuringTheExport() {
        if (const QString refused = mountSmallDisk(); !refused.isEmpty())
            QSKIP(qPrintable(refused));
        const QString exportPath = path(QStringLiteral("文件时间信息批量导出.txt"));
        QVERIFY(writeFile(exportPath, "an earlier export\r\n"));
        // Empty files take no pages; their long names make the export about 7 KiB.
        for (int i = 1; i <= 30; ++i)
            f.makeFile(QStringLiteral("%1 ").arg(i, 2, 10, QLatin1Char('0')) +
                           QString(60, QChar(0x7167)) + QStringLiteral(".dat"),
                       dt("2010-05-06 07:08:09"), dt("2010-05-07 10:00:00"), QByteArray());
        fillUp();
        if (QTest::currentTestFailed())
            return;
        const Snapshot before = snapshot(f.folder.path());

        f.prompter().answer(MsgAnswer::Yes);
        importFileTimes(QStringLiteral("*.dat"));

        const QStringList texts = f.prompter().texts();
        QVERIFY2(texts.contains(QStringLiteral("导出文件“") + exportPath +
                                QStringLiteral("”写入失败，导出信息未能保存。")),
                 qPrintable(texts.join(QLatin1Char('|'))));
        QVERIFY(texts.last().startsWith(QStringLiteral("导入完毕！\r\n\r\n")));
        QCOMPARE(w().FileCount, 30);
        for (int r = 1; r <= 30; ++r) {
            QCOMPARE(g().text(r, 6), QStringLiteral("2010/5/6 7:08:09"));
            QVERIFY(g().text(r, 5).isEmpty());
        }
        // The earlier export is intact and nothing half-written stays behind.
        sameEntries(snapshot(f.folder.path()), before);
        QCOMPARE(freeBytes(), qint64(4096));
    }

    void fullDiskDuringADownload() {
        if (const QString refused = mountSmallDisk(); !refused.isEmpty())
            QSKIP(qPrintable(refused));
        const QString target = path(QStringLiteral("ExifTool.exe"));
        QVERIFY(writeFile(target, "an earlier download"));
        fillUp();
        if (QTest::currentTestFailed())
            return;
        const Snapshot before = snapshot(f.folder.path());
        test::LoopbackHttpServer server;
        server.addRoute(QStringLiteral("/tool"), QByteArray(8000, 't')); // within Qt's buffer
        QVERIFY(!DownloadUrlToFile(server.url(QStringLiteral("/tool")), target, 10000));
        sameEntries(snapshot(f.folder.path()), before);
        QCOMPARE(freeBytes(), qint64(4096));
    }

    // --- the Exif erase when exiftool cannot rewrite one photo ---

    void eraseFailsOnOnePhoto_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("photo cut off before its end marker: exiftool refuses it") << "cut";
        QTest::newRow("immutable photo: exiftool cannot put its new file in place") << "immutable";
        QTest::newRow("immutable photo with fewer than six properties") << "sparse";
    }
    void eraseFailsOnOnePhoto() {
        QFETCH(QString, fault);
        if (QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty())
            QSKIP("exiftool is not installed");
        const QStringList good{QStringLiteral("a.jpg"), QStringLiteral("b.jpg"),
                               QStringLiteral("d.jpg")};
        const QString victim = QStringLiteral("c.jpg");
        for (const QString &name : good)
            QVERIFY(writeFile(path(name), photo("2011:08:27 20:11:00")));
        QByteArray bad = fault == QLatin1String("sparse")
                             ? sparsePhoto()
                             : test::cameraPhoto(test::ByteOrder::Big).bytes;
        if (fault == QLatin1String("cut"))
            bad.chop(2);
        QVERIFY(writeFile(path(victim), bad));
        QCOMPARE(propertyCount(path(victim)) >= 6, fault != QLatin1String("sparse"));
        importPhotos();
        QCOMPARE(w().FileCount, 4);
        for (int r = 1; r <= 4; ++r)
            QCOMPARE(g().text(r, 5), QString()); // nothing is skipped as "without Exif"
        if (fault != QLatin1String("cut")) {
            if (!setImmutable(path(victim), true))
                QSKIP("this file system cannot make a file immutable");
            immutables.append(path(victim));
        }
        Snapshot before = snapshot(f.folder.path());

        eraseAndRetryOnce();

        Snapshot after = snapshot(f.folder.path());
        checkErased(good, before, after);
        // The photo exiftool refused is untouched, and no temporary file of the tool is left.
        QCOMPARE(readFile(path(victim)), bad);
        sameEntries(after, before);
        if (fault != QLatin1String("cut")) {
            QVERIFY(setImmutable(path(victim), false));
            immutables.removeAll(path(victim));
            erasableWithout(victim);
        }
        // The row must not claim what the tool refused, however few properties the photo has.
        QCOMPARE(g().text(rowOf(victim), 5), EraseFailed);
        QCOMPARE(f.prompter().texts().mid(1), (QStringList{EraseAgain, EraseAgain}));
    }

    // exiftool writes each photo anew beside the old one: on a nearly full disk the large photo
    // cannot be written, the small ones can.
    void fullDiskDuringTheErase() {
        if (QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty())
            QSKIP("exiftool is not installed");
        if (const QString refused = mountSmallDisk(); !refused.isEmpty())
            QSKIP(qPrintable(refused));
        const QStringList small{QStringLiteral("a.jpg"), QStringLiteral("b.jpg"),
                                QStringLiteral("d.jpg")};
        const QString large = QStringLiteral("c large.jpg");
        for (const QString &name : small)
            QVERIFY(writeFile(path(name), photo("2011:08:27 20:11:00")));
        const QByteArray largeBytes = largePhoto();
        QVERIFY(largeBytes.size() > 3 * 4096);
        QVERIFY(writeFile(path(large), largeBytes));
        QVERIFY(propertyCount(path(large)) >= 6);
        importPhotos();
        QCOMPARE(w().FileCount, 4);
        fillUp();
        if (QTest::currentTestFailed())
            return;
        Snapshot before = snapshot(f.folder.path());

        eraseAndRetryOnce();

        Snapshot after = snapshot(f.folder.path());
        checkErased(small, before, after);
        QCOMPARE(readFile(path(large)), largeBytes);
        sameEntries(after, before);
        QCOMPARE(freeBytes(), qint64(4096)); // no half-written copy holds the space
        QCOMPARE(g().text(rowOf(large), 5), EraseFailed);
        QCOMPARE(f.prompter().texts().mid(1), (QStringList{EraseAgain, EraseAgain}));
        QVERIFY(QFile::remove(path(QStringLiteral("filler.bin"))));
        erasableWithout(large);
    }
};

QTEST_MAIN(FaultTest)
#include "fault_test.moc"
