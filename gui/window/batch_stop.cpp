#include "gui/window/batch_stop.h"

#include "core/grid/file_grid.h"
#include "core/platform/comm_declare.h"
#include "gui/window/main_window.h"

#include <QPushButton>
#include <QShortcut>

namespace kalmora {

BatchStop::BatchStop(FMainDate &window)
    : QObject(&window), w(window), m_escape(new QShortcut(QKeySequence(Qt::Key_Escape), &window)) {
    m_escape->setEnabled(false);
    connect(w.CmdStop, &QPushButton::clicked, this, [] { BatchBreath::requestStop(); });
    connect(m_escape, &QShortcut::activated, w.CmdStop, &QPushButton::click);
    connect(&BatchBreath::notifier(), &BatchSignals::runningChanged, this,
            &BatchStop::batchRunning);
}

void BatchStop::batchRunning(bool running) {
    w.CmdStop->setVisible(running);
    w.CmdStop->setEnabled(running);
    m_escape->setEnabled(running);
}

QString BatchStop::notDoneText() {
    return QStringLiteral("未处理(已停止)");
}

void BatchStop::markNotDone(FileGrid &grid, int first, int last) {
    for (int r = first; r <= last && r < grid.rows(); ++r)
        grid.setText(r, 5, notDoneText());
}

void BatchStop::reportStopped(int done, int notDone) {
    w.services().prompter.show(
        QStringLiteral("已停止：已处理%1个文件，其余%2个未处理。").arg(done).arg(notDone),
        MsgIcon::Information);
}

} // namespace kalmora
