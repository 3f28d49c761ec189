#include "core/batch/content_step.h"

#include "core/base/folder_handle.h"
#include "core/base/path_bytes.h"
#include "core/exif/image_metadata.h"
#include "core/exif/read_exif.h"

#include <algorithm>

namespace kalmora {

namespace {
const QString Note = QStringLiteral("note");
} // namespace

QString ContentStep::heldPath(int i) const {
    const QString whole = wholePath(i);
    const std::optional<FileAt> file = FileAt::of(whole);
    return file ? NameFromBytes(file->wholePath()) : whole;
}

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
    const int seq = journal.intendContent(path, !m_unkeptBeyondLimit, &keep);
    if (keep == BatchJournal::Keep::OverLimit) {
        switch (askBeyondLimit ? askBeyondLimit(journal.config().keepOriginalsBytes)
                               : BeyondLimit::Cancel) {
        case BeyondLimit::KeepAll:
            journal.keepBeyondLimit();
            return intend(journal, i, path);
        case BeyondLimit::EraseWithoutUndo:
            m_unkeptBeyondLimit = true;
            return journal.intendContent(path, false);
        case BeyondLimit::Cancel:
            return 0;
        }
    }
    if (keep != BatchJournal::Keep::TooLarge)
        return seq;
    if (!m_withoutUndo(wholePath(i), journal.config().copyLimitBytes))
        return 0;
    return journal.intendContent(path, false);
}

void ContentStep::dryRun(int, const QString &, BatchRow &row) {
    row.values = {{Note, QString()}};
}

// One photo at first, then as many as were handed over before, up to a command's worth and to
// what the tool does in the command time: each command costs the tool about as much as a small
// photo, while a stop soon after the start still finishes few photos, and the rows of a command
// show only once it is answered.
int ContentStep::groupSize() const {
    int count = std::clamp(m_handed, 1, int(ExifToolProcess::GroupPhotos));
    if (m_commandNs > 0 && m_photoNs > 0)
        count = int(std::clamp<qint64>(m_commandNs / m_photoNs, 1, count));
    return count;
}

void ContentStep::handOver(const QList<int> &files) {
    if (!m_tool)
        m_tool = m_startTool();
    QStringList paths;
    for (const int i : files)
        paths.append(heldPath(i));
    m_handed += int(files.size());
    m_lastFirst = files.first();
    m_lastCount = int(files.size());
    m_sinceHandOver.start();
    m_tool->send(paths);
}

ChangeResult ContentStep::change(int i, const QString &, BatchRow &row) {
    const EraseOutcome outcome = m_tool->next();
    if (i == m_lastFirst)
        m_photoNs = m_sinceHandOver.nsecsElapsed() / std::max(1, m_lastCount);
    // One read of the photo gives the row and the judgement.
    bool clean = false;
    std::optional<ExifCells> cells;
    if (outcome == EraseOutcome::Erased) {
        ImageMetadata metadata;
        if (metadata.load(heldPath(i))) {
            clean = MetadataErased(metadata);
            if (m_rowCells)
                cells = ExifCellsOf(metadata, true, true);
        }
    }
    const QString note = EraseResultText(outcome, clean);
    row.verdict = note.isEmpty() ? RowVerdict::Done : RowVerdict::Failed;
    row.values.clear();
    if (cells && cells->date)
        row.values.append({QStringLiteral("date"), *cells->date});
    if (cells && cells->model)
        row.values.append({QStringLiteral("model"), *cells->model});
    row.values.append({Note, note});
    return {note.isEmpty(), std::nullopt, {}};
}

void ContentStep::newPass() {
    // A fresh tool for each pass, one photo at first again.
    m_tool.reset();
    m_handed = 0;
    m_photoNs = 0;
    m_lastFirst = -1;
}

} // namespace kalmora
