#pragma once

#include <QString>

#include <sys/types.h>

namespace kalmora {

// Whether a file's own mode forbids this process to change it: read-only for its owner when we
// are the owner, or without any write bit at all. The administrator, whom the system would let
// through, is held to it too, so a file marked read-only is never changed by the program.
bool MarkedReadOnly(uid_t owner, mode_t mode);

// What stands at a name where the program writes a file of its own (an export, a download).
// Writers follow a link they find there, and another user's file is not ours to replace.
enum class OwnFileTarget { Free, OwnRegularFile, Link, OtherEntry };
OwnFileTarget ExamineOwnFileTarget(const QString &path);
inline bool MayWriteOwnFile(const QString &path) {
    const OwnFileTarget t = ExamineOwnFileTarget(path);
    return t == OwnFileTarget::Free || t == OwnFileTarget::OwnRegularFile;
}

} // namespace kalmora
