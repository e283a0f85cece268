// A real parallel port through Linux ppdev: exclusive claim, byte writes and status reads.
#include "machine/PpdevPort.h"

#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "machine/Registers.h"

namespace ostrel::machine {

namespace {

// The character-device major number of ppdev's /dev/parportN.
constexpr unsigned kPpdevMajor = 99;

class SystemIoctl final : public IoctlLayer {
  public:
    int open(const char* path, int flags) override { return ::open(path, flags); }
    int fstat(int fd, struct stat* st) override { return ::fstat(fd, st); }
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
    // NOTE: non-blocking: a serial line or a FIFO named by mistake must not hang the start
    // in open(); nothing is claimed or written before the device is known to be ppdev's.
    const int fd = io_.open(device_.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = failure("open", errno);
        return;
    }
    struct stat st {};
    if (io_.fstat(fd, &st) != 0) {
        const int err = errno;
        io_.close(fd);
        error = failure("examine", err);
        return;
    }
    if (!S_ISCHR(st.st_mode) || major(st.st_rdev) != kPpdevMajor) {
        io_.close(fd);
        error = device_ + " is not a parallel port: ppdev's devices are /dev/parportN " +
                "(character devices with major number 99); use ppdev:/dev/parportN";
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
    if (!writeRegister(PPWDATA, kRestData) || !writeRegister(PPWCONTROL, kRestControl)) {
        const int err = errno;
        io_.ioctl(fd_, PPRELEASE, nullptr);
        io_.close(fd_);
        fd_ = -1;
        error = failure("write to", err);
    }
}

PpdevPort::~PpdevPort() {
    if (fd_ < 0) return;
    const bool data = writeRegister(PPWDATA, kRestData);
    const int dataErr = errno;
    const bool control = writeRegister(PPWCONTROL, kRestControl);
    const int controlErr = errno;
    if (!data || !control) {
        std::fprintf(stderr,
                     "ostrel: %s: putting the machine at rest on release failed: %s: switch the "
                     "machine off at its power supply\n",
                     describe().c_str(), std::strerror(data ? controlErr : dataErr));
    }
    io_.ioctl(fd_, PPRELEASE, nullptr);
    io_.close(fd_);
}

bool PpdevPort::writeRegister(unsigned long request, uint8_t value) noexcept {
    unsigned char byte = value;
    return io_.ioctl(fd_, request, &byte) >= 0;
}

void PpdevPort::out(uint16_t address, uint8_t value) {
    if (fd_ < 0) return;
    // NOTE: on a PC port the lines of C0 (strobe), C1 and C3 are inverted in hardware, and
    // 203/202 are already the register values that account for it (bit 0 = 1 pulls pin 1 low,
    // which lights the laser). PPWCONTROL takes the register value, so the byte goes through
    // unchanged; inverting it here would light the laser at rest.
    unsigned long request = 0;
    uint8_t* shadow = nullptr;
    if (address == DATA_REG) {
        request = PPWDATA;
        shadow = &dataShadow_;
    } else if (address == CONTROL_REG) {
        request = PPWCONTROL;
        shadow = &controlShadow_;
    } else {
        return;
    }
    if (!faults_.allows(address, value)) {
        faults_.refused();
        return;
    }
    if (!latch_.enter()) return;  // rested from a signal: the program is ending
    const bool written = writeRegister(request, value);
    const int err = errno;
    latch_.leave();
    if (written) {
        *shadow = value;
        return;
    }
    if (faults_.failed(address, value, std::strerror(err))) notifyFault();
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

bool PpdevPort::restFromSignal() noexcept {
    // NOTE: runs in a signal handler: two ioctls on the open descriptor and nothing else (no
    // allocation, no locks, no shadow bookkeeping). Both are tried whatever the first gives.
    if (fd_ < 0) return false;
    latch_.close();
    bool rested = writeRegister(PPWDATA, kRestData);
    rested = writeRegister(PPWCONTROL, kRestControl) && rested;
    if (latch_.waitForWriters()) {
        rested = writeRegister(PPWDATA, kRestData);
        rested = writeRegister(PPWCONTROL, kRestControl) && rested;
    }
    return rested;
}

}  // namespace ostrel::machine
