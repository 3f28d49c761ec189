#include "core/batch/batch.h"

#include "core/base/folder_handle.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace kalmora {

QString BatchRow::value(const QString &name) const {
    for (const auto &[key, text] : values)
        if (key == name)
            return text;
    return {};
}

bool BatchRow::has(const QString &name) const {
    return std::any_of(values.cbegin(), values.cend(),
                       [&](const auto &value) { return value.first == name; });
}

void BatchRow::set(const QString &name, const QString &text) {
    for (auto &[key, held] : values)
        if (key == name) {
            held = text;
            return;
        }
    values.append({name, text});
}

void BatchStep::notReached(int, BatchRow &row) {
    row.set(QStringLiteral("note"), QStringLiteral("未处理(已停止)"));
}

void BatchSink::progress(int, int) {}

void BatchSink::changing(int, int) {}

bool BatchSink::again(int) {
    return false;
}

void BatchSink::journalBusy(bool) {}

bool BatchSink::goOnWithoutJournal(const QString &) {
    return false;
}

BatchRunner::BatchRunner(BatchStep &step, BatchSink &sink, BatchOptions options)
    : m_step(step), m_sink(sink), m_options(std::move(options)) {
    if (m_options.journalFolder.isEmpty())
        m_options.journalFolder = m_options.folder;
}

QString BatchRunner::pathOf(int i) const {
    return m_options.folder + QLatin1Char('/') + m_step.name(i);
}

QString BatchRunner::journalPathOf(int i) const {
    return m_options.journalFolder + QLatin1Char('/') + m_step.name(i);
}

BatchOutcome BatchRunner::run() {
    BatchOutcome outcome;
    const int n = m_step.count();
    // Every read and write of the batch lands in the folder opened here.
    const FolderScope scope(m_options.folder);

    // Nothing has changed: every row is one the batch did not reach (but those found to need no
    // change).
    QHash<int, BatchRow> unchanged;
    const auto stoppedBeforeChanges = [&] {
        for (int i = 0; i < n; ++i) {
            BatchRow row = unchanged.value(i);
            row.index = i;
            if (!unchanged.contains(i)) {
                row.verdict = RowVerdict::NotDone;
                m_step.notReached(i, row);
            }
            m_sink.row(row);
        }
        outcome.end = BatchOutcome::End::Stopped;
        return outcome;
    };

    bool waiting = false; // for the journal's write lock, as the batch begins
    std::unique_ptr<BatchJournal> journal;
    const auto refused = [&](bool started) { m_sink.journalFailed(started, journal->reason()); };
    if (!m_options.dryRun) {
        JournalConfig config = m_options.journal;
        config.lockWait = [&](qint64 waitedMs) {
            if (!waiting && waitedMs >= 1000) {
                waiting = true;
                m_sink.journalBusy(true);
            }
            return !stopRequested() &&
                   (m_options.journalWaitMs <= 0 || waitedMs < m_options.journalWaitMs);
        };
        journal = std::make_unique<BatchJournal>(config);
        bool begun = journal->begin(m_options.journalFolder, m_step.kind(), m_options.undoes);
        if (waiting)
            m_sink.journalBusy(false);
        if (!begun && stopRequested())
            return stoppedBeforeChanges();
        if (!begun && m_sink.goOnWithoutJournal(journal->reason())) {
            config.enabled = false;
            journal = std::make_unique<BatchJournal>(config);
            begun = journal->begin(m_options.journalFolder, m_step.kind(), m_options.undoes);
        }
        if (!begun) {
            refused(false);
            return outcome;
        }
        outcome.batchId = journal->batchId();
        if (!m_step.keepsOriginals() && !journal->streamIntents(n)) {
            refused(false);
            return outcome;
        }
    }
    const bool journaled = journal && journal->enabled();

    // Every file's change is worked out, and recorded, before the first file changes. A file
    // that changes nothing keeps the row it was given here.
    std::vector<int> seqs(size_t(n), 0);
    std::vector<bool> changes(size_t(n), false);
    bool stoppedEarly = false;
    for (int i = 0; i < n && !stoppedEarly; ++i) {
        BatchRow row;
        row.index = i;
        if (!m_step.prepare(i, row)) {
            if (m_step.refused()) {
                if (journaled)
                    journal->abandon();
                return outcome;
            }
            unchanged.insert(i, row);
        } else {
            changes[size_t(i)] = true;
            if (journaled) {
                seqs[size_t(i)] = m_step.intend(*journal, i, journalPathOf(i));
                if (seqs[size_t(i)] == 0) {
                    if (!journal->reason().isEmpty())
                        refused(false);
                    // The history lists no batch that did nothing, and no original stays kept.
                    journal->abandon();
                    return outcome;
                }
            } else if (journal) {
                seqs[size_t(i)] = i + 1;
            }
        }
        // After the file's intent: a stop keeps no more originals and asks no more questions.
        stoppedEarly = stopRequested();
    }
    if (stoppedEarly) {
        // The journal keeps nothing of it.
        if (journaled)
            journal->abandon();
        return stoppedBeforeChanges();
    }
    if (journaled && !journal->commitFirst()) {
        refused(false);
        journal->abandon();
        return outcome;
    }

    outcome.end = BatchOutcome::End::Finished;
    outcome.changing = true;
    std::vector<int> failed; // the files whose change failed in the last pass
    // One pass over `files` (indexes, in order). A repeat pass takes files that failed before
    // under their own intents; a file it does not reach keeps the row it has.
    const auto pass = [&](const std::vector<int> &files, bool repeat) {
        const int count = int(files.size());
        failed.clear();
        int handedUpTo = -1;  // the position of the last file handed over
        int newestFirst = -1; // the position of the first file of the last hand-over
        // Hands over the files that change from position `from` on, once their intents are
        // durable. False when the journal cannot make them so: the batch stops before them.
        const auto handOver = [&](int from) {
            QList<int> handed;
            int last = -1;
            const int group = std::max(1, m_step.groupSize());
            for (int p = from; p < count && handed.size() < group; ++p)
                if (changes[size_t(files[size_t(p)])]) {
                    handed.append(files[size_t(p)]);
                    last = p;
                }
            if (handed.isEmpty())
                return true;
            if (journaled && !journal->ready(seqs[size_t(handed.last())])) {
                outcome.end = BatchOutcome::End::JournalFailed;
                refused(true);
                return false;
            }
            if (beforeChange)
                beforeChange(handed.first());
            newestFirst = from;
            while (!changes[size_t(files[size_t(newestFirst)])])
                ++newestFirst;
            handedUpTo = last;
            m_step.handOver(handed);
            return true;
        };
        for (int p = 0; p < count; ++p) {
            const int i = files[size_t(p)];
            BatchRow row;
            row.index = i;
            if (m_options.dryRun) {
                if (changes[size_t(i)]) {
                    row.verdict = RowVerdict::DryRun;
                    m_step.dryRun(i, pathOf(i), row);
                } else {
                    row = unchanged.value(i);
                }
            } else if (p > handedUpTo && outcome.end != BatchOutcome::End::Finished) {
                if (repeat)
                    continue;
                row.verdict = RowVerdict::NotDone;
                m_step.notReached(i, row);
            } else if (!changes[size_t(i)]) {
                row = unchanged.value(i);
                ++outcome.reached;
            } else if (p > handedUpTo && stopRequested()) {
                outcome.end = BatchOutcome::End::Stopped;
                if (repeat)
                    continue;
                row.verdict = RowVerdict::NotDone;
                m_step.notReached(i, row);
                // The files never handed over keep no kept original and need no intent.
                if (journaled)
                    journal->forgetAfter(handedUpTo < 0 ? 0
                                                        : seqs[size_t(files[size_t(handedUpTo)])]);
            } else if (p > handedUpTo && !handOver(p)) {
                if (repeat)
                    continue;
                row.verdict = RowVerdict::NotDone;
                m_step.notReached(i, row);
            } else {
                row.verdict = RowVerdict::Failed;
                m_sink.changing(i, n);
                const ChangeResult changed = m_step.change(i, pathOf(i), row);
                // The next command goes to the program while these files are read again.
                if (m_step.handsAhead() && p == newestFirst && !stopRequested())
                    handOver(handedUpTo + 1);
                if (journaled)
                    journal->done(seqs[size_t(i)], changed.succeeded, changed.after, changed.held);
                if (!repeat)
                    ++outcome.reached;
                if (row.verdict == RowVerdict::Done) {
                    ++outcome.done;
                    outcome.failed -= repeat ? 1 : 0;
                } else {
                    outcome.failed += repeat ? 0 : 1;
                    failed.push_back(i);
                }
            }
            m_sink.progress(i + 1, n);
            m_sink.row(row);
        }
    };
    std::vector<int> all(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        all[size_t(i)] = i;
    pass(all, false);
    // The files that failed, again, as often as the user asks; under the same intents.
    while (!m_options.dryRun && !failed.empty() && outcome.end == BatchOutcome::End::Finished &&
           m_sink.again(int(failed.size()))) {
        m_step.newPass();
        pass(std::vector<int>(failed), true);
    }
    m_step.finish();
    if (journal)
        journal->end();
    return outcome;
}

} // namespace kalmora
