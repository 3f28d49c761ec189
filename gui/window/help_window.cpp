#include "gui/window/help_window.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace kalmora {

HelpWindow::HelpWindow(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FHelp"));
    setWindowTitle(QStringLiteral("使用说明"));
    auto *layout = new QVBoxLayout(this);
    auto *text = new QTextBrowser(this);
    text->setObjectName(QStringLiteral("HelpText"));
    text->setHtml(helpText());
    layout->addWidget(text);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("关闭"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(640, 560);
}

QString HelpWindow::helpText() {
    return QStringLiteral(
        "<h3>Kalmora 使用说明</h3>"
        "<p>本程序按您设定的时间区间，批量修改一个文件夹中文件的时间属性、照片的拍摄日期或文件名。"
        "每次操作都按下面的顺序进行：选择模式 → 选择文件夹 → 选择文件类型 → 设定时间区间 → "
        "导入文件 → 执行修改 → 重置。</p>"
        "<h4>一、修改文件时间属性</h4>"
        "<ol>"
        "<li>选择“修改文件时间属性”，并在“时间修改选项”中选择要修改的时间"
        "（仅创建、仅修改、仅访问或全部时间）。</li>"
        "<li>单击“浏览(B)...”选择文件所在的文件夹。</li>"
        "<li>保留“默认文件类型(图片)”，或取消勾选后输入、选择文件类型，"
        "也可以单击“指定(G)...”选一个样本文件，以它的扩展名为类型。</li>"
        "<li>用微调按钮设定起始和结束时间，选择时间单位（分或秒）和步长："
        "“递增”为固定步长，“无规律变化”在两个数之间随机取步长。"
        "然后单击“设定时间区间”。</li>"
        "<li>如需只在上班时间内，勾选“限定在上班时间内”，设定上下班时间并单击“设定上下班时间”；"
        "取消勾选“包含午休时间”时，还要设定午休时间并单击“设定午休时间”。</li>"
        "<li>单击“导入待处理的文件(I)”。导入后双击某行（第一行除外）或选定若干行后单击"
        "“删除选定行(D)”，可以把不需修改的文件从列表中去掉。</li>"
        "<li>单击“执行修改(M)”。每个文件依次得到时间区间内的下一个时间，"
        "列表中显示修改后的实际时间和“修改成功”或“修改失败”。</li>"
        "<li>完成后单击“重置所有(R)”，再开始下一次操作。</li>"
        "</ol>"
        "<p>选择“修改当前行的文件时间属性为起始时间”时，只把当前行的文件改为起始时间；"
        "同时勾选“全部相同处理”则把所有文件都改为起始时间。</p>"
        "<h4>二、处理数码视频</h4>"
        "<p>在“修改文件时间属性”模式下勾选“处理数码视频”，文件类型自动换成常见视频格式。"
        "导入时读取视频的拍摄日期，执行修改时在弹出的窗口中设定前移或后移的时间量，"
        "程序把平移后的日期写为视频文件的时间。"
        "视频的日期默认取文件修改时间；勾选“使用视频内记录的拍摄时间”后取视频文件内记录的"
        "拍摄时间（换算为本机时间），未记录的仍用文件修改时间，并在该行注明。</p>"
        "<h4>三、处理Exif信息</h4>"
        "<ol>"
        "<li>选择“处理Exif信息”，文件类型自动设为JPEG和TIFF照片。</li>"
        "<li>选择文件夹后单击“导入待处理的文件(I)”，列表显示每张照片的拍摄时间；"
        "没有拍摄时间的照片显示“Exif信息丢失”。</li>"
        "<li>单击“修改拍摄日期(T)”，可以从新的起始日期起按固定间隔重写拍摄日期，"
        "或把每张照片原有的日期前移、后移固定或随机的时间量。"
        "在设置窗口中勾选“同时修改数字化时间和修改时间”，照片的这两个时间也随之改动。</li>"
        "<li>单击“导出/抹除所有Exif信息(E)”，可以把所有Exif信息导出为文本，"
        "或抹除照片中的全部元数据。勾选“预览照片简介”可以查看当前照片的说明和拍摄者。</li>"
        "<li>完成后单击“重置所有(R)”。</li>"
        "</ol>"
        "<h4>四、以拍摄日期重命名</h4>"
        "<ol>"
        "<li>选择“以拍摄日期重命名”（视频请同时勾选“处理数码视频”）。</li>"
        "<li>选择文件夹后单击“导入待处理的文件(I)”，程序读取每个文件的拍摄日期。</li>"
        "<li>单击“智能更名(M)”，文件改名为“年-月-日 时.分.秒”加原扩展名；"
        "已有同名文件时不会覆盖，该行显示失败原因。</li>"
        "<li>完成后单击“重置所有(R)”。</li>"
        "</ol>"
        "<p>提示：操作进行中其他按钮暂不可用；单击“清空列表”可以清除已导入的列表。</p>");
}

} // namespace kalmora
