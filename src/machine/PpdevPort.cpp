// Linux ppdev backend (filled in by its own change).
#include "machine/PpdevPort.h"

namespace ostrel::machine {

PpdevPort::PpdevPort(std::string device, IoctlLayer& io, std::string& error)
    : device_(std::move(device)), io_(io) {
    error = "ppdev: not available yet";
}
PpdevPort::~PpdevPort() = default;
void PpdevPort::out(uint16_t, uint8_t) {}
uint8_t PpdevPort::inp(uint16_t) { return 0; }
void PpdevPort::restFromSignal() noexcept {}

}  // namespace ostrel::machine

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace ostrel::machine {

namespace {
class SystemIoctl final : public IoctlLayer {
public:
    int open(const char* path, int flags) override { return ::open(path, flags); }
    int ioctl(int fd, unsigned long request, void* arg) override { return ::ioctl(fd, request, arg); }
    int close(int fd) override { return ::close(fd); }
};
}  // namespace

IoctlLayer& systemIoctl() {
    static SystemIoctl io;
    return io;
}

}  // namespace ostrel::machine
