#pragma once

#include "core/filetime/file_time_store.h"
#include "core/platform/services.h"
#include "gui/platform/qt_prompter.h"

namespace kalmora {

// The real implementations of every service, owned together.
class RealServices {
public:
    Services services() {
        return Services{prompter, clock,       random,    environment, settings,
                        desktop,  fileDialogs, processes, downloader,  fileTimes};
    }

private:
    QtPrompter prompter;
    SystemClock clock;
    MtRandom random;
    ProcessEnvironment environment;
    QtSettings settings;
    QtDesktop desktop;
    QtFileDialogs fileDialogs;
    QtProcessRunner processes;
    NetworkDownloader downloader;
    SystemFileTimeStore fileTimes;
};

} // namespace kalmora
