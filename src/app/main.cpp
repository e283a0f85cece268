// Program entry: picks the GUI or one of the headless commands.
#include <cstring>

#include "app/CommandLine.h"
#include "app/Commands.h"

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
    return ostrel::app::runGui(argc, argv);
}
