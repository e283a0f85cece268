// Signal and terminate handlers that put the port at rest before the program goes.
#include "app/Safety.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

namespace ostrel::app::safety {

namespace {

// NOTE: everything the handlers touch is a lock-free atomic or a constant: a handler may run in
// the middle of any statement of the program, an allocation included.
std::atomic<machine::Port*> g_crashPort{nullptr};
std::atomic<int> g_stopWriteFd{-1};
std::atomic<int> g_stopsSeen{0};
std::atomic<pid_t> g_handlingThread{0};  // the thread that made StopSignals
static_assert(std::atomic<machine::Port*>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<pid_t>::is_always_lock_free);

// The crash handlers run here, so that a fault from a blown stack still has room to rest.
alignas(16) char g_alternateStack[64 * 1024];

struct SignalName {
    int signal;
    const char* name;
};
constexpr SignalName kSignalNames[] = {
    {SIGINT, "SIGINT"},       {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"},   {SIGQUIT, "SIGQUIT"},
    {SIGUSR1, "SIGUSR1"},     {SIGUSR2, "SIGUSR2"}, {SIGALRM, "SIGALRM"}, {SIGVTALRM, "SIGVTALRM"},
    {SIGPROF, "SIGPROF"},     {SIGIO, "SIGIO"},     {SIGPWR, "SIGPWR"},   {SIGXCPU, "SIGXCPU"},
    {SIGSTKFLT, "SIGSTKFLT"}, {SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"},   {SIGABRT, "SIGABRT"},
    {SIGFPE, "SIGFPE"},       {SIGILL, "SIGILL"},   {SIGTRAP, "SIGTRAP"}, {SIGSYS, "SIGSYS"},
    {SIGPIPE, "SIGPIPE"},     {SIGXFSZ, "SIGXFSZ"},
};
constexpr const char* kRealTimeNames[] = {
    "SIGRTMIN",    "SIGRTMIN+1",  "SIGRTMIN+2",  "SIGRTMIN+3",  "SIGRTMIN+4",  "SIGRTMIN+5",
    "SIGRTMIN+6",  "SIGRTMIN+7",  "SIGRTMIN+8",  "SIGRTMIN+9",  "SIGRTMIN+10", "SIGRTMIN+11",
    "SIGRTMIN+12", "SIGRTMIN+13", "SIGRTMIN+14", "SIGRTMIN+15", "SIGRTMIN+16", "SIGRTMIN+17",
    "SIGRTMIN+18", "SIGRTMIN+19", "SIGRTMIN+20", "SIGRTMIN+21", "SIGRTMIN+22", "SIGRTMIN+23",
    "SIGRTMIN+24", "SIGRTMIN+25", "SIGRTMIN+26", "SIGRTMIN+27", "SIGRTMIN+28", "SIGRTMIN+29",
    "SIGRTMIN+30", "SIGRTMIN+31", "SIGRTMIN+32"};

void writeError(const char* text) noexcept {
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, text, std::strlen(text));
}

enum class Rest { NoPort, Rested, Failed };

// Puts the crash port at rest, once: a crash inside a crash (the terminate handler's abort())
// finds it null.
Rest restOnce() noexcept {
    machine::Port* port = g_crashPort.exchange(nullptr);
    if (!port) return Rest::NoPort;
    return port->restFromSignal() ? Rest::Rested : Rest::Failed;
}

// What the handlers add after the signal's name.
const char* restText(Rest rest) noexcept {
    switch (rest) {
        case Rest::Rested:
            return ": the machine was put at rest";
        case Rest::Failed:
            return ": putting the machine at rest failed: switch it off at its power supply";
        case Rest::NoPort:
            break;
    }
    return "";
}

pid_t thisThread() noexcept {
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

void onCrashSignal(int signal) {
    const int savedErrno = errno;
    const Rest rest = restOnce();
    writeError("ostrel: ");
    writeError(signalName(signal));
    writeError(restText(rest));
    writeError("\n");
    errno = savedErrno;
    // SA_RESETHAND has put the default action back: the signal raised again ends the program as
    // it would have ended without us (a fault that repeats when the handler returns does too).
    ::raise(signal);
}

void onWriteSignal(int) {
    // Nothing: the write that raised it returns EPIPE or EFBIG, and its caller reports it.
}

void onStopSignal(int signal, siginfo_t*, void* context) {
    const int savedErrno = errno;
    const pid_t handling = g_handlingThread.load();
    if (handling != 0 && thisThread() != handling) {
        // A thread that did not block the stop signals (a library's): it blocks them from now on
        // (the mask its context restores on return) and hands this one to the handling thread.
        const sigset_t ending = runtime::endingSignalSet();
        sigset_t& mask = static_cast<ucontext_t*>(context)->uc_sigmask;
        for (int s = 1; s < _NSIG; ++s) {
            if (sigismember(&ending, s) == 1) sigaddset(&mask, s);
        }
        ::syscall(SYS_tgkill, ::getpid(), handling, signal);
        errno = savedErrno;
        return;
    }
    if (g_stopsSeen.fetch_add(1) > 0) {
        // The first stop has not ended the program: the loop may be stuck in a handler.
        const Rest rest = restOnce();
        writeError("ostrel: ");
        writeError(signalName(signal));
        writeError(" again");
        writeError(restText(rest));
        writeError(", ending now\n");
        ::_exit(exitStatusFor(signal));
    }
    const unsigned char byte = static_cast<unsigned char>(signal);
    const int fd = g_stopWriteFd.load();
    if (fd >= 0) {
        [[maybe_unused]] ssize_t n = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

[[noreturn]] void onTerminate() {
    // Rest first: whatever the diagnosis below costs, the laser is off by then.
    const Rest rest = restOnce();
    const char* what = "std::terminate was called";
    std::string text;
    if (std::exception_ptr thrown = std::current_exception()) {
        try {
            std::rethrow_exception(thrown);
        } catch (const std::exception& e) {
            text = std::string("uncaught exception: ") + e.what();
        } catch (...) {
            text = "uncaught exception of an unknown type";
        }
        what = text.c_str();
    }
    std::fprintf(stderr, "ostrel: %s%s\n", what, restText(rest));
    std::fflush(stderr);
    std::abort();
}

}  // namespace

const char* signalName(int signal) noexcept {
    for (const SignalName& s : kSignalNames) {
        if (s.signal == signal) return s.name;
    }
    const int offset = signal - SIGRTMIN;
    if (signal <= SIGRTMAX && offset >= 0 && offset < static_cast<int>(std::size(kRealTimeNames))) {
        return kRealTimeNames[offset];
    }
    return "a signal";
}

void setCrashPort(machine::Port* port) noexcept {
    g_crashPort.store(port);
}

machine::Port* crashPort() noexcept {
    return g_crashPort.load();
}

void installCrashHandlers() {
    stack_t stack{};
    stack.ss_sp = g_alternateStack;
    stack.ss_size = sizeof g_alternateStack;
    ::sigaltstack(&stack, nullptr);

    struct sigaction action {};
    action.sa_handler = onCrashSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_ONSTACK;
    for (int signal : kCrashSignals) ::sigaction(signal, &action, nullptr);
    std::set_terminate(onTerminate);

    // NOTE: a handler that does nothing rather than SIG_IGN, which programs started from here
    // (the picture viewer) would inherit.
    struct sigaction ignore {};
    ignore.sa_handler = onWriteSignal;
    sigemptyset(&ignore.sa_mask);
    ignore.sa_flags = SA_RESTART;
    for (int signal : kWriteSignals) ::sigaction(signal, &ignore, nullptr);
}

StopSignals::StopSignals() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    readFd_ = fds[0];
    writeFd_ = fds[1];
    g_stopsSeen.store(0);
    g_stopWriteFd.store(writeFd_);
    g_handlingThread.store(thisThread());
    struct sigaction action {};
    action.sa_sigaction = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_SIGINFO;
    const sigset_t ending = runtime::endingSignalSet();
    for (int signal = 1; signal < _NSIG; ++signal) {
        if (sigismember(&ending, signal) == 1) {
            ::sigaction(signal, &action, &previous_[signal]);
        }
    }
    ::pthread_sigmask(SIG_UNBLOCK, &ending, &previousMask_);
}

StopSignals::~StopSignals() {
    if (readFd_ < 0) return;
    ::pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    const sigset_t ending = runtime::endingSignalSet();
    for (int signal = 1; signal < _NSIG; ++signal) {
        if (sigismember(&ending, signal) == 1) ::sigaction(signal, &previous_[signal], nullptr);
    }
    g_handlingThread.store(0);
    g_stopWriteFd.store(-1);
    g_stopsSeen.store(0);
    ::close(readFd_);
    ::close(writeFd_);
}

int StopSignals::take() {
    if (readFd_ < 0 || g_stopsSeen.load(std::memory_order_relaxed) == 0) return 0;
    unsigned char byte = 0;
    return ::read(readFd_, &byte, 1) == 1 ? byte : 0;
}

std::unique_ptr<QSocketNotifier> watchStopSignals(StopSignals& stops,
                                                  std::function<void(int signal)> onSignal) {
    auto notifier = std::make_unique<QSocketNotifier>(stops.readFd(), QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated,
                     [&stops, onSignal = std::move(onSignal)] {
                         if (const int signal = stops.take()) onSignal(signal);
                     });
    return notifier;
}

}  // namespace ostrel::app::safety
