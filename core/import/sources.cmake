# The folder's file list by pattern (no widgets).
list(APPEND KALMORA_CORE_SOURCES
    core/import/file_list.cpp core/import/file_list.h)
