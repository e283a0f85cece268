// The GUI as a child process, laser on and coils powered: every signal and crash leaves it at rest.
#include <gtest/gtest.h>
#include <signal.h>

#include <QTemporaryDir>

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

// Starts the GUI with a hook and waits until the trace shows the energised machine.
void startEnergised(GuiRun& run, const char* hook) {
#ifndef OSTREL_TEST_HOOKS
    GTEST_SKIP() << "built without the test hooks (OSTREL_TEST_HOOKS=OFF)";
#endif
    run.trace = run.dir.filePath("trace.csv");
    startOstrel(run.child, {"--trace", run.trace, "--test-hook", hook}, run.dir.path());
    ASSERT_TRUE(run.child.waitForStarted(10000));
    ASSERT_TRUE(waitForRows(run.trace, kEnergised, 30000))
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
    for (int signal : safety::kStopSignals) {
        SCOPED_TRACE(safety::signalName(signal));
        GuiRun run;
        startEnergised(run, "energise");
        if (HasFatalFailure() || IsSkipped()) return;
        ::kill(static_cast<pid_t>(run.child.processId()), signal);
        ASSERT_TRUE(run.child.waitForFinished(30000));
        EXPECT_EQ(run.child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.child.exitCode(), safety::exitStatusFor(signal));
        EXPECT_TRUE(run.child.readAllStandardError().contains("the machine was put at rest"));
        // Rested by the event loop through the core, so the rows carry their real time.
        expectRestLast(run.trace, nullptr);
        EXPECT_NE(timeOf(traceRows(run.trace).last()), "-1");
    }
}

TEST(SafetyGui, EachCrashRestsTheMachineFromTheHandlerAndStillEndsTheProgram) {
    struct Case {
        const char* hook;
        int signal;  // the program still dies of it
    };
    const Case cases[] = {
        {"crash-segv", SIGSEGV}, {"crash-bus", SIGBUS}, {"crash-abort", SIGABRT},
        {"crash-fpe", SIGFPE},   {"throw", SIGABRT},    {"terminate", SIGABRT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hook);
        GuiRun run;
        startEnergised(run, c.hook);
        if (HasFatalFailure() || IsSkipped()) return;
        ASSERT_TRUE(run.child.waitForFinished(30000));
        EXPECT_EQ(run.child.exitStatus(), QProcess::CrashExit);
        EXPECT_EQ(run.child.exitCode(), c.signal);
        EXPECT_TRUE(run.child.readAllStandardError().contains("the machine was put at rest"));
        // Written from the handler, which may read no clock: the placeholder time.
        expectRestLast(run.trace, "-1");
    }
}

TEST(SafetyGui, AnUnknownHookIsAUsageError) {
#ifndef OSTREL_TEST_HOOKS
    GTEST_SKIP() << "built without the test hooks (OSTREL_TEST_HOOKS=OFF)";
#endif
    QTemporaryDir dir;
    QProcess child;
    startOstrel(child, {"--test-hook", "crash-everything"}, dir.path());
    ASSERT_TRUE(child.waitForFinished(30000));
    EXPECT_EQ(child.exitCode(), 2);
    EXPECT_TRUE(child.readAllStandardError().contains("unknown --test-hook 'crash-everything'"));
}

}  // namespace
}  // namespace ostrel::test
