// The command panel: Load, Run, Abort, Exit, Manual, StartJob, "Frame cutting" and the Help menu.
#pragma once

#include <cstdint>
#include <string>

#include "form/Context.h"
#include "form/Events.h"
#include "jobs/FrameRun.h"
#include "jobs/PictureRun.h"
#include "jobs/Preparation.h"
#include "motion/WiringTest.h"

namespace ostrel::engraver {

class CommandPanel {
  public:
    CommandPanel(form::Context& ctx, jobs::Preparation& preparation, jobs::PictureRun& pictureRun,
                 jobs::FrameRun& frameRun, motion::WiringTest& wiringTest);
    void registerEvents(form::EventTable& events);

    void Command2Click(int index);
    void StartJob();
    void Option2Click();
    void shemaClick();
    void explanClick();
    void aboutClick();

    // Run presses that started nothing because something was moving the motors, and why the
    // last one did (for the operator).
    uint64_t refusedRuns() const { return refusedRuns_; }
    const std::string& runRefusal() const { return runRefusal_; }

  private:
    // The steps of Command2's click; LoadCommand returns false when the click ends there.
    bool loadCommand();
    void runCommand();
    void switchManualMode(bool on);
    void abortCommand();
    void exitCommand();
    void stopAllTimers();  // every timer (form::kAllTimers), in that order

    form::Context& ctx_;
    jobs::Preparation& preparation_;
    jobs::PictureRun& pictureRun_;
    jobs::FrameRun& frameRun_;
    motion::WiringTest& wiringTest_;
    uint64_t refusedRuns_ = 0;
    std::string runRefusal_;
};

}  // namespace ostrel::engraver
