// The command panel: Load, Run, Abort, Exit, Manual, StartJob, "Frame cutting" and the Help menu.
//
// Command2's click runs five steps in order; a step acts only for its own button, except the
// manual-mode step, which acts for every button that gets that far:
//
//   step      | button        | what it does
//   ----------+---------------+--------------------------------------------------------------
//   Load      | 0 "Load"      | file dialog, Picture1, stretch over Picture2, PreparePicture;
//             |               | a cancelled, empty or unusable file ends the whole click here
//   Run       | 1 "Run"       | StartJob, unless a motor is already moving or the interlock
//             |               | is open
//   manual    | every button  | "Manual" with manual mode off switches it on, anything else off
//   Abort     | 5 "Abort"     | all ten timers off, data 0, events, control 202
//   Exit      | 4 "Exit"      | all ten timers off, data 0, events, control 202, end
#include "engraver/CommandPanel.h"

#include <filesystem>
#include <iostream>
#include <system_error>

#include "engraver/Resources.h"
#include "machine/Registers.h"

namespace ostrel::engraver {

using machine::CONTROL_REG;
using machine::DATA_REG;

namespace {

// The Load dialog's filters: the three the window has always offered, then our own that shows
// every kind of picture at once.
constexpr const char* kLoadFilter =
    "Pictures (*.jpg);;(*gif);;(*.bmp);;All pictures (*.jpg *.jpeg *.gif *.bmp *.png)";
constexpr const char* kSelectOptionText = "Select Option < Picture <> Frame >";
constexpr int kLoadButton = 0, kRunButton = 1, kExitButton = 4, kAbortButton = 5, kManualButton = 6;
constexpr int kButtons[] = {kLoadButton, kRunButton, kExitButton, kAbortButton, kManualButton};

}  // namespace

CommandPanel::CommandPanel(form::Context& ctx, jobs::Preparation& preparation,
                           jobs::PictureRun& pictureRun, jobs::FrameRun& frameRun,
                           motion::WiringTest& wiringTest)
    : ctx_(ctx),
      preparation_(preparation),
      pictureRun_(pictureRun),
      frameRun_(frameRun),
      wiringTest_(wiringTest) {}

void CommandPanel::registerEvents(form::EventTable& events) {
    for (int index : kButtons) {
        events.onClick("Command2(" + std::to_string(index) + ")",
                       [this, index] { Command2Click(index); });
    }
    events.onClick("Option2", [this] { Option2Click(); });
    events.onClick("shema", [this] { shemaClick(); });
    events.onClick("explan", [this] { explanClick(); });
    events.onClick("about", [this] { aboutClick(); });
}

void CommandPanel::Command2Click(int index) {
    if (index == kLoadButton && !loadCommand()) return;
    if (index == kRunButton) runCommand();
    switchManualMode(index == kManualButton && !ctx_.form.Command1[0].enabled);
    if (index == kAbortButton) abortCommand();
    if (index == kExitButton) exitCommand();
}

bool CommandPanel::loadCommand() {
    form::FileDialogRequest request;
    request.initialFolder = ctx_.host.programFolder();
    request.defaultExtension = "jpg";
    request.filter = kLoadFilter;
    const std::string path = ctx_.host.openFileDialog(request);
    if (path.empty()) return false;  // cancelled

    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec) && std::filesystem::file_size(path, ec) == 0 &&
        !ec) {
        return false;
    }
    // NOTE: a file that is not a usable picture ends the click with a message and changes
    // nothing: preparing the previous picture again would pass for a successful load.
    const jobs::LoadResult loaded = preparation_.loadPicture(path);
    if (!loaded.ok) {
        ctx_.host.showError(loaded.error);
        return false;
    }
    preparation_.stretchIntoPicture2();
    ctx_.loop.doEvents();
    preparation_.PreparePicture();
    ctx_.loop.doEvents();
    return true;
}

void CommandPanel::runCommand() {
    // NOTE: a second job started over a running job, jog, homing or wiring test would drive
    // the same motors from two timers at once; Run then starts nothing.
    auto refuse = [this](const char* why) {
        ++refusedRuns_;
        runRefusal_ = why;
    };
    if (wiringTest_.running()) return refuse("Run started nothing: a wiring test is running.");
    if (form::anyEnabled(ctx_.form, form::kMotionTimers)) {
        return refuse(
            "Run started nothing: a job, a jog or homing is moving the motors. Abort stops it.");
    }
    if (const std::string why = ctx_.interlockRefusal(); !why.empty()) {
        refuse("Run started nothing: the interlock is open.");
        ctx_.host.showError(why);
        return;
    }
    StartJob();
}

void CommandPanel::StartJob() {
    const form::Form1& f = ctx_.form;
    if (f.Option1.value == 0 && f.Option2.value == 0) {
        ctx_.host.messageBox(kSelectOptionText, "Info");
    }
    if (f.Option1.value != 0) pictureRun_.start();
    if (f.Option2.value != 0) frameRun_.start();
}

void CommandPanel::switchManualMode(bool on) {
    form::Form1& f = ctx_.form;
    for (form::Control& jog : f.Command1) jog.enabled = on;
    f.Command2_6.backColor = on ? form::kLightGreen : form::kLightGrey;
    f.Combo2.enabled = on;
    f.Command4.enabled = on;
    f.Command6.enabled = on;
    // "Frame cutting" keeps the laser power controls usable outside manual mode.
    if (!on && f.Option2.value != 0) {
        f.Combo2.enabled = true;
        f.Command4.enabled = true;
        f.Command6.enabled = true;
    }
}

void CommandPanel::stopAllTimers() {
    form::disableAll(ctx_.form, form::kAllTimers);
}

void CommandPanel::abortCommand() {
    pictureRun_.noteAbort();  // the journal keeps what the dot under way still needs
    ++ctx_.abortGeneration;
    wiringTest_.stop();
    stopAllTimers();
    ctx_.out(DATA_REG, machine::COILS_OFF);
    ctx_.loop.doEvents();
    ctx_.out(CONTROL_REG, machine::LASER_OFF);
}

void CommandPanel::exitCommand() {
    // NOTE: the timers stop before events are let run, so that no tick can power a coil or
    // the laser again between the rest writes and the end of the program.
    pictureRun_.noteAbort();
    ++ctx_.abortGeneration;
    wiringTest_.stop();
    stopAllTimers();
    ctx_.out(DATA_REG, machine::COILS_OFF);
    ctx_.loop.doEvents();
    ctx_.out(CONTROL_REG, machine::LASER_OFF);
    ctx_.ended = true;
    ctx_.host.endProgram();
}

void CommandPanel::Option2Click() {
    form::Form1& f = ctx_.form;
    f.Command4.enabled = true;
    f.Command6.enabled = true;
    f.Combo2.enabled = true;
}

void CommandPanel::shemaClick() {
    const std::string path = ctx_.host.programFolder() + "/graver.jpg";
    std::string error;
    const bool written = engraver::SaveResourceToFile(engraver::kSchematicResource, path, error);
    ctx_.loop.doEvents();
    if (!written) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) {
            ctx_.host.showError("The wiring schematic could not be written to " + path + " (" +
                                error + "), so it cannot be shown.");
            return;
        }
        // An older copy beside the program is the same schematic: show that one.
        std::cerr << "ostrel: the wiring schematic could not be rewritten (" << error
                  << "); showing the copy already at " << path << '\n';
    }
    if (!ctx_.host.openWithViewer(path)) {
        ctx_.host.showError("No picture viewer could open the wiring schematic " + path +
                            ". Open the file with a picture viewer of your choice.");
    }
}

void CommandPanel::explanClick() {
    ctx_.host.showExplanation();
}

void CommandPanel::aboutClick() {
    ctx_.host.showAbout();
}

}  // namespace ostrel::engraver
