// The Machine window on the simulator polls nothing at rest: it follows the operator's events
// that the main window forwards, and the loop's dispatches.
#include <QDeadlineTimer>
#include <QLabel>
#include <QRadioButton>

#include "UiTestSupport.h"
#include "ui/MachineWindow.h"

namespace ostrel::test {
namespace {

// Lets events run until the job title is no longer `old`, or 5 s have passed.
QString titleAfterEvents(const ui::MachineWindow& machine, const QString& old) {
    auto* title = machine.findChild<QLabel*>(QStringLiteral("jobTitle"));
    QDeadlineTimer deadline(5000);
    while (title->text() == old && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return title->text();
}

TEST_F(WindowTest, TheMachineWindowFollowsAnOptionChosenInTheMainWindow) {
    ui::MachineWindow machine(*h.engraver, h.sim.get());
    machine.attachTo(*window);
    window->show();
    machine.show();
    auto* title = machine.findChild<QLabel*>(QStringLiteral("jobTitle"));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), QStringLiteral("No job chosen"));
    // Whatever the window computes after it shows is done before the operator acts.
    ASSERT_TRUE(machine.waitForPreview());
    QDeadlineTimer settle(700);
    while (!settle.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);

    widget<QRadioButton>("Option2")->click();
    EXPECT_NE(titleAfterEvents(machine, QStringLiteral("No job chosen")),
              QStringLiteral("No job chosen"));
    EXPECT_EQ(h.engraver->form().Option2.value, 1);
}

}  // namespace
}  // namespace ostrel::test
