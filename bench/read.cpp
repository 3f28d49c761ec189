// Reads every photo's shooting date and camera model into a grid row, as the Exif import does.
#include "bench/bench_support.h"
#include "core/exif/image_metadata.h"
#include "core/exif/read_exif.h"
#include "core/grid/exif_row.h"
#include "core/grid/file_grid.h"

using namespace kalmora;

int main(int argc, char **argv) {
    if (argc != 2)
        return bench::usage(argv[0], "FOLDER");
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QStringList names = bench::photosIn(folder.path());
    if (!ImageMetadata::libraryAvailable())
        return bench::finish("read", names.size(), int(names.size()) + 1);
    FileGrid grid;
    grid.setRows(int(names.size()) + 1);
    int failed = 0;
    for (int row = 1; row <= names.size(); ++row) {
        grid.setText(row, 0, names[row - 1]);
        ReadExifIntoRow(folder.filePath(names[row - 1]), grid,
                        ExifRowContext{row, true, false, false});
        // Column 1 holds the date, column 3 the model.
        if (grid.text(row, 1).isEmpty() || grid.text(row, 3).isEmpty())
            ++failed;
    }
    return bench::finish("read", names.size(), failed);
}
