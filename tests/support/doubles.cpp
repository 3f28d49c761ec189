#include "tests/support/doubles.h"

namespace kalmora::test {

static MsgAnswer firstButton(MsgButtons b) {
    switch (b) {
    case MsgButtons::Ok:
    case MsgButtons::OkCancel:
        return MsgAnswer::Ok;
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
        return MsgAnswer::Yes;
    case MsgButtons::RetryCancel:
        return MsgAnswer::Retry;
    }
    return MsgAnswer::Ok;
}

MsgAnswer ScriptedPrompter::show(const Message &message) {
    shown.append(message);
    if (onShow)
        onShow(message);
    if (!answers.isEmpty())
        return answers.takeFirst();
    return message.defaultButton.value_or(firstButton(message.buttons));
}

QStringList ScriptedPrompter::texts() const {
    QStringList t;
    for (const Message &m : shown)
        t.append(m.text);
    return t;
}

double ScriptedRandom::next() {
    if (values.isEmpty())
        return 0.0;
    const double v = values.value(drawn, values.last());
    ++drawn;
    return v;
}

QString ScriptedFileDialogs::chooseFolder(const QString &title, const QString &startFolder) {
    requests.append(QStringLiteral("folder:%1:%2").arg(title, startFolder));
    return folders.isEmpty() ? QString() : folders.takeFirst();
}

QString ScriptedFileDialogs::chooseOpenFile(const QString &title, const QString &startFolder,
                                            const QString &filter) {
    requests.append(QStringLiteral("file:%1:%2:%3").arg(title, startFolder, filter));
    return files.isEmpty() ? QString() : files.takeFirst();
}

ProcessResult FakeProcessRunner::run(const QString &program, const QStringList &arguments, int) {
    commands.append(QStringList{program} + arguments);
    if (handler)
        return handler(program, arguments);
    return ProcessResult{true, true, 0, {}};
}

bool FakeDownloader::download(const QString &url, const QString &targetPath) {
    urls.append(url);
    return handler ? handler(url, targetPath) : false;
}

} // namespace kalmora::test
