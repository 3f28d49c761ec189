#include "app/start_main.h"

#include "app/startup.h"
#include "ui/main_window.h"

#include <QApplication>

namespace kalmora {

int StartMain(Services &services, const QString &lockPath) {
    SingleInstanceGuard guard(lockPath);
    if (!guard.acquire()) {
        services.prompter.show(QStringLiteral("Kalmora已在运行中！"), MsgIcon::None, MsgButtons::Ok,
                               QStringLiteral("Kalmora"));
        return 0;
    }
    const AppValues values = ComputeAppValues(services.environment);
    FMainDate window(services, values);
    window.show();
    return QApplication::exec();
}

} // namespace kalmora
