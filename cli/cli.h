#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace kalmora::cli {

// Exit statuses a script can rely on. NotJournaled: the undo journal could not record the
// batch (or keep an original), so it did not start and no file changed.
enum Exit { AllDone = 0, SomeFailed = 1, Usage = 2, NotJournaled = 3 };

// What one command line asked for, once its options are parsed.
struct Invocation {
    QString command;
    QHash<QString, QString> values; // options with a value, by name without dashes ("start")
    QSet<QString> flags;            // options without one ("dry-run", "json")
    QString folder;
    QString operand; // the one optional word of a command without a folder ("undo 12")

    bool has(const QString &name) const { return values.contains(name) || flags.contains(name); }
    QString value(const QString &name, const QString &fallback = {}) const {
        return values.value(name, fallback);
    }
};

// One option a command accepts.
struct OptionSpec {
    QString name; // without dashes; "o" stands for -o
    bool takesValue;
};

// One command of the program: its name, its one-line summary, its help and how it runs.
struct Command {
    QString name;
    QString summary;
    QString usage; // the text of COMMAND --help
    QList<OptionSpec> options;
    bool needsFolder;
    std::function<int(const Invocation &)> run;
    bool optionalOperand = false; // without a folder: one optional word, Invocation::operand
};

// The commands in the order --help lists them. A new command is one more entry here.
const QList<Command> &Commands();

// Runs one command line (the program name left out) and returns the exit status. Results go to
// standard output, messages to standard error.
int Run(const QStringList &arguments);

// True under a Chinese locale (LC_ALL, LC_MESSAGES, LANG, the first that is set).
bool ChineseMessages();

} // namespace kalmora::cli
