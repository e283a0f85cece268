// The simulated engraver: latched registers, two stepper motors with rotors, home switches,
// mechanical stops and a work piece that records the laser's exposure.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "machine/Interlock.h"
#include "machine/Port.h"

namespace ostrel::machine {

struct SimConfig {
    // The head's true position in full steps from the home switches.
    double headX = 0, headY = 0;
    // Initial rotor angles, 0-7 (see SimEngraver).
    int rotorX = 0, rotorY = 0;
    // Initial register contents. A coil word left in the data register does not move the
    // rotors: they start at rotorX and rotorY.
    uint8_t data = 0, control = 202;
    // Bit 0 of every status read random (seeded, so a run repeats exactly).
    bool noise = false;
    uint32_t seed = 1;
    // Mechanical stops, in full steps: a few steps behind each home switch, and at the far end
    // of travel beyond the soft limits.
    int xStopMin = -4, xStopMax = 1100;
    int yStopMin = -4, yStopMax = 280;
    // Write failures on command, to try the fault path: every write after the first
    // `failAfterWrites` fails (-1: none does); the write numbered `failWrite` (from 1) fails
    // (0: none does). Rest writes count like any other.
    int64_t failAfterWrites = -1;
    int64_t failWrite = 0;
};

// One stretch of laser-on time at one head position (half-steps).
struct Exposure {
    int64_t x = 0, y = 0;
    double startMs = 0, ms = 0;
};

// Motor model. Each motor has a rotor at one of eight half-step angles.
//   X (unipolar):  a=0  a+b=1  b=2  b+c=3  c=4  c+d=5  d=6  d+a=7; + runs d -> a (angle falls)
//   Y (bipolar):   A+=0 A+B+=1 B+=2 A-B+=3 A-=4 A-B-=5 B-=6 A+B-=7; + runs with the angle rising
// A new word pulls the rotor to its angle by the shortest way (1 to 3 half-steps either way);
// a jump of exactly 4 is a stall: no move, the rotor keeps its angle. Word 0 leaves it where it
// is. A word that drives both axes, or both inputs of one Y pair, is a wiring fault and moves
// nothing.
class SimEngraver final : public Port {
  public:
    using Clock = std::function<double()>;
    SimEngraver(const SimConfig& config, Clock clock);

    void out(uint16_t address, uint8_t value) override;
    uint8_t inp(uint16_t address) override;
    // Puts the registers at rest without allocating and without calling the observer; an
    // exposure under way ends there. No later write changes anything.
    bool restFromSignal() noexcept override;
    std::string describe() const override { return "simulated engraver"; }
    std::string faultText() const override { return writeFaults_.text(); }
    uint64_t failedWrites() const noexcept override { return writeFaults_.count(); }

    // The start state it was made with (its stops, noise and seed still hold).
    const SimConfig& config() const { return config_; }

    // True positions in half-steps from the home switches.
    int64_t x() const { return x_; }
    int64_t y() const { return y_; }
    int rotorX() const { return rotorX_; }
    int rotorY() const { return rotorY_; }
    bool laserOn() const { return (control_ & 1) != 0; }
    bool xHome() const { return x_ <= 0; }
    bool yHome() const { return y_ <= 0; }
    uint8_t data() const { return data_; }
    uint8_t control() const { return control_; }
    // The status byte without noise: 126, +128 while X is home, -32 while Y is home; with an
    // interlock switch wired, its input at the level the door gives it.
    uint8_t status() const;

    // A door or emergency-stop switch wired to the setting's input (none: no switch), closed
    // until setDoorOpen(). NOTE: not part of config(): a copy of the machine made for a
    // preview has no switch, so its status bytes are the ones its home tests know.
    void wireInterlock(const InterlockSetting& setting) { interlock_ = setting; }
    const InterlockSetting& interlock() const { return interlock_; }
    void setDoorOpen(bool open) { doorOpen_ = open; }
    bool doorOpen() const { return doorOpen_; }

    // Half-steps the rotors turned while a mechanical stop held the head.
    uint64_t lostSteps() const { return lostSteps_; }
    // Words that pulled a rotor from the opposite angle (a jump of 4) and so moved nothing.
    uint64_t stalls() const { return stalls_; }
    // Words that drove both motors, or both inputs of one Y bridge pair.
    uint64_t faults() const { return faults_; }
    // Writes that reached the registers.
    uint64_t writes() const { return writes_; }

    // Laser exposure: closed stretches, plus the open one while the laser is on.
    std::vector<Exposure> exposures() const;
    double laserOnMs() const;
    // Called after every change of the head or the laser (the Machine window follows it).
    void setObserver(std::function<void()> observer) { observer_ = std::move(observer); }

    // Angle that a data word pulls each rotor to; -1 when it drives no coil of that motor or
    // is not a table word.
    static int xAngleOf(uint8_t word);
    static int yAngleOf(uint8_t word);

  private:
    void moveAxis(int target, int& rotor, int64_t& pos, int sign, int64_t minHalf, int64_t maxHalf);
    void closeExposure();
    // out() once the latch has let the write through.
    void write(uint16_t address, uint8_t value);
    // Counts one more write and says whether the configuration fails it.
    bool failsOnCommand() noexcept;

    SimConfig config_;
    Clock clock_;
    std::mt19937 noise_;
    uint8_t data_, control_;
    int rotorX_, rotorY_;
    int64_t x_, y_;
    uint64_t lostSteps_ = 0, stalls_ = 0, faults_ = 0, writes_ = 0;
    std::vector<Exposure> exposures_;
    bool exposureOpen_ = false;
    Exposure open_;
    // The exposure a rest from a signal ended: kept apart, as the handler may not allocate.
    bool signalEnded_ = false;
    Exposure signalEndedExposure_;
    std::function<void()> observer_;
    InterlockSetting interlock_;
    bool doorOpen_ = false;
    int64_t attempts_ = 0;  // writes tried, for the failures on command
    WriteFaults writeFaults_;
    RestLatch latch_;
};

}  // namespace ostrel::machine
