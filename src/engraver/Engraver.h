// The whole headless core: Form1, the subsystems' handlers and the routing of window events.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engraver/CommandPanel.h"
#include "engraver/Interlock.h"
#include "form/Context.h"
#include "form/Events.h"
#include "jobs/FrameRun.h"
#include "jobs/JobPause.h"
#include "jobs/JobResume.h"
#include "jobs/PictureRun.h"
#include "jobs/Preparation.h"
#include "laser/Laser.h"
#include "machine/Interlock.h"
#include "motion/Motion.h"
#include "motion/WiringTest.h"
#include "picture/PictureSettings.h"

namespace ostrel::engraver {

// The port as a monitor shows it.
struct PortReading {
    uint8_t data = 0, control = 0;  // the bytes last written, read back
    std::optional<uint8_t> status;  // read from the port; none while a motor runs
};

enum class EventResult {
    Handled,
    Disabled,      // the control is disabled (or hidden): the window ignores the event
    Unknown,       // no control of that name
    NotAvailable,  // a control whose behaviour is not built yet
    BadValue,      // `set` with a value the control cannot take
};

class Engraver {
  public:
    Engraver(runtime::EventLoop& loop, machine::Port& port, form::Host& host);
    ~Engraver();
    Engraver(const Engraver&) = delete;
    Engraver& operator=(const Engraver&) = delete;

    // The window's load procedure: prepares the port, lets events run once, disables the jog
    // buttons and switches the watchdog off when the port is found at rest.
    void load();

    // Operator events by control name, as the window reports them.
    EventResult click(std::string_view name);
    EventResult mouseDown(std::string_view name, int button = 1);
    EventResult mouseUp(std::string_view name);
    // Changes a control as the operator would and fires the event the platform fires: the
    // text of a list, a scroll bar's value, a check box's value, an option's selection.
    EventResult set(std::string_view name, const std::string& value);

    // A press ended without its mouse-up (the pointer left the button while held, the window
    // lost the focus): the held jog stops exactly as its mouse-up would stop it.
    void pressLost();

    // Stops every timer and a running wiring test and puts the port at rest (data 0, then
    // control 202). The close box, the signal handlers and a failed start use it. Returns
    // whether the rest writes reached the machine (after a port fault: whether the rest writes
    // made then did).
    bool restNow();
    // The report of a port write that failed, naming the port and the error and saying whether
    // the machine could be put at rest; empty while every write has reached the machine. Once
    // a write has failed the core has stopped every timer, tried the rest writes, ended (no
    // handler writes the port again) and shown the report through the host.
    const std::string& portFault() const { return portFault_; }
    // Called with portFault() as soon as it is known, before the host shows it.
    void setFaultObserver(std::function<void(const std::string&)> observer) {
        faultObserver_ = std::move(observer);
    }
    // True while a job, jog or homing moves a motor (form::kMotionTimers).
    bool motionRunning();
    // Reads the port for a monitor: the status only while no job, jog or homing uses the port,
    // so that the reads never come between the steps' writes.
    PortReading readPort();

    // The material profile, tone adjustments and burn mask of picture jobs; the defaults are
    // the designed job. The run takes the profile's dwells at once, the preparation takes the
    // tone and the mask from the next load (or prepareAgain). Refused (false) while a motor
    // runs, a job is paused or one is being resumed, so a job never changes its dwells half
    // way.
    bool setPictureSettings(const picture::PictureSettings& settings);
    const picture::PictureSettings& pictureSettings() const { return pictureSettings_; }
    // Prepares the loaded picture again from Picture1 with the settings in force, as Load
    // does after decoding; nothing when no picture is loaded or a motor runs.
    bool prepareAgain();

    form::Form1& form() { return form_; }
    form::Context& context() { return ctx_; }
    runtime::EventLoop& loop() { return ctx_.loop; }
    machine::Port& port() { return ctx_.port; }
    motion::Motion& motion() { return motion_; }
    motion::WiringTest& wiringTest() { return wiringTest_; }
    laser::Laser& laser() { return laser_; }
    jobs::Preparation& preparation() { return preparation_; }
    jobs::PictureRun& pictureRun() { return pictureRun_; }
    jobs::FrameRun& frameRun() { return frameRun_; }
    // Pause and Continue of the running job; resuming an interrupted picture job.
    jobs::JobPause& jobPause() { return jobPause_; }
    jobs::JobResume& jobResume() { return jobResume_; }
    CommandPanel& panel() { return panel_; }
    // The door / emergency-stop interlock (none unless set).
    Interlock& interlock() { return interlock_; }
    const form::EventTable& events() const { return events_; }

  private:
    // Lets the platform's modal dialogs end a held press first: a dialog takes the mouse, so the
    // jog's mouse-up would never come.
    class ModalGuardHost final : public form::Host {
      public:
        ModalGuardHost(form::Host& inner, Engraver& engraver)
            : inner_(inner), engraver_(engraver) {}
        std::string openFileDialog(const form::FileDialogRequest& request) override {
            engraver_.pressLost();
            return inner_.openFileDialog(request);
        }
        void messageBox(const std::string& text, const std::string& title) override {
            engraver_.pressLost();
            inner_.messageBox(text, title);
        }
        void showError(const std::string& text) override {
            engraver_.pressLost();
            inner_.showError(text);
        }
        bool openWithViewer(const std::string& path) override {
            return inner_.openWithViewer(path);
        }
        void showExplanation() override { inner_.showExplanation(); }
        void showAbout() override { inner_.showAbout(); }
        void endProgram() override { inner_.endProgram(); }
        std::string programFolder() override { return inner_.programFolder(); }

      private:
        form::Host& inner_;
        Engraver& engraver_;
    };

    form::Control* usable(std::string_view name, EventResult& why);
    // The port's fault handler: runs once, right after the first write that failed.
    void onPortFault();
    // A held jog button that an event disabled can no longer see its mouse-up: end the jog.
    void releaseDisabledHold();

    ModalGuardHost guardHost_;
    // Between the core and the port: passes everything on unless an interlock is set.
    machine::InterlockPort interlockPort_;
    form::Form1 form_;
    form::Context ctx_;
    form::EventTable events_;
    motion::Motion motion_;
    laser::Laser laser_;
    jobs::Preparation preparation_;
    jobs::PictureRun pictureRun_;
    jobs::FrameRun frameRun_;
    motion::WiringTest wiringTest_;
    CommandPanel panel_;
    std::string portFault_;
    bool faultRested_ = false;  // the rest writes after the port fault reached the machine
    std::function<void(const std::string&)> faultObserver_;
    jobs::JobPause jobPause_;
    jobs::JobResume jobResume_;
    picture::PictureSettings pictureSettings_;
    Interlock interlock_;
};

}  // namespace ostrel::engraver
