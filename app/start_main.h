#pragma once

#include "app/single_instance.h"
#include "core/platform/services.h"

#include <QString>

namespace kalmora {

class FMainDate;

// The program's start: a second start hands its folder to the running program and ends (the
// refusal message stays for a running program that cannot be reached); otherwise fixes the
// process-wide values, shows the main window, takes the folder given (if any) as if chosen,
// and runs until the window closes. Returns the process exit code.
int StartMain(Services &services, const QString &lockPath = SingleInstanceGuard::defaultLockPath(),
              const QString &folder = {});

} // namespace kalmora
