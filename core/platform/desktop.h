#pragma once

#include <QString>

namespace kalmora {

// Hands folders, files and addresses to the desktop's default programs.
class Desktop {
public:
    virtual ~Desktop() = default;
    virtual bool openFolder(const QString &path) = 0;
    virtual bool openFile(const QString &path) = 0;
    virtual bool openUrl(const QString &url) = 0;
};

class QtDesktop final : public Desktop {
public:
    bool openFolder(const QString &path) override;
    bool openFile(const QString &path) override;
    bool openUrl(const QString &url) override;
};

} // namespace kalmora
