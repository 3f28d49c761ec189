#include "gui/import/import.h"

#include "core/base/path_bytes.h"
#include "core/base/text_export.h"
#include "core/exif/image_metadata.h"
#include "core/exif/read_exif.h"
#include "core/filetime/file_time_store.h"
#include "core/filetime/file_times.h"
#include "core/filetime/video_date.h"
#include "core/grid/file_grid.h"
#include "core/import/file_list.h"
#include "core/platform/comm_declare.h"
#include "gui/plan/step_range.h"
#include "gui/window/batch_stop.h"
#include "gui/window/features.h"
#include "gui/window/main_window.h"
#include "gui/window/window_batch.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <optional>

namespace kalmora {

namespace {

const QString CrLf = QStringLiteral("\r\n");

// Column 1 of a file-time row in the grid's form; a date without a time is taken at midnight.
QString gridTimeText(const QString &text) {
    QString t = text;
    if (!t.isEmpty() && t.size() < 11)
        t += QStringLiteral(" 00:00:00");
    const std::optional<DateTime> d = DateTime::parse(t);
    return d ? d->toText() : t;
}

} // namespace

Import::Import(FMainDate &window) : QObject(&window), w(window) {
    connect(w.CmdInput, &QPushButton::clicked, this, &Import::inputClicked);
}

Import::Mode Import::mode() const {
    const bool video = w.ChPgDn->isChecked();
    if (w.OptExif->isChecked())
        return Mode::Exif;
    if (w.OptRename->isChecked())
        return video ? Mode::RenameVideo : Mode::Rename;
    return video ? Mode::FileTimeVideo : Mode::FileTime;
}

QString Import::exportFolder() const {
    return ExportFolderOf(w.values());
}

bool Import::askForExport(Mode mode) {
    const QString first =
        mode == Mode::Exif
            ? QStringLiteral("需要将文件名及其对应的照片拍摄日期时间等信息同时保存到：")
            : QStringLiteral(
                  "需要将文件名，及其对应的文件创建时间、修改时间和访问时间等信息同时保存到：");
    const QString text =
        first + CrLf + QStringLiteral("“") + exportFolder() + QLatin1Char('/') + exportFileName() +
        QStringLiteral("”中，") + CrLf +
        QStringLiteral("以方便日后以Tab制表符作分隔符用Excel打开导入进行相应处理吗？");
    return w.services().prompter.show(text, MsgIcon::Information, MsgButtons::YesNo,
                                      QStringLiteral("消息"), MsgAnswer::No) == MsgAnswer::Yes;
}

void Import::inputClicked() {
    Prompter &prompter = w.services().prompter;
    // The button is off during a batch, but the current-row option turns it on again.
    if (w.Busy) {
        prompter.beep();
        return;
    }
    if (w.CmdReset->isEnabled() && w.ClearOnReset) {
        w.File1->refresh();
        w.OptAll->setChecked(true);
        prompter.show(QStringLiteral("请单击“重置所有”按钮，以进行下一次新操作！"),
                      MsgIcon::Information);
        prompter.beep();
        w.CmdInput->setEnabled(false);
        return;
    }

    // The listing and sorting of a large folder already belong to the batch: the window stays
    // live through them and refuses meanwhile what it refuses during the loop.
    const std::initializer_list<QWidget *> locked{w.CmdDirBrowse, w.ChPatternDefault,
                                                  w.CmbFileFilter, w.CmdFileExt, w.CmdInput};
    QList<bool> enabledBefore;
    for (QWidget *c : locked) {
        enabledBefore.append(c->isEnabled());
        c->setEnabled(false);
    }
    // A mode switch meanwhile would clear the grid under the rows being read.
    const bool modesEnabled = w.Frame5->isEnabled();
    w.Frame5->setEnabled(false);
    w.state().importStarted();
    std::optional<BatchBreath> breath(std::in_place);
    w.File1->refresh([&] { breath->breathe(); });
    w.OptAll->setChecked(true);
    const Mode m = mode();
    const bool noLibrary =
        (m == Mode::Exif || m == Mode::Rename) && !ImageMetadata::libraryAvailable();
    const int listError = w.File1->listError();
    if (w.File1->count() == 0 || noLibrary) {
        breath.reset();
        w.state().importRefused();
        qsizetype i = 0;
        for (QWidget *c : locked)
            c->setEnabled(enabledBefore[i++]);
        w.Frame5->setEnabled(modesEnabled);
        if (listError != 0)
            prompter.show(QStringLiteral("无法读取该文件夹：") + FolderErrorText(listError) + CrLf +
                              QStringLiteral("导入操作被取消！请检查后重试！"),
                          MsgIcon::Warning);
        else if (w.File1->count() == 0)
            prompter.show(QStringLiteral("该文件夹下指定类型的文件数为0！") + CrLf +
                              QStringLiteral("导入操作被取消！请检查后重试！"),
                          MsgIcon::Warning);
        else
            prompter.show(QStringLiteral("GDI+ 初始化失败，本功能暂无法使用。."), MsgIcon::Warning);
        return;
    }
    m_videoSource =
        w.ChVideoDate->isChecked() ? VideoDateSource::Recorded : VideoDateSource::FileModified;

    // Preparation: the grid holds the header and one empty row per file.
    const QStringList names = w.File1->names();
    w.state().filesListed(int(names.size()));
    FileGrid &grid = *w.VSFlexGrid1;
    grid.setRows(1);
    grid.setRows(w.FileCount + 1);
    breath->breathe();
    QApplication::setOverrideCursor(Qt::WaitCursor);

    std::unique_ptr<TextExport> exportFile;
    if (m == Mode::FileTime || m == Mode::FileTimeVideo || m == Mode::Exif) {
        if (askForExport(m)) {
            exportFile = std::make_unique<TextExport>(ExportFolderOf(w.values(), true) +
                                                      QLatin1Char('/') + exportFileName());
            const QString header = m == Mode::Exif
                                       ? QStringLiteral("文件路径\t文件名\t照片拍摄日期时间")
                                       : TimeListHeader();
            if (!exportFile->open() || !exportFile->writeLine(header)) {
                prompter.show(QStringLiteral("无法创建导出文件“") + exportFile->path() +
                                  QStringLiteral("”，") + exportFile->refusal() + CrLf +
                                  QStringLiteral("导入将继续进行，但不保存导出信息。"),
                              MsgIcon::Warning);
                exportFile.reset();
            }
        }
    }

    // The files are read on a thread of their own; the grid and the export take each row here.
    const QString folder = w.LDir->text();
    const bool rewriteRunning = w.RewriteRunning;
    const int done = RunWindowReads(
        w, w.FileCount,
        [&](int i, BatchRow &row) {
            readRow(m, folder, names[i], rewriteRunning, m_videoSource, w.services().fileTimes,
                    row);
        },
        [&](const BatchRow &row) {
            const int i = row.index + 1;
            grid.setText(i, 0, names[i - 1]);
            grid.selectRow(i);
            showRow(m, i, row, exportFile.get());
            ScrollAfterRow(grid, i, w.FileCount);
        });
    breath.reset();
    // Files the import did not come to stay listed and marked, but outside FileCount: no later
    // batch touches a file whose times or dates were never read.
    const int listed = w.FileCount;
    const bool stopped = done < listed;
    for (int i = done + 1; i <= listed; ++i)
        grid.setText(i, 0, names[i - 1]);
    BatchStop::markNotDone(grid, done + 1, listed);

    bool exported = false;
    if (exportFile) {
        exported = exportFile->commit();
        if (!exported)
            prompter.show(QStringLiteral("导出文件“") + exportFile->path() +
                              QStringLiteral("”写入失败，导出信息未能保存。") +
                              exportFile->refusal(),
                          MsgIcon::Warning);
    }
    if (stopped) {
        w.features().batchStop->reportStopped(done, listed - done);
    } else if (exported) {
        const MsgAnswer open = prompter.show(
            QStringLiteral("导入完毕！ 提示：稍后双击非空行可以删除该行。") + CrLf +
                QStringLiteral("如果要更改文件夹或者文件类型，请单击【重置所有】后须重新导入。") +
                CrLf + QStringLiteral("要打开导出的信息文件所在目录吗?"),
            MsgIcon::Information, MsgButtons::YesNo);
        if (open == MsgAnswer::Yes)
            w.services().desktop.openFolder(exportFolder());
    } else {
        prompter.show(QStringLiteral("导入完毕！") + CrLf + CrLf +
                          QStringLiteral("提示：稍后双击非空行可以删除该行。") + CrLf + CrLf +
                          QStringLiteral("如果要更改文件夹或者文件类型，请单击重置所有,") + CrLf +
                          CrLf + QStringLiteral("设置好后须重新导入。"),
                      MsgIcon::Information);
    }

    // Finish.
    grid.setRows(listed + 1);
    w.state().filesListed(done);
    grid.selectRow(1);
    grid.setTopRow(1);
    w.CmdReset->setEnabled(true);
    w.CmdDelete->setEnabled(true);
    w.state().importEnded(done);
    w.Frame5->setEnabled(modesEnabled);
    QApplication::restoreOverrideCursor();
    w.ProgressBar1->setValue(0);

    const bool exif = m == Mode::Exif;
    for (QPushButton *b : {w.CmdPicDateMod, w.CmdPicMemoAdd, w.CmdPicExifDel})
        b->setEnabled(exif);
    w.CmdStampsFromDate->setEnabled(exif || m == Mode::FileTimeVideo);
    w.CmdFileDateMod->setEnabled(!exif);
    if (exif)
        emit w.rowPreviewRequested();
    if (m != Mode::FileTime && m != Mode::FileTimeVideo)
        return;
    w.CmdFileDateMod->setEnabled(true);
    w.features().stepRange->UpdateStepRange();
    w.CmdDelete->setEnabled(true);
    if (!w.ChOnWorkTime->isChecked())
        w.Frame2->setEnabled(false);
}

void Import::readRow(Mode m, const QString &folder, const QString &name, bool rewriteRunning,
                     VideoDateSource videoSource, const FileTimeStore &fileTimes, BatchRow &row) {
    const QString path = folder + QLatin1Char('/') + name;
    switch (m) {
    case Mode::FileTime: {
        const std::optional<FileTimes> times = fileTimes.read(path);
        if (!times)
            return;
        // Already in the grid's form, seconds included.
        row.set(QStringLiteral("creation"), times->creation.toText());
        row.set(QStringLiteral("modification"), times->lastWrite.toGeneralText());
        row.set(QStringLiteral("access"), times->lastAccess.toGeneralText());
        row.set(QStringLiteral("export"),
                TimeListLine(folder + QLatin1Char('/'), name, times->creation, times->lastWrite,
                             times->lastAccess));
        break;
    }
    case Mode::FileTimeVideo:
    case Mode::RenameVideo: {
        const VideoDate date = ReadVideoDate(path, videoSource);
        row.set(QStringLiteral("date"), date.text);
        // The user asked for the recorded date: say where another one stands in for it.
        if (videoSource == VideoDateSource::Recorded && !date.recorded && !date.text.isEmpty())
            row.set(QStringLiteral("note"), VideoFallbackNote());
        // No date because videos cannot be read at all: say why, not just that it failed.
        if (date.text.isEmpty() && !VideoLibraryError().isEmpty())
            row.set(QStringLiteral("note"), VideoLibraryError());
        break;
    }
    case Mode::Exif:
    case Mode::Rename: {
        ImageMetadata metadata;
        if (!metadata.load(path))
            return;
        const bool exifMode = m == Mode::Exif;
        const ExifCells cells = ExifCellsOf(metadata, exifMode && !rewriteRunning, exifMode);
        if (cells.date)
            row.set(QStringLiteral("date"), *cells.date);
        if (cells.model)
            row.set(QStringLiteral("model"), *cells.model);
        break;
    }
    }
}

void Import::showRow(Mode m, int row, const BatchRow &read, TextExport *exportFile) {
    FileGrid &grid = *w.VSFlexGrid1;
    switch (m) {
    case Mode::FileTime:
        if (!read.has(QStringLiteral("creation"))) {
            grid.setText(row, 5, QStringLiteral("读取失败"));
            break;
        }
        grid.setText(row, 1, read.value(QStringLiteral("creation")));
        grid.setText(row, 6, read.value(QStringLiteral("modification")));
        grid.setText(row, 7, read.value(QStringLiteral("access")));
        if (exportFile)
            exportFile->writeLine(read.value(QStringLiteral("export")));
        break;
    case Mode::FileTimeVideo:
    case Mode::RenameVideo:
        if (m == Mode::FileTimeVideo)
            grid.setText(row, 1, gridTimeText(read.value(QStringLiteral("date"))));
        else
            grid.setText(row, 2, read.value(QStringLiteral("date")));
        if (read.has(QStringLiteral("note")))
            grid.setText(row, 5, read.value(QStringLiteral("note")));
        break;
    case Mode::Exif:
    case Mode::Rename: {
        w.state().exifRowRead(row);
        const bool importing = m == Mode::Exif && !w.RewriteRunning;
        if (read.has(QStringLiteral("model")))
            grid.setText(row, 3, read.value(QStringLiteral("model")));
        if (read.has(QStringLiteral("date")))
            grid.setText(row, importing ? 1 : 2, read.value(QStringLiteral("date")));
        if (m == Mode::Rename)
            break;
        if (grid.text(row, 1).isEmpty())
            grid.setText(row, 5, QStringLiteral("Exif信息丢失"));
        if (exportFile) {
            const QString date = grid.text(row, 1).isEmpty() ? QStringLiteral("0000:00:00 00:00:00")
                                                             : grid.text(row, 1);
            exportFile->writeLine(ExportName(w.LDir->text() + QLatin1Char('/')) +
                                  QLatin1Char('\t') + ExportName(grid.text(row, 0)) +
                                  QLatin1Char('\t') + ExportField(date));
        }
        break;
    }
    }
}

} // namespace kalmora
