#include "core/batch/date_patch_step.h"

#include "core/batch/date_patch_intent.h"
#include "core/exif/read_exif.h"

namespace kalmora {

namespace {
const QString Date = QStringLiteral("date"), Original = QStringLiteral("original"),
              Note = QStringLiteral("note");
} // namespace

bool DatePatchStep::prepare(int i, BatchRow &row) {
    Item &item = m_items[size_t(i)];
    m_workOut(i, item);
    m_exifTexts[i] = item.date ? ExifDateText(*item.date) : QString();
    if (!m_exifTexts[i].isEmpty())
        return true;
    row.verdict = RowVerdict::Failed;
    const QString note = QStringLiteral("失败(日期数据异常)");
    // The window's row keeps the date it shows: only its result text changes.
    if (m_window)
        row.values = {{Note, note}};
    else
        row.values = {{Date, {}}, {Original, item.original}, {Note, note}};
    return false;
}

int DatePatchStep::intend(BatchJournal &journal, int i, const QString &path) {
    const Item &item = m_items[size_t(i)];
    if (m_window) {
        // Every date text the patch may overwrite is kept, each moved as the patch moves it.
        std::function<QByteArray(const QByteArray &)> other;
        if (m_window->otherDates && item.move)
            other = [move = *item.move](const QByteArray &own) {
                const QString text = move.textFor(QString::fromLatin1(own.left(19)));
                return text.isEmpty() ? own : text.toLatin1();
            };
        return journal.intendDatePatch(
            path, DateTextPatches(path, m_exifTexts[i],
                                  {TagDateTimeOriginal, TagDateTimeDigitized, TagDateTime}, other,
                                  m_window->containers));
    }
    // The date where the byte-level reader found it while working out the new date, while the
    // photo is still the file it read.
    return journal.intendDatePatch(
        path, item.loaded ? DateTextPatches(path, m_exifTexts[i], TagDateTimeOriginal, *item.loaded)
                          : DateTextPatches(path, m_exifTexts[i], PatchedDateTags()));
}

void DatePatchStep::dryRun(int i, const QString &, BatchRow &row) {
    const Item &item = m_items[size_t(i)];
    row.values = {{Date, item.date->toText()}, {Original, item.original}};
}

ChangeResult DatePatchStep::changeInWindow(int i, const QString &path, BatchRow &row) {
    const Item &item = m_items[size_t(i)];
    const DatesPatchResult patched =
        PatchShootingDates(path, m_exifTexts[i], m_window->otherDates ? item.move : std::nullopt,
                           true, 0, m_window->containers);
    const bool written = patched.outcome == DatePatchOutcome::Written;
    row.verdict = written ? RowVerdict::Done : RowVerdict::Failed;
    switch (patched.outcome) {
    case DatePatchOutcome::Failed:
        row.values = {{Date, item.original}, {Note, m_window->failedText}};
        break;
    case DatePatchOutcome::NoDateField:
    case DatePatchOutcome::Written: {
        // The field the patch wrote, read back from the file, is all a full read would show
        // where the photo has no other; that read costs more than the patch.
        const std::optional<QString> shown = patched.fieldInFile
                                                 ? ShootingDateCellText(*patched.fieldInFile)
                                                 : ShootingDateCell(path, false);
        if (shown)
            row.values.append({Date, *shown});
        row.values.append(
            {Note, (written ? QStringLiteral("修改成功") : QStringLiteral("Exif信息丢失")) +
                       patched.note()});
        break;
    }
    }
    return {written, patched.after, patched.fields};
}

ChangeResult DatePatchStep::change(int i, const QString &path, BatchRow &row) {
    if (m_window)
        return changeInWindow(i, path, row);
    const Item &item = m_items[size_t(i)];
    const DatesPatchResult patched =
        item.loaded ? PatchShootingDate(path, m_exifTexts[i], *item.loaded)
                    : PatchShootingDate(path, m_exifTexts[i], DateReadFirstBytes);
    const bool written = patched.outcome == DatePatchOutcome::Written;
    row.verdict = written ? RowVerdict::Done : RowVerdict::Failed;
    // Written means the 19 bytes went into the file; a second read would repeat them.
    const QString note = written ? QStringLiteral("修改成功")
                         : patched.outcome == DatePatchOutcome::NoDateField
                             ? QStringLiteral("Exif信息丢失")
                             : QStringLiteral("修改失败(文件访问错误)");
    row.values = {
        {Date, written ? item.date->toText() : QString()}, {Original, item.original}, {Note, note}};
    return {written, patched.after, patched.fields};
}

void DatePatchStep::notReached(int i, BatchRow &row) {
    if (m_window) {
        row.values = {{Note, QStringLiteral("未处理(已停止)")}};
        return;
    }
    row.values = {{Date, {}},
                  {Original, m_items[size_t(i)].original},
                  {Note, QStringLiteral("未处理(已停止)")}};
}

} // namespace kalmora
