list(APPEND KALMORA_CORE_SOURCES
    app/comm_declare.h app/comm_declare.cpp app/download.cpp
    app/command_line.h app/command_line.cpp
    app/instance_channel.h app/instance_channel.cpp
    app/date_time.h app/date_time.cpp
    app/single_instance.h app/single_instance.cpp
    app/startup.h app/startup.cpp
    app/path_bytes.h app/path_bytes.cpp
    app/text_export.h app/text_export.cpp
    app/write_protection.h app/write_protection.cpp)
list(APPEND KALMORA_UI_SOURCES
    app/notice_window.h app/notice_window.cpp
    app/start_main.h app/start_main.cpp)
