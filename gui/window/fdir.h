#pragma once

#include "ui_fdir.h"

#include <QDialog>

class QComboBox;
class QFileSystemModel;
class QLabel;
class QPushButton;
class QTreeView;

namespace kalmora {

// The program's own folder window: a list of the mounted volumes, the folder tree of the chosen
// volume and the chosen folder's label. The controls come from the form fdir.ui.
class FDir : public QDialog, public Ui_FDir {
    Q_OBJECT
public:
    explicit FDir(const QString &startFolder, QWidget *parent = nullptr);

    QString folder() const;
    void chooseVolume(int index);
    void chooseFolder(const QString &path);

private:
    QFileSystemModel *m_model;
};

} // namespace kalmora
