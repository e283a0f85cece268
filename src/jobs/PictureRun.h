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

  private:
    // Looks at the pixel under the head and, if it is to be burned, hands over to Timer5.
    void DealWithDot(int pictureHeight, uint64_t generation);
    void StartPulse(int periodMs, uint64_t generation);
    void HandOver(runtime::Timer& from, runtime::Timer& to, uint64_t generation);
    void LetEventsRun();

    form::Context& ctx_;
};

// The job progress texts (`pixelColumn`, `pixelRow`) are decimal text, converted at each use.
// A number from such a text, read in the C locale; a text that is not a number reads as 0.
double progressValue(std::string_view text);
// A number as such a text: up to 15 significant digits, '.' as the decimal point.
std::string progressText(double value);

}  // namespace ostrel::jobs
