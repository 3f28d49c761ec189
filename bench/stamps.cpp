// Sets the three stamps of every file and reads them back. The apply takes what the write read
// back for its grid; "--read-again" adds a separate ReadFileTimes per file, as an import after
// the apply would.
#include "bench/bench_support.h"
#include "core/base/path_bytes.h"
#include "core/filetime/file_times.h"

#include <dirent.h>

using namespace kalmora;

int main(int argc, char **argv) {
    const bool readAgain = argc == 3 && qstrcmp(argv[2], "--read-again") == 0;
    if (argc != 2 && !readAgain)
        return bench::usage(argv[0], "FOLDER [--read-again]");
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    // Listed as the floor lists it (one readdir, regular files), not through QDir, which
    // examines every entry once more: the writer is what is measured here.
    QStringList names;
    if (DIR *dir = opendir(argv[1])) {
        while (const dirent *entry = readdir(dir)) {
            if (entry->d_type == DT_REG)
                names.append(NameFromBytes(QByteArray(entry->d_name)));
        }
        closedir(dir);
    }
    // As the program's batches do: the calls relative to the folder, opened once.
    const FolderScope scope(folder.path());
    const DateTime start(2015, 3, 14, 9, 26, 53);
    int failed = 0;
    for (int i = 0; i < names.size(); ++i) {
        const QString path = folder.filePath(names[i]);
        // One stamp per file and minute, so no write can pass by leaving an old value.
        const DateTime when = start.addMinutes(i);
        const FileTimes asked{when, when.addSeconds(30), when};
        const FileTimesWriteResult result = WriteFileTimes(path, asked);
        std::optional<FileTimes> back = result.readBack;
        if (readAgain)
            back = ReadFileTimes(path);
        if (result.outcome() == WriteOutcome::Failure || !back ||
            back->lastWrite != asked.lastWrite || back->lastAccess != asked.lastAccess)
            ++failed;
    }
    return bench::finish("stamps", names.size(), failed);
}
