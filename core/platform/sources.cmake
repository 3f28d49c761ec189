# The services the programs reach through seams (clock, settings, prompts, processes, downloads) and the values worked out at start (no widgets).
list(APPEND KALMORA_CORE_SOURCES
    core/platform/app_values.cpp core/platform/app_values.h core/platform/clock.h
    core/platform/comm_declare.cpp core/platform/comm_declare.h core/platform/desktop.h
    core/platform/download.cpp core/platform/downloader.h core/platform/environment.h
    core/platform/file_dialogs.h core/platform/platform_core.cpp core/platform/process_runner.h
    core/platform/prompter.h core/platform/random.h core/platform/services.h
    core/platform/settings.h)
