#include "gui/window/mode_switches.h"

#include "core/filetime/video_date.h"
#include "core/grid/file_grid.h"
#include "core/import/file_list.h"
#include "gui/plan/stages.h"
#include "gui/window/features.h"
#include "gui/window/main_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

namespace kalmora {

namespace {
const QString PhotoPattern = ExifPhotoPattern();
const QString VideoPattern = DefaultVideoPattern();
const QString OptionsGroup = QStringLiteral("Options");
const QString AllFormatsKey = QStringLiteral("AllPhotoFormats");
const QString FileTimeRowCaption = QStringLiteral("修改当前行的文件时间属性为起始时间");
} // namespace

ModeSwitches::ModeSwitches(FMainDate &window) : QObject(&window), w(window) {
    for (QRadioButton *mode : {w.OptDate, w.OptExif, w.OptRename})
        connect(mode, &QRadioButton::toggled, this, [this, mode](bool on) {
            if (on)
                modeClicked(mode);
        });
    connect(w.ChPgDn, &QCheckBox::toggled, this, &ModeSwitches::videoClicked);
    // The video date's source is the user's lasting choice; it has a say only on videos.
    w.ChVideoDate->setChecked(ChosenVideoDateSource(w.services().settings) ==
                              VideoDateSource::Recorded);
    w.ChVideoDate->setEnabled(w.ChPgDn->isChecked());
    connect(w.ChVideoDate, &QCheckBox::toggled, this, [this](bool on) {
        RememberVideoDateSource(w.services().settings,
                                on ? VideoDateSource::Recorded : VideoDateSource::FileModified);
    });
    // The phones' and cameras' other photo types: a lasting choice of the Exif and rename modes.
    w.ChAllFormats->setChecked(w.services().settings.value(OptionsGroup, AllFormatsKey) ==
                               QStringLiteral("1"));
    connect(w.ChAllFormats, &QCheckBox::toggled, this, [this](bool on) {
        // Not while a batch or an import works on the list the types made.
        if (w.Busy) {
            const QSignalBlocker quiet(w.ChAllFormats);
            w.ChAllFormats->setChecked(!on);
            w.services().prompter.beep();
            return;
        }
        w.services().settings.setValue(OptionsGroup, AllFormatsKey,
                                       on ? QStringLiteral("1") : QStringLiteral("0"));
        if ((w.OptExif->isChecked() || w.OptRename->isChecked()) && !w.ChPgDn->isChecked()) {
            // FileFilter::textChanged takes the new pattern (and may reset).
            w.CmbFileFilter->setEditText(photoPattern());
            w.refreshCountText();
        }
    });
    connect(w.Option3, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            currentRowClicked();
    });
    w.Option3->installEventFilter(this);
}

QString ModeSwitches::photoPattern() const {
    return w.ChAllFormats->isChecked() ? PhotoPattern + QLatin1Char(';') + MorePhotoPattern()
                                       : PhotoPattern;
}

bool ModeSwitches::eventFilter(QObject *watched, QEvent *event) {
    if (watched == w.Option3 && event->type() == QEvent::MouseButtonDblClick) {
        // The second press has put the button down; its release would click Option3 again and
        // undo the switch to Option1. The double-click is the whole gesture.
        w.Option3->setDown(false);
        currentRowDoubleClicked();
        return true;
    }
    return false;
}

void ModeSwitches::showModeGrid() {
    FileGrid &g = *w.VSFlexGrid1;
    const DateTime now = w.services().clock.now();
    const DateTime sample(2011, 8, 27, 20, 11, 0);
    g.clearCells();
    if (g.rows() < 3)
        g.setRows(3);
    QList<int> widths;
    QStringList headers;
    if (w.OptExif->isChecked()) {
        widths = {4940, 1850, 1850, 0, 0, 3000};
        headers = {QStringLiteral("文件名"),
                   QStringLiteral("原拍摄时间"),
                   QStringLiteral("现拍摄时间"),
                   QString(),
                   QString(),
                   QStringLiteral("其他信息")};
    } else if (w.OptRename->isChecked()) {
        widths = {4940, 4940, 0, 0, 0, 2400};
        headers = {
            QStringLiteral("原文件名"), QStringLiteral("现文件名"), QString(), QString(), QString(),
            QStringLiteral("其他信息")};
    } else {
        widths = {4940, 1850, 1850, 1850, 1050, 1200};
        headers = {QStringLiteral("文件名"),     QStringLiteral("原创建时间"),
                   QStringLiteral("现创建时间"), QStringLiteral("现修改时间"),
                   QStringLiteral("现访问时间"), QStringLiteral("其他信息"),
                   QStringLiteral("修改时间"),   QStringLiteral("访问时间")};
        if (w.ChPgDn->isChecked()) {
            headers[1] = QStringLiteral("原拍摄时间");
            headers[3] = QStringLiteral("现拍摄时间");
        }
    }
    for (int c = 0; c < 6; ++c)
        g.setColWidth(c, widths[c]);
    for (int c = 0; c < headers.size(); ++c)
        g.setText(0, c, headers[c]);

    g.setText(1, 0, QStringLiteral("测试文件名1.jpg"));
    g.setText(2, 0, QStringLiteral("测试文件名2.bmp"));
    g.setText(1, 5, QStringLiteral("修改成功"));
    g.setText(2, 5, QStringLiteral("修改失败"));
    if (w.OptRename->isChecked()) {
        g.setText(1, 1, now.toFileNameText() + QStringLiteral(".jpg"));
        g.setText(2, 1, QStringLiteral("测试文件名2.bmp"));
        return;
    }
    const int lastTimeColumn = w.OptExif->isChecked() ? 2 : 3;
    for (int c = 1; c <= lastTimeColumn; ++c) {
        g.setText(1, c, now.toText());
        g.setText(2, c, sample.toText());
    }
    if (w.OptDate->isChecked()) {
        g.setText(1, 4, now.toDateText());
        g.setText(2, 4, sample.toDateText());
    }
}

void ModeSwitches::modeClicked(QRadioButton *mode) {
    w.state().batchClosed();
    for (QWidget *c : std::initializer_list<QWidget *>{w.CmdDelete, w.CmdReset, w.CmdFileDateMod,
                                                       w.CmdPicDateMod, w.CmdPicMemoAdd,
                                                       w.CmdPicExifDel, w.CmdStampsFromDate})
        c->setEnabled(false);
    w.Option1->setChecked(true); // runs StepRange::option1Clicked

    if (mode == w.OptDate) {
        w.features().stages->timeZoneClicked();
        w.Frame6->setEnabled(true);
        w.OptAll->setChecked(true);
        w.ChPgDn->setEnabled(true);
        w.ChAllFormats->setEnabled(false);
        w.ChPgDn->setChecked(false); // runs videoClicked(false) when it was on
        w.ChExclude->setEnabled(w.ChOnWorkTime->isChecked());
        w.Check1->setChecked(false); // runs PhotoPreview::refresh
        w.Check1->setEnabled(false);
        w.ChPatternDefault->setEnabled(true);
        w.ChOnWorkTime->setEnabled(true);
        for (QWidget *o : std::initializer_list<QWidget *>{w.Option1, w.Option2, w.Option3})
            o->setEnabled(true);
        w.TPicMemo->setEnabled(false);
        w.TAuthor->setEnabled(false);
        w.Option3->setText(FileTimeRowCaption);
        w.CmdFileDateMod->setText(QStringLiteral("执行修改(&M)"));
        if (w.CmdTimeZone->text() == QStringLiteral("修改时间区间"))
            w.CmdInput->setEnabled(true);
    } else {
        const bool exif = mode == w.OptExif;
        w.Frame6->setEnabled(false);
        w.ChPgDn->setChecked(false); // runs videoClicked(false) when it was on
        w.ChPgDn->setEnabled(!exif);
        w.ChAllFormats->setEnabled(true);
        if (exif) {
            w.ChExclude->setChecked(true); // runs Stages::excludeClicked
            w.ChExclude->setEnabled(false);
        }
        w.Check1->setEnabled(exif);
        if (!exif)
            w.Check1->setChecked(false); // runs PhotoPreview::refresh
        // FileFilter::defaultClicked restores the picture types first.
        w.ChPatternDefault->setChecked(true);
        w.ChPatternDefault->setEnabled(false);
        w.CmbFileFilter->setEditText(photoPattern()); // FileFilter::textChanged: may reset
        if (!exif)
            w.ChOnWorkTime->setChecked(false); // runs Stages::workTimeClicked
        w.ChOnWorkTime->setEnabled(false);
        w.Option1->setEnabled(false);
        w.Option2->setEnabled(false);
        w.Option3->setEnabled(exif);
        if (!exif) {
            w.CheckAll->setChecked(false);
            w.CheckAll->setEnabled(false);
        }
        w.TPicMemo->setEnabled(exif);
        w.TAuthor->setEnabled(exif);
        w.Option3->setText(exif ? QStringLiteral("处理当前行的Exif信息,双击取消选定")
                                : QStringLiteral("用拍摄日期智能更名当前行"));
        if (!exif)
            w.CmdFileDateMod->setText(QStringLiteral("智能更名(&M)"));
        w.CmdInput->setEnabled(true);
    }

    w.File1->setPattern(w.CmbFileFilter->currentText());
    w.refreshCountText();
    showModeGrid();
    w.VSFlexGrid1->selectRow(1);
    w.CmdDirBrowse->setEnabled(true);
}

void ModeSwitches::videoClicked(bool on) {
    const bool fileTime = w.OptDate->isChecked();
    w.ChVideoDate->setEnabled(on);
    w.ChAllFormats->setEnabled(!fileTime && !on);
    if (fileTime) {
        w.VSFlexGrid1->setText(0, 1,
                               on ? QStringLiteral("原拍摄时间") : QStringLiteral("原创建时间"));
        w.VSFlexGrid1->setText(0, 3,
                               on ? QStringLiteral("现拍摄时间") : QStringLiteral("现修改时间"));
    }
    if (fileTime && on)
        for (QWidget *c : std::initializer_list<QWidget *>{w.CmdTimeOnOffDuty, w.CmdResetWork,
                                                           w.CmdWordBreakTime, w.CmdResetB})
            c->setEnabled(false);
    if (on) {
        w.CmbFileFilter->setEditText(VideoPattern); // FileFilter::textChanged: may reset
        w.ChExclude->setEnabled(false);
        w.ChPatternDefault->setChecked(false); // FileFilter::defaultClicked turns the box on
        w.ChPatternDefault->setEnabled(false);
        w.CmbFileFilter->setEnabled(false);
        w.CmdFileExt->setEnabled(false);
        if (fileTime) {
            w.CmdInput->setEnabled(true);
            w.ChOnWorkTime->setEnabled(false);
            w.OptDate->setText(QStringLiteral("修改视频拍摄日期"));
            w.Option3->setText(QStringLiteral("修改当前行的拍摄日期为起始时间,双击取消"));
        }
    } else {
        w.ChPatternDefault->setChecked(true); // FileFilter::defaultClicked: picture types
        if (w.OptRename->isChecked())
            w.CheckAll->setEnabled(false);
        else
            w.ChOnWorkTime->setEnabled(true);
        w.OptDate->setText(QStringLiteral("修改文件时间属性"));
        if (fileTime) {
            w.ChOnWorkTime->setEnabled(true);
            w.ChOnWorkTime->setChecked(false); // runs Stages::workTimeClicked
            w.Option3->setText(FileTimeRowCaption);
            w.CmdInput->setEnabled(w.CmdTimeZone->text() != QStringLiteral("设定时间区间"));
        }
        if (w.Option3->isChecked())
            w.ChOnWorkTime->setEnabled(false);
    }
    if (fileTime) {
        w.Option1->setEnabled(!on);
        w.Option2->setEnabled(!on);
    }
}

void ModeSwitches::currentRowClicked() {
    const bool exif = w.OptExif->isChecked();
    w.ChOnWorkTime->setChecked(false); // runs Stages::workTimeClicked
    w.ChOnWorkTime->setEnabled(false);
    w.CheckAll->setChecked(false);
    w.CheckAll->setEnabled(w.OptDate->isChecked());
    w.Frame1->setEnabled(false);
    w.CmdFileDateMod->setEnabled(w.FileCount > 0 && !exif && !w.gridInSampleState());
    w.CmdInput->setEnabled(true);
    if ((exif && w.CmdTimeZone->text() == QStringLiteral("修改时间区间")) || w.OptDate->isChecked())
        w.Frame3->setEnabled(true);
}

void ModeSwitches::currentRowDoubleClicked() {
    const bool exif = w.OptExif->isChecked();
    if (!(w.OptDate->isChecked() || (exif && w.ChPgDn->isChecked())))
        return;
    w.Option1->setChecked(true); // runs StepRange::option1Clicked
    w.features().stages->timeZoneClicked();
    if (w.CmdTimeZone->text() == QStringLiteral("修改时间区间"))
        w.Frame3->setEnabled(false);
    if (exif)
        w.ChOnWorkTime->setEnabled(false);
}

} // namespace kalmora
