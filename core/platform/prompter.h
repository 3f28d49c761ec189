#pragma once

#include <QString>

#include <optional>

namespace kalmora {

enum class MsgIcon { None, Information, Warning, Critical, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class MsgAnswer { Ok, Cancel, Yes, No, Retry };

struct Message {
    QString text;
    QString title = QStringLiteral("消息");
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
    std::optional<MsgAnswer> defaultButton; // none: the first button
};

// Modal message boxes and the beep.
class Prompter {
public:
    virtual ~Prompter() = default;
    virtual MsgAnswer show(const Message &message) = 0;
    virtual void beep() = 0;

    MsgAnswer show(const QString &text, MsgIcon icon = MsgIcon::None,
                   MsgButtons buttons = MsgButtons::Ok,
                   const QString &title = QStringLiteral("消息"),
                   std::optional<MsgAnswer> defaultButton = std::nullopt) {
        return show(Message{text, title, icon, buttons, defaultButton});
    }
};

} // namespace kalmora
