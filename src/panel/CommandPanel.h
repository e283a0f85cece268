// The command panel: Load, Run, Abort, Exit, Manual, StartJob, "Frame cutting" and the Help menu.
#pragma once

#include "form/Context.h"
#include "form/Events.h"
#include "jobs/FrameRun.h"
#include "jobs/PictureRun.h"
#include "jobs/Preparation.h"
#include "motion/WiringTest.h"

namespace ostrel::panel {

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

  private:
    // The steps of Command2's click; LoadCommand returns false when the click ends there.
    bool LoadCommand();
    void RunCommand();
    void SwitchManualMode(bool on);
    void AbortCommand();
    void ExitCommand();
    void StopAllTimers();  // every timer (form::kAllTimers), in that order

    form::Context& ctx_;
    jobs::Preparation& preparation_;
    jobs::PictureRun& pictureRun_;
    jobs::FrameRun& frameRun_;
    motion::WiringTest& wiringTest_;
};

}  // namespace ostrel::panel
