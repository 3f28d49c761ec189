#include "gui/window/window_place.h"

#include "core/platform/settings.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QStringList>
#include <QWidget>

#include <algorithm>

namespace kalmora {

namespace {

const QString Group = QStringLiteral("Window");
const QString GeometryKey = QStringLiteral("Geometry"), MaximizedKey = QStringLiteral("Maximized");
// What a desktop adds around the window: the title bar above, a border on each side. Unknown
// before the window is shown, so the usual sizes are allowed for.
constexpr int TitleBar = 40, Border = 8;

QRect withFrame(const QRect &r) {
    return r.adjusted(-Border, -TitleBar, Border, Border);
}

bool fitsAScreen(const QRect &r) {
    const QList<QScreen *> screens = QGuiApplication::screens();
    return std::any_of(screens.begin(), screens.end(), [&](const QScreen *s) {
        return s->availableGeometry().contains(withFrame(r));
    });
}

} // namespace

void PlaceMainWindow(QWidget &window, const Settings &settings) {
    const QStringList kept = settings.value(Group, GeometryKey).split(QLatin1Char(','));
    if (kept.size() == 4) {
        const QRect r(kept[0].toInt(), kept[1].toInt(), kept[2].toInt(), kept[3].toInt());
        const QSize least = window.minimumSizeHint().expandedTo(window.minimumSize());
        if (r.width() >= least.width() && r.height() >= least.height() && fitsAScreen(r)) {
            window.setGeometry(r);
            if (settings.value(Group, MaximizedKey) == QStringLiteral("1"))
                window.setWindowState(window.windowState() | Qt::WindowMaximized);
            return;
        }
    }
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize room(area.width() - 2 * Border, area.height() - TitleBar - Border);
    const QSize size = window.size().boundedTo(room).expandedTo(window.minimumSizeHint());
    window.resize(size);
    window.move(area.x() + std::max(0, (area.width() - size.width()) / 2),
                area.y() + TitleBar + std::max(0, (room.height() - size.height()) / 2));
}

void RememberMainWindowPlace(const QWidget &window, Settings &settings) {
    const QRect r = window.normalGeometry();
    settings.setValue(
        Group, GeometryKey,
        QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()));
    settings.setValue(Group, MaximizedKey,
                      window.isMaximized() ? QStringLiteral("1") : QStringLiteral("0"));
}

} // namespace kalmora
