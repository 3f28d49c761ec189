#include "core/platform/comm_declare.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <sys/prctl.h>

namespace kalmora {

void PauseWithEvents(float seconds) {
    QElapsedTimer clock;
    clock.start();
    const qint64 limitNs = qint64(double(seconds) * 1e9);
    if (clock.nsecsElapsed() > limitNs)
        return;
    if (!QCoreApplication::instance()) {
        QThread::usleep(quint64(limitNs / 1000 + 1));
        return;
    }
    // The kernel may let a sleep run over by its timer slack (50 us by default) to group
    // wake-ups; over a batch's thousands of pauses that adds up to seconds.
    thread_local const bool slackSet = prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0) == 0;
    Q_UNUSED(slackSet);
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    // The timer counts whole milliseconds; rounding up would overshoot each pause by up to one,
    // which adds up over a batch's thousands of pauses. The last fraction is slept off instead.
    for (qint64 elapsed = clock.nsecsElapsed(); elapsed <= limitNs;
         elapsed = clock.nsecsElapsed()) {
        const qint64 remainingNs = limitNs - elapsed;
        if (remainingNs >= 1000000) {
            timer.start(int(remainingNs / 1000000));
            loop.exec();
        } else {
            QThread::usleep(quint64(remainingNs / 1000 + 1));
        }
    }
}

namespace {
int batchDepth = 0;
bool stopAsked = false;
} // namespace

BatchBreath::BatchBreath() {
    if (batchDepth++ == 0) {
        stopAsked = false;
        emit notifier().runningChanged(true);
    }
    // Not started: the first row's breath handles events, as the loop's preparation (listing a
    // folder, sizing the grid) ran without any.
}

BatchBreath::~BatchBreath() {
    if (--batchDepth == 0) {
        stopAsked = false;
        emit notifier().runningChanged(false);
    }
}

bool BatchBreath::breathe() {
    if (!m_sinceEvents.isValid() || m_sinceEvents.elapsed() >= BreathIntervalMs) {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        m_sinceEvents.start();
    }
    m_stopped = m_stopped || stopAsked;
    return m_stopped;
}

bool BatchBreath::stopped() const {
    return m_stopped || stopAsked;
}

bool BatchBreath::stopAskedNow() {
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_sinceEvents.start();
    return stopped();
}

bool BatchBreath::running() {
    return batchDepth > 0;
}

void BatchBreath::requestStop() {
    if (batchDepth == 0)
        return;
    stopAsked = true;
    emit notifier().stopRequested();
}

BatchSignals &BatchBreath::notifier() {
    static BatchSignals s;
    return s;
}

QString ShortPathOf(const QString &path) {
    if (path.isEmpty() || !QFileInfo::exists(path))
        return {};
    return path;
}

QString StringFromWidePointer(const wchar_t *pointer) {
    if (!pointer)
        return {};
    return QString::fromWCharArray(pointer);
}

} // namespace kalmora
