#pragma once

#include "core/filetime/video_date.h"

#include <QObject>

#include <memory>

namespace kalmora {

class FMainDate;
struct BatchRow;
class FileTimeStore;
class TextExport;

// CmdInput: fills the grid with one row per listed file of the folder and reads, per mode, the
// file's stamps, its shooting date or its recorded date.
class Import : public QObject {
    Q_OBJECT
public:
    enum class Mode { FileTime, FileTimeVideo, Exif, Rename, RenameVideo };

    explicit Import(FMainDate &window);

    void inputClicked();
    Mode mode() const;
    // Where the last import took the videos' dates from.
    VideoDateSource videoSource() const { return m_videoSource; }

    // The file the time-list export goes to, and the folder it lies in.
    QString exportFolder() const;
    static QString exportFileName() { return QStringLiteral("文件时间信息批量导出.txt"); }

private:
    bool askForExport(Mode mode);
    // One file's values, read on the import's own thread; then shown in its row (and the export).
    static void readRow(Mode mode, const QString &folder, const QString &name, bool rewriteRunning,
                        VideoDateSource videoSource, const FileTimeStore &fileTimes, BatchRow &row);
    void showRow(Mode mode, int row, const BatchRow &read, TextExport *exportFile);

    FMainDate &w;
    VideoDateSource m_videoSource = VideoDateSource::FileModified; // for this import
};

} // namespace kalmora
