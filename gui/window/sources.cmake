# The main window, its dialogs, the grid view and the window's batch front end.
list(APPEND KALMORA_UI_SOURCES
    gui/window/batch_stop.cpp gui/window/batch_stop.h gui/window/change_label.h
    gui/window/date_stamps_dialog.cpp gui/window/date_stamps_dialog.h
    gui/window/date_stamps_dialog.ui
    gui/window/fdir.cpp gui/window/fdir.h gui/window/fdir.ui gui/window/features.cpp
    gui/window/features.h gui/window/file_grid_view.cpp gui/window/file_grid_view.h
    gui/window/help_window.cpp gui/window/help_window.h gui/window/history_window.cpp
    gui/window/history_window.h gui/window/history_window.ui gui/window/main_window.cpp
    gui/window/main_window.h gui/window/main_window.ui gui/window/mode_switches.cpp
    gui/window/mode_switches.h gui/window/notice_window.cpp gui/window/notice_window.h
    gui/window/paint_throttle.cpp gui/window/paint_throttle.h gui/window/photo_date_dialog.cpp
    gui/window/photo_date_dialog.h gui/window/photo_date_dialog.ui gui/window/reset.cpp
    gui/window/reset.h gui/window/up_down.cpp gui/window/up_down.h gui/window/window_batch.cpp
    gui/window/window_batch.h gui/window/window_place.cpp gui/window/window_place.h
    gui/window/window_state.h)
