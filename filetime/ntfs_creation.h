#pragma once

struct statx;

namespace kalmora {

// Whether the file's file system may keep an NTFS creation attribute (ntfs-3g through FUSE, or
// an NTFS driver); elsewhere asking for it only costs a call. The answer per device is kept for
// a second, so a device number that a new mount takes over is looked at again.
bool MayHoldNtfsCreation(const struct statx &sx, const char *name);

} // namespace kalmora
