#pragma once

#include "core/batch/batch.h"
#include "core/exif/exif_tool.h"

#include <QElapsedTimer>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace kalmora {

// Every photo's metadata stripped by exiftool, its original kept for the undo. Rows: "note",
// the result text (empty when the photo came out clean); with `rowCells`, also "date" and
// "model" as a read of the photo afterwards puts them into its row (where it has them).
class ContentStep final : public BatchStep {
public:
    // Whether photo i has metadata to strip.
    using Takes = std::function<bool(int i)>;
    // A photo whose original would need a copy above the copy limit: whether to erase it
    // without undo. False: the batch does not start (the user has been told why).
    using WithoutUndo = std::function<bool(const QString &path, qint64 limitBytes)>;
    // The tool of one pass, started when its first photos are handed over; whole paths only (a
    // relative one could read as one of its options).
    using StartTool = std::function<std::unique_ptr<ExifToolSession>()>;
    // The photos' originals would pass the limit of kept originals (`limitBytes`): what to do.
    enum class BeyondLimit { KeepAll, EraseWithoutUndo, Cancel };
    using AskBeyondLimit = std::function<BeyondLimit(qint64 limitBytes)>;
    // Asked once a batch, at the first photo beyond the limit; unset: the batch does not start.
    AskBeyondLimit askBeyondLimit;
    // `commandTimeMs`: how long one command of several photos may take the tool, going by its
    // last one (0: no bound but the command's size).
    ContentStep(QStringList names, QString wholeFolder, Takes takes, WithoutUndo withoutUndo,
                StartTool startTool, int commandTimeMs = 0, bool rowCells = false)
        : m_names(std::move(names)), m_folder(std::move(wholeFolder)), m_takes(std::move(takes)),
          m_withoutUndo(std::move(withoutUndo)), m_startTool(std::move(startTool)),
          m_commandNs(qint64(commandTimeMs) * 1000000), m_rowCells(rowCells) {}

    BatchKind kind() const override { return BatchKind::Erase; }
    int count() const override { return int(m_names.size()); }
    QString name(int i) const override { return m_names[i]; }
    bool prepare(int i, BatchRow &row) override;
    int intend(BatchJournal &journal, int i, const QString &path) override;
    void dryRun(int i, const QString &path, BatchRow &row) override;
    int groupSize() const override;
    bool handsAhead() const override { return true; }
    void handOver(const QList<int> &files) override;
    ChangeResult change(int i, const QString &path, BatchRow &row) override;
    void finish() override { m_tool.reset(); }
    void newPass() override;

private:
    QString wholePath(int i) const { return m_folder + QLatin1Char('/') + m_names[i]; }
    // The photo as the tool (started inside the batch, so it keeps the folder's handle) and the
    // judging read reach it: through the batch's folder.
    QString heldPath(int i) const;

    QStringList m_names;
    QString m_folder;
    Takes m_takes;
    WithoutUndo m_withoutUndo;
    StartTool m_startTool;
    qint64 m_commandNs;
    bool m_rowCells;
    std::unique_ptr<ExifToolSession> m_tool;
    bool m_unkeptBeyondLimit = false; // the user chose to erase those without undo
    int m_handed = 0;                 // photos handed over in this pass
    int m_lastFirst = -1;             // the first photo of the last hand-over
    int m_lastCount = 0;              // and how many it took
    qint64 m_photoNs = 0;             // what the tool took per photo in its last command
    QElapsedTimer m_sinceHandOver;
};

} // namespace kalmora
