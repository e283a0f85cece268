// Command-line parsing (filled in by its own change).
#include "app/CommandLine.h"

namespace ostrel::app {

std::optional<GuiOptions> parseGuiCommandLine(int, char**, int& exitCode) {
    exitCode = 0;
    return GuiOptions{};
}

}  // namespace ostrel::app
