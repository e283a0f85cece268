// Chooses and opens the port backend.
#include "machine/PortFactory.h"

#include <charconv>

#include "machine/PpdevPort.h"

namespace ostrel::machine {

namespace {

constexpr const char* kSimOptionsHelp =
    "use sim:fail-after=N (every write after the first N fails) or sim:fail-write=N (write N "
    "fails), separated by commas";

bool toCount(std::string_view text, int64_t& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size() && out >= 0;
}

}  // namespace

bool parseSimOptions(std::string_view options, SimConfig& config, std::string& error) {
    for (;;) {
        const size_t comma = options.find(',');
        const std::string_view option = options.substr(0, comma);
        const size_t equals = option.find('=');
        const std::string_view name = option.substr(0, equals);
        int64_t count = 0;
        if (equals == std::string_view::npos || !toCount(option.substr(equals + 1), count) ||
            (name != "fail-after" && name != "fail-write") ||
            (name == "fail-write" && count == 0)) {
            error = "bad simulator option '" + std::string(option) + "': " + kSimOptionsHelp;
            return false;
        }
        (name == "fail-after" ? config.failAfterWrites : config.failWrite) = count;
        if (comma == std::string_view::npos) return true;
        options.remove_prefix(comma + 1);
    }
}

PortOpenResult openPort(const std::string& spec, const SimConfig& sim, SimEngraver::Clock clock) {
    PortOpenResult result;
    if (spec.empty() || spec == "sim" || spec.rfind("sim:", 0) == 0) {
        SimConfig config = sim;
        if (spec.size() > 4 && !parseSimOptions(spec.substr(4), config, result.error)) {
            return result;
        }
        auto engraver = std::make_unique<SimEngraver>(config, std::move(clock));
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
