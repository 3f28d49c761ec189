#include "core/batch/stamps_step.h"

#include <limits>

namespace kalmora {

namespace {
const QString Creation = QStringLiteral("creation"), Modification = QStringLiteral("modification"),
              Access = QStringLiteral("access"), Note = QStringLiteral("note");

// Below any valid date-time's seconds (the Julian day count starts in 4714 BC).
constexpr qint64 Unset = std::numeric_limits<qint64>::min(), Invalid = Unset + 1,
                 NoUpdate = Unset + 2;
} // namespace

StampsStep::StampsStep(BatchKind kind, bool onlyCreation, QStringList names, Plan plan,
                       FileTimeStore *store)
    : m_kind(kind), m_onlyCreation(onlyCreation), m_names(std::move(names)),
      m_plan(std::move(plan)), m_store(store),
      m_stamps(size_t(m_names.size()), Stamps{NoUpdate, NoUpdate, NoUpdate}) {}

StampsStep::Stamps StampsStep::pack(const FileTimesUpdate &update) {
    const auto one = [](const std::optional<DateTime> &d) {
        return !d ? Unset : d->isValid() ? d->totalSeconds() : Invalid;
    };
    return {one(update.creation), one(update.lastAccess), one(update.lastWrite)};
}

FileTimesUpdate StampsStep::unpack(const Stamps &stamps) {
    const auto one = [](qint64 s) -> std::optional<DateTime> {
        if (s == Unset)
            return std::nullopt;
        return s == Invalid ? DateTime() : DateTime::fromTotalSeconds(s);
    };
    return {one(stamps.creation), one(stamps.lastAccess), one(stamps.lastWrite)};
}

const QString &StampsStep::textOf(const DateTime &d) {
    for (const auto &[date, text] : m_recent)
        if (date == d)
            return text;
    m_next = (m_next + 1) % m_recent.size();
    m_recent[m_next] = {d, d.toText()};
    return m_recent[m_next].second;
}

void StampsStep::fitToDrive(DriveStamps drive, std::function<bool(const QString &)> ask) {
    m_drive = std::move(drive);
    m_askDrive = std::move(ask);
}

bool StampsStep::prepare(int i, BatchRow &row) {
    if (std::optional<FileTimesUpdate> update = m_plan(i)) {
        if (m_drive) {
            const FileTimesUpdate fitted = m_drive->fit(*update);
            if (fitted.lastAccess != update->lastAccess || fitted.lastWrite != update->lastWrite) {
                if (!m_fitting)
                    m_fitting = !m_askDrive || m_askDrive(m_drive->name());
                if (!*m_fitting) {
                    m_refused = true;
                    return false;
                }
                update = fitted;
            }
        }
        m_stamps[size_t(i)] = pack(*update);
        return true;
    }
    Unplanned why = m_unplanned ? m_unplanned(i) : Unplanned{};
    if (why.note.isEmpty())
        why = {QStringLiteral("修改失败"), true};
    row.verdict = why.failed ? RowVerdict::Failed : RowVerdict::Skipped;
    row.values = {{Creation, {}}, {Modification, {}}, {Access, {}}, {Note, why.note}};
    return false;
}

int StampsStep::intend(BatchJournal &journal, int i, const QString &path) {
    return journal.intendStamps(path, updateOf(i));
}

void StampsStep::dryRun(int i, const QString &, BatchRow &row) {
    const FileTimesUpdate u = updateOf(i);
    const auto shown = [](const std::optional<DateTime> &d) {
        return d ? d->toText() : QStringLiteral("-");
    };
    row.values = {{Creation, shown(u.creation)},
                  {Modification, shown(u.lastWrite)},
                  {Access, shown(u.lastAccess)}};
}

ChangeResult StampsStep::change(int i, const QString &path, BatchRow &row) {
    const FileTimesUpdate update = updateOf(i);
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
