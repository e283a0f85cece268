// Pictures of the windows for the documentation; runs only when OSTREL_SCREENSHOT_DIR is set.
//
//   export QT_QPA_PLATFORM=xcb OSTREL_SCREENSHOT_DIR=docs
//   xvfb-run -a -s "-screen 0 1024x768x24" build/tests/test_ui --gtest_filter='Screenshot*'
#include <QDir>
#include <QElapsedTimer>

#include "UiTestSupport.h"
#include "ui/HelpWindows.h"
#include "ui/QtHost.h"

namespace ostrel::test {
namespace {

void settle() {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 500) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

using Screenshot = WindowTest;

TEST_F(Screenshot, MainWindowAndExplanation) {
    const QByteArray folder = qgetenv("OSTREL_SCREENSHOT_DIR");
    if (folder.isEmpty()) GTEST_SKIP() << "set OSTREL_SCREENSHOT_DIR to take the pictures";
    const QDir out(QString::fromLocal8Bit(folder));

    // As an operator leaves it: both axes homed, the sample picture loaded as a burn mask,
    // "Picture engraving" chosen and manual mode on.
    h.engraver->click("Command3");
    h.untilIdle();
    h.engraver->click("Command5");
    h.untilIdle();
    h.engraver->set("HScroll3", "175");
    h.host.dialogAnswers = {OSTREL_SOURCE_DIR "/resources/sample.png"};
    h.engraver->click("Command2(0)");
    h.engraver->click("Option1");
    h.engraver->click("Command2(6)");
    window->renderNow();
    window->show();
    settle();
    ASSERT_TRUE(window->grab().save(out.filePath(QStringLiteral("main-window.png"))));

    ui::QtHost host;
    host.showExplanation();
    settle();
    ASSERT_TRUE(
        host.explanationWindow()->grab().save(out.filePath(QStringLiteral("explanation.png"))));
    host.showAbout();
    settle();
    ASSERT_TRUE(host.aboutWindow()->grab().save(out.filePath(QStringLiteral("about.png"))));
}

}  // namespace
}  // namespace ostrel::test
