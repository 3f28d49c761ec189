# The services that need widgets or the desktop.
list(APPEND KALMORA_UI_SOURCES
    gui/platform/platform_ui.cpp gui/platform/qt_prompter.cpp gui/platform/qt_prompter.h
    gui/platform/real_services.h)
