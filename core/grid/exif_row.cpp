#include "core/grid/exif_row.h"

#include "core/exif/image_metadata.h"
#include "core/exif/read_exif.h"
#include "core/grid/file_grid.h"
#include "core/platform/comm_declare.h"

namespace kalmora {

namespace {

constexpr int DateColumnExif = 1, DateColumnOther = 2, ModelColumn = 3, ResultColumn = 5;

} // namespace

void ReadExifIntoRow(const QString &path, FileGrid &grid, const ExifRowContext &context) {
    ImageMetadata metadata;
    if (metadata.load(path))
        ExifIntoRow(metadata, grid, context);
}

void ExifIntoRow(const ImageMetadata &metadata, FileGrid &grid, const ExifRowContext &context) {
    if (context.eraseMarking) {
        grid.setText(context.row, ResultColumn,
                     MetadataErased(metadata) ? QString() : QStringLiteral("抹除失败"));
        PauseWithEvents(0.2f);
    }

    const bool importing = context.exifMode && !context.rewriteRunning;
    const ExifCells cells = ExifCellsOf(metadata, importing, context.exifMode);
    if (cells.model)
        grid.setText(context.row, ModelColumn, *cells.model);
    if (cells.date)
        grid.setText(context.row, importing ? DateColumnExif : DateColumnOther, *cells.date);
}

} // namespace kalmora
