#include "gui/window/notice_window.h"

#include "core/platform/app_values.h"

#include <QPainter>
#include <QPointer>

namespace kalmora {

namespace {
QPointer<FNoticeMsg> instance;
}

FNoticeMsg::FNoticeMsg() : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("FNoticeMsg"));
    setWindowTitle(QStringLiteral("消息"));
    setAttribute(Qt::WA_DeleteOnClose);
    // The program lives as long as the main window; a notice left open must not keep it alive.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(420, 90);
}

FNoticeMsg::~FNoticeMsg() = default;

FNoticeMsg *FNoticeMsg::current() {
    return instance;
}

FNoticeMsg *FNoticeMsg::showNotice() {
    if (!instance)
        instance = new FNoticeMsg;
    instance->update();
    instance->show();
    instance->raise();
    return instance;
}

void FNoticeMsg::closeNotice() {
    if (instance)
        instance->close();
}

void FNoticeMsg::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    // One empty line, then three spaces and the text.
    const int line = fontMetrics().lineSpacing();
    p.drawText(QPoint(0, line + fontMetrics().ascent()), QStringLiteral("   ") + NoticeText);
}

} // namespace kalmora
