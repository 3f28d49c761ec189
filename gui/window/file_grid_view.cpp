#include "gui/window/file_grid_view.h"

#include "core/grid/file_grid.h"
#include "core/platform/comm_declare.h"

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
    connect(&BatchBreath::notifier(), &BatchSignals::runningChanged, this,
            &FileGridView::holdDuringBatch);
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
    const int row = m_grid->rowSel() - 1, col = m_grid->colSel();
    // A drag in the grid scrolls on its own terms: follow the rows one by one then.
    if (m_holding && state() == NoState) {
        const bool moved = m_held.selection
                               ? row != m_held.currentRow || col != m_held.currentCol
                               : selectionModel()->currentIndex() != m_grid->index(row, col);
        // The scroll that a new current cell brings happens now, as it would have.
        if (moved && isVisible() && hasAutoScroll()) {
            m_syncing = true;
            scrollTo(m_grid->index(row, col));
            m_syncing = false;
        }
        m_held.selection = true;
        m_held.currentRow = row;
        m_held.currentCol = col;
        m_held.scrolled = isVisible();
        return;
    }
    m_held.selection = false;
    putSelection(false);
}

void FileGridView::putSelection(bool scrolled) {
    m_syncing = true;
    const QModelIndex start = m_grid->index(m_grid->row() - 1, m_grid->col());
    const QModelIndex end = m_grid->index(m_grid->rowSel() - 1, m_grid->colSel());
    const bool autoScroll = hasAutoScroll();
    if (scrolled && isVisible())
        setAutoScroll(false);
    selectionModel()->setCurrentIndex(end, QItemSelectionModel::NoUpdate);
    selectionModel()->select(QItemSelection(start, end), QItemSelectionModel::ClearAndSelect);
    setAutoScroll(autoScroll);
    m_syncing = false;
}

void FileGridView::takeViewSelection() {
    // A held selection is the grid's: what the view holds meanwhile is out of date.
    if (m_syncing || m_grid->changingRows() || m_held.selection)
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

void FileGridView::holdDuringBatch(bool running) {
    if (running) {
        m_holding = true;
        QWidget *top = window();
        if (top != m_paintWatched) {
            if (m_paintWatched)
                m_paintWatched->removeEventFilter(this);
            m_paintWatched = top;
            top->installEventFilter(this);
        }
        return;
    }
    showHeld();
    m_holding = false;
}

void FileGridView::showHeld() {
    if (m_syncing)
        return;
    if (m_held.top >= 0) {
        const Held held = m_held;
        m_held.top = m_held.bottom = m_held.left = m_held.right = -1;
        const int bottom = std::min(held.bottom, m_grid->rowCount() - 1);
        if (held.top <= bottom)
            QTableView::dataChanged(m_grid->index(held.top, held.left),
                                    m_grid->index(bottom, held.right), held.roles);
    }
    if (m_held.selection) {
        m_held.selection = false;
        if (!m_grid->changingRows() && m_grid->rows() >= 2)
            putSelection(m_held.scrolled);
    }
}

void FileGridView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                               const QList<int> &roles) {
    if (!m_holding || !topLeft.isValid() || !bottomRight.isValid())
        return QTableView::dataChanged(topLeft, bottomRight, roles);
    if (m_held.top < 0) {
        m_held.top = topLeft.row();
        m_held.bottom = bottomRight.row();
        m_held.left = topLeft.column();
        m_held.right = bottomRight.column();
        m_held.roles = roles;
        return;
    }
    m_held.top = std::min(m_held.top, topLeft.row());
    m_held.bottom = std::max(m_held.bottom, bottomRight.row());
    m_held.left = std::min(m_held.left, topLeft.column());
    m_held.right = std::max(m_held.right, bottomRight.column());
    if (roles != m_held.roles)
        m_held.roles.clear(); // every role
}

bool FileGridView::eventFilter(QObject *watched, QEvent *event) {
    // Every paint of the window starts with an update request to it.
    if (m_holding && watched == m_paintWatched && event->type() == QEvent::UpdateRequest)
        showHeld();
    return QTableView::eventFilter(watched, event);
}

bool FileGridView::event(QEvent *event) {
    if (m_holding && (event->isInputEvent() || event->type() == QEvent::FocusIn ||
                      event->type() == QEvent::FocusOut || event->type() == QEvent::Show ||
                      event->type() == QEvent::Hide))
        showHeld();
    return QTableView::event(event);
}

bool FileGridView::viewportEvent(QEvent *event) {
    if (m_holding && event->isInputEvent())
        showHeld();
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
