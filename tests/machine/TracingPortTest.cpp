// The tracing decorator: records in memory, CSV rows written through, reads only when asked.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>

#include "machine/Registers.h"
#include "machine/SimEngraver.h"
#include "machine/TracingPort.h"

namespace m = ostrel::machine;

namespace {

std::string slurp(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll().toStdString();
}

struct Traced {
    Traced() : sim(m::SimConfig{}, [this] { return t; }), trace(sim, [this] { return t; }) {}
    double t = 0;
    m::SimEngraver sim;
    m::TracingPort trace;
};

}  // namespace

TEST(TracingPort, PassesThroughAndRecordsWritesInMemory) {
    Traced p;
    p.trace.setRecording(true);
    p.t = 5;
    p.trace.out(m::DATA_REG, 12);
    p.t = 7.4;
    p.trace.out(m::CONTROL_REG, 203);
    EXPECT_EQ(p.trace.inp(m::DATA_REG), 12);  // reads pass through, untraced
    EXPECT_EQ(p.sim.data(), 12);
    EXPECT_EQ(p.sim.control(), 203);
    ASSERT_EQ(p.trace.records().size(), 2u);
    EXPECT_DOUBLE_EQ(p.trace.records()[1].tMs, 7.4);
    EXPECT_TRUE(p.trace.records()[1].write);
    EXPECT_EQ(p.trace.records()[1].address, m::CONTROL_REG);
    EXPECT_EQ(p.trace.records()[1].value, 203);
    EXPECT_EQ(p.trace.describe(), "simulated engraver");
    p.trace.clear();
    EXPECT_TRUE(p.trace.records().empty());
}

TEST(TracingPort, NothingKeptWhenNotRecording) {
    Traced p;
    p.trace.out(m::DATA_REG, 1);
    EXPECT_TRUE(p.trace.records().empty());
    EXPECT_EQ(p.sim.data(), 1);
}

TEST(TracingPort, ReadsOnlyWithTraceReads) {
    Traced p;
    p.trace.setRecording(true);
    p.trace.inp(m::STATUS_REG);
    EXPECT_TRUE(p.trace.records().empty());
    p.trace.setTraceReads(true);
    EXPECT_EQ(p.trace.inp(m::STATUS_REG), 222);
    ASSERT_EQ(p.trace.records().size(), 1u);
    EXPECT_FALSE(p.trace.records()[0].write);
    EXPECT_EQ(p.trace.records()[0].address, m::STATUS_REG);
    EXPECT_EQ(p.trace.records()[0].value, 222);
}

TEST(TracingPort, CsvRowsAreWrittenThroughOneByOne) {
    QTemporaryDir dir;
    const QString path = dir.filePath("trace.csv");
    Traced p;
    std::string error;
    ASSERT_TRUE(p.trace.openCsv(path.toStdString(), false, error)) << error;
    EXPECT_EQ(slurp(path), "t_ms,op,port,value\n");
    p.t = 200;
    p.trace.out(m::CONTROL_REG, 202);
    // Already in the file, with the port still open.
    EXPECT_EQ(slurp(path), "t_ms,op,port,value\n200,out,890,202\n");
    p.trace.inp(m::STATUS_REG);  // not traced
    p.trace.setTraceReads(true);
    p.t = 1234;
    p.trace.inp(m::STATUS_REG);
    p.trace.out(m::DATA_REG, 0);
    EXPECT_EQ(slurp(path),
              "t_ms,op,port,value\n200,out,890,202\n1234,in,889,222\n1234,out,888,0\n");
}

TEST(TracingPort, CsvWithMicroseconds) {
    QTemporaryDir dir;
    const QString path = dir.filePath("trace.csv");
    Traced p;
    std::string error;
    ASSERT_TRUE(p.trace.openCsv(path.toStdString(), true, error)) << error;
    p.t = 12.3456;
    p.trace.out(m::DATA_REG, 255);
    EXPECT_EQ(slurp(path), "t_ms,op,port,value\n12.346,out,888,255\n");
}

TEST(TracingPort, ReopeningStartsAFreshFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("trace.csv");
    Traced p;
    std::string error;
    ASSERT_TRUE(p.trace.openCsv(path.toStdString(), false, error));
    p.trace.out(m::DATA_REG, 1);
    ASSERT_TRUE(p.trace.openCsv(path.toStdString(), false, error));
    EXPECT_EQ(slurp(path), "t_ms,op,port,value\n");
}

TEST(TracingPort, UnwritableCsvNamesThePath) {
    Traced p;
    std::string error;
    EXPECT_FALSE(p.trace.openCsv("/nonexistent-folder/trace.csv", false, error));
    EXPECT_NE(error.find("/nonexistent-folder/trace.csv"), std::string::npos) << error;
    p.trace.out(m::DATA_REG, 3);  // tracing to nowhere still drives the port
    EXPECT_EQ(p.sim.data(), 3);
}

TEST(TracingPort, RestFromSignalRows) {
    QTemporaryDir dir;
    const QString path = dir.filePath("trace.csv");
    Traced p;
    std::string error;
    ASSERT_TRUE(p.trace.openCsv(path.toStdString(), false, error));
    p.trace.setRecording(true);
    p.t = 50;
    p.trace.out(m::DATA_REG, 144);
    p.trace.out(m::CONTROL_REG, 203);
    p.trace.restFromSignal();
    EXPECT_EQ(p.sim.data(), 0);
    EXPECT_EQ(p.sim.control(), 202);
    EXPECT_EQ(slurp(path),
              "t_ms,op,port,value\n50,out,888,144\n50,out,890,203\n-1,out,888,0\n-1,out,890,202\n");
    EXPECT_EQ(p.trace.records().size(), 2u);  // nothing allocated from a signal handler
}
