// What a running batch's journal reads back of its own entries: those dropped from memory once
// durable, for done() (see journal_rows.h).
#include "core/journal/journal_rows.h"

#include "core/base/path_bytes.h"
#include "core/journal/journal_store.h"

namespace kalmora {

using namespace journal_detail;

const BatchJournal::Cache::Entry *BatchJournal::Cache::entryOf(int seq, const JournalConfig &config,
                                                               qint64 batch,
                                                               const QString &folder) {
    if (size_t(seq) <= entries.size())
        return entries[size_t(seq - 1)].seq == seq ? &entries[size_t(seq - 1)] : nullptr;
    const auto inPage = [&] {
        return seq >= pageFrom && size_t(seq - pageFrom) < page.size() &&
               page[size_t(seq - pageFrom)].seq == seq;
    };
    if (inPage())
        return &page[size_t(seq - pageFrom)];
    // A connection of the loop's own: the writer's is in the writer's hands. The entries it
    // reads are committed (done() waits for that).
    if (!pageDb) {
        QString why;
        pageDb = openDatabase(config, why, false);
        if (!pageDb)
            return nullptr;
    }
    page.clear();
    pageFrom = seq;
    Statement q(pageDb, "SELECT seq, kind, path, new_path, old FROM entries "
                        "WHERE batch = ? AND seq >= ? AND seq < ? ORDER BY seq");
    q.bind(1, batch).bind(2, seq).bind(3, qint64(seq) + window);
    while (q.step() == SQLITE_ROW) {
        const int at = int(q.integer(0));
        page.resize(size_t(at - seq + 1));
        Entry &e = page.back();
        e.seq = at;
        e.kind = ChangeKind(q.integer(1));
        e.path = WholePath(q.blob(2), folder);
        if (!q.isNull(3))
            e.newPath = WholePath(q.blob(3), folder);
        if (e.kind == ChangeKind::Rename)
            e.old = DecodeState(q.blob(4));
        e.link = traits[size_t(at - 1)] & Link;
    }
    Statement p(pageDb, "SELECT seq, offset, length(before), intended FROM patches "
                        "WHERE batch = ? AND seq >= ? AND seq < ? ORDER BY seq, n");
    p.bind(1, batch).bind(2, seq).bind(3, qint64(seq) + qint64(page.size()));
    while (p.step() == SQLITE_ROW) {
        Entry &e = page[size_t(p.integer(0) - seq)];
        e.patches.append({p.integer(1), qsizetype(p.integer(2)), p.blob(3)});
    }
    return inPage() ? &page[size_t(seq - pageFrom)] : nullptr;
}

} // namespace kalmora
