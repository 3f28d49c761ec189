# Files of filetime/: core (no widgets) and ui (widgets).
list(APPEND KALMORA_CORE_SOURCES
    filetime/file_times.h filetime/file_times.cpp
    filetime/system_file_time_store.cpp
    filetime/video_date.h filetime/video_date.cpp
    filetime/rename_rules.h filetime/rename_rules.cpp
    platform/file_time_store.h)
list(APPEND KALMORA_UI_SOURCES filetime/apply.h filetime/apply.cpp
    filetime/rename.h filetime/rename.cpp)
