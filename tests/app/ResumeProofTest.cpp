// Resume proven with the real binary: a picture job killed, stopped by a signal or ended by a port
// fault in a child `ostrel`, then finished by `ostrel simulate --resume`; the two port traces
// together burn the work piece as the unbroken job does.
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include "app/ResumeChild.h"
#include "app/Safety.h"
#include "jobs/JobJournal.h"

namespace ostrel::test {
namespace {

constexpr int kStepMs = 1;  // short steps: the real-time child reaches its pulses soon

// The unbroken job, from `ostrel simulate`.
Burns unbrokenJob(const QTemporaryDir& dir, const QString& picture) {
    const QString trace = dir.filePath("unbroken.csv");
    const Ran r = runOstrel(simulateJob(picture, kStepMs, kPowerOn) + QStringList{"--trace", trace},
                            dir.path());
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    return replayTrace(trace, kPowerOn).burns;
}

struct Resumed {
    Burns burns;
    QJsonObject resumed;  // the summary's "resumed" object
};

// `ostrel simulate --resume` of the journal, on a machine that stands as `cut` left it: its own
// homing brings the head back from there.
Resumed resumeJob(const QTemporaryDir& dir, const QString& picture, const QString& journal,
                  const Replay& cut) {
    const QString trace = dir.filePath("resumed.csv");
    const Ran r = runOstrel(simulateJob(picture, kStepMs, cut.end) +
                                QStringList{"--resume", journal, "--trace", trace, "--json"},
                            dir.path());
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject summary = QJsonDocument::fromJson(r.out).object();
    EXPECT_TRUE(summary["finished"].toBool()) << r.out.toStdString();
    return {replayTrace(trace, cut.end).burns, summary["resumed"].toObject()};
}

// How many laser-on rows the trace has.
int laserOns(const QString& trace) {
    int n = 0;
    for (const QByteArray& row : traceRows(trace)) n += withoutTime(row) == "out,890,203";
    return n;
}

// Starts the job in real time and waits (bounded) until its laser has come on `pulses` times:
// the journal has records by then, and the next signal most likely finds a dot in its pulse.
void startAndReachPulse(QProcess& child, const QTemporaryDir& dir, const QString& picture,
                        int pulses) {
    const QString script = writeFile(dir, "job.scn", jobScenario(picture, kStepMs));
    const QString trace = dir.filePath("cut.csv");
    startOstrel(child, {"script", script, "--realtime", "--folder", dir.path(), "--trace", trace},
                dir.path());
    ASSERT_TRUE(child.waitForStarted(10000));
    QElapsedTimer clock;
    clock.start();
    while (laserOns(trace) < pulses && clock.elapsed() < 60000) QThread::msleep(5);
    ASSERT_GE(laserOns(trace), pulses) << child.readAllStandardError().toStdString();
    ASSERT_TRUE(QFile::exists(dir.filePath(jobs::kJournalFileName)));
}

struct Dot {
    Burn cut, resumed;
};

// Every dot of the unbroken job, with what the cut job and the resume gave it; a dot that the
// unbroken job never burns fails here.
std::map<std::pair<int64_t, int64_t>, Dot> byDot(const Burns& unbroken, const Burns& cut,
                                                 const Burns& resumed) {
    std::map<std::pair<int64_t, int64_t>, Dot> dots;
    for (const auto& [at, burn] : unbroken) dots[at];
    for (const auto& [at, burn] : cut) {
        EXPECT_TRUE(unbroken.count(at)) << "the cut job burned " << at.first << "," << at.second;
        if (unbroken.count(at)) dots[at].cut = burn;
    }
    for (const auto& [at, burn] : resumed) {
        EXPECT_TRUE(unbroken.count(at)) << "the resume burned " << at.first << "," << at.second;
        if (unbroken.count(at)) dots[at].resumed = burn;
    }
    return dots;
}

TEST(ResumeProof, SigkillThenResumeSkipsNoDotAndBurnsAgainOnlyTheDotInItsPulse) {
    QTemporaryDir dir;
    const QString picture = stripedPicture(dir);
    const Burns unbroken = unbrokenJob(dir, picture);
    ASSERT_GT(unbroken.size(), 100u);

    QProcess child;
    startAndReachPulse(child, dir, picture, 12);
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    ASSERT_TRUE(child.waitForFinished(20000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);

    const QString journal = dir.filePath(jobs::kJournalFileName);
    const jobs::JournalContents kept = jobs::readJournal(journal.toStdString());
    ASSERT_EQ(kept.error, "");
    const Replay cut = replayTrace(dir.filePath("cut.csv"), kPowerOn);
    const Resumed resumed = resumeJob(dir, picture, journal, cut);
    EXPECT_EQ(resumed.resumed["dotsDone"].toInteger(), kept.point.dots);
    EXPECT_EQ(resumed.resumed["owedMs"].toInt(), kept.point.owedMs);

    int twice = 0;
    for (const auto& [at, dot] : byDot(unbroken, cut.burns, resumed.burns)) {
        SCOPED_TRACE(std::to_string(at.first) + "," + std::to_string(at.second));
        const int pulses = dot.cut.pulses + dot.resumed.pulses;
        EXPECT_GE(pulses, 1) << "skipped";
        EXPECT_LE(pulses, 2);
        if (dot.resumed.pulses > 0) {
            EXPECT_EQ(dot.resumed.ms, unbroken.at(at).ms);
        }
        if (pulses == 2) {
            // The laser time it had is not known: the journal owes it the whole pulse.
            ++twice;
            EXPECT_EQ(kept.point.owedMs, unbroken.at(at).ms);
        }
    }
    EXPECT_LE(twice, 1) << "only the dot cut in its pulse";
}

TEST(ResumeProof, SigtermThenResumeBurnsEveryDotOnceAndTheCutOneForWhatItStillNeeded) {
    QTemporaryDir dir;
    const QString picture = stripedPicture(dir);
    const Burns unbroken = unbrokenJob(dir, picture);

    QProcess child;
    startAndReachPulse(child, dir, picture, 20);
    ::kill(static_cast<pid_t>(child.processId()), SIGTERM);
    ASSERT_TRUE(child.waitForFinished(20000));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 128 + SIGTERM);

    const QString journal = dir.filePath(jobs::kJournalFileName);
    const jobs::JournalContents kept = jobs::readJournal(journal.toStdString());
    ASSERT_EQ(kept.error, "");
    const Replay cut = replayTrace(dir.filePath("cut.csv"), kPowerOn);
    EXPECT_FALSE(cut.laserOn) << "the signal put the machine at rest";
    const Resumed resumed = resumeJob(dir, picture, journal, cut);

    for (const auto& [at, dot] : byDot(unbroken, cut.burns, resumed.burns)) {
        SCOPED_TRACE(std::to_string(at.first) + "," + std::to_string(at.second));
        if (dot.cut.pulses == 1 && dot.resumed.pulses == 1) {
            // Cut with the laser on: the resume gives it only what it still needed.
            EXPECT_GT(kept.point.owedMs, 0);
            EXPECT_LE(kept.point.owedMs, unbroken.at(at).ms);
            EXPECT_EQ(dot.resumed.ms, kept.point.owedMs);
            continue;
        }
        EXPECT_EQ(dot.cut.pulses + dot.resumed.pulses, 1) << "each dot exactly once";
        if (dot.resumed.pulses == 1) {
            EXPECT_EQ(dot.resumed.ms, unbroken.at(at).ms);
        }
    }
}

// The writes of the unbroken job as a scenario, numbered as the simulator's fail settings count
// them (from 1), to choose where a port fault strikes.
QList<QByteArray> scenarioWrites(const QTemporaryDir& dir, const QString& picture) {
    const QString script = writeFile(dir, "whole.scn", jobScenario(picture, kStepMs));
    const QString trace = dir.filePath("whole.csv");
    const Ran r =
        runOstrel({"script", script, "--folder", dir.path(), "--trace", trace}, dir.path());
    EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
    QList<QByteArray> writes;
    for (const QByteArray& row : traceRows(trace)) writes << withoutTime(row);
    return writes;
}

TEST(ResumeProof, APortFaultEndsTheJobWithThreeAndTheResumeBurnsEveryDotExactlyOnce) {
    QTemporaryDir dir;
    const QString picture = stripedPicture(dir);
    const Burns unbroken = unbrokenJob(dir, picture);
    const QList<QByteArray> writes = scenarioWrites(dir, picture);
    // The 30th laser-on of the job, the laser-off that ends its pulse, the release of the coils
    // before it and the last coil word of the sweep before that.
    qsizetype on = -1;
    for (int seen = 0; seen < 30 && on + 1 < writes.size();) seen += writes[++on] == "out,890,203";
    ASSERT_EQ(writes[on], "out,890,203");
    const qsizetype off = writes.indexOf("out,890,202", on);
    qsizetype coil = on;
    while (coil > 0 && !(writes[coil].startsWith("out,888,") && writes[coil] != "out,888,0"))
        --coil;
    ASSERT_GT(coil, 0);
    // A dot's pulse begins with the coils released.
    const qsizetype release = on - 1;
    ASSERT_EQ(writes[release], "out,888,0");
    // The numbers count from 1.
    const QByteArray onN = QByteArray::number(on + 1), offN = QByteArray::number(off + 1),
                     coilN = QByteArray::number(coil + 1);

    const std::pair<const char*, QByteArray> faults[] = {
        {"a coil word fails", "fail-write " + coilN + "\n"},
        {"the coils' release for a dot fails", "fail-write " + QByteArray::number(on) + "\n"},
        {"the laser's switch-on fails", "fail-write " + onN + "\n"},
        {"the laser's switch-off fails", "fail-write " + offN + "\n"},
        {"the port stops answering in the sweep", "fail-after " + QByteArray::number(coil) + "\n"},
        {"the port stops answering at a switch-on", "fail-after " + QByteArray::number(on) + "\n"},
    };
    for (const auto& [name, setUp] : faults) {
        SCOPED_TRACE(name);
        QTemporaryDir run;
        const QString script = writeFile(run, "job.scn", jobScenario(picture, kStepMs, setUp));
        const QString trace = run.filePath("cut.csv");
        const Ran r =
            runOstrel({"script", script, "--folder", run.path(), "--trace", trace}, run.path());
        ASSERT_EQ(r.code, app::safety::kPortFaultStatus) << r.out.toStdString();
        const Replay cut = replayTrace(trace, kPowerOn);
        EXPECT_FALSE(cut.laserOn);
        const QString journal = run.filePath(jobs::kJournalFileName);
        const Resumed resumed = resumeJob(run, picture, journal, cut);
        ASSERT_FALSE(resumed.resumed.isEmpty());

        for (const auto& [at, dot] : byDot(unbroken, cut.burns, resumed.burns)) {
            SCOPED_TRACE(std::to_string(at.first) + "," + std::to_string(at.second));
            EXPECT_EQ(dot.cut.ms + dot.resumed.ms, unbroken.at(at).ms);
            EXPECT_EQ(dot.cut.pulses + dot.resumed.pulses, 1);
        }
    }
}

}  // namespace
}  // namespace ostrel::test
