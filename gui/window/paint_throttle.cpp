#include "gui/window/paint_throttle.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace kalmora {

PaintThrottle::PaintThrottle(QWidget *window, std::function<bool()> batchRunning, int intervalMs)
    : QObject(window), m_window(window), m_batchRunning(std::move(batchRunning)),
      m_intervalMs(intervalMs) {
    m_deferred.setSingleShot(true);
    m_deferred.setTimerType(Qt::PreciseTimer);
    // The held request is sent again later; until then the window posts no other request, as
    // one is still outstanding for it.
    connect(&m_deferred, &QTimer::timeout, this, [this] {
        QCoreApplication::postEvent(m_window, new QEvent(QEvent::UpdateRequest),
                                    Qt::LowEventPriority);
    });
    window->installEventFilter(this);
}

bool PaintThrottle::eventFilter(QObject *watched, QEvent *event) {
    if (watched != m_window || event->type() != QEvent::UpdateRequest)
        return false;
    if (m_deferred.isActive())
        return true;
    if (m_sincePaint.isValid() && m_batchRunning()) {
        const qint64 wait = m_intervalMs - m_sincePaint.elapsed();
        if (wait > 0) {
            m_deferred.start(int(wait));
            return true;
        }
    }
    m_sincePaint.start();
    return false;
}

} // namespace kalmora
