#pragma once

#include "core/batch/batch.h"

#include <QSet>
#include <QStringList>

#include <functional>

namespace kalmora {

// Each file renamed to a new name in its folder, never replacing a file. Rows: "name" (the new
// name once the file has it) and "note", the result text.
class RenameStep final : public BatchStep {
public:
    // File i's new name, worked out (perhaps by reading it); empty when it has no usable date.
    using NewName = std::function<QString(int i)>;
    RenameStep(QStringList names, NewName newName)
        : m_names(std::move(names)), m_newName(std::move(newName)), m_newNames(m_names.size()) {}

    BatchKind kind() const override { return BatchKind::Rename; }
    int count() const override { return int(m_names.size()); }
    QString name(int i) const override { return m_names[i]; }
    bool prepare(int i, BatchRow &row) override;
    int intend(BatchJournal &journal, int i, const QString &path) override;
    void dryRun(int i, const QString &path, BatchRow &row) override;
    ChangeResult change(int i, const QString &path, BatchRow &row) override;
    void notReached(int i, BatchRow &row) override;

    QString newName(int i) const { return m_newNames[i]; }

private:
    QString besideIt(const QString &path, int i) const;

    QStringList m_names;
    NewName m_newName;
    QStringList m_newNames;
    QSet<QString> m_taken; // names a dry run has handed out already
};

} // namespace kalmora
