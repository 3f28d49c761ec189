#pragma once

#include <QLabel>

namespace kalmora {

// A label whose text change runs a handler, like the other controls.
class ChangeLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    void setText(const QString &text) {
        if (text == QLabel::text())
            return;
        QLabel::setText(text);
        emit textChanged(text);
    }

signals:
    void textChanged(const QString &text);
};

} // namespace kalmora
