// A real parallel port through Linux ppdev: claimed exclusively, rest state on claim and release.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct stat;

#include "machine/Port.h"

namespace ostrel::machine {

// The system calls the backend makes, so that tests can stand in for the kernel.
class IoctlLayer {
  public:
    virtual ~IoctlLayer() = default;
    virtual int open(const char* path, int flags) = 0;
    virtual int fstat(int fd, struct stat* st) = 0;
    virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
    virtual int close(int fd) = 0;
};
// The real one: ::open, ::fstat, ::ioctl, ::close.
IoctlLayer& systemIoctl();

class PpdevPort final : public Port {
  public:
    // Opens the device without blocking, checks that it is a ppdev device, claims it and writes
    // the rest state; on failure `error` names the device and the remedy and the port is not
    // usable (ok() is false).
    PpdevPort(std::string device, IoctlLayer& io, std::string& error);
    // Writes the rest state, releases and closes; a rest write that fails is reported on
    // standard error, the last place left to say it.
    ~PpdevPort() override;

    bool ok() const { return fd_ >= 0; }
    void out(uint16_t address, uint8_t value) override;
    uint8_t inp(uint16_t address) override;
    bool restFromSignal() noexcept override;
    std::string describe() const override { return "ppdev:" + device_; }
    std::string faultText() const override { return faults_.text(); }
    uint64_t failedWrites() const noexcept override { return faults_.count(); }

  private:
    // The message for a failed step ("open", "claim"): names the device and the remedy.
    std::string failure(const char* step, int err) const;
    // One register write through PPWDATA or PPWCONTROL; false when the kernel refused it.
    bool writeRegister(unsigned long request, uint8_t value) noexcept;

    std::string device_;
    IoctlLayer& io_;
    int fd_ = -1;
    // ppdev cannot read the data latch back reliably and masks the control read-back, so the
    // last bytes written are kept here.
    uint8_t dataShadow_ = 0, controlShadow_ = 202;
    WriteFaults faults_;
    RestLatch latch_;
};

}  // namespace ostrel::machine
