#pragma once

#include <memory>

namespace kalmora {

class ApplyFileTimes;
class BatchStop;
class DateRewrite;
class ExifExport;
class FMainDate;
class FileFilter;
class FileTimesFromDate;
class FolderChoice;
class History;
class Import;
class ModeSwitches;
class PhotoPreview;
class Reset;
class RowDeletion;
class Stages;
class StepRange;
class TimeFields;

// The feature areas attached to the main window. Each owns the handlers of its controls; a
// handler that must run another calls the owner through here.
struct Features {
    std::unique_ptr<TimeFields> timeFields;
    std::unique_ptr<StepRange> stepRange;
    std::unique_ptr<Stages> stages;
    std::unique_ptr<RowDeletion> rowDeletion;
    std::unique_ptr<Reset> reset;
    std::unique_ptr<Import> import;
    std::unique_ptr<ApplyFileTimes> applyFileTimes;
    std::unique_ptr<FileFilter> fileFilter;
    std::unique_ptr<FolderChoice> folderChoice;
    std::unique_ptr<ModeSwitches> modeSwitches;
    std::unique_ptr<DateRewrite> dateRewrite;
    std::unique_ptr<FileTimesFromDate> fileTimesFromDate;
    std::unique_ptr<ExifExport> exifExport;
    std::unique_ptr<PhotoPreview> photoPreview;
    std::unique_ptr<BatchStop> batchStop;
    std::unique_ptr<History> history;

    explicit Features(FMainDate &window);
    ~Features();
};

} // namespace kalmora
