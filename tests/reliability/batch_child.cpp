// Runs one batch operation of the real window on test doubles, for the crash test: imports a
// folder and applies the planned file times (one minute apart from START, all three stamps) or
// renames the photos after their shooting dates.
// Usage: kalmora_batch_child apply|rename FOLDER START
// Prints "running" just before the operation starts and "done MICROSECONDS" after it.
#include "tests/support/window_fixture.h"
#include "ui/file_grid.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QRadioButton>

#include <cstdio>

using namespace kalmora;

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    if (argc != 4)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    const std::optional<DateTime> start = DateTime::parse(QString::fromLocal8Bit(argv[3]));
    if ((mode != QLatin1String("apply") && mode != QLatin1String("rename")) || !start)
        return 2;

    test::WindowFixture f;
    f.open();
    FMainDate &w = f.w();
    if (mode == QLatin1String("rename")) {
        w.OptRename->setChecked(true);
        w.CmdInput->setEnabled(true);
    } else {
        f.setWindow(*start, start->addDays(2));
        w.CmdTimeZone->click();
    }
    w.LDir->setText(folder);
    w.File1->setPattern(QStringLiteral("*.*"));
    w.CmdInput->click(); // the export question takes its default, No
    if (w.FileCount == 0 || !w.CmdFileDateMod->isEnabled())
        return 3;
    w.Option1->setChecked(true);
    w.TStep->setText(QStringLiteral("1"));

    std::printf("running\n");
    std::fflush(stdout);
    QElapsedTimer clock;
    clock.start();
    w.CmdFileDateMod->click();
    std::printf("done %lld\n", static_cast<long long>(clock.nsecsElapsed() / 1000));
    std::fflush(stdout);
    return w.ClearOnReset ? 0 : 4;
}
