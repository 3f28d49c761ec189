#pragma once

#include <QObject>

namespace kalmora {

class FMainDate;

// Dropping files from the list before an apply: CmdDelete and the grid's double-click (which
// opens the photo instead in Exif current-row mode).
class RowDeletion : public QObject {
    Q_OBJECT
public:
    explicit RowDeletion(FMainDate &window);

    void deleteClicked();
    void gridDoubleClicked();

    // "…。现在还剩N个接受修改。" after the import's sentence.
    static QString remainingText(const QString &caption, int fileCount);

private:
    bool removeFileRow(int row);
    void afterDeletion();

    FMainDate &w;
};

} // namespace kalmora
