#include "core/batch/content_step.h"

#include "exif/read_exif.h"

#include <algorithm>

namespace kalmora {

namespace {
const QString Note = QStringLiteral("note");
} // namespace

bool ContentStep::prepare(int i, BatchRow &row) {
    if (m_takes(i))
        return true;
    // A photo without Exif is left alone.
    row.verdict = RowVerdict::Skipped;
    row.values = {{Note, QStringLiteral("Exif信息丢失")}};
    return false;
}

int ContentStep::intend(BatchJournal &journal, int i, const QString &path) {
    BatchJournal::Keep keep = BatchJournal::Keep::Kept;
    const int seq = journal.intendContent(path, true, &keep);
    if (keep != BatchJournal::Keep::TooLarge)
        return seq;
    if (!m_withoutUndo(m_folder + QLatin1Char('/') + m_names[i], journal.config().copyLimitBytes))
        return 0;
    return journal.intendContent(path, false);
}

void ContentStep::dryRun(int, const QString &, BatchRow &row) {
    row.values = {{Note, QString()}};
}

// One photo at first, then as many as were handed over before, up to a command's worth: each
// command costs the tool about as much as a small photo, while a stop soon after the start still
// finishes few photos.
int ContentStep::groupSize() const {
    return std::clamp(m_handed, 1, int(ExifToolProcess::GroupPhotos));
}

void ContentStep::handOver(const QList<int> &files) {
    m_handed += int(files.size());
    if (!m_tool)
        m_tool = m_startTool();
    QStringList paths;
    for (const int i : files)
        paths.append(m_folder + QLatin1Char('/') + m_names[i]);
    m_tool->send(paths);
}

ChangeResult ContentStep::change(int i, const QString &, BatchRow &row) {
    const EraseOutcome outcome = m_tool->next();
    const QString whole = m_folder + QLatin1Char('/') + m_names[i];
    const QString note =
        EraseResultText(outcome, outcome == EraseOutcome::Erased && MetadataErased(whole));
    row.verdict = note.isEmpty() ? RowVerdict::Done : RowVerdict::Failed;
    row.values = {{Note, note}};
    return {note.isEmpty(), std::nullopt, {}};
}

} // namespace kalmora
