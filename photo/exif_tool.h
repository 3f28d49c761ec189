#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QProcess;

namespace kalmora {

// Strips all metadata from photos, one photo per call, through one running exiftool.
class ExifToolSession {
public:
    virtual ~ExifToolSession() = default;
    // Rewrites the photo in place without any metadata. False when the tool could not be
    // started, did not answer within the time limit (it is restarted for the next call) or
    // reported that it could not rewrite the photo. Whether the photo is really clean is for
    // the caller to check.
    virtual bool eraseAll(const QString &path) = 0;
};

// One `exiftool -stay_open True -@ -` process: each photo is its own command, with the path as
// an argument of its own, so names with blanks or any other character need no quoting. While it
// waits for an answer the window keeps handling events.
class ExifToolProcess final : public ExifToolSession {
public:
    ExifToolProcess(const QString &program, int timeLimitMs);
    ~ExifToolProcess() override; // asks the tool to end, and ends it when it does not
    bool eraseAll(const QString &path) override;

private:
    bool start();
    void stop();

    QString m_program;
    int m_timeLimitMs;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_output;
    int m_command = 0;
};

// The exiftool to run: the one on the search path (the PATH variable's text), else the copy in
// the work folder; empty when there is neither.
QString LocateExifTool(const QString &searchPath, const QString &workFolder);

// One argument line of exiftool's argument file. Lines are split at line breaks, so a text that
// holds one is passed in the tool's escaped form.
QByteArray ExifToolArgumentLine(const QString &argument);

} // namespace kalmora
