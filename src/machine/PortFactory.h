// Opens the port backend named on the command line: "sim" or "ppdev:/dev/parportN".
#pragma once

#include <memory>
#include <string>

#include "machine/Port.h"
#include "machine/SimEngraver.h"

namespace ostrel::machine {

struct PortOpenResult {
    std::unique_ptr<Port> port;
    SimEngraver* sim = nullptr;  // the simulated engraver, when that is the backend
    std::string error;           // names the device and the remedy
};

// `spec` is "sim" (the default) or "ppdev:/dev/parportN". The simulated engraver takes its
// start state from `sim` and its clock from `clock`.
PortOpenResult openPort(const std::string& spec, const SimConfig& sim, SimEngraver::Clock clock);

}  // namespace ostrel::machine
