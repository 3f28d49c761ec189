list(APPEND KALMORA_CORE_SOURCES ui/file_grid.h ui/file_grid.cpp)
list(APPEND KALMORA_UI_SOURCES
    ui/batch_stop.h ui/batch_stop.cpp
    ui/change_label.h
    ui/features.h ui/features.cpp
    ui/fdir.h ui/fdir.cpp ui/fdir.ui
    ui/mode_switches.h ui/mode_switches.cpp
    ui/file_grid_view.h ui/file_grid_view.cpp
    ui/help_window.h ui/help_window.cpp
    ui/history_window.h ui/history_window.cpp ui/history_window.ui
    ui/main_window.h ui/main_window.cpp ui/main_window.ui
    ui/paint_throttle.h ui/paint_throttle.cpp
    ui/reset.h ui/reset.cpp
    ui/up_down.h ui/up_down.cpp
    ui/window_batch.h ui/window_batch.cpp)
list(APPEND KALMORA_UI_SOURCES ui/photo_date_dialog.h ui/photo_date_dialog.cpp
                               ui/photo_date_dialog.ui)
