// A picture of the Machine window during a run, for the documentation; needs OSTREL_SCREENSHOT_DIR.
//
//   export QT_QPA_PLATFORM=xcb OSTREL_SCREENSHOT_DIR=docs
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/tests/test_ui --gtest_filter='MachineShot*'
//   (the resume offer at 1366x768: -s "-screen 0 1366x768x24" ... 'MachineShot.*Resume')
#include <QDir>
#include <QElapsedTimer>

#include "UiTestSupport.h"
#include "ui/MachineWindow.h"

namespace ostrel::test {
namespace {

void settle() {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 500) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

using MachineShot = WindowTest;

TEST_F(MachineShot, MachineWindowDuringARun) {
    const QByteArray folder = qgetenv("OSTREL_SCREENSHOT_DIR");
    if (folder.isEmpty()) GTEST_SKIP() << "set OSTREL_SCREENSHOT_DIR to take the picture";
    const QDir out(QString::fromLocal8Bit(folder));

    // Homed, the sample picture loaded as a burn mask, "Picture engraving" chosen; the job time
    // computed; then Run, and the picture a little over a third burned.
    ui::MachineWindow machine(*h.engraver, h.sim.get());
    h.engraver->click("Command3");
    h.untilIdle();
    h.engraver->click("Command5");
    h.untilIdle();
    h.loop.advanceUntil([this] { return !h.form().Timer10.Enabled(); }, 60'000);
    h.engraver->set("HScroll3", "175");
    h.host.dialogAnswers = {OSTREL_SOURCE_DIR "/resources/sample.png"};
    h.engraver->click("Command2(0)");
    h.engraver->click("Option1");
    machine.resize(1040, 760);
    machine.show();
    ASSERT_TRUE(machine.waitForPreview(120'000));
    ASSERT_NE(machine.preview(), nullptr);
    h.engraver->click("Command2(1)");
    h.loop.advanceUntil([this] { return std::stoi(h.form().pixelRow) >= 40 && h.sim->laserOn(); },
                        24 * 3600'000);
    machine.refreshNow();
    settle();
    ASSERT_TRUE(machine.grab().save(out.filePath(QStringLiteral("machine-window.png"))));
}

TEST_F(MachineShot, MachineWindowOfferingToResume) {
    const QByteArray folder = qgetenv("OSTREL_SCREENSHOT_DIR");
    if (folder.isEmpty()) GTEST_SKIP() << "set OSTREL_SCREENSHOT_DIR to take the picture";
    const QDir out(QString::fromLocal8Bit(folder));

    // The same job as above, aborted a little over a third of the way: its journal stays, and
    // the Job box offers to resume it with the time Resume takes.
    ui::MachineWindow machine(*h.engraver, h.sim.get());
    h.engraver->click("Command3");
    h.untilIdle();
    h.engraver->click("Command5");
    h.untilIdle();
    h.loop.advanceUntil([this] { return !h.form().Timer10.Enabled(); }, 60'000);
    h.engraver->set("HScroll3", "175");
    h.host.dialogAnswers = {OSTREL_SOURCE_DIR "/resources/sample.png"};
    h.engraver->click("Command2(0)");
    h.engraver->click("Option1");
    machine.resize(1040, 720);
    machine.show();
    ASSERT_TRUE(machine.waitForPreview(120'000));
    h.engraver->click("Command2(1)");
    machine.noteOperatorEvent();
    h.loop.advanceUntil([this] { return std::stoi(h.form().pixelRow) >= 40 && h.sim->laserOn(); },
                        24 * 3600'000);
    h.engraver->click("Command2(5)");
    machine.noteOperatorEvent();
    ASSERT_TRUE(machine.waitForPreview(120'000));
    ASSERT_TRUE(machine.resumeOffered());
    ASSERT_NE(machine.resumePreview(), nullptr);
    settle();
    ASSERT_TRUE(machine.grab().save(out.filePath(QStringLiteral("machine-resume.png"))));
}

}  // namespace
}  // namespace ostrel::test
