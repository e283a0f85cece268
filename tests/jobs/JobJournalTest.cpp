// The job journal: its records survive as written, a torn last record is left out, bad
// journals and changed jobs are refused with a reason, and it is synced at most every half
// second, at every pause and at Abort.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "JobSupport.h"

using namespace ostrel;

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
void writeAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

jobs::JournalPoint pointNo(int i) {
    jobs::JournalPoint p;
    p.column = i % 7;
    p.row = i / 7;
    p.xSteps = 8 * p.column;
    p.ySteps = -2 * p.row;  // signed fields keep their sign
    p.xPhase = static_cast<int16_t>(i % 8);
    p.yPhase = 3;
    p.dotCycle = 1;
    p.xWord = 8;
    p.yWord = 128;
    p.owedMs = i % 3 == 0 ? 0 : 40 + i;
    p.dots = static_cast<uint32_t>(i);
    p.startYPhase = 2;
    p.rowStartXPhase = 3;
    p.advanceTicks = 2 * p.row;
    p.sweepTicks = 16 * p.column;
    return p;
}

class JournalFileTest : public ::testing::Test {
  protected:
    JournalFileTest() {
        header.pictureHash[0] = 0xAB;
        header.coarse = 1;
        header.hologram = 1;
        header.sensitivity = 117;
        header.width = 127;
        header.height = 103;
        header.stepMs = 10;
        path = h.host.folder + "/" + jobs::kJournalFileName;
        h.start();
        test::preparePictureJob(h, test::patternPicture(127, 103));
    }
    // A journal of `n` records, closed.
    void write(int n) {
        jobs::JobJournal j;
        ASSERT_EQ(j.create(path, header, 0), "");
        for (int i = 0; i < n; ++i) j.append(pointNo(i), i);
        j.close();
    }

    test::Harness h;
    jobs::JournalHeader header;
    std::string path;
};

TEST_F(JournalFileTest, ReadsBackTheHeaderAndTheLastRecord) {
    write(20);
    const jobs::JournalContents got = jobs::readJournal(path);
    ASSERT_EQ(got.error, "");
    EXPECT_EQ(got.records, 20u);
    EXPECT_FALSE(got.tornTail);
    EXPECT_EQ(got.point, pointNo(19));
    EXPECT_EQ(got.header.pictureHash, header.pictureHash);
    EXPECT_EQ(got.header.sensitivity, 117);
    EXPECT_EQ(got.header.width, 127);
    EXPECT_EQ(got.header.height, 103);
    EXPECT_EQ(got.header.stepMs, 10);
    EXPECT_EQ(got.header.coarse, 1);
    EXPECT_EQ(got.header.hologram, 1);
    EXPECT_EQ(readAll(path).size(), jobs::kHeaderBytes + 20 * jobs::kRecordBytes);
}

TEST_F(JournalFileTest, TheBackgroundSyncCoversWhatWasWrittenWhenItWasAskedAndCloseAllOfIt) {
    jobs::JobJournal j;
    j.setBackgroundSync(true);
    ASSERT_EQ(j.create(path, header, 0), "");
    EXPECT_EQ(j.syncedBytes(), j.writtenBytes());  // the header is on the disk at once
    for (int i = 0; i < 5; ++i) j.append(pointNo(i), 100.0 * i);
    EXPECT_TRUE(j.syncDue(900));
    const uint64_t asked = j.writtenBytes();
    j.syncSoon(900);
    // The next half second counts from the request, whatever the thread still does.
    EXPECT_FALSE(j.syncDue(1399));
    j.append(pointNo(5), 1000);
    j.waitForSync();
    EXPECT_GE(j.syncedBytes(), asked);
    EXPECT_LT(j.syncedBytes(), j.writtenBytes());
    EXPECT_TRUE(j.syncDue(1400));
    for (int i = 6; i < 20; ++i) {
        j.append(pointNo(i), 1000.0 + i);
        j.syncSoon(1000.0 + i);  // one sync at a time: asking while one is busy is no error
    }
    j.close();
    EXPECT_EQ(j.syncedBytes(), j.writtenBytes());
    const jobs::JournalContents got = jobs::readJournal(path);
    ASSERT_EQ(got.error, "");
    EXPECT_EQ(got.records, 20u);
    EXPECT_EQ(got.point, pointNo(19));
    j.setBackgroundSync(false);
}

TEST_F(JournalFileTest, ATornLastRecordIsLeftOut) {
    struct Tear {
        const char* what;
        std::function<void(std::string&)> tear;
    };
    const std::vector<Tear> tears = {
        {"cut in the middle", [](std::string& b) { b.resize(b.size() - 17); }},
        {"one byte short", [](std::string& b) { b.resize(b.size() - 1); }},
        {"last byte changed", [](std::string& b) { b.back() = static_cast<char>(b.back() ^ 1); }},
        {"zeros where it should be",
         [](std::string& b) { std::fill(b.end() - jobs::kRecordBytes, b.end(), '\0'); }},
    };
    for (const Tear& t : tears) {
        SCOPED_TRACE(t.what);
        write(5);
        std::string bytes = readAll(path);
        t.tear(bytes);
        writeAll(path, bytes);
        const jobs::JournalContents got = jobs::readJournal(path);
        ASSERT_EQ(got.error, "");
        EXPECT_TRUE(got.tornTail);
        EXPECT_EQ(got.records, 4u);
        EXPECT_EQ(got.point, pointNo(3));
    }
}

TEST_F(JournalFileTest, BadJournalsAreRefusedWithAReason) {
    struct Bad {
        const char* what;
        std::function<void(std::string&)> spoil;
        std::string message;
    };
    const auto atOffset = [](size_t at) {
        return [at](std::string& b) { b[at] = static_cast<char>(b[at] ^ 0x40); };
    };
    const std::vector<Bad> bad = {
        {"empty", [](std::string& b) { b.clear(); }, "The file is not a job journal."},
        {"garbage", [](std::string& b) { b = std::string(300, '\x5a'); },
         "The file is not a job journal."},
        {"a picture", [](std::string& b) { b.replace(0, 2, "BM"); },
         "The file is not a job journal."},
        {"a later version", [](std::string& b) { b[8] = 2; },
         "The job journal is of version 2; this program reads version 1."},
        {"header cut short", [](std::string& b) { b.resize(40); },
         "The job journal's header is cut short or damaged."},
        {"header changed", atOffset(60), "The job journal's header is damaged (checksum)."},
        {"a record in the middle changed", atOffset(jobs::kHeaderBytes + jobs::kRecordBytes + 9),
         "The job journal is damaged: record 2 fails its checksum."},
        {"no record at all", [](std::string& b) { b.resize(jobs::kHeaderBytes); },
         "The job journal records no progress: nothing to resume."},
        {"only a torn record", [](std::string& b) { b.resize(jobs::kHeaderBytes + 9); },
         "The job journal records no progress: nothing to resume."},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.what);
        write(4);
        std::string bytes = readAll(path);
        b.spoil(bytes);
        writeAll(path, bytes);
        EXPECT_EQ(jobs::readJournal(path).error, b.message);
        // Nothing is resumed: the machine is not touched.
        h.clearTrace();
        EXPECT_EQ(h.engraver->jobResume().resume(), b.message);
        h.wait(60000);
        EXPECT_TRUE(h.writes().empty());
    }
    EXPECT_EQ(jobs::readJournal(path + ".none").error,
              "There is no job journal to resume (" + path + ".none).");
    // A FIFO or a folder in the journal's place is refused at once, never waited on.
    const std::string fifo = path + ".fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& notPlain : {fifo, h.host.folder}) {
        EXPECT_EQ(jobs::readJournal(notPlain).error,
                  "The job journal " + notPlain +
                      " cannot be read: it is no plain file of at most 64 MB.");
    }
    EXPECT_FALSE(jobs::hashFile(fifo).has_value());
}

TEST(JournalCrc, KnownValues) {
    EXPECT_EQ(jobs::crc32("", 0), 0u);
    EXPECT_EQ(jobs::crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(jobs::crc32("The quick brown fox jumps over the lazy dog", 43), 0x414FA339u);
}

// --- The journal of a running job ---

class RunJournalTest : public ::testing::Test {
  protected:
    RunJournalTest() {
        h.start();
        test::preparePictureJob(h, test::patternPicture(6, 3));
        path = h.host.folder + "/" + jobs::kJournalFileName;
    }
    const jobs::JobJournal& journal() { return h.engraver->pictureRun().journal(); }

    test::Harness h;
    std::string path;
};

TEST_F(RunJournalTest, SyncedAtMostEveryHalfSecondAndAtPauseAndAbort) {
    h.engraver->pictureRun().start();
    ASSERT_TRUE(journal().isOpen());
    EXPECT_EQ(journal().syncedBytes(), journal().writtenBytes());  // the start is on the disk
    // Follow the journal at every dispatch: what is written but not synced is never older
    // than half a second.
    double unsyncedSince = -1;
    uint64_t lastSynced = journal().syncedBytes();
    double worst = 0;
    h.loop.setAfterDispatch([&] {
        const double now = h.loop.nowMs();
        if (journal().syncedBytes() != lastSynced) {
            lastSynced = journal().syncedBytes();
            unsyncedSince = -1;
        }
        if (journal().writtenBytes() > journal().syncedBytes() && unsyncedSince < 0)
            unsyncedSince = now;
        if (unsyncedSince >= 0 && journal().writtenBytes() > lastSynced)
            worst = std::max(worst, now - unsyncedSince);
    });
    h.wait(4000);
    h.loop.setAfterDispatch({});
    EXPECT_GT(journal().writtenBytes(), jobs::kHeaderBytes + 10 * jobs::kRecordBytes);
    // Checked after each dispatch; one comes at least every step period or dot pulse.
    EXPECT_LE(worst, jobs::kJournalSyncMs + 100);
    ASSERT_EQ(h.engraver->jobPause().pause(), "");
    EXPECT_EQ(journal().syncedBytes(), journal().writtenBytes());
    ASSERT_EQ(h.engraver->jobPause().continueRun(), "");
    h.wait(1234);
    ASSERT_EQ(h.engraver->click("Command2(5)"), engraver::EventResult::Handled);
    EXPECT_FALSE(journal().isOpen());
    const jobs::JournalContents kept = jobs::readJournal(path);
    ASSERT_EQ(kept.error, "");
    EXPECT_EQ(readAll(path).size(), jobs::kHeaderBytes + kept.records * jobs::kRecordBytes);
    ASSERT_TRUE(journal().last().has_value());
    EXPECT_EQ(kept.point, *journal().last()) << "Abort leaves the last record on the disk";
}

TEST_F(RunJournalTest, RemovedWhenTheJobEndsByItselfAndNoneWithoutAPicture) {
    h.engraver->pictureRun().start();
    ASSERT_TRUE(QFile::exists(QString::fromStdString(path)));
    ASSERT_TRUE(test::untilJobDone(h));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));

    QFile::remove(QString::fromStdString(h.host.folder + "/picture.bmp"));
    h.engraver->pictureRun().start();
    EXPECT_FALSE(journal().isOpen()) << "the job still runs, without a journal";
    EXPECT_TRUE(h.form().Timer4.Enabled());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
}

TEST_F(RunJournalTest, ResumeRefusesWhenThePictureOrASettingDiffers) {
    h.engraver->pictureRun().start();
    h.wait(3000);
    ASSERT_EQ(h.engraver->click("Command2(5)"), engraver::EventResult::Handled);
    struct Change {
        const char* what;
        std::function<void(test::Harness&)> change;
        std::string message;
    };
    const std::vector<Change> changes = {
        {"another picture",
         [](test::Harness& x) {
             test::patternPicture(6, 3, 9).save(
                 QString::fromStdString(x.host.folder + "/picture.bmp"), "BMP");
         },
         "picture.bmp is not the picture of the interrupted job: it was prepared again from "
         "another picture or with other settings."},
        {"no picture",
         [](test::Harness& x) {
             QFile::remove(QString::fromStdString(x.host.folder + "/picture.bmp"));
         },
         "picture.bmp cannot be read in " + h.host.folder +
             ". The interrupted job cannot be resumed without it."},
        {"mode", [](test::Harness& x) { x.form().Check1.value = 1; },
         "The interrupted job ran in Precise-Burning; the window is set to Coarse-Burning."},
        {"hologram", [](test::Harness& x) { x.form().Check2.value = 1; },
         "The interrupted job ran with \"Hologram-Efect\" off; it is on now."},
        {"sensitivity", [](test::Harness& x) { x.form().HScroll3.value += 3; },
         "The interrupted job ran at sensitivity 100; it is 103 now."},
        {"size", [](test::Harness& x) { x.form().Picture2.setPicture(test::patternPicture(7, 3)); },
         "The interrupted job's picture was 6x3 pixels; it is 7x3 now."},
        {"speed", [](test::Harness& x) { x.form().Combo1.caption = "20"; },
         "The interrupted job stepped every 10 ms; the step period is 20 ms now."},
    };
    const std::string bmp = readAll(h.host.folder + "/picture.bmp");
    for (const Change& c : changes) {
        SCOPED_TRACE(c.what);
        test::Harness x;
        x.host.folder = h.host.folder;
        x.start();
        test::preparePictureJob(x, test::patternPicture(6, 3));
        x.form().HScroll3.value = h.form().HScroll3.value;
        c.change(x);
        EXPECT_EQ(x.engraver->jobResume().check().error, c.message);
        x.clearTrace();
        EXPECT_EQ(x.engraver->jobResume().resume(), c.message);
        x.wait(60000);
        EXPECT_TRUE(x.writes().empty()) << "nothing is resumed";
        EXPECT_FALSE(x.engraver->jobResume().running());
        writeAll(h.host.folder + "/picture.bmp", bmp);
        x.host.folder.clear();  // h removes it
    }
}

}  // namespace
