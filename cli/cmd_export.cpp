// kalmora-cli export-times and export-exif: the window's two text exports.
#include "cli/commands.h"
#include "cli/common.h"
#include "cli/output.h"
#include "core/base/path_bytes.h"
#include "core/base/text_export.h"
#include "core/exif/read_exif.h"
#include "core/filetime/file_times.h"

#include <optional>

namespace kalmora::cli {

namespace {

class ExportTarget {
public:
    explicit ExportTarget(const Invocation &inv)
        : m_encoding(inv.flags.contains(QStringLiteral("utf8")) ? ExportEncoding::Utf8
                                                                : ExportEncoding::Gb18030) {
        const QString out = inv.value(QStringLiteral("o"), QStringLiteral("-"));
        if (out != QLatin1String("-"))
            m_file.emplace(out, m_encoding);
    }
    bool open() {
        if (m_file && !m_file->open()) {
            Message(Say("无法创建导出文件“%1”。%2", "Cannot create the export file %1. %2")
                        .arg(m_file->path(), m_file->refusal()));
            return false;
        }
        return true;
    }
    bool writeLine(const QString &line) {
        if (m_file)
            return m_file->writeLine(line);
        const std::optional<QByteArray> bytes = ExportLineBytes(line, m_encoding);
        if (bytes)
            WriteOut(*bytes);
        return bytes.has_value();
    }
    bool commit() {
        if (m_file && !m_file->commit()) {
            Message(Say("导出文件“%1”写入失败。%2", "The export file %1 could not be written. %2")
                        .arg(m_file->path(), m_file->refusal()));
            return false;
        }
        return true;
    }

private:
    ExportEncoding m_encoding;
    std::optional<TextExport> m_file;
};

} // namespace

int ExportTimesCommand(const Invocation &inv) {
    int status = AllDone;
    const std::optional<QStringList> names = ListFiles(inv, status);
    if (!names)
        return status;
    Progress progress(int(names->size()));
    ExportTarget target(inv);
    if (!target.open())
        return SomeFailed;
    bool ok = target.writeLine(TimeListHeader());
    bool allRead = true;
    int r = 0;
    const FolderScope scope(inv.folder);
    for (const QString &name : *names) {
        const std::optional<FileTimes> times = ReadFileTimes(PathOf(inv, name));
        if (!times) {
            // As in the window, a file whose stamps cannot be read has no line.
            Message(Say("读取失败：%1", "Cannot read the stamps of %1")
                        .arg(DisplayName(PathOf(inv, name))));
            allRead = false;
        } else {
            ok = ok &&
                 target.writeLine(TimeListLine(inv.folder + QLatin1Char('/'), name, times->creation,
                                               times->lastWrite, times->lastAccess));
        }
        progress.step(++r);
    }
    ok = target.commit() && ok;
    return ok && allRead ? AllDone : SomeFailed;
}

int ExportExifCommand(const Invocation &inv) {
    int status = AllDone;
    const std::optional<QStringList> names = ListFiles(inv, status, true);
    if (!names)
        return status;
    Progress progress(int(names->size()));
    ExportTarget target(inv);
    if (!target.open())
        return SomeFailed;
    bool ok = true;
    int r = 0;
    for (const QString &name : *names) {
        // An empty line, then the block; the writer ends it with one more line break.
        ok = ok &&
             target.writeLine(QStringLiteral("\r\n") + ExifExportBlock(name, PathOf(inv, name)));
        progress.step(++r);
    }
    ok = target.commit() && ok;
    return ok ? AllDone : SomeFailed;
}

} // namespace kalmora::cli
