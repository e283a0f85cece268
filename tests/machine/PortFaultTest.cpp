// Write faults and the rest from a signal, in the simulator and the tracing decorator.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "machine/Registers.h"
#include "machine/SimEngraver.h"
#include "machine/TracingPort.h"

namespace {

// Allocations counted while a test asks for it: a signal handler may make none.
std::atomic<bool> g_counting{false};
std::atomic<int> g_allocations{0};

}  // namespace

void* operator new(std::size_t size) {
    if (g_counting.load()) ++g_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace m = ostrel::machine;

namespace {

std::string slurp(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll().toStdString();
}

using Writes = std::vector<std::pair<int, int>>;

// Writes `writes` in order and returns the registers after each, with the fault count.
struct Outcome {
    std::vector<std::pair<int, int>> registers;  // data, control after each write
    uint64_t failed = 0;
    int faultCalls = 0;
    std::string text;
};

Outcome writeAll(const m::SimConfig& config, const Writes& writes) {
    m::SimEngraver sim(config, [] { return 0.0; });
    Outcome o;
    sim.setFaultHandler([&] { ++o.faultCalls; });
    for (const auto& [address, value] : writes) {
        sim.out(static_cast<uint16_t>(address), static_cast<uint8_t>(value));
        o.registers.emplace_back(sim.data(), sim.control());
    }
    o.failed = sim.failedWrites();
    o.text = sim.faultText();
    return o;
}

TEST(SimEngraverFailures, FailOnCommandThenOnlyTheRestWritesGoOn) {
    const Writes energiseThenRest = {{888, 3}, {890, 203}, {888, 6}, {888, 0}, {890, 202}};
    struct Case {
        const char* what;
        int64_t failAfter, failWrite;
        std::vector<std::pair<int, int>> registers;
        uint64_t failed;
        int faultCalls;
        const char* text;
    };
    const Case cases[] = {
        {"no failure", -1, 0, {{3, 202}, {3, 203}, {6, 203}, {0, 203}, {0, 202}}, 0, 0, ""},
        // The laser's write fails: it stays off; the coil word after it is refused; the rest
        // writes reach the registers.
        {"fail-write 2",
         -1,
         2,
         {{3, 202}, {3, 202}, {3, 202}, {0, 202}, {0, 202}},
         2,
         1,
         "writing 203 to 890: failed on command (the simulator's fail settings)"},
        // Every write after the second fails, the rest writes too: the laser stays on.
        {"fail-after 2",
         2,
         0,
         {{3, 202}, {3, 203}, {3, 203}, {3, 203}, {3, 203}},
         3,
         1,
         "writing 6 to 888: failed on command (the simulator's fail settings)"},
        {"fail-after 0",
         0,
         0,
         {{0, 202}, {0, 202}, {0, 202}, {0, 202}, {0, 202}},
         5,
         1,
         "writing 3 to 888: failed on command (the simulator's fail settings)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m::SimConfig config;
        config.failAfterWrites = c.failAfter;
        config.failWrite = c.failWrite;
        const Outcome o = writeAll(config, energiseThenRest);
        EXPECT_EQ(o.registers, c.registers);
        EXPECT_EQ(o.failed, c.failed);
        EXPECT_EQ(o.faultCalls, c.faultCalls);
        EXPECT_EQ(o.text, c.text);
    }
}

TEST(SimEngraverFailures, RestFromSignalEndsTheExposureWithoutAllocatingAndLatches) {
    double now = 10;
    m::SimEngraver sim(m::SimConfig{}, [&] { return now; });
    sim.out(m::DATA_REG, 3);
    sim.out(m::CONTROL_REG, m::LASER_ON);
    now = 250;
    g_allocations = 0;
    g_counting = true;
    const bool rested = sim.restFromSignal();
    g_counting = false;
    EXPECT_TRUE(rested);
    EXPECT_EQ(g_allocations.load(), 0);
    EXPECT_EQ(sim.data(), 0);
    EXPECT_EQ(sim.control(), 202);
    EXPECT_FALSE(sim.laserOn());
    now = 900;
    sim.out(m::CONTROL_REG, m::LASER_ON);
    sim.out(m::DATA_REG, 6);
    EXPECT_EQ(sim.control(), 202) << "latched: no write reaches it after the rest";
    EXPECT_EQ(sim.data(), 0);
    const std::vector<m::Exposure> exposures = sim.exposures();
    ASSERT_EQ(exposures.size(), 1u);
    EXPECT_DOUBLE_EQ(exposures[0].startMs, 10);
    EXPECT_DOUBLE_EQ(exposures[0].ms, 240) << "the exposure ends at the rest";
}

TEST(SimEngraverFailures, RestFromSignalSaysWhenItsWritesFail) {
    m::SimConfig config;
    config.failAfterWrites = 1;
    m::SimEngraver sim(config, {});
    sim.out(m::CONTROL_REG, m::LASER_ON);
    EXPECT_FALSE(sim.restFromSignal());
    EXPECT_TRUE(sim.laserOn());
}

struct Traced {
    explicit Traced(const m::SimConfig& config)
        : sim(config, [this] { return t; }), trace(sim, [this] { return t; }) {}
    double t = 0;
    m::SimEngraver sim;
    m::TracingPort trace;
};

TEST(TracingPortFailures, AFailedWriteIsAFailRowAndTheHandlerRunsAfterIt) {
    QTemporaryDir dir;
    const QString path = dir.filePath("trace.csv");
    m::SimConfig config;
    config.failWrite = 2;
    Traced p(config);
    std::string error;
    ASSERT_TRUE(p.trace.openCsv(path.toStdString(), false, error));
    p.trace.setRecording(true);
    // The handler rests the machine, as the core does: its rows follow the failed one.
    int calls = 0;
    p.trace.setFaultHandler([&] {
        ++calls;
        p.trace.out(m::DATA_REG, 0);
        p.trace.out(m::CONTROL_REG, 202);
    });
    p.t = 5;
    p.trace.out(m::DATA_REG, 3);
    p.t = 6;
    p.trace.out(m::CONTROL_REG, 203);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(p.trace.failedWrites(), 1u);
    EXPECT_EQ(p.trace.faultText(), p.sim.faultText());
    EXPECT_EQ(slurp(path),
              "t_ms,op,port,value\n5,out,888,3\n6,fail,890,203\n6,out,888,0\n6,out,890,202\n");
    ASSERT_EQ(p.trace.records().size(), 4u);
    EXPECT_TRUE(p.trace.records()[1].failed);
    EXPECT_FALSE(p.trace.records()[2].failed);
}

TEST(TracingPortFailures, RestFromSignalRowsAreTheLastAndSayWhetherItWorked) {
    for (bool fails : {false, true}) {
        SCOPED_TRACE(fails ? "the port has stopped answering" : "the port answers");
        QTemporaryDir dir;
        const QString path = dir.filePath("trace.csv");
        m::SimConfig config;
        if (fails) config.failAfterWrites = 1;
        Traced p(config);
        std::string error;
        ASSERT_TRUE(p.trace.openCsv(path.toStdString(), false, error));
        p.t = 50;
        p.trace.out(m::CONTROL_REG, 203);
        EXPECT_EQ(p.trace.restFromSignal(), !fails);
        p.trace.out(m::CONTROL_REG, 203);  // a write after the rest: neither made nor traced
        const std::string op = fails ? "fail" : "out";
        EXPECT_EQ(slurp(path), "t_ms,op,port,value\n50,out,890,203\n-1," + op + ",888,0\n-1," + op +
                                   ",890,202\n");
    }
}

}  // namespace
