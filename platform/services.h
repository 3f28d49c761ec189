#pragma once

#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/downloader.h"
#include "platform/environment.h"
#include "platform/file_dialogs.h"
#include "platform/file_time_store.h"
#include "platform/process_runner.h"
#include "platform/prompter.h"
#include "platform/random.h"
#include "platform/settings.h"

namespace kalmora {

// Every outside effect the windows use, in one bundle. Production passes the real services;
// tests pass doubles.
struct Services {
    Prompter &prompter;
    Clock &clock;
    Random &random;
    Environment &environment;
    Settings &settings;
    Desktop &desktop;
    FileDialogs &fileDialogs;
    ProcessRunner &processes;
    Downloader &downloader;
    FileTimeStore &fileTimes;
};

} // namespace kalmora
