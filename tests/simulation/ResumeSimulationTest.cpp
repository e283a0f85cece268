// Whole jobs resumed from a journal in virtual time: the union of the cut job and its resume
// against the unbroken job, dot by dot, and the journals that are refused.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <map>
#include <utility>

#include "jobs/JobJournal.h"
#include "simulation/JobSimulation.h"
#include "support/Harness.h"

using namespace ostrel;
using simulation::JobOutcome;
using simulation::JobSpec;
using simulation::JobSummary;

namespace {

// Laser-on time per head position (half-steps), and how many stretches made it up.
struct Burn {
    double ms = 0;
    int pulses = 0;
};
using Burns = std::map<std::pair<int64_t, int64_t>, Burn>;

Burns burnsOf(const std::vector<machine::Exposure>& exposures) {
    Burns out;
    for (const machine::Exposure& e : exposures) {
        Burn& b = out[{e.x, e.y}];
        b.ms += e.ms;
        ++b.pulses;
    }
    return out;
}

// Stripes of dark and light: Coarse-Burning burns about half the dots.
std::string stripes(const QTemporaryDir& dir) {
    QImage image(15, 15, QImage::Format_RGB32);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 15; ++x)
            image.setPixel(x, y, (x + y) % 3 == 0 ? qRgb(250, 250, 250) : qRgb(90, 90, 90));
    const QString path = dir.filePath("stripes.png");
    EXPECT_TRUE(image.save(path));
    return path.toStdString();
}

JobSpec stripesJob(const std::string& picture) {
    JobSpec spec;
    spec.picturePath = picture;
    spec.width = spec.height = 15;
    spec.machine.headX = 12;  // homing moves the head: the rotors stand as homing leaves them
    spec.machine.headY = 7;
    return spec;
}

QByteArray readAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const std::string& path, const QByteArray& bytes) {
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// The striped job as the window runs it (journalling, which a computed job does not), set up as
// simulateJob sets it up, and the program killed `cutMs` after Run: the journal as it then stood
// is copied into `folder`. Returns the copy's path and, in `cut`, the burns made until then.
std::string cutJob(const JobSpec& job, const QTemporaryDir& folder, int64_t cutMs, Burns& cut) {
    test::Harness h(job.machine);
    h.start();
    engraver::Engraver& window = *h.engraver;
    window.click("Command3");
    h.untilIdle();
    window.click("Command5");
    h.untilIdle();
    h.wait(1000);
    EXPECT_FALSE(h.form().Timer10.Enabled()) << "the start-up notice is over";
    for (const auto& [name, value] : {std::pair<std::string, std::string>{"HScroll1", "255"},
                                      {"VScroll1", "255"},
                                      {"HScroll3", std::to_string(job.sensitivity)},
                                      {"Check1", job.coarse ? "1" : "0"},
                                      {"Check2", job.hologram ? "1" : "0"},
                                      {"Combo1", job.stepMs}}) {
        window.set(name, value);
    }
    h.host.dialogAnswers.assign(1, job.picturePath);
    window.click("Command2(0)");
    window.click("Option1");
    window.click("Command2(1)");
    EXPECT_TRUE(h.form().Timer4.Enabled());
    h.wait(cutMs);
    cut = burnsOf(h.sim->exposures());
    const std::string journal = folder.filePath(jobs::kJournalFileName).toStdString();
    writeAll(journal, readAll(h.tempDir + "/" + jobs::kJournalFileName));
    return journal;
}

TEST(ResumedJob, TheCutJobAndItsResumeBurnEveryDotOfTheUnbrokenJobOnce) {
    QTemporaryDir dir;
    const JobSpec job = stripesJob(stripes(dir));
    const JobSummary whole = simulation::simulateJob(job);
    ASSERT_EQ(whole.outcome, JobOutcome::Finished) << whole.error;
    const Burns unbroken = burnsOf(whole.exposures);
    ASSERT_GT(unbroken.size(), 60u);

    bool cutInPulse = false, cutOutside = false;
    // From the first row to the last rows; some fall in a dot's pulse, some between.
    for (const int64_t cutMs : {1234, 9000, 21345, 33331, 47000, 60123, 77777}) {
        SCOPED_TRACE("cut " + std::to_string(cutMs) + " ms after Run");
        QTemporaryDir folder;
        Burns first;
        const std::string journal = cutJob(job, folder, cutMs, first);
        const QByteArray before = readAll(journal);
        ASSERT_FALSE(before.isEmpty());

        JobSpec again = job;
        again.resumeJournal = journal;
        const JobSummary resumed = simulation::simulateJob(again);
        ASSERT_EQ(resumed.outcome, JobOutcome::Finished) << resumed.error;
        EXPECT_EQ(readAll(journal), before) << "the journal named is only read";
        EXPECT_EQ(resumed.resumed.path, journal);
        EXPECT_GT(resumed.resumed.records, 0u);
        EXPECT_FALSE(resumed.resumed.tornTail);
        EXPECT_EQ(resumed.resumed.point.dots + resumed.dotsDealt, whole.dotsDealt);
        EXPECT_EQ(resumed.resumed.dotsLeft, resumed.dotsDealt);
        EXPECT_EQ(resumed.rows, whole.rows);
        EXPECT_EQ(resumed.lostSteps, 0u);
        EXPECT_EQ(resumed.xStepCount, whole.xStepCount);
        EXPECT_EQ(resumed.yStepCount, whole.yStepCount);

        const Burns second = burnsOf(resumed.exposures);
        int partial = 0;
        for (const auto& [dot, full] : unbroken) {
            const Burn a = first.count(dot) ? first.at(dot) : Burn{};
            const Burn b = second.count(dot) ? second.at(dot) : Burn{};
            EXPECT_LE(a.pulses + b.pulses, 2) << dot.first << "," << dot.second;
            if (a.pulses == 1 && b.pulses == 1) {
                // Cut in its pulse: the laser time is not known, so it burns again in full.
                ++partial;
                EXPECT_LT(a.ms, full.ms);
                EXPECT_EQ(b.ms, full.ms);
                EXPECT_EQ(resumed.resumed.point.owedMs, full.ms);
            } else {
                EXPECT_EQ(a.ms + b.ms, full.ms) << dot.first << "," << dot.second;
                EXPECT_EQ(a.pulses + b.pulses, 1) << dot.first << "," << dot.second;
            }
        }
        EXPECT_LE(partial, 1);
        for (const Burns* part : {&std::as_const(first), &second}) {
            for (const auto& [dot, burn] : *part)
                EXPECT_TRUE(unbroken.count(dot))
                    << "a dot the job never burns at " << dot.first << "," << dot.second;
        }
        (resumed.resumed.point.owedMs > 0 ? cutInPulse : cutOutside) = true;
    }
    EXPECT_TRUE(cutInPulse && cutOutside) << "the cuts fall both in a pulse and between pulses";
}

TEST(ResumedJob, ATornLastRecordIsLeftOutAndTheJobStillFinishes) {
    QTemporaryDir dir, folder;
    const JobSpec job = stripesJob(stripes(dir));
    Burns cut;
    const std::string journal = cutJob(job, folder, 30000, cut);
    QByteArray bytes = readAll(journal);
    bytes.append(bytes.right(static_cast<int>(jobs::kRecordBytes)).left(20));  // cut short
    writeAll(journal, bytes);

    JobSpec again = job;
    again.resumeJournal = journal;
    const JobSummary resumed = simulation::simulateJob(again);
    ASSERT_EQ(resumed.outcome, JobOutcome::Finished) << resumed.error;
    EXPECT_TRUE(resumed.resumed.tornTail);
    EXPECT_EQ(resumed.resumed.records, (bytes.size() - jobs::kHeaderBytes) / jobs::kRecordBytes);
}

const std::string kOtherPicture =
    "picture.bmp is not the picture of the interrupted job: it was prepared again from another "
    "picture or with other settings.";

TEST(ResumedJob, AJournalThatDoesNotFitTheJobIsRefusedWithItsReasonAndNothingMoves) {
    QTemporaryDir dir, folder;
    const std::string picture = stripes(dir);
    const JobSpec job = stripesJob(picture);
    Burns cut;
    const std::string journal = cutJob(job, folder, 15000, cut);
    const QByteArray good = readAll(journal);
    ASSERT_GT(good.size(), static_cast<int>(jobs::kHeaderBytes + 3 * jobs::kRecordBytes));

    QImage other(15, 15, QImage::Format_RGB32);
    other.fill(qRgb(20, 20, 20));
    const std::string otherPicture = dir.filePath("other.png").toStdString();
    other.save(QString::fromStdString(otherPicture));
    const std::string damaged = dir.filePath("damaged.journal").toStdString();
    const std::string fifo = dir.filePath("fifo.journal").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    struct Case {
        const char* name;
        std::function<void(JobSpec&)> change;          // the job as it is set up now
        std::function<QByteArray(QByteArray)> damage;  // the journal's bytes
        std::string reason;
    };
    auto setByte = [](int at, char value) {
        return [at, value](QByteArray b) {
            b[at] = value;
            return b;
        };
    };
    // Load prepares picture.bmp by the mode and the sensitivity: these give another picture.bmp.
    const Case cases[] = {
        {"precise", [](JobSpec& s) { s.coarse = false; }, {}, kOtherPicture},
        {"sensitivity", [](JobSpec& s) { s.sensitivity = 60; }, {}, kOtherPicture},
        {"hologram",
         [](JobSpec& s) { s.hologram = true; },
         {},
         "The interrupted job ran with \"Hologram-Efect\" off; it is on now."},
        {"step",
         [](JobSpec& s) { s.stepMs = "12"; },
         {},
         "The interrupted job stepped every 10 ms; the step period is 12 ms now."},
        {"other picture",
         [&otherPicture](JobSpec& s) { s.picturePath = otherPicture; },
         {},
         kOtherPicture},
        {"size", [](JobSpec& s) { s.width = 16; }, {}, kOtherPicture},
        // The journal's own refusals (version, garbage, damaged records) are the reader's;
        // one shows that they end the job here.
        {"header checksum",
         {},
         setByte(20, 'x'),
         "The job journal's header is damaged (checksum)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobSpec spec = job;
        if (c.change) c.change(spec);
        spec.resumeJournal = journal;
        if (c.damage) {
            writeAll(damaged, c.damage(good));
            spec.resumeJournal = damaged;
        }
        const JobSummary refused = simulation::simulateJob(spec);
        EXPECT_EQ(refused.outcome, JobOutcome::Unusable);
        EXPECT_EQ(refused.error, c.reason);
        EXPECT_TRUE(refused.exposures.empty());
        EXPECT_EQ(readAll(journal), good);
    }

    // Not a file to read: refused before anything runs, a FIFO without waiting for a writer.
    const std::pair<std::string, std::string> missing[] = {
        {dir.filePath("none.journal").toStdString(),
         "There is no job journal to resume (" + dir.filePath("none.journal").toStdString() + ")."},
        {dir.path().toStdString(),
         "cannot read the journal " + dir.path().toStdString() + ": not a file"},
        {fifo, "cannot read the journal " + fifo + ": not a file"},
    };
    for (const auto& [path, reason] : missing) {
        JobSpec spec = job;
        spec.resumeJournal = path;
        EXPECT_EQ(simulation::checkSpec(spec), reason);
        EXPECT_EQ(simulation::simulateJob(spec).error, reason);
    }
    JobSpec frame = job;
    frame.kind = simulation::JobKind::Frame;
    frame.resumeJournal = journal;
    EXPECT_EQ(simulation::checkSpec(frame), "only a picture job has a journal to resume");
}

}  // namespace

namespace {

TEST(PictureHash, TheResolutionQtWritesDoesNotCountAPixelDoes) {
    QTemporaryDir dir;
    QImage image(15, 15, QImage::Format_RGB32);
    image.fill(qRgb(90, 90, 90));
    auto hashOf = [&dir](QImage picture, int dotsPerMeter) {
        picture.setDotsPerMeterX(dotsPerMeter);
        picture.setDotsPerMeterY(dotsPerMeter);
        const QString path = dir.filePath("picture.bmp");
        EXPECT_TRUE(picture.save(path, "BMP"));
        return jobs::hashPicture(path.toStdString());
    };
    const auto headless = hashOf(image, 3937), screen = hashOf(image, 3780);
    ASSERT_TRUE(headless.has_value());
    EXPECT_EQ(headless, screen);
    image.setPixel(3, 4, qRgb(91, 90, 90));
    EXPECT_NE(hashOf(image, 3937), headless);
    EXPECT_FALSE(jobs::hashPicture(dir.filePath("none.bmp").toStdString()).has_value());
}

}  // namespace
