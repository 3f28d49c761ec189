#include "core/batch/rename_step.h"

#include "core/filetime/file_times.h"
#include "core/filetime/rename_rules.h"

namespace kalmora {

namespace {
const QString Name = QStringLiteral("name"), Note = QStringLiteral("note");
} // namespace

QString RenameStep::besideIt(const QString &path, int i) const {
    return path.left(path.size() - m_names[i].size()) + m_newNames[i];
}

bool RenameStep::prepare(int i, BatchRow &row) {
    m_newNames[i] = m_newName(i);
    if (!m_newNames[i].isEmpty())
        return true;
    row.verdict = RowVerdict::Failed;
    row.values = {{Name, {}}, {Note, RenameInvalidDateText()}};
    return false;
}

int RenameStep::intend(BatchJournal &journal, int i, const QString &path) {
    return journal.intendRename(path, besideIt(path, i));
}

void RenameStep::dryRun(int i, const QString &path, BatchRow &row) {
    const QString &newName = m_newNames[i];
    const bool exists = m_taken.contains(newName) || StatFileState(besideIt(path, i)).exists;
    m_taken.insert(newName);
    if (exists)
        row.verdict = RowVerdict::Failed;
    row.values = {{Name, newName},
                  {Note, exists ? RenameFailureText(RenameError::Exists) : QString()}};
}

ChangeResult RenameStep::change(int i, const QString &path, BatchRow &row) {
    const RenameError e = RenameNoReplace(path, besideIt(path, i));
    const bool ok = e == RenameError::None;
    row.verdict = ok ? RowVerdict::Done : RowVerdict::Failed;
    row.values = {{Name, ok ? m_newNames[i] : QString()}, {Note, RenameFailureText(e)}};
    return {ok, std::nullopt, {}};
}

void RenameStep::notReached(int, BatchRow &row) {
    row.values = {{Name, {}}, {Note, QStringLiteral("未处理(已停止)")}};
}

} // namespace kalmora
