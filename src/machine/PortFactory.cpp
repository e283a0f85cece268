// Chooses and opens the port backend.
#include "machine/PortFactory.h"

#include "machine/PpdevPort.h"

namespace ostrel::machine {

PortOpenResult openPort(const std::string& spec, const SimConfig& sim, SimEngraver::Clock clock) {
    PortOpenResult result;
    if (spec.empty() || spec == "sim") {
        auto engraver = std::make_unique<SimEngraver>(sim, std::move(clock));
        result.sim = engraver.get();
        result.port = std::move(engraver);
        return result;
    }
    if (spec.rfind("ppdev:", 0) == 0) {
        auto port = std::make_unique<PpdevPort>(spec.substr(6), systemIoctl(), result.error);
        if (port->ok()) result.port = std::move(port);
        return result;
    }
    result.error = "unknown port '" + spec + "': use 'sim' or 'ppdev:/dev/parportN'";
    return result;
}

}  // namespace ostrel::machine
