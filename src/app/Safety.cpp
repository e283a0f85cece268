// Signal and terminate handlers that put the port at rest before the program goes.
#include "app/Safety.h"

#include <fcntl.h>
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
static_assert(std::atomic<machine::Port*>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

// The crash handlers run here, so that a fault from a blown stack still has room to rest.
alignas(16) char g_alternateStack[64 * 1024];

struct SignalName {
    int signal;
    const char* name;
};
constexpr SignalName kSignalNames[] = {
    {SIGINT, "SIGINT"},   {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"},   {SIGQUIT, "SIGQUIT"},
    {SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"},   {SIGABRT, "SIGABRT"}, {SIGFPE, "SIGFPE"},
};

void writeError(const char* text) noexcept {
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, text, std::strlen(text));
}

// Puts the crash port at rest, once: a crash inside a crash (the terminate handler's abort())
// finds it null.
bool restOnce() noexcept {
    machine::Port* port = g_crashPort.exchange(nullptr);
    if (!port) return false;
    port->restFromSignal();
    return true;
}

void onCrashSignal(int signal) {
    const int savedErrno = errno;
    const bool rested = restOnce();
    writeError("ostrel: ");
    writeError(signalName(signal));
    writeError(rested ? ": the machine was put at rest\n" : "\n");
    errno = savedErrno;
    // SA_RESETHAND has put the default action back: the signal raised again ends the program as
    // it would have ended without us (a fault that repeats when the handler returns does too).
    ::raise(signal);
}

void onStopSignal(int signal) {
    const int savedErrno = errno;
    if (g_stopsSeen.fetch_add(1) > 0) {
        // The first stop has not ended the program: the loop may be stuck in a handler.
        restOnce();
        writeError("ostrel: ");
        writeError(signalName(signal));
        writeError(" again: the machine was put at rest, ending now\n");
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
    const bool rested = restOnce();
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
    std::fprintf(stderr, "ostrel: %s%s\n", what, rested ? ": the machine was put at rest" : "");
    std::fflush(stderr);
    std::abort();
}

}  // namespace

const char* signalName(int signal) noexcept {
    for (const SignalName& s : kSignalNames) {
        if (s.signal == signal) return s.name;
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
}

StopSignals::StopSignals() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    readFd_ = fds[0];
    writeFd_ = fds[1];
    g_stopsSeen.store(0);
    g_stopWriteFd.store(writeFd_);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kStopSignals); ++i) {
        ::sigaction(kStopSignals[i], &action, &previous_[i]);
    }
}

StopSignals::~StopSignals() {
    if (readFd_ < 0) return;
    for (size_t i = 0; i < std::size(kStopSignals); ++i) {
        ::sigaction(kStopSignals[i], &previous_[i], nullptr);
    }
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
