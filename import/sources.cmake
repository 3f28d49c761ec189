list(APPEND KALMORA_CORE_SOURCES import/file_list.h import/file_list.cpp)
list(APPEND KALMORA_UI_SOURCES import/import.h import/import.cpp
    import/file_filter.h import/file_filter.cpp
    import/folder_choice.h import/folder_choice.cpp)
