#pragma once

#include "core/batch/batch.h"
#include "core/filetime/drive_stamps.h"
#include "core/filetime/file_time_store.h"
#include "core/filetime/file_times.h"

#include <QStringList>

#include <array>
#include <functional>
#include <vector>

namespace kalmora {

// New stamps for each file (the apply, the video shift). Rows: "creation", "modification",
// "access" as read back, and "note", the result text.
class StampsStep final : public BatchStep {
public:
    // File i's new stamps; none: no time to start from, left untouched. Asked once for each
    // file, in order, while the batch works out its changes: a plan may be made as it goes.
    using Plan = std::function<std::optional<FileTimesUpdate>(int i)>;
    // `onlyCreation`: the creation stamp is the one change asked for, so a creation time the
    // drive cannot hold leaves nothing changed (a failure). `store`: the window's file-time
    // service; none, the file system's.
    StampsStep(BatchKind kind, bool onlyCreation, QStringList names, Plan plan,
               FileTimeStore *store = nullptr);

    BatchKind kind() const override { return m_kind; }
    int count() const override { return int(m_names.size()); }
    QString name(int i) const override { return m_names[i]; }
    // Stamps are written as the drive of the files holds them (rounded to its steps, within its
    // years). Before the first file whose planned stamps it would not hold as they are, `ask`
    // is called once with the drive's name: false refuses the batch (nothing changes).
    void fitToDrive(DriveStamps drive, std::function<bool(const QString &drive)> ask);
    // Why a file the plan gives no stamps is left alone, asked right after the plan: its row's
    // text, and whether that is a failure. Unset, or no text: a failure, "修改失败".
    struct Unplanned {
        QString note;
        bool failed = true;
    };
    void whyUnplanned(std::function<Unplanned(int i)> why) { m_unplanned = std::move(why); }
    bool prepare(int i, BatchRow &row) override;
    bool refused() const override { return m_refused; }
    int intend(BatchJournal &journal, int i, const QString &path) override;
    void dryRun(int i, const QString &path, BatchRow &row) override;
    ChangeResult change(int i, const QString &path, BatchRow &row) override;
    void notReached(int i, BatchRow &row) override;

private:
    // A file's stamps as DateTime::totalSeconds() (or a mark below any of them): a batch of a
    // million files keeps 24 bytes for each.
    struct Stamps {
        qint64 creation, lastAccess, lastWrite;
    };
    static Stamps pack(const FileTimesUpdate &update);
    static FileTimesUpdate unpack(const Stamps &stamps);
    FileTimesUpdate updateOf(int i) const { return unpack(m_stamps[size_t(i)]); }
    const QString &textOf(const DateTime &d);

    BatchKind m_kind;
    bool m_onlyCreation;
    QStringList m_names;
    Plan m_plan;
    FileTimeStore *m_store;
    std::vector<Stamps> m_stamps; // filled by prepare()
    std::optional<DriveStamps> m_drive;
    std::function<bool(const QString &)> m_askDrive;
    std::optional<bool> m_fitting; // the answer, once asked
    bool m_refused = false;
    std::function<Unplanned(int)> m_unplanned;
    // The texts of the last few date-times: a batch's stamps repeat (a file's stamps are often
    // equal, and neighbouring files share a birth time), and putting one into words costs more
    // than the write of a file's stamps.
    std::array<std::pair<DateTime, QString>, 4> m_recent{};
    std::size_t m_next = 0;
};

} // namespace kalmora
