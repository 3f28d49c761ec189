#pragma once

namespace kalmora {

// The flags every handler of the window consults, and the only ways they change. FMainDate shows
// them read-only under the same names; each operation below is one step of the window's life and
// sets exactly the flags that step changes.
class WindowState {
public:
    // What a batch changes when it starts, to be put back when it could not start.
    struct BatchFlags {
        bool busy, applyRunning, clearOnReset;
    };

    // The form's controls are being filled from the saved settings.
    void loadStarted() { FormLoading = true; }
    void loadEnded() {
        FormLoading = false;
        Busy = false;
    }

    // The import: locked while it reads the folder, then the list's length.
    void importStarted() {
        Busy = true;
        OperationRunning = true;
    }
    void importRefused() {
        Busy = false;
        OperationRunning = false;
    }
    void filesListed(int count) { FileCount = count; }
    void fileRowRemoved() { --FileCount; }
    void importEnded(int imported) {
        FileCount = imported;
        Busy = false;
        OperationRunning = false;
        ClearOnReset = false;
    }
    // The grid row whose Exif was read last.
    void exifRowRead(int row) { ExifRow = row; }

    // An operation that must not meet another (the apply, the rewrite).
    void operationStarted() { OperationRunning = true; }
    void operationEnded() { OperationRunning = false; }
    void rewriteStarted() {
        OperationRunning = true;
        RewriteRunning = true;
    }
    void rewriteEnded() {
        OperationRunning = false;
        RewriteRunning = false;
    }
    // Controls are locked against other handlers.
    void workStarted() { Busy = true; }
    void workEnded() { Busy = false; }

    // A batch over the rows: the grid stays as it is until the batch closes.
    BatchFlags batchStarted() {
        const BatchFlags before{Busy, ApplyRunning, ClearOnReset};
        Busy = true;
        ApplyRunning = true;
        ClearOnReset = false;
        return before;
    }
    void applyStarted() { ApplyRunning = true; }
    // The journal refused it: nothing changed, the window as before.
    void batchAbandoned(const BatchFlags &before) {
        Busy = before.busy;
        ApplyRunning = before.applyRunning;
        ClearOnReset = before.clearOnReset;
    }
    void applyAbandoned() { ApplyRunning = false; }
    // No batch runs any more, and the next reset clears the list (after a batch, a mode switch).
    void batchClosed() {
        ApplyRunning = false;
        ClearOnReset = true;
    }
    void batchEnded() {
        batchClosed();
        Busy = false;
    }

    // A reset that clears the grid as well; the next one does not unless asked again.
    void clearingResetStarted() { ClearOnReset = true; }
    void resetDone() { ClearOnReset = false; }
    void listCleared() { FileCount = 0; }

private:
    friend class FMainDate;
    int FileCount = 0;
    bool Busy = false;
    bool OperationRunning = false;
    bool ApplyRunning = false;
    bool ClearOnReset = false;
    bool FormLoading = false;
    int ExifRow = 0;
    bool RewriteRunning = false;
};

} // namespace kalmora
