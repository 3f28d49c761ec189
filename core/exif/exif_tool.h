#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <QElapsedTimer>

#include <deque>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <vector>

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

// Strips all metadata from photos through one running exiftool. Photos may be handed over ahead
// of their answers, so that the tool works on the next ones while the caller looks at the last;
// each gets its own answer, in the order handed over.
class ExifToolSession {
public:
    virtual ~ExifToolSession() = default;
    // Hands the photos over for rewriting in place without any metadata, without waiting; the
    // tool may take them in one command.
    virtual void send(const QStringList &paths) = 0;
    void send(const QString &path) { send(QStringList{path}); }
    // What became of the oldest photo handed over and not yet answered; waits for it. Whether
    // the photo is really clean is for the caller to check.
    virtual EraseOutcome next() = 0;
    // One photo, with nothing else handed over.
    EraseOutcome erase(const QString &path) {
        send(path);
        return next();
    }
    bool eraseAll(const QString &path) { return erase(path) == EraseOutcome::Erased; }
};

// One `exiftool -stay_open True -@ -` process, each path a line of its own. The photos of one
// send() go as one command (up to a size limit), since each command costs the tool about as much
// as a small photo; a command whose answer does not account for every photo without an error is
// redone photo by photo, so each photo's answer is its own. The tool splits lines at line breaks
// and mangles "$" and "@" in its escaped form, and it cannot write a temporary name beside a name
// near the length limit: such a photo is handed over alone, through a plain-named hard link in
// its own folder, which is put in the photo's place once the tool has rewritten it. Only regular
// files are sent, each checked right before it is. Each command has the time limit to itself from
// the moment the tool can have begun it (the answer before it); one that runs over ends the tool,
// its photos are redone one by one on a fresh one, and the commands behind it go there too.
// While it waits for an answer the window keeps handling events.
class ExifToolProcess final : public ExifToolSession {
public:
    ExifToolProcess(const QString &program, int timeLimitMs);
    ~ExifToolProcess() override; // answers what is still handed over, then asks the tool to end
    using ExifToolSession::send;
    void send(const QStringList &paths) override;
    EraseOutcome next() override;

    // The stand-in's name prefix in the photo's folder.
    static QByteArray standInPrefix() { return ".kalmora-erase-"; }
    // The most one command takes: photos, and bytes in all.
    static constexpr int GroupPhotos = 32;
    static constexpr qint64 GroupBytes = qint64(64) << 20;

private:
    // A photo handed over and not yet answered.
    struct Pending {
        QByteArray path;                   // the photo's own path
        QByteArray sent;                   // what the tool is given: the path or its stand-in
        bool standIn = false;              // `sent` is a hard link to be put in the photo's place
        bool alone = false;                // in a command of its own
        struct stat photo {};              // the photo as sent (as linked, for a stand-in)
        bool temporaryExisted = false;     // the tool's temporary name was taken before it ran
        int command = 0;                   // the command's number once written to the tool
        std::optional<EraseOutcome> known; // settled
    };

    bool start();
    void stop();
    // Writes one command for these photos to the tool, starting one when none runs.
    void dispatch(const std::vector<Pending *> &photos);
    // Checks again and writes the photos of a command that did not settle them.
    void redispatch(std::vector<Pending *> photos, bool oneByOne);
    std::vector<Pending *> membersOf(int command);
    // Waits for the next answer and settles its photos; without one in time the tool is ended.
    void awaitAnswer();
    void settle(int command, const QByteArray &reply);
    void cutOff();
    void standInFor(Pending &pending, const QByteArray &folder, const QByteArray &name);
    EraseOutcome placeStandIn(const Pending &pending, bool answered);

    QString m_program;
    int m_timeLimitMs;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_output;
    int m_command = 0;
    int m_standIn = 0;
    std::deque<Pending> m_pending;
    QElapsedTimer m_frontSince; // since the tool can have begun the oldest command
};

// The exiftool to run: the one on the search path (the PATH variable's text), else the copy in
// the work folder when it is a regular executable file of this user; empty when there is
// neither.
QString LocateExifTool(const QString &searchPath, const QString &workFolder);

} // namespace kalmora
