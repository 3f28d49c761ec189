#include "core/base/text_export.h"
#include "core/grid/file_grid.h"
#include "gui/window/up_down.h"
#include "tests/support/files.h"
#include "tests/support/jpeg_builder.h"
#include "tests/support/window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QProgressBar>
#include <QRadioButton>
#include <QScopeGuard>

using namespace kalmora;

class ImportTest : public QObject {
    Q_OBJECT
private:
    test::WindowFixture f;
    FMainDate &w() { return f.w(); }

private slots:
    void init() {
        f.folder.remove();
        QVERIFY(QDir().mkpath(f.folder.path()));
        f.open();
    }
    void cleanup() { f.window.reset(); }

    void fileTimeImportFillsOneRowPerFile() {
        for (int i = 12; i >= 1; --i)
            f.makeFile(QStringLiteral("IMG_%1.jpg").arg(i), DateTime(2011, 8, 27, 20, 11, i),
                       DateTime(2011, 8, 28, 0, 0, 0));
        f.importFolder();
        QCOMPARE(w().FileCount, 12);
        const FileGrid &g = *w().VSFlexGrid1;
        QCOMPARE(g.rows(), 13);
        for (int r = 1; r <= 12; ++r) {
            QCOMPARE(g.text(r, 0), QStringLiteral("IMG_%1.jpg").arg(r)); // numbers by value
            QVERIFY(DateTime::parse(g.text(r, 1)).has_value());
            QCOMPARE(g.text(r, 1).size(), 19);
            QCOMPARE(g.text(r, 6),
                     QStringLiteral("2011/8/27 20:11:%1").arg(r, 2, 10, QLatin1Char('0')));
            QCOMPARE(g.text(r, 7), QStringLiteral("2011/8/28")); // midnight: the date alone
        }
        // The closing message without an export, and the imported state.
        QCOMPARE(f.prompter().shown.size(), 2);
        QCOMPARE(f.prompter().shown[0].defaultButton, std::optional<MsgAnswer>(MsgAnswer::No));
        QCOMPARE(f.prompter().last().text,
                 QStringLiteral("导入完毕！\r\n\r\n提示：稍后双击非空行可以删除该行。\r\n\r\n"
                                "如果要更改文件夹或者文件类型，请单击重置所有,\r\n\r\n"
                                "设置好后须重新导入。"));
        QVERIFY(w().CmdReset->isEnabled());
        QVERIFY(w().CmdDelete->isEnabled());
        QVERIFY(w().CmdFileDateMod->isEnabled());
        QVERIFY(!w().CmdInput->isEnabled());
        QVERIFY(!w().CmdDirBrowse->isEnabled());
        QVERIFY(!w().Frame2->isEnabled());
        QVERIFY(!w().Busy && !w().OperationRunning && !w().ClearOnReset);
        QCOMPARE(g.row(), 1);
        QCOMPARE(w().ProgressBar1->value(), 0);
    }

    void exportWritesHeaderAndLines() {
        f.makeFile(QStringLiteral("照片 1.jpg"), DateTime(2011, 8, 27, 20, 11, 0),
                   DateTime(2011, 8, 27, 0, 0, 0));
        f.makeFile(QStringLiteral("b.txt"), DateTime(2012, 1, 2, 3, 4, 5),
                   DateTime(2012, 1, 2, 3, 4, 6));
        f.prompter().answer(MsgAnswer::Yes); // export
        f.prompter().answer(MsgAnswer::Yes); // open the folder
        f.importFolder();
        const QString exportPath = f.path(QStringLiteral("文件时间信息批量导出.txt"));
        QCOMPARE(f.prompter().shown[0].text,
                 QStringLiteral(
                     "需要将文件名，及其对应的文件创建时间、修改时间和访问时间等信息同时保存到："
                     "\r\n“") +
                     exportPath +
                     QStringLiteral(
                         "”中，\r\n以方便日后以Tab制表符作分隔符用Excel打开导入进行相应处理吗？"));
        QFile file(exportPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const FileGrid &g = *w().VSFlexGrid1;
        const QString folder = f.folder.path() + QLatin1Char('/');
        const QString expected =
            QStringLiteral("文件路径\t文件名\t文件创建时间\t文件修改时间\t文件访问时间\r\n") +
            folder + QStringLiteral("\tb.txt\t") + DateTime::parse(g.text(1, 1))->toGeneralText() +
            QStringLiteral("\t2012/1/2 3:04:05\t2012/1/2 3:04:06\r\n") + folder +
            QStringLiteral("\t照片 1.jpg\t") + DateTime::parse(g.text(2, 1))->toGeneralText() +
            QStringLiteral("\t2011/8/27 20:11:00\t2011/8/27\r\n");
        QCOMPARE(bytes, EncodeGb18030(expected).value());
        QVERIFY(
            f.prompter().last().text.endsWith(QStringLiteral("要打开导出的信息文件所在目录吗?")));
        QCOMPARE(f.doubles->desktop.opened,
                 QStringList{QStringLiteral("folder:") + f.folder.path()});
    }

    void exportThatCannotBeWrittenIsReported() {
        f.makeFile(QStringLiteral("a.jpg"), DateTime(2011, 1, 1), DateTime(2011, 1, 1));
        // A folder in the way of the export file.
        QVERIFY(QDir(f.folder.path()).mkdir(QStringLiteral("文件时间信息批量导出.txt")));
        f.prompter().answer(MsgAnswer::Yes);
        f.importFolder(QStringLiteral("*.jpg"));
        QVERIFY(f.prompter().texts()[1].startsWith(QStringLiteral("无法创建导出文件")));
        QCOMPARE(w().FileCount, 1);
        QVERIFY(f.prompter().last().text.startsWith(QStringLiteral("导入完毕！\r\n\r\n")));
    }

    void fileThatVanishesShowsNoTimes() {
        f.makeFile(QStringLiteral("a.jpg"), DateTime(2011, 1, 1), DateTime(2011, 1, 1));
        f.makeFile(QStringLiteral("b.jpg"), DateTime(2011, 1, 1), DateTime(2011, 1, 1));
        // The list is taken; the file goes while the export question is open.
        f.prompter().onShow = [this](const Message &m) {
            if (m.buttons == MsgButtons::YesNo)
                QFile::remove(f.path(QStringLiteral("b.jpg")));
        };
        f.importFolder();
        const FileGrid &g = *w().VSFlexGrid1;
        QCOMPARE(g.text(2, 0), QStringLiteral("b.jpg"));
        QCOMPARE(g.text(2, 1), QString());
        QCOMPARE(g.text(2, 6), QString());
        QCOMPARE(g.text(2, 5), QStringLiteral("读取失败"));
        QVERIFY(!g.text(1, 1).isEmpty());
    }

    // An empty folder, and one gone since it was chosen (not taken for an empty one).
    void emptyFolderIsRefused_data() {
        QTest::addColumn<bool>("vanished");
        QTest::addColumn<QString>("said");
        QTest::newRow("empty") << false
                               << QStringLiteral("该文件夹下指定类型的文件数为0！\r\n导入操作被"
                                                 "取消！请检查后重试！");
        QTest::newRow("vanished") << true
                                  << QStringLiteral("无法读取该文件夹：该文件夹已不存在(可能已被移"
                                                    "走或所在磁盘已拔出)\r\n导入操作被取消！请检"
                                                    "查后重试！");
    }
    void emptyFolderIsRefused() {
        QFETCH(bool, vanished);
        QFETCH(QString, said);
        const std::initializer_list<QWidget *> held{w().CmdInput, w().CmdDirBrowse,
                                                    w().CmbFileFilter, w().CmdFileExt,
                                                    w().ChPatternDefault};
        if (vanished)
            QVERIFY(test::writeFile(f.path(QStringLiteral("a.jpg")), "x"));
        w().LDir->setText(f.folder.path());
        w().File1->setPattern(QStringLiteral("*.jpg"));
        w().CmdTimeZone->click();
        QList<bool> enabled;
        for (QWidget *c : held)
            enabled << c->isEnabled();
        const QString away = f.folder.path() + QStringLiteral(" away");
        if (vanished)
            QVERIFY(QDir().rename(f.folder.path(), away));
        const auto back = qScopeGuard([&] {
            if (vanished)
                QDir().rename(away, f.folder.path());
        });
        w().CmdInput->click();
        QCOMPARE(f.prompter().last().text, said);
        QCOMPARE(f.prompter().last().icon, MsgIcon::Warning);
        QCOMPARE(w().FileCount, 0);
        QVERIFY(w().gridInSampleState());
        // The controls held while the folder was listed are as they were.
        QVERIFY(!w().Busy && !w().OperationRunning);
        QList<bool> after;
        for (QWidget *c : held)
            after << c->isEnabled();
        QCOMPARE(after, enabled);
    }

    void secondImportAfterApplyIsRefused() {
        f.makeFile(QStringLiteral("a.jpg"), DateTime(2011, 1, 1), DateTime(2011, 1, 1));
        f.importFolder();
        w().CmdReset->setEnabled(true);
        w().state().batchClosed();
        w().CmdInput->setEnabled(true);
        const int shown = int(f.prompter().shown.size());
        w().CmdInput->click();
        QCOMPARE(f.prompter().shown.size(), shown + 1);
        QCOMPARE(f.prompter().last().text,
                 QStringLiteral("请单击“重置所有”按钮，以进行下一次新操作！"));
        QCOMPARE(f.prompter().beeps, 1);
        QVERIFY(!w().CmdInput->isEnabled());
    }

    void importEndsWithTheStepRange() {
        // 40 files in a window of 100 minutes: at most 2 minutes each.
        for (int i = 1; i <= 40; ++i)
            f.makeFile(QStringLiteral("f%1.txt").arg(i), DateTime(2011, 1, 1),
                       DateTime(2011, 1, 1));
        f.setWindow(DateTime(2011, 1, 1, 8, 0, 0), DateTime(2011, 1, 1, 9, 40, 0));
        f.importFolder();
        QCOMPARE(w().UpDownTStep->max(), 2);
        QCOMPARE(w().TStepE->text(), QStringLiteral("2"));
        QCOMPARE(w().TStepS->text(), QStringLiteral("1"));
        // Scrolling kept the rows moving while importing; the end shows the top again.
        QCOMPARE(w().VSFlexGrid1->topRow(), 1);
    }

    void exifImportReadsDatesAndModels() {
        auto write = [this](const QString &name, const QByteArray &bytes) {
            QFile file(f.path(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        };
        write(QStringLiteral("a.jpg"),
              test::cameraPhoto(test::ByteOrder::Little, "2011:08:27 20:11:00", "Cam II").bytes);
        write(QStringLiteral("b.JPG"),
              test::cameraPhoto(test::ByteOrder::Big, "2012:01:02 03:04:05", "Cam MM").bytes);
        write(QStringLiteral("c.jpg"), test::JpegBuilder().build().bytes); // no Exif at all
        write(QStringLiteral("d.txt"), "not a photo");
        w().OptExif->setChecked(true);
        w().LDir->setText(f.folder.path());
        w().File1->setPattern(QStringLiteral("*.jpg;*.jpeg;*.jpe;*.tiff;*.tif"));
        w().CmdInput->setEnabled(true);
        f.prompter().answer(MsgAnswer::Yes); // export
        f.prompter().answer(MsgAnswer::No);  // do not open the folder
        w().CmdInput->click();

        const FileGrid &g = *w().VSFlexGrid1;
        QCOMPARE(w().FileCount, 3);
        QCOMPARE(g.text(1, 1), QStringLiteral("2011:08:27 20:11:00"));
        QCOMPARE(g.text(1, 3), QStringLiteral("Cam II"));
        QCOMPARE(g.text(2, 1), QStringLiteral("2012:01:02 03:04:05"));
        QCOMPARE(g.text(2, 3), QStringLiteral("Cam MM"));
        QVERIFY(g.text(1, 5).isEmpty());
        QCOMPARE(g.text(3, 1), QString());
        QCOMPARE(g.text(3, 5), QStringLiteral("Exif信息丢失"));
        QCOMPARE(f.prompter().shown[0].text.section(QStringLiteral("\r\n"), 0, 0),
                 QStringLiteral("需要将文件名及其对应的照片拍摄日期时间等信息同时保存到："));

        QFile file(f.path(QStringLiteral("文件时间信息批量导出.txt")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString folder = f.folder.path() + QLatin1Char('/');
        QCOMPARE(file.readAll(),
                 EncodeGb18030(QStringLiteral("文件路径\t文件名\t照片拍摄日期时间\r\n") + folder +
                               QStringLiteral("\ta.jpg\t2011:08:27 20:11:00\r\n") + folder +
                               QStringLiteral("\tb.JPG\t2012:01:02 03:04:05\r\n") + folder +
                               QStringLiteral("\tc.jpg\t0000:00:00 00:00:00\r\n"))
                     .value());
        // Exif mode's own buttons lead on; the file-time apply does not.
        QVERIFY(w().CmdPicDateMod->isEnabled());
        QVERIFY(w().CmdPicMemoAdd->isEnabled());
        QVERIFY(w().CmdPicExifDel->isEnabled());
        QVERIFY(!w().CmdFileDateMod->isEnabled());
        QCOMPARE(w().ExifRow, 3);
    }

    void renameImportPutsTheDateInColumnTwo() {
        QFile file(f.path(QStringLiteral("a.jpg")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(test::cameraPhoto(test::ByteOrder::Little, "2011:08:27 20:11:00").bytes);
        file.close();
        w().OptRename->setChecked(true);
        w().LDir->setText(f.folder.path());
        w().File1->setPattern(QStringLiteral("*.jpg"));
        w().CmdInput->setEnabled(true);
        w().CmdInput->click();
        const FileGrid &g = *w().VSFlexGrid1;
        QCOMPARE(g.text(1, 2), QStringLiteral("2011:08:27 20:11:00"));
        QVERIFY(g.text(1, 1).isEmpty());
        QVERIFY(g.text(1, 3).isEmpty()); // no camera model outside Exif mode
        // No export question in rename mode: only the closing message.
        QCOMPARE(f.prompter().shown.size(), 1);
        QVERIFY(w().CmdFileDateMod->isEnabled());
    }
};

QTEST_MAIN(ImportTest)
#include "import_test.moc"
