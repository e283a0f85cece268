// The frame cutting run: the X legs and the Y legs around the frame.
#pragma once

#include "form/Context.h"
#include "form/Events.h"
#include "jobs/JobPause.h"

namespace ostrel::jobs {

class FrameRun final : public PausableRun {
  public:
    explicit FrameRun(form::Context& ctx);
    void registerEvents(form::EventTable& events);
    // What Run does for "Frame cutting".
    void start();

    void Timer8Tick();  // X legs
    void Timer9Tick();  // Y legs
    void HScroll2Change();
    void VScroll2Change();

    // PausableRun
    FrozenRun freeze() override;
    void thaw(const FrozenRun& frozen) override;

  private:
    // Coils off, then the laser off in Auto mode (or when this run lit it): the end of every leg.
    void coilsOff();
    // The laser on in Auto mode, before every step; off once Auto was switched off.
    void laserForStep();
    // The preview's tooltip "W,H" and the caption "Frame WxH" of Option2.
    void showFrameSize();

    void Laser(uint8_t word);

    form::Context& ctx_;
    RunClock clock_;
    // The run switched the laser on and has not switched it off since. NOTE: Auto may be
    // switched off during a run (Command6 stays enabled with "Frame cutting"); the laser this
    // run lit must still go off.
    bool laserLit_ = false;
};

}  // namespace ostrel::jobs
