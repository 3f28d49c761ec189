#include "tests/support/real_input.h"

#include <QApplication>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QInputMethodQueryEvent>
#include <QStyleHints>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

namespace kalmora::test::real {

namespace {

// One clock for every event sent, as the window system stamps them; separate clicks lie further
// apart than a double-click.
ulong timestamp = 1000000;

ulong later(ulong ms) {
    timestamp += ms;
    return timestamp;
}

void flush() {
    QWindowSystemInterface::flushWindowSystemEvents();
    QCoreApplication::processEvents();
}

QWindow *windowOf(QWidget *widget) {
    QWidget *top = widget->window();
    if (!top->windowHandle())
        top->winId();
    return top->windowHandle();
}

void mouse(QWidget *widget, QPoint pos, Qt::MouseButtons state, Qt::MouseButton button,
           QEvent::Type type, ulong ms) {
    QWindow *window = windowOf(widget);
    if (pos.isNull()) {
        // A check box or option reacts on its indicator and caption only, which a layout may
        // leave at the left of a wide widget.
        const bool indicator = widget->inherits("QCheckBox") || widget->inherits("QRadioButton");
        pos = indicator ? QPoint(8, widget->height() / 2) : widget->rect().center();
    }
    const QPoint local = widget->mapTo(widget->window(), pos);
    const QPoint global = widget->window()->mapToGlobal(local);
    QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::SynchronousDelivery>(
        window, later(ms), QPointF(local), QPointF(global), state, button, type);
    flush();
}

QWindow *focusWindow() {
    if (QWindow *w = QGuiApplication::focusWindow())
        return w;
    QWidget *active = QApplication::activeWindow();
    return active ? active->windowHandle() : nullptr;
}

} // namespace

void click(QWidget *widget, QPoint pos, Qt::MouseButton button) {
    const ulong apart = ulong(QGuiApplication::styleHints()->mouseDoubleClickInterval()) + 100;
    mouse(widget, pos, button, button, QEvent::MouseButtonPress, apart);
    mouse(widget, pos, Qt::NoButton, button, QEvent::MouseButtonRelease, 20);
}

void doubleClick(QWidget *widget, QPoint pos) {
    const ulong apart = ulong(QGuiApplication::styleHints()->mouseDoubleClickInterval()) + 100;
    mouse(widget, pos, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress, apart);
    mouse(widget, pos, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease, 20);
    mouse(widget, pos, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress, 20);
    mouse(widget, pos, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease, 20);
}

QString x11Text(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    if (modifiers & (Qt::ControlModifier | Qt::MetaModifier))
        return key >= Qt::Key_A && key <= Qt::Key_Z ? QString(QChar(key - Qt::Key_A + 1))
                                                    : QString();
    switch (key) {
    case Qt::Key_Delete:
        return QString(QChar(0x7f));
    case Qt::Key_Backspace:
        return QString(QChar(0x08));
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QStringLiteral("\r");
    case Qt::Key_Escape:
        return QString(QChar(0x1b));
    case Qt::Key_Tab:
        return QStringLiteral("\t");
    default:
        break;
    }
    if (key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde) {
        QChar c(key);
        return (modifiers & Qt::ShiftModifier) ? QString(c) : QString(c.toLower());
    }
    return {};
}

void key(Qt::Key k, Qt::KeyboardModifiers modifiers) {
    key(k, modifiers, x11Text(k, modifiers));
}

void key(Qt::Key k, Qt::KeyboardModifiers modifiers, const QString &text) {
    QWindow *window = focusWindow();
    QVERIFY2(window, "no window has the keyboard");
    // The window system tries the shortcuts before it delivers the press.
    QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::SynchronousDelivery>(
        window, later(30), QEvent::KeyPress, k, modifiers, text);
    flush();
    QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::SynchronousDelivery>(
        window, later(30), QEvent::KeyRelease, k, modifiers, text);
    flush();
}

void type(const QString &text) {
    for (const QChar c : text) {
        Qt::KeyboardModifiers modifiers;
        int k = c.toUpper().unicode();
        if (c.isUpper() || QStringLiteral("~!@#$%^&*()_+{}|:\"<>?").contains(c))
            modifiers = Qt::ShiftModifier;
        key(Qt::Key(k), modifiers, QString(c));
    }
}

void commit(const QString &text, const QString &preedit) {
    QObject *target = QGuiApplication::focusObject();
    QVERIFY2(target, "nothing has the focus");
    QInputMethodQueryEvent query(Qt::ImEnabled);
    QCoreApplication::sendEvent(target, &query);
    if (!query.value(Qt::ImEnabled).toBool())
        return; // an input method does not write into this widget
    if (!preedit.isEmpty()) {
        QInputMethodEvent composing(preedit, {});
        QCoreApplication::sendEvent(target, &composing);
        flush();
    }
    QInputMethodEvent done;
    done.setCommitString(text);
    QCoreApplication::sendEvent(target, &done);
    flush();
}

void leaveForAnotherApplication() {
    QWindowSystemInterface::handleWindowActivated<QWindowSystemInterface::SynchronousDelivery>(
        nullptr, Qt::ActiveWindowFocusReason);
    flush();
}

void returnFromAnotherApplication(QWidget *window) {
    if (QGuiApplication::focusWindow())
        leaveForAnotherApplication();
    activate(window);
}

void messageBoxClosedOver(QWidget *window) {
    QWidget box(window, Qt::Dialog);
    box.setWindowTitle(QStringLiteral("消息"));
    box.resize(200, 80);
    box.show();
    activate(&box);
    box.hide();
    activate(window);
}

void activate(QWidget *window) {
    QWindowSystemInterface::handleWindowActivated<QWindowSystemInterface::SynchronousDelivery>(
        windowOf(window), Qt::ActiveWindowFocusReason);
    flush();
}

bool closeWindow(QWidget *window) {
    const bool closed =
        QWindowSystemInterface::handleCloseEvent<QWindowSystemInterface::SynchronousDelivery>(
            windowOf(window));
    flush();
    return closed;
}

} // namespace kalmora::test::real
