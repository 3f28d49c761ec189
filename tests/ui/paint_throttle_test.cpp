#include "gui/window/paint_throttle.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QVBoxLayout>

using namespace kalmora;

namespace {

// Counts the paint events of one widget and remembers the text it showed at the last one.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QLabel *label) : m_label(label) { label->installEventFilter(this); }
    int paints = 0;
    QString paintedText;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            paintedText = m_label->text();
        }
        return false;
    }

private:
    QLabel *m_label;
};

} // namespace

class PaintThrottleTest : public QObject {
    Q_OBJECT
private slots:
    // During a batch the window paints at most once per interval, and the last change is
    // always painted in the end; outside a batch every change is painted at once.
    void holdsRepaintsWhileABatchRuns() {
        QWidget window;
        auto *label = new QLabel(QStringLiteral("0"), &window);
        (new QVBoxLayout(&window))->addWidget(label);
        bool batch = false;
        new PaintThrottle(
            &window, [&] { return batch; }, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        PaintCounter counter(label);

        label->setText(QStringLiteral("idle"));
        QTRY_COMPARE_WITH_TIMEOUT(counter.paintedText, QStringLiteral("idle"), 1000);

        batch = true;
        QElapsedTimer clock;
        clock.start();
        const int before = counter.paints;
        for (int i = 1; i <= 40; ++i) { // 40 changes over about 400 ms
            label->setText(QString::number(i));
            label->repaint(); // an immediate repaint is held too
            QTest::qWait(10);
        }
        const qint64 spent = clock.elapsed();
        QTRY_COMPARE_WITH_TIMEOUT(counter.paintedText, QStringLiteral("40"), 1000);
        // One paint per started interval of 200 ms, plus the held one at the end.
        QVERIFY2(counter.paints - before <= spent / 200 + 2,
                 qPrintable(QString::number(counter.paints - before)));

        batch = false;
        label->setText(QStringLiteral("after"));
        QTRY_COMPARE_WITH_TIMEOUT(counter.paintedText, QStringLiteral("after"), 150);
    }
};

QTEST_MAIN(PaintThrottleTest)
#include "paint_throttle_test.moc"
