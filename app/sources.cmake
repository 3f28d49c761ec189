# The two programs' start-up: the command line, the single instance, the window's first steps.
list(APPEND KALMORA_CORE_SOURCES
    app/command_line.h app/command_line.cpp
    app/instance_channel.h app/instance_channel.cpp
    app/single_instance.h app/single_instance.cpp)

list(APPEND KALMORA_UI_SOURCES
    app/start_main.h app/start_main.cpp)
