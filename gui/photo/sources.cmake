# The window's shooting-date rewrite, Exif export and erase, and the photo preview.
list(APPEND KALMORA_UI_SOURCES
    gui/photo/date_rewrite.cpp gui/photo/date_rewrite.h gui/photo/exif_export.cpp
    gui/photo/exif_export.h gui/photo/file_times_from_date.cpp gui/photo/file_times_from_date.h
    gui/photo/preview.cpp gui/photo/preview.h)
