#include "core/batch/date_patch_intent.h"

#include "core/exif/exif_reader.h"

#include <QFile>

#include <algorithm>
#include <optional>

namespace kalmora {

namespace {

// What the patch leaves in a field that held `before`: the text's bytes as far as the field
// takes them, the rest as it was.
QByteArray intendedBytes(const QByteArray &before, const QByteArray &bytes) {
    QByteArray intended = before;
    intended.replace(0, std::min(bytes.size(), intended.size()), bytes.left(intended.size()));
    return intended;
}

// The date texts `tags` hold, from a load of the photo (see DateTextPatches).
QList<BytePatch> readPatches(const QString &path, const QString &text, const QList<int> &tags,
                             const std::function<QByteArray(const QByteArray &)> &other,
                             bool containers = true) {
    QList<BytePatch> patches;
    try {
        ExifReader reader(containers);
        reader.Load(path);
        QFile file;
        std::optional<bool> open; // only for a text beyond what the load read
        for (const int tag : tags) {
            const auto range = reader.textRange(tag);
            if (!range)
                continue;
            BytePatch p;
            p.offset = qint64(range->first);
            if (const auto loadedField = reader.loadedBytes(range->first, range->second)) {
                p.before = *loadedField;
            } else {
                if (!open)
                    open = OpenUntouched(file, path);
                if (!*open || !file.seek(p.offset))
                    continue;
                p.before = file.read(range->second);
            }
            p.intended =
                intendedBytes(p.before, tag == tags.first() ? text.toLatin1()
                                                            : (other ? other(p.before) : p.before));
            patches.append(p);
        }
        // A container's checksum over the block (PNG) goes back with the texts.
        QList<std::pair<quint64, QByteArray>> intended;
        for (const BytePatch &p : patches)
            intended.append({quint64(p.offset), p.intended});
        if (const auto sum = patches.isEmpty() ? std::nullopt : reader.checksumAfter(intended)) {
            const auto before = reader.loadedBytes(sum->first, quint32(sum->second.size()));
            if (!before)
                return {};
            patches.append(BytePatch{qint64(sum->first), *before, sum->second});
        }
    } catch (const ExifError &) {
        // No date text to keep, or a block the patch will refuse too.
        return {};
    }
    return patches;
}

} // namespace

BatchJournal::PatchFinder
DateTextPatches(const QString &path, const QString &text, const QList<int> &tags,
                const std::function<QByteArray(const QByteArray &own)> &other, bool containers) {
    return [path, text, tags, other, containers](const FileState &, bool) {
        return readPatches(path, text, tags, other, containers);
    };
}

BatchJournal::PatchFinder DateTextPatches(const QString &path, const QString &text, int tag,
                                          const LoadedText &loaded) {
    return [path, text, tag, loaded](const FileState &old, bool link) {
        // The file the load read, still as it read it: its bytes need no second read.
        if (old.exists && !link && old.device == loaded.file.device &&
            old.inode == loaded.file.inode && quint64(old.size) == loaded.file.size &&
            old.modification == loaded.file.modification) {
            BytePatch p;
            p.offset = qint64(loaded.position);
            p.before = loaded.field;
            p.intended = intendedBytes(p.before, text.toLatin1());
            return QList<BytePatch>{p};
        }
        return readPatches(path, text, {tag}, {});
    };
}

} // namespace kalmora
