#include "gui/photo/exif_export.h"

#include "core/base/path_bytes.h"
#include "core/base/text_export.h"
#include "core/base/write_protection.h"
#include "core/batch/content_step.h"
#include "core/exif/exif_labels.h"
#include "core/exif/image_metadata.h"
#include "core/exif/read_exif.h"
#include "core/grid/file_grid.h"
#include "core/platform/comm_declare.h"
#include "gui/window/batch_stop.h"
#include "gui/window/features.h"
#include "gui/window/main_window.h"
#include "gui/window/window_batch.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

#include <algorithm>

namespace kalmora {

namespace {

const QString CrLf = QStringLiteral("\r\n");
const QString NoExif = QStringLiteral("Exif信息丢失");
constexpr int NameCol = 0, ResultCol = 5;
} // namespace

ExifExport::ExifExport(FMainDate &window) : QObject(&window), w(window) {
    startSession = [this](const QString &program) -> std::unique_ptr<ExifToolSession> {
        return std::make_unique<ExifToolProcess>(program, photoTimeLimitMs);
    };
    connect(w.CmdPicExifDel, &QPushButton::clicked, this, &ExifExport::picExifDelClicked);
}

void ExifExport::picExifDelClicked() {
    Prompter &prompter = w.services().prompter;
    if ((w.ChPgDn->isChecked() && w.OptExif->isChecked()) || w.ClearOnReset ||
        w.VSFlexGrid1->text(1, NameCol).isEmpty() || w.Busy) {
        prompter.beep();
        return;
    }
    const MsgAnswer answer =
        prompter.show(QStringLiteral("选择“是”导出所有照片的Exif信息，选择“否”抹除所有照片的"
                                     "Exif信息。") +
                          CrLf + QStringLiteral("抹除后不可恢复，谨慎使用！") + CrLf +
                          QStringLiteral("抹除时强烈建议不要将源文件夹放置在桌面上。"),
                      MsgIcon::Information, MsgButtons::YesNoCancel, QStringLiteral("选择操作"),
                      MsgAnswer::Cancel);
    if (answer == MsgAnswer::Yes)
        exportAll();
    else if (answer == MsgAnswer::No)
        eraseAll();
}

void ExifExport::exportAll() {
    FileGrid &g = *w.VSFlexGrid1;
    Prompter &prompter = w.services().prompter;
    const QString folder = ExportFolderOf(w.values(), true);
    w.state().batchStarted();

    TextExport file(folder + QLatin1Char('/') + exportFileName());
    bool written = file.open();
    const int n = w.FileCount;
    const int last = std::min(n, g.rows() - 1);
    QStringList names;
    for (int r = 1; r <= last; ++r)
        names.append(g.text(r, NameCol));
    const QString photos = w.LDir->text() + QLatin1Char('/');
    // Each photo is read on a thread of its own; its block is written here, in order.
    const int done = RunWindowReads(
        w, last,
        [&](int i, BatchRow &row) {
            row.set(QStringLiteral("block"), ExifExportBlock(names[i], photos + names[i]));
        },
        [&](const BatchRow &row) {
            const int r = row.index + 1;
            g.selectRow(r);
            if (r % 30 == 0)
                g.setTopRow(n - r > 30 ? r : std::max(1, n - 29));
            // An empty line, then the block; the writer ends it with one more line break.
            written = written && file.writeLine(CrLf + row.value(QStringLiteral("block")));
        });
    // A stopped export keeps the photos done so far, each block whole.
    written = written && file.commit();

    if (done < last)
        w.ProgressBar1->setValue(100); // where a full run leaves it
    if (written && done < last) {
        w.features().batchStop->reportStopped(done, last - done);
    } else if (written) {
        const MsgAnswer open = prompter.show(
            QStringLiteral("每一张照片的Exif信息导出完毕，结果保存在：") + folder +
                QLatin1Char('/') + exportFileName() + QStringLiteral("中。") + CrLf +
                QStringLiteral("如果需要转换为xls文档，请用Excel打开该txt文件，分隔符指定为段落标"
                               "记进行转换！") +
                CrLf + QStringLiteral("需要打开结果文件夹吗？稍后请单击重置所有进行新的操作。"),
            MsgIcon::Information, MsgButtons::YesNo);
        if (open == MsgAnswer::Yes)
            w.services().desktop.openFolder(folder);
    } else {
        prompter.show(QStringLiteral("Exif信息导出失败，无法写入：") + file.path() + CrLf +
                          file.refusal() + (file.refusal().isEmpty() ? QString() : CrLf) +
                          QStringLiteral("稍后请单击重置所有进行新的操作。"),
                      MsgIcon::Warning);
    }
    w.state().batchEnded();
}

namespace {

const QString PackageHint = QStringLiteral(
    "也可以用系统的软件包管理器安装exiftool（例如 sudo apt install libimage-exiftool-perl）。");

// The first word of a checksum text ("<hex>  <name>" or the digits alone), if it is one.
QByteArray checksumIn(const QByteArray &text) {
    const QByteArray word = text.trimmed().split(' ').value(0).split('\t').value(0).toLower();
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    return hex.match(QString::fromLatin1(word)).hasMatch() ? word : QByteArray();
}

// SHA-256 of a regular file of at most the download limit; empty otherwise.
QByteArray fileChecksum(const QString &path) {
    const QFileInfo info(path);
    if (!MayWriteOwnFile(path) || !info.isFile() || info.size() > DownloadSizeLimit)
        return {};
    return ReadFileState(path, true).hash.toHex();
}

} // namespace

QString ExifExport::downloadExifTool() {
    Services &s = w.services();
    Settings &settings = s.settings;
    const QString target = w.values().WorkFolder + QStringLiteral("/exiftool");
    const QString sums = target + QStringLiteral(".sha256");
    // Never written through a link or over someone else's file.
    for (const QString &path : {target, sums}) {
        if (!MayWriteOwnFile(path)) {
            s.prompter.show(QStringLiteral("下载已取消：") + path + CrLf +
                                QStringLiteral("该位置已存在，但不是当前用户自己的普通文件（例如"
                                               "是符号链接），为安全起见不会写入或改动它。"),
                            MsgIcon::Warning);
            return {};
        }
    }
    QStringList servers;
    for (const char *key : {"Server1", "Server2"}) {
        const QString server =
            settings.value(QStringLiteral("Download"), QLatin1String(key)).trimmed();
        if (!server.isEmpty())
            servers.append(server);
    }
    QString url;
    for (const QString &server : servers) {
        const QString candidate = QStringLiteral("http://") + server + downloadPath();
        if (s.downloader.download(candidate, target)) {
            url = candidate;
            break;
        }
    }
    if (url.isEmpty()) {
        QString text = QStringLiteral("资源文件下载失败！请稍后重试！");
        if (servers.isEmpty())
            text += CrLf + PackageHint;
        s.prompter.show(text, MsgIcon::Information);
        return {};
    }

    // Nothing that came down runs before it matches the checksum: the configured one, else the
    // one published beside it.
    const QString configured = settings.value(QStringLiteral("Download"), QStringLiteral("Sha256"));
    QByteArray expected = checksumIn(configured.toLatin1());
    if (configured.trimmed().isEmpty() &&
        s.downloader.download(url + QStringLiteral(".sha256"), sums)) {
        QFile published(sums);
        if (published.open(QIODevice::ReadOnly))
            expected = checksumIn(published.read(4096));
    }
    QFile::remove(sums);
    const QByteArray actual = fileChecksum(target);
    if (expected.isEmpty() || actual != expected) {
        QFile::remove(target);
        QString why;
        if (!configured.trimmed().isEmpty() && expected.isEmpty())
            why = QStringLiteral("设置中Download组的Sha256不是有效的SHA-256校验值。");
        else if (expected.isEmpty())
            why = QStringLiteral("找不到它的SHA-256校验值（服务器上的") + url +
                  QStringLiteral(".sha256，或设置中Download组的Sha256）。");
        else
            why = QStringLiteral("它的SHA-256校验值与") +
                  (configured.trimmed().isEmpty() ? url + QStringLiteral(".sha256")
                                                  : QStringLiteral("设置中的校验值")) +
                  QStringLiteral("不符。");
        s.prompter.show(QStringLiteral("下载的资源文件未通过校验，已删除，不会运行：") + target +
                            CrLf + why + CrLf +
                            QStringLiteral("建议用系统的软件包管理器安装exiftool（例如 sudo apt "
                                           "install libimage-exiftool-perl）。"),
                        MsgIcon::Warning);
        return {};
    }

    // Verified; still used only once it answers like the real tool.
    QFile::setPermissions(target, QFile::permissions(target) | QFile::ExeOwner | QFile::ExeUser |
                                      QFile::ExeGroup | QFile::ExeOther);
    const ProcessResult version = s.processes.run(target, {QStringLiteral("-ver")}, 15000);
    static const QRegularExpression versionPattern(QStringLiteral(R"(^\d+\.\d+)"));
    if (!version.started || !version.finished || version.exitCode != 0 ||
        !versionPattern.match(QString::fromLatin1(version.output.trimmed())).hasMatch()) {
        QFile::remove(target);
        s.prompter.show(QStringLiteral("资源文件下载失败！请稍后重试！"), MsgIcon::Information);
        return {};
    }
    s.prompter.show(QStringLiteral("资源文件下载完毕！继续后续操作！"), MsgIcon::Information);
    return target;
}

QString ExifExport::findExifTool() {
    const QString found = LocateExifTool(w.services().environment.variable(QStringLiteral("PATH")),
                                         w.values().WorkFolder);
    if (!found.isEmpty())
        return found;
    const MsgAnswer answer =
        w.services().prompter.show(QStringLiteral("资源文件丢失，需重新下载方能使用本功能。") +
                                       CrLf + QStringLiteral("需要下载吗(约需13秒)？"),
                                   MsgIcon::Information, MsgButtons::OkCancel);
    if (answer != MsgAnswer::Ok)
        return {};
    return downloadExifTool();
}

QList<ExifExport::ConfirmedRow> ExifExport::confirmedRows() const {
    const FileGrid &g = *w.VSFlexGrid1;
    QList<ConfirmedRow> rows;
    for (int r = 1; r <= w.FileCount && r < g.rows(); ++r)
        rows.append({r, g.text(r, NameCol), w.pathOf(g.text(r, NameCol))});
    return rows;
}

void ExifExport::eraseAll() {
    Prompter &prompter = w.services().prompter;
    FileGrid &g = *w.VSFlexGrid1;
    // Busy from here on: while the tool is found or downloaded the grid must stay as confirmed.
    const WindowState::BatchFlags before = w.state().batchStarted();
    const QList<ConfirmedRow> rows = confirmedRows();
    const QString program = findExifTool();
    if (program.isEmpty() || confirmedRows() != rows) {
        if (!program.isEmpty())
            prompter.show(QStringLiteral("照片列表已不是确认抹除时的列表，本次抹除已取消，没有改动"
                                         "任何照片。") +
                              CrLf + QStringLiteral("稍后请单击“重置所有”以进行新的操作。"),
                          MsgIcon::Warning);
        w.state().batchAbandoned(before);
        return;
    }

    QStringList names;
    QList<bool> takes;
    for (const ConfirmedRow &row : rows) {
        names.append(row.name);
        takes.append(g.text(row.row, ResultCol) != NoExif);
    }
    // Another disk than the journal's: only a copy keeps the original, and it is big.
    const auto withoutUndo = [&](const QString &path, qint64 limitBytes) {
        return OnWindowThread([&] {
            const MsgAnswer answer = prompter.show(
                QStringLiteral("照片“%1”不在撤销记录所在的磁盘上，保留它的原件需要复制，超过了"
                               "复制上限(%2 MB)。")
                        .arg(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1))
                        .arg(limitBytes >> 20) +
                    CrLf + QStringLiteral("仍然抹除这张照片吗？抹除后它将不能撤销。"),
                MsgIcon::Question, MsgButtons::YesNo, QStringLiteral("消息"), MsgAnswer::No);
            if (answer == MsgAnswer::Yes)
                return true;
            prompter.show(QStringLiteral("本次抹除已取消，没有改动任何照片。"),
                          MsgIcon::Information);
            return false;
        });
    };
    ContentStep step(
        names, w.LDir->text(), [&](int i) { return takes[i]; }, withoutUndo,
        [this, program] { return startSession(program); }, commandTimeMs, true);
    step.askBeyondLimit = [&](qint64 limitBytes) {
        ContentStep::BeyondLimit choice = ContentStep::BeyondLimit::Cancel;
        OnWindowThread([&] {
            const MsgAnswer answer = prompter.show(
                QStringLiteral("抹除这些照片前为撤销保留的原件将超过保留上限(%1 MB)。")
                        .arg(limitBytes >> 20) +
                    CrLf +
                    QStringLiteral("选择“是”仍然保留全部原件(超出上限，较早批次保留的原件可能因此"
                                   "被清理)；选择“否”超出上限的照片照样抹除，但不能撤销；选择"
                                   "“取消”不抹除任何照片。"),
                MsgIcon::Question, MsgButtons::YesNoCancel, QStringLiteral("消息"),
                MsgAnswer::Cancel);
            choice = answer == MsgAnswer::Yes  ? ContentStep::BeyondLimit::KeepAll
                     : answer == MsgAnswer::No ? ContentStep::BeyondLimit::EraseWithoutUndo
                                               : ContentStep::BeyondLimit::Cancel;
            if (choice == ContentStep::BeyondLimit::Cancel)
                prompter.show(QStringLiteral("本次抹除已取消，没有改动任何照片。"),
                              MsgIcon::Information);
            return true;
        });
        return choice;
    };
    WindowBatchOptions options;
    options.again = [&](int failed) {
        return prompter.show(QStringLiteral("抹除完毕！有") + QLatin1Char(' ') +
                                 QString::number(failed) +
                                 QStringLiteral("张的抹除失败，再次尝试抹除失败的吗？(推荐)") +
                                 CrLf + QStringLiteral("稍后请单击“重置所有”以进行新的操作。"),
                             MsgIcon::Information, MsgButtons::YesNo) == MsgAnswer::Yes;
    };
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const BatchOutcome outcome = RunWindowBatch(
        w, step,
        [&](const BatchRow &row) {
            const int r = rows[row.index].row;
            if (row.verdict == RowVerdict::Skipped)
                return; // no Exif: left alone
            if (row.verdict == RowVerdict::NotDone) {
                if (g.text(r, ResultCol) != NoExif)
                    g.setText(r, ResultCol, row.value(QStringLiteral("note")));
                return;
            }
            g.selectRow(r);
            w.state().exifRowRead(r);
            if (row.has(QStringLiteral("date")))
                g.setText(r, 1, row.value(QStringLiteral("date")));
            if (row.has(QStringLiteral("model")))
                g.setText(r, 3, row.value(QStringLiteral("model")));
            g.setText(r, ResultCol, row.value(QStringLiteral("note")));
        },
        options);
    QApplication::restoreOverrideCursor();
    if (outcome.end == BatchOutcome::End::NotStarted) {
        w.state().batchAbandoned(before);
        return;
    }
    if (outcome.end == BatchOutcome::End::Stopped) {
        int notDone = 0, noExif = 0;
        for (const ConfirmedRow &row : rows) {
            notDone += g.text(row.row, ResultCol) == BatchStop::notDoneText() ? 1 : 0;
            noExif += g.text(row.row, ResultCol) == NoExif ? 1 : 0;
        }
        w.features().batchStop->reportStopped(int(rows.size()) - notDone - noExif, notDone);
    } else if (outcome.end == BatchOutcome::End::Finished && outcome.failed == 0) {
        prompter.show(QStringLiteral("抹除完毕！稍后请单击“重置所有”以进行新的操作。"),
                      MsgIcon::Information);
    }
    w.state().batchEnded();
    w.VSFlexGrid1->setTopRow(1);
}

} // namespace kalmora
