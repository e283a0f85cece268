// A whole core on the virtual loop and the simulated engraver, for the tests of every subsystem.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engraver/Engraver.h"
#include "form/HeadlessHost.h"
#include "machine/Registers.h"
#include "machine/SimEngraver.h"
#include "machine/TracingPort.h"
#include "runtime/VirtualEventLoop.h"

namespace ostrel::test {

// The tests' platform is the headless one: set its answers, read its record.
using FakeHost = form::HeadlessHost;

struct Harness {
    explicit Harness(const machine::SimConfig& config = {});
    ~Harness();

    // Creates the window in its design state and runs its load procedure.
    void start();
    // Advances virtual time by ms, dispatching everything due.
    void wait(int64_t ms) { loop.advance(ms); }
    // Advances until Timer1 ... Timer9 are all off, or maxMs have passed; true if idle.
    bool untilIdle(int64_t maxMs = 24LL * 3600 * 1000);

    form::Form1& form() { return engraver->form(); }
    // The port writes since the start (or the last clearTrace()), as (address, value).
    std::vector<std::pair<int, int>> writes() const;
    void clearTrace() { trace->clear(); }
    // Last byte written to a register (the latch of the simulated engraver).
    int data() const { return sim->data(); }
    int control() const { return sim->control(); }

    runtime::VirtualEventLoop loop;
    std::unique_ptr<machine::SimEngraver> sim;
    std::unique_ptr<machine::TracingPort> trace;
    FakeHost host;
    std::unique_ptr<engraver::Engraver> engraver;
    std::string tempDir;
};

}  // namespace ostrel::test
