// The ppdev backend against a stand-in kernel, and choosing a backend by name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <map>
#include <string>
#include <vector>

#include "machine/PortFactory.h"
#include "machine/PpdevPort.h"
#include "machine/Registers.h"

namespace m = ostrel::machine;

namespace {

// Records every call; fails the chosen call with the chosen errno.
class FakeIoctl final : public m::IoctlLayer {
  public:
    struct Call {
        std::string what;  // "open", "close" or the ioctl's name
        int value = -1;    // the byte passed or -1
    };
    std::vector<Call> calls;
    std::string openedPath;
    int openFlags = 0;
    int openErrno = 0;
    // What fstat() finds: ppdev's character device by default.
    mode_t mode = S_IFCHR | 0660;
    dev_t rdev = makedev(99, 0);
    int fstatErrno = 0;
    std::map<unsigned long, int> ioctlErrno;  // request -> errno to fail with
    unsigned char status = 0x7E;
    static constexpr int kFd = 7;

    int open(const char* path, int flags) override {
        calls.push_back({"open"});
        openedPath = path;
        openFlags = flags;
        if (openErrno) {
            errno = openErrno;
            return -1;
        }
        return kFd;
    }
    int fstat(int fd, struct stat* st) override {
        EXPECT_EQ(fd, kFd);
        if (fstatErrno) {
            errno = fstatErrno;
            return -1;
        }
        *st = {};
        st->st_mode = mode;
        st->st_rdev = rdev;
        return 0;
    }
    int ioctl(int fd, unsigned long request, void* arg) override {
        EXPECT_EQ(fd, kFd);
        Call c{name(request)};
        if (request == PPWDATA || request == PPWCONTROL)
            c.value = *static_cast<unsigned char*>(arg);
        if (request == PPRSTATUS) *static_cast<unsigned char*>(arg) = status;
        calls.push_back(c);
        auto failing = ioctlErrno.find(request);
        if (failing != ioctlErrno.end()) {
            errno = failing->second;
            return -1;
        }
        return 0;
    }
    int close(int fd) override {
        EXPECT_EQ(fd, kFd);
        calls.push_back({"close"});
        return 0;
    }

    static std::string name(unsigned long request) {
        switch (request) {
            case PPEXCL:
                return "PPEXCL";
            case PPCLAIM:
                return "PPCLAIM";
            case PPRELEASE:
                return "PPRELEASE";
            case PPWDATA:
                return "PPWDATA";
            case PPWCONTROL:
                return "PPWCONTROL";
            case PPRSTATUS:
                return "PPRSTATUS";
            default:
                return "other";
        }
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const Call& c : calls)
            out.push_back(c.value < 0 ? c.what : c.what + " " + std::to_string(c.value));
        return out;
    }
};

using Names = std::vector<std::string>;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(PpdevPort, OpensClaimsExclusivelyAndWritesTheRestState) {
    FakeIoctl io;
    std::string error = "stale";
    {
        m::PpdevPort port("/dev/parport0", io, error);
        EXPECT_TRUE(port.ok());
        EXPECT_EQ(error, "");
        EXPECT_EQ(io.openedPath, "/dev/parport0");
        EXPECT_EQ(io.openFlags & O_ACCMODE, O_RDWR);
        EXPECT_TRUE(io.openFlags & O_CLOEXEC);
        EXPECT_TRUE(io.openFlags & O_NONBLOCK) << "a serial line must not hang the start";
        EXPECT_EQ(io.names(), (Names{"open", "PPEXCL", "PPCLAIM", "PPWDATA 0", "PPWCONTROL 202"}));
        EXPECT_EQ(port.describe(), "ppdev:/dev/parport0");
        io.calls.clear();
    }
    // The destructor puts the port at rest before releasing it.
    EXPECT_EQ(io.names(), (Names{"PPWDATA 0", "PPWCONTROL 202", "PPRELEASE", "close"}));
}

TEST(PpdevPort, WritesGoToTheirRegistersUnchanged) {
    FakeIoctl io;
    std::string error;
    m::PpdevPort port("/dev/parport0", io, error);
    io.calls.clear();
    port.out(m::DATA_REG, 12);
    port.out(m::CONTROL_REG, m::LASER_ON);  // the register value, not inverted
    port.out(m::CONTROL_REG, m::LASER_OFF);
    port.out(m::DATA_REG, 144);
    port.out(m::STATUS_REG, 5);  // read-only register: nothing to do
    port.out(0x3BC, 5);
    EXPECT_EQ(io.names(), (Names{"PPWDATA 12", "PPWCONTROL 203", "PPWCONTROL 202", "PPWDATA 144"}));
}

TEST(PpdevPort, ReadsStatusFromTheKernelAndTheOthersFromShadows) {
    FakeIoctl io;
    std::string error;
    m::PpdevPort port("/dev/parport0", io, error);
    // Rest state straight after the claim: the start-up check finds the port at rest.
    EXPECT_EQ(port.inp(m::DATA_REG), 0);
    EXPECT_EQ(port.inp(m::CONTROL_REG), 202);
    port.out(m::DATA_REG, 96);
    port.out(m::CONTROL_REG, 203);
    io.calls.clear();
    EXPECT_EQ(port.inp(m::DATA_REG), 96);
    EXPECT_EQ(port.inp(m::CONTROL_REG), 203);
    EXPECT_TRUE(io.calls.empty()) << "data and control reads never reach the kernel";
    io.status = 222;
    EXPECT_EQ(port.inp(m::STATUS_REG), 222);
    EXPECT_TRUE(m::xHomeTest(port));
    EXPECT_TRUE(m::yHomeTest(port));
    EXPECT_EQ(io.calls.size(), 9u);  // one PPRSTATUS per status read
    io.ioctlErrno[PPRSTATUS] = EIO;
    EXPECT_EQ(port.inp(m::STATUS_REG), 0);  // matches neither home test
}

TEST(PpdevPort, RestFromSignalIsExactlyTwoIoctls) {
    FakeIoctl io;
    std::string error;
    m::PpdevPort port("/dev/parport0", io, error);
    port.out(m::DATA_REG, 8);
    port.out(m::CONTROL_REG, 203);
    io.calls.clear();
    port.restFromSignal();
    EXPECT_EQ(io.names(), (Names{"PPWDATA 0", "PPWCONTROL 202"}));
}

TEST(PpdevPort, OpenFailuresNameTheDeviceAndTheRemedy) {
    struct Case {
        int err;
        const char* expected;
    };
    const Case cases[] = {
        {ENOENT, "no parallel port at /dev/parport0: load the driver with 'sudo modprobe ppdev'"},
        {ENODEV, "no parallel port at /dev/parport0: load the driver with 'sudo modprobe ppdev'"},
        {ENXIO, "no parallel port at /dev/parport0: load the driver with 'sudo modprobe ppdev'"},
        {EACCES,
         "no permission to use /dev/parport0: add yourself to the lp group: sudo usermod -aG lp "
         "$USER, then log in again"},
        {EPERM,
         "no permission to use /dev/parport0: add yourself to the lp group: sudo usermod -aG lp "
         "$USER, then log in again"},
        {EIO, "cannot open /dev/parport0: "},
    };
    for (const Case& c : cases) {
        FakeIoctl io;
        io.openErrno = c.err;
        std::string error;
        {
            m::PpdevPort port("/dev/parport0", io, error);
            EXPECT_FALSE(port.ok());
            port.out(m::DATA_REG, 1);  // an unusable port touches nothing
            port.restFromSignal();
            EXPECT_EQ(port.inp(m::STATUS_REG), 0);
        }
        EXPECT_TRUE(error.rfind(c.expected, 0) == 0) << error;
        EXPECT_EQ(io.names(), (Names{"open"}));
    }
}

TEST(PpdevPort, ClaimFailuresCloseTheDevice) {
    struct Case {
        unsigned long request;
        int err;
        const char* expected;
        Names calls;
    };
    const std::string busy =
        "/dev/parport0: the port is in use by another program, e.g. the lp printer driver: sudo "
        "rmmod lp";
    const Case cases[] = {
        {PPEXCL, EBUSY, busy.c_str(), {"open", "PPEXCL", "close"}},
        {PPCLAIM, EBUSY, busy.c_str(), {"open", "PPEXCL", "PPCLAIM", "close"}},
        {PPCLAIM,
         ENXIO,
         "no parallel port at /dev/parport0",
         {"open", "PPEXCL", "PPCLAIM", "close"}},
        {PPCLAIM, EINVAL, "cannot claim /dev/parport0: ", {"open", "PPEXCL", "PPCLAIM", "close"}},
    };
    for (const Case& c : cases) {
        FakeIoctl io;
        io.ioctlErrno[c.request] = c.err;
        std::string error;
        {
            m::PpdevPort port("/dev/parport0", io, error);
            EXPECT_FALSE(port.ok());
        }
        EXPECT_TRUE(error.rfind(c.expected, 0) == 0) << error;
        EXPECT_EQ(io.names(), c.calls) << error;
    }
}

TEST(PpdevPort, RestStateThatCannotBeWrittenReleasesTheClaim) {
    FakeIoctl io;
    io.ioctlErrno[PPWCONTROL] = EIO;
    std::string error;
    {
        m::PpdevPort port("/dev/parport1", io, error);
        EXPECT_FALSE(port.ok());
    }
    EXPECT_TRUE(contains(error, "/dev/parport1")) << error;
    EXPECT_EQ(io.names(), (Names{"open", "PPEXCL", "PPCLAIM", "PPWDATA 0", "PPWCONTROL 202",
                                 "PPRELEASE", "close"}));
}

TEST(PpdevPort, EmptyDeviceName) {
    FakeIoctl io;
    std::string error;
    m::PpdevPort port("", io, error);
    EXPECT_FALSE(port.ok());
    EXPECT_TRUE(contains(error, "ppdev:/dev/parport0")) << error;
    EXPECT_TRUE(io.calls.empty());
}

TEST(PortFactory, SimulatedEngraver) {
    for (const char* spec : {"sim", ""}) {
        m::SimConfig config;
        config.headX = 3;
        m::PortOpenResult r = m::openPort(spec, config, [] { return 0.0; });
        ASSERT_TRUE(r.port) << spec;
        EXPECT_EQ(r.error, "");
        ASSERT_NE(r.sim, nullptr);
        EXPECT_EQ(static_cast<m::Port*>(r.sim), r.port.get());
        EXPECT_EQ(r.sim->x(), 6);  // the start state was handed on
        EXPECT_EQ(r.port->describe(), "simulated engraver");
    }
}

TEST(PortFactory, UnknownSpec) {
    m::PortOpenResult r = m::openPort("lpt1", {}, {});
    EXPECT_FALSE(r.port);
    EXPECT_EQ(r.sim, nullptr);
    EXPECT_EQ(r.error, "unknown port 'lpt1': use 'sim' or 'ppdev:/dev/parportN'");
}

TEST(PortFactory, MissingPpdevDeviceNamesTheDevice) {
    m::PortOpenResult r = m::openPort("ppdev:/dev/ostrel-no-such-parport", {}, {});
    EXPECT_FALSE(r.port);
    EXPECT_EQ(r.sim, nullptr);
    EXPECT_EQ(r.error,
              "no parallel port at /dev/ostrel-no-such-parport: load the driver with 'sudo "
              "modprobe ppdev'");
}

TEST(PpdevPort, ADeviceThatIsNotAParallelPortIsClosedUntouched) {
    struct Case {
        const char* what;
        mode_t mode;
        dev_t rdev;
        int fstatErrno;
        const char* expected;
    };
    const std::string notPpdev =
        "/dev/ttyS0 is not a parallel port: ppdev's devices are /dev/parportN (character devices "
        "with major number 99); use ppdev:/dev/parportN";
    const Case cases[] = {
        {"serial line", S_IFCHR | 0660, makedev(4, 64), 0, notPpdev.c_str()},
        {"printer driver's lp0", S_IFCHR | 0660, makedev(6, 0), 0, notPpdev.c_str()},
        {"block device", S_IFBLK | 0660, makedev(99, 0), 0, notPpdev.c_str()},
        {"regular file", S_IFREG | 0644, 0, 0, notPpdev.c_str()},
        {"FIFO", S_IFIFO | 0644, 0, 0, notPpdev.c_str()},
        {"fstat fails", S_IFCHR, makedev(99, 0), EIO, "cannot examine /dev/ttyS0: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeIoctl io;
        io.mode = c.mode;
        io.rdev = c.rdev;
        io.fstatErrno = c.fstatErrno;
        std::string error;
        {
            m::PpdevPort port("/dev/ttyS0", io, error);
            EXPECT_FALSE(port.ok());
        }
        EXPECT_TRUE(error.rfind(c.expected, 0) == 0) << error;
        EXPECT_EQ(io.names(), (Names{"open", "close"})) << "nothing claimed, nothing written";
    }
}

TEST(PpdevPort, AFailedWriteLatchesTheFaultAndLetsOnlyTheRestWritesThrough) {
    FakeIoctl io;
    std::string error;
    m::PpdevPort port("/dev/parport0", io, error);
    int faults = 0;
    port.setFaultHandler([&] { ++faults; });
    port.out(m::DATA_REG, 3);
    io.ioctlErrno[PPWCONTROL] = EIO;
    port.out(m::CONTROL_REG, 203);
    EXPECT_EQ(faults, 1);
    EXPECT_EQ(port.faultText(), "writing 203 to 890: Input/output error");
    EXPECT_EQ(port.failedWrites(), 1u);
    EXPECT_EQ(port.inp(m::CONTROL_REG), 202) << "the last byte that reached the register";
    io.calls.clear();
    io.ioctlErrno.clear();
    // Only the rest bytes go on; the rest are refused and counted, and the handler runs once.
    port.out(m::DATA_REG, 6);
    port.out(m::CONTROL_REG, 203);
    port.out(m::DATA_REG, 0);
    port.out(m::CONTROL_REG, 202);
    EXPECT_EQ(io.names(), (Names{"PPWDATA 0", "PPWCONTROL 202"}));
    EXPECT_EQ(port.failedWrites(), 3u);
    EXPECT_EQ(faults, 1);
    EXPECT_EQ(port.faultText(), "writing 203 to 890: Input/output error") << "the first one";
}

TEST(PpdevPort, RestFromSignalSaysWhetherItWorkedAndNothingIsWrittenAfterIt) {
    for (bool fails : {false, true}) {
        SCOPED_TRACE(fails ? "the data write fails" : "both writes work");
        FakeIoctl io;
        std::string error;
        m::PpdevPort port("/dev/parport0", io, error);
        port.out(m::CONTROL_REG, 203);
        if (fails) io.ioctlErrno[PPWDATA] = EIO;
        io.calls.clear();
        EXPECT_EQ(port.restFromSignal(), !fails);
        EXPECT_EQ(io.names(), (Names{"PPWDATA 0", "PPWCONTROL 202"})) << "both are tried";
        io.calls.clear();
        port.out(m::CONTROL_REG, 203);
        port.out(m::DATA_REG, 3);
        EXPECT_TRUE(io.calls.empty()) << "the port is latched";
    }
}

TEST(PpdevPort, ARestOnReleaseThatFailsIsReported) {
    FakeIoctl io;
    std::string error;
    testing::internal::CaptureStderr();
    {
        m::PpdevPort port("/dev/parport0", io, error);
        io.ioctlErrno[PPWCONTROL] = EIO;
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err,
              "ostrel: ppdev:/dev/parport0: putting the machine at rest on release failed: "
              "Input/output error: switch the machine off at its power supply\n");
    EXPECT_EQ(io.names().back(), "close") << "released and closed all the same";
}

TEST(PortFactory, SimulatorOptionsMakeWritesFailOnCommand) {
    struct Case {
        const char* spec;
        int64_t failAfter, failWrite;
        const char* error;  // "" when the port option is good
    };
    const Case cases[] = {
        {"sim:fail-after=0", 0, 0, ""},
        {"sim:fail-after=12", 12, 0, ""},
        {"sim:fail-write=3", -1, 3, ""},
        {"sim:fail-write=3,fail-after=9", 9, 3, ""},
        {"sim:fail-write=0", -1, 0, "bad simulator option 'fail-write=0'"},
        {"sim:fail-after=-1", -1, 0, "bad simulator option 'fail-after=-1'"},
        {"sim:fail-after=", -1, 0, "bad simulator option 'fail-after='"},
        {"sim:fail-after=1x", -1, 0, "bad simulator option 'fail-after=1x'"},
        {"sim:fail-later=1", -1, 0, "bad simulator option 'fail-later=1'"},
        {"sim:", -1, 0, ""},
        {"sim:fail-after=1,", -1, 0, "bad simulator option ''"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spec);
        m::PortOpenResult r = m::openPort(c.spec, {}, {});
        if (*c.error) {
            EXPECT_FALSE(r.port);
            EXPECT_TRUE(r.error.rfind(c.error, 0) == 0) << r.error;
            EXPECT_TRUE(contains(r.error, "sim:fail-after=N")) << r.error;
            continue;
        }
        ASSERT_NE(r.sim, nullptr) << r.error;
        EXPECT_EQ(r.sim->config().failAfterWrites, c.failAfter);
        EXPECT_EQ(r.sim->config().failWrite, c.failWrite);
    }
}
