#pragma once

#include <QDialog>

class QComboBox;
class QFileSystemModel;
class QLabel;
class QPushButton;
class QTreeView;

namespace kalmora {

// The program's own folder window: a list of the mounted volumes, the folder tree of the chosen
// volume and the chosen folder's label.
class FDir : public QDialog {
    Q_OBJECT
public:
    explicit FDir(const QString &startFolder, QWidget *parent = nullptr);

    QString folder() const;
    void chooseVolume(int index);
    void chooseFolder(const QString &path);

    QComboBox *Drive1;
    QTreeView *Dir1;
    QLabel *LDir;
    QPushButton *CmdOk;
    QPushButton *CmdCancel;
    QPushButton *CmdNew;

private:
    QFileSystemModel *m_model;
};

} // namespace kalmora
