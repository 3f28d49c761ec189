#pragma once

#include <QString>

namespace kalmora {

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // The chosen folder, or empty text when the user cancels.
    virtual QString chooseFolder(const QString &title, const QString &startFolder) = 0;
    // The chosen file, or empty text when the user cancels. filter: "Photos (*.jpg);;All (*)".
    virtual QString chooseOpenFile(const QString &title, const QString &startFolder,
                                   const QString &filter) = 0;
};

class QtFileDialogs final : public FileDialogs {
public:
    QString chooseFolder(const QString &title, const QString &startFolder) override;
    QString chooseOpenFile(const QString &title, const QString &startFolder,
                           const QString &filter) override;
};

} // namespace kalmora
