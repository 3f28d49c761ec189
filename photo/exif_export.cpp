#include "photo/exif_export.h"

#include "app/comm_declare.h"
#include "app/text_export.h"
#include "exif/exif_labels.h"
#include "exif/image_metadata.h"
#include "exif/read_exif.h"
#include "ui/file_grid.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

#include <algorithm>

namespace kalmora {

namespace {

const QString CrLf = QStringLiteral("\r\n");
const QString NoExif = QStringLiteral("Exif信息丢失");
const QString EraseFailed = QStringLiteral("抹除失败");
constexpr int NameCol = 0, ResultCol = 5;
// A stripped photo keeps at most what the JPEG stream itself describes.
constexpr int ErasedPropertyLimit = 6;

// One photo's part of the export: its name line and its translated properties. The name is
// left as it is: a photo called "DateTime.jpg" keeps its name.
QString exportBlock(const QString &fileName, const QString &path) {
    QString properties;
    AppendPropertyText(path, properties);
    properties = TranslateLabels(properties);
    if (properties.contains(QStringLiteral("制造商标记")))
        return QStringLiteral("制造商标记： 【内容太多太大，不予导出】");
    return QStringLiteral("照片名称：") + OneLine(fileName) + CrLf + properties;
}

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
    for (int r = 1; r <= n && r < g.rows(); ++r) {
        w.ProgressBar1->setValue(r * 100 / n);
        const QString name = g.text(r, NameCol);
        g.selectRow(r);
        PauseWithEvents(0.0003f);
        const QString block = exportBlock(name, w.pathOf(name));
        if (r % 30 == 0)
            g.setTopRow(n - r > 30 ? r : std::max(1, n - 29));
        // An empty line, then the block; the writer ends it with one more line break.
        written = written && file.writeLine(CrLf + block);
    }
    written = written && file.commit();

    if (written) {
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

QString ExifExport::downloadExifTool() {
    Settings &settings = w.services().settings;
    const QString target = w.values().WorkFolder + QStringLiteral("/exiftool");
    QStringList servers;
    for (const char *key : {"Server1", "Server2"}) {
        const QString server =
            settings.value(QStringLiteral("Download"), QLatin1String(key)).trimmed();
        if (!server.isEmpty())
            servers.append(server);
    }
    bool ok = false;
    for (const QString &server : servers) {
        if (w.services().downloader.download(QStringLiteral("http://") + server + downloadPath(),
                                             target)) {
            ok = true;
            break;
        }
    }
    if (ok) {
        // Whatever came down is used only once it answers like the real tool.
        QFile::setPermissions(target, QFile::permissions(target) | QFile::ExeOwner |
                                          QFile::ExeUser | QFile::ExeGroup | QFile::ExeOther);
        const ProcessResult version =
            w.services().processes.run(target, {QStringLiteral("-ver")}, 15000);
        static const QRegularExpression versionPattern(QStringLiteral(R"(^\d+\.\d+)"));
        ok = version.started && version.finished && version.exitCode == 0 &&
             versionPattern.match(QString::fromLatin1(version.output.trimmed())).hasMatch();
        if (!ok)
            QFile::remove(target);
    }
    if (!ok) {
        QString text = QStringLiteral("资源文件下载失败！请稍后重试！");
        if (servers.isEmpty())
            text += CrLf + QStringLiteral("也可以用系统的软件包管理器安装exiftool（例如 sudo "
                                          "apt install libimage-exiftool-perl）。");
        w.services().prompter.show(text, MsgIcon::Information);
        return {};
    }
    w.services().prompter.show(QStringLiteral("资源文件下载完毕！继续后续操作！"),
                               MsgIcon::Information);
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

int ExifExport::erasePass(const QString &program, bool repeat) {
    FileGrid &g = *w.VSFlexGrid1;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::unique_ptr<ExifToolSession> tool = startSession(program);
    const int n = w.FileCount;
    int failed = 0;
    for (int r = 1; r <= n && r < g.rows(); ++r) {
        const QString mark = g.text(r, ResultCol);
        if (mark == NoExif || (repeat && mark.isEmpty()))
            continue;
        g.selectRow(r);
        w.ExifRow = r;
        w.ProgressBar1->setValue(r * 100 / n);
        const QString path = w.pathOf(g.text(r, NameCol));
        // The row is read again only once the tool has answered for this photo.
        bool clean = false;
        if (tool->eraseAll(path)) {
            ReadExifIntoRow(path, g,
                            ExifRowContext{r, w.OptExif->isChecked(), w.RewriteRunning, false});
            ImageMetadata metadata;
            clean = metadata.load(path) && metadata.count() < ErasedPropertyLimit;
        }
        g.setText(r, ResultCol, clean ? QString() : EraseFailed);
        failed += clean ? 0 : 1;
        PauseWithEvents(0.001f);
    }
    QApplication::restoreOverrideCursor();
    return failed;
}

void ExifExport::eraseAll() {
    Prompter &prompter = w.services().prompter;
    const QString program = findExifTool();
    if (program.isEmpty())
        return;

    w.Busy = true;
    w.ApplyRunning = true;
    w.ClearOnReset = false;
    int failed = erasePass(program, false);
    while (failed > 0) {
        const MsgAnswer again = prompter.show(
            QStringLiteral("抹除完毕！有") + QLatin1Char(' ') + QString::number(failed) +
                QStringLiteral("张的抹除失败，再次尝试抹除失败的吗？(推荐)") + CrLf +
                QStringLiteral("稍后请单击“重置所有”以进行新的操作。"),
            MsgIcon::Information, MsgButtons::YesNo);
        if (again != MsgAnswer::Yes)
            break;
        failed = erasePass(program, true);
    }
    if (failed == 0)
        prompter.show(QStringLiteral("抹除完毕！稍后请单击“重置所有”以进行新的操作。"),
                      MsgIcon::Information);

    w.ClearOnReset = true;
    w.ApplyRunning = false;
    w.Busy = false;
    w.ProgressBar1->setValue(0);
    w.VSFlexGrid1->setTopRow(1);
}

} // namespace kalmora
