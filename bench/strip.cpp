// Erases all metadata from every photo through the erase's one running exiftool process, one
// photo handed over ahead.
#include "bench/bench_support.h"
#include "core/exif/exif_tool.h"

#include <QCoreApplication>

using namespace kalmora;

int main(int argc, char **argv) {
    if (argc != 2)
        return bench::usage(argv[0], "FOLDER");
    // The tool's answers are waited for in an event loop.
    QCoreApplication app(argc, argv);
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QStringList names = bench::photosIn(folder.path());
    const QString program = LocateExifTool(qEnvironmentVariable("PATH"), QString());
    if (program.isEmpty()) {
        std::fprintf(stderr, "exiftool not found\n");
        return 1;
    }
    int failed = 0;
    {
        // As the erase does: once a photo is answered the next is handed over, then the answer
        // is looked at.
        ExifToolProcess tool(program, 30000);
        if (!names.isEmpty())
            tool.send(folder.filePath(names.first()));
        for (qsizetype i = 0; i < names.size(); ++i) {
            const EraseOutcome outcome = tool.next();
            if (i + 1 < names.size())
                tool.send(folder.filePath(names[i + 1]));
            if (outcome != EraseOutcome::Erased)
                ++failed;
        }
    } // the tool is asked to end here, inside the timing
    return bench::finish("strip", names.size(), failed);
}
