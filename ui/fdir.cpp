#include "ui/fdir.h"

#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStorageInfo>
#include <QTreeView>
#include <QVBoxLayout>

namespace kalmora {

FDir::FDir(const QString &startFolder, QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FDir"));
    setWindowTitle(QStringLiteral("指定目录"));
    Drive1 = new QComboBox(this);
    Dir1 = new QTreeView(this);
    LDir = new QLabel(startFolder, this);
    CmdOk = new QPushButton(QStringLiteral("确  定"), this);
    CmdCancel = new QPushButton(QStringLiteral("取  消"), this);
    CmdNew = new QPushButton(QStringLiteral("新  建"), this);
    const std::pair<QWidget *, const char *> names[] = {
        {Drive1, "Drive1"}, {Dir1, "Dir1"},           {LDir, "LDir"},
        {CmdOk, "CmdOk"},   {CmdCancel, "CmdCancel"}, {CmdNew, "CmdNew"}};
    for (const auto &[widget, name] : names) {
        widget->setObjectName(QLatin1String(name));
        widget->setAccessibleDescription(QLatin1String(name));
    }
    LDir->setFrameShape(QFrame::StyledPanel);
    LDir->setWordWrap(true);
    CmdNew->hide(); // never offered from the main window

    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_model->setRootPath(QString());
    Dir1->setModel(m_model);
    for (int c = 1; c < m_model->columnCount(); ++c)
        Dir1->hideColumn(c);
    Dir1->header()->hide();

    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady())
            Drive1->addItem(volume.rootPath() + QStringLiteral("  (") + volume.displayName() +
                                QLatin1Char(')'),
                            volume.rootPath());
    }
    connect(Drive1, &QComboBox::activated, this, &FDir::chooseVolume);
    connect(Dir1, &QTreeView::clicked, this,
            [this](const QModelIndex &index) { chooseFolder(m_model->filePath(index)); });
    connect(CmdOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(CmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(CmdNew);
    buttons->addWidget(CmdOk);
    buttons->addWidget(CmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Drive1);
    layout->addWidget(Dir1, 1);
    layout->addWidget(LDir);
    layout->addLayout(buttons);
    resize(420, 480);

    // Open on the volume that holds the start folder.
    const QString start = QStorageInfo(startFolder).rootPath();
    const int volume = Drive1->findData(start);
    if (volume >= 0) {
        Drive1->setCurrentIndex(volume);
        chooseVolume(volume);
    }
    const QModelIndex here = m_model->index(startFolder);
    if (here.isValid()) {
        Dir1->setCurrentIndex(here);
        Dir1->scrollTo(here);
    }
}

QString FDir::folder() const {
    return LDir->text();
}

void FDir::chooseVolume(int index) {
    const QString root = Drive1->itemData(index).toString();
    // A volume that cannot be read leaves the folder tree as it was.
    if (root.isEmpty() || !QDir(root).isReadable())
        return;
    Dir1->setRootIndex(m_model->index(root));
}

void FDir::chooseFolder(const QString &path) {
    LDir->setText(path);
}

} // namespace kalmora
