// `ostrel script --realtime`: the same scenario language on the Qt loop and the real clock.
// Only outcomes that do not depend on how fast the machine is are checked.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

namespace {

struct Outcome {
    int code = -1;
    QString out, err;
};

Outcome script(const QStringList& args) {
    QProcess p;
    p.start(OSTREL_BINARY, QStringList{"script"} + args);
    Outcome r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) return r;
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString write(const QTemporaryDir& dir, const QString& name, const QByteArray& text) {
    QFile f(dir.filePath(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    return f.fileName();
}

// Homing ends by itself at the switch, however late each tick comes.
constexpr const char* kHoming = R"(head 6 4
port 3 202
start
wait 250
expect port.888 0
click Command3
until-idle 10000
expect xHomed True
expect sim.x 0
expect xStepCount 0
click Command5
until-idle 10000
expect yHomed True
expect sim.y 0
)";

}  // namespace

TEST(RealtimeScript, HomingRunsToTheSwitchesAndTracesToTheMicrosecond) {
    QTemporaryDir dir;
    const QString scn = write(dir, "homing.scn", kHoming);
    const QString trace = dir.filePath("homing.csv");
    const Outcome r = script({scn, "--realtime", "--trace", trace});
    EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_FALSE(r.err.contains("still busy"));

    QFile f(trace);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_GT(lines.size(), 10);
    EXPECT_EQ(lines.first(), "t_ms,op,port,value");
    const QRegularExpression row(R"(^(\d+\.\d{3}),out,(888|890),\d+$)");
    double last = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const auto m = row.match(lines[i]);
        ASSERT_TRUE(m.hasMatch()) << lines[i].toStdString();
        const double t = m.captured(1).toDouble();
        EXPECT_GE(t, last) << "line " << i + 1;  // the monotonic clock never runs back
        last = t;
    }
    // The first watchdog tick came no sooner than its 200 ms.
    EXPECT_GE(lines[1].section(',', 0, 0).toDouble(), 200.0);
    EXPECT_EQ(lines.last().section(',', 1), "out,888,0");
}

TEST(RealtimeScript, ExitEndsTheScriptAtRest) {
    QTemporaryDir dir;
    const QString scn = write(dir, "exit.scn", R"(head 20 20
start
click Command2(6)
click Command4
expect port.890 203
click Command2(4)
expect port.890 0
)");
    const QString dump = dir.filePath("exit.json");
    const Outcome r = script({scn, "--realtime", "--dump", dump});
    EXPECT_EQ(r.code, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("end of program"));
    EXPECT_FALSE(r.out.contains("expect port.890"));  // no line after Exit ran
    QFile f(dump);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray state = f.readAll();
    EXPECT_TRUE(state.contains("\"port.888\":\"0\"")) << state.toStdString();
    EXPECT_TRUE(state.contains("\"port.890\":\"202\"")) << state.toStdString();
}

TEST(RealtimeScript, AFailedExpectAndAMalformedScriptGiveTheUsualCodes) {
    QTemporaryDir dir;
    Outcome r = script({write(dir, "fail.scn", "start\nexpect xHomed True\n"), "--realtime"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.contains("line 2: expect xHomed")) << r.out.toStdString();
    r = script({write(dir, "bad.scn", "start\nwait soon\n"), "--realtime"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("line 2")) << r.err.toStdString();
}

TEST(RealtimeScript, HelpNamesTheOption) {
    const Outcome r = script({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains("--realtime"));
}

// The run says what its step timing ran at: raised where this user may (real-time priority or a
// lower nice value), normal when asked for or not allowed.
TEST(RealtimeScript, SaysWhatPriorityTheStepTimingRanAt) {
    QTemporaryDir dir;
    const QString scn = write(dir, "homing.scn", kHoming);
    Outcome r = script({scn, "--realtime", "--verbose"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    const QRegularExpression said(
        R"(step timing: (real-time priority \(SCHED_FIFO \d+\)|raised priority \(nice -\d+\)|)"
        R"(normal priority: this user may not raise it))");
    EXPECT_TRUE(said.match(r.err).hasMatch()) << r.err.toStdString();

    r = script({scn, "--realtime", "--verbose", "--normal-priority"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("step timing: normal priority (--normal-priority)"))
        << r.err.toStdString();
}
