// The port-access interface: one byte out, one byte in, nothing else.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace ostrel::machine {

// What every caller relies on: out() puts the byte on the register at once; inp() returns the
// register's present byte, and reading the data or control register returns the last byte
// written there.
//
// A write that does not reach the machine (the device refused it) leaves the machine in an
// unknown state. The backend then latches the fault: from then on it passes only the rest bytes
// on (data 0, control 202, the only writes that cannot make things worse), counts every write
// that did not reach the machine, and calls the fault handler once, after the failed out() has
// done its work. Whoever owns the core stops every timer, tries the rest writes and reports.
class Port {
  public:
    virtual ~Port() = default;
    virtual void out(uint16_t address, uint8_t value) = 0;
    virtual uint8_t inp(uint16_t address) = 0;
    // Writes data 0 and control 202 with nothing but async-signal-safe calls; used by the
    // signal handlers. Returns whether both writes reached the machine. Once it has run, no
    // other write reaches the machine any more (whichever thread makes it): the program is
    // ending. The default is two out() calls.
    virtual bool restFromSignal() noexcept;
    // A one-line description for messages ("simulated engraver", "ppdev:/dev/parport0").
    virtual std::string describe() const = 0;

    // The first write that failed, in words ("writing 203 to 890: Input/output error"); empty
    // while every write has reached the machine.
    virtual std::string faultText() const { return {}; }
    // Writes that did not reach the machine since the port was opened.
    virtual uint64_t failedWrites() const noexcept { return 0; }
    // Called once, after the first write that fails. Replaces the previous handler.
    virtual void setFaultHandler(std::function<void()> handler) {
        faultHandler_ = std::move(handler);
    }

  protected:
    void notifyFault() {
        if (faultHandler_) faultHandler_();
    }

  private:
    std::function<void()> faultHandler_;
};

// The bookkeeping of a backend's write faults: the first failure's text, the count, and the
// rule that a faulted port passes only the rest bytes on.
class WriteFaults {
  public:
    bool faulted() const { return !text_.empty(); }
    // Whether a write may go to the device: always before a fault, only a rest byte after one.
    bool allows(uint16_t address, uint8_t value) const;
    // A write that did not reach the machine; `why` says why (strerror). Returns true for the
    // first one: the caller notifies the fault handler once it has done.
    bool failed(uint16_t address, uint8_t value, const std::string& why);
    // A write refused because of an earlier fault.
    void refused() { ++count_; }
    const std::string& text() const { return text_; }
    uint64_t count() const { return count_; }

  private:
    std::string text_;
    uint64_t count_ = 0;
};

// Closed by a signal handler once it has put the port at rest: from then on no write of the
// program reaches the machine, whichever thread makes it. A write under way on another thread
// when the latch closes is waited for, and the handler rests the port again after it.
class RestLatch {
  public:
    // Around every ordinary write: false once the latch is closed, and the write must not be
    // made; true, and leave() must follow the write.
    bool enter() noexcept {
        writers_.fetch_add(1);
        if (!closed_.load()) return true;
        writers_.fetch_sub(1);
        return false;
    }
    void leave() noexcept { writers_.fetch_sub(1); }
    // From the handler, before its rest writes.
    void close() noexcept { closed_.store(true); }
    bool closed() const noexcept { return closed_.load(); }
    // From the handler, after its rest writes: true when a write was under way when the latch
    // closed; it has ended (or a short while has passed) on return, and the rest writes must be
    // made again. Async-signal-safe.
    bool waitForWriters() noexcept;

  private:
    std::atomic<bool> closed_{false};
    std::atomic<int> writers_{0};
    static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);
};

// The names the program uses for the two port operations.
inline void Out32(Port& port, uint16_t address, uint8_t value) {
    port.out(address, value);
}
inline uint8_t Inp32(Port& port, uint16_t address) {
    return port.inp(address);
}

}  // namespace ostrel::machine
