// A real parallel port through Linux ppdev: exclusive claim, byte writes and status reads.
#include "machine/PpdevPort.h"

#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "machine/Registers.h"

namespace ostrel::machine {

namespace {

class SystemIoctl final : public IoctlLayer {
  public:
    int open(const char* path, int flags) override { return ::open(path, flags); }
    int ioctl(int fd, unsigned long request, void* arg) override {
        return ::ioctl(fd, request, arg);
    }
    int close(int fd) override { return ::close(fd); }
};

}  // namespace

IoctlLayer& systemIoctl() {
    static SystemIoctl io;
    return io;
}

// What the operator can do about a failed open or claim, by errno.
std::string PpdevPort::failure(const char* step, int err) const {
    switch (err) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return "no parallel port at " + device_ +
                   ": load the driver with 'sudo modprobe ppdev'";
        case EACCES:
        case EPERM:
            return "no permission to use " + device_ +
                   ": add yourself to the lp group: sudo usermod -aG lp $USER, then log in again";
        case EBUSY:
            return device_ +
                   ": the port is in use by another program, e.g. the lp printer driver: sudo "
                   "rmmod lp";
        default:
            return std::string("cannot ") + step + " " + device_ + ": " + std::strerror(err);
    }
}

PpdevPort::PpdevPort(std::string device, IoctlLayer& io, std::string& error)
    : device_(std::move(device)), io_(io) {
    error.clear();
    if (device_.empty()) {
        error = "no parallel port named: use ppdev:/dev/parportN, e.g. ppdev:/dev/parport0";
        return;
    }
    const int fd = io_.open(device_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        error = failure("open", errno);
        return;
    }
    // Exclusive: no other ppdev user or printer driver may share the port while the head moves.
    if (io_.ioctl(fd, PPEXCL, nullptr) < 0 || io_.ioctl(fd, PPCLAIM, nullptr) < 0) {
        const int err = errno;
        io_.close(fd);
        error = failure("claim", err);
        return;
    }
    fd_ = fd;
    // Whatever the port held before, the machine starts unpowered with the laser off.
    if (!writeRegister(PPWDATA, REST_DATA) || !writeRegister(PPWCONTROL, REST_CONTROL)) {
        const int err = errno;
        io_.ioctl(fd_, PPRELEASE, nullptr);
        io_.close(fd_);
        fd_ = -1;
        error = failure("write to", err);
    }
}

PpdevPort::~PpdevPort() {
    if (fd_ < 0) return;
    writeRegister(PPWDATA, REST_DATA);
    writeRegister(PPWCONTROL, REST_CONTROL);
    io_.ioctl(fd_, PPRELEASE, nullptr);
    io_.close(fd_);
}

bool PpdevPort::writeRegister(unsigned long request, uint8_t value) noexcept {
    unsigned char byte = value;
    return io_.ioctl(fd_, request, &byte) >= 0;
}

void PpdevPort::out(uint16_t address, uint8_t value) {
    if (fd_ < 0) return;
    if (address == DATA_REG) {
        dataShadow_ = value;
        writeRegister(PPWDATA, value);
    } else if (address == CONTROL_REG) {
        // NOTE: on a PC port the lines of C0 (strobe), C1 and C3 are inverted in hardware, and
        // 203/202 are already the register values that account for it (bit 0 = 1 pulls pin 1
        // low, which lights the laser). PPWCONTROL takes the register value, so the byte goes
        // through unchanged; inverting it here would light the laser at rest.
        controlShadow_ = value;
        writeRegister(PPWCONTROL, value);
    }
}

uint8_t PpdevPort::inp(uint16_t address) {
    switch (address) {
        case DATA_REG:
            return dataShadow_;
        case CONTROL_REG:
            return controlShadow_;
        case STATUS_REG: {
            unsigned char status = 0;
            // A failed read gives 0, a byte that matches neither home test.
            if (fd_ < 0 || io_.ioctl(fd_, PPRSTATUS, &status) < 0) return 0;
            return status;
        }
        default:
            return 0xFF;  // nothing answers there
    }
}

void PpdevPort::restFromSignal() noexcept {
    // NOTE: runs in a signal handler: two ioctls on the open descriptor and nothing else (no
    // allocation, no locks, no shadow bookkeeping).
    if (fd_ < 0) return;
    writeRegister(PPWDATA, REST_DATA);
    writeRegister(PPWCONTROL, REST_CONTROL);
}

}  // namespace ostrel::machine
