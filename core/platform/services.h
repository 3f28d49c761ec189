#pragma once

#include "core/platform/clock.h"
#include "core/platform/desktop.h"
#include "core/platform/downloader.h"
#include "core/platform/environment.h"
#include "core/platform/file_dialogs.h"
#include "core/platform/process_runner.h"
#include "core/platform/prompter.h"
#include "core/platform/random.h"
#include "core/platform/settings.h"

namespace kalmora {

class FileTimeStore;

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
