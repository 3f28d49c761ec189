# The window's file-time apply, video shift and rename.
list(APPEND KALMORA_UI_SOURCES
    gui/filetime/apply.cpp gui/filetime/apply.h gui/filetime/rename.cpp gui/filetime/rename.h)
