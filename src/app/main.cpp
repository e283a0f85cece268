// Program entry: picks the GUI or one of the headless commands.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "app/CommandLine.h"
#include "app/Commands.h"

namespace {

bool set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Whether the window has somewhere to go: Qt would otherwise abort when it finds no display.
// A platform chosen by name that needs no display server (offscreen, vnc, eglfs, ...) is one.
bool displayAvailable() {
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    const std::string_view platform = chosen ? chosen : "";
    if (platform.empty()) return set("DISPLAY") || set("WAYLAND_DISPLAY");
    if (platform.rfind("xcb", 0) == 0) return set("DISPLAY");
    if (platform.rfind("wayland", 0) == 0) return set("WAYLAND_DISPLAY");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "script") == 0) return ostrel::app::runScript(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "simulate") == 0) {
        return ostrel::app::runSimulate(argc, argv);
    }
    if (argc > 1 && std::strcmp(argv[1], "latency") == 0)
        return ostrel::app::runLatency(argc, argv);
    // --help, --version and a bad option are answered before any window or display is needed.
    int exitCode = 0;
    if (!ostrel::app::parseGuiCommandLine(argc, argv, exitCode)) return exitCode;
    if (!displayAvailable()) {
        std::fprintf(stderr,
                     "ostrel: no display: use `ostrel simulate` or `ostrel script`, or set "
                     "DISPLAY\n");
        return ostrel::app::kUsageError;
    }
    return ostrel::app::runGui(argc, argv);
}
