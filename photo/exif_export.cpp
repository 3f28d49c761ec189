#include "photo/exif_export.h"

#include "app/comm_declare.h"
#include "core/base/path_bytes.h"
#include "core/base/text_export.h"
#include "core/base/write_protection.h"
#include "exif/exif_labels.h"
#include "exif/image_metadata.h"
#include "exif/read_exif.h"
#include "ui/batch_stop.h"
#include "ui/features.h"
#include "ui/file_grid.h"
#include "ui/main_window.h"

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
    const QString folder = w.values().WorkFolder;
    w.Busy = true;
    w.ApplyRunning = true;
    w.ClearOnReset = false;

    TextExport file(folder + QLatin1Char('/') + exportFileName());
    bool written = file.open();
    const int n = w.FileCount;
    int done = 0;
    {
        BatchBreath breath;
        for (int r = 1; r <= n && r < g.rows(); ++r) {
            if (r > 1 && breath.breathe())
                break;
            w.ProgressBar1->setValue(r * 100 / n);
            const QString name = g.text(r, NameCol);
            g.selectRow(r);
            const QString block = ExifExportBlock(name, w.pathOf(name));
            if (r % 30 == 0)
                g.setTopRow(n - r > 30 ? r : std::max(1, n - 29));
            // An empty line, then the block; the writer ends it with one more line break.
            written = written && file.writeLine(CrLf + block);
            done = r;
        }
    }
    // A stopped export keeps the photos done so far, each block whole.
    written = written && file.commit();

    const int last = std::min(n, g.rows() - 1);
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
    w.ClearOnReset = true;
    w.ApplyRunning = false;
    w.Busy = false;
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

int ExifExport::erasePass(const QString &program, const QList<ConfirmedRow> &rows, bool repeat) {
    FileGrid &g = *w.VSFlexGrid1;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::unique_ptr<ExifToolSession> tool = startSession(program);
    const int n = w.FileCount;
    const auto takes = [&](const ConfirmedRow &row) {
        const QString mark = g.text(row.row, ResultCol);
        return mark != NoExif && !(repeat && mark.isEmpty());
    };
    int failed = 0;
    BatchBreath breath;
    bool stop = false;
    qsizetype handedOver = -1;  // the last of `rows` whose photo went to the tool
    qsizetype newestFirst = -1; // the first of the photos handed over last
    int handedCount = 0;
    const qint64 commandNs = qint64(commandTimeMs) * 1000000;
    qint64 photoNs = 0; // what the tool took per photo in its last command
    QElapsedTimer sinceHandOver;
    int lastHanded = 0;
    // The photos from `from` on, as many as were handed over before (one at first, at most a
    // command's worth): the tool takes them in one command, which costs it about as much as a
    // small photo, while a stop soon after the start still finishes few photos.
    // False when the journal cannot record them: nothing is handed over then.
    const auto handOver = [&](qsizetype from) {
        QStringList paths;
        int count = std::clamp(handedCount, 1, ExifToolProcess::GroupPhotos);
        if (photoNs > 0)
            count = int(std::clamp<qint64>(commandNs / photoNs, 1, count));
        qsizetype first = -1, last = -1;
        for (qsizetype j = from; j < rows.size() && paths.size() < count; ++j) {
            if (!takes(rows[j]))
                continue;
            if (first < 0)
                first = j;
            paths << rows[j].path;
            last = j;
        }
        if (!paths.isEmpty()) {
            // Each photo's intent is on the disk before the tool may change the photo.
            if (m_journal && !ReadyToChange(*m_journal, m_entries.value(rows[last].row),
                                            w.services().prompter, [&] { breath.breathe(); })) {
                m_journalFailed = true;
                return false;
            }
            newestFirst = first;
            handedOver = last;
            tool->send(paths);
        }
        handedCount += int(paths.size());
        lastHanded = int(paths.size());
        sinceHandOver.start();
        return true;
    };
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const ConfirmedRow &row = rows[i];
        const int r = row.row;
        if (!takes(row))
            continue;
        if (stop && handedOver < i) {
            // A repeat keeps the failure its row already shows.
            if (!repeat)
                BatchStop::markNotDone(g, r, r);
            continue;
        }
        g.selectRow(r);
        w.ExifRow = r;
        w.ProgressBar1->setValue(r * 100 / n);
        if (handedOver < i && !handOver(i)) {
            // The journal stopped the erase: this photo and the ones after it stay as they are.
            stop = true;
            BatchStop::markNotDone(g, r, r);
            continue;
        }
        const EraseOutcome outcome = tool->next();
        // Once the tool has answered the photos handed over last, it takes the next ones while
        // these rows are read again. A stop asked by now leaves those photos untouched; once
        // handed over, they are finished like these.
        if (i == newestFirst) {
            photoNs = sinceHandOver.nsecsElapsed() / std::max(1, lastHanded);
            if (!breath.stopAskedNow() && !handOver(handedOver + 1))
                stop = true;
        }
        // The row is read again only once the tool has answered for this photo.
        bool clean = false;
        if (outcome == EraseOutcome::Erased) {
            // One read gives the row and the judgement.
            ImageMetadata metadata;
            if (metadata.load(row.path)) {
                ExifIntoRow(metadata, g,
                            ExifRowContext{r, w.OptExif->isChecked(), w.RewriteRunning, false});
                clean = MetadataErased(metadata);
            }
        }
        const QString result = EraseResultText(outcome, clean);
        g.setText(r, ResultCol, result);
        if (m_journal)
            m_journal->done(m_entries.value(r), result.isEmpty());
        failed += result.isEmpty() ? 0 : 1;
        stop = breath.breathe() || m_journalFailed;
    }
    // The photos not handed over stay as they are: their intents need no hash, nor they an
    // original kept (a repeat's intents were all written in the first pass).
    if (stop && !repeat && m_journal)
        m_journal->forgetAfter(handedOver >= 0 ? m_entries.value(rows[handedOver].row) : 0);
    QApplication::restoreOverrideCursor();
    return failed;
}

void ExifExport::eraseAll() {
    Prompter &prompter = w.services().prompter;
    // Busy from here on: while the tool is found or downloaded the grid must stay as confirmed.
    const bool clearOnReset = w.ClearOnReset;
    w.Busy = true;
    w.ApplyRunning = true;
    w.ClearOnReset = false;
    const QList<ConfirmedRow> rows = confirmedRows();
    const QString program = findExifTool();
    if (program.isEmpty() || confirmedRows() != rows) {
        if (!program.isEmpty())
            prompter.show(QStringLiteral("照片列表已不是确认抹除时的列表，本次抹除已取消，没有改动"
                                         "任何照片。") +
                              CrLf + QStringLiteral("稍后请单击“重置所有”以进行新的操作。"),
                          MsgIcon::Warning);
        w.ClearOnReset = clearOnReset;
        w.ApplyRunning = false;
        w.Busy = false;
        return;
    }

    // Around the originals kept and the passes, so a stop in any of them ends the erase.
    BatchBreath batch;
    const std::unique_ptr<BatchJournal> journal =
        journalErase(rows, [&] { return batch.breathe(); });
    if (!journal) {
        w.ClearOnReset = clearOnReset;
        w.ApplyRunning = false;
        w.Busy = false;
        return;
    }
    m_journal = journal.get();
    m_journalFailed = false;

    int failed = 0;
    if (!batch.stopped()) {
        failed = erasePass(program, rows, false);
    } else {
        // Stopped while the originals were kept: no photo was handed to the tool, and the
        // journal took none of their intents (journalErase).
        for (const ConfirmedRow &row : rows)
            if (w.VSFlexGrid1->text(row.row, ResultCol) != NoExif)
                BatchStop::markNotDone(*w.VSFlexGrid1, row.row, row.row);
    }
    while (failed > 0 && !batch.stopped() && !m_journalFailed) {
        const MsgAnswer again = prompter.show(
            QStringLiteral("抹除完毕！有") + QLatin1Char(' ') + QString::number(failed) +
                QStringLiteral("张的抹除失败，再次尝试抹除失败的吗？(推荐)") + CrLf +
                QStringLiteral("稍后请单击“重置所有”以进行新的操作。"),
            MsgIcon::Information, MsgButtons::YesNo);
        if (again != MsgAnswer::Yes)
            break;
        failed = erasePass(program, rows, true);
    }
    if (batch.stopped()) {
        const FileGrid &g = *w.VSFlexGrid1;
        int notDone = 0, noExif = 0;
        for (const ConfirmedRow &row : rows) {
            notDone += g.text(row.row, ResultCol) == BatchStop::notDoneText() ? 1 : 0;
            noExif += g.text(row.row, ResultCol) == NoExif ? 1 : 0;
        }
        w.features().batchStop->reportStopped(int(rows.size()) - notDone - noExif, notDone);
    } else if (failed == 0 && !m_journalFailed)
        prompter.show(QStringLiteral("抹除完毕！稍后请单击“重置所有”以进行新的操作。"),
                      MsgIcon::Information);

    journal->end([&] { batch.breathe(); });
    m_journal = nullptr;
    m_entries.clear();
    w.ClearOnReset = true;
    w.ApplyRunning = false;
    w.Busy = false;
    w.ProgressBar1->setValue(0);
    w.VSFlexGrid1->setTopRow(1);
}

std::unique_ptr<BatchJournal> ExifExport::journalErase(const QList<ConfirmedRow> &rows,
                                                       const std::function<bool()> &whileKeeping) {
    Prompter &prompter = w.services().prompter;
    auto journal = OpenBatchJournal(w.services(), w.LDir->text(), BatchKind::Erase);
    if (!journal)
        return nullptr;
    m_entries.clear();
    for (const ConfirmedRow &row : rows) {
        if (w.VSFlexGrid1->text(row.row, ResultCol) == NoExif)
            continue;
        BatchJournal::Keep keep = BatchJournal::Keep::Kept;
        int seq = journal->intendContent(row.path, true, &keep);
        if (keep == BatchJournal::Keep::TooLarge) {
            // Another disk than the journal's: only a copy keeps the original, and it is big.
            const MsgAnswer answer = prompter.show(
                QStringLiteral("照片“%1”不在撤销记录所在的磁盘上，保留它的原件需要复制，超过了"
                               "复制上限(%2 MB)。")
                        .arg(row.name)
                        .arg(journal->config().copyLimitBytes >> 20) +
                    CrLf + QStringLiteral("仍然抹除这张照片吗？抹除后它将不能撤销。"),
                MsgIcon::Question, MsgButtons::YesNo, QStringLiteral("消息"), MsgAnswer::No);
            if (answer != MsgAnswer::Yes) {
                prompter.show(QStringLiteral("本次抹除已取消，没有改动任何照片。"),
                              MsgIcon::Information);
                return nullptr;
            }
            seq = journal->intendContent(row.path, false);
        }
        m_entries.insert(row.row, seq);
        // Stopped: the erase ends before any photo goes to the tool, so the rest need no
        // original kept (a copy can take long) nor a question about one, and the intents so far
        // no hash.
        if (whileKeeping()) {
            journal->forgetAfter(0);
            break;
        }
    }
    if (!CommitFirstIntents(*journal, prompter))
        return nullptr;
    return journal;
}

} // namespace kalmora
