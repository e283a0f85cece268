// The home-switch tests over the status register.
#include "machine/Registers.h"

#include "machine/Port.h"

namespace ostrel::machine {

bool homeTestOf(const std::array<uint8_t, 4>& values, const std::array<int, 4>& reads) {
    for (size_t i = 0; i < 4; ++i) {
        if (reads[i] == values[i]) return true;
    }
    return false;
}

static bool fourReads(Port& port, const std::array<uint8_t, 4>& values) {
    // NOTE: all four reads happen even when an early one matches; a noisy line is sampled the
    // same number of times whatever it shows.
    std::array<int, 4> reads{};
    for (int& r : reads) r = port.inp(STATUS_REG);
    return homeTestOf(values, reads);
}

bool xHomeTest(Port& port) {
    return fourReads(port, kXHomeReads);
}
bool yHomeTest(Port& port) {
    return fourReads(port, kYHomeReads);
}

}  // namespace ostrel::machine
