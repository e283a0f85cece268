// Pause, Continue and Resume in the windows: the Job menu, the Machine window's Job box and its
// resume offer, all in virtual time on the simulated engraver.
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include "UiTestSupport.h"
#include "jobs/JobSupport.h"
#include "ui/MachineWindow.h"

namespace ostrel::test {
namespace {

using machine::CONTROL_REG;

QImage jobPicture() {
    return patternPicture(8, 4, 2);
}

class JobControlsTest : public WindowTest {
  public:
    void SetUp() override {
        WindowTest::SetUp();
        machine = std::make_unique<ui::MachineWindow>(*h.engraver, h.sim.get());
        machine->attachTo(*window);
        pauseItem = window->jobMenu()->findChild<QAction*>(QStringLiteral("pause"));
        ASSERT_NE(pauseItem, nullptr);
    }
    void TearDown() override { machine.reset(); }

    QString text(const char* name) {
        return machine->findChild<QLabel*>(QString::fromLatin1(name))->text();
    }
    QPushButton* button(const char* name) {
        return machine->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    // A picture job at home: picture.bmp in the program folder, "Picture engraving" chosen.
    void chooseJob() {
        preparePictureJob(h, jobPicture());
        ASSERT_EQ(h.engraver->click("Option1"), engraver::EventResult::Handled);
    }
    void run() {
        ASSERT_EQ(h.engraver->click("Command2(1)"), engraver::EventResult::Handled);
        machine->noteOperatorEvent();  // as the main window reports the click
    }
    void render() {
        window->renderNow();
        machine->refreshNow();
    }
    // Runs the job to `cutMs` and aborts it; the journal stays.
    void interrupt(int64_t cutMs) {
        chooseJob();
        run();
        h.wait(cutMs);
        ASSERT_EQ(h.engraver->click("Command2(5)"), engraver::EventResult::Handled);
        machine->noteOperatorEvent();
        ASSERT_TRUE(QFile::exists(QString::fromStdString(journal())));
    }
    std::string journal() const { return h.host.folder + "/" + jobs::kJournalFileName; }

    std::unique_ptr<ui::MachineWindow> machine;
    QAction* pauseItem = nullptr;
};

// --- Pause and Continue ---

TEST_F(JobControlsTest, JobMenuPausesWithTheLaserOffFirstAndContinuesWhenItCanAct) {
    EXPECT_EQ(window->jobMenu()->title(), QStringLiteral("Job"));
    EXPECT_EQ(pauseItem->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    render();
    EXPECT_FALSE(pauseItem->isEnabled()) << "no job to pause";
    EXPECT_EQ(pauseItem->text(), QStringLiteral("Pause"));

    chooseJob();
    run();
    ASSERT_TRUE(h.loop.advanceUntil([this] { return h.sim->laserOn(); }, 60'000));
    render();
    ASSERT_TRUE(pauseItem->isEnabled());
    h.clearTrace();
    pauseItem->trigger();
    EXPECT_TRUE(h.writes().empty()) << "the pause runs as an event of the core's loop";
    h.wait(0);
    ASSERT_FALSE(h.writes().empty());
    EXPECT_EQ(h.writes().front(), (std::pair<int, int>{CONTROL_REG, machine::LASER_OFF}));
    EXPECT_TRUE(h.engraver->jobPause().paused());
    EXPECT_FALSE(h.sim->laserOn());

    // The same item continues; while the rotors settle it can do nothing.
    struct Step {
        int64_t waitMs;
        jobs::JobPause::State state;
        const char* text;
        bool enabled;
    };
    const Step steps[] = {
        {1000, jobs::JobPause::State::Paused, "Continue", true},
        {60'000, jobs::JobPause::State::Released, "Continue", true},
    };
    for (const Step& s : steps) {
        h.wait(s.waitMs);
        render();
        EXPECT_EQ(h.engraver->jobPause().state(), s.state);
        EXPECT_EQ(pauseItem->text(), QString::fromLatin1(s.text));
        EXPECT_EQ(pauseItem->isEnabled(), s.enabled);
    }
    pauseItem->trigger();
    h.wait(0);
    render();
    EXPECT_EQ(h.engraver->jobPause().state(), jobs::JobPause::State::Settling);
    EXPECT_FALSE(pauseItem->isEnabled());
    h.wait(jobs::JobPause::kDefaultSettleMs);
    render();
    EXPECT_FALSE(h.engraver->jobPause().paused());
    EXPECT_EQ(pauseItem->text(), QStringLiteral("Pause"));
    EXPECT_TRUE(pauseItem->isEnabled());
    ASSERT_TRUE(untilJobDone(h));
    render();
    EXPECT_FALSE(pauseItem->isEnabled());
}

TEST_F(JobControlsTest, TheJobBoxShowsThePauseAndItsButtonFollowsIt) {
    chooseJob();
    render();
    EXPECT_TRUE(button("pauseJob")->isHidden()) << "no job, no button";
    run();
    h.wait(500);
    render();
    ASSERT_FALSE(button("pauseJob")->isHidden());
    EXPECT_EQ(button("pauseJob")->text(), QStringLiteral("Pause"));
    EXPECT_TRUE(text("jobTitle").startsWith(QStringLiteral("Running: ")));

    struct Expect {
        const char* title;
        const char* detail;
        const char* button;
    };
    button("pauseJob")->click();
    h.wait(0);
    render();
    const Expect held{"Paused: ", "coils hold the head", "Continue"};
    EXPECT_TRUE(text("jobTitle").startsWith(QString::fromLatin1(held.title)));
    EXPECT_TRUE(text("jobDetail").contains(QString::fromLatin1(held.detail)));
    EXPECT_EQ(button("pauseJob")->text(), QString::fromLatin1(held.button));
    EXPECT_TRUE(machine->findChild<QWidget*>(QStringLiteral("resumeOffer"))->isHidden())
        << "a paused job is continued, not resumed";

    h.wait(jobs::JobPause::kDefaultHoldMs);
    render();
    EXPECT_TRUE(text("jobDetail").contains(QStringLiteral("coils are released")));
    button("pauseJob")->click();
    h.wait(0);
    render();
    EXPECT_TRUE(text("jobDetail").startsWith(QStringLiteral("Going on")));
    EXPECT_FALSE(button("pauseJob")->isEnabled());
    h.wait(jobs::JobPause::kDefaultSettleMs);
    render();
    EXPECT_TRUE(text("jobTitle").startsWith(QStringLiteral("Running: ")));
    EXPECT_TRUE(text("elapsed").contains(QStringLiteral("pauses left out")));
    ASSERT_TRUE(untilJobDone(h));
    render();
    EXPECT_TRUE(text("jobTime").startsWith(QStringLiteral("Finished: ")));
    EXPECT_TRUE(button("pauseJob")->isHidden());
}

TEST_F(JobControlsTest, ARefusedContinueSaysWhyAndTheJobShowsAsStopped) {
    chooseJob();
    run();
    h.wait(800);
    render();
    pauseItem->trigger();
    h.wait(0);
    ++h.form().xStepCount;  // as a jog during the pause would
    render();
    pauseItem->trigger();
    h.wait(0);
    render();
    EXPECT_EQ(text("jobNote"),
              QStringLiteral("The head was moved during the pause: the paused job cannot go on."));
    EXPECT_TRUE(text("jobTime").startsWith(QStringLiteral("Stopped at row ")));
    EXPECT_TRUE(machine->isVisible()) << "the refusal opens the Machine window";
    EXPECT_EQ(h.sim->data(), 0);
    EXPECT_FALSE(h.sim->laserOn());
}

// --- Resume ---

TEST_F(JobControlsTest, NoJournalNoOffer) {
    chooseJob();
    ASSERT_TRUE(machine->waitForPreview());
    EXPECT_FALSE(machine->resumeOffered());
    EXPECT_TRUE(machine->findChild<QWidget*>(QStringLiteral("resumeOffer"))->isHidden());
    EXPECT_FALSE(machine->findChild<ui::WorkPieceView*>()->resumeMark().has_value());
}

TEST_F(JobControlsTest, ResumeFromTheOfferTakesTheTimeShownAndEndsWithTheUnbrokenBurn) {
    ExposureMap unbroken;
    {
        Harness whole;
        whole.start();
        preparePictureJob(whole, jobPicture());
        whole.engraver->pictureRun().start();
        ASSERT_TRUE(untilJobDone(whole));
        unbroken = exposureOf(*whole.sim);
    }
    interrupt(2600);
    ASSERT_TRUE(machine->waitForPreview());
    ASSERT_TRUE(machine->resumeOffered());
    const jobs::ResumeOffer offer = h.engraver->jobResume().check();
    ASSERT_EQ(offer.error, "");
    auto* box = machine->findChild<QWidget*>(QStringLiteral("resumeOffer"));
    EXPECT_FALSE(box->isHidden());
    EXPECT_TRUE(text("resumeText")
                    .contains(QStringLiteral("It stopped at row %1 of 6, column %2: "
                                             "%3 dots to go.")
                                  .arg(offer.point.row + 1)
                                  .arg(std::clamp(offer.point.column + 1, 1, 8))
                                  .arg(offer.dotsLeft)))
        << text("resumeText").toStdString();
    const simulation::JobSummary* predicted = machine->resumePreview();
    ASSERT_NE(predicted, nullptr);
    ASSERT_EQ(predicted->outcome, simulation::JobOutcome::Finished) << predicted->error;
    EXPECT_TRUE(text("resumeTime")
                    .contains(QString::fromStdString(simulation::clockText(predicted->jobMs))));
    ASSERT_TRUE(button("resumeJob")->isEnabled());
    const auto mark = machine->findChild<ui::WorkPieceView*>()->resumeMark();
    ASSERT_TRUE(mark.has_value());
    EXPECT_EQ(*mark, QPointF(offer.point.xSteps, offer.point.ySteps));

    const int64_t resumedAt = h.loop.now();
    button("resumeJob")->click();
    h.wait(0);
    render();
    EXPECT_TRUE(text("jobTitle").startsWith(QStringLiteral("Resuming: ")));
    EXPECT_TRUE(box->isHidden());
    ASSERT_TRUE(untilJobDone(h));
    EXPECT_EQ(h.loop.now() - resumedAt, predicted->jobMs);
    EXPECT_EQ(exposureOf(*h.sim), unbroken);
    render();
    EXPECT_TRUE(text("jobTime").startsWith(QStringLiteral("Finished: ")));
    EXPECT_FALSE(machine->resumeOffered()) << "a job that ended by itself leaves no journal";
    EXPECT_TRUE(box->isHidden());
}

TEST_F(JobControlsTest, AnOfferThatCannotBeResumedSaysWhyAndDisablesResume) {
    struct Case {
        const char* what;
        std::function<void(JobControlsTest&)> change;
        const char* why;
    };
    const std::vector<Case> cases = {
        {"step period",
         [](JobControlsTest& t) {
             ASSERT_EQ(t.h.engraver->set("Combo1", "20"), engraver::EventResult::Handled);
         },
         "The interrupted job stepped every 10 ms; the step period is 20 ms now."},
        {"another picture",
         [](JobControlsTest& t) {
             patternPicture(8, 4, 9).save(QString::fromStdString(t.h.host.folder + "/picture.bmp"),
                                          "BMP");
         },
         "picture.bmp is not the picture of the interrupted job"},
        {"damaged journal",
         [](JobControlsTest& t) {
             QFile file(QString::fromStdString(t.journal()));
             ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
             file.write("not a journal at all, just words");
         },
         "The file is not a job journal."},
    };
    interrupt(1500);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Each case from the aborted job as it was: the journal and the picture restored.
        const QByteArray journalBytes = [this] {
            QFile f(QString::fromStdString(journal()));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        c.change(*this);
        ASSERT_TRUE(machine->waitForPreview());
        EXPECT_TRUE(machine->resumeOffered());
        EXPECT_FALSE(machine->findChild<QWidget*>(QStringLiteral("resumeOffer"))->isHidden());
        EXPECT_TRUE(text("resumeTime").startsWith(QStringLiteral("Cannot be resumed: ")));
        EXPECT_TRUE(text("resumeTime").contains(QString::fromLatin1(c.why)))
            << text("resumeTime").toStdString();
        EXPECT_FALSE(button("resumeJob")->isEnabled());
        // Resume pressed anyway (a click already under way): refused, nothing moves.
        h.clearTrace();
        EXPECT_FALSE(h.engraver->jobResume().resume().empty());
        EXPECT_TRUE(h.writes().empty());
        // Undo the change for the next case.
        h.engraver->set("Combo1", "10");
        preparePictureJob(h, jobPicture());
        QFile file(QString::fromStdString(journal()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(journalBytes);
    }
}

TEST_F(JobControlsTest, AResumeRefusedWhenPressedShowsItsReason) {
    interrupt(1500);
    ASSERT_TRUE(machine->waitForPreview());
    ASSERT_TRUE(button("resumeJob")->isEnabled());
    // The set-up changes after the offer was shown, before the click reaches the core.
    h.form().Combo1.caption = "30";
    button("resumeJob")->click();
    h.wait(0);
    EXPECT_EQ(text("jobNote"),
              QStringLiteral("The interrupted job stepped every 10 ms; the step period is 30 ms "
                             "now."));
    EXPECT_FALSE(h.engraver->motionRunning());
}

}  // namespace
}  // namespace ostrel::test
