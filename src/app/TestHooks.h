// Test-only hooks of the GUI (--test-hook NAME): energise the machine, then end it a chosen way.
// Compiled into ostrel-testhooks only, which opens no port but the simulated one.
#pragma once

#ifdef OSTREL_TEST_HOOKS

#include <string>
#include <string_view>

namespace ostrel::engraver {
class Engraver;
}

namespace ostrel::app::testhooks {

// Every hook name, separated by ", " (for --help and for the message of an unknown one).
std::string names();
bool known(std::string_view name);

// Runs a hook from the event loop once the window has loaded: every hook energises the machine
// (the watchdog off, coil word 3 to 888, 203 to 890); a crash hook then crashes a moment later:
//   crash-segv   a write to a page that may not be written
//   crash-thread the same on a worker thread, while the window's thread keeps writing the
//                energised words every millisecond
//   hold-thread  no crash: a thread that does not block the stop signals keeps running
//   crash-bus    a read from a mapped file past its end
//   crash-abort  abort()
//   crash-fpe    a floating-point division by zero with that exception unmasked
//   throw        an exception out of an event handler
//   terminate    std::terminate()
void schedule(std::string_view name, engraver::Engraver& engraver);

}  // namespace ostrel::app::testhooks

#endif  // OSTREL_TEST_HOOKS
