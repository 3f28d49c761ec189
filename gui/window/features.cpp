#include "gui/window/features.h"

#include "gui/filetime/apply.h"
#include "gui/import/file_filter.h"
#include "gui/import/folder_choice.h"
#include "gui/import/import.h"
#include "gui/photo/date_rewrite.h"
#include "gui/photo/exif_export.h"
#include "gui/photo/file_times_from_date.h"
#include "gui/photo/preview.h"
#include "gui/plan/row_deletion.h"
#include "gui/plan/stages.h"
#include "gui/plan/step_range.h"
#include "gui/plan/time_fields.h"
#include "gui/window/batch_stop.h"
#include "gui/window/history_window.h"
#include "gui/window/mode_switches.h"
#include "gui/window/reset.h"

namespace kalmora {

Features::Features(FMainDate &window)
    : timeFields(std::make_unique<TimeFields>(window)),
      stepRange(std::make_unique<StepRange>(window)), stages(std::make_unique<Stages>(window)),
      rowDeletion(std::make_unique<RowDeletion>(window)), reset(std::make_unique<Reset>(window)),
      import(std::make_unique<Import>(window)),
      applyFileTimes(std::make_unique<ApplyFileTimes>(window)),
      fileFilter(std::make_unique<FileFilter>(window)),
      folderChoice(std::make_unique<FolderChoice>(window)),
      modeSwitches(std::make_unique<ModeSwitches>(window)),
      dateRewrite(std::make_unique<DateRewrite>(window)),
      fileTimesFromDate(std::make_unique<FileTimesFromDate>(window)),
      exifExport(std::make_unique<ExifExport>(window)),
      photoPreview(std::make_unique<PhotoPreview>(window)),
      batchStop(std::make_unique<BatchStop>(window)), history(std::make_unique<History>(window)) {}

Features::~Features() = default;

} // namespace kalmora
