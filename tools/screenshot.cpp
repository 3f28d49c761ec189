// Renders the main window to PNG files so that a change to the window can be looked at.
// Usage: kalmora_screenshot OUTPUT_FOLDER
#include "app/startup.h"
#include "platform/real_services.h"
#include "ui/main_window.h"

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
    QApplication::processEvents();
    const QString file = out + QStringLiteral("/startup.png");
    if (!window.grab().save(file)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return 1;
    }
    std::printf("%s\n", qPrintable(file));
    return 0;
}
