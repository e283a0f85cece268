// The frame cutting run: the X legs and the Y legs around the frame.
#pragma once

#include "form/Context.h"
#include "form/Events.h"

namespace ostrel::jobs {

class FrameRun {
  public:
    explicit FrameRun(form::Context& ctx);
    void registerEvents(form::EventTable& events);
    // What Run does for "Frame cutting".
    void Start();

    void Timer8Tick();  // X legs
    void Timer9Tick();  // Y legs
    void HScroll2Change();
    void VScroll2Change();

  private:
    // Coils off, then the laser off in Auto mode: the end of every leg.
    void CoilsOff();
    // The laser on in Auto mode, before every step.
    void LaserForStep();
    // The preview's tooltip "W,H" and the caption "Frame WxH" of Option2.
    void ShowFrameSize();

    form::Context& ctx_;
};

}  // namespace ostrel::jobs
