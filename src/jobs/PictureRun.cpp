// The picture engraving run (filled in by its own change).
#include "jobs/PictureRun.h"

namespace ostrel::jobs {

PictureRun::PictureRun(form::Context& ctx) : ctx_(ctx) {
    ctx_.form.Timer4.setHandler([this] { Timer4Tick(); });
    ctx_.form.Timer5.setHandler([this] { Timer5Tick(); });
    ctx_.form.Timer6.setHandler([this] { Timer6Tick(); });
    ctx_.form.Timer7.setHandler([this] { Timer7Tick(); });
}
void PictureRun::registerEvents(form::EventTable&) {}
void PictureRun::Start() {}
void PictureRun::Timer4Tick() {}
void PictureRun::Timer5Tick() {}
void PictureRun::Timer6Tick() {}
void PictureRun::Timer7Tick() {}

}  // namespace ostrel::jobs
