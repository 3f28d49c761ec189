# The time plan: the stamps a batch gives its files (no widgets).
list(APPEND KALMORA_CORE_SOURCES
    core/plan/time_plan.cpp core/plan/time_plan.h)
