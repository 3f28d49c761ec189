// Runs the program's real start-up with recording services, for the single-instance test.
// Usage: kalmora_instance_probe LOCK_FILE DATA_FOLDER [FOLDER]
// Prints "box|title|text|icon" for every message box, "running" once the window shows, and
// "folder|PATH" for the folder label then and at every change.
#include "app/start_main.h"
#include "gui/window/main_window.h"
#include "tests/support/doubles.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

namespace {
void print(const QString &line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}
} // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    if (argc < 3)
        return 2;
    kalmora::test::TestServices doubles;
    doubles.environment.dataFolder = QString::fromLocal8Bit(argv[2]);
    doubles.environment.program = QString::fromLocal8Bit(argv[2]) + QStringLiteral("/program");
    doubles.prompter.onShow = [](const kalmora::Message &m) {
        print(QStringLiteral("box|%1|%2|%3").arg(m.title, m.text).arg(int(m.icon)));
    };
    QTimer::singleShot(0, [] {
        print(QStringLiteral("running"));
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (auto *label = top->findChild<kalmora::ChangeLabel *>(QStringLiteral("LDir"))) {
                print(QStringLiteral("folder|") + label->text());
                QObject::connect(
                    label, &kalmora::ChangeLabel::textChanged,
                    [](const QString &text) { print(QStringLiteral("folder|") + text); });
            }
        }
    });
    kalmora::Services services = doubles.services();
    return kalmora::StartMain(services, QString::fromLocal8Bit(argv[1]),
                              argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString());
}
