// A port decorator that records every access with its time, in memory and/or to a CSV file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "machine/Port.h"

namespace ostrel::machine {

struct TraceRecord {
    double tMs = 0;
    bool write = true;  // out, or in
    uint16_t address = 0;
    uint8_t value = 0;
};

class TracingPort final : public Port {
  public:
    using Clock = std::function<double()>;
    TracingPort(Port& inner, Clock clock) : inner_(inner), clock_(std::move(clock)) {}
    ~TracingPort() override;

    void out(uint16_t address, uint8_t value) override;
    uint8_t inp(uint16_t address) override;
    // Puts the inner port at rest and appends its two rows to the CSV file with t_ms -1: no
    // clock may be read from a signal handler, and nothing is kept in memory.
    void restFromSignal() noexcept override;
    std::string describe() const override { return inner_.describe(); }

    // Keeps the records in memory (tests, the port monitor).
    void setRecording(bool on) { recording_ = on; }
    void setTraceReads(bool on) { traceReads_ = on; }
    // Writes "t_ms,op,port,value" rows to a file, flushed after every row so that the trace
    // survives a crash. `microseconds` prints t_ms with three decimals (real-time runs).
    bool openCsv(const std::string& path, bool microseconds, std::string& error);
    // The error (errno) of the first write to the CSV file that failed or fell short, or 0:
    // a trace that stops at a full disk or a closed pipe must not pass for a whole one.
    int csvError() const { return csvError_; }
    const std::vector<TraceRecord>& records() const { return records_; }
    void clear() { records_.clear(); }
    Port& inner() { return inner_; }

  private:
    void record(bool write, uint16_t address, uint8_t value);
    void writeRow(const char* row, size_t size);

    Port& inner_;
    Clock clock_;
    bool recording_ = false;
    bool traceReads_ = false;
    bool microseconds_ = false;
    int fd_ = -1;
    int csvError_ = 0;
    std::vector<TraceRecord> records_;
};

}  // namespace ostrel::machine
