#pragma once

#include "app/single_instance.h"
#include "platform/services.h"

#include <QString>

namespace kalmora {

class FMainDate;

// The program's start: refuses a second instance, fixes the process-wide values, shows the main
// window and runs until it closes. Returns the process exit code.
int StartMain(Services &services, const QString &lockPath = SingleInstanceGuard::defaultLockPath());

} // namespace kalmora
