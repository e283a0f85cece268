// The machine is left at rest on every way out: stop signals, crashes and uncaught exceptions.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "app/Safety.h"
#include "app/SafetyChild.h"
#include "app/Script.h"

namespace ostrel::test {
namespace {

namespace safety = app::safety;

// A port whose rest from a signal handler is one byte 'R' on a pipe: the only thing a child
// process can still tell its parent after it died.
class PipePort final : public machine::Port {
  public:
    explicit PipePort(int fd) : fd_(fd) {}
    void out(uint16_t, uint8_t) override {}
    uint8_t inp(uint16_t) override { return 0; }
    void restFromSignal() noexcept override { [[maybe_unused]] ssize_t n = ::write(fd_, "R", 1); }
    std::string describe() const override { return "pipe"; }

  private:
    int fd_;
};

struct ChildEnd {
    int status = 0;         // from waitpid
    std::string restBytes;  // what the child's port wrote when it was put at rest
};

// Runs `body` in a forked child whose crash port is a PipePort, and reports how it ended.
ChildEnd inChild(const std::function<void()>& body) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, STDERR_FILENO);  // the handlers' messages are not the test's output
        static PipePort* port = new PipePort(fds[1]);
        safety::setCrashPort(port);
        body();
        ::_exit(99);
    }
    ::close(fds[1]);
    ChildEnd end;
    ::waitpid(pid, &end.status, 0);
    char buf[16];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) end.restBytes.append(buf, size_t(n));
    ::close(fds[0]);
    return end;
}

TEST(CrashHandlers, EachCrashSignalRestsThePortOnceAndStillEndsTheProgram) {
    for (int signal : safety::kCrashSignals) {
        SCOPED_TRACE(safety::signalName(signal));
        const ChildEnd end = inChild([signal] {
            safety::installCrashHandlers();
            ::raise(signal);
        });
        ASSERT_TRUE(WIFSIGNALED(end.status)) << end.status;
        EXPECT_EQ(WTERMSIG(end.status), signal);
        EXPECT_EQ(end.restBytes, "R");
    }
}

void throwLost() {
    throw std::runtime_error("lost");
}
// NOTE: through a pointer, so that the compiler cannot see the throw (and warn) at compile time;
// gtest would catch an exception that left the child's body any other way.
void (*volatile g_thrower)() = throwLost;
void throwOutOfNoexcept() noexcept {
    g_thrower();
}

TEST(CrashHandlers, AnUncaughtExceptionOrTerminateRestsOnceThenAborts) {
    const std::function<void()> ends[] = {[] { throwOutOfNoexcept(); }, [] { std::terminate(); }};
    for (const auto& how : ends) {
        const ChildEnd end = inChild([&how] {
            safety::installCrashHandlers();
            how();
        });
        ASSERT_TRUE(WIFSIGNALED(end.status)) << end.status;
        EXPECT_EQ(WTERMSIG(end.status), SIGABRT);
        EXPECT_EQ(end.restBytes, "R") << "abort() after the rest must not rest a second time";
    }
}

TEST(CrashHandlers, NoPortNoRest) {
    const ChildEnd end = inChild([] {
        safety::setCrashPort(nullptr);
        safety::installCrashHandlers();
        ::raise(SIGSEGV);
    });
    ASSERT_TRUE(WIFSIGNALED(end.status));
    EXPECT_EQ(end.restBytes, "");
}

TEST(StopSignals, EachStopSignalIsTakenOnceThroughThePipe) {
    struct sigaction before {};
    ::sigaction(SIGHUP, nullptr, &before);
    {
        safety::StopSignals stops;
        ASSERT_TRUE(stops.ok());
        EXPECT_EQ(stops.take(), 0);
        ::raise(SIGHUP);
        EXPECT_EQ(stops.take(), SIGHUP);
        EXPECT_EQ(stops.take(), 0);
    }
    // The previous action is back.
    struct sigaction after {};
    ::sigaction(SIGHUP, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

TEST(StopSignals, ASecondSignalRestsFromTheHandlerAndEndsAtOnce) {
    for (int signal : safety::kStopSignals) {
        SCOPED_TRACE(safety::signalName(signal));
        const ChildEnd end = inChild([signal] {
            safety::StopSignals stops;
            ::raise(signal);
            // The first one waits for the loop and rests nothing by itself.
            if (stops.take() != signal) ::_exit(98);
            ::raise(signal);
        });
        ASSERT_TRUE(WIFEXITED(end.status)) << end.status;
        EXPECT_EQ(WEXITSTATUS(end.status), safety::exitStatusFor(signal));
        EXPECT_EQ(end.restBytes, "R");
    }
}

// --- `ostrel script`: a stop signal during a long wait ---

// Pulses the laser (Timer3) through a wait of thirty days of virtual time.
constexpr const char* kPulsingForDays =
    "start\n"
    "click Command2(6)\n"
    "mousedown Command1(5)\n"
    "wait 2592000000\n"
    "expect Timer3.Enabled True\n";

TEST(ScriptStop, AStopSignalEndsTheWaitRestsTheMachineAndStillWritesTheDump) {
    QTemporaryDir dir;
    app::ScriptOptions options;
    options.tracePath = dir.filePath("trace.csv").toStdString();
    options.dumpPath = dir.filePath("state.json").toStdString();
    options.folder = dir.path().toStdString();
    int polls = 0;
    options.stopSignal = [&polls] { return ++polls > 5000 ? SIGTERM : 0; };
    std::ostringstream out, err;
    EXPECT_EQ(app::runScenario(kPulsingForDays, options, out, err), 128 + SIGTERM);
    EXPECT_NE(err.str().find("stopped by SIGTERM at line 4"), std::string::npos) << err.str();
    EXPECT_EQ(out.str(), "") << "the expect after the wait must not run";

    const QList<QByteArray> rows = traceRows(dir.filePath("trace.csv"));
    ASSERT_GE(rows.size(), 3);
    EXPECT_TRUE(std::any_of(rows.begin(), rows.end(),
                            [](const QByteArray& r) { return withoutTime(r) == "out,890,203"; }));
    EXPECT_EQ(withoutTime(rows[rows.size() - 2]), "out,888,0");
    EXPECT_EQ(withoutTime(rows.last()), "out,890,202");

    QFile dump(dir.filePath("state.json"));
    ASSERT_TRUE(dump.open(QIODevice::ReadOnly));
    const QJsonObject o = QJsonDocument::fromJson(dump.readAll()).object();
    EXPECT_EQ(o["Timer3.Enabled"].toString(), "False");
    EXPECT_EQ(o["port.888"].toString(), "0");
    EXPECT_EQ(o["port.890"].toString(), "202");
    EXPECT_EQ(o["sim.laser"].toString(), "False");
}

TEST(ScriptStop, AStopBeforeStartRestsThePortAsItFindsIt) {
    app::ScriptOptions options;
    options.stopSignal = [] { return SIGINT; };
    std::ostringstream out, err;
    EXPECT_EQ(app::runScenario("port 3 203\nstart\n", options, out, err), 128 + SIGINT);
    EXPECT_NE(err.str().find("stopped by SIGINT at line 2"), std::string::npos) << err.str();
}

TEST(ScriptStop, SigintAndSigtermToTheProcessDuringALongWait) {
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(safety::signalName(signal));
        QTemporaryDir dir;
        QFile script(dir.filePath("pulse.scn"));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(kPulsingForDays);
        script.close();
        const QString trace = dir.filePath("trace.csv");
        QProcess child;
        startOstrel(child, {"script", script.fileName(), "--trace", trace, "--folder", dir.path()},
                    dir.path());
        ASSERT_TRUE(child.waitForStarted(10000));
        ASSERT_TRUE(waitForRows(trace, {"out,890,203", "out,890,202"}, 20000))
            << child.readAllStandardError().toStdString();
        ::kill(static_cast<pid_t>(child.processId()), signal);
        ASSERT_TRUE(child.waitForFinished(20000));
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), 128 + signal);
        EXPECT_TRUE(child.readAllStandardError().contains(QByteArray("stopped by ") +
                                                          safety::signalName(signal)));
        const QList<QByteArray> rows = traceRows(trace);
        ASSERT_GE(rows.size(), 2);
        EXPECT_EQ(withoutTime(rows[rows.size() - 2]), "out,888,0");
        EXPECT_EQ(withoutTime(rows.last()), "out,890,202");
        EXPECT_NE(timeOf(rows.last()), "-1") << "rested by the runner, in virtual time";
    }
}

}  // namespace
}  // namespace ostrel::test
