#include "gui/window/fdir.h"

#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStorageInfo>
#include <QTreeView>

namespace kalmora {

FDir::FDir(const QString &startFolder, QWidget *parent) : QDialog(parent) {
    setupUi(this);
    LDir->setText(startFolder);
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
