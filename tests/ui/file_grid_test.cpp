#include "core/grid/file_grid.h"
#include "core/platform/comm_declare.h"
#include "gui/window/file_grid_view.h"
#include "gui/window/up_down.h"
#include "tests/support/real_input.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace kalmora;

class FileGridTest : public QObject {
    Q_OBJECT
private slots:
    void rowsAndCells() {
        FileGrid g;
        QCOMPARE(g.rows(), 1);
        g.setRows(11);
        QCOMPARE(g.rows(), 11);
        QCOMPARE(g.rowCount(), 10);
        g.setText(0, 0, QStringLiteral("文件名"));
        for (int r = 1; r <= 10; ++r)
            g.setText(r, 0, QStringLiteral("f%1").arg(r));
        g.removeRow(3);
        QCOMPARE(g.rows(), 10);
        QCOMPARE(g.text(3, 0), QStringLiteral("f4"));
        g.removeRow(0); // the header row stays
        QCOMPARE(g.text(0, 0), QStringLiteral("文件名"));
        QCOMPARE(g.text(99, 0), QString());
        QCOMPARE(g.text(1, 8), QString());
        g.setText(99, 0, QStringLiteral("ignored"));
        g.clearCells();
        QCOMPARE(g.rows(), 10);
        QCOMPARE(g.text(0, 0), QString());
        QCOMPARE(g.text(1, 0), QString());
    }

    // Several cells of a row reach the views as one change over the cells that changed; cells
    // that already hold the text, and cells outside the grid, change nothing.
    void cellsOfARowChangeTogether() {
        FileGrid g;
        g.setRows(3);
        g.setText(2, 3, QStringLiteral("same"));
        QSignalSpy changed(&g, &QAbstractItemModel::dataChanged);
        g.setTexts(2, {{5, QStringLiteral("修改成功")},
                       {3, QStringLiteral("same")},
                       {2, QStringLiteral("2015-01-02 03:04:05")},
                       {9, QStringLiteral("ignored")}});
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed[0][0].toModelIndex(), g.index(1, 2));
        QCOMPARE(changed[0][1].toModelIndex(), g.index(1, 5));
        QCOMPARE(g.text(2, 5), QStringLiteral("修改成功"));
        QCOMPARE(g.text(2, 2), QStringLiteral("2015-01-02 03:04:05"));
        g.setTexts(2, {{3, QStringLiteral("same")}});
        g.setTexts(7, {{0, QStringLiteral("no such row")}});
        QCOMPARE(changed.size(), 1);
    }

    void selectionStaysInsideTheRows() {
        FileGrid g;
        g.setRows(31);
        g.select(30, 1, 25, 7);
        g.setRows(11);
        QCOMPARE(g.row(), 10);
        QCOMPARE(g.rowSel(), 10);
        g.setRow(0); // the header is never the current row while data rows exist
        QCOMPARE(g.row(), 1);
        g.select(2, -5, 3, 99);
        QCOMPARE(g.col(), 0);
        QCOMPARE(g.colSel(), 7);
    }

    void viewFollowsTheModel() {
        FileGrid g;
        g.setRows(41);
        for (int r = 1; r <= 40; ++r)
            g.setText(r, 0, QStringLiteral("row %1").arg(r));
        for (int c = 0; c < 8; ++c)
            g.setColWidth(c, c < 6 ? 1500 : 0);
        FileGridView view(&g);
        view.resize(600, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        QVERIFY(view.isColumnHidden(6));
        QVERIFY(view.isColumnHidden(7));
        QVERIFY(!view.isColumnHidden(0));
        QVERIFY(view.columnWidth(0) >= 100); // 1500 twips = 100 px or more
        g.setColWidth(0, 0);
        QVERIFY(view.isColumnHidden(0));
        g.setColWidth(0, 4940);
        QVERIFY(!view.isColumnHidden(0));
        QVERIFY(view.columnWidth(0) > view.columnWidth(1));

        g.select(5, 0, 7, 7);
        QCOMPARE(view.currentIndex().row(), 6); // the moving end
        const QModelIndexList selected = view.selectionModel()->selectedIndexes();
        QCOMPARE(selected.size(), 3 * 8); // hidden columns are selected too
        QVERIFY(view.selectionModel()->isSelected(g.index(6, 3)));

        g.setTopRow(20);
        QCOMPARE(view.verticalScrollBar()->value(), 19);
    }

    void modelFollowsTheUser() {
        FileGrid g;
        g.setRows(101);
        for (int c = 0; c < 8; ++c)
            g.setColWidth(c, 1500);
        FileGridView view(&g);
        view.resize(900, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QSignalSpy doubleClicks(&view, &FileGridView::gridDoubleClicked);

        const QRect cell = view.visualRect(g.index(3, 2));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(g.row(), 4);
        QCOMPARE(g.col(), 2);
        const QRect other = view.visualRect(g.index(6, 4));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier, other.center());
        QCOMPARE(g.row(), 4);
        QCOMPARE(g.rowSel(), 7);
        QCOMPARE(g.colSel(), 4);

        test::real::doubleClick(view.viewport(), cell.center());
        QCOMPARE(doubleClicks.count(), 1);

        view.verticalScrollBar()->setValue(5);
        QCOMPARE(g.topRow(), 6);
    }

    // During a batch the view takes the rows' changes at the window's paints; every paint and
    // every scroll position must still be what following each row would have given.
    void batchLooksAsRowByRow_data() {
        QTest::addColumn<int>("currentCol");
        QTest::newRow("current cell in a hidden column") << 7;
        QTest::newRow("current cell in a shown column, the view scrolls") << 0;
    }
    void batchLooksAsRowByRow() {
        QFETCH(int, currentCol);
        constexpr int N = 40;
        FileGrid g;
        g.setRows(N + 1);
        for (int r = 1; r <= N; ++r)
            g.setText(r, 0, QStringLiteral("file %1").arg(r));
        for (int c = 0; c < 8; ++c)
            g.setColWidth(c, c < 6 ? 1500 : 0);
        FileGridView view(&g);
        view.resize(600, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        struct Seen {
            QList<int> scroll, top;
            QList<QImage> paints;
            QModelIndex current;
        };
        const auto pass = [&](bool batch) {
            for (int r = 1; r <= N; ++r)
                g.setText(r, 5, QString());
            g.select(1, 0, 1, 0);
            g.setTopRow(1);
            view.viewport()->repaint();
            Seen seen;
            {
                std::optional<BatchBreath> running;
                if (batch)
                    running.emplace();
                for (int i = 1; i <= N; ++i) {
                    g.setText(i, 5, QStringLiteral("修改成功"));
                    g.select(i, currentCol, i, currentCol);
                    ScrollAfterRow(g, i, N);
                    seen.scroll << view.verticalScrollBar()->value();
                    seen.top << g.topRow();
                    if (i % 13 == 0) {
                        // Something small changes elsewhere and the window paints.
                        view.viewport()->update(QRect(0, 0, 1, 1));
                        QCoreApplication::processEvents();
                        seen.paints << view.screen()->grabWindow(view.winId()).toImage();
                    }
                }
            }
            seen.current = view.currentIndex();
            return seen;
        };
        const Seen rowByRow = pass(false), held = pass(true);
        QCOMPARE(held.scroll, rowByRow.scroll);
        QCOMPARE(held.top, rowByRow.top);
        QCOMPARE(held.paints.size(), 3);
        for (int k = 0; k < 3; ++k)
            QVERIFY2(held.paints[k] == rowByRow.paints[k], qPrintable(QString::number(k)));
        QCOMPARE(held.current, g.index(N - 1, currentCol)); // in step once the batch ends
        if (currentCol == 0)
            QVERIFY(rowByRow.scroll.last() > 0); // the case did scroll
    }

    void upDownSteps_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("up");
        QTest::addColumn<QString>("after");
        QTest::newRow("up from 05") << "05" << true << "6";
        QTest::newRow("down from 05") << "05" << false << "4";
        QTest::newRow("stops at the top") << "12" << true << "12";
        QTest::newRow("stops at the bottom") << "01" << false << "01";
        QTest::newRow("above the top comes down to it") << "31" << false << "12";
        QTest::newRow("not a number counts as 0") << "" << true << "1";
    }
    void upDownSteps() {
        QFETCH(QString, text);
        QFETCH(bool, up);
        QFETCH(QString, after);
        QLineEdit buddy(text);
        UpDown spin(QStringLiteral("UpDownMonS"), &buddy, 1, 12);
        QTest::mouseClick(up ? spin.upButton() : spin.downButton(), Qt::LeftButton);
        QCOMPARE(buddy.text(), after);
    }

    void upDownBoundsNeverRewriteTheBuddy() {
        QLineEdit buddy(QStringLiteral("90"));
        UpDown spin(QStringLiteral("UpDownTStepE"), &buddy, 2, 300);
        QSignalSpy changes(&buddy, &QLineEdit::textChanged);
        spin.setMax(10);
        spin.setMin(5);
        QCOMPARE(buddy.text(), QStringLiteral("90"));
        QCOMPARE(changes.count(), 0);
        // A handler can move the bound before the step takes it.
        connect(&spin, &UpDown::aboutToStep, &spin, [&] { spin.setMax(95); });
        spin.stepUp();
        QCOMPARE(buddy.text(), QStringLiteral("91"));
        QCOMPARE(spin.upButton()->accessibleDescription(), QStringLiteral("UpDownTStepE.up"));
        QCOMPARE(spin.downButton()->accessibleDescription(), QStringLiteral("UpDownTStepE.down"));
    }

    void leadingNumber() {
        QCOMPARE(LeadingNumber(QStringLiteral("  42abc")), 42);
        QCOMPARE(LeadingNumber(QStringLiteral("abc")), 0);
        QCOMPARE(LeadingNumber(QStringLiteral("")), 0);
        QCOMPARE(LeadingNumber(QStringLiteral("007")), 7);
        QCOMPARE(LeadingNumber(QStringLiteral("99999999999999")), 2000000000);
    }
};

QTEST_MAIN(FileGridTest)
#include "file_grid_test.moc"
