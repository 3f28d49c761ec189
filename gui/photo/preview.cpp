#include "gui/photo/preview.h"

#include "core/exif/document_summary.h"
#include "core/grid/file_grid.h"
#include "gui/window/main_window.h"

#include <QCheckBox>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace kalmora {

namespace {
const QString NoCaption = QStringLiteral("照片说明：无。");
constexpr int NameCol = 0, ModelCol = 3;
} // namespace

PhotoPreview::PhotoPreview(FMainDate &window) : QObject(&window), w(window) {
    connect(w.Check1, &QCheckBox::toggled, this, &PhotoPreview::refresh);
    connect(&w, &FMainDate::rowPreviewRequested, this, &PhotoPreview::refresh);
    connect(w.VSFlexGrid1, &FileGrid::selectionMoved, this, &PhotoPreview::currentCellMoved);
    connect(w.CmdPicMemoAdd, &QPushButton::clicked, this, &PhotoPreview::picMemoAddClicked);
    w.TPicMemo->installEventFilter(this);
}

void PhotoPreview::currentCellMoved() {
    // Only a move of the current cell reads the photo, not every change of the selection.
    const FileGrid &g = *w.VSFlexGrid1;
    if (g.row() == m_row && g.col() == m_col)
        return;
    m_row = g.row();
    m_col = g.col();
    refresh();
}

void PhotoPreview::refresh() {
    if (w.Busy)
        return;
    const FileGrid &g = *w.VSFlexGrid1;
    const bool showing =
        w.Check1->isChecked() && w.OptExif->isChecked() && w.CmdPicDateMod->isEnabled();
    const QString name = g.text(g.row(), NameCol);
    if (!showing) {
        w.TAuthor->setText(QStringLiteral("拍摄者：") + w.services().environment.userName() +
                           QStringLiteral("。"));
        w.TPicMemo->setText(QStringLiteral("在此输入照片说明。"));
        return;
    }
    if (name.isEmpty()) {
        w.TAuthor->setText(QStringLiteral("拍摄者：未知。"));
        w.TPicMemo->setText(NoCaption);
        return;
    }
    const QString model = g.text(g.row(), ModelCol);
    w.TAuthor->setText(QStringLiteral("拍摄者：") +
                       (model.isEmpty() ? QStringLiteral("相机型号未知") : model));
    DocumentSummary summary;
    if (!summary.open(w.pathOf(name))) {
        w.TPicMemo->setText(NoCaption);
        return;
    }
    if (!summary.author().isEmpty())
        w.TAuthor->setText(w.TAuthor->text() + QStringLiteral("，由") + summary.author() +
                           QStringLiteral("拍摄。"));
    w.TPicMemo->setText(summary.comments().isEmpty()
                            ? NoCaption
                            : QStringLiteral("照片说明：") + summary.comments());
    summary.close();
}

void PhotoPreview::picMemoAddClicked() {
    Prompter &prompter = w.services().prompter;
    const FileGrid &g = *w.VSFlexGrid1;
    if (!w.OptExif->isChecked() || w.ChPgDn->isChecked() || g.text(g.row(), NameCol).isEmpty() ||
        w.Busy || w.ClearOnReset) {
        prompter.beep();
        return;
    }
    prompter.show(QStringLiteral("本功能尚未启用，等效于拓展界面中") + QStringLiteral("\r\n") +
                      QStringLiteral("“编辑文件摘要”功能，有需求者请定制。"),
                  MsgIcon::Information, MsgButtons::Ok, QStringLiteral("提示"));
}

bool PhotoPreview::eventFilter(QObject *watched, QEvent *event) {
    if (watched == w.TPicMemo && event->type() == QEvent::MouseButtonDblClick) {
        w.TPicMemo->setSelection(0, int(w.TPicMemo->text().size()));
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kalmora
