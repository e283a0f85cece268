// The picture engraving run: X sweep, dot pulse, row advance and X return.
#pragma once

#include "form/Context.h"
#include "form/Events.h"

namespace ostrel::jobs {

class PictureRun {
public:
    explicit PictureRun(form::Context& ctx);
    void registerEvents(form::EventTable& events);
    // What Run does for "Picture engraving".
    void Start();

    void Timer4Tick();  // X sweep
    void Timer5Tick();  // dot pulse
    void Timer6Tick();  // row advance
    void Timer7Tick();  // X return

private:
    form::Context& ctx_;
};

}  // namespace ostrel::jobs
