// Sets the three stamps of every file and reads them back, as the file-time apply and import do.
#include "bench/bench_support.h"
#include "filetime/file_times.h"

using namespace kalmora;

int main(int argc, char **argv) {
    if (argc != 2)
        return bench::usage(argv[0], "FOLDER");
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QStringList names = bench::filesIn(folder.path());
    const DateTime start(2015, 3, 14, 9, 26, 53);
    int failed = 0;
    for (int i = 0; i < names.size(); ++i) {
        const QString path = folder.filePath(names[i]);
        // One stamp per file and minute, so no write can pass by leaving an old value.
        const DateTime when = start.addMinutes(i);
        const FileTimes asked{when, when.addSeconds(30), when};
        if (WriteFileTimes(path, asked).outcome() == WriteOutcome::Failure) {
            ++failed;
            continue;
        }
        const std::optional<FileTimes> back = ReadFileTimes(path);
        if (!back || back->lastWrite != asked.lastWrite || back->lastAccess != asked.lastAccess)
            ++failed;
    }
    return bench::finish("stamps", names.size(), failed);
}
