list(APPEND KALMORA_CORE_SOURCES import/file_list.h import/file_list.cpp)
