// The Machine window on the simulator wakes nothing at rest: it polls nothing (it follows the
// operator's events that the main window forwards, and the loop's dispatches) and no text
// cursor blinks in it.
#include <QAbstractSpinBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
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

TEST_F(WindowTest, TheMachineWindowOpensWithTheFocusOutOfItsTextFields) {
    ui::MachineWindow machine(*h.engraver, h.sim.get());
    machine.attachTo(*window);
    window->show();
    machine.showBeside();
    QDeadlineTimer deadline(5000);
    while (!machine.isActiveWindow() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    ASSERT_TRUE(machine.isActiveWindow());
    // A jog refuses the wiring test: its buttons go disabled, which would pass a focus they
    // held on to the next field, the pulse length box.
    h.engraver->click("Command2(6)");
    h.engraver->mouseDown("Command1(3)");
    machine.refreshNow();
    QCoreApplication::processEvents();
    h.engraver->mouseUp("Command1(3)");
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    EXPECT_EQ(qobject_cast<QAbstractSpinBox*>(focus), nullptr) << focus->objectName().toStdString();
    EXPECT_EQ(qobject_cast<QLineEdit*>(focus), nullptr) << focus->objectName().toStdString();
}

}  // namespace
}  // namespace ostrel::test
