# The batch journal: what each batch intends and did, for the undo (no widgets).
list(APPEND KALMORA_CORE_SOURCES
    core/journal/journal.cpp core/journal/journal.h
    core/journal/journal_types.h
    core/journal/journal_rows.cpp core/journal/journal_rows.h
    core/journal/journal_writer.cpp
    core/journal/journal_store.cpp core/journal/journal_store.h
    core/journal/journal_history.cpp core/journal/journal_history.h
    core/journal/kept_originals.cpp core/journal/kept_originals.h
    core/journal/file_capture.cpp core/journal/file_capture.h
    core/journal/journal_texts.cpp core/journal/journal_texts.h)
