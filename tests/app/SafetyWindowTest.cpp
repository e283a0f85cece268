// The window's own ways out: the Exit button and the close box leave the machine at rest.
#include <QPushButton>

#include "machine/Registers.h"
#include "ui/UiTestSupport.h"

namespace ostrel::test {
namespace {

using machine::CONTROL_REG;
using machine::DATA_REG;

// A job, a pulse train and the watchdog running, coils powered and the laser on.
void energise(Harness& h) {
    form::Form1& f = h.form();
    f.Timer3.setEnabled(true);
    f.Timer4.setEnabled(true);
    f.Timer10.setEnabled(true);
    h.engraver->context().out(DATA_REG, 3);
    h.engraver->context().out(CONTROL_REG, machine::LASER_ON);
}

void expectAtRestLast(Harness& h) {
    const auto writes = h.writes();
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(writes[writes.size() - 2], (std::pair<int, int>{DATA_REG, 0}));
    EXPECT_EQ(writes.back(), (std::pair<int, int>{CONTROL_REG, machine::LASER_OFF}));
    for (auto& [name, timer] : h.form().timers()) EXPECT_FALSE(timer->Enabled()) << name;
}

using WindowExit = WindowTest;

TEST_F(WindowExit, TheExitButtonRestsTheMachineAndEndsTheProgram) {
    energise(h);
    window->show();
    h.clearTrace();
    widget<QPushButton>("Command2(4)")->click();
    EXPECT_TRUE(h.host.ended);
    expectAtRestLast(h);
    // Nothing may power the machine again once the program has ended.
    h.engraver->context().out(CONTROL_REG, machine::LASER_ON);
    h.wait(1000);
    EXPECT_EQ(h.control(), machine::LASER_OFF);
}

TEST_F(WindowExit, TheCloseBoxRestsTheMachine) {
    energise(h);
    window->show();
    h.clearTrace();
    window->close();
    expectAtRestLast(h);
    EXPECT_EQ(h.data(), 0);
}

}  // namespace
}  // namespace ostrel::test
