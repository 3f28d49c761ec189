#pragma once

// Input as a desktop session delivers it: through the window system into the top-level window,
// so Qt itself picks the widget, moves the focus, makes the double-click and tries the shortcuts.
// Widget-level test events skip all of that (a double-click without its last release, keys
// without the texts X11 gives, no input method, no activation from outside).
#include <QPoint>
#include <QString>

#include <Qt>

class QWidget;

namespace kalmora::test::real {

// Mouse, at the window level, at pos inside the widget (its centre by default).
void click(QWidget *widget, QPoint pos = {}, Qt::MouseButton button = Qt::LeftButton);
// Press, release, press (Qt adds the double-click), release.
void doubleClick(QWidget *widget, QPoint pos = {});

// The text X11 gives a key: Delete U+007F, Backspace U+0008, Return "\r", Escape U+001B, Tab
// "\t", keypad digits their digit; navigation and function keys none.
QString x11Text(Qt::Key key, Qt::KeyboardModifiers modifiers = {});
// Press and release of one key in the focused window, with the X11 text unless given.
void key(Qt::Key key, Qt::KeyboardModifiers modifiers = {});
void key(Qt::Key key, Qt::KeyboardModifiers modifiers, const QString &text);
// Each character as its key press and release (ASCII letters, digits and punctuation).
void type(const QString &text);

// An input method's work in the focused widget: the composition shown while typing (may be
// empty), then the committed text. Like a real input method it reaches only a widget that takes
// input-method text.
void commit(const QString &text, const QString &preedit = {});

// The user switches to another program: the application has no active window any more.
void leaveForAnotherApplication();
// ...and comes back by clicking the window's frame: activation with no window of ours before it.
void returnFromAnotherApplication(QWidget *window);
// One of our message boxes is shown over the window, takes the activation and closes; the window
// is active again.
void messageBoxClosedOver(QWidget *window);
// The window takes the activation (no matter from where).
void activate(QWidget *window);
// The user closes the window with its title bar's close button; true when it closed.
bool closeWindow(QWidget *window);

} // namespace kalmora::test::real
