// The core's start-up and the routing of window events to the handlers by control name.
#include "engraver/Engraver.h"

#include <charconv>

#include "machine/Registers.h"

namespace ostrel::engraver {

using machine::CONTROL_REG;
using machine::DATA_REG;

Engraver::Engraver(runtime::EventLoop& loop, machine::Port& port, form::Host& host)
    : guardHost_(host, *this),
      interlockPort_(port),
      form_(loop),
      ctx_{form_, loop, interlockPort_, guardHost_},
      motion_(ctx_),
      laser_(ctx_),
      preparation_(ctx_),
      pictureRun_(ctx_),
      frameRun_(ctx_),
      wiringTest_(ctx_, [this] { return motionRunning(); }),
      panel_(ctx_, preparation_, pictureRun_, frameRun_, wiringTest_),
      jobPause_(ctx_, {&pictureRun_, &frameRun_}),
      jobResume_(
          ctx_, pictureRun_, [this] { motion_.Command3Click(); },
          [this] { motion_.Command5Click(); }),
      interlock_(ctx_, interlockPort_, motion_, laser_, wiringTest_, jobPause_, jobResume_) {
    motion_.registerEvents(events_);
    laser_.registerEvents(events_);
    preparation_.registerEvents(events_);
    pictureRun_.registerEvents(events_);
    frameRun_.registerEvents(events_);
    panel_.registerEvents(events_);
    ctx_.port.setFaultHandler([this] { onPortFault(); });
}

Engraver::~Engraver() {
    ctx_.port.setFaultHandler({});
}

void Engraver::onPortFault() {
    if (!portFault_.empty()) return;
    const std::string what = ctx_.port.describe() + ": " + ctx_.port.faultText();
    portFault_ = what;
    // The machine is in an unknown state: nothing may start or write again, as after Exit.
    ++ctx_.abortGeneration;
    const bool rested = restNow();
    faultRested_ = rested;
    ctx_.ended = true;
    portFault_ = "port fault: " + what +
                 (rested ? ": every timer was stopped and the machine was put at rest (data 0, "
                           "control 202)"
                         : ": every timer was stopped, but the rest writes failed too: switch "
                           "the machine off at its power supply");
    if (faultObserver_) faultObserver_(portFault_);
    // NOTE: shown from the loop, not from inside the write that failed: a modal message would
    // run a nested event loop in the middle of a tick.
    ctx_.loop.post([this, text = portFault_] { ctx_.host.showError("P" + text.substr(1) + "."); });
}

bool Engraver::setPictureSettings(const picture::PictureSettings& settings) {
    // NOTE: a paused job, or one being resumed, goes on with the dwells it started with.
    if (motionRunning() || jobPause_.paused() || jobResume_.running()) return false;
    pictureSettings_ = settings;
    // NOTE: the designed profile leaves the table empty, so the run reads the designed
    // table itself and a designed job does not depend on the profile code at all.
    if (settings.material == picture::asDesigned()) {
        form_.materialDwellMs.clear();
    } else {
        const picture::DwellTable table = picture::dwellTable(settings.material);
        form_.materialDwellMs.assign(table.begin(), table.end());
    }
    preparation_.setPictureChoices(settings.tone, settings.dither);
    return true;
}

bool Engraver::prepareAgain() {
    if (motionRunning() || jobPause_.paused() || jobResume_.running() ||
        form_.Picture1.raster.isNull())
        return false;
    preparation_.stretchIntoPicture2();
    preparation_.PreparePicture();
    return true;
}

void Engraver::load() {
    // On Linux there is no port library to write beside the program: the port backend was
    // opened (and, for a real port, claimed) before the window was created, which takes the
    // place of that step.
    ctx_.loop.doEvents();
    for (form::Control& jog : form_.Command1) jog.enabled = false;
    const int data = ctx_.inp(DATA_REG);
    const int control = ctx_.inp(CONTROL_REG);
    form_.Timer10.setEnabled(!(data == machine::kRestData && control == machine::kRestControl));
}

void Engraver::pressLost() {
    motion_.releaseHeldJog();
}

void Engraver::releaseDisabledHold() {
    const int held = motion_.heldJog();
    if (held >= 0 && held < 4 && !form_.Command1[held].enabled) motion_.releaseHeldJog();
}

bool Engraver::restNow() {
    const uint64_t failed = ctx_.port.failedWrites();
    pictureRun_.noteAbort();
    ++ctx_.abortGeneration;
    wiringTest_.stop();
    form::disableAll(form_, form::kAllTimers);
    ctx_.out(DATA_REG, machine::COILS_OFF);
    ctx_.out(CONTROL_REG, machine::LASER_OFF);
    if (!portFault_.empty() && ctx_.ended) return faultRested_;
    return ctx_.port.failedWrites() == failed;
}

bool Engraver::motionRunning() {
    return form::anyEnabled(form_, form::kMotionTimers);
}

PortReading Engraver::readPort() {
    PortReading reading;
    reading.data = static_cast<uint8_t>(ctx_.port.inp(DATA_REG));
    reading.control = static_cast<uint8_t>(ctx_.port.inp(CONTROL_REG));
    // NOTE: the status as the machine gives it, the interlock's input included.
    if (!motionRunning()) reading.status = interlockPort_.rawStatus();
    return reading;
}

form::Control* Engraver::usable(std::string_view name, EventResult& why) {
    form::Control* c = form_.control(name);
    if (!c) {
        why = EventResult::Unknown;
        return nullptr;
    }
    if (!c->enabled || (!c->visible && c->kind != form::Kind::Menu)) {
        why = EventResult::Disabled;
        return nullptr;
    }
    why = EventResult::Handled;
    return c;
}

EventResult Engraver::click(std::string_view name) {
    EventResult why;
    form::Control* c = usable(name, why);
    if (!c) return why;
    // A click on a check box toggles it and one on an option button selects it, before the
    // click handler runs, as the window does.
    if (c->kind == form::Kind::CheckBox) c->value = c->value ? 0 : 1;
    if (c->kind == form::Kind::OptionButton) {
        form_.Option1.value = (c == &form_.Option1);
        form_.Option2.value = (c == &form_.Option2);
    }
    const form::EventHandlers* h = events_.find(name);
    if (h && h->click) {
        h->click();
        releaseDisabledHold();
        return EventResult::Handled;
    }
    // Controls that have no click handler of their own.
    if (c->kind == form::Kind::CheckBox || c->kind == form::Kind::OptionButton ||
        c->kind == form::Kind::Label || c->kind == form::Kind::Frame) {
        return EventResult::Handled;
    }
    return (h && (h->mouseDown || h->mouseUp)) ? EventResult::Handled : EventResult::NotAvailable;
}

EventResult Engraver::mouseDown(std::string_view name, int button) {
    EventResult why;
    if (!usable(name, why)) return why;
    const form::EventHandlers* h = events_.find(name);
    if (!h || !h->mouseDown) return h ? EventResult::Handled : EventResult::NotAvailable;
    h->mouseDown(button);
    return EventResult::Handled;
}

EventResult Engraver::mouseUp(std::string_view name) {
    EventResult why;
    if (!usable(name, why)) {
        // NOTE: a release is honoured even on a button disabled while it was held, so that
        // the jog it started always ends.
        form::Control* c = form_.control(name);
        const int held = motion_.heldJog();
        if (!(c && held >= 0 && c == &form_.Command1[held])) return why;
        motion_.releaseHeldJog();
        return EventResult::Handled;
    }
    const form::EventHandlers* h = events_.find(name);
    if (!h || !h->mouseUp) return h ? EventResult::Handled : EventResult::NotAvailable;
    h->mouseUp();
    return EventResult::Handled;
}

static bool toInt(const std::string& s, int& out) {
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size();
}

EventResult Engraver::set(std::string_view name, const std::string& value) {
    EventResult why;
    form::Control* c = usable(name, why);
    if (!c) return why;
    const form::EventHandlers* h = events_.find(name);
    switch (c->kind) {
        case form::Kind::ComboBox:
            // The lists have no handler: the ticks read their text afresh.
            c->caption = value;
            return EventResult::Handled;
        case form::Kind::HScrollBar:
        case form::Kind::VScrollBar: {
            int v = 0;
            if (!toInt(value, v) || v < c->min || v > c->max) return EventResult::BadValue;
            if (v == c->value) return EventResult::Handled;  // no change, no event
            c->value = v;
            if (h && h->change) h->change();
            return (h && h->change) ? EventResult::Handled : EventResult::NotAvailable;
        }
        case form::Kind::CheckBox: {
            int v = 0;
            if (!toInt(value, v) || (v != 0 && v != 1)) return EventResult::BadValue;
            if (v == c->value) return EventResult::Handled;
            c->value = v;
            if (h && h->click) h->click();
            return EventResult::Handled;
        }
        case form::Kind::OptionButton: {
            int v = 0;
            if (value == "True")
                v = 1;
            else if (value == "False")
                v = 0;
            else if (!toInt(value, v) || (v != 0 && v != 1))
                return EventResult::BadValue;
            if (v == 0) {
                c->value = 0;  // deselecting fires nothing
                return EventResult::Handled;
            }
            return click(name);
        }
        default:
            return EventResult::BadValue;
    }
}

}  // namespace ostrel::engraver
