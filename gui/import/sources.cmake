# The import and the folder and filter choices.
list(APPEND KALMORA_UI_SOURCES
    gui/import/file_filter.cpp gui/import/file_filter.h gui/import/folder_choice.cpp
    gui/import/folder_choice.h gui/import/import.cpp gui/import/import.h)
