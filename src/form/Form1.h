// Form1: the live window: its state as a value (FormState) and its timers on the event loop,
// with the timer groups named once.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "form/FormState.h"
#include "runtime/EventLoop.h"

namespace ostrel::form {

struct Snapshot;

class Form1 : public FormState {
  public:
    explicit Form1(runtime::EventLoop& loop);
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    // --- Timers ---
    runtime::Timer Timer1, Timer2, Timer3, Timer4, Timer5, Timer6, Timer7, Timer8, Timer9, Timer10;
    // Interval 0: never enabled, no handler, never fire.
    runtime::Timer ManualLaserPow, JogLaserPow, JogMSpeed;

    runtime::Timer* timer(std::string_view name);
    const runtime::Timer* timer(std::string_view name) const;
    // Every timer with its name, in the order of kTimers.
    std::vector<std::pair<std::string, runtime::Timer*>> timers();

    // A value by the names the scenario scripts use: a window variable ("xStepCount"), or a
    // property as "Control.Property" ("Label1(0).Caption", "Timer4.Enabled",
    // "Picture2.Point(3,4)"). Booleans read True/False, colours and numbers decimal.
    std::optional<std::string> get(std::string_view name) const;
    // Every variable and property as one JSON object (pictures by size only).
    std::string dumpJson() const;

    // The window as a value: the state and every timer's Enabled and Interval.
    Snapshot snapshot() const;
    // Puts a snapshot's state and timer intervals in place. Every timer is left off: starting
    // one is the caller's decision (the snapshot keeps which ones ran).
    void restore(const Snapshot& snapshot);

    // Shows a step counter the way the counter labels do: plain decimal text.
    static std::string counterText(int32_t n) { return std::to_string(n); }
};

// --- The timer groups, named once ---

using TimerMember = runtime::Timer Form1::*;
struct NamedTimer {
    std::string_view name;
    TimerMember timer;
};

// Every timer of the window, in the dump's order.
inline constexpr std::array<NamedTimer, 13> kTimers{{
    {"Timer1", &Form1::Timer1},
    {"Timer2", &Form1::Timer2},
    {"Timer3", &Form1::Timer3},
    {"Timer4", &Form1::Timer4},
    {"Timer5", &Form1::Timer5},
    {"Timer6", &Form1::Timer6},
    {"Timer7", &Form1::Timer7},
    {"Timer8", &Form1::Timer8},
    {"Timer9", &Form1::Timer9},
    {"Timer10", &Form1::Timer10},
    {"ManualLaserPow", &Form1::ManualLaserPow},
    {"JogLaserPow", &Form1::JogLaserPow},
    {"JogMSpeed", &Form1::JogMSpeed},
}};
inline constexpr std::array<TimerMember, kTimers.size()> kAllTimers = [] {
    std::array<TimerMember, kTimers.size()> all{};
    for (size_t i = 0; i < kTimers.size(); ++i) all[i] = kTimers[i].timer;
    return all;
}();
// The picture run (X scan and dots, burn pulse, row advance, X return).
inline constexpr std::array<TimerMember, 4> kPictureRunTimers{&Form1::Timer4, &Form1::Timer5,
                                                              &Form1::Timer6, &Form1::Timer7};
// The frame run (X sides, Y sides).
inline constexpr std::array<TimerMember, 2> kFrameRunTimers{&Form1::Timer8, &Form1::Timer9};
// The two jobs: a job runs while any of them is on.
inline constexpr std::array<TimerMember, 6> kJobTimers{
    &Form1::Timer4, &Form1::Timer5, &Form1::Timer6, &Form1::Timer7, &Form1::Timer8, &Form1::Timer9};
// Every timer that drives a motor: homing and jogging (Timer1, Timer2) and the two jobs.
inline constexpr std::array<TimerMember, 8> kMotionTimers{
    &Form1::Timer1, &Form1::Timer2, &Form1::Timer4, &Form1::Timer5,
    &Form1::Timer6, &Form1::Timer7, &Form1::Timer8, &Form1::Timer9};
// Every activity an operator starts: the motion timers and the laser's pulse (Timer3), that is
// everything but the start-up watchdog (Timer10).
inline constexpr std::array<TimerMember, 9> kActivityTimers{
    &Form1::Timer1, &Form1::Timer2, &Form1::Timer3, &Form1::Timer4, &Form1::Timer5,
    &Form1::Timer6, &Form1::Timer7, &Form1::Timer8, &Form1::Timer9};

// Whether any timer of a group is enabled.
bool anyEnabled(const Form1& f, std::span<const TimerMember> group);
// How many timers of a group are enabled.
int countEnabled(const Form1& f, std::span<const TimerMember> group);
// Disables every timer of a group.
void disableAll(Form1& f, std::span<const TimerMember> group);

// A text as a JSON string literal, quotes included.
std::string jsonString(const std::string& s);

}  // namespace ostrel::form
