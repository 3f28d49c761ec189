// Moves every photo's shooting date one day later the way the rewrite patches a photo: a fresh
// reader per photo, the date read from it, the new 19 characters written back in place.
#include "bench/bench_support.h"
#include "core/base/date_time.h"
#include "core/exif/exif_reader.h"

using namespace kalmora;

int main(int argc, char **argv) {
    if (argc != 2)
        return bench::usage(argv[0], "FOLDER");
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QStringList names = bench::photosIn(folder.path());
    int failed = 0;
    for (const QString &name : names) {
        try {
            ExifReader reader;
            reader.Load(folder.filePath(name));
            const std::optional<DateTime> date =
                DateTime::parse(reader.tag(TagDateTimeOriginal).toString());
            if (!date || !reader.setTag(TagDateTimeOriginal, date->addDays(1).toExifText()))
                ++failed;
        } catch (const ExifError &) {
            ++failed;
        }
    }
    return bench::finish("shift", names.size(), failed);
}
