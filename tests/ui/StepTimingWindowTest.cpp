// The "Test step timing" window in virtual time: reached from the Machine window, writes no
// port, judges the speed in the step speed box, and waits for a still machine.
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include "UiTestSupport.h"
#include "ui/MachineWindow.h"
#include "ui/StepTimingWindow.h"

namespace ostrel::test {
namespace {

class StepTimingWindowTest : public WindowTest {
  public:
    void SetUp() override {
        WindowTest::SetUp();
        machine = std::make_unique<ui::MachineWindow>(*h.engraver, h.sim.get());
        machine->setStepTimingSource(
            [] { return std::string("normal priority (--normal-priority)"); });
        auto* button = machine->findChild<QPushButton*>(QStringLiteral("testStepTiming"));
        ASSERT_TRUE(button);
        button->click();
        timing = machine->findChild<ui::StepTimingWindow*>();
        ASSERT_TRUE(timing);
    }
    void TearDown() override { machine.reset(); }

    QString text(const char* name) {
        return timing->findChild<QLabel*>(QString::fromLatin1(name))->text();
    }
    void runFor(int seconds) {
        timing->findChild<QSpinBox*>(QStringLiteral("seconds"))->setValue(seconds);
        timing->findChild<QPushButton*>(QStringLiteral("start"))->click();
    }

    std::unique_ptr<ui::MachineWindow> machine;
    ui::StepTimingWindow* timing = nullptr;
};

TEST_F(StepTimingWindowTest, RunsAtTheSpeedBoxesPeriodWritesNoPortAndJudges) {
    ASSERT_EQ(h.engraver->set("Combo1", "5"), engraver::EventResult::Handled);
    h.clearTrace();
    runFor(10);
    ASSERT_TRUE(timing->running());
    EXPECT_FALSE(timing->findChild<QPushButton*>(QStringLiteral("start"))->isEnabled());
    h.wait(5000);
    EXPECT_TRUE(timing->running());
    h.wait(6000);
    QApplication::processEvents();  // the end is taken up once control is back in the loop
    EXPECT_FALSE(timing->running());
    EXPECT_TRUE(h.writes().empty()) << "the test wrote the port";
    EXPECT_EQ(timing->probe()->settings().periodMs, 5);
    EXPECT_EQ(timing->probe()->settings().dwellMs, 13);
    // Virtual time is exact: good, and the reason says what the timing ran at.
    EXPECT_TRUE(text("stepVerdict").contains(QStringLiteral("Step speed 5 ms")));
    EXPECT_TRUE(text("stepVerdict").contains(QStringLiteral(">good<")));
    EXPECT_TRUE(text("dwellVerdict").contains(QStringLiteral("Shortest dwell 13 ms")));
    EXPECT_TRUE(text("dwellVerdict").contains(QStringLiteral(">good<")));
    EXPECT_TRUE(text("dwellVerdict").contains(QStringLiteral("--normal-priority")));
    EXPECT_TRUE(text("stepFigures").contains(QStringLiteral("max 0.000 ms")));
}

TEST_F(StepTimingWindowTest, StopEndsTheTestAndATooShortOneIsNotJudgedGood) {
    runFor(60);
    h.wait(1000);
    timing->findChild<QPushButton*>(QStringLiteral("stop"))->click();
    EXPECT_FALSE(timing->running());
    EXPECT_EQ(h.loop.nextDue(), -1) << "a timer of the test still runs";
    EXPECT_TRUE(text("dwellVerdict").contains(QStringLiteral(">marginal<")));
    EXPECT_TRUE(text("dwellVerdict").contains(QStringLiteral("too short")));
}

TEST_F(StepTimingWindowTest, RefusedWhileTheMachineMovesOrTheSpeedBoxIsBad) {
    h.engraver->click("Option2");
    h.engraver->click("Command2(1)");  // Run: a frame job
    h.wait(50);
    runFor(10);
    EXPECT_FALSE(timing->running());
    EXPECT_TRUE(text("ranAt").contains(QStringLiteral("moving")));
    h.engraver->click("Command2(5)");  // Abort

    ASSERT_EQ(h.engraver->set("Combo1", "fast"), engraver::EventResult::Handled);
    runFor(10);
    EXPECT_FALSE(timing->running());
    EXPECT_TRUE(text("ranAt").contains(QStringLiteral("no step period")));
}

}  // namespace
}  // namespace ostrel::test
