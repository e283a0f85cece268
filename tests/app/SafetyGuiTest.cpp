// The GUI as a child process, laser on and coils powered: every signal and crash leaves it at rest.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <vector>

#include "app/Safety.h"
#include "app/SafetyChild.h"

namespace ostrel::test {
namespace {

namespace safety = app::safety;

// The energised machine as the test hook leaves it: coil word 3 and the laser on.
const QList<QByteArray> kEnergised = {"out,888,3", "out,890,203"};

struct GuiRun {
    QTemporaryDir dir;
    QString trace;
    QProcess child;
};

// Starts the test binary with a hook (and more options) and waits until the trace shows `rows`
// (by default the energised machine).
void startEnergised(GuiRun& run, const char* hook, const QStringList& more = {},
                    const QList<QByteArray>& rows = kEnergised) {
    run.trace = run.dir.filePath("trace.csv");
    startOstrel(run.child, QStringList{"--trace", run.trace, "--test-hook", hook} + more,
                run.dir.path(), OSTREL_TESTHOOKS_BINARY);
    ASSERT_TRUE(run.child.waitForStarted(10000));
    ASSERT_TRUE(waitForRows(run.trace, rows, 30000))
        << run.child.readAllStandardError().toStdString();
}

// The last two writes of the trace: the rest state, data first.
void expectRestLast(const QString& trace, const char* restTime) {
    const QList<QByteArray> rows = traceRows(trace);
    ASSERT_GE(rows.size(), 4);
    EXPECT_EQ(withoutTime(rows[rows.size() - 2]), "out,888,0");
    EXPECT_EQ(withoutTime(rows.last()), "out,890,202");
    if (restTime) {
        EXPECT_EQ(timeOf(rows[rows.size() - 2]), restTime);
        EXPECT_EQ(timeOf(rows.last()), restTime);
    }
}

TEST(SafetyGui, EachStopSignalRestsTheMachineAndExitsWith128PlusTheSignal) {
    std::vector<int> stops(std::begin(safety::kStopSignals), std::end(safety::kStopSignals));
    stops.insert(stops.end(), {SIGRTMIN, SIGRTMIN + 5, SIGRTMAX});
    for (int signal : stops) {
        SCOPED_TRACE(safety::signalName(signal));
        GuiRun run;
        // NOTE: at raised priority the step timing takes SIGXCPU over, as the sign that the
        // real-time thread ran too long (it goes back to normal priority and the program on).
        startEnergised(run, "energise", {"--normal-priority"});
        if (HasFatalFailure()) return;
        ::kill(static_cast<pid_t>(run.child.processId()), signal);
        ASSERT_TRUE(run.child.waitForFinished(30000));
        EXPECT_EQ(run.child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.child.exitCode(), safety::exitStatusFor(signal));
        EXPECT_TRUE(run.child.readAllStandardError().contains(
            QByteArray(safety::signalName(signal)) + ": the machine was put at rest"));
        // Rested by the event loop through the core, so the rows carry their real time.
        expectRestLast(run.trace, nullptr);
        EXPECT_NE(timeOf(traceRows(run.trace).last()), "-1");
    }
}

TEST(SafetyGui, EachCrashRestsTheMachineFromTheHandlerAndStillEndsTheProgram) {
    struct Case {
        const char* hook;
        int signal;  // the program still dies of it
        int sent;    // sent from outside once energised; 0: the hook crashes by itself
    };
    const Case cases[] = {
        {"crash-segv", SIGSEGV, 0},
        {"crash-bus", SIGBUS, 0},
        {"crash-abort", SIGABRT, 0},
        {"crash-fpe", SIGFPE, 0},
        {"throw", SIGABRT, 0},
        {"terminate", SIGABRT, 0},
        {"energise", SIGILL, SIGILL},
        {"energise", SIGTRAP, SIGTRAP},
        {"energise", SIGSYS, SIGSYS},
        {"energise", SIGSEGV, SIGSEGV},
        {"energise", SIGBUS, SIGBUS},
        // A worker thread crashes while the window's thread writes the energised words every
        // millisecond: the rest rows from the handler are the last ones, nothing follows them.
        {"crash-thread", SIGSEGV, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.hook) + " " + safety::signalName(c.signal));
        GuiRun run;
        startEnergised(run, c.hook);
        if (HasFatalFailure()) return;
        if (c.sent) ::kill(static_cast<pid_t>(run.child.processId()), c.sent);
        ASSERT_TRUE(run.child.waitForFinished(30000));
        EXPECT_EQ(run.child.exitStatus(), QProcess::CrashExit);
        EXPECT_EQ(run.child.exitCode(), c.signal);
        EXPECT_TRUE(run.child.readAllStandardError().contains("the machine was put at rest"));
        // Written from the handler, which may read no clock: the placeholder time.
        expectRestLast(run.trace, "-1");
    }
}

TEST(SafetyGui, SigpipeAndSigxfszEndNothing) {
    for (int signal : safety::kWriteSignals) {
        SCOPED_TRACE(safety::signalName(signal));
        GuiRun run;
        startEnergised(run, "energise");
        if (HasFatalFailure()) return;
        const auto pid = static_cast<pid_t>(run.child.processId());
        ::kill(pid, signal);
        EXPECT_FALSE(run.child.waitForFinished(500)) << "ended by " << safety::signalName(signal);
        ::kill(pid, SIGTERM);
        ASSERT_TRUE(run.child.waitForFinished(30000));
        EXPECT_EQ(run.child.exitCode(), safety::exitStatusFor(SIGTERM));
        expectRestLast(run.trace, nullptr);
    }
}

// The thread of a process that has the given name, or 0.
pid_t threadNamed(pid_t pid, const QByteArray& name) {
    const std::string path = "/proc/" + std::to_string(pid) + "/task";
    pid_t found = 0;
    if (DIR* dir = ::opendir(path.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            QFile comm(QString::fromStdString(path + "/" + entry->d_name + "/comm"));
            if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name) {
                found = static_cast<pid_t>(std::atoi(entry->d_name));
            }
        }
        ::closedir(dir);
    }
    return found;
}

TEST(SafetyGui, AStopSignalSentToAThreadThatDoesNotBlockItEndsAtRest) {
    GuiRun run;
    startEnergised(run, "hold-thread");
    if (HasFatalFailure()) return;
    const auto pid = static_cast<pid_t>(run.child.processId());
    pid_t held = 0;
    for (int i = 0; i < 100 && held == 0; ++i) {
        held = threadNamed(pid, "ostrel-hold");
        if (held == 0) QThread::msleep(20);
    }
    ASSERT_NE(held, 0) << "the hook's thread runs";
    // The hook's thread does not block it: the program still ends at rest, through the core.
    ::syscall(SYS_tgkill, pid, held, SIGTERM);
    ASSERT_TRUE(run.child.waitForFinished(30000));
    EXPECT_EQ(run.child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.child.exitCode(), safety::exitStatusFor(SIGTERM));
    expectRestLast(run.trace, nullptr);
    EXPECT_NE(timeOf(traceRows(run.trace).last()), "-1") << "rested through the core";
}

TEST(SafetyGui, AFailedPortWriteStopsRestsReportsAndSetsTheExitStatus) {
    struct Case {
        const char* port;
        QList<QByteArray> lastRows;  // the trace's end
        const char* report;
    };
    const Case cases[] = {
        // The energising data write fails; the rest writes reach the machine.
        {"sim:fail-write=1",
         {"fail,888,3", "out,888,0", "out,890,202"},
         "port fault: simulated engraver: writing 3 to 888: failed on command (the simulator's "
         "fail settings): every timer was stopped and the machine was put at rest (data 0, "
         "control 202)"},
        // The port stops answering with the laser on: the rest writes fail too, and say so.
        {"sim:fail-after=1",
         {"out,888,3", "fail,890,203", "fail,888,0", "fail,890,202"},
         "port fault: simulated engraver: writing 203 to 890: failed on command (the "
         "simulator's fail settings): every timer was stopped, but the rest writes failed too: "
         "switch the machine off at its power supply"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        GuiRun run;
        startEnergised(run, "energise", {"--port", c.port}, c.lastRows);
        if (HasFatalFailure()) return;
        // Reported on the error stream at once, while the window shows it.
        QByteArray err;
        for (int i = 0; i < 300 && !err.contains(c.report); ++i) {
            run.child.waitForReadyRead(100);
            err += run.child.readAllStandardError();
        }
        EXPECT_TRUE(err.contains(c.report)) << err.toStdString();
        ::kill(static_cast<pid_t>(run.child.processId()), SIGTERM);
        ASSERT_TRUE(run.child.waitForFinished(30000));
        err += run.child.readAllStandardError();
        EXPECT_EQ(run.child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.child.exitCode(), safety::kPortFaultStatus);
        EXPECT_EQ(err.count(c.report), 1);
        QList<QByteArray> rows = traceRows(run.trace);
        ASSERT_GE(rows.size(), c.lastRows.size());
        rows = rows.mid(rows.size() - c.lastRows.size());
        for (QByteArray& row : rows) row = withoutTime(row);
        EXPECT_EQ(rows, c.lastRows) << "no write after the rest";
    }
}

TEST(SafetyGui, AnUnknownHookIsAUsageError) {
    QTemporaryDir dir;
    QProcess child;
    startOstrel(child, {"--test-hook", "crash-everything"}, dir.path(), OSTREL_TESTHOOKS_BINARY);
    ASSERT_TRUE(child.waitForFinished(30000));
    EXPECT_EQ(child.exitCode(), 2);
    EXPECT_TRUE(child.readAllStandardError().contains("unknown --test-hook 'crash-everything'"));
}

TEST(SafetyGui, OnlyTheTestBinaryHasHooksAndItOpensNoRealPort) {
    QTemporaryDir dir;
    const QString trace = dir.filePath("trace.csv");
    struct Case {
        const char* binary;
        QStringList args;
        const char* message;
    };
    const Case cases[] = {
        {OSTREL_BINARY, {"--test-hook", "energise"}, "Unknown option 'test-hook'"},
        {OSTREL_TESTHOOKS_BINARY,
         {"--port", "ppdev:/dev/parport0", "--trace", trace, "--test-hook", "energise"},
         "ostrel-testhooks: only the simulated engraver (--port sim)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.binary);
        QProcess child;
        startOstrel(child, c.args, dir.path(), c.binary);
        ASSERT_TRUE(child.waitForFinished(30000));
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), 2);
        EXPECT_TRUE(child.readAllStandardError().contains(c.message));
        EXPECT_FALSE(QFileInfo::exists(trace)) << "nothing opened";
    }
    QProcess help;
    startOstrel(help, {"--help"}, dir.path());
    ASSERT_TRUE(help.waitForFinished(30000));
    EXPECT_FALSE(help.readAllStandardOutput().contains("hook"));
}

TEST(SafetyGui, WithoutADisplayItSaysWhatToDoBeforeOpeningAnything) {
    QTemporaryDir dir;
    const QString trace = dir.filePath("trace.csv");
    // QT_QPA_PLATFORM, then the display variables set ("" = none of them).
    struct Case {
        const char* platform;  // nullptr: unset
        const char* display;   // "DISPLAY", "WAYLAND_DISPLAY" or nullptr
    };
    const Case cases[] = {
        {nullptr, nullptr},
        {"", nullptr},
        {"xcb", "WAYLAND_DISPLAY"},
        {"wayland", "DISPLAY"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.platform ? c.platform : "(unset)") + " " +
                     (c.display ? c.display : "(none)"));
        QProcess child;
        startOstrel(child, {"--port", "ppdev:/dev/parport0", "--trace", trace}, dir.path(),
                    OSTREL_BINARY, [&c](QProcessEnvironment& env) {
                        env.remove("QT_QPA_PLATFORM");
                        env.remove("DISPLAY");
                        env.remove("WAYLAND_DISPLAY");
                        if (c.platform) env.insert("QT_QPA_PLATFORM", c.platform);
                        if (c.display) env.insert(c.display, ":99");
                    });
        ASSERT_TRUE(child.waitForFinished(30000));
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), 2);
        EXPECT_EQ(child.readAllStandardError(),
                  "ostrel: no display: use `ostrel simulate` or `ostrel script`, or set DISPLAY\n");
        EXPECT_FALSE(QFileInfo::exists(trace)) << "no port and no trace opened";
    }
}

}  // namespace
}  // namespace ostrel::test
