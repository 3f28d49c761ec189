#pragma once

#include "core/batch/batch.h"
#include "core/exif/date_shift.h"
#include "core/exif/exif_reader.h"

#include <QStringList>

#include <functional>
#include <vector>

namespace kalmora {

// A new shooting date written into each photo, in place. Rows: "date" (the new date once the
// photo holds it), "original" and "note", the result text.
class DatePatchStep final : public BatchStep {
public:
    struct Item {
        QString original;             // the date as read, in the hyphen form
        std::optional<DateTime> date; // the new date; none: no usable date to start from
        // Where the byte-level reader found the date: neither the journal nor the patch need
        // read the photo again while it stays as it was.
        std::optional<LoadedText> loaded;
        // How the photo's dates move (the window's rewrite): the digitized and modified dates
        // go along where the user chose so.
        std::optional<DateMove> move;
    };
    // Works out file i's new date (perhaps by reading the photo).
    using WorkOut = std::function<void(int i, Item &item)>;
    // The window's rewrite: every date text is journaled, the other dates move along when
    // `otherDates`, and a row's "date" is the shooting date as the photo shows it afterwards
    // (no "date" where it cannot be read); a photo that cannot be written reads `failedText`.
    // `containers`: photos other than JPEG are patched too (else they read as without Exif).
    struct InWindow {
        bool otherDates = false;
        QString failedText;
        bool containers = false;
    };
    DatePatchStep(QStringList names, WorkOut workOut,
                  std::optional<InWindow> inWindow = std::nullopt)
        : m_names(std::move(names)), m_workOut(std::move(workOut)), m_window(std::move(inWindow)),
          m_items(size_t(m_names.size())), m_exifTexts(m_names.size()) {}

    BatchKind kind() const override { return BatchKind::DateRewrite; }
    int count() const override { return int(m_names.size()); }
    QString name(int i) const override { return m_names[i]; }
    bool prepare(int i, BatchRow &row) override;
    int intend(BatchJournal &journal, int i, const QString &path) override;
    void dryRun(int i, const QString &path, BatchRow &row) override;
    ChangeResult change(int i, const QString &path, BatchRow &row) override;
    void notReached(int i, BatchRow &row) override;

private:
    QStringList m_names;
    WorkOut m_workOut;
    ChangeResult changeInWindow(int i, const QString &path, BatchRow &row);

    std::optional<InWindow> m_window;
    std::vector<Item> m_items;
    QStringList m_exifTexts;
};

} // namespace kalmora
