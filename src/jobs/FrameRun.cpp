// The frame cutting run: once around the outline of Picture3's drawing area, from home and back.
//
//   Leg  Flag          Timer   Ends when                      Next
//   X+   xMovingPlus   Timer8  pixelColumn > W - 1            corner, then Y+
//                              xStepCount reaches 1080        stopped
//   Y+   yMovingPlus   Timer9  pixelRow > H                   corner, then X-
//                              yStepCount reaches 270         stopped
//   X-   xMovingMinus  Timer8  X home switch closed           corner (xStepCount 0), then Y-
//   Y-   yMovingMinus  Timer9  Y home switch closed           finished (yStepCount 0)
//
// A corner is: coils off, laser off in Auto mode, a 500 ms pause, the next leg's flags and
// timer. Every tick makes at most one half-step of one motor. The progress texts grow once
// per 8-pattern cycle, so the X+ leg makes n cycles, n the least with 0.47 n > W - 1, and the
// Y+ leg m cycles, m the least with 1.9 m > H.
//
// These ticks never let events run; they block in their pauses instead. A click (Abort
// included) is handled after the tick, and an Abort after a corner finds the next leg's timer
// enabled and disables it.
#include "jobs/FrameRun.h"

#include <string>

#include "jobs/PictureRun.h"
#include "machine/Registers.h"

namespace ostrel::jobs {

using machine::CONTROL_REG;
using machine::DATA_REG;

namespace {

constexpr double kXPixelsPerCycle = 0.47;  // picture pixels per 8 X half-steps
constexpr double kYPixelsPerCycle = 1.9;   // picture pixels per 8 Y half-steps
constexpr int32_t kXLimitSteps = 1080;     // the X+ leg steps only below this
constexpr int32_t kYLimitSteps = 270;      // the Y+ leg steps only below this
constexpr int kCornerPauseMs = 500;
constexpr int kYStepPauseMs = 20;
constexpr int16_t kHalfStepCycle = 8;

bool fullStep(int16_t phase) {
    return phase % 2 == 0;
}

}  // namespace

FrameRun::FrameRun(form::Context& ctx) : ctx_(ctx), clock_(ctx.loop) {
    ctx_.form.Timer8.setHandler([this] { Timer8Tick(); });
    ctx_.form.Timer9.setHandler([this] { Timer9Tick(); });
}

void FrameRun::registerEvents(form::EventTable& events) {
    events.onChange("HScroll2", [this] { HScroll2Change(); });
    events.onChange("VScroll2", [this] { VScroll2Change(); });
}

void FrameRun::start() {
    form::Form1& f = ctx_.form;
    f.pixelColumn = "0";
    f.pixelRow = "0";
    f.xMovingPlus = true;
    f.xMovingMinus = false;
    laserLit_ = false;  // Abort put out what an earlier run lit
    clock_.reset();
    f.Timer8.setEnabled(true);
    clock_.started(f.Timer8);
}

FrozenRun FrameRun::freeze() {
    return clock_.freeze({&ctx_.form.Timer8, &ctx_.form.Timer9}, ctx_.data);
}

void FrameRun::thaw(const FrozenRun& frozen) {
    clock_.thaw(frozen);
}

void FrameRun::Laser(uint8_t word) {
    ctx_.out(CONTROL_REG, word);
    clock_.laser(word == machine::LASER_ON);
}

void FrameRun::coilsOff() {
    ctx_.out(DATA_REG, machine::COILS_OFF);
    if (ctx_.form.autoLaser || laserLit_) Laser(machine::LASER_OFF);
    laserLit_ = false;
}

void FrameRun::laserForStep() {
    if (ctx_.form.autoLaser) {
        Laser(machine::LASER_ON);
        laserLit_ = true;
    } else if (laserLit_) {
        Laser(machine::LASER_OFF);
        laserLit_ = false;
    }
}

// --- X legs ---

void FrameRun::Timer8Tick() {
    form::Form1& f = ctx_.form;
    const int lastColumn = f.Picture3.ScaleWidth() - 1;
    clock_.begins(f.Timer8);
    f.Timer8.setIntervalText(f.Combo1.caption);
    f.Timer9.setEnabled(false);
    // NOTE: the phase advances on every tick, the one that ends a leg included; the next X
    // tick goes on from the advanced phase.
    f.xPhase = machine::nextPhase<kHalfStepCycle>(f.xPhase);

    if (f.xMovingMinus) {
        if (machine::xHomeTest(ctx_.port)) {  // corner at the X home switch
            f.xMovingMinus = false;
            f.Timer8.setEnabled(false);
            f.pixelColumn = "0";
            coilsOff();
            f.xStepCount = 0;
            f.Label1[0].caption = form::Form1::counterText(f.xStepCount);
            ctx_.loop.sleepMs(kCornerPauseMs);
            f.yMovingMinus = true;
            f.yMovingPlus = false;
            f.Timer9.setEnabled(true);
            clock_.started(f.Timer9);
        } else {
            laserForStep();
            ctx_.out(DATA_REG, machine::xHalfMinus[static_cast<size_t>(f.xPhase - 1)]);
            if (fullStep(f.xPhase)) --f.xStepCount;
            if (f.xPhase == kHalfStepCycle) {
                f.xPhase = 0;
                f.Label1[0].caption = form::Form1::counterText(f.xStepCount);
            }
        }
    }

    if (f.xMovingPlus) {
        const double column = progressValue(f.pixelColumn);
        if (column > lastColumn) {  // corner at the far end of the X+ leg
            f.xMovingPlus = false;
            f.Timer8.setEnabled(false);
            coilsOff();
            ctx_.loop.sleepMs(kCornerPauseMs);
            f.yMovingPlus = true;
            f.yMovingMinus = false;
            f.Timer9.setEnabled(true);
            clock_.started(f.Timer9);
        } else if (f.xStepCount < kXLimitSteps) {
            laserForStep();
            ctx_.out(DATA_REG, machine::xHalfPlus[static_cast<size_t>(f.xPhase - 1)]);
            if (fullStep(f.xPhase)) ++f.xStepCount;
            if (f.xPhase == kHalfStepCycle) {
                f.xPhase = 0;
                f.Label1[0].caption = form::Form1::counterText(f.xStepCount);
                f.pixelColumn = progressText(column + kXPixelsPerCycle);
            }
        } else {  // X travel limit: the run ends without a Y leg
            f.xMovingPlus = false;
            f.Timer8.setEnabled(false);
            coilsOff();
        }
    }
}

// --- Y legs ---

void FrameRun::Timer9Tick() {
    form::Form1& f = ctx_.form;
    const int pictureHeight = f.Picture3.ScaleHeight();
    clock_.begins(f.Timer9);
    f.Timer9.setIntervalText(f.Combo1.caption);
    f.Timer8.setEnabled(false);

    if (f.yMovingPlus) {
        const double row = progressValue(f.pixelRow);
        if (row > pictureHeight) {  // corner at the far end of the Y+ leg
            f.Timer9.setEnabled(false);
            f.yMovingPlus = false;
            coilsOff();
            ctx_.loop.sleepMs(kCornerPauseMs);
            f.xMovingMinus = true;
            f.xMovingPlus = false;
            f.Timer8.setEnabled(true);
            clock_.started(f.Timer8);
        } else if (f.yStepCount < kYLimitSteps) {
            f.yPhase = machine::nextPhase<kHalfStepCycle>(f.yPhase);
            const int16_t phase = f.yPhase;
            laserForStep();
            ctx_.loop.sleepMs(kYStepPauseMs);
            ctx_.out(DATA_REG, machine::yHalfPlus[static_cast<size_t>(phase - 1)]);
            if (phase == kHalfStepCycle) f.yPhase = 0;
            if (fullStep(phase)) {
                ++f.yStepCount;
                f.Label1[1].caption = form::Form1::counterText(f.yStepCount);
            }
            if (phase == kHalfStepCycle) f.pixelRow = progressText(row + kYPixelsPerCycle);
        } else {  // Y travel limit: the run ends here
            f.Timer9.setEnabled(false);
            f.yMovingPlus = false;
            coilsOff();
        }
    }

    if (f.yMovingMinus) {
        if (machine::yHomeTest(ctx_.port)) {  // the home corner: the run is over
            f.yMovingMinus = false;
            f.Timer9.setEnabled(false);
            coilsOff();
            f.pixelRow = "0";
            f.yStepCount = 0;
            f.Label1[1].caption = form::Form1::counterText(f.yStepCount);
        } else {
            f.yPhase = machine::nextPhase<kHalfStepCycle>(f.yPhase);
            const int16_t phase = f.yPhase;
            laserForStep();
            ctx_.loop.sleepMs(kYStepPauseMs);
            ctx_.out(DATA_REG, machine::yHalfMinus[static_cast<size_t>(phase - 1)]);
            if (fullStep(phase)) {
                --f.yStepCount;
                f.Label1[1].caption = form::Form1::counterText(f.yStepCount);
            }
            if (phase == kHalfStepCycle) f.yPhase = 0;
        }
    }
}

// --- Frame size ---

void FrameRun::HScroll2Change() {
    form::Form1& f = ctx_.form;
    f.Picture3.setOuterSize(f.HScroll2.value, f.Picture3.height);
    showFrameSize();
}

void FrameRun::VScroll2Change() {
    form::Form1& f = ctx_.form;
    f.Picture3.setOuterSize(f.Picture3.width, f.VScroll2.value);
    showFrameSize();
}

void FrameRun::showFrameSize() {
    form::Form1& f = ctx_.form;
    f.Picture3.touch();  // repaint
    const std::string w = std::to_string(f.Picture3.ScaleWidth());
    const std::string h = std::to_string(f.Picture3.ScaleHeight());
    f.Picture3.toolTip = w + "," + h;
    f.Option2.caption = "Frame " + w + "x" + h;
}

}  // namespace ostrel::jobs
