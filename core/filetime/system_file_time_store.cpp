#include "core/filetime/file_time_store.h"

namespace kalmora {

std::optional<FileTimes> SystemFileTimeStore::read(const QString &path) const {
    return ReadFileTimes(path);
}

FileTimesWriteResult SystemFileTimeStore::write(const QString &path,
                                                const FileTimesUpdate &update) {
    return WriteFileTimes(path, update);
}

} // namespace kalmora
