#include "cli/cli.h"
#include "core/base/path_bytes.h"

#include "cli/output.h"

#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char **argv) {
    // A reader that goes away (a pipe into head) makes writes fail instead of ending the
    // program mid-batch: the batch stops between files and the journal is closed.
    std::signal(SIGPIPE, SIG_IGN);
    // A standard stream closed by the caller keeps its number taken, so that no file this
    // program opens (the journal) can receive the results; writes to it fail, as they should.
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF && ::open("/dev/null", O_RDONLY) != fd)
            return 2;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kalmora-cli"));
    // Arguments as bytes: a folder whose name is not UTF-8 keeps its name.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(kalmora::NameFromBytes(QByteArray(argv[i])));
    const int status = kalmora::cli::Run(arguments);
    using namespace kalmora::cli;
    if (const int error = FlushOut(); error != 0) {
        Message(
            Say("kalmora-cli：无法写入标准输出：%1", "kalmora-cli: cannot write the results: %1")
                .arg(QString::fromLocal8Bit(std::strerror(error))));
        return status == AllDone ? int(SomeFailed) : status;
    }
    return status;
}
