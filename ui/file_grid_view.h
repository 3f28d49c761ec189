#pragma once

#include <QTableView>

namespace kalmora {

class FileGrid;

// Shows a FileGrid: row 0 as the horizontal header, widths from twips (15 twips per pixel at
// 96 dpi), and the grid's current cell, selection and top row kept in step both ways.
class FileGridView : public QTableView {
    Q_OBJECT
public:
    explicit FileGridView(FileGrid *grid, QWidget *parent = nullptr);
    // Shows nothing until setGrid().
    explicit FileGridView(QWidget *parent = nullptr);
    void setGrid(FileGrid *grid);
    FileGrid *grid() const { return m_grid; }

    // 15 twips per pixel at 96 dpi, widened when the font needs it: a time column (1850 twips)
    // must show a whole "yyyy-mm-dd hh:mm:ss".
    int twipsToPixels(int twips) const { return int(twips / 15.0 * m_scale); }

signals:
    void gridDoubleClicked();
    void pointerMoved();

protected:
    bool viewportEvent(QEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void applyWidth(int col);
    void showGridSelection();
    void takeViewSelection();

    FileGrid *m_grid = nullptr;
    bool m_syncing = false;
    double m_scale = 1.0;
};

} // namespace kalmora
