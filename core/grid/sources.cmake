# The grid's rows and cells, shared by the window and the batches, and the Exif read into a row
# (no widgets).
list(APPEND KALMORA_CORE_SOURCES
    core/grid/file_grid.cpp core/grid/file_grid.h core/grid/exif_row.cpp core/grid/exif_row.h)
