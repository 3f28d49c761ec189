#pragma once

#include "core/filetime/file_times.h"

#include <QString>

#include <optional>

namespace kalmora {

// A file's three stamps: read them, write some or all of them. The result of a write tells per
// stamp what the file holds afterwards.
class FileTimeStore {
public:
    virtual ~FileTimeStore() = default;
    virtual std::optional<FileTimes> read(const QString &path) const = 0;
    virtual FileTimesWriteResult write(const QString &path, const FileTimesUpdate &update) = 0;
};

// The file system itself (ReadFileTimes, WriteFileTimes).
class SystemFileTimeStore final : public FileTimeStore {
public:
    std::optional<FileTimes> read(const QString &path) const override;
    FileTimesWriteResult write(const QString &path, const FileTimesUpdate &update) override;
};

} // namespace kalmora
