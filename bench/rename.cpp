// Renames every photo after its shooting date: the import's read in rename mode fills the
// rows, then each file gets its new name without ever replacing another.
#include "gui/filetime/rename.h"
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
        return bench::finish("rename", names.size(), int(names.size()) + 1);
    const int n = int(names.size());
    FileGrid grid;
    grid.setRows(n + 1);
    for (int row = 1; row <= n; ++row) {
        grid.setText(row, 0, names[row - 1]);
        ReadExifIntoRow(folder.filePath(names[row - 1]), grid,
                        ExifRowContext{row, false, false, false});
    }
    int failed = 0;
    for (int row = 1; row <= n; ++row) {
        const QString name = grid.text(row, 0);
        const QString base = RenameBaseName(grid.text(row, 2), false);
        if (base.isEmpty() ||
            RenameNoReplace(folder.filePath(name), folder.filePath(base + ExtensionOf(name))) !=
                RenameError::None)
            ++failed;
    }
    return bench::finish("rename", n, failed);
}
