// Renders the main window to PNG files so that a change to the window can be looked at.
// Usage: kalmora_screenshot OUTPUT_FOLDER
#include "app/startup.h"
#include "platform/real_services.h"
#include "ui/features.h"
#include "ui/main_window.h"
#include "ui/photo_date_dialog.h"
#include "ui/reset.h"

#include <QCheckBox>
#include <QRadioButton>

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
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
} // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
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
    auto shoot = [&](const char *name) {
        QApplication::processEvents();
        const QString file = out + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png");
        if (!window.grab().save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return false;
        }
        std::printf("%s\n", qPrintable(file));
        return true;
    };
    bool ok = shoot("startup");
    window.ChPgDn->setChecked(true);
    ok = shoot("file-time-video") && ok;
    window.ChPgDn->setChecked(false);
    window.OptExif->setChecked(true);
    ok = shoot("exif") && ok;
    window.OptRename->setChecked(true);
    ok = shoot("rename") && ok;
    window.OptDate->setChecked(true);
    ok = shoot("file-time") && ok;
    window.ClearOnReset = true;
    window.features().reset->resetClicked();
    ok = shoot("after-full-reset") && ok;

    FPhotoDate dialog(services, &window);
    dialog.show();
    QApplication::processEvents();
    const QString dialogFile = out + QStringLiteral("/photo-date-dialog.png");
    ok = dialog.grab().save(dialogFile) && ok;
    std::printf("%s\n", qPrintable(dialogFile));
    if (!ok)
        return 1;
    return 0;
}
