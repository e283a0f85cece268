// The picture engraving run: X sweep, dot pulse, row advance and X return.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "form/Context.h"
#include "form/Events.h"
#include "jobs/JobJournal.h"
#include "jobs/JobPause.h"

namespace ostrel::jobs {

class PictureRun final : public PausableRun {
  public:
    explicit PictureRun(form::Context& ctx);
    ~PictureRun() override;
    void registerEvents(form::EventTable& events);
    // What Run does for "Picture engraving".
    void start();

    // Goes on from a journal's point, the head standing there: the owed laser time first,
    // then the sweep. Journals on in `journalPath` ("" for none).
    void resumeAt(const JournalPoint& point, const JournalHeader& header,
                  const std::string& journalPath);
    // Before Abort (or the rest of a signal) stops the timers: the journal records how much
    // laser time the current dot still needs, is synced and closed; the file stays.
    void noteAbort();

    // The journal is kept in the program folder while a run runs (on unless turned off, and
    // only with a program folder).
    void setJournalling(bool on) { journalling_ = on; }
    // The half-second syncs on a thread of their own (for runs on the real clock).
    void setJournalSyncInBackground(bool on) { journal_.setBackgroundSync(on); }
    const JobJournal& journal() const { return journal_; }
    // What the journal's header says of the job as the window is set up now; nullopt with the
    // reason when picture.bmp cannot be read.
    std::optional<JournalHeader> describeJob(std::string& error) const;
    std::string journalPath() const;

    // PausableRun
    FrozenRun freeze() override;
    void thaw(const FrozenRun& frozen) override;
    void paused() override;

    void Timer4Tick();  // X sweep
    void Timer5Tick();  // dot pulse
    void Timer6Tick();  // row advance
    void Timer7Tick();  // X return

    // X drift, in full steps: what xStepCount read each time the X return found the home
    // switch, just before it was set to 0. A machine that loses no step reads 0 there. Both
    // are 0 until the first return of the run; start() clears them.
    int lastXDrift() const { return lastXDrift_; }
    int maxXDrift() const { return maxXDrift_; }  // the largest by absolute value

  private:
    // Looks at the pixel under the head and, if it is to be burned, hands over to Timer5.
    void dealWithDot(int pictureHeight, uint64_t generation);
    void startPulse(int periodMs, uint64_t generation);
    void handOver(runtime::Timer& from, runtime::Timer& to, uint64_t generation);
    void letEventsRun();
    void Laser(uint8_t word);
    // Records the run's state, owing `owedMs` of laser time to the dot just dealt with.
    void record(int owedMs);
    // The run ended by itself: the journal goes.
    void ended();

    form::Context& ctx_;
    RunClock clock_;
    JobJournal journal_;
    bool journalling_ = true;
    runtime::HookId syncHook_ = 0;
    uint32_t dots_ = 0;
    // The way from home to the head, as the journal keeps it (see JournalPoint).
    int16_t startYPhase_ = 0, rowStartXPhase_ = 0;
    int32_t advanceTicks_ = 0, sweepTicks_ = 0;
    int pulseMs_ = 0;  // the period of the current dot's pulse
    FrozenRun frozen_;
    int32_t lastXDrift_ = 0;
    int32_t maxXDrift_ = 0;
};

// The job progress texts (`pixelColumn`, `pixelRow`) are decimal text, converted at each use.
// A number from such a text, read in the C locale; a text that is not a number reads as 0.
double progressValue(std::string_view text);
// A number as such a text: up to 15 significant digits, '.' as the decimal point.
std::string progressText(double value);

}  // namespace ostrel::jobs
