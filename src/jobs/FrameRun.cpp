// The frame cutting run (filled in by its own change).
#include "jobs/FrameRun.h"

namespace ostrel::jobs {

FrameRun::FrameRun(form::Context& ctx) : ctx_(ctx) {
    ctx_.form.Timer8.setHandler([this] { Timer8Tick(); });
    ctx_.form.Timer9.setHandler([this] { Timer9Tick(); });
}
void FrameRun::registerEvents(form::EventTable&) {}
void FrameRun::Start() {}
void FrameRun::Timer8Tick() {}
void FrameRun::Timer9Tick() {}
void FrameRun::HScroll2Change() {}
void FrameRun::VScroll2Change() {}

}  // namespace ostrel::jobs
