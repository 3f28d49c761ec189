#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace kalmora {

// One patch of bytes in place (a date text, a movie's date): where, what it held, what the
// batch writes.
struct BytePatch {
    qint64 offset = 0;
    QByteArray before;
    QByteArray intended;
};

} // namespace kalmora
