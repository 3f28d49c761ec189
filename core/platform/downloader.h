#pragma once

#include <QString>

namespace kalmora {

class Downloader {
public:
    virtual ~Downloader() = default;
    // True when the whole resource now lies at targetPath.
    virtual bool download(const QString &url, const QString &targetPath) = 0;
};

class NetworkDownloader final : public Downloader {
public:
    bool download(const QString &url, const QString &targetPath) override;
};

} // namespace kalmora
