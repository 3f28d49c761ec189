#pragma once

#include "core/batch/stamps_step.h"
#include "core/filetime/quicktime_dates.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace kalmora {

// The dates a movie records of itself (its QuickTime headers) moved in place by each file's
// shift, and, for the window's video shift, the file's stamps as well (`stamps`, whose rows it
// adds). Rows: "date" (the movie's new recorded date, local time), "original", the stamps'
// values when they are written, and "note", the result text. A movie whose stamps cannot be
// written gets its bytes back: a failed row leaves the file as it was.
class RecordedDateStep final : public BatchStep {
public:
    // File i's shift in seconds for a movie recorded at `recorded` (local time), asked after the
    // stamps' plan gave file i its stamps; none: the row fails untouched.
    using Shift = std::function<std::optional<qint64>(int i, const DateTime &recorded)>;
    RecordedDateStep(QString folder, QStringList names, Shift shift,
                     std::unique_ptr<StampsStep> stamps = nullptr);

    BatchKind kind() const override { return BatchKind::VideoShift; }
    int count() const override { return int(m_names.size()); }
    QString name(int i) const override { return m_names[i]; }
    bool prepare(int i, BatchRow &row) override;
    bool refused() const override { return m_stamps && m_stamps->refused(); }
    int intend(BatchJournal &journal, int i, const QString &path) override;
    void dryRun(int i, const QString &path, BatchRow &row) override;
    ChangeResult change(int i, const QString &path, BatchRow &row) override;
    void notReached(int i, BatchRow &row) override;

private:
    // The patches written through one open of the file, then read back (`back`: their old bytes
    // put back, and the stamps the file had before); false, and nothing written, when the file
    // no longer holds what they replace.
    static bool writePatches(const QString &path, const QList<BytePatch> &patches, bool back,
                             QHash<qint64, QByteArray> *held);

    QString m_folder;
    QStringList m_names;
    Shift m_shift;
    std::unique_ptr<StampsStep> m_stamps;
    std::vector<QList<BytePatch>> m_patches;
    QStringList m_original, m_moved; // the recorded dates, before and after
};

} // namespace kalmora
