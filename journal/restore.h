#pragma once

#include "journal/journal.h"

#include <QList>
#include <QString>

namespace kalmora {

// A file the restore left alone, and why.
struct RestoreSkip {
    QString path;
    QString reason;
};

struct RestoreReport {
    bool started = false; // false: nothing was touched (reason)
    QString reason;
    qint64 restoreBatch = 0; // the restore's own batch in the journal
    int restored = 0;
    int unchanged = 0; // the batch had left them as they were
    QList<RestoreSkip> skipped;
};

// Puts every file of `batch` back as it was before it, where the file still holds exactly what
// the batch left (for a batch that was cut short: what it held before or what the batch meant
// to write). Anything else is skipped with a reason. The restore is a batch of its own.
RestoreReport RestoreBatch(const JournalConfig &config, qint64 batch);

} // namespace kalmora
