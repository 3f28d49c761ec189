// The real implementations of the services that need the desktop or widgets.
#include "core/platform/desktop.h"
#include "core/platform/file_dialogs.h"

#include "core/base/path_bytes.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

namespace kalmora {

namespace {

// A file URL of the path's exact bytes, so a name in another encoding opens that very file.
QUrl fileUrl(const QString &path) {
    return QUrl::fromEncoded("file://" + PathBytes(path).toPercentEncoding("/"));
}

} // namespace

bool QtDesktop::openFolder(const QString &path) {
    return QDesktopServices::openUrl(fileUrl(path));
}

bool QtDesktop::openFile(const QString &path) {
    return QDesktopServices::openUrl(fileUrl(path));
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
