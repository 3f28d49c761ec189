#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

namespace kalmora {

// Waits more than the given time while the window keeps handling clicks and repaints. It sleeps
// between events and measures on a monotonic clock, so midnight does not matter.
void PauseWithEvents(float seconds);

// Announces when a batch loop starts and ends, for the Stop control.
class BatchSignals : public QObject {
    Q_OBJECT
signals:
    void runningChanged(bool running);
    // The user asked the running batch to stop.
    void stopRequested();
};

// The one way a batch loop keeps the window live: after each row it lets the window handle its
// pending events (clicks, repaints, the progress bar) after the first row and then once
// BreathIntervalMs have passed since the last time, and otherwise goes straight on with the next
// row. It also carries the user's Stop:
// breathe() is true once a stop was asked, and the loop ends after the file it has just done.
// Loops nest (a rewrite in video mode runs the apply's loop); only the outermost one announces.
class BatchBreath {
public:
    BatchBreath();
    ~BatchBreath();
    BatchBreath(const BatchBreath &) = delete;
    BatchBreath &operator=(const BatchBreath &) = delete;

    // After each row: true when the loop must stop before its next row.
    bool breathe();
    // Whether a stop was asked during this loop or a loop inside it.
    bool stopped() const;
    // Lets the window handle what is pending at once, then tells whether a stop was asked: for
    // a loop about to hand work over that cannot be called back.
    bool stopAskedNow();

    static bool running();
    // Asked by the Stop control; ignored when no batch runs.
    static void requestStop();
    static BatchSignals &notifier();

    // 16 ms: the window still follows at sixty frames a second. Tests set 0 to handle events
    // after every row, so that what they post is seen at a known row.
    static inline int BreathIntervalMs = 16;

private:
    QElapsedTimer m_sinceEvents;
    bool m_stopped = false;
};

// There are no 8.3 names here: an existing path is its own short form; a missing one is empty.
QString ShortPathOf(const QString &path);

// Copies a NUL-terminated wide string, such as the texts MediaInfo returns.
QString StringFromWidePointer(const wchar_t *pointer);

// The most a download may bring: no program we fetch is larger.
constexpr qint64 DownloadSizeLimit = 64 * 1024 * 1024;

// Fetches the address into targetPath. The file appears only after a complete, successful
// response; on any failure (no connection, HTTP error, no data for stallTimeoutMs, not done
// within totalTimeoutMs, more than maxBytes, a body shorter than announced or cut off) the
// result is false and no target file is left behind. A target that is neither free nor a
// regular file of this user (MayWriteOwnFile) is refused before anything is fetched.
bool DownloadUrlToFile(const QString &url, const QString &targetPath, int stallTimeoutMs = 60000,
                       int totalTimeoutMs = 120000, qint64 maxBytes = DownloadSizeLimit);

} // namespace kalmora
