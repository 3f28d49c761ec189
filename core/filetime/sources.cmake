# Reading and writing file times, video dates, the rename rules (no widgets).
list(APPEND KALMORA_CORE_SOURCES
    core/filetime/drive_stamps.cpp core/filetime/drive_stamps.h
    core/filetime/quicktime_dates.cpp core/filetime/quicktime_dates.h
    core/filetime/file_time_store.h core/filetime/file_times.cpp core/filetime/file_times.h
    core/filetime/rename_rules.cpp core/filetime/rename_rules.h
    core/filetime/system_file_time_store.cpp core/filetime/video_date.cpp
    core/filetime/video_date.h)
