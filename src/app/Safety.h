// Leaving the machine at rest on every way out: signals, crashes and uncaught exceptions.
//
//   way out                            | what puts the port at rest        | how the program ends
//   -----------------------------------+-----------------------------------+---------------------
//   a signal of kStopSignals or a      | the event loop, through the core  | exit status 128+sig
//   real-time one (SIGINT, SIGTERM,    | (Engraver::restNow), once the     |
//   SIGHUP, SIGQUIT, SIGUSR1, SIGALRM, | self-pipe has woken it            |
//   ...)                               |                                   |
//   any stop signal after the first    | the signal handler, through       | _exit(128+sig)
//   (the loop may be stuck)            | Port::restFromSignal              |
//   SIGSEGV, SIGBUS, SIGABRT, SIGFPE,  | the signal handler, through       | the same signal,
//   SIGILL, SIGTRAP, SIGSYS            | Port::restFromSignal              | default action
//   uncaught exception, terminate()    | the terminate handler, through    | abort()
//                                      | Port::restFromSignal              |
//   SIGPIPE, SIGXFSZ                   | nothing needed: they end nothing; | the write that
//                                      | the write fails with EPIPE/EFBIG  | failed is reported
//
// Threads: the stop signals are handled by the thread that made StopSignals (the main thread,
// which writes the port). Every other thread blocks them: the threads Qt starts while the
// application object is made and the program's own threads are started under
// runtime::EndingSignalsBlocked and inherit the block, and a thread that still receives one (a
// library's, started later) hands it on to the main thread and blocks it from then on. Once a
// handler has rested the port, the port is latched: no later write from any thread reaches the
// machine.
//
// Alternate stacks: the main thread has one (installCrashHandlers); the Machine window's worker
// thread makes its own (runtime::ThreadSignalStack). Qt's own threads (the display connection,
// the thread pool) get none: they run Qt's code on 8 MiB stacks without deep recursion, and a
// crash there that did overflow would end the program without the rest, which is why a
// hardware interlock remains necessary.
#pragma once

#include <csignal>
#include <functional>
#include <iterator>
#include <memory>

#include "machine/Port.h"
#include "runtime/ThreadSignals.h"

class QSocketNotifier;

namespace ostrel::app::safety {

inline constexpr const auto& kStopSignals = runtime::kEndingSignals;
inline constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL, SIGTRAP, SIGSYS};
// Signals that would end the program for a failed write: caught and ignored, so that the write
// fails and is reported instead.
inline constexpr int kWriteSignals[] = {SIGPIPE, SIGXFSZ};

// The exit status after a port write failed (the machine's state was unknown until the rest
// writes; the message says whether they reached it).
inline constexpr int kPortFaultStatus = 3;

// The exit status after a stop signal: what a shell reports for a program the signal ended.
constexpr int exitStatusFor(int signal) {
    return 128 + signal;
}
// "SIGINT", "SIGTERM", ..., "SIGRTMIN+3"; "a signal" for one that is not ours.
// Async-signal-safe: the text is static, or in a buffer of this thread's own for real-time ones.
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
// as they run, so that a fault inside one ends the program), the terminate handler, and the
// handler that makes SIGPIPE and SIGXFSZ harmless. Each crash handler puts the crash port at
// rest and then lets the program die as it would have without it.
void installCrashHandlers();

// The stop signals, delivered through a self-pipe: the handler writes the signal number as one
// byte, and whoever watches the pipe (the GUI's event loop) or polls take() (the scenario
// runner, between dispatches) rests the machine and ends the program. A second stop signal does
// not wait for the loop: its handler rests the crash port and ends the program at once.
// One instance at a time, made on the thread that writes the port.
class StopSignals {
  public:
    StopSignals();   // opens the pipe, installs the handlers, unblocks them in this thread
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
    struct sigaction previous_[_NSIG] = {};
    sigset_t previousMask_;
};

// Calls `onSignal(signal)` from the Qt event loop whenever a stop signal arrives.
std::unique_ptr<QSocketNotifier> watchStopSignals(StopSignals& stops,
                                                  std::function<void(int signal)> onSignal);

}  // namespace ostrel::app::safety
