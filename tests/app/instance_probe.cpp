// Runs the program's real start-up with recording services, for the single-instance test.
// Usage: kalmora_instance_probe LOCK_FILE DATA_FOLDER
// Prints "box|title|text|icon" for every message box and "running" once the window shows.
#include "app/start_main.h"
#include "tests/support/doubles.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    if (argc < 3)
        return 2;
    kalmora::test::TestServices doubles;
    doubles.environment.dataFolder = QString::fromLocal8Bit(argv[2]);
    doubles.environment.program = QString::fromLocal8Bit(argv[2]) + QStringLiteral("/program");
    doubles.prompter.onShow = [](const kalmora::Message &m) {
        std::printf("box|%s|%s|%d\n", qPrintable(m.title), qPrintable(m.text), int(m.icon));
        std::fflush(stdout);
    };
    QTimer::singleShot(0, [] {
        std::printf("running\n");
        std::fflush(stdout);
    });
    kalmora::Services services = doubles.services();
    return kalmora::StartMain(services, QString::fromLocal8Bit(argv[1]));
}
