// Renders the main window to PNG files so that a change to the window can be looked at.
// Usage: kalmora_screenshot OUTPUT_FOLDER [SCREEN_WIDTHxSCREEN_HEIGHT [FONT_STEPS]]
// With a screen size it also draws the window at its default size on a screen of that size below
// a 32-pixel panel, and the window filling that screen; FONT_STEPS enlarges the font by that many
// points first.
#include "core/platform/app_values.h"
#include "gui/platform/real_services.h"
#include "gui/window/date_stamps_dialog.h"
#include "gui/window/features.h"
#include "gui/window/history_window.h"
#include "gui/window/main_window.h"
#include "gui/window/photo_date_dialog.h"
#include "gui/window/reset.h"

#include <QCheckBox>
#include <QRadioButton>

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QPainter>
#include <QTranslator>

#include <cstdio>

using namespace kalmora;

namespace {
// Shows no boxes: a screenshot run must not wait for a click.
class SilentPrompter final : public Prompter {
public:
    using Prompter::show;
    MsgAnswer show(const Message &m) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(m.text));
        return m.defaultButton.value_or(MsgAnswer::Ok);
    }
    void beep() override {}
};

constexpr int PanelHeight = 32;
} // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QSize screen;
    if (argc > 2) {
        const QStringList wh = QString::fromLocal8Bit(argv[2]).split(QLatin1Char('x'));
        if (wh.size() == 2)
            screen = QSize(wh[0].toInt(), wh[1].toInt());
        if (screen.isEmpty()) {
            std::fprintf(stderr, "screen size must read WIDTHxHEIGHT\n");
            return 2;
        }
    }
    if (argc > 3) {
        QFont font = QApplication::font();
        font.setPointSizeF(font.pointSizeF() + QString::fromLocal8Bit(argv[3]).toDouble());
        QApplication::setFont(font);
    }
    QDir().mkpath(out);

    RealServices real;
    Services base = real.services();
    SilentPrompter prompter;
    Services services{prompter,        base.clock,    base.random,      base.environment,
                      base.settings,   base.desktop,  base.fileDialogs, base.processes,
                      base.downloader, base.fileTimes};
    AppValues values = ComputeAppValues(services.environment);

    FMainDate window(services, values);
    window.show();
    auto save = [&](const QPixmap &picture, const QString &name) {
        const QString file = out + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!picture.save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return false;
        }
        std::printf("%s\n", qPrintable(file));
        return true;
    };
    auto shoot = [&](const char *name) {
        QApplication::processEvents();
        return save(window.grab(), QLatin1String(name));
    };
    std::printf("font %.1f pt; window %dx%d (minimum %dx%d)\n", QApplication::font().pointSizeF(),
                window.width(), window.height(), window.minimumSizeHint().width(),
                window.minimumSizeHint().height());
    bool ok = shoot("startup");
    if (!screen.isEmpty()) {
        const QString size = QStringLiteral("%1x%2").arg(screen.width()).arg(screen.height());
        QPixmap desktop(screen);
        desktop.fill(QColor(0x40, 0x60, 0x80));
        {
            QPainter p(&desktop);
            p.fillRect(0, 0, screen.width(), PanelHeight, Qt::black);
            p.drawPixmap(0, PanelHeight, window.grab());
        }
        ok = save(desktop, QStringLiteral("screen-") + size) && ok;
        const QSize before = window.size();
        window.resize(screen.width(), screen.height() - PanelHeight);
        ok = shoot(qPrintable(QStringLiteral("maximized-") + size)) && ok;
        window.resize(before);
    }
    window.ChPgDn->setChecked(true);
    ok = shoot("file-time-video") && ok;
    window.ChPgDn->setChecked(false);
    window.OptExif->setChecked(true);
    ok = shoot("exif") && ok;
    window.OptRename->setChecked(true);
    ok = shoot("rename") && ok;
    window.OptDate->setChecked(true);
    ok = shoot("file-time") && ok;
    window.state().clearingResetStarted();
    window.features().reset->resetClicked();
    ok = shoot("after-full-reset") && ok;

    FPhotoDate dialog(services, &window);
    dialog.show();
    QApplication::processEvents();
    ok = save(dialog.grab(), QStringLiteral("photo-date-dialog")) && ok;
    dialog.hide();
    // As the video shift asks it.
    FPhotoDate videoDialog(services, &window);
    videoDialog.ChAllDates->setVisible(false);
    videoDialog.ChVideoInside->setVisible(true);
    videoDialog.show();
    QApplication::processEvents();
    ok = save(videoDialog.grab(), QStringLiteral("video-date-dialog")) && ok;
    videoDialog.hide();
    FDateStamps stampsDialog(DateStampsChoice{}, &window);
    stampsDialog.ChShift->setChecked(true);
    stampsDialog.show();
    QApplication::processEvents();
    ok = save(stampsDialog.grab(), QStringLiteral("date-stamps-dialog")) && ok;
    stampsDialog.hide();
    // The journal of $XDG_STATE_HOME (else ~/.local/state), as the user would see it.
    FHistory history(services, &window);
    history.show();
    if (history.TBatches->rowCount() > 0)
        history.TBatches->selectRow(0);
    QApplication::processEvents();
    ok = save(history.grab(), QStringLiteral("history")) && ok;
    // As a long restore shows itself, part-way.
    history.PBRestore->setValue(40);
    history.PBRestore->show();
    history.CmdStop->show();
    history.CmdUndo->setEnabled(false);
    history.CmdClose->setEnabled(false);
    QApplication::processEvents();
    ok = save(history.grab(), QStringLiteral("history-restoring")) && ok;
    if (!ok)
        return 1;
    return 0;
}
