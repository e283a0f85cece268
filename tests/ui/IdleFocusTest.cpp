// The window at rest wakes nothing: no text cursor blinks in it until the operator clicks into
// a text field.
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLineEdit>

#include "ui/UiTestSupport.h"

using ostrel::test::WindowTest;

TEST_F(WindowTest, StartsWithTheFocusOutOfEveryTextField) {
    window->show();
    window->activateWindow();
    QDeadlineTimer deadline(5000);
    while (!window->isActiveWindow() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    ASSERT_TRUE(window->isActiveWindow());
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    EXPECT_EQ(qobject_cast<QLineEdit*>(focus), nullptr) << focus->objectName().toStdString();
    EXPECT_EQ(qobject_cast<QComboBox*>(focus), nullptr) << focus->objectName().toStdString();
}
