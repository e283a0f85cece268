// The optional door / emergency-stop interlock: its status input, its polarity and its port view.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "machine/Port.h"
#include "machine/Registers.h"

namespace ostrel::machine {

// The status inputs an interlock switch may use: the three that no home switch uses. An input
// left unconnected reads high (1); the port inverts none of these three lines.
//
//   pin  status bit  line
//   10   6  (0x40)   nAck
//   13   4  (0x10)   Select
//   15   3  (0x08)   nError
struct InterlockInput {
    int pin;
    uint8_t bit;
    std::string_view line;
};
inline constexpr std::array<InterlockInput, 3> kInterlockInputs{{
    {10, 0x40, "nAck"},
    {13, 0x10, "Select"},
    {15, 0x08, "nError"},
}};

// Which input the switch is on (none by default) and which level means open.
// NOTE: open-high is the default because it fails safe: a switch that is closed while the
// door is shut (or the emergency stop released) pulls the input low, and an open door, a
// pressed stop or a broken wire all let it float high.
struct InterlockSetting {
    int pin = 0;  // 0: no interlock; otherwise 10, 13 or 15
    bool openHigh = true;

    bool configured() const { return pin != 0; }
    // The input's bit in the status byte; 0 without an interlock.
    uint8_t bit() const;
    // Whether a status byte shows the switch open; false without an interlock.
    bool openIn(uint8_t status) const {
        return configured() && ((status & bit()) != 0) == openHigh;
    }
    bool operator==(const InterlockSetting&) const = default;
};

// Reads "none" or "pinN" with an optional ":open-high" or ":open-low" (N = 10, 13 or 15);
// nullopt with `error` for anything else.
std::optional<InterlockSetting> parseInterlock(std::string_view text, std::string& error);
// The setting as parseInterlock() reads it back: "none", "pin13:open-high".
std::string interlockText(const InterlockSetting& setting);
// The status byte as the home tests and Go Home see it: the interlock's bit set, as it is on a
// machine without the switch (every status byte the home tests know has it set).
inline uint8_t homeStatus(uint8_t status, const InterlockSetting& setting) {
    return static_cast<uint8_t>(status | setting.bit());
}

// The port as the core sees it. Without an interlock it passes every access on unchanged. With
// one, the status byte that the core reads (the home tests, Go Home) has the interlock's bit at
// the value the home tests know, whatever the switch shows, and rawStatus() reads the switch.
// It also remembers the last control word written, so the watcher knows whether the laser is
// lit without reading the port.
class InterlockPort final : public Port {
  public:
    explicit InterlockPort(Port& inner) : inner_(inner) {}
    InterlockPort(const InterlockPort&) = delete;
    InterlockPort& operator=(const InterlockPort&) = delete;

    void setInterlock(const InterlockSetting& setting) { setting_ = setting; }
    const InterlockSetting& interlock() const { return setting_; }
    // Called after every control write while an interlock is configured.
    void setControlObserver(std::function<void()> observer) { observer_ = std::move(observer); }

    void out(uint16_t address, uint8_t value) override;
    uint8_t inp(uint16_t address) override;
    // One read of the status register as the machine gives it.
    uint8_t rawStatus() { return inner_.inp(STATUS_REG); }
    // The last control word written lit the laser.
    bool laserLit() const { return (lastControl_ & 1) != 0; }

    bool restFromSignal() noexcept override { return inner_.restFromSignal(); }
    std::string describe() const override { return inner_.describe(); }
    std::string faultText() const override { return inner_.faultText(); }
    uint64_t failedWrites() const noexcept override { return inner_.failedWrites(); }
    void setFaultHandler(std::function<void()> handler) override {
        inner_.setFaultHandler(std::move(handler));
    }
    Port& inner() { return inner_; }

  private:
    Port& inner_;
    InterlockSetting setting_;
    std::function<void()> observer_;
    uint8_t lastControl_ = LASER_OFF;
};

}  // namespace ostrel::machine
