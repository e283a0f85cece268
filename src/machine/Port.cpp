// The port's shared pieces: the default rest from a signal, write-fault bookkeeping, the latch.
#include "machine/Port.h"

#include <time.h>

#include "machine/Registers.h"

namespace ostrel::machine {

bool Port::restFromSignal() noexcept {
    const uint64_t failed = failedWrites();
    out(DATA_REG, kRestData);
    out(CONTROL_REG, kRestControl);
    return failedWrites() == failed;
}

bool WriteFaults::allows(uint16_t address, uint8_t value) const {
    if (!faulted()) return true;
    return (address == DATA_REG && value == kRestData) ||
           (address == CONTROL_REG && value == kRestControl);
}

bool WriteFaults::failed(uint16_t address, uint8_t value, const std::string& why) {
    ++count_;
    if (faulted()) return false;
    text_ = "writing " + std::to_string(value) + " to " + std::to_string(address) + ": " + why;
    return true;
}

bool RestLatch::waitForWriters() noexcept {
    if (writers_.load() == 0) return false;
    // NOTE: bounded: the write under way may be the one this very handler interrupted, and
    // that one does not go on before the handler returns.
    for (int i = 0; i < 50 && writers_.load() != 0; ++i) {
        const timespec pause{0, 1000000};  // 1 ms
        ::nanosleep(&pause, nullptr);
    }
    return true;
}

}  // namespace ostrel::machine
