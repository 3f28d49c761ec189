#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

namespace kalmora {

// Holds a window's repaints to one per interval while a batch runs. The batch loops change the
// grid, its selection and the progress bar on every row and handle events every few
// milliseconds; painting the window each time costs more than the rows' own work, and the eye
// does not follow more than a few dozen frames a second. Outside a batch every repaint passes at
// once. A held repaint goes out at the loop's next event handling (up to 16 ms late, more on a
// busy machine), so 64 ms keeps the progress bar moving more than ten times a second.
class PaintThrottle : public QObject {
public:
    PaintThrottle(QWidget *window, std::function<bool()> batchRunning, int intervalMs = 64);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    std::function<bool()> m_batchRunning;
    int m_intervalMs;
    QElapsedTimer m_sincePaint;
    QTimer m_deferred;
};

} // namespace kalmora
