#include "ui/main_window.h"

#include "app/notice_window.h"
#include "import/file_list.h"
#include "plan/time_fields.h"
#include "ui/control_names.h"
#include "ui/features.h"
#include "ui/file_grid.h"
#include "ui/file_grid_view.h"
#include "ui/help_window.h"
#include "ui/paint_throttle.h"
#include "ui/up_down.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace kalmora {

void ChangeLabel::setText(const QString &text) {
    if (text == QLabel::text())
        return;
    QLabel::setText(text);
    emit textChanged(text);
}

namespace {

// The drop-down list of file types, in the order users know it.
const char *const FilterList[] = {
    "*.*",
    "*.aam",
    "*.acr",
    "*.adi",
    "*.ai",
    "*.aif",
    "*.aiff",
    "*.api",
    "*.avi",
    "*.bmk",
    "*.bmp",
    "*.box",
    "*.bun",
    "*.bw",
    "*.bwv",
    "*.byu",
    "*.c0l",
    "*.cab",
    "*.cad",
    "*.cam",
    "*.cap",
    "*.cas",
    "*.cch",
    "*.cch",
    "*.cco",
    "*.cct",
    "*.cda",
    "*.cdr",
    "*.cdx",
    "*.cgm",
    "*.chm",
    "*.cmf",
    "*.cmp",
    "*.cmv",
    "*.cmx",
    "*.cpt",
    "*.cpx",
    "*.dat",
    "*.dbx",
    "*.dib",
    "*.dig",
    "*.dmf",
    "*.doc",
    "*.dsm",
    "*.dv",
    "*.dwd",
    "*.dwg",
    "*.dxf",
    "*.emf",
    "*.eps",
    "*.epsf",
    "*.esps",
    "*.fif",
    "*.fla",
    "*.flc",
    "*.fli",
    "*.flt",
    "*.fm",
    "*.fp3",
    "*.fpt",
    "*.fpx",
    "*.gif",
    "*.gt2",
    "*.icb",
    "*.ilbm",
    "*.jpeg",
    "*.jpeg;*.jpe;*.jpg;*.bmp;*.gif;*.tif;*.tiff",
    "*.jpg",
    "*.kfx",
    "*.lbm",
    "*.m1v",
    "*.m3d",
    "*.m3u",
    "*.mac",
    "*.mic",
    "*.mid",
    "*.mmm",
    "*.mng",
    "*.mov",
    "*.mp2",
    "*.mp3",
    "*.mpa",
    "*.mpe",
    "*.pal",
    "*.pbm",
    "*.pcm",
    "*.pcs",
    "*.pcx",
    "*.pdd",
    "*.pdf",
    "*.pgl",
    "*.pgm",
    "*.pic",
    "*.pm6",
    "*.pp4",
    "*.ppt",
    "*.psd",
    "*.psp",
    "*.pwp",
    "*.qif",
    "*.qt",
    "*.qti",
    "*.qts",
    "*.qtx",
    "*.ra",
    "*.ram",
    "*.rar",
    "*.ras",
    "*.raw",
    "*.rec",
    "*.rgb",
    "*.rle",
    "*.rm",
    "*.rtf",
    "*.rtm",
    "*.s3m",
    "*.sf",
    "*.tga",
    "*.tif",
    "*.tiff",
    "*.txt",
    "*.vda",
    "*.voc",
    "*.vox",
    "*.vst",
    "*.wav",
    "*.wmf",
    "*.wpg",
    "*.wps",
    "*.wvl",
    "*.xbm",
    "*.xls",
    "*.zip",
};

} // namespace

QString FMainDate::homePage() {
    return QStringLiteral("https://kalmora.example.com");
}

QString FMainDate::tag(const QObject *control) {
    return control->property("tag").toString();
}

void FMainDate::setTag(QObject *control, const QString &value) {
    control->setProperty("tag", value);
}

FMainDate::FMainDate(Services &services, const AppValues &values, QWidget *parent)
    : QMainWindow(parent), m_services(services), m_values(values) {
    setObjectName(QStringLiteral("FMainDate"));
    setWindowTitle(QStringLiteral("Kalmora"));
    createControls();
    layoutControls();
    m_features = std::make_unique<Features>(*this);
    new PaintThrottle(this, [this] { return Busy || OperationRunning; });
    m_clockTimer = new QTimer(this);
    m_clockTimer->setInterval(1000);
    connect(m_clockTimer, &QTimer::timeout, this, &FMainDate::refreshClock);
    m_clockTimer->start();
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow *focus) {
        if (!focus)
            m_leftApplication = true;
        else if (focus != windowHandle())
            m_leftApplication = false; // one of our boxes or windows came in between
    });
    load();
}

FMainDate::~FMainDate() = default;

void FMainDate::createControls() {
    auto *central = new QWidget(this);
    setCentralWidget(central);
    auto label = [&](const char *name, const QString &text) {
        return named(new QLabel(text, central), name);
    };
    auto button = [&](const char *name, const QString &caption) {
        return named(new QPushButton(caption, central), name);
    };
    auto check = [&](const char *name, const QString &caption) {
        return named(new QCheckBox(caption, central), name);
    };
    auto option = [&](const char *name, const QString &caption) {
        return named(new QRadioButton(caption, central), name);
    };
    auto field = [&](const char *name, const QString &text, int maxLength,
                     const QString &description) {
        auto *f = named(new QLineEdit(text, central), name, description);
        f->setMaxLength(maxLength);
        return f;
    };
    // Date and time fields change only through their spinners.
    auto timeField = [&](const char *name, const QString &text, int maxLength,
                         const QString &description) {
        auto *f = field(name, text, maxLength, description);
        f->setReadOnly(true);
        f->setAlignment(Qt::AlignCenter);
        return f;
    };
    auto upDown = [&](const char *name, QLineEdit *buddy, int min, int max) {
        return new UpDown(QLatin1String(name), buddy, min, max, central);
    };
    auto group = [&](const char *name, const QString &title) {
        return named(new QGroupBox(title, central), name);
    };

    Label1 = label("Label1", QStringLiteral("文件路径："));
    LDir = named(new ChangeLabel(central), "LDir", QStringLiteral("文件路径"));
    LDir->setFrameShape(QFrame::StyledPanel);
    LDir->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LDir->setMinimumWidth(200);
    LDir->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    CmdDirBrowse = button("CmdDirBrowse", QStringLiteral("浏览(&B)..."));

    Label4 = label("Label4", QStringLiteral("文件类型："));
    Label4->setToolTip(
        QStringLiteral("如手工输入文件类型，须符合扩展名规则，否则出错，禁止</\"\":?\\|>等字符。"));
    CmbFileFilter = named(new QComboBox(central), "CmbFileFilter", QStringLiteral("文件类型"));
    CmbFileFilter->setEditable(true);
    CmbFileFilter->setInsertPolicy(QComboBox::NoInsert);
    for (const char *entry : FilterList)
        CmbFileFilter->addItem(QLatin1String(entry));
    CmbFileFilter->setEditText(defaultPattern());
    CmbFileFilter->setEnabled(false);
    CmbFileFilter->setMinimumContentsLength(24);
    ChPatternDefault = check("ChPatternDefault", QStringLiteral("默认文件类型(图片)"));
    ChPatternDefault->setChecked(true);
    CmdFileExt = button("CmdFileExt", QStringLiteral("指定(&G)..."));
    CmdFileExt->setEnabled(false);
    File1 = new FileList(this);
    File1->setObjectName(QStringLiteral("File1"));
    File1->setPattern(QStringLiteral("*.jpe;*.jpeg;*.jpg;*.bmp;*.gif;*.tiff;*.tif"));
    LFilesCount = label("LFilesCount", QStringLiteral("目标文件数共100000个。"));

    Frame5 = group("Frame5", QString());
    OptDate = option("OptDate", QStringLiteral("修改文件时间属性"));
    OptExif = option("OptExif", QStringLiteral("处理Exif信息"));
    OptRename = option("OptRename", QStringLiteral("以拍摄日期重命名"));
    ChPgDn = check("ChPgDn", QStringLiteral("处理数码视频"));

    Frame6 = group("Frame6", QStringLiteral("时间修改选项："));
    OptCreate = option("OptCreate", QStringLiteral("仅创建"));
    OptCreate->setToolTip(QStringLiteral("仅修改创建时间，修改和访问时间不变"));
    OptModTime = option("OptModTime", QStringLiteral("仅修改"));
    OptModTime->setToolTip(QStringLiteral("仅修改修改时间，创建和访问时间不变"));
    OptAccessDate = option("OptAccessDate", QStringLiteral("仅访问"));
    OptAccessDate->setToolTip(QStringLiteral("仅修改访问时间，修改和创建时间不变"));
    OptAll = option("OptAll", QStringLiteral("全部时间"));
    OptAll->setToolTip(QStringLiteral("同时修改创建、修改和访问时间"));

    Frame3 = group("Frame3", QStringLiteral("设定起止时间区间"));
    Label5 = label("Label5", QStringLiteral("起始："));
    Label9 = label("Label9", QStringLiteral("结束："));
    Label6 = label("Label6", QStringLiteral("   年      月    日    时   分    秒"));
    TStartY = timeField("TStartY", QStringLiteral("2011"), 4, QStringLiteral("起始年"));
    TStartM = timeField("TStartM", QStringLiteral("01"), 2, QStringLiteral("起始月"));
    TStartD = timeField("TStartD", QStringLiteral("01"), 2, QStringLiteral("起始日"));
    TStartH = timeField("TStartH", QStringLiteral("00"), 2, QStringLiteral("起始时"));
    TStartMin = timeField("TStartMin", QStringLiteral("00"), 2, QStringLiteral("起始分"));
    TStartSec = timeField("TStartSec", QStringLiteral("00"), 2, QStringLiteral("起始秒"));
    TEndY = timeField("TEndY", QStringLiteral("2011"), 4, QStringLiteral("结束年"));
    TEndM = timeField("TEndM", QStringLiteral("01"), 2, QStringLiteral("结束月"));
    TEndD = timeField("TEndD", QStringLiteral("01"), 2, QStringLiteral("结束日"));
    TEndH = timeField("TEndH", QStringLiteral("00"), 2, QStringLiteral("结束时"));
    TEndMin = timeField("TEndMin", QStringLiteral("00"), 2, QStringLiteral("结束分"));
    TEndSec = timeField("TEndSec", QStringLiteral("00"), 2, QStringLiteral("结束秒"));
    UpDownYS = upDown("UpDownYS", TStartY, 2000, 2100);
    UpDownMonS = upDown("UpDownMonS", TStartM, 1, 12);
    UpDownDayS = upDown("UpDownDayS", TStartD, 1, 31);
    UpDownYHS = upDown("UpDownYHS", TStartH, 0, 23);
    UpDownMinS = upDown("UpDownMinS", TStartMin, 0, 59);
    UpDown2 = upDown("UpDown2", TStartSec, 0, 59);
    UpDownYE = upDown("UpDownYE", TEndY, 2000, 2100);
    UpDownMonE = upDown("UpDownMonE", TEndM, 1, 12);
    UpDownDayE = upDown("UpDownDayE", TEndD, 1, 31);
    UpDownYHE = upDown("UpDownYHE", TEndH, 0, 23);
    UpDown1 = upDown("UpDown1", TEndMin, 0, 59);
    UpDown3 = upDown("UpDown3", TEndSec, 0, 59);

    Frame1 = group("Frame1", QStringLiteral("时间单位"));
    OptSec = option("OptSec", QStringLiteral("秒"));
    OptMin = option("OptMin", QStringLiteral("分"));
    OptHour = option("OptHour", QStringLiteral("时"));
    OptDay = option("OptDay", QStringLiteral("天"));
    OptHour->setEnabled(false);
    OptDay->setEnabled(false);

    Label18 = label("Label18", QStringLiteral("步长："));
    Option1 = option("Option1", QStringLiteral("递增"));
    TStep = field("TStep", QStringLiteral("1"), 3, QStringLiteral("固定步长"));
    UpDownTStep = upDown("UpDownTStep", TStep, 1, 300);
    Label19 = label("Label19", QStringLiteral("分钟。"));
    Option2 = option("Option2", QStringLiteral("无规律变化 从："));
    TStepS = field("TStepS", QStringLiteral("10"), 3, QStringLiteral("随机步长下限"));
    UpDownTStepS = upDown("UpDownTStepS", TStepS, 1, 80);
    Label20 = label("Label20", QStringLiteral("—"));
    TStepE = field("TStepE", QStringLiteral("90"), 3, QStringLiteral("随机步长上限"));
    UpDownTStepE = upDown("UpDownTStepE", TStepE, 2, 300);
    Label21 = label("Label21", QStringLiteral("分钟。"));
    Option3 = option("Option3", QStringLiteral("修改当前行的文件时间属性为起始时间"));
    for (QLineEdit *f : {TStep, TStepS, TStepE}) {
        f->setAlignment(Qt::AlignCenter);
        f->setFixedWidth(40);
    }

    Frame4 = group("Frame4", QStringLiteral("设定上下班时间"));
    Label14 = label("Label14", QStringLiteral("开始："));
    Label11 = label("Label11", QStringLiteral("结束："));
    Label12 = label("Label12", QStringLiteral("  时    分    秒"));
    TOnDutyH = timeField("TOnDutyH", QStringLiteral("08"), 2, QStringLiteral("上班时"));
    TOnDutyM = timeField("TOnDutyM", QStringLiteral("00"), 2, QStringLiteral("上班分"));
    TOnDutyS = timeField("TOnDutyS", QStringLiteral("00"), 2, QStringLiteral("上班秒"));
    TOffDutyH = timeField("TOffDutyH", QStringLiteral("18"), 2, QStringLiteral("下班时"));
    TOffDutyM = timeField("TOffDutyM", QStringLiteral("00"), 2, QStringLiteral("下班分"));
    TOffDutyS = timeField("TOffDutyS", QStringLiteral("00"), 2, QStringLiteral("下班秒"));
    UpDownOnDutyH = upDown("UpDownOnDutyH", TOnDutyH, 0, 23);
    UpDownOnDutyM = upDown("UpDownOnDutyM", TOnDutyM, 0, 59);
    UpDownOnDutyS = upDown("UpDownOnDutyS", TOnDutyS, 0, 59);
    UpDownoffDutyH = upDown("UpDownoffDutyH", TOffDutyH, 0, 23);
    UpDownOffDutyM = upDown("UpDownOffDutyM", TOffDutyM, 0, 59);
    UpDownOffDutyS = upDown("UpDownOffDutyS", TOffDutyS, 0, 59);
    Frame4->setEnabled(false);
    ChOnWorkTime = check("ChOnWorkTime", QStringLiteral("限定在上班时间内"));
    CmdTimeOnOffDuty = button("CmdTimeOnOffDuty", QStringLiteral("设定上下班时间"));
    CmdResetWork = button("CmdResetWork", QStringLiteral("重置"));
    CmdTimeOnOffDuty->setEnabled(false);
    CmdResetWork->setEnabled(false);

    Frame2 = group("Frame2", QStringLiteral("设定午休时间"));
    Label17 = label("Label17", QStringLiteral("开始："));
    Label15 = label("Label15", QStringLiteral("结束："));
    Label16 = label("Label16", QStringLiteral("时     分     秒"));
    TBreakH = timeField("TBreakH", QStringLiteral("12"), 2, QStringLiteral("午休开始时"));
    TBreakM = timeField("TBreakM", QStringLiteral("00"), 2, QStringLiteral("午休开始分"));
    TBreakS = timeField("TBreakS", QStringLiteral("00"), 2, QStringLiteral("午休开始秒"));
    TEBreakH = timeField("TEBreakH", QStringLiteral("14"), 2, QStringLiteral("午休结束时"));
    TEBreakM = timeField("TEBreakM", QStringLiteral("00"), 2, QStringLiteral("午休结束分"));
    TEBreakS = timeField("TEBreakS", QStringLiteral("00"), 2, QStringLiteral("午休结束秒"));
    UpDownBreakH = upDown("UpDownBreakH", TBreakH, 12, 14);
    UpDownBreakM = upDown("UpDownBreakM", TBreakM, 0, 59);
    UpDownBreakS = upDown("UpDownBreakS", TBreakS, 0, 59);
    UpDownEBreakH = upDown("UpDownEBreakH", TEBreakH, 12, 14);
    UpDownEBreakM = upDown("UpDownEBreakM", TEBreakM, 0, 59);
    UpDownEBreakS = upDown("UpDownEBreakS", TEBreakS, 0, 59);
    Frame2->setEnabled(false);
    ChExclude = check("ChExclude", QStringLiteral("包含午休时间"));
    ChExclude->setChecked(true);
    CmdWordBreakTime = button("CmdWordBreakTime", QStringLiteral("设定午休时间"));
    CmdResetB = button("CmdResetB", QStringLiteral("重置"));
    CmdWordBreakTime->setEnabled(false);
    CmdResetB->setEnabled(false);

    CmdTimeZone = button("CmdTimeZone", QStringLiteral("设定时间区间"));
    CmdNow = button("CmdNow", QStringLiteral("重置当前时间"));
    CmdInput = button("CmdInput", QStringLiteral("导入待处理的文件(&I)"));
    CmdFileDateMod = button("CmdFileDateMod", QStringLiteral("执行修改(&M)"));
    CmdDelete = button("CmdDelete", QStringLiteral("删除选定行(&D)"));
    CmdReset = button("CmdReset", QStringLiteral("重置所有(&R)"));
    CmdClear = button("CmdClear", QStringLiteral("清空列表"));
    CmdHelp = button("CmdHelp", QStringLiteral("使用说明(&H)"));
    for (QPushButton *b : {CmdNow, CmdInput, CmdFileDateMod, CmdDelete, CmdReset})
        b->setEnabled(false);
    for (QPushButton *stage : {CmdTimeZone, CmdTimeOnOffDuty, CmdWordBreakTime})
        setTag(stage, QStringLiteral("1"));

    TAuthor =
        field("TAuthor", QStringLiteral("在此输入拍摄者姓名"), 32767, QStringLiteral("拍摄者"));
    TPicMemo =
        field("TPicMemo", QStringLiteral("在此输入照片说明"), 32767, QStringLiteral("照片说明"));
    CmdPicMemoAdd = button("CmdPicMemoAdd", QStringLiteral("修改照片说明(&A)"));
    CmdPicDateMod = button("CmdPicDateMod", QStringLiteral("修改拍摄日期(&T)"));
    CmdPicExifDel = button("CmdPicExifDel", QStringLiteral("导出/抹除所有Exif信息(&E)"));
    CmdPicExifDel->setToolTip(QStringLiteral("抹除Exif信息，可给数码照片瘦身至少50Kb以上。"));
    CheckAll = check("CheckAll", QStringLiteral("全部相同处理"));
    Check1 = check("Check1", QStringLiteral("预览照片简介"));
    Check1->setToolTip(QStringLiteral("预览照片的备注说明和拍摄者及相机型号"));
    for (QWidget *w : std::initializer_list<QWidget *>{
             TAuthor, TPicMemo, CmdPicMemoAdd, CmdPicDateMod, CmdPicExifDel, CheckAll, Check1})
        w->setEnabled(false);

    LProgress = label("LProgress", QStringLiteral("处理进度："));
    ProgressBar1 = named(new QProgressBar(central), "ProgressBar1", QStringLiteral("处理进度"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);

    VSFlexGrid1 = new FileGrid(this);
    VSFlexGrid1->setObjectName(QStringLiteral("VSFlexGrid1Model"));
    GridView =
        named(new FileGridView(VSFlexGrid1, central), "VSFlexGrid1", QStringLiteral("文件列表"));

    SB1 = named(new QStatusBar(this), "SB1");
    setStatusBar(SB1);
    const QString panelTexts[2] = {QStringLiteral("Kalmora 文件时间批量修改工具"),
                                   QStringLiteral("访问主页")};
    for (int i = 0; i < 4; ++i) {
        SB1Panels[i] = new QLabel(i < 2 ? panelTexts[i] : QString(), SB1);
        SB1Panels[i]->setObjectName(QStringLiteral("SB1Panel%1").arg(i + 1));
        SB1Panels[i]->setFrameShape(QFrame::StyledPanel);
        SB1Panels[i]->setMargin(2);
        SB1->addPermanentWidget(SB1Panels[i], i == 0 ? 1 : 0);
    }
    SB1Panels[1]->setToolTip(homePage() + QStringLiteral("/Index.htm"));
    SB1Panels[1]->installEventFilter(this);
    SB1Panels[1]->setMouseTracking(true);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));

    // The three option groups that do not sit alone in a frame of their own.
    auto exclusive = [this](std::initializer_list<QRadioButton *> buttons) {
        auto *g = new QButtonGroup(this);
        for (QRadioButton *b : buttons)
            g->addButton(b);
    };
    exclusive({OptDate, OptExif, OptRename});
    exclusive({OptCreate, OptModTime, OptAccessDate, OptAll});
    exclusive({OptSec, OptMin, OptHour, OptDay});
    exclusive({Option1, Option2, Option3});
    OptDate->setChecked(true);
    OptAll->setChecked(true);
    OptMin->setChecked(true);

    connect(File1, &FileList::changed, this, &FMainDate::refreshCountText);
    connect(GridView, &FileGridView::pointerMoved, this,
            [this] { GridView->viewport()->setToolTip(gridToolTip()); });
    connect(VSFlexGrid1, &FileGrid::selectionMoved, this, &FMainDate::applySelectionRule);
    connect(CmdHelp, &QPushButton::clicked, this, &FMainDate::showHelp);
}

namespace {

// One row of date or time fields, each followed by its spinner.
QHBoxLayout *fieldRow(std::initializer_list<std::pair<QLineEdit *, UpDown *>> fields) {
    auto *row = new QHBoxLayout;
    row->setSpacing(1);
    for (const auto &[edit, spin] : fields) {
        edit->setFixedWidth(edit->maxLength() == 4 ? 44 : 28);
        row->addWidget(edit);
        row->addWidget(spin);
        row->addSpacing(4);
    }
    row->addStretch();
    return row;
}

QVBoxLayout *column(std::initializer_list<QWidget *> widgets) {
    auto *c = new QVBoxLayout;
    for (QWidget *w : widgets)
        c->addWidget(w);
    return c;
}

} // namespace

void FMainDate::layoutControls() {
    auto *root = new QVBoxLayout(centralWidget());

    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(Label1);
    folderRow->addWidget(LDir, 1);
    folderRow->addWidget(CmdDirBrowse);
    folderRow->addSpacing(12);
    folderRow->addWidget(Label4);
    folderRow->addWidget(CmbFileFilter, 1);
    folderRow->addWidget(ChPatternDefault);
    folderRow->addWidget(CmdFileExt);
    folderRow->addSpacing(12);
    folderRow->addWidget(LFilesCount);
    root->addLayout(folderRow);

    auto *controls = new QHBoxLayout;

    // Modes and the times to change.
    Frame5->setLayout(column({OptDate, OptExif, OptRename, ChPgDn}));
    Frame6->setLayout(column({OptCreate, OptModTime, OptAccessDate, OptAll}));
    auto *modeColumn = new QVBoxLayout;
    modeColumn->addWidget(Frame5);
    modeColumn->addWidget(Frame6);
    modeColumn->addStretch();
    controls->addLayout(modeColumn);

    // Time window, unit and step.
    auto *window = new QGridLayout(Frame3);
    window->setHorizontalSpacing(4);
    window->addWidget(Label6, 0, 1);
    window->addWidget(Label5, 1, 0);
    window->addLayout(fieldRow({{TStartY, UpDownYS},
                                {TStartM, UpDownMonS},
                                {TStartD, UpDownDayS},
                                {TStartH, UpDownYHS},
                                {TStartMin, UpDownMinS},
                                {TStartSec, UpDown2}}),
                      1, 1);
    window->addWidget(Label9, 2, 0);
    window->addLayout(fieldRow({{TEndY, UpDownYE},
                                {TEndM, UpDownMonE},
                                {TEndD, UpDownDayE},
                                {TEndH, UpDownYHE},
                                {TEndMin, UpDown1},
                                {TEndSec, UpDown3}}),
                      2, 1);
    auto *units = new QHBoxLayout(Frame1);
    for (QRadioButton *o : {OptSec, OptMin, OptHour, OptDay})
        units->addWidget(o);
    auto *stepRow1 = new QHBoxLayout;
    stepRow1->setSpacing(2);
    for (QWidget *w :
         std::initializer_list<QWidget *>{Label18, Option1, TStep, UpDownTStep, Label19})
        stepRow1->addWidget(w);
    stepRow1->addStretch();
    auto *stepRow2 = new QHBoxLayout;
    stepRow2->setSpacing(2);
    stepRow2->addSpacing(Label18->sizeHint().width() + 2);
    for (QWidget *w : std::initializer_list<QWidget *>{Option2, TStepS, UpDownTStepS, Label20,
                                                       TStepE, UpDownTStepE, Label21})
        stepRow2->addWidget(w);
    stepRow2->addStretch();
    auto *timeColumn = new QVBoxLayout;
    timeColumn->addWidget(Frame3);
    timeColumn->addWidget(Frame1);
    timeColumn->addLayout(stepRow1);
    timeColumn->addLayout(stepRow2);
    timeColumn->addWidget(Option3);
    timeColumn->addStretch();
    controls->addLayout(timeColumn);

    // Working hours and lunch break, each with its switch and stage buttons outside the frame
    // (the frame is locked while the switch and buttons stay usable).
    auto hoursFrame = [](QGroupBox *frame, QLabel *caption, QLabel *startLabel, QLabel *endLabel,
                         std::initializer_list<std::pair<QLineEdit *, UpDown *>> start,
                         std::initializer_list<std::pair<QLineEdit *, UpDown *>> end) {
        auto *g = new QGridLayout(frame);
        g->setHorizontalSpacing(4);
        g->addWidget(caption, 0, 1);
        g->addWidget(startLabel, 1, 0);
        g->addLayout(fieldRow(start), 1, 1);
        g->addWidget(endLabel, 2, 0);
        g->addLayout(fieldRow(end), 2, 1);
    };
    hoursFrame(
        Frame4, Label12, Label14, Label11,
        {{TOnDutyH, UpDownOnDutyH}, {TOnDutyM, UpDownOnDutyM}, {TOnDutyS, UpDownOnDutyS}},
        {{TOffDutyH, UpDownoffDutyH}, {TOffDutyM, UpDownOffDutyM}, {TOffDutyS, UpDownOffDutyS}});
    hoursFrame(Frame2, Label16, Label17, Label15,
               {{TBreakH, UpDownBreakH}, {TBreakM, UpDownBreakM}, {TBreakS, UpDownBreakS}},
               {{TEBreakH, UpDownEBreakH}, {TEBreakM, UpDownEBreakM}, {TEBreakS, UpDownEBreakS}});
    auto *dutyButtons = new QHBoxLayout;
    dutyButtons->addWidget(ChOnWorkTime);
    dutyButtons->addWidget(CmdTimeOnOffDuty);
    dutyButtons->addWidget(CmdResetWork);
    auto *breakButtons = new QHBoxLayout;
    breakButtons->addWidget(ChExclude);
    breakButtons->addWidget(CmdWordBreakTime);
    breakButtons->addWidget(CmdResetB);
    auto *hoursColumn = new QVBoxLayout;
    hoursColumn->addWidget(Frame4);
    hoursColumn->addLayout(dutyButtons);
    hoursColumn->addWidget(Frame2);
    hoursColumn->addLayout(breakButtons);
    hoursColumn->addStretch();
    controls->addLayout(hoursColumn);

    // Actions.
    auto *actions = new QGridLayout;
    actions->addWidget(CmdTimeZone, 0, 0);
    actions->addWidget(CmdNow, 0, 1);
    actions->addWidget(CmdInput, 1, 0, 1, 2);
    actions->addWidget(CmdFileDateMod, 2, 0, 1, 2);
    actions->addWidget(CmdDelete, 3, 0);
    actions->addWidget(CmdReset, 3, 1);
    actions->addWidget(CmdClear, 4, 0);
    actions->addWidget(CmdHelp, 4, 1);
    actions->setRowStretch(5, 1);
    controls->addLayout(actions);

    // Photo.
    auto *photo = new QVBoxLayout;
    for (QWidget *w : std::initializer_list<QWidget *>{TAuthor, TPicMemo, CmdPicMemoAdd,
                                                       CmdPicDateMod, CmdPicExifDel})
        photo->addWidget(w);
    auto *photoChecks = new QHBoxLayout;
    photoChecks->addWidget(CheckAll);
    photoChecks->addWidget(Check1);
    photo->addLayout(photoChecks);
    photo->addStretch();
    controls->addLayout(photo, 1);

    root->addLayout(controls);
    root->addWidget(GridView, 1);

    auto *progress = new QHBoxLayout;
    progress->addWidget(LProgress);
    progress->addWidget(ProgressBar1, 1);
    root->addLayout(progress);

    resize(1280, 820);
}

void FMainDate::load() {
    FormLoading = true;
    TAuthor->setText(QStringLiteral("拍摄者：") + m_services.environment.userName() +
                     QStringLiteral("。"));
    LDir->setText(m_values.WorkFolder);
    File1->setPattern(CmbFileFilter->currentText());
    File1->setPath(LDir->text());
    refreshCountText();

    const int widths[FileGrid::Cols] = {4940, 1850, 1850, 1850, 1050, 1200, 0, 0};
    const char *const headers[FileGrid::Cols] = {"文件名",     "原创建时间", "现创建时间",
                                                 "现修改时间", "现访问时间", "其他信息",
                                                 "修改时间",   "访问时间"};
    VSFlexGrid1->setRows(3);
    for (int c = 0; c < FileGrid::Cols; ++c) {
        VSFlexGrid1->setColWidth(c, widths[c]);
        VSFlexGrid1->setText(0, c, QString::fromUtf8(headers[c]));
    }
    fillSampleRows();

    m_features->timeFields->writeDefaultWindow(m_services.clock.now().date());
    UpDownYE->setMin(LeadingNumber(TStartY->text()));

    ChOnWorkTime->setChecked(false);
    refreshClock();
    FormLoading = false;
    Busy = false;
}

bool FMainDate::listApplied() const {
    return CmdReset->isEnabled() && !CmdFileDateMod->isEnabled();
}

QString FMainDate::pathOf(const QString &fileName) const {
    return LDir->text() + QLatin1Char('/') + fileName;
}

void FMainDate::fillSampleRows() {
    const DateTime now = m_services.clock.now();
    const DateTime sample(2011, 8, 27, 20, 11, 0);
    FileGrid &g = *VSFlexGrid1;
    g.setText(1, 0, QStringLiteral("测试文件名1.jpg"));
    g.setText(2, 0, QStringLiteral("测试文件名2.bmp"));
    for (int c = 1; c <= 3; ++c) {
        g.setText(1, c, now.toText());
        g.setText(2, c, sample.toText());
    }
    g.setText(1, 4, now.toDateText());
    g.setText(2, 4, sample.toDateText());
    g.setText(1, 5, QStringLiteral("修改成功"));
    g.setText(2, 5, QStringLiteral("修改失败"));
}

bool FMainDate::gridInSampleState() const {
    const FileGrid &g = *VSFlexGrid1;
    return g.text(1, 0) == QStringLiteral("测试文件名1.jpg") &&
           g.text(2, 0) == QStringLiteral("测试文件名2.bmp") && g.text(3, 0).isEmpty();
}

QString FMainDate::countText() const {
    return QStringLiteral("目标文件数共") + QString::number(File1->count()) +
           QStringLiteral("个。");
}

void FMainDate::refreshCountText() {
    LFilesCount->setText(countText());
}

QString FMainDate::gridToolTip() const {
    if (Option3->isChecked() && OptExif->isChecked())
        return QStringLiteral("双击当前行可以打开文件供预览。");
    return QStringLiteral("在允许下双击可以删除当前行。");
}

void FMainDate::applySelectionRule() {
    if (!Option3->isChecked())
        return;
    FileGrid &g = *VSFlexGrid1;
    int start = g.row(), end = g.rowSel();
    int startCol = g.col(), endCol = g.colSel();
    if (end < start) {
        std::swap(start, end);
        startCol = 0;
        endCol = FileGrid::Cols - 1;
    }
    if (g.text(end, 0).isEmpty() && !g.text(start, 0).isEmpty())
        end = FileCount;
    if (start <= FileCount && end > FileCount)
        end = FileCount;
    g.select(start, startCol, end, endCol);
}

void FMainDate::refreshClock() {
    const DateTime now = m_services.clock.now();
    SB1Panels[2]->setText(now.time().toString(QStringLiteral("hh:mm:ss")));
    SB1Panels[3]->setText(now.toDateText());
}

bool FMainDate::event(QEvent *event) {
    if (event->type() == QEvent::WindowActivate) {
        // Only a move between the program's own windows (a box closing, a dialog) puts the
        // focus on the start hour; back from another program, the focus stays where it was.
        if (!m_leftApplication) {
            TStartH->setSelection(0, 2);
            TStartH->setFocus(Qt::ActiveWindowFocusReason);
        }
        m_leftApplication = false;
    }
    return QMainWindow::event(event);
}

bool FMainDate::eventFilter(QObject *watched, QEvent *event) {
    if (watched == SB1Panels[1]) {
        if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
            const bool buttonDown = QGuiApplication::mouseButtons() != Qt::NoButton;
            SB1Panels[1]->setCursor(buttonDown ? Qt::ArrowCursor : Qt::PointingHandCursor);
        } else if (event->type() == QEvent::MouseButtonRelease) {
            m_services.desktop.openUrl(homePage() + QStringLiteral("/Index.htm"));
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void FMainDate::closeEvent(QCloseEvent *event) {
    const MsgAnswer answer =
        m_services.prompter.show(QStringLiteral("确定退出？"), MsgIcon::Information,
                                 MsgButtons::OkCancel, QStringLiteral("消息"), MsgAnswer::Cancel);
    if (answer != MsgAnswer::Ok) {
        event->ignore();
        return;
    }
    event->accept();
    FNoticeMsg::closeNotice(); // no window of the program outlives this one
}

void FMainDate::showHelp() {
    HelpWindow help(this);
    help.exec();
}

} // namespace kalmora
