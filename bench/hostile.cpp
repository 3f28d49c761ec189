// Imports or exports one photo the way the Exif import and the Exif export do, for measuring
// what a photo built to expand costs (run it under /usr/bin/time -v).
// Usage: kalmora_bench_hostile import|export|preview PHOTO OUTPUT_FILE
#include "bench/bench_support.h"
#include "core/base/text_export.h"
#include "core/exif/document_summary.h"
#include "core/exif/exif_labels.h"
#include "core/exif/read_exif.h"
#include "core/grid/exif_row.h"
#include "core/grid/file_grid.h"

#include <QFileInfo>

using namespace kalmora;

int main(int argc, char **argv) {
    if (argc != 4)
        return bench::usage(argv[0], "import|export|preview PHOTO OUTPUT_FILE");
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString photo = QString::fromLocal8Bit(argv[2]);
    TextExport out(QString::fromLocal8Bit(argv[3]));
    bool ok = out.open();
    if (mode == QLatin1String("import")) {
        FileGrid grid;
        grid.setRows(2);
        ReadExifIntoRow(photo, grid, ExifRowContext{1, true, false, false});
        ok = ok && !grid.text(1, 1).isEmpty() &&
             out.writeLine(QStringLiteral("/\t") + QFileInfo(photo).fileName() + QLatin1Char('\t') +
                           grid.text(1, 1));
    } else if (mode == QLatin1String("preview")) {
        DocumentSummary summary;
        ok = ok && summary.open(photo) &&
             out.writeLine(summary.author() + QLatin1Char('\t') + summary.comments());
    } else {
        QString properties;
        AppendPropertyText(photo, properties);
        properties = TranslateLabels(properties);
        ok = ok && !properties.isEmpty() && out.writeLine(properties);
    }
    ok = out.commit() && ok;
    return bench::finish(argv[1], 1, ok ? 0 : 1);
}
