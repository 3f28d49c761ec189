#pragma once

// What the user reads of the journal: the batch kinds' names, the prompts when the journal
// cannot record a batch, and the reasons its parts give.
#include "core/journal/journal_types.h"

#include <QString>

namespace kalmora {

QString BatchKindText(BatchKind kind);

struct BatchSummary;
// What an undo of the batch can no longer put back, and why; empty when it can put back all.
QString UndoLimitText(const BatchSummary &batch);

// The texts the user reads when the journal cannot record a batch: before it starts, and during
// it (it stops before the next file).
QString JournalFailureText(const QString &reason);
QString JournalStopText(const QString &reason);
// Whether to run a batch the journal refused without it (Yes/No).
QString JournalGoOnText(const QString &reason);
// A refusal that already set the damaged journal aside (the next batch makes a new one).
bool IsSetAsideText(const QString &reason);

// The reasons (BatchJournal::reason(), ListBatches, ReadEntries).
namespace journal_detail {

// The journal's file is empty (`empty`) or not a journal SQLite can read; `why`: SQLite's word.
// The fixed words come first (kalmora-cli puts them into English by their beginnings).
QString damagedText(bool empty, const QString &why);
// The same file, moved aside to `aside` as a batch was about to start (which then did not).
QString setAsideText(bool empty, const QString &aside);

QString cannotWriteText(const QString &why); // the database refused a write
QString cannotOpenText(const QString &why);  // the database cannot be opened
QString foreignFileText();                   // another program's database
QString newerVersionText(int version);       // a newer version's journal
QString noStateFolderText();
QString cannotMakeFolderText(const QString &folder);
QString noWriteAheadLogText();
QString cannotKeepOriginalText(const QString &why);
QString abandonedText();
QString noSuchBatchText();

} // namespace journal_detail

} // namespace kalmora
