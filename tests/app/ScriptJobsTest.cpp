// The scenario lines for pausing, continuing and resuming jobs, and the power cut (a child
// process, since it ends the process).
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <sstream>

#include "app/Script.h"
#include "jobs/JobJournal.h"

namespace ostrel::app {
namespace {

struct Outcome {
    int code = -1;
    std::string out, err;
};

Outcome run(const std::string& script, const std::string& folder) {
    std::ostringstream out, err;
    ScriptOptions options;
    options.folder = folder;
    Outcome r;
    r.code = runScenario(script, options, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A picture job set up through the window: Load of a small grey picture, Precise-Burning.
std::string pictureJob(const QTemporaryDir& dir) {
    QImage image(40, 30, QImage::Format_RGB32);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) image.setPixel(x, y, qRgb(x * 6, y * 8, 90));
    const QString path = dir.path() + "/source.bmp";
    image.save(path, "BMP");
    // The smallest preview: a 15 x 15 job.
    return "start\n"
           "set HScroll1 255\n"
           "set VScroll1 255\n"
           "dialog " +
           path.toStdString() +
           "\n"
           "click Command2(0)\n"
           "set Check1 0\n"
           "set Option1 True\n";
}

TEST(ScriptJobs, PauseHoldsReleasesAndContinues) {
    QTemporaryDir dir;
    const Outcome r = run(pictureJob(dir) +
                              "click Command2(1)\n"
                              "wait 2000\n"
                              "pause\n"
                              "expect port.890 202\n"
                              "expect Timer4.Enabled False\n"
                              "expect Timer5.Enabled False\n"
                              "wait 59000\n"
                              "expect sim.laser False\n"
                              "wait 600000\n"
                              "expect port.888 0\n"
                              "pause\n"
                              "continue\n"
                              "until-idle\n"
                              "expect pixelRow 16\n"
                              "continue\n",
                          dir.path().toStdString());
    EXPECT_EQ(r.code, kScriptFailed) << r.out << r.err;  // the second pause, the last continue
    EXPECT_TRUE(contains(r.out, ": pause: The job is already paused.")) << r.out;
    EXPECT_TRUE(contains(r.out, ": continue: No job is paused.")) << r.out;
    EXPECT_FALSE(contains(r.out, "expect")) << r.out;
    EXPECT_FALSE(QFile::exists(dir.path() + "/" + jobs::kJournalFileName));
}

TEST(ScriptJobs, ResumeAfterAbortFinishesTheJob) {
    QTemporaryDir dir;
    const Outcome r = run(pictureJob(dir) +
                              "click Command2(1)\n"
                              "wait 12345\n"
                              "click Command2(5)\n"
                              "expect port.888 0\n"
                              "resume\n"
                              "until-idle\n"
                              "expect pixelRow 16\n"
                              "expect sim.lostSteps 0\n",
                          dir.path().toStdString());
    EXPECT_EQ(r.code, kScriptPassed) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, ": resume: " + dir.path().toStdString() + "/job.journal from row"))
        << r.out;
    EXPECT_FALSE(QFile::exists(dir.path() + "/" + jobs::kJournalFileName));
}

TEST(ScriptJobs, ResumeRefusesAnotherPictureAndBadLinesAreMalformed) {
    QTemporaryDir dir;
    run(pictureJob(dir) + "click Command2(1)\nwait 5000\nclick Command2(5)\n",
        dir.path().toStdString());
    ASSERT_TRUE(QFile::exists(dir.path() + "/" + jobs::kJournalFileName));
    QImage other(40, 30, QImage::Format_RGB32);
    other.fill(qRgb(7, 7, 7));
    other.save(dir.path() + "/other.bmp", "BMP");
    const Outcome r = run("start\ndialog " + (dir.path() + "/other.bmp").toStdString() +
                              "\nclick Command2(0)\nset Check1 0\nresume\nexpect port.888 0\n",
                          dir.path().toStdString());
    EXPECT_EQ(r.code, kScriptFailed);
    EXPECT_TRUE(contains(r.out, ": resume: picture.bmp is not the picture of the interrupted job"))
        << r.out;
    EXPECT_FALSE(contains(r.out, "expect")) << r.out;

    const Outcome bad = run("start\npause now\nresume a b\n", dir.path().toStdString());
    EXPECT_EQ(bad.code, kScriptMalformed);
}

TEST(ScriptJobs, PowerCutEndsTheProcessAndKeepsOnlyTheSyncedJournal) {
    QTemporaryDir dir;
    QFile script(dir.path() + "/cut.scn");
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(
        (pictureJob(dir) + "click Command2(1)\nwait 9876\npower-cut\nexpect xStepCount 1\n")
            .c_str());
    script.close();
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(OSTREL_BINARY, {"script", "--folder", dir.path(), script.fileName()});
    ASSERT_TRUE(child.waitForFinished(60000));
    const std::string out = child.readAll().toStdString();
    EXPECT_EQ(child.exitCode(), kScriptPowerCut) << out;
    EXPECT_TRUE(contains(out, "power-cut: the machine and the program lose their power")) << out;
    EXPECT_FALSE(contains(out, "expect")) << "nothing runs after the cut: " << out;
    const jobs::JournalContents j =
        jobs::readJournal(dir.path().toStdString() + "/" + jobs::kJournalFileName);
    ASSERT_EQ(j.error, "");
    EXPECT_GT(j.point.dots, 0u);

    // The program starts again and resumes what the journal kept.
    QFile again(dir.path() + "/again.scn");
    ASSERT_TRUE(again.open(QIODevice::WriteOnly));
    again.write((pictureJob(dir) + "resume\nuntil-idle\nexpect pixelRow 16\n").c_str());
    again.close();
    child.start(OSTREL_BINARY, {"script", "--folder", dir.path(), again.fileName()});
    ASSERT_TRUE(child.waitForFinished(60000));
    const std::string out2 = child.readAll().toStdString();
    EXPECT_EQ(child.exitCode(), kScriptPassed) << out2;
    EXPECT_TRUE(contains(out2, ": resume: ")) << out2;
    EXPECT_FALSE(QFile::exists(dir.path() + "/" + jobs::kJournalFileName));
}

}  // namespace
}  // namespace ostrel::app
