#include "core/grid/file_grid.h"
#include "core/import/file_list.h"
#include "gui/window/fdir.h"
#include "gui/window/file_grid_view.h"
#include "gui/window/main_window.h"
#include "gui/window/notice_window.h"
#include "gui/window/photo_date_dialog.h"
#include "gui/window/up_down.h"
#include "tests/support/doubles.h"
#include "tests/support/real_input.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <memory>

using namespace kalmora;

namespace {

void touch(const QString &path) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

QString captionOf(QWidget *w) {
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    if (auto *c = qobject_cast<QComboBox *>(w))
        return c->currentText();
    if (auto *g = qobject_cast<QGroupBox *>(w))
        return g->title();
    return {};
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_folder;
    std::unique_ptr<test::TestServices> m_doubles;
    std::unique_ptr<Services> m_services;
    std::unique_ptr<FMainDate> m_window;

    FMainDate &window() { return *m_window; }
    void open(const DateTime &now = DateTime(2026, 12, 7, 9, 30, 15)) {
        m_doubles = std::make_unique<test::TestServices>();
        m_doubles->clock.time = now;
        m_services = std::make_unique<Services>(m_doubles->services());
        AppValues values;
        values.WorkFolder = m_folder.path();
        m_window = std::make_unique<FMainDate>(*m_services, values);
    }

private slots:
    void initTestCase() {
        for (const char *name : {"a.jpg", "B.JPG", "c.tif", "notes.txt", "clip.avi"})
            touch(m_folder.filePath(QLatin1String(name)));
    }
    void init() { open(); }
    void cleanup() {
        // Closing asks; the scripted box says OK by default only when asked to.
        m_window.reset();
    }

    void controlsAfterLoad_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("enabled");
        auto row = [](const char *name, const char *caption, bool enabled) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(caption)
                                << enabled;
        };
        row("Label1", "文件路径：", true);
        row("CmdDirBrowse", "浏览(&B)...", true);
        row("Label4", "文件类型：", true);
        row("CmbFileFilter", "*.jpeg;*.jpe;*.jpg;*.bmp;*.gif;*.tif;*.tiff", false);
        row("ChPatternDefault", "默认文件类型(图片)", true);
        row("CmdFileExt", "指定(&G)...", false);
        row("OptDate", "修改文件时间属性", true);
        row("OptExif", "处理Exif信息", true);
        row("OptRename", "以拍摄日期重命名", true);
        row("ChPgDn", "处理数码视频", true);
        row("Frame6", "时间修改选项：", true);
        row("OptCreate", "仅创建", true);
        row("OptModTime", "仅修改", true);
        row("OptAccessDate", "仅访问", true);
        row("OptAll", "全部时间", true);
        row("Frame3", "设定起止时间区间", true);
        row("Label5", "起始：", true);
        row("Label9", "结束：", true);
        row("Label6", "   年      月    日    时   分    秒", true);
        row("Frame1", "时间单位", true);
        row("OptSec", "秒", true);
        row("OptMin", "分", true);
        row("OptHour", "时", false);
        row("OptDay", "天", false);
        row("Label18", "步长：", true);
        row("Option1", "递增", true);
        row("TStep", "1", true);
        row("Option2", "无规律变化 从：", true);
        row("TStepS", "10", true);
        row("Label20", "—", true);
        row("TStepE", "90", true);
        row("Label19", "分钟。", true);
        row("Label21", "分钟。", true);
        row("Option3", "修改当前行的文件时间属性为起始时间", true);
        row("Frame4", "设定上下班时间", false);
        row("TOnDutyH", "08", false);
        row("TOffDutyH", "18", false);
        row("Label14", "开始：", false);
        row("Label11", "结束：", false);
        row("Label12", "  时    分    秒", false);
        row("ChOnWorkTime", "限定在上班时间内", true);
        row("CmdTimeOnOffDuty", "设定上下班时间", false);
        row("CmdResetWork", "重置", false);
        row("Frame2", "设定午休时间", false);
        row("TBreakH", "12", false);
        row("TEBreakH", "14", false);
        row("Label17", "开始：", false);
        row("Label15", "结束：", false);
        row("Label16", "时     分     秒", false);
        row("ChExclude", "包含午休时间", true);
        row("CmdWordBreakTime", "设定午休时间", false);
        row("CmdResetB", "重置", false);
        row("CmdTimeZone", "设定时间区间", true);
        row("CmdNow", "重置当前时间", false);
        row("CmdInput", "导入待处理的文件(&I)", false);
        row("CmdFileDateMod", "执行修改(&M)", false);
        row("CmdDelete", "删除选定行(&D)", false);
        row("CmdReset", "重置所有(&R)", false);
        row("CmdClear", "清空列表", true);
        row("CmdHelp", "使用说明(&H)", true);
        row("TAuthor", "拍摄者：tester。", false);
        row("TPicMemo", "在此输入照片说明", false);
        row("CmdPicMemoAdd", "修改照片说明(&A)", false);
        row("CmdPicDateMod", "修改拍摄日期(&T)", false);
        row("CmdPicExifDel", "导出/抹除所有Exif信息(&E)", false);
        row("CheckAll", "全部相同处理", false);
        row("Check1", "预览照片简介", false);
        row("LProgress", "处理进度：", true);
    }
    void controlsAfterLoad() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(bool, enabled);
        auto *w = window().findChild<QWidget *>(name);
        QVERIFY2(w, qPrintable(name));
        QCOMPARE(captionOf(w), caption);
        QCOMPARE(w->isEnabled(), enabled);
        QCOMPARE(w->accessibleDescription(), name);
    }

    void checkedStatesAfterLoad() {
        FMainDate &w = window();
        QVERIFY(w.OptDate->isChecked());
        QVERIFY(w.OptAll->isChecked());
        QVERIFY(w.OptMin->isChecked());
        QVERIFY(w.ChPatternDefault->isChecked());
        QVERIFY(w.ChExclude->isChecked());
        QVERIFY(!w.ChOnWorkTime->isChecked());
        QVERIFY(!w.ChPgDn->isChecked());
        // The step options start with none selected.
        QVERIFY(!w.Option1->isChecked() && !w.Option2->isChecked() && !w.Option3->isChecked());
        QCOMPARE(FMainDate::tag(w.CmdTimeZone), QStringLiteral("1"));
        QCOMPARE(FMainDate::tag(w.CmdTimeOnOffDuty), QStringLiteral("1"));
        QCOMPARE(FMainDate::tag(w.CmdWordBreakTime), QStringLiteral("1"));
        QVERIFY(!w.FormLoading);
        QVERIFY(!w.Busy);
        QCOMPARE(w.FileCount, 0);
        QCOMPARE(w.ProgressBar1->minimum(), 0);
        QCOMPARE(w.ProgressBar1->maximum(), 100);
        QCOMPARE(w.ProgressBar1->value(), 0);
        QCOMPARE(w.windowTitle(), QStringLiteral("Kalmora"));
        QCOMPARE(w.CmbFileFilter->count(), 133);
        QCOMPARE(w.CmbFileFilter->itemText(22), QStringLiteral("*.cch"));
        QCOMPARE(w.CmbFileFilter->itemText(23), QStringLiteral("*.cch"));
        QCOMPARE(w.CmbFileFilter->itemText(66),
                 QStringLiteral("*.jpeg;*.jpe;*.jpg;*.bmp;*.gif;*.tif;*.tiff"));
        QCOMPARE(w.CmbFileFilter->itemText(132), QStringLiteral("*.zip"));
        QCOMPARE(w.OptAll->toolTip(), QStringLiteral("同时修改创建、修改和访问时间"));
        QCOMPARE(w.Label4->toolTip(),
                 QStringLiteral(
                     "如手工输入文件类型，须符合扩展名规则，否则出错，禁止</\"\":?\\|>等字符。"));
    }

    void fieldLengths() {
        FMainDate &w = window();
        for (QLineEdit *e : {w.TStartY, w.TEndY})
            QCOMPARE(e->maxLength(), 4);
        for (QLineEdit *e :
             {w.TStartM,  w.TStartD,   w.TStartH,   w.TStartMin, w.TStartSec, w.TEndM,
              w.TEndD,    w.TEndH,     w.TEndMin,   w.TEndSec,   w.TOnDutyH,  w.TOnDutyM,
              w.TOnDutyS, w.TOffDutyH, w.TOffDutyM, w.TOffDutyS, w.TBreakH,   w.TBreakM,
              w.TBreakS,  w.TEBreakH,  w.TEBreakM,  w.TEBreakS})
            QCOMPARE(e->maxLength(), 2);
        for (QLineEdit *e : {w.TStep, w.TStepS, w.TStepE})
            QCOMPARE(e->maxLength(), 3);
    }

    void spinnerBounds_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("min");
        QTest::addColumn<int>("max");
        QTest::addColumn<QString>("buddy");
        QTest::newRow("UpDownYS") << "UpDownYS" << 2000 << 2100 << "TStartY";
        QTest::newRow("UpDownDayS") << "UpDownDayS" << 1 << 31 << "TStartD";
        QTest::newRow("UpDown2") << "UpDown2" << 0 << 59 << "TStartSec";
        QTest::newRow("UpDownYE follows the start year") << "UpDownYE" << 2026 << 2100 << "TEndY";
        QTest::newRow("UpDown1") << "UpDown1" << 0 << 59 << "TEndMin";
        QTest::newRow("UpDown3") << "UpDown3" << 0 << 59 << "TEndSec";
        QTest::newRow("UpDownTStep") << "UpDownTStep" << 1 << 300 << "TStep";
        QTest::newRow("UpDownTStepS") << "UpDownTStepS" << 1 << 80 << "TStepS";
        QTest::newRow("UpDownTStepE") << "UpDownTStepE" << 2 << 300 << "TStepE";
        QTest::newRow("UpDownoffDutyH follows the end hour")
            << "UpDownoffDutyH" << 0 << 18 << "TOffDutyH";
        QTest::newRow("UpDownBreakH") << "UpDownBreakH" << 12 << 14 << "TBreakH";
        QTest::newRow("UpDownEBreakS") << "UpDownEBreakS" << 0 << 59 << "TEBreakS";
    }
    void spinnerBounds() {
        QFETCH(QString, name);
        QFETCH(int, min);
        QFETCH(int, max);
        QFETCH(QString, buddy);
        auto *u = window().findChild<UpDown *>(name);
        QVERIFY(u);
        QCOMPARE(u->min(), min);
        QCOMPARE(u->max(), max);
        QCOMPARE(u->buddy()->objectName(), buddy);
        QVERIFY(window().findChild<QWidget *>(name + QStringLiteral(".up")));
        QVERIFY(window().findChild<QWidget *>(name + QStringLiteral(".down")));
    }

    void sampleRowsAndGrid() {
        const FileGrid &g = *window().VSFlexGrid1;
        const QStringList headers = {"文件名",     "原创建时间", "现创建时间", "现修改时间",
                                     "现访问时间", "其他信息",   "修改时间",   "访问时间"};
        const int widths[] = {4940, 1850, 1850, 1850, 1050, 1200, 0, 0};
        for (int c = 0; c < 8; ++c) {
            QCOMPARE(g.text(0, c), headers[c]);
            QCOMPARE(g.colWidth(c), widths[c]);
            QCOMPARE(window().GridView->isColumnHidden(c), widths[c] == 0);
        }
        QCOMPARE(g.text(1, 0), QStringLiteral("测试文件名1.jpg"));
        for (int c = 1; c <= 3; ++c) {
            QCOMPARE(g.text(1, c), QStringLiteral("2026-12-07 09:30:15"));
            QCOMPARE(g.text(2, c), QStringLiteral("2011-08-27 20:11:00"));
        }
        QCOMPARE(g.text(1, 4), QStringLiteral("2026-12-07"));
        QCOMPARE(g.text(1, 5), QStringLiteral("修改成功"));
        QCOMPARE(g.text(2, 0), QStringLiteral("测试文件名2.bmp"));
        QCOMPARE(g.text(2, 4), QStringLiteral("2011-08-27"));
        QCOMPARE(g.text(2, 5), QStringLiteral("修改失败"));
        QVERIFY(g.text(3, 0).isEmpty());
        QVERIFY(window().gridInSampleState());
        // The header row is drawn as the view's header.
        QCOMPARE(window().GridView->model()->headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral("原创建时间"));
    }

    void defaultTimeWindow_data() {
        QTest::addColumn<DateTime>("now");
        QTest::addColumn<QStringList>("start");
        QTest::addColumn<QStringList>("end");
        QTest::newRow("ordinary day")
            << DateTime(2026, 12, 7, 9, 30, 15) << QStringList{"2026", "12", "07", "08", "00", "00"}
            << QStringList{"2026", "12", "08", "18", "00", "00"};
        QTest::newRow("new year's eve") << DateTime(2026, 12, 31, 23, 59, 59)
                                        << QStringList{"2026", "12", "31", "08", "00", "00"}
                                        << QStringList{"2027", "01", "01", "18", "00", "00"};
        QTest::newRow("leap day") << DateTime(2028, 2, 28, 0, 0, 0)
                                  << QStringList{"2028", "02", "28", "08", "00", "00"}
                                  << QStringList{"2028", "02", "29", "18", "00", "00"};
    }
    void defaultTimeWindow() {
        QFETCH(DateTime, now);
        QFETCH(QStringList, start);
        QFETCH(QStringList, end);
        open(now);
        FMainDate &w = window();
        const QStringList gotStart = {w.TStartY->text(), w.TStartM->text(),   w.TStartD->text(),
                                      w.TStartH->text(), w.TStartMin->text(), w.TStartSec->text()};
        const QStringList gotEnd = {w.TEndY->text(), w.TEndM->text(),   w.TEndD->text(),
                                    w.TEndH->text(), w.TEndMin->text(), w.TEndSec->text()};
        QCOMPARE(gotStart, start);
        QCOMPARE(gotEnd, end);
        QCOMPARE(w.UpDownYE->min(), start[0].toInt());
    }

    void folderAndCount() {
        FMainDate &w = window();
        QCOMPARE(w.LDir->text(), m_folder.path());
        // a.jpg, B.JPG and c.tif match the default picture pattern; case is ignored.
        QCOMPARE(w.LFilesCount->text(), QStringLiteral("目标文件数共3个。"));
        w.File1->setPattern(QStringLiteral("*.txt"));
        QCOMPARE(w.LFilesCount->text(), QStringLiteral("目标文件数共1个。"));
        w.File1->setPattern(QStringLiteral("*.*"));
        QCOMPARE(w.LFilesCount->text(), QStringLiteral("目标文件数共5个。"));
    }

    // The default window fits a 1366x768 screen less its panel, also one and two font steps up,
    // with every control inside it.
    void defaultWindowFitsASmallScreen_data() {
        QTest::addColumn<int>("fontSteps");
        QTest::newRow("usual font") << 0;
        QTest::newRow("one step larger") << 1;
        QTest::newRow("two steps larger") << 2;
    }
    void defaultWindowFitsASmallScreen() {
        QFETCH(int, fontSteps);
        const QFont usual = QApplication::font();
        QFont larger = usual;
        larger.setPointSizeF(usual.pointSizeF() + fontSteps);
        QApplication::setFont(larger);
        open();
        QApplication::setFont(usual);
        FMainDate &w = window();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY2(w.width() <= 1340 && w.height() <= 700,
                 qPrintable(QStringLiteral("%1x%2").arg(w.width()).arg(w.height())));
        int checked = 0;
        for (QWidget *c : w.findChildren<QWidget *>()) {
            if (c->accessibleDescription().isEmpty() || !c->isVisibleTo(&w))
                continue;
            const QRect place(c->mapTo(&w, QPoint(0, 0)), c->size());
            QVERIFY2(!place.isEmpty() && w.rect().contains(place), qPrintable(c->objectName()));
            ++checked;
        }
        QVERIFY(checked > 100);
    }

    // The results column takes the free width, so the longest result is never cut.
    void resultColumnShowsTheLongestResult_data() {
        QTest::addColumn<QString>("mode");
        QTest::newRow("file times") << "OptDate";
        QTest::newRow("Exif") << "OptExif";
        QTest::newRow("rename") << "OptRename";
    }
    void resultColumnShowsTheLongestResult() {
        QFETCH(QString, mode);
        FMainDate &w = window();
        w.findChild<QRadioButton *>(mode)->setChecked(true);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QString longest = QStringLiteral("修改成功(创建时间未改)");
        const int needed = w.GridView->fontMetrics().horizontalAdvance(longest) + 12;
        QVERIFY2(w.GridView->columnWidth(5) >= needed,
                 qPrintable(QStringLiteral("%1 < %2").arg(w.GridView->columnWidth(5)).arg(needed)));
    }

    // What a screen reader reads: the caption, or the label beside a field with its unit.
    void accessibleNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("spoken");
        auto row = [](const char *name, const char *spoken) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(spoken);
        };
        row("TStartY", "起始 年");
        row("TStartM", "起始 月");
        row("TStartSec", "起始 秒");
        row("TEndD", "结束 日");
        row("TEndMin", "结束 分");
        row("TOnDutyH", "上班 开始 时");
        row("TOffDutyM", "上班 结束 分");
        row("TBreakS", "午休 开始 秒");
        row("TEBreakH", "午休 结束 时");
        row("TStep", "递增");
        row("TStepS", "无规律变化 从");
        row("TStepE", "无规律变化 到");
        row("UpDownYS", "起始 年");
        row("UpDown1", "结束 分");
        row("UpDownYS.up", "增加");
        row("UpDownYS.down", "减少");
        row("TAuthor", "拍摄者");
        row("TPicMemo", "照片说明");
        row("ProgressBar1", "处理进度");
        row("VSFlexGrid1", "文件列表");
        row("CmdInput", "导入待处理的文件(I)");
        row("CmdDirBrowse", "浏览(B)...");
        row("OptDate", "修改文件时间属性");
        row("ChPgDn", "处理数码视频");
        row("Frame3", "设定起止时间区间");
        row("Label5", "起始：");
    }
    void accessibleNames() {
        QFETCH(QString, name);
        QFETCH(QString, spoken);
        auto *w = window().findChild<QWidget *>(name);
        QVERIFY2(w, qPrintable(name));
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(w);
        QVERIFY(face);
        QCOMPARE(face->text(QAccessible::Name), spoken);
        QCOMPARE(face->text(QAccessible::Description), name);
    }

    // A drop-down reads its text as its name; the label beside it is its label.
    void fileTypeBoxIsLabelled() {
        FMainDate &w = window();
        QAccessibleInterface *box = QAccessible::queryAccessibleInterface(w.CmbFileFilter);
        const auto labels = box->relations(QAccessible::Label);
        QCOMPARE(labels.size(), 1);
        QCOMPARE(labels.first().first->text(QAccessible::Name), QStringLiteral("文件类型："));
    }

    // Labels that show a value read that value.
    void valueLabelsReadTheirValue() {
        FMainDate &w = window();
        auto spoken = [](QWidget *label) {
            return QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name);
        };
        QCOMPARE(spoken(w.LDir), m_folder.path());
        QTemporaryDir other;
        w.LDir->setText(other.path());
        QCOMPARE(spoken(w.LDir), other.path());
        QCOMPARE(spoken(w.LFilesCount), QStringLiteral("目标文件数共0个。"));
        QCOMPARE(spoken(w.SB1Panels[3]), QStringLiteral("2026-12-07"));

        FDir dialog(m_folder.path());
        QCOMPARE(spoken(dialog.LDir), m_folder.path());
        dialog.chooseFolder(other.path());
        QCOMPARE(spoken(dialog.LDir), other.path());
    }

    // The shooting-date dialog's fields read the option beside them.
    void photoDialogNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("TStart") << "TStart" << QStringLiteral("新起始日期时间");
        QTest::newRow("TStep") << "TStep" << QStringLiteral("原始时间固定位移");
        QTest::newRow("TStepS") << "TStepS" << QStringLiteral("原时间随机位移 从");
        QTest::newRow("TStepE") << "TStepE" << QStringLiteral("原时间随机位移 到");
        QTest::newRow("UpDownTStepE") << "UpDownTStepE" << QStringLiteral("原时间随机位移 到");
        QTest::newRow("UpDownTStepE.up") << "UpDownTStepE.up" << QStringLiteral("增加");
    }
    void photoDialogNames() {
        QFETCH(QString, name);
        QFETCH(QString, spoken);
        FPhotoDate dialog(*m_services);
        auto *w = dialog.findChild<QWidget *>(name);
        QVERIFY2(w, qPrintable(name));
        QCOMPARE(QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name), spoken);
        QCOMPARE(w->accessibleDescription(), name);
    }

    void activationFocusesTheStartHour() {
        FMainDate &w = window();
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.TStartH));
        QCOMPARE(w.TStartH->selectedText(), QStringLiteral("08"));
    }

    void activationMovesTheFocusOnlyBetweenOurWindows() {
        FMainDate &w = window();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.TStartH));
        test::real::click(w.TStep);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.TStep));
        // Back from another program the user finds the focus where it was.
        test::real::leaveForAnotherApplication();
        test::real::returnFromAnotherApplication(&w);
        QVERIFY(w.isActiveWindow());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.TStep));
        // A box of ours closing brings it to the start hour.
        test::real::messageBoxClosedOver(&w);
        QVERIFY(w.isActiveWindow());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.TStartH));
        QCOMPARE(w.TStartH->selectedText(), QStringLiteral("08"));
        QVERIFY(m_doubles->prompter.shown.isEmpty());
    }

    void quittingClosesTheNoticeToo() {
        FMainDate &w = window();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        NoticeText = QStringLiteral("原始拍摄时间改写完毕！稍后请单击“重置所有”按钮。");
        QVERIFY(FNoticeMsg::showNotice()->isVisible());
        m_doubles->prompter.answer(MsgAnswer::Ok);
        QVERIFY(test::real::closeWindow(&w));
        QCOMPARE(m_doubles->prompter.texts(), QStringList{QStringLiteral("确定退出？")});
        QVERIFY(!w.isVisible());
        // Nothing of the program is left on the screen, so the program ends.
        for (QWidget *top : QApplication::topLevelWidgets())
            QVERIFY2(!top->isVisible(), qPrintable(top->objectName()));
    }

    void closeAsksFirst() {
        FMainDate &w = window();
        w.show();
        m_doubles->prompter.answer(MsgAnswer::Cancel);
        QVERIFY(!w.close());
        QVERIFY(w.isVisible());
        QCOMPARE(m_doubles->prompter.shown.size(), 1);
        const Message &m = m_doubles->prompter.last();
        QCOMPARE(m.text, QStringLiteral("确定退出？"));
        QCOMPARE(m.title, QStringLiteral("消息"));
        QCOMPARE(m.icon, MsgIcon::Information);
        QCOMPARE(m.buttons, MsgButtons::OkCancel);
        QCOMPARE(m.defaultButton, std::optional<MsgAnswer>(MsgAnswer::Cancel));
        // Cancel kept everything as it was.
        QVERIFY(w.gridInSampleState());
        QCOMPARE(w.TStartH->text(), QStringLiteral("08"));

        m_doubles->prompter.answer(MsgAnswer::Ok);
        QVERIFY(w.close());
        QVERIFY(!w.isVisible());
    }

    void gridToolTipFollowsTheMode() {
        FMainDate &w = window();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::mouseMove(w.GridView->viewport(), QPoint(20, 10));
        QTRY_COMPARE(w.GridView->viewport()->toolTip(),
                     QStringLiteral("在允许下双击可以删除当前行。"));
        w.OptExif->setChecked(true);
        w.Option3->setChecked(true);
        QTest::mouseMove(w.GridView->viewport(), QPoint(30, 12));
        QTRY_COMPARE(w.GridView->viewport()->toolTip(),
                     QStringLiteral("双击当前行可以打开文件供预览。"));
    }

    void selectionRuleInCurrentRowMode() {
        FMainDate &w = window();
        FileGrid &g = *w.VSFlexGrid1;
        g.setRows(11);
        for (int r = 1; r <= 5; ++r)
            g.setText(r, 0, QStringLiteral("f%1.jpg").arg(r));
        w.state().filesListed(5);

        // Outside current-row mode nothing is adjusted.
        g.select(4, 2, 2, 3);
        QCOMPARE(QList<int>({g.row(), g.col(), g.rowSel(), g.colSel()}), QList<int>({4, 2, 2, 3}));

        w.Option3->setChecked(true);
        g.select(1, 0, 1, 0);
        g.select(4, 2, 2, 3); // upwards: reversed and extended to all columns
        QCOMPARE(QList<int>({g.row(), g.col(), g.rowSel(), g.colSel()}), QList<int>({2, 0, 4, 7}));
        g.select(2, 0, 9, 7); // ends on an empty row: ends at the last file
        QCOMPARE(g.rowSel(), 5);
        g.select(7, 0, 9, 7); // starts and ends below the files: left alone
        QCOMPARE(QList<int>({g.row(), g.rowSel()}), QList<int>({7, 9}));
    }

    void statusBar() {
        FMainDate &w = window();
        QCOMPARE(w.SB1Panels[2]->text(), QStringLiteral("09:30:15"));
        QCOMPARE(w.SB1Panels[3]->text(), QStringLiteral("2026-12-07"));
        // The clock keeps the panels current.
        m_doubles->clock.time = DateTime(2026, 12, 8, 0, 0, 1);
        QTRY_COMPARE_WITH_TIMEOUT(w.SB1Panels[3]->text(), QStringLiteral("2026-12-08"), 3000);
        QCOMPARE(w.SB1Panels[2]->text(), QStringLiteral("00:00:01"));

        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::mouseMove(w.SB1Panels[1], QPoint(5, 5));
        QCOMPARE(w.SB1Panels[1]->cursor().shape(), Qt::PointingHandCursor);
        test::real::click(w.SB1Panels[1]);
        QCOMPARE(m_doubles->desktop.opened,
                 QStringList{QStringLiteral("url:") + FMainDate::homePage() +
                             QStringLiteral("/Index.htm")});
    }

    void helpWalksThroughEveryMode() {
        FMainDate &w = window();
        w.show();
        QString title, text;
        QTimer::singleShot(0, this, [&] {
            QWidget *dialog = QApplication::activeModalWidget();
            QVERIFY(dialog);
            title = dialog->windowTitle();
            text = dialog->findChild<QTextBrowser *>()->toPlainText();
            dialog->close();
        });
        QTest::mouseClick(w.CmdHelp, Qt::LeftButton);
        QCOMPARE(title, QStringLiteral("使用说明"));
        for (const char *needle : {"修改文件时间属性", "处理Exif信息", "以拍摄日期重命名",
                                   "处理数码视频", "导入待处理的文件", "执行修改", "重置所有"})
            QVERIFY2(text.contains(QString::fromUtf8(needle)), needle);
    }

    void noticeWindow() {
        NoticeText = QStringLiteral("正在处理，请稍候……");
        FNoticeMsg *n = FNoticeMsg::showNotice();
        QVERIFY(n->isVisible());
        QCOMPARE(n->windowTitle(), QStringLiteral("消息"));
        QVERIFY(n->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(FNoticeMsg::showNotice(), n); // one window, shown again
        FNoticeMsg::closeNotice();
        QTRY_VERIFY(!FNoticeMsg::current());
        FNoticeMsg::closeNotice(); // closing a closed notice is harmless
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
