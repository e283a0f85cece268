// The interlock setting's text form and the port view that keeps the home tests as they are.
#include "machine/Interlock.h"

namespace ostrel::machine {

namespace {

constexpr std::string_view kForms =
    "use none, pin10, pin13 or pin15, optionally with :open-high (the default) or :open-low";

}  // namespace

uint8_t InterlockSetting::bit() const {
    for (const InterlockInput& input : kInterlockInputs) {
        if (input.pin == pin) return input.bit;
    }
    return 0;
}

std::optional<InterlockSetting> parseInterlock(std::string_view text, std::string& error) {
    InterlockSetting setting;
    if (text == "none") return setting;
    const size_t colon = text.find(':');
    const std::string_view pin = text.substr(0, colon);
    for (const InterlockInput& input : kInterlockInputs) {
        if (pin == "pin" + std::to_string(input.pin)) setting.pin = input.pin;
    }
    bool ok = setting.configured();
    if (ok && colon != std::string_view::npos) {
        const std::string_view polarity = text.substr(colon + 1);
        ok = polarity == "open-high" || polarity == "open-low";
        setting.openHigh = polarity != "open-low";
    }
    if (!ok) {
        error = "bad interlock '" + std::string(text) + "': " + std::string(kForms);
        return std::nullopt;
    }
    return setting;
}

std::string interlockText(const InterlockSetting& setting) {
    if (!setting.configured()) return "none";
    return "pin" + std::to_string(setting.pin) + (setting.openHigh ? ":open-high" : ":open-low");
}

void InterlockPort::out(uint16_t address, uint8_t value) {
    inner_.out(address, value);
    if (address != CONTROL_REG) return;
    lastControl_ = value;
    if (setting_.configured() && observer_) observer_();
}

uint8_t InterlockPort::inp(uint16_t address) {
    const uint8_t value = inner_.inp(address);
    return address == STATUS_REG ? homeStatus(value, setting_) : value;
}

}  // namespace ostrel::machine
