# The batch engine: the runner, one step per batch kind, the sink interface (no widgets).
list(APPEND KALMORA_CORE_SOURCES
    core/batch/batch.h core/batch/batch.cpp)
list(APPEND KALMORA_CORE_SOURCES
    core/batch/stamps_step.h core/batch/stamps_step.cpp
    core/batch/stamps_from_date.h core/batch/stamps_from_date.cpp
    core/batch/rename_step.h core/batch/rename_step.cpp
    core/batch/recorded_date_step.h core/batch/recorded_date_step.cpp
    core/batch/date_patch_step.h core/batch/date_patch_step.cpp
    core/batch/date_patch_intent.h core/batch/date_patch_intent.cpp
    core/batch/content_step.h core/batch/content_step.cpp
    core/batch/restore_step.h core/batch/restore_step.cpp)
