list(APPEND KALMORA_CORE_SOURCES
    platform/clock.h platform/desktop.h platform/downloader.h platform/environment.h
    platform/file_dialogs.h platform/process_runner.h platform/prompter.h platform/random.h
    platform/services.h platform/settings.h
    platform/platform_core.cpp)
list(APPEND KALMORA_UI_SOURCES
    platform/qt_prompter.h platform/qt_prompter.cpp
    platform/real_services.h
    platform/platform_ui.cpp)
