// Small helpers shared by the motion tests: start states and checks over the port trace.
#pragma once

#include <string>
#include <vector>

#include "support/Harness.h"

namespace ostrel::test {

// A simulated engraver with the head at (x, y) full steps and the port at rest.
inline machine::SimConfig headAt(double x, double y) {
    machine::SimConfig c;
    c.headX = x;
    c.headY = y;
    return c;
}

// Every word written to the data register, in order.
inline std::vector<int> dataWrites(const Harness& h) {
    std::vector<int> out;
    for (const auto& [address, value] : h.writes()) {
        if (address == machine::DATA_REG) out.push_back(value);
    }
    return out;
}

// Virtual times of the writes to one register.
inline std::vector<double> writeTimes(const Harness& h, int address) {
    std::vector<double> out;
    for (const machine::TraceRecord& r : h.trace->records()) {
        if (r.write && r.address == address) out.push_back(r.tMs);
    }
    return out;
}

// Counts the data words that drive both motors, or both inputs of one Y bridge pair.
inline int wiringFaults(const Harness& h) {
    int n = 0;
    for (int w : dataWrites(h)) n += machine::isWiringFault(static_cast<uint8_t>(w)) ? 1 : 0;
    return n;
}

inline std::string caption(Harness& h, const std::string& name) {
    return h.form().control(name)->caption;
}

// Manual mode belongs to the command panel; the tests open the jog buttons directly.
inline void enableJogButtons(Harness& h) {
    for (form::Control& b : h.form().Command1) b.enabled = true;
}

}  // namespace ostrel::test
