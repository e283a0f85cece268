// A real parallel port through Linux ppdev: claimed exclusively, rest state on claim and release.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "machine/Port.h"

namespace ostrel::machine {

// The system calls the backend makes, so that tests can stand in for the kernel.
class IoctlLayer {
  public:
    virtual ~IoctlLayer() = default;
    virtual int open(const char* path, int flags) = 0;
    virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
    virtual int close(int fd) = 0;
};
// The real one: ::open, ::ioctl, ::close.
IoctlLayer& systemIoctl();

class PpdevPort final : public Port {
  public:
    // Opens and claims the device and writes the rest state; on failure `error` names the
    // device and the remedy and the port is not usable (ok() is false).
    PpdevPort(std::string device, IoctlLayer& io, std::string& error);
    ~PpdevPort() override;  // writes the rest state, releases and closes

    bool ok() const { return fd_ >= 0; }
    void out(uint16_t address, uint8_t value) override;
    uint8_t inp(uint16_t address) override;
    void restFromSignal() noexcept override;
    std::string describe() const override { return "ppdev:" + device_; }

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
};

}  // namespace ostrel::machine
