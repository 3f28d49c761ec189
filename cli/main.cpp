#include "cli/cli.h"
#include "core/base/path_bytes.h"

#include <QCoreApplication>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kalmora-cli"));
    // Arguments as bytes: a folder whose name is not UTF-8 keeps its name.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(kalmora::NameFromBytes(QByteArray(argv[i])));
    return kalmora::cli::Run(arguments);
}
