#include "gui/window/window_batch.h"

#include "core/journal/journal.h"
#include "core/platform/comm_declare.h"
#include "gui/window/main_window.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressBar>
#include <QScopeGuard>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace kalmora {

namespace {

// Rows from the runner's thread to the window's. Rows are shown in batches as the window's
// thread gets to them, so the runner never waits for a repaint; with BreathIntervalMs at 0
// (tests) each row is shown, and the events pending after it handled, before the runner goes
// on, so that what a test posts at a row is seen there.
class WindowSink final : public QObject, public BatchSink {
public:
    WindowSink(FMainDate &window, std::function<void(const BatchRow &)> showRow, bool progress,
               std::function<bool(int)> again)
        : w(window), m_showRow(std::move(showRow)), m_progressShown(progress),
          m_again(std::move(again)) {}

    bool again(int failed) override {
        if (!m_again)
            return false;
        return OnWindowThread([&] {
            flush();
            return m_again(failed);
        });
    }

    void row(const BatchRow &row) override {
        if (BatchBreath::BreathIntervalMs == 0) {
            QMetaObject::invokeMethod(
                this,
                [this, row] {
                    show(row);
                    QCoreApplication::processEvents(QEventLoop::AllEvents);
                },
                Qt::BlockingQueuedConnection);
            return;
        }
        std::unique_lock lock(m_mutex);
        // The worker goes no further ahead of the window than this: the rows wait in memory
        // until shown (the window shows them while it waits, and drops no row).
        m_room.wait(lock, [this] { return m_rows.size() < MaxWaiting; });
        m_rows.push_back(row);
        if (m_posted)
            return;
        m_posted = true;
        QMetaObject::invokeMethod(
            this, [this] { showSome(); }, Qt::QueuedConnection);
    }

    void progress(int, int total) override { m_total.store(total, std::memory_order_relaxed); }

    // Tests (BreathIntervalMs at 0): the bar moves before each change and the events pending
    // then are handled, as a Stop clicked there is.
    void changing(int i, int total) override {
        if (BatchBreath::BreathIntervalMs != 0)
            return;
        QMetaObject::invokeMethod(
            this,
            [this, i, total] {
                if (m_progressShown)
                    w.ProgressBar1->setValue(int(qint64(i + 1) * 100 / total));
                QCoreApplication::processEvents(QEventLoop::AllEvents);
            },
            Qt::BlockingQueuedConnection);
    }

    // The bar says why nothing moves; the user's Stop ends the wait.
    void journalBusy(bool waiting) override {
        QMetaObject::invokeMethod(
            this,
            [this, waiting] {
                w.ProgressBar1->setFormat(waiting ? QStringLiteral("等待另一批操作写完撤销记录…")
                                                  : QStringLiteral("%p%"));
            },
            Qt::QueuedConnection);
    }

    bool goOnWithoutJournal(const QString &reason) override {
        // A damaged journal was set aside: the next batch makes a new one, so nothing to ask.
        if (IsSetAsideText(reason))
            return false;
        return OnWindowThread([&] {
            flush();
            const MsgAnswer answer = w.services().prompter.show(
                JournalGoOnText(reason), MsgIcon::Warning, MsgButtons::YesNo,
                QStringLiteral("消息"), MsgAnswer::No);
            m_declined = answer != MsgAnswer::Yes;
            return !m_declined;
        });
    }

    void journalFailed(bool started, const QString &reason) override {
        if (m_declined && !started)
            return; // the user said no to going on: nothing more to say
        OnWindowThread([&] {
            flush();
            w.services().prompter.show(
                started ? JournalStopText(reason) : JournalFailureText(reason), MsgIcon::Warning);
            return true;
        });
    }

    // Shows every row that has come so far.
    void flush() {
        std::deque<BatchRow> rows;
        {
            const std::lock_guard lock(m_mutex);
            rows.swap(m_rows);
            m_posted = false;
        }
        m_room.notify_all();
        for (const BatchRow &row : rows)
            show(row);
    }

    // Shows the rows that have come for a few milliseconds, then lets the window handle its
    // events before the rest: a fast batch sends thousands of rows at a time.
    void showSome() {
        QElapsedTimer clock;
        clock.start();
        // A progress bar whose text changes paints itself there and then, and with it all else
        // that waits to be painted (the grid's rows: over 15 ms): held, it is marked for the
        // window's next paint instead.
        QProgressBar *bar = m_progressShown ? w.ProgressBar1 : nullptr;
        if (bar)
            bar->setUpdatesEnabled(false);
        const auto painted = qScopeGuard([bar] {
            if (bar)
                bar->setUpdatesEnabled(true);
        });
        for (;;) {
            BatchRow row;
            {
                const std::lock_guard lock(m_mutex);
                if (m_rows.empty()) {
                    m_posted = false;
                    return;
                }
                if (clock.nsecsElapsed() >= ShowBudgetNs) {
                    QMetaObject::invokeMethod(
                        this, [this] { showSome(); }, Qt::QueuedConnection);
                    return;
                }
                row = std::move(m_rows.front());
                m_rows.pop_front();
            }
            m_room.notify_all();
            show(row);
        }
    }

private:
    void show(const BatchRow &row) {
        m_showRow(row);
        // Row by row, as the rows come: the bar passes every percent.
        const int total = m_total.load(std::memory_order_relaxed);
        if (m_progressShown && total > 0)
            w.ProgressBar1->setValue(int(qint64(row.index + 1) * 100 / total));
    }

    // A paint of the window, which may come right before a slice, takes up to 15 ms on a slow
    // machine: with it, a slice stays near a frame at sixty a second.
    static constexpr qint64 ShowBudgetNs = 3'000'000;

    FMainDate &w;
    std::function<void(const BatchRow &)> m_showRow;
    bool m_progressShown;
    std::function<bool(int)> m_again;
    static constexpr size_t MaxWaiting = 1024;

    std::mutex m_mutex;
    std::condition_variable m_room; // a row was taken
    std::deque<BatchRow> m_rows;
    bool m_posted = false;
    bool m_declined = false; // the user chose not to go on without the journal
    std::atomic<int> m_total{0};
};

} // namespace

bool OnWindowThread(const std::function<bool()> &work) {
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return work();
    bool answer = false;
    QMetaObject::invokeMethod(
        app, [&] { answer = work(); }, Qt::BlockingQueuedConnection);
    return answer;
}

void RunOffWindowThread(const std::function<void()> &work, const std::function<void()> &stop) {
    QEventLoop loop;
    QThread *worker = QThread::create([&] {
        work();
        // After what the work has posted: the loop ends once that is handled.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    worker->start();
    loop.exec();
    if (!worker->isFinished()) {
        // The program is ending: the work stops after the file in hand, and its questions and
        // rows are still answered meanwhile.
        stop();
        while (!worker->wait(10))
            QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    delete worker;
}

BatchOutcome RunWindowBatch(FMainDate &window, BatchStep &step,
                            const std::function<void(const BatchRow &)> &showRow,
                            const WindowBatchOptions &batchOptions) {
    // Shows CmdStop and takes the user's Stop while the batch runs.
    const BatchBreath breath;
    WindowSink sink(window, showRow, batchOptions.progress, batchOptions.again);
    BatchOptions options;
    options.folder = window.LDir->text();
    options.journal = JournalConfigFrom(window.services().environment, window.services().settings,
                                        window.services().clock);
    options.journalWaitMs = 0; // the user's Stop ends the wait
    BatchRunner runner(step, sink, options);
    if (breath.stopped())
        runner.requestStop();
    const QMetaObject::Connection stop =
        QObject::connect(&BatchBreath::notifier(), &BatchSignals::stopRequested, &sink,
                         [&runner] { runner.requestStop(); });
    BatchOutcome outcome;
    RunOffWindowThread([&] { outcome = runner.run(); }, [&runner] { runner.requestStop(); });
    QObject::disconnect(stop);
    sink.flush();
    return outcome;
}

int RunWindowReads(FMainDate &window, int count, const std::function<void(int, BatchRow &)> &read,
                   const std::function<void(const BatchRow &)> &showRow) {
    const BatchBreath breath;
    WindowSink sink(window, showRow, true, {});
    sink.progress(0, count);
    std::atomic<bool> stop = breath.stopped();
    const QMetaObject::Connection stopped =
        QObject::connect(&BatchBreath::notifier(), &BatchSignals::stopRequested, &sink,
                         [&stop] { stop.store(true); });
    int done = 0;
    RunOffWindowThread(
        [&] {
            // At least one row, as every loop: a stop asked before the first ends it after that.
            while (done < count) {
                BatchRow row;
                row.index = done;
                read(done, row);
                sink.row(row);
                ++done;
                if (stop.load())
                    break;
            }
        },
        [&stop] { stop.store(true); });
    QObject::disconnect(stopped);
    sink.flush();
    return done;
}

} // namespace kalmora
