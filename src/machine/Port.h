// The port-access interface: one byte out, one byte in, nothing else.
#pragma once

#include <cstdint>
#include <string>

namespace ostrel::machine {

// What every caller relies on: out() puts the byte on the register at once and never fails
// from the caller's point of view; inp() returns the register's present byte, and reading the
// data or control register returns the last byte written there.
class Port {
  public:
    virtual ~Port() = default;
    virtual void out(uint16_t address, uint8_t value) = 0;
    virtual uint8_t inp(uint16_t address) = 0;
    // Writes data 0 and control 202 with nothing but async-signal-safe calls; used by the
    // crash handlers. The default is two out() calls.
    virtual void restFromSignal() noexcept;
    // A one-line description for messages ("simulated engraver", "ppdev:/dev/parport0").
    virtual std::string describe() const = 0;
};

// The names the program uses for the two port operations.
inline void Out32(Port& port, uint16_t address, uint8_t value) {
    port.out(address, value);
}
inline uint8_t Inp32(Port& port, uint16_t address) {
    return port.inp(address);
}

}  // namespace ostrel::machine
