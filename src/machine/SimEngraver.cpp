// The simulated engraver's registers, motors, switches and work piece.
#include "machine/SimEngraver.h"

#include <cmath>

#include "machine/Registers.h"

namespace ostrel::machine {

// X coil words to rotor angles: a=1, b=2, c=4, d=8 (bits 0-3).
int SimEngraver::xAngleOf(uint8_t word) {
    switch (word & 0x0F) {
        case 1:
            return 0;  // a
        case 3:
            return 1;  // a+b
        case 2:
            return 2;  // b
        case 6:
            return 3;  // b+c
        case 4:
            return 4;  // c
        case 12:
            return 5;  // c+d
        case 8:
            return 6;  // d
        case 9:
            return 7;  // d+a
        default:
            return -1;
    }
}

// Y bridge words to rotor angles: A+=16, A-=32, B+=64, B-=128 (bits 4-7).
int SimEngraver::yAngleOf(uint8_t word) {
    switch (word & 0xF0) {
        case 16:
            return 0;  // A+
        case 80:
            return 1;  // A+B+
        case 64:
            return 2;  // B+
        case 96:
            return 3;  // A-B+
        case 32:
            return 4;  // A-
        case 160:
            return 5;  // A-B-
        case 128:
            return 6;  // B-
        case 144:
            return 7;  // A+B-
        default:
            return -1;
    }
}

static int64_t halfSteps(double fullSteps) {
    return std::llround(fullSteps * 2);
}

SimEngraver::SimEngraver(const SimConfig& config, Clock clock)
    : config_(config),
      clock_(std::move(clock)),
      noise_(config.seed),
      data_(config.data),
      control_(config.control),
      rotorX_(config.rotorX & 7),
      rotorY_(config.rotorY & 7),
      x_(halfSteps(config.headX)),
      y_(halfSteps(config.headY)) {
    // NOTE: the rotors start at the configured angles even when a coil word is left in the
    // data register: the start state describes a machine whose word was written after the
    // motor last moved (a scenario's `rotor` and `port` lines are independent).
    if (laserOn()) {
        exposureOpen_ = true;
        open_ = {x_, y_, clock_ ? clock_() : 0, 0};
    }
}

uint8_t SimEngraver::status() const {
    int s = 126;
    if (xHome()) s += 128;
    if (yHome()) s -= 32;
    if (interlock_.configured()) {
        // The input reads high exactly when the door's state is the one the polarity names.
        const bool high = doorOpen_ == interlock_.openHigh;
        s = high ? (s | interlock_.bit()) : (s & ~interlock_.bit());
    }
    return static_cast<uint8_t>(s);
}

uint8_t SimEngraver::inp(uint16_t address) {
    switch (address) {
        case DATA_REG:
            return data_;
        case CONTROL_REG:
            return control_;
        case STATUS_REG: {
            uint8_t s = status();
            if (config_.noise) s = static_cast<uint8_t>((s & ~1u) | (noise_() & 1u));
            return s;
        }
        default:
            return 255;  // nothing answers there
    }
}

void SimEngraver::closeExposure() {
    if (!exposureOpen_) return;
    const double now = clock_ ? clock_() : 0;
    open_.ms = now - open_.startMs;
    if (open_.ms > 0) exposures_.push_back(open_);
    exposureOpen_ = false;
}

void SimEngraver::moveAxis(int target, int& rotor, int64_t& pos, int sign, int64_t minHalf,
                           int64_t maxHalf) {
    if (target < 0) return;
    int diff = ((target - rotor) % 8 + 8) % 8;  // 0..7
    if (diff == 0) return;
    if (diff == 4) {
        ++stalls_;  // pulled from both sides equally: the rotor stays
        return;
    }
    if (diff > 4) diff -= 8;  // shortest way: -3..3
    // The rotor turns; the head follows unless a mechanical stop blocks it, one half-step at
    // a time.
    const int dir = diff > 0 ? 1 : -1;
    for (int i = 0; i != diff; i += dir) {
        const int64_t next = pos + dir * sign;
        if (next < minHalf || next > maxHalf) {
            ++lostSteps_;
            continue;  // the rotor slips against the stop; the head stays
        }
        pos = next;
    }
    rotor = target;
}

bool SimEngraver::failsOnCommand() noexcept {
    ++attempts_;
    return (config_.failAfterWrites >= 0 && attempts_ > config_.failAfterWrites) ||
           attempts_ == config_.failWrite;
}

bool SimEngraver::restFromSignal() noexcept {
    // NOTE: runs in a signal handler: plain stores and the loop's clock (a member read or
    // clock_gettime), nothing that allocates, locks or calls out of the machine. A write that
    // another thread has under way ends first.
    latch_.close();
    latch_.waitForWriters();
    const bool dataFails = failsOnCommand();
    const bool controlFails = failsOnCommand();
    if (!dataFails) data_ = kRestData;
    if (!controlFails) {
        control_ = kRestControl;
        if (exposureOpen_) {
            signalEndedExposure_ = open_;
            signalEndedExposure_.ms = (clock_ ? clock_() : 0) - open_.startMs;
            signalEnded_ = signalEndedExposure_.ms > 0;
            exposureOpen_ = false;
        }
    }
    return !dataFails && !controlFails;
}

void SimEngraver::out(uint16_t address, uint8_t value) {
    if (!latch_.enter()) return;  // rested from a signal: the program is ending
    write(address, value);
    latch_.leave();
}

void SimEngraver::write(uint16_t address, uint8_t value) {
    if (!writeFaults_.allows(address, value)) {
        writeFaults_.refused();
        return;
    }
    if (failsOnCommand()) {
        if (writeFaults_.failed(address, value,
                                "failed on command (the simulator's fail settings)")) {
            notifyFault();
        }
        return;
    }
    ++writes_;
    if (address == CONTROL_REG) {
        const bool wasOn = laserOn();
        control_ = value;
        if (wasOn && !laserOn()) closeExposure();
        if (!wasOn && laserOn()) {
            exposureOpen_ = true;
            open_ = {x_, y_, clock_ ? clock_() : 0, 0};
        }
        if (observer_) observer_();
        return;
    }
    if (address != DATA_REG) return;
    data_ = value;
    if (isWiringFault(value)) {
        ++faults_;
        return;
    }
    const int64_t oldX = x_, oldY = y_;
    // NOTE: X + runs with the angle falling, Y + with the angle rising.
    moveAxis(xAngleOf(value), rotorX_, x_, -1, 2 * config_.xStopMin, 2 * config_.xStopMax);
    moveAxis(yAngleOf(value), rotorY_, y_, +1, 2 * config_.yStopMin, 2 * config_.yStopMax);
    if ((x_ != oldX || y_ != oldY) && laserOn()) {
        // The head moved under a burning laser: the exposure continues at the new place.
        closeExposure();
        exposureOpen_ = true;
        open_ = {x_, y_, clock_ ? clock_() : 0, 0};
    }
    if (observer_) observer_();
}

std::vector<Exposure> SimEngraver::exposures() const {
    std::vector<Exposure> all = exposures_;
    if (signalEnded_) all.push_back(signalEndedExposure_);
    if (exposureOpen_) {
        Exposure e = open_;
        e.ms = (clock_ ? clock_() : 0) - e.startMs;
        if (e.ms > 0) all.push_back(e);
    }
    return all;
}

double SimEngraver::laserOnMs() const {
    double total = 0;
    for (const Exposure& e : exposures()) total += e.ms;
    return total;
}

}  // namespace ostrel::machine
