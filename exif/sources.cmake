# Files of exif/: core (no widgets) and ui (widgets).
list(APPEND KALMORA_CORE_SOURCES exif/exif_reader.h exif/exif_reader.cpp)
list(APPEND KALMORA_CORE_SOURCES
    exif/image_metadata.h exif/image_metadata.cpp
    exif/metadata_library.h exif/metadata_library.cpp
    exif/exif_labels.h exif/exif_labels.cpp
    exif/read_exif.h exif/read_exif.cpp)
list(APPEND KALMORA_CORE_SOURCES exif/document_summary.h exif/document_summary.cpp)
