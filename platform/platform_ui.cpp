// The real implementations of the services that need the desktop or widgets.
#include "platform/desktop.h"
#include "platform/file_dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

namespace kalmora {

bool QtDesktop::openFolder(const QString &path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool QtDesktop::openFile(const QString &path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool QtDesktop::openUrl(const QString &url) {
    return QDesktopServices::openUrl(QUrl(url));
}

QString QtFileDialogs::chooseFolder(const QString &title, const QString &startFolder) {
    return QFileDialog::getExistingDirectory(nullptr, title, startFolder,
                                             QFileDialog::ShowDirsOnly);
}

QString QtFileDialogs::chooseOpenFile(const QString &title, const QString &startFolder,
                                      const QString &filter) {
    return QFileDialog::getOpenFileName(nullptr, title, startFolder, filter);
}

} // namespace kalmora
