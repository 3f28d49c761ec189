#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QProcess;

namespace kalmora {

// What became of one photo handed to the tool.
enum class EraseOutcome {
    Erased,          // the tool answered and reported no error
    ToolFailed,      // not started, no answer in time, or it reported that it could not rewrite
    NotRegularFile,  // gone, or a folder, link, device or pipe now: not sent
    NameNotPassable, // the name cannot reach the tool as itself and no plain stand-in was made
};

// The row text of an erase: empty when the tool answered and the photo came out clean.
QString EraseResultText(EraseOutcome outcome, bool clean);

// Strips all metadata from photos, one photo per call, through one running exiftool.
class ExifToolSession {
public:
    virtual ~ExifToolSession() = default;
    // Rewrites the photo in place without any metadata. Whether the photo is really clean is
    // for the caller to check.
    virtual EraseOutcome erase(const QString &path) = 0;
    bool eraseAll(const QString &path) { return erase(path) == EraseOutcome::Erased; }
};

// One `exiftool -stay_open True -@ -` process: each photo is its own command, with the path as
// a line of its own. The tool splits lines at line breaks and mangles "$" and "@" in its
// escaped form, and it cannot write a temporary name beside a name near the length limit: such
// a photo is handed over through a plain-named hard link in its own folder, which is put in the
// photo's place once the tool has rewritten it. Only regular files are sent. While it waits for
// an answer the window keeps handling events.
class ExifToolProcess final : public ExifToolSession {
public:
    ExifToolProcess(const QString &program, int timeLimitMs);
    ~ExifToolProcess() override; // asks the tool to end, and ends it when it does not
    EraseOutcome erase(const QString &path) override;

    // The stand-in's name prefix in the photo's folder.
    static QByteArray standInPrefix() { return ".kalmora-erase-"; }

private:
    bool start();
    void stop();
    // One command for a path that passes as a plain line; true when answered without error.
    bool run(const QByteArray &path);
    EraseOutcome eraseThroughStandIn(const QByteArray &path, const QByteArray &folder,
                                     const QByteArray &name);

    QString m_program;
    int m_timeLimitMs;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_output;
    int m_command = 0;
    int m_standIn = 0;
};

// The exiftool to run: the one on the search path (the PATH variable's text), else the copy in
// the work folder when it is a regular executable file of this user; empty when there is
// neither.
QString LocateExifTool(const QString &searchPath, const QString &workFolder);

} // namespace kalmora
