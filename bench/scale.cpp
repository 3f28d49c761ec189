// A folder of many files: the file list reads it, then the grid model is filled as the
// file-time import fills it (name, stamps), without the pauses. Optionally with the grid's view
// attached and shown offscreen, as in the window.
#include "core/filetime/file_times.h"
#include "core/grid/file_grid.h"
#include "core/import/file_list.h"
#include "gui/window/file_grid_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <sys/resource.h>

using namespace kalmora;

namespace {

double peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int files = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    const bool withView = argc > 2 && qstrcmp(argv[2], "--view") == 0;
    if (files < 1) {
        std::fprintf(stderr, "usage: %s [FILES] [--view]\n", argv[0]);
        return 2;
    }
    std::unique_ptr<QCoreApplication> app;
    if (withView)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);

    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;
    // Numbers without leading zeros, so the list's number-aware order has work to do.
    for (int i = 1; i <= files; ++i) {
        QFile f(folder.filePath(QStringLiteral("IMG_%1.jpg").arg(i)));
        if (!f.open(QIODevice::WriteOnly))
            return 1;
    }
    const double startMiB = peakMiB();

    QElapsedTimer clock;
    clock.start();
    FileList list;
    list.setPattern(QStringLiteral("*.*"));
    if (!list.setPath(folder.path()) || list.count() != files) {
        std::fprintf(stderr, "listed %d of %d files\n", list.count(), files);
        return 1;
    }
    const double listSeconds = double(clock.nsecsElapsed()) / 1e9;

    FileGrid grid;
    std::unique_ptr<FileGridView> view;
    if (withView) {
        view = std::make_unique<FileGridView>(&grid);
        view->resize(1000, 600);
        view->show();
        QCoreApplication::processEvents();
    }
    clock.restart();
    grid.setRows(1);
    grid.setRows(files + 1);
    int failed = 0;
    for (int i = 1; i <= files; ++i) {
        const QString name = list.name(i - 1);
        grid.setText(i, 0, name);
        grid.selectRow(i);
        const std::optional<FileTimes> times = ReadFileTimes(folder.filePath(name));
        if (!times) {
            ++failed;
            continue;
        }
        grid.setText(i, 1, times->creation.toText());
        grid.setText(i, 6, times->lastWrite.toGeneralText());
        grid.setText(i, 7, times->lastAccess.toGeneralText());
        ScrollAfterRow(grid, i, files);
    }
    grid.selectRow(1);
    grid.setTopRow(1);
    if (withView)
        QCoreApplication::processEvents();
    const double fillSeconds = double(clock.nsecsElapsed()) / 1e9;
    // Spot checks: number-aware order, every row filled.
    if (list.name(0) != QStringLiteral("IMG_1.jpg") || list.name(9) != QStringLiteral("IMG_10.jpg"))
        ++failed;
    if (grid.text(files, 7).isEmpty())
        ++failed;

    std::printf("scale%s: %d files | listing %.3f s | filling the grid %.3f s | total %.3f s | "
                "peak memory %.1f MiB (%.1f MiB before listing)\n",
                withView ? " with view" : "", files, listSeconds, fillSeconds,
                listSeconds + fillSeconds, peakMiB(), startMiB);
    return failed == 0 ? 0 : 1;
}
