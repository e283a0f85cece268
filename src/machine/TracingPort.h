// A port decorator that records every access with its time, in memory and/or to a CSV file.
#pragma once

#include <atomic>
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
    bool failed = false;  // a write that did not reach the machine ("fail" in the CSV)
};

class TracingPort final : public Port {
  public:
    using Clock = std::function<double()>;
    TracingPort(Port& inner, Clock clock) : inner_(inner), clock_(std::move(clock)) {}
    ~TracingPort() override;
    TracingPort(const TracingPort&) = delete;
    TracingPort& operator=(const TracingPort&) = delete;

    void out(uint16_t address, uint8_t value) override;
    uint8_t inp(uint16_t address) override;
    // Puts the inner port at rest and appends its two rows to the CSV file with t_ms -1 ("fail"
    // rows when the rest did not reach the machine): no clock may be read from a signal
    // handler, and nothing is kept in memory. No row follows them.
    bool restFromSignal() noexcept override;
    std::string describe() const override { return inner_.describe(); }
    std::string faultText() const override { return inner_.faultText(); }
    uint64_t failedWrites() const noexcept override { return inner_.failedWrites(); }
    // The handler runs once the failed write's row is recorded.
    void setFaultHandler(std::function<void()> handler) override;

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
    void record(bool write, uint16_t address, uint8_t value, bool failed = false);
    void writeRow(const char* row, size_t size);

    Port& inner_;
    Clock clock_;
    bool recording_ = false;
    bool traceReads_ = false;
    bool microseconds_ = false;
    int fd_ = -1;
    int csvError_ = 0;
    std::vector<TraceRecord> records_;
    bool faultPending_ = false;  // the inner port has faulted; the handler is still to run
    std::atomic<bool> restedFromSignal_{false};
};

}  // namespace ostrel::machine
