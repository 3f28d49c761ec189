#pragma once

#include <QPointer>
#include <QTableView>

namespace kalmora {

class FileGrid;

// Shows a FileGrid: row 0 as the horizontal header, widths from twips (15 twips per pixel at
// 96 dpi), and the grid's current cell, selection and top row kept in step both ways.
// While a batch loop runs, the changed cells and the moved selection are shown when the window
// is about to paint or the user touches the grid, not row by row: a loop changes thousands of
// rows between two paints, and the view's work per change costs more than the row's own. The
// scrolling that a new current cell brings still happens at once, so every paint shows what
// row-by-row updates would have shown.
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
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void applyWidth(int col);
    void showGridSelection();
    // The grid's current cell and selection into the view; `scrolled`: its scrolling is done.
    void putSelection(bool scrolled);
    void takeViewSelection();
    void holdDuringBatch(bool running);
    void showHeld();

    struct Held {
        bool selection = false;
        int currentRow = -1, currentCol = -1; // the model index last made current
        bool scrolled = false;                // the view was shown then, so it has scrolled to it
        int top = -1, bottom = -1, left = -1, right = -1; // changed cells, -1: none
        QList<int> roles;
    };

    FileGrid *m_grid = nullptr;
    bool m_syncing = false;
    double m_scale = 1.0;
    bool m_holding = false;
    Held m_held;
    QPointer<QWidget> m_paintWatched;
};

} // namespace kalmora
