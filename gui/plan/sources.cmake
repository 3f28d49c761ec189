# The plan's fields and stages on the window.
list(APPEND KALMORA_UI_SOURCES
    gui/plan/row_deletion.cpp gui/plan/row_deletion.h gui/plan/stages.cpp gui/plan/stages.h
    gui/plan/step_range.cpp gui/plan/step_range.h gui/plan/time_fields.cpp gui/plan/time_fields.h)
