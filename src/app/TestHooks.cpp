// Test-only hooks of the GUI: the energised machine and the crashes the safety tests provoke.
#include "app/TestHooks.h"

#ifdef OSTREL_TEST_HOOKS

#include <sys/mman.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <cfenv>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <thread>

#include "engraver/Engraver.h"
#include "machine/Registers.h"
#include "runtime/ThreadSignals.h"

namespace ostrel::app::testhooks {

namespace {

// The time between energising and crashing, so that the trace shows the energised words first.
constexpr int kCrashDelayMs = 200;

void crashSegv() {
    void* page = ::mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED) std::abort();
    *static_cast<volatile char*>(page) = 1;
}

void crashBus() {
    // A mapping of an empty file: the page exists, the file behind it does not.
    const int fd = ::memfd_create("ostrel-test-hook", 0);
    if (fd < 0) std::abort();
    void* page = ::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
    if (page == MAP_FAILED) std::abort();
    [[maybe_unused]] const char byte = *static_cast<volatile char*>(page);
}

void crashFpe() {
    ::feenableexcept(FE_DIVBYZERO);
    volatile double zero = 0;
    [[maybe_unused]] volatile double infinite = 1.0 / zero;
}

// A worker thread, started as the program starts its own, that crashes while the window's
// thread keeps writing the energised words.
void crashThread() {
    const runtime::EndingSignalsBlocked blocked;
    std::thread([] {
        const runtime::ThreadSignalStack signalStack;
        crashSegv();
    }).detach();
}

// A thread that does not block the signals that end the program, as a library's might.
void holdThread() {
    std::thread([] {
        ::pthread_setname_np(::pthread_self(), "ostrel-hold");
        for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    }).detach();
}

struct Hook {
    std::string_view name;
    void (*crash)();           // null: energise only
    bool keepWriting = false;  // the energised words again every millisecond
};

constexpr Hook kHooks[] = {
    {"energise", nullptr},
    {"crash-thread", crashThread, true},
    {"hold-thread", holdThread},
    {"crash-segv", crashSegv},
    {"crash-bus", crashBus},
    {"crash-abort", [] { std::abort(); }},
    {"crash-fpe", crashFpe},
    {"throw", [] { throw std::runtime_error("thrown by the test hook"); }},
    {"terminate", [] { std::terminate(); }},
};

const Hook* find(std::string_view name) {
    for (const Hook& h : kHooks) {
        if (h.name == name) return &h;
    }
    return nullptr;
}

}  // namespace

std::string names() {
    std::string all;
    for (const Hook& h : kHooks) all += (all.empty() ? "" : ", ") + std::string(h.name);
    return all;
}

bool known(std::string_view name) {
    return find(name) != nullptr;
}

void schedule(std::string_view name, engraver::Engraver& engraver) {
    const Hook* hook = find(name);
    if (!hook) return;
    const auto energise = [&engraver] {
        engraver.form().Timer10.setEnabled(false);
        engraver.context().out(machine::DATA_REG, 3);
        engraver.context().out(machine::CONTROL_REG, machine::LASER_ON);
    };
    QTimer::singleShot(0, energise);
    if (hook->keepWriting) {
        auto* again = new QTimer(QCoreApplication::instance());
        QObject::connect(again, &QTimer::timeout, energise);
        again->start(1);
    }
    if (hook->crash) QTimer::singleShot(kCrashDelayMs, hook->crash);
}

}  // namespace ostrel::app::testhooks

#endif  // OSTREL_TEST_HOOKS
