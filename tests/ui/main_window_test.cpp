#include "core/grid/file_grid.h"
#include "core/import/file_list.h"
#include "gui/plan/time_fields.h"
#include "gui/window/fdir.h"
#include "gui/window/features.h"
#include "gui/window/file_grid_view.h"
#include "gui/window/main_window.h"
#include "gui/window/notice_window.h"
#include "gui/window/photo_date_dialog.h"
#include "gui/window/up_down.h"
#include "tests/support/doubles.h"
#include "tests/support/real_input.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>

#include <memory>

using namespace kalmora;

namespace {

void touch(const QString &path) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
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

    // Opened, the window lets the user choose a folder; the import waits for a fixed time
    // window, the apply for an imported list.
    void openedWindowLeadsFromFolderToImportToApply() {
        FMainDate &w = window();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        for (QWidget *c :
             std::initializer_list<QWidget *>{w.CmdInput, w.CmdFileDateMod, w.CmdDelete, w.CmdReset,
                                              w.CmdPicDateMod, w.CmdPicExifDel})
            QVERIFY2(!c->isEnabled(), qPrintable(c->objectName()));

        QTemporaryDir photos;
        for (const char *name : {"x.jpg", "y.jpg"})
            touch(photos.filePath(QLatin1String(name)));
        m_doubles->fileDialogs.folders = {photos.path()};
        test::real::click(w.CmdDirBrowse); // the question's default: the usual folder dialog
        QCOMPARE(w.LDir->text(), photos.path());
        QCOMPARE(w.LFilesCount->text(), QStringLiteral("目标文件数共2个。"));
        // Choosing the folder fixes the time window: the import is open.
        QVERIFY(w.CmdInput->isEnabled());
        // The bar is full when the import says it is done, and empty after.
        int progressWhenDone = -1;
        m_doubles->prompter.onShow = [&](const Message &m) {
            if (m.text.startsWith(QStringLiteral("导入完毕")))
                progressWhenDone = w.ProgressBar1->value();
        };
        test::real::click(w.CmdInput);
        m_doubles->prompter.onShow = nullptr;
        QCOMPARE(w.FileCount, 2);
        QCOMPARE(progressWhenDone, w.ProgressBar1->maximum());
        QCOMPARE(w.ProgressBar1->value(), w.ProgressBar1->minimum());
        QVERIFY(w.CmdFileDateMod->isEnabled());
    }

    // Before an import the list shows two example rows, the first stamped with the time the
    // window opened. They are no files: nothing deletes or clears them, and the import puts the
    // files in their place.
    void exampleRowsAreNoFiles() {
        open(DateTime(2027, 3, 4, 5, 6, 7));
        FMainDate &w = window();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        const QAbstractItemModel *shown = w.GridView->model();
        auto rowTexts = [&](int row) {
            QStringList texts;
            for (int c = 0; c < shown->columnCount(); ++c)
                if (!w.GridView->isColumnHidden(c))
                    texts << shown->index(row, c).data().toString();
            return texts;
        };
        // Six columns shown: the raw times behind them stay hidden.
        QCOMPARE(rowTexts(0).size(), 6);
        QCOMPARE(rowTexts(0).mid(1, 3), QStringList(3, QStringLiteral("2027-03-04 05:06:07")));
        const QStringList first = rowTexts(0), second = rowTexts(1);

        test::real::doubleClick(w.GridView->viewport(),
                                w.GridView->visualRect(shown->index(1, 0)).center());
        test::real::click(w.CmdClear);
        QCOMPARE(m_doubles->prompter.beeps, 1); // nothing to clear
        QCOMPARE(rowTexts(0), first);
        QCOMPARE(rowTexts(1), second);
        QCOMPARE(w.FileCount, 0);

        test::real::click(w.CmdTimeZone);
        test::real::click(w.CmdInput);
        QCOMPARE(w.FileCount, 3);
        QStringList names;
        for (int r = 0; r < shown->rowCount(); ++r)
            names << shown->index(r, 0).data().toString();
        QCOMPARE(names, (QStringList{"a.jpg", "B.JPG", "c.tif"}));
    }

    // A step field takes three digits; a digit past them is dropped, so the step left is one
    // the range check accepts.
    void stepFieldsTakeThreeDigits() {
        FMainDate &w = window();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        for (QLineEdit *f : {w.TStep, w.TStepS, w.TStepE}) {
            test::real::click(f);
            QTRY_COMPARE(f->selectedText(), f->text());
            test::real::type(QStringLiteral("1234"));
            QCOMPARE(f->text(), QStringLiteral("123"));
        }
        // From an input method too.
        test::real::click(w.TStep);
        QTRY_COMPARE(w.TStep->selectedText(), w.TStep->text());
        test::real::commit(QStringLiteral("2345"));
        QCOMPARE(w.TStep->text(), QStringLiteral("234"));
        test::real::key(Qt::Key_Tab);
        QVERIFY(m_doubles->prompter.shown.isEmpty());
        QCOMPARE(m_doubles->prompter.beeps, 0);
    }

    // A spinner's arrow moves its own field and stops at that field's limit.
    void spinnersStopAtTheirLimits_data() {
        QTest::addColumn<QString>("spinner");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("from");
        QTest::addColumn<bool>("up");
        QTest::addColumn<QString>("limit");
        auto row = [](const char *what, const char *spinner, const char *field, const char *from,
                      bool up, const char *limit) {
            QTest::newRow(what) << QString::fromLatin1(spinner) << QString::fromLatin1(field)
                                << QString::fromLatin1(from) << up << QString::fromLatin1(limit);
        };
        row("start year up to 2100", "UpDownYS", "TStartY", "2099", true, "2100");
        row("start year down to 2000", "UpDownYS", "TStartY", "2001", false, "2000");
        row("end year down to the start year", "UpDownYE", "TEndY", "2027", false, "2026");
        row("end month up to 12", "UpDownMonE", "TEndM", "11", true, "12");
        row("start hour up to 23", "UpDownYHS", "TStartH", "22", true, "23");
        row("end minute up to 59", "UpDown1", "TEndMin", "58", true, "59");
        row("end second down to 00", "UpDown3", "TEndSec", "01", false, "00");
        row("step up to 300", "UpDownTStep", "TStep", "299", true, "300");
        row("step down to 1", "UpDownTStep", "TStep", "2", false, "1");
        row("random start up to 10 below its end", "UpDownTStepS", "TStepS", "79", true, "80");
    }
    void spinnersStopAtTheirLimits() {
        QFETCH(QString, spinner);
        QFETCH(QString, field);
        QFETCH(QString, from);
        QFETCH(bool, up);
        QFETCH(QString, limit);
        FMainDate &w = window();
        auto *spin = w.findChild<UpDown *>(spinner);
        auto *edit = w.findChild<QLineEdit *>(field);
        QVERIFY(spin && edit);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        edit->setText(from);
        QWidget *arrow = up ? spin->upButton() : spin->downButton();
        test::real::click(arrow);
        QCOMPARE(edit->text(), limit);
        test::real::click(arrow);
        QCOMPARE(edit->text(), limit);
    }

    // The plan counts in minutes or seconds: hours and days are shown but cannot be chosen.
    void onlyMinutesAndSecondsCanBeChosen() {
        FMainDate &w = window();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        auto unit = [&] { return w.features().timeFields->timeWindow().unit; };
        QCOMPARE(unit(), TimeWindow::Unit::Minutes);
        test::real::click(w.OptHour);
        test::real::click(w.OptDay);
        QVERIFY(w.OptMin->isChecked());
        QCOMPARE(unit(), TimeWindow::Unit::Minutes);
        test::real::click(w.OptSec);
        QCOMPARE(unit(), TimeWindow::Unit::Seconds);
        QCOMPARE(w.Label19->text(), QStringLiteral("秒。"));
    }

    // With the default types off, the list offers types to pick, the default pictures among
    // them; the count follows the pick.
    void pickingATypeFromTheList() {
        FMainDate &w = window();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        test::real::click(w.ChPatternDefault);
        QVERIFY(w.CmbFileFilter->isEnabled());
        QComboBox *box = w.CmbFileFilter;
        auto pick = [&](const QString &type) {
            const int i = box->findText(type);
            QVERIFY2(i >= 0, qPrintable(type));
            QStyleOptionComboBox option;
            option.initFrom(box);
            option.editable = true;
            const QRect arrow = box->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                             QStyle::SC_ComboBoxArrow, box);
            test::real::click(box, arrow.center());
            QAbstractItemView *list = box->view();
            QTRY_VERIFY(list->isVisible());
            const QModelIndex item = list->model()->index(i, 0);
            list->scrollTo(item);
            test::real::click(list->viewport(), list->visualRect(item).center());
            QTRY_VERIFY(!list->isVisible());
            QCOMPARE(box->currentText(), type);
        };
        pick(QStringLiteral("*.txt"));
        QCOMPARE(w.LFilesCount->text(), QStringLiteral("目标文件数共1个。"));
        pick(FMainDate::defaultPattern());
        QCOMPARE(w.LFilesCount->text(), QStringLiteral("目标文件数共3个。"));
        test::real::key(Qt::Key_Tab); // leaving the box checks the type
        QVERIFY(m_doubles->prompter.shown.isEmpty());
    }

    // A screen reader names the shooting-date dialog's amount fields after the option beside
    // them, and a spinner after its field.
    void photoDialogFieldsAreNamedByTheirOption() {
        FPhotoDate dialog(*m_services);
        auto spoken = [](QWidget *w) {
            return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
        };
        auto caption = [](const QAbstractButton *b) {
            QString text = b->text();
            if (text.endsWith(QStringLiteral("：")))
                text.chop(1);
            return text;
        };
        QCOMPARE(spoken(dialog.TStep), caption(dialog.Option1));
        QCOMPARE(spoken(dialog.TStepS), caption(dialog.Option2));
        QCOMPARE(spoken(dialog.UpDownTStepS), spoken(dialog.TStepS));
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

    // The keys of every desktop program: F1 opens the help, Ctrl+Q closes through the question.
    void helpAndQuitKeys() {
        FMainDate &w = window();
        w.show();
        test::real::activate(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QString title;
        QTimer::singleShot(0, this, [&] {
            QWidget *dialog = QApplication::activeModalWidget();
            QVERIFY(dialog);
            title = dialog->windowTitle();
            dialog->close();
        });
        test::real::key(Qt::Key_F1);
        QCOMPARE(title, QStringLiteral("使用说明"));
        test::real::activate(&w); // back from the help window
        m_doubles->prompter.answer(MsgAnswer::Cancel);
        test::real::key(Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(m_doubles->prompter.texts(), QStringList{QStringLiteral("确定退出？")});
        QVERIFY(w.isVisible());
        m_doubles->prompter.answer(MsgAnswer::Ok);
        test::real::key(Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!w.isVisible());
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
