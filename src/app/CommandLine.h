// Command-line options shared by the GUI and the headless commands.
#pragma once

#include <optional>
#include <string>

#include "machine/SimEngraver.h"

namespace ostrel::app {

struct GuiOptions {
    std::string port = "sim";    // --port sim | ppdev:/dev/parportN
    machine::SimConfig sim;      // start state of the simulated engraver
    std::string tracePath;       // --trace FILE: every port write, flushed per row
};

// Parses `ostrel [options]` with QCommandLineParser. Handles --help and --version itself
// (prints and returns nullopt with exitCode 0); a bad option returns nullopt with exitCode 2
// and a message on standard error.
std::optional<GuiOptions> parseGuiCommandLine(int argc, char** argv, int& exitCode);

}  // namespace ostrel::app
