#include "gui/window/up_down.h"

#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace kalmora {

int LeadingNumber(const QString &text) {
    qint64 value = 0;
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char(' '))
        ++i;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        value = value * 10 + (text[i].unicode() - '0');
        if (value > 2000000000)
            return 2000000000;
    }
    return int(value);
}

UpDown::UpDown(const QString &name, QLineEdit *buddy, int min, int max, QWidget *parent)
    : UpDown(parent) {
    setObjectName(name);
    bind(buddy, min, max);
}

UpDown::UpDown(QWidget *parent)
    : QWidget(parent), m_buddy(nullptr), m_up(new QToolButton(this)), m_down(new QToolButton(this)),
      m_min(0), m_max(0) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton *b : {m_up, m_down}) {
        const bool up = b == m_up;
        b->setArrowType(up ? Qt::UpArrow : Qt::DownArrow);
        b->setAccessibleName(up ? QStringLiteral("增加") : QStringLiteral("减少"));
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRepeat(true);
        b->setFixedSize(16, 11);
        layout->addWidget(b);
        connect(b, &QToolButton::clicked, this, [this, up] { step(up ? 1 : -1); });
    }
    setFixedWidth(16);
    // A form names the spinner after creating it.
    connect(this, &QObject::objectNameChanged, this, &UpDown::nameHalves);
}

void UpDown::nameHalves() {
    const QString name = objectName();
    setAccessibleDescription(name);
    m_up->setObjectName(name + QStringLiteral(".up"));
    m_down->setObjectName(name + QStringLiteral(".down"));
    for (QToolButton *b : {m_up, m_down})
        b->setAccessibleDescription(b->objectName());
}

void UpDown::bind(QLineEdit *buddy, int min, int max) {
    m_buddy = buddy;
    m_min = min;
    m_max = max;
    setAccessibleName(buddy ? buddy->accessibleName() : objectName());
}

void UpDown::step(int delta) {
    if (!m_buddy)
        return;
    emit aboutToStep(delta > 0);
    const int value = LeadingNumber(m_buddy->text());
    const int next = std::clamp(value + delta, m_min, std::max(m_min, m_max));
    if (next != value)
        m_buddy->setText(QString::number(next));
    emit stepped();
}

} // namespace kalmora
