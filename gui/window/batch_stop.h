#pragma once

#include <QObject>

class QShortcut;

namespace kalmora {

class FMainDate;
class FileGrid;

// CmdStop (beside the progress bar) and the Escape key: offered while a batch loop runs. A click
// asks the loop to end after the file it is working on (BatchBreath).
class BatchStop : public QObject {
    Q_OBJECT
public:
    explicit BatchStop(FMainDate &window);

    // The row text of a file a stopped batch did not come to.
    static QString notDoneText();
    // Marks rows first..last (inclusive) as not done.
    static void markNotDone(FileGrid &grid, int first, int last);
    // Tells the user how far a stopped batch came.
    void reportStopped(int done, int notDone);

private:
    void batchRunning(bool running);

    FMainDate &w;
    QShortcut *m_escape;
};

} // namespace kalmora
