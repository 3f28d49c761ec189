# Files of journal/: the batch journal and the restore (core, no widgets).
list(APPEND KALMORA_CORE_SOURCES
    journal/journal.h journal/journal.cpp
    journal/restore.h journal/restore.cpp)
