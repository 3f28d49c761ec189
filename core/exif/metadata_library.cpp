#include "core/exif/metadata_library.h"

#include <QByteArray>
#include <QList>

#include <dlfcn.h>
#include <mutex>
#include <stdexcept>
#include <unistd.h>

namespace kalmora {

namespace {
constexpr char ModuleName[] = "libkalmora_metadata.so";

// Where the installed programs keep it, from their own folder; else the build tree's.
QList<QByteArray> moduleCandidates() {
    QList<QByteArray> paths;
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        QByteArray folder(exe, qsizetype(n));
        folder.truncate(folder.lastIndexOf('/') + 1);
        paths.append(folder + KALMORA_MODULE_FROM_PROGRAMS "/" + ModuleName);
    }
    paths.append(QByteArray(KALMORA_MODULE_BUILD_DIR "/") + ModuleName);
    return paths;
}
} // namespace

const MetadataLibraryCalls *MetadataLibrary() {
    static const MetadataLibraryCalls *calls = nullptr;
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        // Once loaded it stays: the library's static data lives until the program ends.
        void *module = nullptr;
        for (const QByteArray &path : moduleCandidates()) {
            if (::access(path.constData(), F_OK) != 0)
                continue;
            module = ::dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
            break;
        }
        if (!module)
            return;
        using Entry = const MetadataLibraryCalls *(*)();
        const auto entry = reinterpret_cast<Entry>(::dlsym(module, "kalmora_metadata_library"));
        calls = entry ? entry() : nullptr;
    });
    return calls;
}

const MetadataLibraryCalls &RequiredMetadataLibrary() {
    const MetadataLibraryCalls *library = MetadataLibrary();
    if (!library)
        throw std::runtime_error("no metadata library");
    return *library;
}

} // namespace kalmora
