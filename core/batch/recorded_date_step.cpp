#include "core/batch/recorded_date_step.h"

#include "core/base/folder_handle.h"
#include "core/base/write_protection.h"
#include "core/batch/stamps_from_date.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kalmora {

namespace {
const QString Date = QStringLiteral("date"), Original = QStringLiteral("original"),
              Note = QStringLiteral("note");
} // namespace

RecordedDateStep::RecordedDateStep(QString folder, QStringList names, Shift shift,
                                   std::unique_ptr<StampsStep> stamps)
    : m_folder(std::move(folder)), m_names(std::move(names)), m_shift(std::move(shift)),
      m_stamps(std::move(stamps)), m_patches(size_t(m_names.size())), m_original(m_names.size()),
      m_moved(m_names.size()) {}

bool RecordedDateStep::prepare(int i, BatchRow &row) {
    // The stamps' plan first: a shift may follow what it gives the file.
    if (m_stamps && !m_stamps->prepare(i, row))
        return false;
    const auto fail = [&](const QString &note, RowVerdict verdict) {
        row.verdict = verdict;
        row.values = {{Date, {}}, {Original, m_original[i]}, {Note, note}};
        return false;
    };
    const std::optional<QList<QuickTimeDate>> dates =
        ReadQuickTimeDates(m_folder + QLatin1Char('/') + m_names[i]);
    const std::optional<qint64> created = dates ? QuickTimeMovieCreated(*dates) : std::nullopt;
    const std::optional<DateTime> recorded = created ? UtcSecondsToLocal(*created) : std::nullopt;
    if (!recorded) // no date of its own: only the stamps move, if asked
        return m_stamps ? true : fail(NoRecordedDateText(), RowVerdict::Skipped);
    m_original[i] = recorded->toText();
    const std::optional<qint64> seconds = m_shift(i, *recorded);
    const std::optional<QList<BytePatch>> patches =
        seconds ? QuickTimeShift(*dates, *seconds) : std::nullopt;
    if (!patches)
        return fail(QStringLiteral("失败(日期数据异常)"), RowVerdict::Failed);
    m_patches[size_t(i)] = *patches;
    if (const auto moved = UtcSecondsToLocal(*created + *seconds))
        m_moved[i] = moved->toText();
    return true;
}

int RecordedDateStep::intend(BatchJournal &journal, int i, const QString &path) {
    const QList<BytePatch> &patches = m_patches[size_t(i)];
    if (patches.isEmpty())
        return m_stamps->intend(journal, i, path);
    // The undo puts these bytes back, then the stamps as they were.
    return journal.intendDatePatch(path, [patches](const FileState &, bool) { return patches; });
}

void RecordedDateStep::dryRun(int i, const QString &path, BatchRow &row) {
    if (m_stamps)
        m_stamps->dryRun(i, path, row);
    row.values.prepend({Original, m_original[i]});
    row.values.prepend({Date, m_moved[i]});
}

bool RecordedDateStep::writePatches(const QString &path, const QList<BytePatch> &patches, bool back,
                                    QHash<qint64, QByteArray> *held) {
    const int fd = OpenAt(path, O_RDWR | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok =
        ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && !MarkedReadOnly(st.st_uid, st.st_mode);
    // The file must still hold what the patches replace, every one of them, before any is written.
    for (const BytePatch &p : patches) {
        const QByteArray &expected = back ? p.intended : p.before;
        QByteArray now(expected.size(), Qt::Uninitialized);
        ok = ok && ::pread(fd, now.data(), size_t(now.size()), off_t(p.offset)) == now.size() &&
             now == expected;
    }
    qsizetype written = 0;
    for (const BytePatch &p : patches) {
        const QByteArray &bytes = back ? p.before : p.intended;
        ok = ok &&
             ::pwrite(fd, bytes.constData(), size_t(bytes.size()), off_t(p.offset)) == bytes.size();
        written += ok ? 1 : 0;
    }
    // A write that failed half-way: the bytes already written go back.
    if (!ok)
        for (qsizetype k = 0; k < written; ++k) {
            const QByteArray &old = back ? patches[k].intended : patches[k].before;
            if (::pwrite(fd, old.constData(), size_t(old.size()), off_t(patches[k].offset)) < 0)
                break;
        }
    // Putting the bytes back leaves the stamps as they were before (the write moved them).
    if (ok && back) {
        const timespec times[2] = {st.st_atim, st.st_mtim};
        ok = ::futimens(fd, times) == 0;
    }
    if (ok && held)
        for (const BytePatch &p : patches) {
            QByteArray now(p.intended.size(), Qt::Uninitialized);
            if (::pread(fd, now.data(), size_t(now.size()), off_t(p.offset)) == now.size())
                held->insert(p.offset, now);
        }
    return ::close(fd) == 0 && ok;
}

ChangeResult RecordedDateStep::change(int i, const QString &path, BatchRow &row) {
    const QList<BytePatch> &patches = m_patches[size_t(i)];
    ChangeResult result;
    if (!patches.isEmpty() && !writePatches(path, patches, false, &result.held)) {
        row.verdict = RowVerdict::Failed;
        row.values = {{Date, {}}, {Original, m_original[i]}, {Note, QStringLiteral("修改失败")}};
        return {};
    }
    if (m_stamps) {
        const ChangeResult stamps = m_stamps->change(i, path, row);
        if (!stamps.succeeded) {
            if (!patches.isEmpty())
                writePatches(path, patches, true, nullptr);
            row.values.prepend({Original, m_original[i]});
            row.values.prepend({Date, {}});
            return {};
        }
        result.after = stamps.after;
    } else {
        row.verdict = RowVerdict::Done;
        row.values = {{Note, QStringLiteral("修改成功")}};
    }
    row.values.prepend({Original, m_original[i]});
    row.values.prepend({Date, patches.isEmpty() ? QString() : m_moved[i]});
    result.succeeded = true;
    return result;
}

void RecordedDateStep::notReached(int i, BatchRow &row) {
    row.values = {{Date, {}}, {Original, m_original[i]}, {Note, QStringLiteral("未处理(已停止)")}};
}

} // namespace kalmora
