// The machine is left at rest on every way out: stop signals, crashes and uncaught exceptions.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "app/Safety.h"
#include "app/SafetyChild.h"
#include "app/Script.h"
#include "support/Harness.h"

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
    bool restFromSignal() noexcept override { return ::write(fd_, "R", 1) == 1; }
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

TEST(StopSignals, AThreadThatDoesNotBlockThemHandsThemToTheHandlingThreadAndBlocksThem) {
    safety::StopSignals stops;
    bool blockedAfter = false;
    // Started after StopSignals, the thread does not block them, as a library's might not.
    std::thread library([&blockedAfter] {
        // A signal a thread sends itself is delivered before the call returns.
        ::syscall(SYS_tgkill, ::getpid(), static_cast<pid_t>(::syscall(SYS_gettid)), SIGUSR2);
        sigset_t now;
        ::pthread_sigmask(SIG_BLOCK, nullptr, &now);
        blockedAfter = sigismember(&now, SIGUSR2) == 1 && sigismember(&now, SIGTERM) == 1 &&
                       sigismember(&now, SIGRTMAX) == 1;
    });
    library.join();
    EXPECT_TRUE(blockedAfter) << "the stop signals are blocked in that thread from then on";
    // The handling thread took it over: one byte in the pipe, one stop (not a second one).
    EXPECT_EQ(stops.take(), SIGUSR2);
    EXPECT_EQ(stops.take(), 0);
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

// --- `ostrel script` as a child process: every signal, and the writes that fail ---

QString writeScript(const QTemporaryDir& dir, const char* text) {
    QFile script(dir.filePath("run.scn"));
    if (!script.open(QIODevice::WriteOnly)) return {};
    script.write(text);
    return script.fileName();
}

TEST(ScriptSignals, EverySignalThatWouldEndTheRunLeavesTheMachineAtRest) {
    enum class Kind { Stop, Crash, Write };
    struct Case {
        int signal;
        Kind kind;
    };
    std::vector<Case> cases;
    for (int signal : safety::kStopSignals) cases.push_back({signal, Kind::Stop});
    for (int signal : {SIGRTMIN, SIGRTMIN + 5, SIGRTMAX}) cases.push_back({signal, Kind::Stop});
    for (int signal : safety::kCrashSignals) cases.push_back({signal, Kind::Crash});
    for (int signal : safety::kWriteSignals) cases.push_back({signal, Kind::Write});
    for (const Case& c : cases) {
        SCOPED_TRACE(safety::signalName(c.signal));
        QTemporaryDir dir;
        const QString script = writeScript(dir, kPulsingForDays);
        const QString trace = dir.filePath("trace.csv");
        QProcess child;
        startOstrel(child, {"script", script, "--trace", trace, "--folder", dir.path()},
                    dir.path());
        ASSERT_TRUE(child.waitForStarted(10000));
        ASSERT_TRUE(waitForRows(trace, {"out,890,203", "out,890,202"}, 20000))
            << child.readAllStandardError().toStdString();
        const auto pid = static_cast<pid_t>(child.processId());
        ::kill(pid, c.signal);
        if (c.kind == Kind::Write) {
            EXPECT_FALSE(child.waitForFinished(300)) << "ended by it";
            ::kill(pid, SIGTERM);
        }
        ASSERT_TRUE(child.waitForFinished(20000));
        const QByteArray err = child.readAllStandardError();
        const QList<QByteArray> rows = traceRows(trace);
        ASSERT_GE(rows.size(), 2);
        EXPECT_EQ(withoutTime(rows[rows.size() - 2]), "out,888,0");
        EXPECT_EQ(withoutTime(rows.last()), "out,890,202");
        if (c.kind == Kind::Crash) {
            EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
            EXPECT_EQ(child.exitCode(), c.signal);
            EXPECT_TRUE(err.contains("the machine was put at rest")) << err.toStdString();
            EXPECT_EQ(timeOf(rows.last()), "-1") << "rested from the handler";
        } else {
            const int stop = c.kind == Kind::Stop ? c.signal : SIGTERM;
            EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(child.exitCode(), 128 + stop);
            EXPECT_TRUE(err.contains(QByteArray("stopped by ") + safety::signalName(stop)))
                << err.toStdString();
            EXPECT_NE(timeOf(rows.last()), "-1") << "rested by the runner";
        }
    }
}

// Output that can no longer be written ends nothing: the run goes on to its end.
TEST(ScriptSignals, AClosedOutputPipeOrAFullTraceFileEndsNothing) {
    QTemporaryDir dir;
    const std::string begin = "start\nclick Command2(6)\nmousedown Command1(5)\n";
    const std::string end =
        "mouseup Command1(5)\nclick Command2(5)\nexpect port.888 0\nexpect port.890 202\n";
    std::string dumps;
    for (int i = 0; i < 40; ++i) dumps += "dump\nwait 20\n";
    QFile printing(dir.filePath("printing.scn")), tracing(dir.filePath("tracing.scn"));
    ASSERT_TRUE(printing.open(QIODevice::WriteOnly) && tracing.open(QIODevice::WriteOnly));
    printing.write((begin + dumps + end).c_str());
    tracing.write((begin + "wait 600000\n" + end).c_str());  // a trace far beyond 4 KiB
    printing.close();
    tracing.close();
    const QString ostrel = OSTREL_BINARY;
    struct Case {
        const char* name;
        QString command;  // prints the exit status of `ostrel script` on standard error last
    };
    const Case cases[] = {
        {"SIGPIPE", "'" + ostrel + "' script '" + printing.fileName() + "' --realtime --trace '" +
                        dir.filePath("a.csv") +
                        "' | head -c 1 >/dev/null; echo \"status ${PIPESTATUS[0]}\" >&2"},
        {"SIGXFSZ", "ulimit -f 4; '" + ostrel + "' script '" + tracing.fileName() + "' --trace '" +
                        dir.filePath("b.csv") + "'; echo \"status $?\" >&2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QProcess shell;
        startOstrel(shell, {}, dir.path());
        shell.close();
        shell.start("/bin/bash", {"-c", c.command});
        ASSERT_TRUE(shell.waitForFinished(60000));
        const QByteArray err = shell.readAllStandardError();
        const QByteArray out = shell.readAllStandardOutput();
        const qsizetype at = err.lastIndexOf("status ");
        ASSERT_GE(at, 0) << err.toStdString();
        const int status = err.mid(at + 7).trimmed().toInt();
        EXPECT_LT(status, 128) << "ended by a signal: " << err.toStdString();
        EXPECT_FALSE(out.contains("expect port")) << "the machine is at rest at the end";
    }
}

TEST(ScriptPortFault, AFailedWriteEndsTheRunAtRestWithStatusThree) {
    struct Case {
        const char* setUp;
        QList<QByteArray> lastRows;
        const char* report;
        const char* laser;  // sim.laser in the dump
    };
    const Case cases[] = {
        {"fail-write 2\n",
         {"out,890,203", "fail,890,202", "out,888,0", "out,890,202"},
         "ostrel script: port fault: simulated engraver: writing 202 to 890: failed on command "
         "(the simulator's fail settings): every timer was stopped and the machine was put at "
         "rest (data 0, control 202) (line 5)\n",
         "False"},
        {"fail-after 1\n",
         {"out,890,203", "fail,890,202", "fail,888,0", "fail,890,202"},
         "ostrel script: port fault: simulated engraver: writing 202 to 890: failed on command "
         "(the simulator's fail settings): every timer was stopped, but the rest writes failed "
         "too: switch the machine off at its power supply (line 5)\n",
         "True"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setUp);
        QTemporaryDir dir;
        const std::string text = std::string(c.setUp) + kPulsingForDays;
        const QString script = writeScript(dir, text.c_str());
        const QString trace = dir.filePath("trace.csv");
        const QString dump = dir.filePath("state.json");
        QProcess child;
        startOstrel(child,
                    {"script", script, "--trace", trace, "--dump", dump, "--folder", dir.path()},
                    dir.path());
        ASSERT_TRUE(child.waitForFinished(30000));
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), safety::kPortFaultStatus);
        const QByteArray report = c.report;
        EXPECT_EQ(child.readAllStandardError(), report);
        // The window's message, as the script shows it; the expect after the wait did not run.
        const qsizetype from = report.indexOf("port fault");
        EXPECT_EQ(child.readAllStandardOutput(),
                  "error: P" + report.mid(from + 1, report.size() - from - 1 - 10) + ".\n");
        QList<QByteArray> rows;
        for (const QByteArray& row : traceRows(trace)) rows << withoutTime(row);
        EXPECT_EQ(rows, c.lastRows) << "nothing written after the rest";
        QFile state(dump);
        ASSERT_TRUE(state.open(QIODevice::ReadOnly));
        const QJsonObject o = QJsonDocument::fromJson(state.readAll()).object();
        EXPECT_EQ(o["Timer3.Enabled"].toString(), "False");
        EXPECT_EQ(o["sim.laser"].toString(), c.laser);
    }
}

// The core's side of a failed write: timers stopped, rest tried, the report through the host,
// no write afterwards.
TEST(PortFault, TheCoreStopsRestsEndsAndReportsThroughTheHost) {
    machine::SimConfig config;
    config.failWrite = 2;  // the laser's first switch-off
    Harness h(config);
    h.start();
    h.engraver->click("Command2(6)");
    h.engraver->mouseDown("Command1(5)");
    h.wait(1000);
    EXPECT_EQ(h.engraver->portFault(),
              "port fault: simulated engraver: writing 202 to 890: failed on command (the "
              "simulator's fail settings): every timer was stopped and the machine was put at "
              "rest (data 0, control 202)");
    ASSERT_EQ(h.host.errors.size(), 1u);
    EXPECT_EQ(h.host.errors[0], "P" + h.engraver->portFault().substr(1) + ".");
    for (const auto& [name, timer] : h.form().timers()) EXPECT_FALSE(timer->Enabled()) << name;
    EXPECT_EQ(h.sim->data(), 0);
    EXPECT_EQ(h.sim->control(), 202);
    EXPECT_FALSE(h.sim->laserOn());
    const size_t writes = h.writes().size();
    h.engraver->click("Command2(6)");
    h.engraver->mouseDown("Command1(5)");
    h.wait(1000);
    EXPECT_EQ(h.writes().size(), writes) << "nothing is written after a port fault";
    EXPECT_TRUE(h.engraver->restNow()) << "the rest made at the fault reached the machine";
}

}  // namespace
}  // namespace ostrel::test
