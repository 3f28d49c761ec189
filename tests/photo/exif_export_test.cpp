#include "core/base/text_export.h"
#include "core/exif/image_metadata.h"
#include "core/platform/comm_declare.h"
#include "gui/photo/exif_export.h"
#include "gui/window/features.h"
#include "tests/photo/photo_window.h"
#include "tests/support/http_server.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QUrl>

using namespace kalmora;

namespace {

const QString Question = QStringLiteral("选择“是”导出所有照片的Exif信息，选择“否”抹除所有照片的"
                                        "Exif信息。\r\n抹除后不可恢复，谨慎使用！\r\n"
                                        "抹除时强烈建议不要将源文件夹放置在桌面上。");
const QString EraseDone = QStringLiteral("抹除完毕！稍后请单击“重置所有”以进行新的操作。");
const QString DownloadOffer =
    QStringLiteral("资源文件丢失，需重新下载方能使用本功能。\r\n需要下载吗(约需13秒)？");

QByteArray sha256(const QByteArray &bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

int propertyCount(const QString &path) {
    ImageMetadata metadata;
    return metadata.load(path) ? metadata.count() : -1;
}

} // namespace

class ExifExportTest : public QObject {
    Q_OBJECT
private:
    test::PhotoWindow f;
    FMainDate &w() { return f.w(); }
    QString workTool() const { return f.path(QStringLiteral("exiftool")); }

    // Camera photos that hold well over the erase's limit of properties.
    void cameraPhotos(const QStringList &names) {
        for (const QString &name : names)
            f.write(name, test::cameraPhoto(test::ByteOrder::Little).bytes);
        QVERIFY(propertyCount(f.path(names[0])) >= 6);
    }
    void realDownloadsAndProcesses() {
        f.doubles->processes.handler = [](const QString &program, const QStringList &args) {
            return QtProcessRunner().run(program, args, 30000);
        };
        f.doubles->downloader.handler = [](const QString &url, const QString &target) {
            return DownloadUrlToFile(url, target, 5000);
        };
    }
    void clickErase(std::initializer_list<MsgAnswer> more = {}) {
        f.prompter().answer(MsgAnswer::No);
        for (MsgAnswer a : more)
            f.prompter().answer(a);
        w().CmdPicExifDel->click();
    }
    QStringList linesOf(const QString &name) {
        return QString::fromUtf8(f.bytesOf(name)).split(u'\n', Qt::SkipEmptyParts);
    }

    // An exiftool in the work folder that notes the photos of every command it is given (":"
    // between them), hangs for good on one whose name holds "slow", and erases one whose name
    // holds "bad" but reports that it could not.
    void hangingTool() {
        f.write(QStringLiteral("exiftool"),
                "#!/bin/sh\n"
                "set -f\n"
                "list=\n"
                "while IFS= read -r line; do\n"
                "  case \"$line\" in\n"
                "    -execute*) echo \"$list\" >> '" +
                    QFile::encodeName(f.path("calls.log")) +
                    "'\n"
                    "      IFS=:\n"
                    "      for path in $list; do\n"
                    "        case \"$path\" in *slow*) exec sleep 60;; esac\n"
                    "        '" +
                    QFile::encodeName(f.exiftoolPath()) +
                    "' -overwrite_original -all= \"$path\"\n"
                    "        case \"$path\" in *bad*) echo \"Error: refused - $path\";; esac\n"
                    "      done\n"
                    "      unset IFS\n"
                    "      list=\n"
                    "      echo \"{ready${line#-execute}}\";;\n"
                    "    -stay_open) exit 0;;\n"
                    "    -*) ;;\n"
                    "    *) list=\"${list:+$list:}$line\";;\n"
                    "  esac\n"
                    "done\n");
        QVERIFY(
            QFile::setPermissions(workTool(), QFile::permissions(workTool()) | QFile::ExeOwner));
    }

private slots:
    void init() { f.reopen(); }
    void cleanup() { f.window.reset(); }

    void exportBytes() {
        // A name holding a property name, with a maker note; a photo with no metadata but its
        // JPEG table; a file the library cannot load.
        test::TiffBuilder tiff(test::ByteOrder::Little);
        const int ifd0 = tiff.addDirectory(), exif = tiff.addDirectory();
        tiff.add(ifd0, tiff.ascii(test::ExifTags::Make, "Kalmora"));
        tiff.add(ifd0, tiff.ascii(test::ExifTags::Model, "Cam A"));
        tiff.add(ifd0, tiff.pointer(test::ExifTags::ExifIfdPointer, exif));
        tiff.add(exif, tiff.ascii(test::ExifTags::DateTimeOriginal, "2011:08:27 20:11:00"));
        tiff.add(exif, tiff.bytes(test::ExifTags::MakerNote, QByteArray("KALMORA\0\x01\x02", 10),
                                  test::ExifFormat::Undefined));
        const test::TiffBuilder::Result built = tiff.build();
        f.write(QStringLiteral("EquipModel 照片.jpg"),
                test::JpegBuilder().exif(built.bytes).withoutImage().build().bytes);
        f.write(QStringLiteral("空白.jpg"), test::JpegBuilder().build().bytes);
        f.write(QStringLiteral("z.jpg"), "not a photo");
        f.importPhotos();

        f.prompter().answer(MsgAnswer::Yes); // export
        f.prompter().answer(MsgAnswer::Yes); // open the folder
        w().CmdPicExifDel->click();
        const Message &ask = f.prompter().shown.first();
        QCOMPARE(ask.text, Question);
        QCOMPARE(ask.title, QStringLiteral("选择操作"));
        QCOMPARE(ask.buttons, MsgButtons::YesNoCancel);
        QCOMPARE(ask.defaultButton, std::optional<MsgAnswer>(MsgAnswer::Cancel));

        // In the list's order; the bare photo's JPEG stream has one table of ones.
        const QString expected =
            QStringLiteral("\r\n照片名称：EquipModel 照片.jpg\r\n相机制造商 Kalmora\r\n相机型号 "
                           "Cam A\r\nExifIFD %1\r\n原始拍摄时间 2011:08:27 20:11:00\r\n"
                           "制造商注释：【内容太多太长，不予导出】\r\n\r\n\r\n")
                .arg(built.directoryOffsets[1]) +
            QStringLiteral("\r\n照片名称：z.jpg\r\n\r\n") +
            QStringLiteral("\r\n照片名称：空白.jpg\r\n亮度表 ") +
            QStringList(64, QStringLiteral("1")).join(QStringLiteral(", ")) +
            QStringLiteral("\r\n\r\n\r\n");
        const QString exportPath = f.path(QStringLiteral("Exif信息导出.txt"));
        QCOMPARE(f.bytesOf(QStringLiteral("Exif信息导出.txt")), EncodeGb18030(expected).value());

        QCOMPARE(f.prompter().last().text,
                 QStringLiteral("每一张照片的Exif信息导出完毕，结果保存在：") + exportPath +
                     QStringLiteral("中。\r\n如果需要转换为xls文档，请用Excel打开该txt文件，分隔符"
                                    "指定为段落标记进行转换！\r\n需要打开结果文件夹吗？稍后请单击"
                                    "重置所有进行新的操作。"));
        QCOMPARE(f.doubles->desktop.opened, QStringList{"folder:" + f.folder.path()});
        QVERIFY(w().ClearOnReset && !w().Busy && !w().ApplyRunning);
        w().CmdPicExifDel->click(); // waits for a reset now
        QCOMPARE(f.prompter().beeps, 1);
    }

    void eraseWithExiftool() {
        if (f.exiftoolPath().isEmpty())
            QSKIP("exiftool is not installed");
        f.doubles->environment.variables.insert(QStringLiteral("PATH"),
                                                qEnvironmentVariable("PATH"));
        const QStringList photos{QStringLiteral("有 空格 的 照片.jpg"), QStringLiteral("照片.jpg"),
                                 QStringLiteral(" lead and trail .jpg")};
        cameraPhotos(photos);
        f.write(QStringLiteral("no exif.jpg"), test::JpegBuilder().build().bytes);
        f.importPhotos();

        f.prompter().answer(MsgAnswer::Cancel);
        w().CmdPicExifDel->click(); // changes nothing
        QVERIFY(propertyCount(f.path(photos[0])) >= 6);
        f.prompter().shown.clear();

        clickErase();
        QCOMPARE(f.prompter().texts(), (QStringList{Question, EraseDone}));
        for (const QString &name : photos) {
            QVERIFY2(propertyCount(f.path(name)) >= 0, qPrintable(name));
            QVERIFY2(propertyCount(f.path(name)) < 6, qPrintable(name));
            QCOMPARE(f.g().text(f.rowOf(name), 5), QString());
        }
        // Skipped: had it been read again, its mark would be gone.
        QCOMPARE(f.g().text(f.rowOf(QStringLiteral("no exif.jpg")), 5),
                 QStringLiteral("Exif信息丢失"));
        QVERIFY(f.doubles->downloader.urls.isEmpty());
        QVERIFY(w().ClearOnReset && !w().Busy && !w().ApplyRunning);
    }

    void sessionTakesAnyName() {
        if (f.exiftoolPath().isEmpty())
            QSKIP("exiftool is not installed");
        const QStringList names{QStringLiteral("line\nbreak.jpg"), QStringLiteral("-dash.jpg"),
                                QStringLiteral("$HOME @x.jpg"), QStringLiteral("back\\slash.jpg")};
        ExifToolProcess tool(f.exiftoolPath(), 30000);
        for (const QString &name : names) {
            f.write(name, test::cameraPhoto(test::ByteOrder::Big).bytes);
            QVERIFY2(tool.eraseAll(f.path(name)), qPrintable(name));
            QVERIFY2(propertyCount(f.path(name)) < 6, qPrintable(name));
        }
        // A photo the tool refuses is reported as not erased, and the tool serves the next one.
        QVERIFY(!tool.eraseAll(f.path(QStringLiteral("missing.jpg"))));
        f.write(QStringLiteral("after.jpg"), test::cameraPhoto(test::ByteOrder::Big).bytes);
        QVERIFY(tool.eraseAll(f.path(QStringLiteral("after.jpg"))));
        QVERIFY(propertyCount(f.path(QStringLiteral("after.jpg"))) < 6);
    }

    void missingExiftoolIsDownloaded() {
        if (f.exiftoolPath().isEmpty())
            QSKIP("exiftool is not installed");
        realDownloadsAndProcesses();
        // A stand-in that notes its calls and hands them to the real tool.
        test::LoopbackHttpServer server;
        const QByteArray script = "#!/bin/sh\necho \"$*\" >> '" +
                                  QFile::encodeName(f.path("calls.log")) + "'\nexec '" +
                                  QFile::encodeName(f.exiftoolPath()) + "' \"$@\"\n";
        server.addRoute(ExifExport::downloadPath(), script);
        server.addRoute(ExifExport::downloadPath() + ".sha256", sha256(script) + "  exiftool\n");
        const QString second = QUrl(server.url(QStringLiteral("/"))).authority();
        f.doubles->settings.values.insert(QStringLiteral("Download/Server1"), "127.0.0.1:1");
        f.doubles->settings.values.insert(QStringLiteral("Download/Server2"), second);
        cameraPhotos({QStringLiteral("a b.jpg"), QStringLiteral("照片.jpg")});
        f.importPhotos();

        clickErase({MsgAnswer::Ok});
        QCOMPARE(
            f.prompter().texts(),
            (QStringList{Question, DownloadOffer, "资源文件下载完毕！继续后续操作！", EraseDone}));
        QCOMPARE(f.prompter().shown[1].buttons, MsgButtons::OkCancel);
        QCOMPARE(f.doubles->downloader.urls,
                 (QStringList{"http://127.0.0.1:1/uploads/userup/1042/exiftool",
                              "http://" + second + "/uploads/userup/1042/exiftool",
                              "http://" + second + "/uploads/userup/1042/exiftool.sha256"}));
        QVERIFY(QFileInfo(workTool()).isExecutable());
        QVERIFY(!QFile::exists(workTool() + ".sha256"));
        QCOMPARE(linesOf(QStringLiteral("calls.log")),
                 (QStringList{"-ver", "-stay_open True -@ -"}));
        QVERIFY(propertyCount(f.path(QStringLiteral("a b.jpg"))) < 6);
        QVERIFY(propertyCount(f.path(QStringLiteral("照片.jpg"))) < 6);
    }

    void downloadFailures_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QByteArray>("served");
        QTest::addColumn<int>("offer");
        QTest::newRow("offer declined") << "x" << QByteArray() << int(MsgAnswer::Cancel);
        QTest::newRow("no server configured") << "" << QByteArray() << int(MsgAnswer::Ok);
        QTest::newRow("nothing at the address") << "x" << QByteArray() << int(MsgAnswer::Ok);
        QTest::newRow("a page, not the tool")
            << "x" << QByteArray("<html>moved</html>") << int(MsgAnswer::Ok);
    }
    void downloadFailures() {
        QFETCH(QString, server);
        QFETCH(QByteArray, served);
        QFETCH(int, offer);
        realDownloadsAndProcesses();
        test::LoopbackHttpServer http;
        if (!served.isEmpty()) {
            http.addRoute(ExifExport::downloadPath(), served);
            http.addRoute(ExifExport::downloadPath() + ".sha256", sha256(served));
        }
        if (!server.isEmpty())
            f.doubles->settings.values.insert(QStringLiteral("Download/Server1"),
                                              QUrl(http.url(QStringLiteral("/"))).authority());
        cameraPhotos({QStringLiteral("a.jpg")});
        f.importPhotos();
        const QByteArray before = f.bytesOf(QStringLiteral("a.jpg"));

        clickErase({MsgAnswer(offer)});
        QString failed = QStringLiteral("资源文件下载失败！请稍后重试！");
        if (server.isEmpty())
            failed += QStringLiteral("\r\n也可以用系统的软件包管理器安装exiftool（例如 sudo apt "
                                     "install libimage-exiftool-perl）。");
        QCOMPARE(f.prompter().texts(), offer == int(MsgAnswer::Cancel)
                                           ? (QStringList{Question, DownloadOffer})
                                           : (QStringList{Question, DownloadOffer, failed}));
        QCOMPARE(f.doubles->downloader.urls.size(),
                 offer == int(MsgAnswer::Ok) && !server.isEmpty() ? 1 + !served.isEmpty() : 0);
        QVERIFY(!QFile::exists(workTool()));
        QCOMPARE(f.bytesOf(QStringLiteral("a.jpg")), before);
        QVERIFY(!w().Busy && !w().ClearOnReset);
    }

    // Photos handed over behind one that hangs go to a fresh tool once it is ended, each with
    // its own answer.
    void photosBehindAHungOneGoToAFreshTool() {
        if (f.exiftoolPath().isEmpty())
            QSKIP("exiftool is not installed");
        hangingTool();
        const QStringList names{QStringLiteral("a.jpg"), QStringLiteral("b slow.jpg"),
                                QStringLiteral("c.jpg")};
        cameraPhotos(names);
        ExifToolProcess tool(workTool(), 3000);
        for (const QString &name : names)
            tool.send(f.path(name));
        QCOMPARE(tool.next(), EraseOutcome::Erased);
        QCOMPARE(tool.next(), EraseOutcome::ToolFailed);
        QCOMPARE(tool.next(), EraseOutcome::Erased);
        QCOMPARE(linesOf(QStringLiteral("calls.log")),
                 (QStringList{f.path("a.jpg"), f.path("b slow.jpg"), f.path("c.jpg")}));
        QVERIFY(propertyCount(f.path(QStringLiteral("b slow.jpg"))) >= 6);
        QVERIFY(propertyCount(f.path(QStringLiteral("c.jpg"))) < 6);
    }

    // A photo the tool hangs on, or reports it could not rewrite: that row fails (the hang after
    // the time limit, the tool restarted for the next photo), the others of its command are
    // erased, and the repeat pass takes only the failed row. The tool's commands are logged.
    void failedPhotoIsItsRowOnly_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("failing");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<int>("timeLimitMs");
        QTest::newRow("a photo alone hangs")
            << QStringList{"a.jpg", "b slow.jpg", "c.jpg"} << 2
            << QStringList{"a.jpg", "b slow.jpg", "c.jpg", "b slow.jpg"}
            << 3000; // a busy machine takes more than a second to start exiftool
        // The first photos go one by one, then as many at once as were handed over before.
        QTest::newRow("a photo in a command of two hangs")
            << QStringList{"a.jpg", "b.jpg", "c.jpg", "d slow.jpg"} << 4
            << QStringList{"a.jpg", "b.jpg",      "c.jpg:d slow.jpg",
                           "c.jpg", "d slow.jpg", "d slow.jpg"}
            << 3000; // time for the stand-in tool to run exiftool twice
        QTest::newRow("a photo in a command of two is reported failed")
            << QStringList{"a.jpg", "b.jpg", "c.jpg", "d bad.jpg", "e.jpg", "f.jpg"} << 4
            << QStringList{"a.jpg",     "b.jpg",       "c.jpg:d bad.jpg", "c.jpg",
                           "d bad.jpg", "e.jpg:f.jpg", "d bad.jpg"}
            << 30000;
    }
    void failedPhotoIsItsRowOnly() {
        QFETCH(QStringList, names);
        QFETCH(int, failing);
        QFETCH(QStringList, commands);
        QFETCH(int, timeLimitMs);
        if (f.exiftoolPath().isEmpty())
            QSKIP("exiftool is not installed");
        hangingTool();
        cameraPhotos(names);
        f.importPhotos();
        w().features().exifExport->photoTimeLimitMs = timeLimitMs;
        // The stand-in tool starts exiftool for every photo: commands grow all the same.
        w().features().exifExport->commandTimeMs = 600000;

        clickErase({MsgAnswer::Yes, MsgAnswer::No}); // repeat once, then give up
        const QString again =
            QStringLiteral("抹除完毕！有 1张的抹除失败，再次尝试抹除失败的吗？(推荐)\r\n"
                           "稍后请单击“重置所有”以进行新的操作。");
        QCOMPARE(f.prompter().texts(), (QStringList{Question, again, again}));
        // The tool reaches each photo through the handle on the folder it keeps from the batch.
        const QString held = QStringLiteral("/proc/self/fd/");
        QStringList expected;
        for (const QString &command : commands) {
            QStringList paths;
            for (const QString &name : command.split(u':'))
                paths << QStringLiteral("*/") + name;
            expected << paths.join(u':');
        }
        QStringList calls = linesOf(QStringLiteral("calls.log"));
        for (QString &call : calls)
            call.replace(
                QRegularExpression(QRegularExpression::escape(held) + QStringLiteral("[0-9]+/")),
                QStringLiteral("*/"));
        QCOMPARE(calls, expected);
        for (int r = 1; r <= names.size(); ++r) {
            const QString name = f.g().text(r, 0);
            QCOMPARE(f.g().text(r, 5), r == failing ? QStringLiteral("抹除失败") : QString());
            // Reported failed, the "bad" photo was still rewritten: the row follows the report.
            const bool hung = name.contains(QStringLiteral("slow"));
            QVERIFY2((propertyCount(f.path(name)) < 6) != hung, qPrintable(name));
        }
        QVERIFY(w().ClearOnReset && !w().Busy && !w().ApplyRunning);
    }
};

QTEST_MAIN(ExifExportTest)
#include "exif_export_test.moc"
