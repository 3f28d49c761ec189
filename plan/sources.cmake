list(APPEND KALMORA_CORE_SOURCES plan/time_plan.h plan/time_plan.cpp)
list(APPEND KALMORA_UI_SOURCES
    plan/row_deletion.h plan/row_deletion.cpp
    plan/stages.h plan/stages.cpp
    plan/step_range.h plan/step_range.cpp
    plan/time_fields.h plan/time_fields.cpp)
