#include "ui/file_grid_view.h"

#include "ui/file_grid.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>

namespace kalmora {

FileGridView::FileGridView(FileGrid *grid, QWidget *parent) : FileGridView(parent) {
    setGrid(grid);
}

FileGridView::FileGridView(QWidget *parent) : QTableView(parent) {
    const int dateWidth = fontMetrics().horizontalAdvance(QStringLiteral("2011-08-27 20:11:00"));
    m_scale = std::max(1.0, (dateWidth + 14) / (1850 / 15.0));
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setHighlightSections(false);
    // The last shown column (the results) takes the free width: its texts are the longest.
    horizontalHeader()->setStretchLastSection(true);
    setEditTriggers(NoEditTriggers);
    setSelectionMode(ContiguousSelection);
    setSelectionBehavior(SelectItems);
    setVerticalScrollMode(ScrollPerItem);
    setWordWrap(false);
    viewport()->setMouseTracking(true);
}

void FileGridView::setGrid(FileGrid *grid) {
    m_grid = grid;
    setModel(grid);
    for (int c = 0; c < FileGrid::Cols; ++c)
        applyWidth(c);
    connect(grid, &FileGrid::colWidthChanged, this, &FileGridView::applyWidth);
    connect(grid, &FileGrid::selectionMoved, this, &FileGridView::showGridSelection);
    connect(grid, &FileGrid::topRowChanged, this, [this] {
        if (m_syncing)
            return;
        m_syncing = true;
        verticalScrollBar()->setValue(m_grid->topRow() - 1);
        m_syncing = false;
    });
    // While rows come and go the view's own selection moves; the grid's selection holds.
    connect(grid, &QAbstractItemModel::rowsInserted, this, &FileGridView::showGridSelection);
    connect(grid, &QAbstractItemModel::rowsRemoved, this, &FileGridView::showGridSelection);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FileGridView::takeViewSelection);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            &FileGridView::takeViewSelection);
    showGridSelection();
}

void FileGridView::applyWidth(int col) {
    const int twips = m_grid->colWidth(col);
    setColumnHidden(col, twips == 0);
    if (twips > 0)
        setColumnWidth(col, twipsToPixels(twips));
}

void FileGridView::showGridSelection() {
    if (m_syncing || m_grid->changingRows() || m_grid->rows() < 2)
        return;
    m_syncing = true;
    const QModelIndex start = m_grid->index(m_grid->row() - 1, m_grid->col());
    const QModelIndex end = m_grid->index(m_grid->rowSel() - 1, m_grid->colSel());
    selectionModel()->setCurrentIndex(end, QItemSelectionModel::NoUpdate);
    selectionModel()->select(QItemSelection(start, end), QItemSelectionModel::ClearAndSelect);
    m_syncing = false;
}

void FileGridView::takeViewSelection() {
    if (m_syncing || m_grid->changingRows())
        return;
    const QModelIndex current = selectionModel()->currentIndex();
    if (!current.isValid())
        return;
    // The current cell is the moving end of the selection (RowSel, ColSel); the opposite corner
    // of its range is where the selection started (Row, Col).
    int row = current.row(), col = current.column();
    const QItemSelection sel = selectionModel()->selection();
    for (const QItemSelectionRange &range : sel) {
        if (!range.contains(current))
            continue;
        row = range.top() == current.row() ? range.bottom() : range.top();
        col = range.left() == current.column() ? range.right() : range.left();
    }
    m_syncing = true;
    m_grid->select(row + 1, col, current.row() + 1, current.column());
    m_syncing = false;
    // A handler may have adjusted the selection in answer; show what the grid now holds.
    if (m_grid->row() != row + 1 || m_grid->col() != col || m_grid->rowSel() != current.row() + 1 ||
        m_grid->colSel() != current.column())
        showGridSelection();
}

bool FileGridView::viewportEvent(QEvent *event) {
    if (event->type() == QEvent::MouseMove)
        emit pointerMoved();
    return QTableView::viewportEvent(event);
}

void FileGridView::mouseDoubleClickEvent(QMouseEvent *event) {
    QTableView::mouseDoubleClickEvent(event);
    emit gridDoubleClicked();
}

void FileGridView::scrollContentsBy(int dx, int dy) {
    QTableView::scrollContentsBy(dx, dy);
    if (m_syncing)
        return;
    m_syncing = true;
    m_grid->setTopRow(verticalScrollBar()->value() + 1);
    m_syncing = false;
}

} // namespace kalmora
