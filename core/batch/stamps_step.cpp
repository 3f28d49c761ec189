#include "core/batch/stamps_step.h"

namespace kalmora {

namespace {
const QString Creation = QStringLiteral("creation"), Modification = QStringLiteral("modification"),
              Access = QStringLiteral("access"), Note = QStringLiteral("note");
} // namespace

const QString &StampsStep::textOf(const DateTime &d) {
    for (const auto &[date, text] : m_recent)
        if (date == d)
            return text;
    m_next = (m_next + 1) % m_recent.size();
    m_recent[m_next] = {d, d.toText()};
    return m_recent[m_next].second;
}

bool StampsStep::prepare(int i, BatchRow &row) {
    if (items[size_t(i)].update)
        return true;
    row.verdict = RowVerdict::Failed;
    row.values = {
        {Creation, {}}, {Modification, {}}, {Access, {}}, {Note, QStringLiteral("修改失败")}};
    return false;
}

int StampsStep::intend(BatchJournal &journal, int i, const QString &path) {
    return journal.intendStamps(path, *items[size_t(i)].update);
}

void StampsStep::dryRun(int i, const QString &, BatchRow &row) {
    const FileTimesUpdate &u = *items[size_t(i)].update;
    const auto shown = [](const std::optional<DateTime> &d) {
        return d ? d->toText() : QStringLiteral("-");
    };
    row.values = {{Creation, shown(u.creation)},
                  {Modification, shown(u.lastWrite)},
                  {Access, shown(u.lastAccess)}};
}

ChangeResult StampsStep::change(int i, const QString &path, BatchRow &row) {
    const FileTimesUpdate &update = *items[size_t(i)].update;
    const FileTimesWriteResult written =
        m_store ? m_store->write(path, update) : WriteFileTimes(path, update);
    const WriteOutcome outcome = written.outcome(m_onlyCreation);
    const bool ok = outcome != WriteOutcome::Failure;
    const std::optional<FileTimes> &back = written.readBack;
    row.verdict = ok ? RowVerdict::Done : RowVerdict::Failed;
    const QString note = outcome == WriteOutcome::Success ? QStringLiteral("修改成功")
                         : outcome == WriteOutcome::SuccessCreationUnchanged
                             ? QStringLiteral("修改成功(创建时间未改)")
                             : QStringLiteral("修改失败");
    row.values = {{Creation, ok && back ? textOf(back->creation) : QString()},
                  {Modification, ok && back ? textOf(back->lastWrite) : QString()},
                  {Access, ok && back ? textOf(back->lastAccess) : QString()},
                  {Note, note}};
    return {ok, written.state, {}};
}

void StampsStep::notReached(int, BatchRow &row) {
    row.values = {{Note, QStringLiteral("未处理(已停止)")}};
}

} // namespace kalmora
