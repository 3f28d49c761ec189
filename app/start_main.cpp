#include "app/start_main.h"

#include "app/instance_channel.h"
#include "core/platform/app_values.h"
#include "gui/import/folder_choice.h"
#include "gui/window/features.h"
#include "gui/window/main_window.h"
#include "gui/window/window_place.h"

#include <QApplication>
#include <QTimer>

namespace kalmora {

namespace {

// A folder from outside: the window comes to the front and takes it unless a batch or one of
// its boxes is under way, where a folder change would cut in, or the user keeps the list.
void takeRequest(FMainDate &window, const QString &folder) {
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.show();
    window.raise();
    window.activateWindow();
    const bool batchRunning = window.Busy || window.OperationRunning || window.RewriteRunning;
    if (folder.isEmpty() || batchRunning || QApplication::activeModalWidget())
        return;
    // The files the user imported are not thrown away unasked.
    if (window.FileCount > 0 &&
        window.services().prompter.show(
            QStringLiteral("是否放弃当前列表，改为处理文件夹“%1”？").arg(folder), MsgIcon::Question,
            MsgButtons::YesNo, QStringLiteral("消息"), MsgAnswer::No) != MsgAnswer::Yes)
        return;
    window.features().folderChoice->takeFolder(folder);
}

} // namespace

int StartMain(Services &services, const QString &lockPath, const QString &folder) {
    SingleInstanceGuard guard(lockPath);
    const QString socketPath = InstanceSocketPath(lockPath);
    if (!guard.acquire()) {
        // A running window that does not answer within 2 seconds is hung: said so, and this start
        // ends without leaving anything behind.
        if (SendToRunningInstance(socketPath, folder, 2000))
            return 0;
        services.prompter.show(QStringLiteral("Kalmora已在运行中，但没有响应。"), MsgIcon::None,
                               MsgButtons::Ok, QStringLiteral("Kalmora"));
        return 0;
    }
    const AppValues values = ComputeAppValues(services.environment);
    FMainDate window(services, values);
    InstanceServer server;
    server.listen(socketPath);
    QObject::connect(&server, &InstanceServer::requested, &window,
                     [&window](const QString &requested) { takeRequest(window, requested); });
    PlaceMainWindow(window, services.settings);
    window.show();
    if (!folder.isEmpty())
        QTimer::singleShot(
            0, &window, [&window, folder] { window.features().folderChoice->takeFolder(folder); });
    return QApplication::exec();
}

} // namespace kalmora
