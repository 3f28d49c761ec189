list(APPEND KALMORA_CORE_SOURCES
    app/comm_declare.h app/comm_declare.cpp app/download.cpp
    app/command_line.h app/command_line.cpp
    app/instance_channel.h app/instance_channel.cpp
    app/single_instance.h app/single_instance.cpp
    app/startup.h app/startup.cpp)

list(APPEND KALMORA_UI_SOURCES
    app/notice_window.h app/notice_window.cpp
    app/start_main.h app/start_main.cpp)
