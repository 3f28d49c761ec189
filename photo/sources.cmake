# Files of photo/: core (no widgets) and ui (widgets).
list(APPEND KALMORA_CORE_SOURCES
    photo/date_shift.h photo/date_shift.cpp
    photo/exif_tool.h photo/exif_tool.cpp)
list(APPEND KALMORA_UI_SOURCES
    photo/date_rewrite.h photo/date_rewrite.cpp
    photo/exif_export.h photo/exif_export.cpp
    photo/preview.h photo/preview.cpp)
