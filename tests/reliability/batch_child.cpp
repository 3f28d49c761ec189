// Runs one batch operation of the real window on test doubles, for the crash test: imports a
// folder and applies the planned file times (one minute apart from START, all three stamps),
// renames the photos after their shooting dates, rewrites every photo's shooting date three
// days earlier, or erases every photo's metadata with exiftool (START is not used then).
// Usage: kalmora_batch_child apply|rename|rewrite|erase FOLDER START
// Prints "running" just before the operation starts and "done MICROSECONDS" after it.
#include "core/grid/file_grid.h"
#include "gui/photo/date_rewrite.h"
#include "gui/window/features.h"
#include "tests/support/window_fixture.h"

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
    const bool rewrite = mode == QLatin1String("rewrite");
    const bool erase = mode == QLatin1String("erase");
    if ((mode != QLatin1String("apply") && mode != QLatin1String("rename") && !rewrite && !erase) ||
        !start)
        return 2;

    test::WindowFixture f;
    f.open();
    // The parent reads the batch's journal afterwards.
    if (qEnvironmentVariableIsSet("XDG_STATE_HOME"))
        f.doubles->environment.variables.insert(QStringLiteral("XDG_STATE_HOME"),
                                                qEnvironmentVariable("XDG_STATE_HOME"));
    FMainDate &w = f.w();
    if (mode == QLatin1String("rename")) {
        w.OptRename->setChecked(true);
        w.CmdInput->setEnabled(true);
    } else if (rewrite || erase) {
        w.OptExif->setChecked(true);
        w.CmdInput->setEnabled(true);
    } else {
        f.setWindow(*start, start->addDays(2));
        w.CmdTimeZone->click();
    }
    w.LDir->setText(folder);
    w.File1->setPattern(QStringLiteral("*.*"));
    w.CmdInput->click(); // the export question takes its default, No
    QPushButton *const button = rewrite ? w.CmdPicDateMod
                                : erase ? w.CmdPicExifDel
                                        : w.CmdFileDateMod;
    if (w.FileCount == 0 || !button->isEnabled())
        return 3;
    if (rewrite) {
        // The dialog's answer: every original date three days earlier.
        PhotoDateSettings settings;
        settings.stepText = QStringLiteral("3");
        settings.unitText = QStringLiteral("天。");
        settings.unit = ShiftUnit::Day;
        settings.earlier = true;
        w.features().dateRewrite->askSettings = [settings] { return settings; };
    } else if (erase) {
        f.doubles->environment.variables.insert(QStringLiteral("PATH"),
                                                qEnvironmentVariable("PATH"));
        f.prompter().answer(MsgAnswer::No); // not the export: the erase
    } else {
        w.Option1->setChecked(true);
        w.TStep->setText(QStringLiteral("1"));
    }

    std::printf("running\n");
    std::fflush(stdout);
    QElapsedTimer clock;
    clock.start();
    button->click();
    std::printf("done %lld\n", static_cast<long long>(clock.nsecsElapsed() / 1000));
    std::fflush(stdout);
    if (!w.ClearOnReset)
        return 4;
    // A run to the end must have changed every photo, or the parent's reference is wrong.
    for (int r = 1; (rewrite || erase) && r <= w.FileCount; ++r)
        if (w.VSFlexGrid1->text(r, 5) != (erase ? QString() : QStringLiteral("修改成功")))
            return 5;
    return 0;
}
