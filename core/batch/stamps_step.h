#pragma once

#include "core/batch/batch.h"
#include "core/filetime/file_time_store.h"
#include "core/filetime/file_times.h"

#include <array>
#include <vector>

namespace kalmora {

// New stamps for each file (the apply, the video shift). Rows: "creation", "modification",
// "access" as read back, and "note", the result text.
class StampsStep final : public BatchStep {
public:
    struct Item {
        QString name;
        std::optional<FileTimesUpdate> update; // none: no time to start from, left untouched
    };
    // `onlyCreation`: the creation stamp is the one change asked for, so a creation time the
    // drive cannot hold leaves nothing changed (a failure). `store`: the window's file-time
    // service; none, the file system's.
    StampsStep(BatchKind kind, bool onlyCreation, FileTimeStore *store = nullptr)
        : m_kind(kind), m_onlyCreation(onlyCreation), m_store(store) {}

    std::vector<Item> items;

    BatchKind kind() const override { return m_kind; }
    int count() const override { return int(items.size()); }
    QString name(int i) const override { return items[size_t(i)].name; }
    bool prepare(int i, BatchRow &row) override;
    int intend(BatchJournal &journal, int i, const QString &path) override;
    void dryRun(int i, const QString &path, BatchRow &row) override;
    ChangeResult change(int i, const QString &path, BatchRow &row) override;
    void notReached(int i, BatchRow &row) override;

private:
    const QString &textOf(const DateTime &d);

    BatchKind m_kind;
    bool m_onlyCreation;
    FileTimeStore *m_store;
    // The texts of the last few date-times: a batch's stamps repeat (a file's stamps are often
    // equal, and neighbouring files share a birth time), and putting one into words costs more
    // than the write of a file's stamps.
    std::array<std::pair<DateTime, QString>, 4> m_recent{};
    std::size_t m_next = 0;
};

} // namespace kalmora
