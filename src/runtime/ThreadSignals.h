// Which thread handles the signals that end the program, and the signal stacks of other threads.
#pragma once

#include <signal.h>

#include <cstddef>
#include <memory>

namespace ostrel::runtime {

// The asynchronous signals whose default action ends the program, besides the real-time ones
// (SIGRTMIN ... SIGRTMAX). The main thread handles them, as it is the one that writes the port;
// every other thread blocks them, so that no handler runs beside a port write and a signal
// cannot end a thread's work half done.
inline constexpr int kEndingSignals[] = {
    SIGINT,    SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2,   SIGALRM,
    SIGVTALRM, SIGPROF, SIGIO,  SIGPWR,  SIGXCPU, SIGSTKFLT,
};

// kEndingSignals and the real-time signals.
inline sigset_t endingSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kEndingSignals) sigaddset(&set, signal);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) sigaddset(&set, signal);
    return set;
}

// Blocks the ending signals in the calling thread while it lives: a thread started meanwhile
// inherits the block and keeps it. Declare one just before starting a thread.
class EndingSignalsBlocked {
  public:
    EndingSignalsBlocked() {
        const sigset_t set = endingSignalSet();
        pthread_sigmask(SIG_BLOCK, &set, &previous_);
    }
    ~EndingSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    EndingSignalsBlocked(const EndingSignalsBlocked&) = delete;
    EndingSignalsBlocked& operator=(const EndingSignalsBlocked&) = delete;

  private:
    sigset_t previous_;
};

// An alternate signal stack for the calling thread while it lives, so that a crash handler can
// still run when the thread has overflowed its own stack. Declare one first thing in a thread.
class ThreadSignalStack {
  public:
    ThreadSignalStack() : memory_(std::make_unique<char[]>(kSize)) {
        stack_t stack{};
        stack.ss_sp = memory_.get();
        stack.ss_size = kSize;
        sigaltstack(&stack, nullptr);
    }
    ~ThreadSignalStack() {
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
    }
    ThreadSignalStack(const ThreadSignalStack&) = delete;
    ThreadSignalStack& operator=(const ThreadSignalStack&) = delete;

  private:
    static constexpr size_t kSize = 64 * 1024;
    std::unique_ptr<char[]> memory_;
};

}  // namespace ostrel::runtime
