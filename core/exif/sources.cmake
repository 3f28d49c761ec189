# Reading and patching photo metadata, the exiftool runner (no widgets).
list(APPEND KALMORA_CORE_SOURCES
    core/exif/bounded_tiff.cpp core/exif/bounded_tiff.h core/exif/date_shift.cpp
    core/exif/date_shift.h core/exif/document_summary.cpp core/exif/document_summary.h
    core/exif/exif_container.cpp core/exif/exif_container.h
    core/exif/exif_file_bytes.h core/exif/exif_labels.cpp core/exif/exif_labels.h
    core/exif/exif_listing.cpp core/exif/exif_patch.cpp core/exif/exif_reader.cpp
    core/exif/exif_reader.h core/exif/exif_tool.cpp core/exif/exif_tool.h
    core/exif/image_metadata.cpp core/exif/image_metadata.h core/exif/jpeg_scan.cpp
    core/exif/jpeg_scan.h core/exif/metadata_library.cpp core/exif/metadata_library.h
    core/exif/metadata_names.cpp core/exif/metadata_names.h core/exif/read_exif.cpp
    core/exif/read_exif.h core/exif/tiff_cursor.cpp core/exif/tiff_cursor.h)
