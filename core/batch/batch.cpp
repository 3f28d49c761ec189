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

    std::unique_ptr<BatchJournal> journal;
    const auto refused = [&](bool started) { m_sink.journalFailed(started, journal->reason()); };
    if (!m_options.dryRun) {
        journal = std::make_unique<BatchJournal>(m_options.journal);
        if (!journal->begin(m_options.journalFolder, m_step.kind())) {
            refused(false);
            return outcome;
        }
        outcome.batchId = journal->batchId();
        if (m_step.readsToPrepare() && !journal->streamIntents(n)) {
            refused(false);
            return outcome;
        }
    }
    const bool journaled = journal && journal->enabled();

    // Every file's change is worked out, and recorded, before the first file changes. A file
    // that changes nothing keeps the row it was given here.
    std::vector<int> seqs(size_t(n), 0);
    std::vector<bool> changes(size_t(n), false);
    QHash<int, BatchRow> unchanged;
    bool stoppedEarly = false;
    for (int i = 0; i < n; ++i) {
        if (stopRequested()) {
            stoppedEarly = true;
            break;
        }
        BatchRow row;
        row.index = i;
        if (!m_step.prepare(i, row)) {
            unchanged.insert(i, row);
            continue;
        }
        changes[size_t(i)] = true;
        if (!journal)
            continue;
        if (!journaled) {
            seqs[size_t(i)] = i + 1;
            continue;
        }
        seqs[size_t(i)] = m_step.intend(*journal, i, journalPathOf(i));
        if (seqs[size_t(i)] == 0) {
            if (!journal->reason().isEmpty())
                refused(false);
            return outcome; // rolled back: the history lists no batch that did nothing
        }
    }
    if (stoppedEarly) {
        // Nothing has changed: every row is one the batch did not reach, and no intent so far
        // needs its original kept.
        if (journaled) {
            journal->forgetAfter(0);
            if (journal->commitFirst())
                journal->end();
        }
        for (int i = 0; i < n; ++i) {
            BatchRow row;
            row.index = i;
            row.verdict = RowVerdict::NotDone;
            m_step.notReached(i, row);
            m_sink.row(row);
        }
        outcome.end = BatchOutcome::End::Stopped;
        return outcome;
    }
    if (journaled && !journal->commitFirst()) {
        refused(false);
        return outcome;
    }

    outcome.end = BatchOutcome::End::Finished;
    int handedUpTo = -1;  // the last file handed over
    int newestFirst = -1; // the first file of the last hand-over
    // Hands over the files that change from `from` on, once their intents are durable. False
    // when the journal cannot make them so: the batch stops before them.
    const auto handOver = [&](int from) {
        QList<int> files;
        const int group = std::max(1, m_step.groupSize());
        for (int i = from; i < n && files.size() < group; ++i)
            if (changes[size_t(i)])
                files.append(i);
        if (files.isEmpty())
            return true;
        if (journaled && !journal->ready(seqs[size_t(files.last())])) {
            outcome.end = BatchOutcome::End::JournalFailed;
            refused(true);
            return false;
        }
        if (beforeChange)
            beforeChange(files.first());
        newestFirst = files.first();
        handedUpTo = files.last();
        m_step.handOver(files);
        return true;
    };

    for (int i = 0; i < n; ++i) {
        BatchRow row;
        row.index = i;
        if (m_options.dryRun) {
            if (changes[size_t(i)]) {
                row.verdict = RowVerdict::DryRun;
                m_step.dryRun(i, pathOf(i), row);
            } else {
                row = unchanged.value(i);
            }
        } else if (i > handedUpTo && outcome.end != BatchOutcome::End::Finished) {
            row.verdict = RowVerdict::NotDone;
            m_step.notReached(i, row);
        } else if (!changes[size_t(i)]) {
            row = unchanged.value(i);
            ++outcome.reached;
        } else if (i > handedUpTo && stopRequested()) {
            outcome.end = BatchOutcome::End::Stopped;
            row.verdict = RowVerdict::NotDone;
            m_step.notReached(i, row);
            // The files never handed over keep no kept original and need no intent.
            if (journaled)
                journal->forgetAfter(handedUpTo < 0 ? 0 : seqs[size_t(handedUpTo)]);
        } else if (i > handedUpTo && !handOver(i)) {
            row.verdict = RowVerdict::NotDone;
            m_step.notReached(i, row);
        } else {
            row.verdict = RowVerdict::Failed;
            const ChangeResult changed = m_step.change(i, pathOf(i), row);
            // The next command goes to the program while these files are read again.
            if (m_step.handsAhead() && i == newestFirst && !stopRequested())
                handOver(handedUpTo + 1);
            if (journaled)
                journal->done(seqs[size_t(i)], changed.succeeded, changed.after, changed.held);
            ++outcome.reached;
            if (row.verdict == RowVerdict::Done)
                ++outcome.done;
            else
                ++outcome.failed;
        }
        m_sink.progress(i + 1, n);
        m_sink.row(row);
    }
    m_step.finish();
    if (journal)
        journal->end();
    return outcome;
}

} // namespace kalmora
