#include "core/grid/file_grid.h"
#include "gui/import/file_filter.h"
#include "gui/import/folder_choice.h"
#include "gui/window/fdir.h"
#include "gui/window/features.h"
#include "gui/window/file_grid_view.h"
#include "tests/support/real_input.h"
#include "tests/support/window_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QTimer>

#include <functional>

using namespace kalmora;

class ShellTest : public QObject {
    Q_OBJECT
private:
    test::WindowFixture f;
    FMainDate &w() { return f.w(); }
    QLineEdit *box() { return w().CmbFileFilter->lineEdit(); }
    void showWindow() {
        if (w().isVisible())
            return;
        w().show();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
    }
    // The user clicks into the type box and types after start.
    void typeIntoBox(const QString &start, const QString &keys) {
        showWindow();
        if (!w().CmbFileFilter->hasFocus())
            test::real::click(w().CmbFileFilter);
        QVERIFY(w().CmbFileFilter->hasFocus());
        w().CmbFileFilter->setEditText(start);
        box()->setCursorPosition(int(start.size()));
        test::real::type(keys);
    }

private slots:
    void init() {
        f.folder.remove();
        QVERIFY(QDir().mkpath(f.folder.path()));
        f.open();
    }
    void cleanup() { f.window.reset(); }

    // --- file-type box ---

    void typingBuildsAPattern() {
        w().ChPatternDefault->setChecked(false);
        QVERIFY(w().CmbFileFilter->isEnabled());
        typeIntoBox(QString(), QStringLiteral("j"));
        QCOMPARE(w().CmbFileFilter->currentText(), QStringLiteral("*"));
        test::real::type(QStringLiteral("j"));
        QCOMPARE(w().CmbFileFilter->currentText(), QStringLiteral("*."));
        test::real::type(QStringLiteral("jpg"));
        QCOMPARE(w().CmbFileFilter->currentText(), QStringLiteral("*.jpg"));
        QCOMPARE(f.prompter().beeps, 0);
        QCOMPARE(w().features().fileFilter->acceptedPattern(), QStringLiteral("1"));
        QCOMPARE(w().File1->pattern(), QStringLiteral("*.jpg"));

        typeIntoBox(QStringLiteral("*.jp"), QStringLiteral("%"));
        QCOMPARE(w().CmbFileFilter->currentText(), QStringLiteral("*.jp"));
        QCOMPARE(f.prompter().beeps, 1);
        typeIntoBox(QStringLiteral("*.jp"), QStringLiteral("*"));
        QCOMPARE(w().CmbFileFilter->currentText(), QStringLiteral("*.jp"));
        QCOMPARE(f.prompter().beeps, 2);
        typeIntoBox(QStringLiteral("*.abcdefghij"), QStringLiteral("k"));
        QCOMPARE(w().CmbFileFilter->currentText(), QStringLiteral("*.abcdefghij"));
        QCOMPARE(f.prompter().beeps, 3);
        // Pasting is refused.
        test::real::key(Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(f.prompter().beeps, 4);
        // The default comes back with its box, whatever was typed.
        test::real::click(w().ChPatternDefault);
        QVERIFY(f.prompter().shown.isEmpty());
        QCOMPARE(w().CmbFileFilter->currentText(), FMainDate::defaultPattern());
        QVERIFY(!w().CmbFileFilter->isEnabled());
        QVERIFY(!w().CmdFileExt->isEnabled());
    }

    void controlKeysInTheBoxEditAsInAnyTextBox() {
        w().ChPatternDefault->setChecked(false);
        typeIntoBox(QStringLiteral("*.jpgx"), QString());
        box()->setCursorPosition(5);
        test::real::key(Qt::Key_Delete); // X11: text U+007F
        QCOMPARE(w().CmbFileFilter->currentText(), QStringLiteral("*.jpg"));
        test::real::key(Qt::Key_Backspace); // X11: text U+0008
        QCOMPARE(w().CmbFileFilter->currentText(), QStringLiteral("*.jp"));
        test::real::key(Qt::Key_Return);
        test::real::key(Qt::Key_Escape);
        QCOMPARE(w().CmbFileFilter->currentText(), QStringLiteral("*.jp"));
        QCOMPARE(f.prompter().beeps, 0);
        test::real::type(QStringLiteral("e"));
        QCOMPARE(w().CmbFileFilter->currentText(), QStringLiteral("*.jpe"));
    }

    void inputMethodTextFollowsTheTypingRules_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("committed");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("beeps");
        QTest::newRow("an extension") << "*."
                                      << "jpg"
                                      << "*.jpg" << 0;
        QTest::newRow("Chinese") << "*."
                                 << "照片"
                                 << "*.照片" << 0;
        QTest::newRow("into an empty box") << ""
                                           << "jpg"
                                           << "*.g" << 0;
        QTest::newRow("a dot refused") << "*."
                                       << "j.p"
                                       << "*.jp" << 1;
        QTest::newRow("full-width punctuation is a character") << "*."
                                                               << "，"
                                                               << "*.，" << 0;
        QTest::newRow("no more than 10") << "*.abcdefgh"
                                         << "ijkl"
                                         << "*.abcdefghij" << 2;
    }
    void inputMethodTextFollowsTheTypingRules() {
        QFETCH(QString, start);
        QFETCH(QString, committed);
        QFETCH(QString, text);
        QFETCH(int, beeps);
        w().ChPatternDefault->setChecked(false);
        typeIntoBox(start, QString());
        test::real::commit(committed, QStringLiteral("pinyin"));
        QCOMPARE(w().CmbFileFilter->currentText(), text);
        QCOMPARE(f.prompter().beeps, beeps);
        QCOMPARE(w().features().fileFilter->acceptedPattern(), QStringLiteral("1"));
    }

    void typedCharacterRules_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("whole");
        QTest::addColumn<QString>("taken");
        QTest::newRow("empty box takes *") << ""
                                           << "x" << false << "*";
        QTest::newRow("then .") << "*"
                                << "x" << false << ".";
        QTest::newRow("letter") << "*."
                                << "j" << false << "j";
        QTest::newRow("digit") << "*.m"
                               << "4" << false << "4";
        QTest::newRow("underscore") << "*.a"
                                    << "_" << false << "_";
        QTest::newRow("non-ASCII") << "*.a"
                                   << "照" << false << "照";
        QTest::newRow("* as third character") << "*."
                                              << "*" << false << "*";
        QTest::newRow("* later") << "*.a"
                                 << "*" << false << "";
        QTest::newRow("dot refused") << "*.a"
                                     << "." << false << "";
        QTest::newRow("blank refused") << "*.a"
                                       << " " << false << "";
        QTest::newRow("quote refused") << "*.a"
                                       << "\"" << false << "";
        QTest::newRow("12 characters: full") << "*.abcdefghij"
                                             << "k" << false << "";
        QTest::newRow("12 characters: Backspace") << "*.abcdefghij"
                                                  << "\b" << false << "\b";
        QTest::newRow("whole text selected: Backspace gives *") << "*.abcdefghij"
                                                                << "\b" << true << "*";
    }
    void typedCharacterRules() {
        QFETCH(QString, text);
        QFETCH(QString, typed);
        QFETCH(bool, whole);
        QFETCH(QString, taken);
        QCOMPARE(FileFilter::typedCharacter(text, typed, whole), taken);
    }

    void validation_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("accepted");
        QTest::addColumn<QString>("message");
        const QString def = FMainDate::defaultPattern();
        QTest::newRow("the default passes untouched") << def << def << "";
        QTest::newRow("a part of the default") << "*.JPG" << def << "";
        QTest::newRow("*.* passes") << "*.*"
                                    << "1"
                                    << "";
        QTest::newRow("a plain extension") << "*.mp4"
                                           << "1"
                                           << "";
        QTest::newRow("empty") << ""
                               << "1"
                               << "错误：文件类型过滤标识不能为空！重新检查输入！";
        QTest::newRow("empty, before any typing")
            << "" << def << "错误：文件类型过滤标识不能为空！重新检查输入！";
        QTest::newRow("two characters") << "*."
                                        << "1"
                                        << "错误：文件类型过滤标识字符长度少于3个！重新检查输入！";
        QTest::newRow("no *. at the start")
            << "jpg"
            << "1"
            << "错误：文件类型过滤标识必须以 “*.”开头！重新检查输入！";
        QTest::newRow("11-character extension")
            << "*.abcdefghijk"
            << "1"
            << "错误：文件类型过滤标识太长，超出10个字符限制！重新检查输入！";
        QTest::newRow("a second dot")
            << "*.j.g"
            << "1"
            << "错误：文件类型过滤标识从第3个字符起，不允许出现“.”或“*”！重新检查输入！";
        QTest::newRow("a later star")
            << "*.j*"
            << "1"
            << "错误：文件类型过滤标识从第3个字符起，不允许出现“.”或“*”！重新检查输入！";
    }
    void validation() {
        QFETCH(QString, text);
        QFETCH(QString, accepted);
        QFETCH(QString, message);
        QCOMPARE(FileFilter::validationMessage(text, accepted), message);
    }

    void aBadPatternIsCheckedWhenTheWindowIsLeft() {
        w().ChPatternDefault->setChecked(false);
        typeIntoBox(QStringLiteral("*.ab"), QStringLiteral("c"));
        w().CmbFileFilter->setEditText(QStringLiteral("*.abcdefghijk"));
        test::real::leaveForAnotherApplication();
        QCOMPARE(f.prompter().texts(),
                 QStringList{QStringLiteral(
                     "错误：文件类型过滤标识太长，超出10个字符限制！重新检查输入！")});
        QCOMPARE(w().CmbFileFilter->currentText(), QStringLiteral("*."));
        test::real::returnFromAnotherApplication(&w());
        QTRY_VERIFY(box()->hasFocus());
        QCOMPARE(f.prompter().shown.size(), 1);
    }

    void leavingWithABadPatternKeepsTheFocus() {
        w().show();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        w().ChPatternDefault->setChecked(false);
        w().CmbFileFilter->setFocus();
        QTRY_VERIFY(w().CmbFileFilter->hasFocus());
        typeIntoBox(QStringLiteral("*.ab"), QStringLiteral("c"));
        w().CmbFileFilter->setEditText(QStringLiteral("*.abcdefghijk"));
        w().CmdClear->setFocus(Qt::TabFocusReason);
        QCOMPARE(f.prompter().last().title, QStringLiteral("错误——非法文件类型"));
        QCOMPARE(f.prompter().last().icon, MsgIcon::Critical);
        QCOMPARE(f.prompter().last().text,
                 QStringLiteral("错误：文件类型过滤标识太长，超出10个字符限制！重新检查输入！"));
        QCOMPARE(w().CmbFileFilter->currentText(), QStringLiteral("*."));
        QTRY_VERIFY(box()->hasFocus());
        QCOMPARE(box()->cursorPosition(), 2);
    }

    // --- sample file ---

    void sampleFileGivesFolderAndType_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("upper case kept") << "IMG_0001.JPG"
                                         << "*.JPG";
        QTest::newRow("last dot") << "a.b.tiff"
                                  << "*.tiff";
    }
    void sampleFileGivesFolderAndType() {
        QFETCH(QString, name);
        QFETCH(QString, pattern);
        const QString photos = f.path(QStringLiteral("Photos"));
        QVERIFY(QDir().mkpath(photos));
        f.makeFile(QStringLiteral("Photos/") + name, DateTime(2011, 1, 1), DateTime(2011, 1, 1));
        f.doubles->fileDialogs.files = {photos + QLatin1Char('/') + name};
        w().ChPatternDefault->setChecked(false);
        w().CmdFileExt->click();
        QCOMPARE(w().LDir->text(), photos);
        QCOMPARE(w().CmbFileFilter->currentText(), pattern);
        QCOMPARE(w().File1->pattern(), pattern);
        QCOMPARE(w().File1->count(), 1);
        QVERIFY(!w().ChPatternDefault->isChecked());
        QVERIFY(f.doubles->fileDialogs.requests[0].contains(QStringLiteral("所有文件")));
    }

    void sampleFileInASystemFolderAsksRetry() {
        f.doubles->fileDialogs.files = {QStringLiteral("/usr/share/pixmaps/a.png"),
                                        QStringLiteral("/home/u/Windows/b.png")};
        f.prompter().answer(MsgAnswer::Retry);
        f.prompter().answer(MsgAnswer::Cancel);
        const QString before = w().LDir->text();
        w().ChPatternDefault->setChecked(false);
        w().CmdFileExt->click();
        QCOMPARE(f.prompter().shown.size(), 2);
        for (const Message &m : f.prompter().shown) {
            QCOMPARE(m.text,
                     QStringLiteral("不允许操作系统目录，请重新指定其他目录中的同类文件！"));
            QCOMPARE(m.buttons, MsgButtons::RetryCancel);
            QCOMPARE(m.title, QStringLiteral("提醒"));
        }
        QCOMPARE(w().LDir->text(), before);
    }

    void sampleFileWithoutTypeClosesTheWindow() {
        w().show();
        f.doubles->fileDialogs.files = {f.path(QStringLiteral("averyveryverylongname"))};
        f.prompter().answer(MsgAnswer::Ok);     // the error
        f.prompter().answer(MsgAnswer::Cancel); // the close confirmation
        w().ChPatternDefault->setChecked(false);
        w().CmdFileExt->click();
        QCOMPARE(f.prompter().texts().size(), 2);
        QCOMPARE(f.prompter().shown[0].title, QStringLiteral("出错了"));
        QCOMPARE(f.prompter().shown[1].text, QStringLiteral("确定退出？"));
        QVERIFY(w().isVisible()); // Cancel kept it open
    }

    // --- folder choice ---

    void folderQuestionAndItsSetting() {
        QTemporaryDir settingsDir;
        QtSettings settings(settingsDir.filePath(QStringLiteral("kalmora.ini")));
        test::TestServices &d = *f.doubles;
        Services services{d.prompter, d.clock,       d.random,    d.environment, settings,
                          d.desktop,  d.fileDialogs, d.processes, d.downloader,  d.fileTimes};
        AppValues values;
        values.WorkFolder = f.folder.path();
        FMainDate window(services, values);
        const QString a = f.path(QStringLiteral("a")), b = f.path(QStringLiteral("b/"));
        QVERIFY(QDir().mkpath(a) && QDir().mkpath(b));
        d.fileDialogs.folders = {a, b, a};
        d.prompter.answer(MsgAnswer::No);
        window.CmdDirBrowse->click();
        QCOMPARE(window.LDir->text(), a);
        QCOMPARE(d.prompter.shown.size(), 1);
        QCOMPARE(d.prompter.last().buttons, MsgButtons::YesNoCancel);
        QCOMPARE(d.prompter.last().defaultButton, std::optional<MsgAnswer>(MsgAnswer::No));
        // Cancel: the default way, and never asked again (the choice is stored).
        d.prompter.answer(MsgAnswer::Cancel);
        window.CmdDirBrowse->click();
        QCOMPARE(window.LDir->text(), f.path(QStringLiteral("b"))); // without the trailing "/"
        QCOMPARE(d.prompter.shown.size(), 2);
        QCOMPARE(QtSettings(settingsDir.filePath(QStringLiteral("kalmora.ini")))
                     .value(QStringLiteral("Default"), QStringLiteral("DefaultDirAss")),
                 QStringLiteral("Yes"));
        window.CmdDirBrowse->click();
        QCOMPARE(d.prompter.shown.size(), 2);
        QCOMPARE(window.LDir->text(), a);
        QCOMPARE(d.fileDialogs.requests[0],
                 QStringLiteral("folder:请选择输入目录：:") + f.folder.path());
    }

    void refusedFolders() {
        f.doubles->settings.values.insert(QStringLiteral("Default/DefaultDirAss"),
                                          QStringLiteral("Yes"));
        const QString before = w().LDir->text();
        f.doubles->fileDialogs.folders = {QStringLiteral("/etc/ssh")};
        f.prompter().answer(MsgAnswer::Cancel);
        w().CmdDirBrowse->click();
        QCOMPARE(f.prompter().last().text,
                 QStringLiteral("不允许操作系统目录，请重新指定其他目录！"));
        QCOMPARE(f.prompter().last().buttons, MsgButtons::RetryCancel);
        QCOMPARE(w().LDir->text(), before);

        // A virtual folder is refused and the dialog comes again; a missing one means the work
        // folder.
        const QString virtualFolder = f.path(QStringLiteral("{645FF040}"));
        QVERIFY(QDir().mkpath(virtualFolder));
        f.doubles->fileDialogs.folders = {virtualFolder, f.path(QStringLiteral("gone"))};
        w().LDir->setText(QStringLiteral("/tmp"));
        w().CmdDirBrowse->click();
        QCOMPARE(f.prompter().last().text, QStringLiteral("该目录不可用，请重新指定。"));
        QCOMPARE(f.prompter().last().title, QStringLiteral("警告"));
        QCOMPARE(w().LDir->text(), f.folder.path());
    }

    void systemFolders_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("system");
        QTest::newRow("/etc") << "/etc" << true;
        QTest::newRow("below /usr") << "/usr/share/photos" << true;
        QTest::newRow("/opt is program files") << "/opt/tool" << true;
        QTest::newRow("removable media") << "/run/media/u/CARD/DCIM" << false;
        QTest::newRow("/run itself") << "/run/user/1000" << true;
        QTest::newRow("home") << "/home/u/Pictures" << false;
        QTest::newRow("a name that only starts like /usr") << "/usrdata/x" << false;
    }
    void systemFolders() {
        QFETCH(QString, path);
        QFETCH(bool, system);
        AppValues values;
        values.IsWin7OrAbove = true;
        QCOMPARE(IsSystemFolder(path, values), system);
    }

    void windowsRulesAsWritten() {
        AppValues values;
        values.WinDir = QStringLiteral("C:/Windows");
        values.ProgramFilesDir = QStringLiteral("C:/Program Files");
        QVERIFY(IsSystemFolder(QStringLiteral("C:/Windows/System32"), values));
        QVERIFY(!IsSystemFolder(QStringLiteral("C:/Program Files/Tool"), values)); // older system
        values.IsWin7OrAbove = true;
        QVERIFY(IsSystemFolder(QStringLiteral("C:/Program Files/Tool"), values));
        QCOMPARE(NormaliseFolder(QStringLiteral("/a//b")), QStringLiteral("/a/b/"));
        QCOMPARE(NormaliseFolder(QString()), QString());
    }

    void fdirHandsItsFolderOverHoweverClosed() {
        w().LDir->setText(QStringLiteral("/tmp"));
        f.prompter().answer(MsgAnswer::Yes);
        QString title;
        bool newHidden = false;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<FDir *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            title = dialog->windowTitle();
            newHidden = dialog->CmdNew->isHidden();
            QCOMPARE(dialog->LDir->text(), f.folder.path());
            QCOMPARE(dialog->CmdOk->text(), QStringLiteral("确  定"));
            QCOMPARE(dialog->CmdCancel->text(), QStringLiteral("取  消"));
            QVERIFY(dialog->Drive1->count() > 0);
            dialog->CmdCancel->click();
        });
        w().CmdDirBrowse->click();
        QCOMPARE(title, QStringLiteral("指定目录"));
        QVERIFY(newHidden);
        QCOMPARE(w().LDir->text(), f.folder.path());
    }

    // --- modes ---

    void modes_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("headers");
        QTest::addColumn<QList<int>>("widths");
        QTest::addColumn<QString>("option3");
        QTest::addColumn<QString>("apply");
        QTest::newRow("Exif") << "OptExif"
                              << "*.jpg;*.jpeg;*.jpe;*.tiff;*.tif"
                              << QStringList{"文件名", "原拍摄时间", "现拍摄时间",
                                             "",       "",           "其他信息"}
                              << QList<int>{4940, 1850, 1850, 0, 0, 3000}
                              << "处理当前行的Exif信息,双击取消选定"
                              << "执行修改(&M)";
        QTest::newRow("rename") << "OptRename"
                                << "*.jpg;*.jpeg;*.jpe;*.tiff;*.tif"
                                << QStringList{"原文件名", "现文件名", "", "", "", "其他信息"}
                                << QList<int>{4940, 4940, 0, 0, 0, 2400}
                                << "用拍摄日期智能更名当前行"
                                << "智能更名(&M)";
    }
    void modes() {
        QFETCH(QString, mode);
        QFETCH(QString, pattern);
        QFETCH(QStringList, headers);
        QFETCH(QList<int>, widths);
        QFETCH(QString, option3);
        QFETCH(QString, apply);
        const bool exif = mode == QLatin1String("OptExif");
        w().findChild<QRadioButton *>(mode)->setChecked(true);
        const FileGrid &g = *w().VSFlexGrid1;
        QCOMPARE(w().CmbFileFilter->currentText(), pattern);
        QCOMPARE(w().File1->pattern(), pattern);
        for (int c = 0; c < 6; ++c) {
            QCOMPARE(g.text(0, c), headers[c]);
            QCOMPARE(g.colWidth(c), widths[c]);
            QCOMPARE(w().GridView->isColumnHidden(c), widths[c] == 0);
        }
        QCOMPARE(w().Option3->text(), option3);
        QCOMPARE(w().CmdFileDateMod->text(), apply);
        QVERIFY(w().gridInSampleState());
        QCOMPARE(g.text(2, 1),
                 exif ? QStringLiteral("2011-08-27 20:11:00") : QStringLiteral("测试文件名2.bmp"));
        QCOMPARE(g.text(1, 1), exif ? QStringLiteral("2011-01-01 09:00:00")
                                    : QStringLiteral("2011-01-01 09.00.00.jpg"));
        QVERIFY(!w().Frame6->isEnabled());
        QCOMPARE(w().ChPgDn->isEnabled(), !exif);
        QCOMPARE(w().Check1->isEnabled(), exif);
        QCOMPARE(w().TAuthor->isEnabled(), exif);
        QCOMPARE(w().Option3->isEnabled(), exif);
        QVERIFY(!w().ChPatternDefault->isEnabled());
        QVERIFY(!w().ChOnWorkTime->isEnabled());
        QVERIFY(!w().Option1->isEnabled() && !w().Option2->isEnabled());
        QVERIFY(w().CmdInput->isEnabled());
        QVERIFY(w().ClearOnReset);
        QCOMPARE(w().LFilesCount->text(), w().countText());

        // Back to file times.
        w().OptDate->setChecked(true);
        QCOMPARE(g.text(0, 1), QStringLiteral("原创建时间"));
        QCOMPARE(g.colWidth(4), 1050);
        QCOMPARE(w().Option3->text(), QStringLiteral("修改当前行的文件时间属性为起始时间"));
        QCOMPARE(w().CmdFileDateMod->text(), QStringLiteral("执行修改(&M)"));
        QVERIFY(w().Frame6->isEnabled());
        QVERIFY(w().ChPatternDefault->isEnabled());
        QVERIFY(w().Option1->isEnabled() && w().Option3->isEnabled());
        // Selecting file times also fixed the time window, so the import is open.
        QCOMPARE(w().CmdTimeZone->text(), QStringLiteral("修改时间区间"));
        QVERIFY(w().CmdInput->isEnabled());
    }

    void videoOnThenOffRestoresTheHeaders() {
        const FileGrid &g = *w().VSFlexGrid1;
        w().ChPgDn->setChecked(true);
        QCOMPARE(g.text(0, 1), QStringLiteral("原拍摄时间"));
        QCOMPARE(g.text(0, 3), QStringLiteral("现拍摄时间"));
        QVERIFY(w().CmbFileFilter->currentText().startsWith(QStringLiteral("*.avi;*.rm;")));
        QCOMPARE(w().OptDate->text(), QStringLiteral("修改视频拍摄日期"));
        QVERIFY(!w().Option1->isEnabled() && !w().Option2->isEnabled());
        QVERIFY(!w().ChOnWorkTime->isEnabled());
        QVERIFY(w().CmdInput->isEnabled());
        w().ChPgDn->setChecked(false);
        QCOMPARE(g.text(0, 1), QStringLiteral("原创建时间"));
        QCOMPARE(g.text(0, 3), QStringLiteral("现修改时间"));
        QCOMPARE(w().CmbFileFilter->currentText(), FMainDate::defaultPattern());
        QCOMPARE(w().OptDate->text(), QStringLiteral("修改文件时间属性"));
        QVERIFY(w().Option1->isEnabled());
        QVERIFY(!w().CmdInput->isEnabled()); // the time window is not fixed yet
    }

    void currentRowModeAndItsDoubleClick() {
        showWindow();
        test::real::click(w().Option3);
        QVERIFY(w().Option3->isChecked());
        QVERIFY(!w().ChOnWorkTime->isEnabled());
        QVERIFY(w().CheckAll->isEnabled());
        QVERIFY(!w().Frame1->isEnabled());
        QVERIFY(w().CmdInput->isEnabled());
        QVERIFY(!w().CmdFileDateMod->isEnabled()); // the sample rows are no files
        test::real::doubleClick(w().Option3);      // the whole gesture, its last release included
        QVERIFY(w().Option1->isChecked());
        QVERIFY(!w().Option3->isChecked());
        QCOMPARE(w().CmdTimeZone->text(), QStringLiteral("修改时间区间"));
        QVERIFY(!w().Frame3->isEnabled());
    }

    void choosingTheShownFolderResetsTheList_data() {
        QTest::addColumn<QString>("way");
        QTest::newRow("default dialog") << "dialog";
        QTest::newRow("FDir") << "FDir";
        QTest::newRow("sample file") << "sample";
    }
    void choosingTheShownFolderResetsTheList() {
        QFETCH(QString, way);
        f.makeFile(QStringLiteral("a.txt"), DateTime(2011, 1, 1), DateTime(2011, 1, 1));
        showWindow();
        // Listed in Exif mode; back in file-time mode the list still counts and the folder and
        // type can be chosen again.
        test::real::click(w().OptExif);
        f.importFolder();
        test::real::click(w().OptDate);
        QCOMPARE(w().FileCount, 1);
        const QString folder = f.folder.path();
        if (way == QLatin1String("sample")) {
            f.doubles->fileDialogs.files = {f.path(QStringLiteral("a.txt"))};
            test::real::click(w().ChPatternDefault);
            test::real::click(w().CmdFileExt);
        } else {
            f.prompter().answer(way == QLatin1String("FDir") ? MsgAnswer::Yes : MsgAnswer::No);
            f.doubles->fileDialogs.folders = {folder};
            // FDir opens once the question is answered.
            f.prompter().onShow = [this, folder](const Message &) {
                QTimer::singleShot(0, this, [this, folder] {
                    if (auto *dialog = qobject_cast<FDir *>(QApplication::activeModalWidget())) {
                        dialog->chooseFolder(folder);
                        test::real::click(dialog->CmdOk);
                    }
                });
            };
            test::real::click(w().CmdDirBrowse);
            f.prompter().onShow = nullptr;
        }
        QCOMPARE(w().LDir->text(), folder);
        QCOMPARE(w().FileCount, 0);
        QCOMPARE(w().VSFlexGrid1->rows(), 11);
        QVERIFY(w().VSFlexGrid1->text(1, 0).isEmpty());
    }

    void fdirRefusesSystemFolders() {
        showWindow();
        const QString before = w().LDir->text();
        f.prompter().answer(MsgAnswer::Yes);    // the alternative way
        f.prompter().answer(MsgAnswer::Retry);  // after /etc
        f.prompter().answer(MsgAnswer::Cancel); // after /usr/bin
        QStringList offered = {QStringLiteral("/etc"), QStringLiteral("/usr/bin")};
        std::function<void()> choose = [&] {
            auto *dialog = qobject_cast<FDir *>(QApplication::activeModalWidget());
            if (!dialog || offered.isEmpty())
                return;
            dialog->chooseFolder(offered.takeFirst());
            if (offered.isEmpty())
                f.prompter().onShow = nullptr;
            test::real::click(dialog->CmdOk);
        };
        // FDir opens after the question, and again after Retry.
        f.prompter().onShow = [&](const Message &) { QTimer::singleShot(0, this, choose); };
        test::real::click(w().CmdDirBrowse);
        QVERIFY(offered.isEmpty());
        QCOMPARE(f.prompter().texts(),
                 (QStringList{f.prompter().shown[0].text,
                              QStringLiteral("不允许操作系统目录，请重新指定其他目录！"),
                              QStringLiteral("不允许操作系统目录，请重新指定其他目录！")}));
        QCOMPARE(f.prompter().last().buttons, MsgButtons::RetryCancel);
        QCOMPARE(f.prompter().last().title, QStringLiteral("提醒"));
        QCOMPARE(w().LDir->text(), before);
    }

    void folderChangeResetsAnImportedList() {
        f.makeFile(QStringLiteral("a.txt"), DateTime(2011, 1, 1), DateTime(2011, 1, 1));
        f.importFolder();
        QCOMPARE(w().FileCount, 1);
        // The trailing separator goes; a listed folder is reset even when it is the same one.
        w().LDir->setText(f.folder.path() + QStringLiteral("/"));
        QCOMPARE(w().LDir->text(), f.folder.path());
        QCOMPARE(w().FileCount, 0);
        const QString other = f.path(QStringLiteral("other"));
        QVERIFY(QDir().mkpath(other));
        w().LDir->setText(other);
        QCOMPARE(w().VSFlexGrid1->rows(), 11);
        QCOMPARE(w().File1->path(), other);
    }
};

QTEST_MAIN(ShellTest)
#include "shell_test.moc"
