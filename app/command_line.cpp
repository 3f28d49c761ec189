#include "app/command_line.h"

namespace kalmora {

namespace {

// Options that QGuiApplication takes for itself, with whether a value follows.
struct QtOption {
    const char *name;
    bool takesValue;
};
constexpr QtOption QtOptions[] = {
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"qwindowicon", true},
    {"qwindowtitle", true},
    {"session", true},
    {"style", true},
    {"stylesheet", true},
    {"display", true},
    {"geometry", true},
    {"name", true},
    {"title", true},
    {"reverse", false},
    {"widgetcount", false},
    {"nograb", false},
    {"dograb", false},
    {"sync", false},
};

const QtOption *qtOption(const QString &arg) {
    if (!arg.startsWith(QLatin1Char('-')) || arg.startsWith(QLatin1String("--")))
        return nullptr;
    const QString name = arg.mid(1);
    for (const QtOption &o : QtOptions)
        if (name == QLatin1String(o.name))
            return &o;
    return nullptr;
}

CommandLine usageError(const QString &error) {
    CommandLine c;
    c.action = CommandLine::Action::UsageError;
    c.error = error;
    return c;
}

} // namespace

CommandLine ParseCommandLine(const QStringList &args) {
    CommandLine c;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (!optionsEnded && arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            if (arg == QLatin1String("--")) {
                optionsEnded = true;
            } else if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
                c.action = CommandLine::Action::Help;
                return c;
            } else if (arg == QLatin1String("-v") || arg == QLatin1String("--version")) {
                c.action = CommandLine::Action::Version;
                return c;
            } else if (const QtOption *o = qtOption(arg)) {
                if (o->takesValue && ++i >= args.size())
                    return usageError(QStringLiteral("选项 %1 缺少取值").arg(arg));
            } else {
                return usageError(QStringLiteral("未知选项：%1").arg(arg));
            }
            continue;
        }
        if (!c.folder.isEmpty())
            return usageError(QStringLiteral("只能指定一个文件夹"));
        c.folder = arg;
    }
    return c;
}

QString UsageText() {
    return QStringLiteral("用法：kalmora [选项] [文件夹]\n"
                          "批量修改文件时间、照片拍摄日期和文件名。\n"
                          "\n"
                          "  文件夹           启动后选定此文件夹\n"
                          "  -h, --help       显示此帮助并退出\n"
                          "  -v, --version    显示版本并退出\n");
}

QString VersionText() {
    return QStringLiteral("Kalmora " KALMORA_VERSION "\n");
}

} // namespace kalmora
