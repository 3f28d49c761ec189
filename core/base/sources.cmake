# The base layer of the core: values and rules every other layer uses (no widgets).
list(APPEND KALMORA_CORE_SOURCES
    core/base/byte_patch.h
    core/base/date_time.h core/base/date_time.cpp
    core/base/file_state.h core/base/file_state.cpp
    core/base/folder_handle.h core/base/folder_handle.cpp
    core/base/path_bytes.h core/base/path_bytes.cpp
    core/base/text_export.h core/base/text_export.cpp
    core/base/write_protection.h core/base/write_protection.cpp)
