#include "core/batch/date_patch_step.h"

namespace kalmora {

namespace {
const QString Date = QStringLiteral("date"), Original = QStringLiteral("original"),
              Note = QStringLiteral("note");
} // namespace

bool DatePatchStep::prepare(int i, BatchRow &row) {
    Item &item = m_items[size_t(i)];
    m_workOut(i, item);
    if (m_exifTexts.isEmpty())
        m_exifTexts.resize(m_names.size());
    m_exifTexts[i] = item.date ? ExifDateText(*item.date) : QString();
    if (!m_exifTexts[i].isEmpty())
        return true;
    row.verdict = RowVerdict::Failed;
    row.values = {
        {Date, {}}, {Original, item.original}, {Note, QStringLiteral("失败(日期数据异常)")}};
    return false;
}

int DatePatchStep::intend(BatchJournal &journal, int i, const QString &path) {
    const Item &item = m_items[size_t(i)];
    return item.loaded
               ? journal.intendDatePatch(path, m_exifTexts[i], TagDateTimeOriginal, *item.loaded)
               : journal.intendDatePatch(path, m_exifTexts[i], PatchedDateTags());
}

void DatePatchStep::dryRun(int i, const QString &, BatchRow &row) {
    const Item &item = m_items[size_t(i)];
    row.values = {{Date, item.date->toText()}, {Original, item.original}};
}

ChangeResult DatePatchStep::change(int i, const QString &path, BatchRow &row) {
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
    row.values = {{Date, {}},
                  {Original, m_items[size_t(i)].original},
                  {Note, QStringLiteral("未处理(已停止)")}};
}

} // namespace kalmora
