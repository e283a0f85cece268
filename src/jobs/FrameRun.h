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
    form::Context& ctx_;
};

}  // namespace ostrel::jobs
