#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QVector>

#include <initializer_list>
#include <utility>

namespace kalmora {

// The grid's contents: rows of eight text cells, row 0 the header row, data rows 1..rows()-1.
// It also keeps what the view shows of it: column widths in twips (0 hides a column), the
// current cell, the other end of the selection and the top visible data row. All feature code
// works on this model; the view follows it.
class FileGrid : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int Cols = 8;

    explicit FileGrid(QObject *parent = nullptr);

    int rows() const { return int(m_cells.size()); }
    void setRows(int rows); // header included; at least 1
    QString text(int row, int col) const;
    void setText(int row, int col, const QString &text);
    // Several cells of one row, told to the views as one change (a batch writes thousands of
    // rows a second).
    void setTexts(int row, std::initializer_list<std::pair<int, QString>> cells);
    void clearCells(); // every cell, the header row too
    void removeRow(int row);

    int colWidth(int col) const;
    void setColWidth(int col, int twips);

    // Current cell and the selection from it to (rowSel, colSel).
    int row() const { return m_row; }
    int col() const { return m_col; }
    int rowSel() const { return m_rowSel; }
    int colSel() const { return m_colSel; }
    void setRow(int row); // moves the current row; the selection collapses onto it
    void select(int row, int col, int rowSel, int colSel);
    void selectRow(int row) { select(row, 0, row, Cols - 1); }

    // True while rows are being inserted or removed: views must not feed their own adjusted
    // selection back meanwhile.
    bool changingRows() const { return m_changingRows; }

    int topRow() const { return m_topRow; }
    void setTopRow(int row);

    // QAbstractTableModel: data rows only; row 0 is the horizontal header.
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    void colWidthChanged(int col);
    void selectionMoved(); // current cell or selection changed
    void topRowChanged();

private:
    int clampRow(int row) const;

    QVector<QStringList> m_cells;
    QVector<int> m_widths;
    int m_row = 1, m_col = 0, m_rowSel = 1, m_colSel = 0;
    int m_topRow = 1;
    bool m_changingRows = false;
};

// Keeps a long loop's current row in view: after row i of n, every 30 rows, the grid moves on.
void ScrollAfterRow(FileGrid &grid, int row, int count);

} // namespace kalmora
