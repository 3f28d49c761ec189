#pragma once

// What the file system of a folder holds of the stamps a batch writes: FAT keeps modification
// times in 2-second steps, exFAT access times too, both only from 1980 to 2107; other systems
// clamp what lies outside their years. Known before the batch, so that a plan the drive cannot
// hold is said once, and what is written is what the drive keeps.
#include "core/filetime/file_times.h"

#include <QString>

#include <memory>
#include <optional>

namespace kalmora {

class DriveStamps {
public:
    // The drive of `folder`, from its file system's type (and, on a kernel file system, a file
    // of no name made there for the purpose: what it keeps of a time is what any file keeps).
    static DriveStamps of(const QString &folder);
    DriveStamps();
    ~DriveStamps();
    DriveStamps(DriveStamps &&) noexcept;
    DriveStamps &operator=(DriveStamps &&) noexcept;

    // "FAT", "exFAT" or "NTFS"; empty for the others.
    QString name() const { return m_name; }
    // The stamps the drive would hold for `update`: the same when it holds them all.
    FileTimesUpdate fit(const FileTimesUpdate &update);

private:
    std::optional<DateTime> fitOne(const std::optional<DateTime> &local, int step);
    std::optional<qint64> heldOnProbe(qint64 utc);

    QString m_name;
    int m_writeStep = 1, m_accessStep = 1; // seconds between the values held
    DateTime m_earliest, m_latest;         // local; invalid: not known by the type
    int m_probe = -1;                      // a file of no name in the folder, or -1
    qint64 m_heldFrom = 0, m_heldTo = -1;  // instants known to be held as they are
};

} // namespace kalmora
