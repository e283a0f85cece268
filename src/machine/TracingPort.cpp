// Port tracing: every access with its time, kept in memory or written through to a CSV file.
#include "machine/TracingPort.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "machine/Registers.h"

namespace ostrel::machine {

TracingPort::~TracingPort() {
    inner_.setFaultHandler({});
    if (fd_ >= 0) ::close(fd_);
}

void TracingPort::setFaultHandler(std::function<void()> handler) {
    Port::setFaultHandler(std::move(handler));
    inner_.setFaultHandler([this] { faultPending_ = true; });
}

bool TracingPort::openCsv(const std::string& path, bool microseconds, std::string& error) {
    // NOTE: O_NONBLOCK so that a FIFO with no reader is refused (ENXIO) instead of waited on;
    // the rows are then written blocking.
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) {
        error = "cannot write the trace file " + path + ": " +
                (errno == ENXIO ? "it is a FIFO that no process reads" : std::strerror(errno));
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
    csvError_ = 0;
    microseconds_ = microseconds;
    static const char header[] = "t_ms,op,port,value\n";
    writeRow(header, sizeof header - 1);
    return true;
}

void TracingPort::record(bool write, uint16_t address, uint8_t value, bool failed) {
    const double t = clock_ ? clock_() : 0;
    if (recording_) records_.push_back({t, write, address, value, failed});
    if (fd_ >= 0) {
        char line[96];
        const char* op = failed ? "fail" : write ? "out" : "in";
        const int len =
            microseconds_
                ? std::snprintf(line, sizeof line, "%.3f,%s,%u,%u\n", t, op, address, value)
                : std::snprintf(line, sizeof line, "%.0f,%s,%u,%u\n", t, op, address, value);
        // NOTE: one write() per row, no stdio buffer: the row is in the file even if the
        // program dies right after.
        writeRow(line, static_cast<size_t>(len));
    }
}

void TracingPort::writeRow(const char* row, size_t size) {
    ssize_t n = -1;
    do {
        n = ::write(fd_, row, size);
    } while (n < 0 && errno == EINTR);
    if (csvError_ == 0 && n != static_cast<ssize_t>(size)) csvError_ = n < 0 ? errno : EIO;
}

void TracingPort::out(uint16_t address, uint8_t value) {
    if (restedFromSignal_.load()) return;  // the program is ending: nothing more reaches it
    const uint64_t failedBefore = inner_.failedWrites();
    inner_.out(address, value);
    if (restedFromSignal_.load()) return;  // a handler rested it meanwhile: its rows are last
    record(true, address, value, inner_.failedWrites() != failedBefore);
    if (faultPending_) {
        faultPending_ = false;
        notifyFault();
    }
}

uint8_t TracingPort::inp(uint16_t address) {
    const uint8_t v = inner_.inp(address);
    if (traceReads_) record(false, address, v);
    return v;
}

// Async-signal-safe: no allocation, no stdio, no clock beyond what the trace already had.
static void appendRestRow(int fd, uint16_t address, uint8_t value, bool failed) {
    if (fd < 0) return;
    char line[32];
    size_t n = 0;
    const char* prefix = failed ? "-1,fail," : "-1,out,";
    while (*prefix) line[n++] = *prefix++;
    char digits[8];
    int d = 0;
    for (unsigned a = address; a > 0 || d == 0; a /= 10)
        digits[d++] = static_cast<char>('0' + a % 10);
    while (d > 0) line[n++] = digits[--d];
    line[n++] = ',';
    for (unsigned v = value; v > 0 || d == 0; v /= 10)
        digits[d++] = static_cast<char>('0' + v % 10);
    while (d > 0) line[n++] = digits[--d];
    line[n++] = '\n';
    [[maybe_unused]] ssize_t w = ::write(fd, line, n);
}

bool TracingPort::restFromSignal() noexcept {
    restedFromSignal_.store(true);
    const bool rested = inner_.restFromSignal();
    appendRestRow(fd_, DATA_REG, kRestData, !rested);
    appendRestRow(fd_, CONTROL_REG, kRestControl, !rested);
    return rested;
}

}  // namespace ostrel::machine
