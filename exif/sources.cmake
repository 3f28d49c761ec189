# Files of exif/: core (no widgets) and ui (widgets).
list(APPEND KALMORA_CORE_SOURCES exif/exif_reader.h exif/exif_reader.cpp)
