#pragma once

#include <sys/types.h>

namespace kalmora {

// Whether a file's own mode forbids this process to change it: read-only for its owner when we
// are the owner, or without any write bit at all. The administrator, whom the system would let
// through, is held to it too, so a file marked read-only is never changed by the program.
bool MarkedReadOnly(uid_t owner, mode_t mode);

// The same for an open file; true when it cannot be examined.
bool MarkedReadOnly(int fd);

} // namespace kalmora
