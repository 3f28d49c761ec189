#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace kalmora {

// A spin button bound to a buddy text field. A click reads the buddy's number, steps it by one
// within [min, max] and writes the buddy's text. Changing the bounds never rewrites the buddy.
class UpDown : public QWidget {
    Q_OBJECT
public:
    UpDown(const QString &name, QLineEdit *buddy, int min, int max, QWidget *parent = nullptr);
    // Unbound until bind(); its halves take their names from the object name as it changes.
    explicit UpDown(QWidget *parent = nullptr);

    // Binds the spinner to its field and gives it the field's accessible name.
    void bind(QLineEdit *buddy, int min, int max);

    int min() const { return m_min; }
    int max() const { return m_max; }
    void setMin(int min) { m_min = min; }
    void setMax(int max) { m_max = max; }
    QLineEdit *buddy() const { return m_buddy; }
    QToolButton *upButton() const { return m_up; }
    QToolButton *downButton() const { return m_down; }

    void stepUp() { step(+1); }
    void stepDown() { step(-1); }

signals:
    // Before the step, so that a handler can move the bounds first.
    void aboutToStep(bool up);
    void stepped();

private:
    void step(int delta);
    void nameHalves();

    QLineEdit *m_buddy;
    QToolButton *m_up;
    QToolButton *m_down;
    int m_min;
    int m_max;
};

// The value of the text's leading decimal digits after leading blanks; 0 when there are none.
int LeadingNumber(const QString &text);

} // namespace kalmora
