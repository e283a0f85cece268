// `ostrel latency` as a child process: its options, its report and verdicts, and that it leaves
// nothing behind. Its figures depend on the machine and are not asserted.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

struct Result {
    int code = -1;
    QString out, err;
};

Result latency(const QStringList& args, const QString& workDir = {}) {
    QProcess p;
    if (!workDir.isEmpty()) p.setWorkingDirectory(workDir);
    p.start(OSTREL_BINARY, QStringList{"latency"} + args);
    Result r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) return r;
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

TEST(LatencyCli, BadOptionsExitWithTwoAndSayWhy) {
    struct Case {
        QStringList args;
        const char* said;
    };
    const Case cases[] = {
        {{"--seconds", "0"}, "--seconds takes a whole number from 1 to 3600"},
        {{"--seconds", "3601"}, "--seconds takes a whole number from 1 to 3600"},
        {{"--seconds", "ten"}, "--seconds takes a whole number from 1 to 3600"},
        {{"--period", "0"}, "--period takes a step period from 1 to 65535 ms"},
        {{"--period", "fast"}, "--period takes a step period from 1 to 65535 ms"},
        {{"--frobnicate"}, "Unknown option 'frobnicate'"},
        {{"extra"}, "unexpected argument 'extra'"},
    };
    for (const Case& c : cases) {
        const Result r = latency(c.args);
        EXPECT_EQ(r.code, 2) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.said)) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << "nothing measured";
    }
}

TEST(LatencyCli, HelpGivesTheOptionsAndTheVerdictLimits) {
    const Result r = latency({"--help"});
    EXPECT_EQ(r.code, 0);
    for (const char* part : {"--seconds", "--period", "--normal-priority", "within 2 %",
                             "within 0.1 ms and all within 0.5 ms"}) {
        EXPECT_TRUE(r.out.contains(part)) << part;
    }
}

TEST(LatencyCli, ReportsFiguresAHistogramAndVerdictsAndWritesNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Result r = latency({"--seconds", "1", "--period", "5", "--normal-priority"}, dir.path());
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("the port is not written"));
    EXPECT_TRUE(r.out.contains("Ran at normal priority (--normal-priority)."));
    EXPECT_TRUE(r.out.contains(QRegularExpression(
        "Step period error: p50 [0-9.]+ ms, p99 [0-9.]+ ms, max [0-9.]+ ms \\(\\d+ ticks\\)")));
    EXPECT_TRUE(r.out.contains("<= 0.1 ms"));
    EXPECT_TRUE(r.out.contains("  > 5 ms"));
    EXPECT_TRUE(r.out.contains(
        QRegularExpression("Step speed 5 ms: (good|marginal|unsuitable) \\(.*--normal-priority")));
    // One second holds about 21 dots: too few to judge.
    EXPECT_TRUE(r.out.contains("Shortest dwell 13 ms: marginal (too short a test to judge ("));
    EXPECT_TRUE(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

}  // namespace
