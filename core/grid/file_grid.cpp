#include "core/grid/file_grid.h"

#include "core/base/path_bytes.h"

#include <algorithm>

namespace kalmora {

FileGrid::FileGrid(QObject *parent) : QAbstractTableModel(parent), m_widths(Cols, 1000) {
    m_cells.append(QStringList(Cols, QString()));
}

void FileGrid::setRows(int rows) {
    rows = std::max(rows, 1);
    const int old = this->rows();
    m_changingRows = true;
    if (rows > old) {
        beginInsertRows({}, old - 1, rows - 2);
        for (int r = old; r < rows; ++r)
            m_cells.append(QStringList(Cols, QString()));
        endInsertRows();
    } else if (rows < old) {
        beginRemoveRows({}, rows - 1, old - 2);
        m_cells.resize(rows);
        endRemoveRows();
    }
    m_changingRows = false;
    if (m_row >= rows || m_rowSel >= rows)
        select(clampRow(m_row), m_col, clampRow(m_rowSel), m_colSel);
    if (m_topRow >= rows)
        setTopRow(rows - 1);
}

QString FileGrid::text(int row, int col) const {
    if (row < 0 || row >= rows() || col < 0 || col >= Cols)
        return {};
    return m_cells[row][col];
}

void FileGrid::setText(int row, int col, const QString &text) {
    setTexts(row, {{col, text}});
}

void FileGrid::setTexts(int row, std::initializer_list<std::pair<int, QString>> cells) {
    if (row < 0 || row >= rows())
        return;
    static const QList<int> Display{Qt::DisplayRole};
    int first = Cols, last = -1;
    QStringList &line = m_cells[row];
    for (const auto &[col, text] : cells) {
        if (col < 0 || col >= Cols || line[col] == text)
            continue;
        line[col] = text;
        first = std::min(first, col);
        last = std::max(last, col);
    }
    if (last < 0)
        return;
    if (row == 0)
        emit headerDataChanged(Qt::Horizontal, first, last);
    else
        emit dataChanged(index(row - 1, first), index(row - 1, last), Display);
}

void FileGrid::clearCells() {
    for (QStringList &r : m_cells)
        r = QStringList(Cols, QString());
    emit headerDataChanged(Qt::Horizontal, 0, Cols - 1);
    if (rows() > 1)
        emit dataChanged(index(0, 0), index(rows() - 2, Cols - 1), {Qt::DisplayRole});
}

void FileGrid::removeRow(int row) {
    if (row < 1 || row >= rows())
        return;
    m_changingRows = true;
    beginRemoveRows({}, row - 1, row - 1);
    m_cells.removeAt(row);
    endRemoveRows();
    m_changingRows = false;
    if (m_row >= rows() || m_rowSel >= rows())
        select(clampRow(m_row), m_col, clampRow(m_rowSel), m_colSel);
}

int FileGrid::colWidth(int col) const {
    return col >= 0 && col < Cols ? m_widths[col] : 0;
}

void FileGrid::setColWidth(int col, int twips) {
    if (col < 0 || col >= Cols || m_widths[col] == twips)
        return;
    m_widths[col] = std::max(twips, 0);
    emit colWidthChanged(col);
}

int FileGrid::clampRow(int row) const {
    return std::clamp(row, rows() > 1 ? 1 : 0, rows() - 1);
}

void FileGrid::setRow(int row) {
    select(row, m_col, row, m_col);
}

void FileGrid::select(int row, int col, int rowSel, int colSel) {
    row = clampRow(row);
    rowSel = clampRow(rowSel);
    col = std::clamp(col, 0, Cols - 1);
    colSel = std::clamp(colSel, 0, Cols - 1);
    if (row == m_row && col == m_col && rowSel == m_rowSel && colSel == m_colSel)
        return;
    m_row = row;
    m_col = col;
    m_rowSel = rowSel;
    m_colSel = colSel;
    emit selectionMoved();
}

void FileGrid::setTopRow(int row) {
    row = clampRow(row);
    if (row == m_topRow)
        return;
    m_topRow = row;
    emit topRowChanged();
}

int FileGrid::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : rows() - 1;
}

int FileGrid::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : Cols;
}

QVariant FileGrid::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    return DisplayName(text(index.row() + 1, index.column()));
}

QVariant FileGrid::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return text(0, section);
    return section + 1;
}

void ScrollAfterRow(FileGrid &grid, int i, int n) {
    if (i <= 1 || (i - 1) % 30 != 0)
        return;
    if (n - i > 30)
        grid.setTopRow(i);
    else
        grid.setTopRow(grid.topRow() + n - i + 1);
}

} // namespace kalmora
