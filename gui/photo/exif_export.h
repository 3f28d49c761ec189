#pragma once

#include "core/exif/exif_tool.h"
#include "core/journal/journal.h"

#include <QHash>
#include <QList>
#include <QObject>

#include <functional>
#include <memory>

namespace kalmora {

class FMainDate;

// CmdPicExifDel: exports every Exif property of the imported photos into one text file, or
// erases all metadata from the photos with exiftool and checks each photo afterwards.
class ExifExport : public QObject {
    Q_OBJECT
public:
    explicit ExifExport(FMainDate &window);

    void picExifDelClicked();
    void exportAll();
    void eraseAll();

    static QString exportFileName() { return QStringLiteral("Exif信息导出.txt"); }
    static QString downloadPath() { return QStringLiteral("/uploads/userup/1042/exiftool"); }

    // Starts the exiftool that serves one pass. A real process by default.
    std::function<std::unique_ptr<ExifToolSession>(const QString &program)> startSession;
    // How long one photo may take before the row counts as failed and the tool is restarted.
    int photoTimeLimitMs = 30000;
    // How long a command of several photos may take the tool, going by its last one: their rows
    // show only once it is answered, and the progress bar should move ten times a second.
    int commandTimeMs = 40;

private:
    // The exiftool to use, downloading it when the user agrees; empty when there is none.
    QString findExifTool();
    QString downloadExifTool();
    // A row as the user confirmed it: the erase touches these files and no others.
    struct ConfirmedRow {
        int row;
        QString name;
        QString path;
        bool operator==(const ConfirmedRow &) const = default;
    };
    QList<ConfirmedRow> confirmedRows() const;
    FMainDate &w;
};

} // namespace kalmora
