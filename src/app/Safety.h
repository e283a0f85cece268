// Leaving the machine at rest on every way out: stop signals, crashes and uncaught exceptions.
//
//   way out                          | what puts the port at rest          | how the program ends
//   ---------------------------------+-------------------------------------+---------------------
//   SIGINT, SIGTERM, SIGHUP, SIGQUIT | the event loop, through the core    | exit status 128+sig
//                                    | (Engraver::RestNow), once the       |
//                                    | self-pipe has woken it              |
//   any stop signal after the first  | the signal handler, through         | _exit(128+sig)
//   (the loop may be stuck)          | Port::restFromSignal                |
//   SIGSEGV, SIGBUS, SIGABRT, SIGFPE | the signal handler, through         | the same signal,
//                                    | Port::restFromSignal                | default action
//   uncaught exception, terminate()  | the terminate handler, through      | abort()
//                                    | Port::restFromSignal                |
#pragma once

#include <csignal>
#include <functional>
#include <iterator>
#include <memory>

#include "machine/Port.h"

class QSocketNotifier;

namespace ostrel::app::safety {

inline constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
inline constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGABRT, SIGFPE};

// The exit status after a stop signal: what a shell reports for a program the signal ended.
constexpr int exitStatusFor(int signal) {
    return 128 + signal;
}
// "SIGINT", "SIGTERM", ...; "a signal" for one that is not ours. Async-signal-safe.
const char* signalName(int signal) noexcept;

// The port the handlers put at rest: the outermost one the core writes through (the tracing
// decorator when there is one), so that the rest writes are recorded too. Null: nothing to rest.
// The handlers rest it once; after that it reads null.
// NOTE: set it before the handlers can run, and clear it before the port is destroyed.
void setCrashPort(machine::Port* port) noexcept;
machine::Port* crashPort() noexcept;

// Clears the crash port when it goes out of scope: declare it after the port it names.
class CrashPortScope {
  public:
    explicit CrashPortScope(machine::Port* port) noexcept { setCrashPort(port); }
    ~CrashPortScope() { setCrashPort(nullptr); }
    CrashPortScope(const CrashPortScope&) = delete;
    CrashPortScope& operator=(const CrashPortScope&) = delete;
};

// Installs the handlers of the crash signals (on an alternate stack, reset to the default action
// as they run, so that a fault inside one ends the program) and the terminate handler. Each puts
// the crash port at rest and then lets the program die as it would have without it.
void installCrashHandlers();

// The stop signals, delivered through a self-pipe: the handler writes the signal number as one
// byte, and whoever watches the pipe (the GUI's event loop) or polls take() (the scenario
// runner, between dispatches) rests the machine and ends the program. A second stop signal does
// not wait for the loop: its handler rests the crash port and ends the program at once.
// One instance at a time.
class StopSignals {
  public:
    StopSignals();   // opens the pipe and installs the handlers
    ~StopSignals();  // restores the previous actions and closes the pipe
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool ok() const { return readFd_ >= 0; }
    // The descriptor that becomes readable when a stop signal arrives.
    int readFd() const { return readFd_; }
    // The first stop signal not yet taken, or 0; never blocks. Cheap enough to call after every
    // dispatch of the virtual loop.
    int take();

  private:
    int readFd_ = -1;
    int writeFd_ = -1;
    struct sigaction previous_[std::size(kStopSignals)] = {};
};

// Calls `onSignal(signal)` from the Qt event loop whenever a stop signal arrives.
std::unique_ptr<QSocketNotifier> watchStopSignals(StopSignals& stops,
                                                  std::function<void(int signal)> onSignal);

}  // namespace ostrel::app::safety
