// The Machine window: job time and preview, progress, the port monitor and the wiring test buttons.
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTimer>

#include "UiTestSupport.h"
#include "jobs/PictureRun.h"
#include "machine/Registers.h"
#include "simulation/JobSimulation.h"
#include "ui/MachineWindow.h"

namespace ostrel::test {
namespace {

using machine::CONTROL_REG;
using machine::DATA_REG;
using machine::STATUS_REG;
using motion::WiringTestKind;

// A picture with every grey level and a ring at the burn marker's level, as a BMP.
std::string writePicture(const std::string& folder) {
    QImage image(60, 40, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x * 4, x * 4, x * 4));
    }
    QPainter p(&image);
    p.setPen(QPen(QColor(0, 0, 0), 5));
    p.drawEllipse(QPointF(30, 20), 14, 14);
    p.end();
    const std::string path = folder + "/ring.bmp";
    image.save(QString::fromStdString(path));
    return path;
}

class MachineWindowTest : public WindowTest {
  public:
    void SetUp() override {
        WindowTest::SetUp();
        machine = std::make_unique<ui::MachineWindow>(*h.engraver, h.sim.get());
    }
    void TearDown() override { machine.reset(); }

    QString text(const char* name) {
        return machine->findChild<QLabel*>(QString::fromLatin1(name))->text();
    }
    ui::RegisterView* reg(const char* name) {
        return machine->findChild<ui::RegisterView*>(QString::fromLatin1(name));
    }
    QPushButton* wiringButton(WiringTestKind kind) {
        return machine->findChild<QPushButton*>(
            QStringLiteral("wiring-%1").arg(static_cast<int>(kind)));
    }
    // Loads the test picture at a small size (the job then takes minutes, not an hour).
    void loadSmallPicture() {
        ASSERT_EQ(h.engraver->set("HScroll1", std::to_string((24 + 2) * 15)),
                  engraver::EventResult::Handled);
        ASSERT_EQ(h.engraver->set("VScroll1", std::to_string((16 + 2) * 15)),
                  engraver::EventResult::Handled);
        h.host.dialogAnswers = {writePicture(h.tempDir)};
        h.engraver->click("Command2(0)");
        ASSERT_TRUE(h.host.errors.empty());
    }

    std::unique_ptr<ui::MachineWindow> machine;
};

// --- Job time and preview ---

const QRegularExpression kClock(QStringLiteral("^\\d+:\\d\\d:\\d\\d$"));

int previewMarks(const ui::MachineWindow& w) {
    const QImage& ghost = w.findChild<ui::WorkPieceView*>(QStringLiteral("workPiece"))->preview();
    int marks = 0;
    for (int y = 0; y < ghost.height(); ++y) {
        for (int x = 0; x < ghost.width(); ++x) marks += qAlpha(ghost.pixel(x, y)) > 0 ? 1 : 0;
    }
    return marks;
}

TEST_F(MachineWindowTest, JobTimeAndPreviewAppearAfterLoadAndOptionAndMatchTheRun) {
    loadSmallPicture();
    machine->refreshNow();
    EXPECT_EQ(text("jobTitle"), QStringLiteral("No job chosen"));
    EXPECT_EQ(machine->preview(), nullptr);

    h.engraver->click("Option1");
    ASSERT_TRUE(machine->waitForPreview());
    ASSERT_NE(machine->preview(), nullptr);
    const simulation::JobSummary preview = *machine->preview();
    ASSERT_EQ(preview.outcome, simulation::JobOutcome::Finished) << preview.error;
    EXPECT_TRUE(kClock.match(text("jobTime")).hasMatch()) << text("jobTime").toStdString();
    EXPECT_TRUE(text("jobTitle").startsWith(QStringLiteral("Picture engraving, 24 \u00d7 16")));
    EXPECT_GT(preview.dotsBurned, 0);
    EXPECT_GT(previewMarks(*machine), 0);
    // The original is untouched by the computation.
    EXPECT_TRUE(h.sim->exposures().empty());
    EXPECT_FALSE(h.engraver->motionRunning());

    // Run takes exactly the time computed, and the progress shows on the way.
    const double runAt = h.loop.nowMs();
    h.engraver->click("Command2(1)");
    h.wait(preview.jobMs / 2);
    machine->refreshNow();
    EXPECT_TRUE(text("progressText").startsWith(QStringLiteral("Row ")));
    EXPECT_TRUE(text("progressText").contains(QStringLiteral(" of 18, dots ")));
    EXPECT_TRUE(text("elapsed").contains(QStringLiteral("remaining")));
    ASSERT_TRUE(h.untilIdle());
    EXPECT_EQ(h.loop.nowMs() - runAt, static_cast<double>(preview.jobMs));
    EXPECT_EQ(static_cast<int64_t>(h.sim->exposures().size()), preview.dotsBurned);
}

TEST_F(MachineWindowTest, FrameJobTimeFollowsTheSpeedAndMatchesTheRun) {
    h.engraver->click("Option2");
    ASSERT_TRUE(machine->waitForPreview());
    ASSERT_NE(machine->preview(), nullptr);
    const int64_t at10ms = machine->preview()->jobMs;
    EXPECT_EQ(machine->preview()->kind, simulation::JobKind::Frame);

    ASSERT_EQ(h.engraver->set("Combo1", "20"), engraver::EventResult::Handled);
    ASSERT_TRUE(machine->waitForPreview());
    const int64_t at20ms = machine->preview()->jobMs;
    EXPECT_GT(at20ms, at10ms);

    const double runAt = h.loop.nowMs();
    h.engraver->click("Command2(1)");
    h.wait(at20ms / 3);
    machine->refreshNow();
    EXPECT_TRUE(text("progressText").startsWith(QStringLiteral("Leg ")));
    ASSERT_TRUE(h.untilIdle());
    EXPECT_EQ(h.loop.nowMs() - runAt, static_cast<double>(at20ms));
}

// --- Port monitor ---

TEST_F(MachineWindowTest, PortMonitorShowsTheBitsOfAWrittenWord) {
    for (int word : {0, 1, 2, 4, 8, 16, 32, 64, 128, 0xA5, 0x5A}) {
        SCOPED_TRACE(word);
        h.trace->out(DATA_REG, static_cast<uint8_t>(word));
        machine->refreshNow();
        ASSERT_EQ(reg("dataRegister")->value(), word);
        for (int bit = 0; bit < 8; ++bit) {
            EXPECT_EQ(reg("dataRegister")->bitLit(bit), ((word >> bit) & 1) != 0) << bit;
        }
    }
    h.trace->out(CONTROL_REG, machine::LASER_ON);
    machine->refreshNow();
    EXPECT_TRUE(reg("controlRegister")->bitLit(0));
    EXPECT_TRUE(reg("controlRegister")->meaning(0).contains(QStringLiteral("laser")));
    h.trace->out(CONTROL_REG, machine::LASER_OFF);
    machine->refreshNow();
    EXPECT_FALSE(reg("controlRegister")->bitLit(0));

    // The meanings, by bit.
    const char* data[] = {"X a", "X b", "X c", "X d", "Y A+", "Y A\u2212", "Y B+", "Y B\u2212"};
    for (int bit = 0; bit < 8; ++bit) {
        EXPECT_TRUE(reg("dataRegister")->meaning(bit).startsWith(QString::fromUtf8(data[bit])));
    }
    EXPECT_TRUE(reg("statusRegister")->meaning(7).startsWith(QStringLiteral("X home")));
    EXPECT_TRUE(reg("statusRegister")->meaning(5).startsWith(QStringLiteral("Y home")));
}

TEST_F(MachineWindowTest, HomeSwitchesShowLive) {
    // At home on both axes: status 222, X bit 7 set, Y bit 5 clear.
    machine->refreshNow();
    EXPECT_EQ(reg("statusRegister")->value(), 222);
    EXPECT_TRUE(reg("statusRegister")->bitLit(7));
    EXPECT_FALSE(reg("statusRegister")->bitLit(5));
    EXPECT_EQ(text("switches"),
              QStringLiteral("X home switch: <b>closed</b> &nbsp; Y home switch: <b>closed</b>"));
    // Eight half-steps of X out: the X switch opens while the head is away.
    ASSERT_EQ(h.engraver->wiringTest().start(WiringTestKind::StepX), "");
    h.wait(60);
    machine->refreshNow();
    EXPECT_EQ(reg("statusRegister")->value(), 94);
    EXPECT_TRUE(text("switches").startsWith(QStringLiteral("X home switch: <b>open</b>")));
}

// The priority the steps run at is shown where the operator looks for timing trouble, and
// follows what the program has (here: a stand-in that changes).
TEST_F(MachineWindowTest, ShowsWhatTheStepTimingRunsAt) {
    QLabel* line = machine->findChild<QLabel*>(QStringLiteral("stepTiming"));
    ASSERT_TRUE(line);
    EXPECT_TRUE(line->isHidden());  // no source: nothing claimed
    std::string said = "normal priority until a timer runs";
    machine->setStepTimingSource([&said] { return said; });
    EXPECT_FALSE(line->isHidden());
    EXPECT_EQ(line->text(), QStringLiteral("Step timing: normal priority until a timer runs"));
    said = "real-time priority (SCHED_FIFO 10) while timers run";
    machine->refreshNow();
    EXPECT_EQ(line->text(),
              QStringLiteral("Step timing: real-time priority (SCHED_FIFO 10) while timers run"));
}

TEST(MachineWindowRealPort, StatusIsReadOnlyWhileNoMotorRuns) {
    Harness h;
    h.start();
    h.trace->setTraceReads(true);
    ui::MachineWindow machine(*h.engraver, nullptr);  // as on a real port
    auto statusReads = [&h] {
        int n = 0;
        for (const machine::TraceRecord& r : h.trace->records()) {
            n += (!r.write && r.address == STATUS_REG) ? 1 : 0;
        }
        return n;
    };
    auto* status = machine.findChild<ui::RegisterView*>(QStringLiteral("statusRegister"));
    h.clearTrace();
    machine.refreshNow();
    EXPECT_EQ(statusReads(), 1);
    EXPECT_EQ(status->value(), 222);

    h.engraver->click("Option2");
    h.engraver->click("Command2(1)");
    h.wait(500);
    ASSERT_TRUE(h.engraver->motionRunning());
    h.clearTrace();
    machine.refreshNow();
    EXPECT_EQ(statusReads(), 0);
    EXPECT_FALSE(status->value().has_value());
    // The data register still shows the last word written.
    EXPECT_EQ(machine.findChild<ui::RegisterView*>(QStringLiteral("dataRegister"))->value(),
              h.sim->data());
}

// --- Wiring test ---

TEST_F(MachineWindowTest, WiringTestButtonsAreRefusedWhileAJobRuns) {
    h.engraver->click("Option2");
    h.engraver->click("Command2(1)");
    h.wait(50);
    machine->refreshNow();
    for (const motion::CoilTest& t : motion::kCoilTests)
        EXPECT_FALSE(wiringButton(t.kind)->isEnabled());
    EXPECT_TRUE(text("wiringStatus").contains(QStringLiteral("A job, a jog or homing is running")));
    // Started anyway (a click already under way): refused, nothing written.
    h.clearTrace();
    const std::string why = h.engraver->wiringTest().start(WiringTestKind::CoilA);
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(h.engraver->wiringTest().running());

    h.engraver->click("Command2(5)");  // Abort
    machine->refreshNow();
    for (const motion::CoilTest& t : motion::kCoilTests)
        EXPECT_TRUE(wiringButton(t.kind)->isEnabled());
}

TEST_F(MachineWindowTest, EveryWiringButtonLeavesThePortAtRest) {
    struct Case {
        WiringTestKind kind;
        std::vector<std::pair<int, int>> words;
    };
    const std::vector<Case> cases = {
        {WiringTestKind::CoilA, {{DATA_REG, 1}}},
        {WiringTestKind::CoilB, {{DATA_REG, 2}}},
        {WiringTestKind::CoilC, {{DATA_REG, 4}}},
        {WiringTestKind::CoilD, {{DATA_REG, 8}}},
        {WiringTestKind::YAPlus, {{DATA_REG, 16}}},
        {WiringTestKind::YAMinus, {{DATA_REG, 32}}},
        {WiringTestKind::YBPlus, {{DATA_REG, 64}}},
        {WiringTestKind::YBMinus, {{DATA_REG, 128}}},
        {WiringTestKind::LaserPulse, {{CONTROL_REG, 203}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(motion::wiringTestName(c.kind));
        h.clearTrace();
        wiringButton(c.kind)->click();
        EXPECT_TRUE(h.engraver->wiringTest().running());
        ASSERT_TRUE(h.loop.advanceUntil([&] { return !h.engraver->wiringTest().running(); }, 5000));
        auto expected = c.words;
        expected.insert(expected.end(), {{DATA_REG, 0}, {CONTROL_REG, 202}});
        EXPECT_EQ(h.writes(), expected);
        machine->refreshNow();
        EXPECT_TRUE(text("wiringStatus").endsWith(QStringLiteral("done, port at rest")));
    }
    for (WiringTestKind kind : {WiringTestKind::StepX, WiringTestKind::StepY}) {
        SCOPED_TRACE(motion::wiringTestName(kind));
        h.clearTrace();
        wiringButton(kind)->click();
        ASSERT_TRUE(h.loop.advanceUntil([&] { return !h.engraver->wiringTest().running(); }, 5000));
        const auto w = h.writes();
        ASSERT_EQ(w.size(), 18u);
        const auto& plus = kind == WiringTestKind::StepX ? machine::xHalfPlus : machine::yHalfPlus;
        const auto& minus =
            kind == WiringTestKind::StepX ? machine::xHalfMinus : machine::yHalfMinus;
        for (size_t i = 0; i < 16; ++i) {
            const auto& table = i < 8 ? plus : minus;
            EXPECT_NE(std::find(table.begin(), table.end(), w[i].second), table.end()) << i;
        }
        EXPECT_EQ(w[16], (std::pair<int, int>{DATA_REG, 0}));
        EXPECT_EQ(w[17], (std::pair<int, int>{CONTROL_REG, 202}));
    }
}

TEST_F(MachineWindowTest, LaserPulseTakesTheChosenTimeAndStopEndsATestAtRest) {
    machine->findChild<QSpinBox*>(QStringLiteral("laserMs"))->setValue(40);
    wiringButton(WiringTestKind::LaserPulse)->click();
    h.wait(39);
    EXPECT_TRUE(h.sim->laserOn());
    h.wait(1);
    EXPECT_FALSE(h.sim->laserOn());
    EXPECT_EQ(h.sim->laserOnMs(), 40.0);

    wiringButton(WiringTestKind::CoilC)->click();
    h.wait(100);
    h.clearTrace();
    machine->findChild<QPushButton*>(QStringLiteral("wiringStop"))->click();
    EXPECT_FALSE(h.engraver->wiringTest().running());
    EXPECT_EQ(h.writes(), (std::vector<std::pair<int, int>>{{DATA_REG, 0}, {CONTROL_REG, 202}}));
}

// --- The menu ---

TEST_F(MachineWindowTest, ViewMenuOpensTheWindowAndClosingOnlyHidesIt) {
    machine->attachTo(*window);
    QAction* item = window->findChild<QAction*>(QStringLiteral("machine"));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), QStringLiteral("Machine"));
    EXPECT_EQ(window->viewMenu()->title(), QStringLiteral("View"));
    item->trigger();
    EXPECT_TRUE(machine->isVisible());
    machine->close();
    EXPECT_FALSE(machine->isVisible());
    item->trigger();
    EXPECT_TRUE(machine->isVisible());
}

// --- Feedback ---

bool enabledWithin(QWidget* w, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!w->isEnabled() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return w->isEnabled();
}

TEST_F(MachineWindowTest, TheWiringTestFollowsTheWatchdogEvenWhenItEndsOutsideADispatch) {
    machine->show();
    h.form().Timer10.setEnabled(true);
    machine->refreshNow();
    EXPECT_FALSE(wiringButton(WiringTestKind::CoilA)->isEnabled());
    EXPECT_TRUE(text("wiringStatus").contains(QStringLiteral("watchdog")));
    // As the load procedure does when it finds the port at rest: no tick, no operator event.
    h.form().Timer10.setEnabled(false);
    EXPECT_TRUE(enabledWithin(wiringButton(WiringTestKind::CoilA), 3000));
    EXPECT_FALSE(text("wiringStatus").contains(QStringLiteral("watchdog")));
}

TEST_F(MachineWindowTest, TheEndOfAJobStaysShownUntilTheOperatorActs) {
    loadSmallPicture();
    h.engraver->click("Option1");
    ASSERT_TRUE(machine->waitForPreview());
    const simulation::JobSummary preview = *machine->preview();
    h.engraver->click("Command2(1)");
    machine->noteOperatorEvent();  // as the main window reports the Run click
    ASSERT_TRUE(h.untilIdle());
    machine->refreshNow();
    const QString finished = QStringLiteral("Finished: %1, %2 dots burned")
                                 .arg(QString::fromStdString(simulation::clockText(preview.jobMs)))
                                 .arg(h.sim->exposures().size());
    EXPECT_EQ(text("jobTime"), finished);
    ASSERT_TRUE(machine->waitForPreview());  // the next job's time is computed meanwhile
    EXPECT_EQ(text("jobTime"), finished);
    machine->noteOperatorEvent();
    machine->refreshNow();
    EXPECT_NE(text("jobTime"), finished);
    EXPECT_TRUE(text("jobDetail").startsWith(QStringLiteral("Job time from here")));

    // Aborted: the row it stopped at, as the progress counted it.
    h.engraver->click("Command2(1)");
    machine->noteOperatorEvent();
    h.wait(preview.jobMs / 2);
    machine->refreshNow();
    const QString running = text("progressText");
    ASSERT_TRUE(running.startsWith(QStringLiteral("Row "))) << running.toStdString();
    h.engraver->click("Command2(5)");
    machine->noteOperatorEvent();  // as the main window reports the Abort click
    machine->refreshNow();
    const int row = static_cast<int>(jobs::progressValue(h.form().pixelRow)) + 1;
    EXPECT_EQ(text("jobTime"), QStringLiteral("Aborted at row %1").arg(row));
    EXPECT_TRUE(running.startsWith(QStringLiteral("Row %1 of").arg(row)));
}

TEST_F(MachineWindowTest, RunPressedDuringAJobSaysWhyItStartedNothing) {
    h.engraver->click("Option2");
    h.engraver->click("Command2(1)");
    h.wait(100);
    machine->refreshNow();
    EXPECT_TRUE(text("jobNote").isEmpty());
    h.engraver->click("Command2(1)");
    machine->refreshNow();
    EXPECT_TRUE(text("jobNote").startsWith(QStringLiteral("Run started nothing: a job")))
        << text("jobNote").toStdString();
    ASSERT_TRUE(h.untilIdle());
    machine->refreshNow();
    EXPECT_FALSE(text("jobNote").startsWith(QStringLiteral("Run started nothing")));
}

TEST_F(MachineWindowTest, APreviewFromAwayFromHomeSaysWhereTheJobWouldStart) {
    loadSmallPicture();
    h.engraver->click("Option1");
    ASSERT_TRUE(machine->waitForPreview());
    EXPECT_FALSE(text("jobNote").contains(QStringLiteral("not at home")));
    h.form().xStepCount = 500;
    h.form().yStepCount = 20;
    ASSERT_TRUE(machine->waitForPreview());
    EXPECT_TRUE(text("jobNote").contains(
        QStringLiteral("The head is not at home: the job would start where it stands, at X 500, "
                       "Y 20")))
        << text("jobNote").toStdString();
}

TEST_F(MachineWindowTest, WiringMessagesStartWithACapital) {
    wiringButton(WiringTestKind::LaserPulse)->click();
    ASSERT_TRUE(h.loop.advanceUntil([&] { return !h.engraver->wiringTest().running(); }, 5000));
    machine->refreshNow();
    EXPECT_EQ(text("wiringStatus"), QStringLiteral("Laser pulse: done, port at rest"));
}

class MachineWindowAwayTest : public WindowTest {
  public:
    MachineWindowAwayTest() : WindowTest(awayFromHome()) {}
};

TEST_F(MachineWindowAwayTest, AfterAStepTestThePositionIsUnknownUntilTheAxesAreHomed) {
    ui::MachineWindow machine(*h.engraver, h.sim.get());
    auto status = [&] {
        return machine.findChild<QLabel*>(QStringLiteral("wiringStatus"))->text();
    };
    EXPECT_TRUE(machine.positionKnown());
    ASSERT_EQ(h.engraver->wiringTest().start(WiringTestKind::StepX), "");
    machine.refreshNow();
    ASSERT_TRUE(h.loop.advanceUntil([&] { return !h.engraver->wiringTest().running(); }, 5000));
    machine.refreshNow();
    EXPECT_FALSE(machine.positionKnown());
    EXPECT_TRUE(status().contains(QStringLiteral("no longer say where the head is")));
    EXPECT_TRUE(machine.findChild<QLabel*>(QStringLiteral("jobNote"))
                    ->text()
                    .contains(QStringLiteral("position is not known")));
    h.engraver->click("Command3");
    ASSERT_TRUE(h.untilIdle());
    h.engraver->click("Command5");
    ASSERT_TRUE(h.untilIdle());
    machine.refreshNow();
    EXPECT_TRUE(machine.positionKnown());
    EXPECT_FALSE(status().contains(QStringLiteral("no longer say where the head is")));
}

TEST_F(MachineWindowTest, AStepTestThatComesBackToTheSwitchLeavesThePositionKnown) {
    ASSERT_EQ(h.engraver->wiringTest().start(WiringTestKind::StepY), "");
    machine->refreshNow();
    EXPECT_FALSE(machine->positionKnown());
    ASSERT_TRUE(h.loop.advanceUntil([&] { return !h.engraver->wiringTest().running(); }, 5000));
    machine->refreshNow();
    EXPECT_TRUE(machine->positionKnown());
}

// The repaint runs on the thread that writes the steps: a refresh the timer asks for when a step
// is due within 3 ms waits for that step and follows it at once; with room, it comes at once.
TEST_F(MachineWindowAwayTest, ARefreshDueJustBeforeAStepFollowsThatStep) {
    ui::MachineWindow machine(*h.engraver, h.sim.get());
    machine.show();
    auto* refresh = machine.findChild<QTimer*>(QStringLiteral("refreshTimer"));
    auto* data = machine.findChild<ui::RegisterView*>(QStringLiteral("dataRegister"));
    ASSERT_NE(refresh, nullptr);
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(h.engraver->set("Combo1", "5"), engraver::EventResult::Handled);
    h.engraver->click("Command2(6)");
    h.engraver->mouseDown("Command1(3)");  // X +, a step every 5 ms
    const double next = h.loop.nextTickMs();
    ASSERT_GT(next, 0);
    auto timerFires = [&] { QMetaObject::invokeMethod(refresh, "timeout"); };

    h.wait(static_cast<int64_t>(next - h.loop.nowMs()) + 3);  // 2 ms before the next step
    machine.refreshNow();
    const int shown = h.data();
    h.wait(2);  // that step: the window shows what it showed
    ASSERT_NE(h.data(), shown);
    ASSERT_EQ(data->value(), shown);
    h.wait(3);  // 2 ms before the next one
    timerFires();
    EXPECT_EQ(data->value(), shown);
    h.wait(2);
    EXPECT_EQ(data->value(), h.data());

    h.wait(1);                            // 4 ms before the next step: room for a repaint
    const int written = h.data() ^ 0xFF;  // a word of the test's own, between two steps
    h.trace->out(DATA_REG, static_cast<uint8_t>(written));
    timerFires();
    EXPECT_EQ(data->value(), written);
    h.engraver->mouseUp("Command1(3)");
}

// Records the region of every paint event a widget gets.
class PaintRecorder final : public QObject {
  public:
    explicit PaintRecorder(QWidget* widget) { widget->installEventFilter(this); }
    QRegion painted;
    int area() const {
        int sum = 0;
        for (const QRect& r : painted) sum += r.width() * r.height();
        return sum;
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

// During a job the head and the new marks are painted again where they changed, never the
// whole work piece: the repaint runs between the steps.
TEST(WorkPieceView, PaintsAgainOnlyWhereTheHeadAndTheNewMarksAre) {
    ui::WorkPieceView view;
    view.resize(900, 600);
    view.show();
    QCoreApplication::processEvents();
    PaintRecorder recorder(&view);
    const int whole = view.width() * view.height();

    view.setHead(500, 100, false, false);
    QCoreApplication::processEvents();
    EXPECT_GT(recorder.area(), 0);
    EXPECT_LT(recorder.area(), whole / 4);

    recorder.painted = {};
    view.addExposures({{1000, 200, 0, 50}});  // a dot at X 500, Y 100 full steps
    QCoreApplication::processEvents();
    EXPECT_GT(recorder.area(), 0);
    EXPECT_LT(recorder.area(), whole / 100);
    EXPECT_EQ(qAlpha(view.burn().pixel(254, 208)), 255);  // the mark is in the canvas

    recorder.painted = {};
    view.setPreview({{1000, 200, 0, 50}});  // a new prediction is drawn whole
    QCoreApplication::processEvents();
    EXPECT_EQ(recorder.area(), whole);
}

// A new value repaints the reading and the bits, not what each bit carries under them.
TEST(RegisterView, ANewValueRepaintsOnlyTheBits) {
    std::array<QString, 8> meanings;
    meanings.fill(QStringLiteral("meaning"));
    ui::RegisterView view(QStringLiteral("Data 888"), meanings, Qt::green);
    view.resize(400, 78);
    view.show();
    QCoreApplication::processEvents();
    PaintRecorder recorder(&view);
    view.setValue(5);
    QCoreApplication::processEvents();
    EXPECT_FALSE(recorder.painted.isEmpty());
    EXPECT_LE(recorder.painted.boundingRect().bottom(), 42);
    EXPECT_TRUE(view.bitLit(0) && view.bitLit(2) && !view.bitLit(1));
}

}  // namespace
}  // namespace ostrel::test
