#include "ui/features.h"

#include "filetime/apply.h"
#include "import/file_filter.h"
#include "import/folder_choice.h"
#include "import/import.h"
#include "photo/date_rewrite.h"
#include "photo/exif_export.h"
#include "photo/preview.h"
#include "plan/row_deletion.h"
#include "plan/stages.h"
#include "plan/step_range.h"
#include "plan/time_fields.h"
#include "ui/batch_stop.h"
#include "ui/history_window.h"
#include "ui/mode_switches.h"
#include "ui/reset.h"

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
      exifExport(std::make_unique<ExifExport>(window)),
      photoPreview(std::make_unique<PhotoPreview>(window)),
      batchStop(std::make_unique<BatchStop>(window)), history(std::make_unique<History>(window)) {}

Features::~Features() = default;

} // namespace kalmora
