// The command line of `ostrel simulate`: a whole job headless, with its options checked.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "simulation/JobSimulation.h"

namespace ostrel::app {

struct SimulateCommand {
    simulation::JobSpec spec;
    std::string burnPath;    // --burn OUT.png; "" for none
    std::string burnFormat;  // the format its name ends in ("png" without a suffix)
    bool json = false;       // --json: the summary as one JSON object
    // --material FILE: the profile file, read when the command runs; "" for "As designed".
    std::string materialPath;
    // --card: the job burns the calibration card of the material instead of a picture.
    bool card = false;
    std::string cardPicturePath;  // --card-picture OUT.png: the card as a picture; "" for none
};

// Parses `ostrel simulate ...` with QCommandLineParser; argv[1] is "simulate". --help and
// --version print on `out` and return nullopt with exitCode 0. A bad option, a value outside the
// job's ranges (simulation::checkSpec), a burn picture name without a format we write, or an output
// that names an input or another output returns nullopt with exitCode 2 and a message on `err`.
std::optional<SimulateCommand> parseSimulateCommandLine(int argc, char** argv, int& exitCode,
                                                        std::ostream& out, std::ostream& err);

}  // namespace ostrel::app
