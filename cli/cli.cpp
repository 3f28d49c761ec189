#include "cli/cli.h"

#include "app/command_line.h"
#include "cli/output.h"

namespace kalmora::cli {

namespace {

QString programHelp() {
    QString text = QStringLiteral(
        "Usage: kalmora-cli COMMAND [options] FOLDER\n"
        "       kalmora-cli --version\n"
        "\n"
        "Rewrites the time stamps, shooting dates and names of the files in one folder, with the\n"
        "same rules and results as the Kalmora window.\n"
        "\n"
        "Commands:\n");
    for (const Command &c : Commands())
        text += QStringLiteral("  %1%2\n").arg(c.name, -14).arg(c.summary);
    text += QStringLiteral(
        "\n"
        "Run 'kalmora-cli COMMAND --help' for the options of one command.\n"
        "Results: one line per file on standard output, tab-separated (path, result, values),\n"
        "or JSON Lines with --json. Messages go to standard error.\n"
        "\n"
        "apply, shift-date, rename, stamps-from-date and strip record each batch in the undo\n"
        "journal the window keeps ($XDG_STATE_HOME/Kalmora, else ~/.local/state/Kalmora)\n"
        "before the first file changes; 'history' lists the batches, 'undo' puts one back.\n"
        "A dry run records nothing.\n"
        "\n"
        "Exit status: 0 every file succeeded, 1 some failed, 2 usage error, 3 the journal\n"
        "could not record the batch, so it did not start and no file was changed.\n");
    return text;
}

const Command *findCommand(const QString &name) {
    for (const Command &c : Commands())
        if (c.name == name)
            return &c;
    return nullptr;
}

int usageError(const QString &text, const QString &command = {}) {
    Message(QStringLiteral("kalmora-cli: ") + text);
    Message(command.isEmpty()
                ? Say("运行 “kalmora-cli --help” 查看用法。", "Run 'kalmora-cli --help' for usage.")
                : Say("运行 “kalmora-cli %1 --help” 查看用法。",
                      "Run 'kalmora-cli %1 --help' for usage.")
                      .arg(command));
    return Usage;
}

} // namespace

bool ChineseMessages() {
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty())
            return value.startsWith(QLatin1String("zh"));
    }
    return false;
}

int Run(const QStringList &arguments) {
    if (arguments.isEmpty())
        return usageError(Say("缺少命令。", "No command given."));
    const QString first = arguments.first();
    if (first == QLatin1String("--help") || first == QLatin1String("-h") ||
        first == QLatin1String("help")) {
        WriteOut(programHelp().toUtf8());
        return AllDone;
    }
    if (first == QLatin1String("--version") || first == QLatin1String("-v")) {
        WriteOut(QStringLiteral("kalmora-cli %1").arg(VersionText().section(u' ', 1)).toUtf8());
        return AllDone;
    }
    const Command *command = findCommand(first);
    if (!command)
        return usageError(Say("未知命令：%1", "Unknown command: %1").arg(first));

    Invocation inv;
    inv.command = command->name;
    QStringList positional;
    bool optionsEnd = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString arg = arguments[i];
        if (optionsEnd || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            positional.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnd = true;
            continue;
        }
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            WriteOut(command->usage.toUtf8());
            return AllDone;
        }
        QString name = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
        std::optional<QString> value;
        if (const qsizetype eq = name.indexOf(QLatin1Char('=')); eq > 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
        }
        const auto spec = std::find_if(command->options.begin(), command->options.end(),
                                       [&](const OptionSpec &o) { return o.name == name; });
        // Single-dash forms are for one-letter options only.
        if (spec == command->options.end() ||
            (name.size() > 1) != arg.startsWith(QLatin1String("--")))
            return usageError(Say("未知选项：%1", "Unknown option: %1").arg(arg), command->name);
        if (!spec->takesValue) {
            if (value)
                return usageError(Say("选项 %1 不带值。", "Option %1 takes no value.").arg(arg),
                                  command->name);
            inv.flags.insert(name);
            continue;
        }
        if (!value) {
            if (i + 1 >= arguments.size())
                return usageError(Say("选项 %1 缺少值。", "Option %1 needs a value.").arg(arg),
                                  command->name);
            value = arguments[++i];
        }
        inv.values.insert(name, *value);
    }
    if (command->needsFolder) {
        if (positional.size() != 1)
            return usageError(positional.isEmpty()
                                  ? Say("缺少文件夹。", "No folder given.")
                                  : Say("只能指定一个文件夹。", "Give exactly one folder."),
                              command->name);
        inv.folder = positional.first();
        while (inv.folder.size() > 1 && inv.folder.endsWith(QLatin1Char('/')))
            inv.folder.chop(1);
    } else if (command->optionalOperand && positional.size() == 1) {
        inv.operand = positional.first();
    } else if (!positional.isEmpty()) {
        return usageError(Say("多余的参数：%1", "Unexpected argument: %1").arg(positional.first()),
                          command->name);
    }
    return command->run(inv);
}

} // namespace kalmora::cli
