// Opens the port backend named on the command line: "sim" or "ppdev:/dev/parportN".
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "machine/Port.h"
#include "machine/SimEngraver.h"

namespace ostrel::machine {

struct PortOpenResult {
    std::unique_ptr<Port> port;
    SimEngraver* sim = nullptr;  // the simulated engraver, when that is the backend
    std::string error;           // names the device and the remedy
};

// `spec` is "sim" (the default), "sim:OPTIONS" or "ppdev:/dev/parportN". The simulated
// engraver takes its start state from `sim` and its clock from `clock`; OPTIONS, separated by
// commas, make its writes fail on command: fail-after=N (every write after the first N) and
// fail-write=N (the Nth write, from 1).
PortOpenResult openPort(const std::string& spec, const SimConfig& sim, SimEngraver::Clock clock);
// Reads the OPTIONS of "sim:OPTIONS" into `config`; false with `error` for a bad one.
bool parseSimOptions(std::string_view options, SimConfig& config, std::string& error);

}  // namespace ostrel::machine
