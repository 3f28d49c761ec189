#pragma once

#include "core/platform/prompter.h"

namespace kalmora {

class QtPrompter final : public Prompter {
public:
    using Prompter::show;
    MsgAnswer show(const Message &message) override;
    void beep() override;
};

} // namespace kalmora
