// The picture engraving run: X sweep, dot pulse, row advance and X return.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

    // X drift, in full steps: what xStepCount read each time the X return found the home
    // switch, just before it was set to 0. A machine that loses no step reads 0 there. Both
    // are 0 until the first return of the run; Start() clears them.
    int lastXDrift() const { return lastXDrift_; }
    int maxXDrift() const { return maxXDrift_; }  // the largest by absolute value

  private:
    // Looks at the pixel under the head and, if it is to be burned, hands over to Timer5.
    void DealWithDot(int pictureHeight, uint64_t generation);
    void StartPulse(int periodMs, uint64_t generation);
    void HandOver(runtime::Timer& from, runtime::Timer& to, uint64_t generation);
    void LetEventsRun();

    form::Context& ctx_;
    int32_t lastXDrift_ = 0;
    int32_t maxXDrift_ = 0;
};

// The job progress texts (`pixelColumn`, `pixelRow`) are decimal text, converted at each use.
// A number from such a text, read in the C locale; a text that is not a number reads as 0.
double progressValue(std::string_view text);
// A number as such a text: up to 15 significant digits, '.' as the decimal point.
std::string progressText(double value);

}  // namespace ostrel::jobs
