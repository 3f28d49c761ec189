#pragma once

#include <QString>

namespace kalmora {

// Gives a control its name as object name and accessible description (so tools and tests find
// it), and optionally a short accessible name where it has no caption.
template <typename W> W *named(W *w, const char *name, const QString &accessibleName = {}) {
    w->setObjectName(QLatin1String(name));
    w->setAccessibleDescription(QLatin1String(name));
    if (!accessibleName.isEmpty())
        w->setAccessibleName(accessibleName);
    return w;
}

} // namespace kalmora
