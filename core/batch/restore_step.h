#pragma once

#include "core/journal/journal.h"

#include <QList>
#include <QString>

#include <functional>

namespace kalmora {

// A file the restore left alone, and why.
struct RestoreSkip {
    QString path;
    QString reason;
};

// What the restore did with one file of the batch (a dry run: what it would do).
struct RestoreFile {
    enum class Verdict { Restored, Unchanged, Skipped, Failed };
    QString path;
    Verdict verdict = Verdict::Skipped;
    QString reason; // why it was skipped or failed
};

struct RestoreReport {
    bool started = false; // false: nothing was touched (reason)
    QString reason;
    bool journalFailed = false; // not started: the restore's own batch could not be recorded
    qint64 restoreBatch = 0;    // the restore's own batch in the journal
    int restored = 0;
    int unchanged = 0; // the batch had left them as they were
    QList<RestoreSkip> skipped;
    QList<RestoreFile> files; // every file, in the order the restore takes them
    bool stopped = false;     // asked to stop: the files after the last one taken are left
    int notDone = 0;          // files the stop left as they are (not in `files`)
};

// Called after every file judged and every file taken, with how far the restore came out of
// `total`; false asks it to stop after that file.
using RestoreStep = std::function<bool(int done, int total)>;
// Each file as the restore takes it, in order (a restore stopped while judging: those judged).
using RestoreFileSeen = std::function<void(const RestoreFile &)>;

// Puts every file of `batch` back as it was before it, where the file still holds exactly what
// the batch left (for a batch that was cut short: what it held before or what the batch meant
// to write). Anything else is skipped with a reason. The restore is a batch of its own.
// A dry run judges every file the same way and reports it, but changes nothing and records
// nothing. A stop while the files are judged leaves every file as it is (not started).
// With `each`, the files go there and the report lists none (`files`, `skipped`), only counts:
// the entries are read a page at a time, and a batch of a million files is never held whole.
// `beforeChange`: for tests, called before files from the given one on are handed over.
RestoreReport RestoreBatch(const JournalConfig &config, qint64 batch, bool dryRun = false,
                           const RestoreStep &step = {}, const RestoreFileSeen &each = {},
                           const std::function<void(int first)> &beforeChange = {});

} // namespace kalmora
