// The Machine window on any screen: its place beside the main window, its size, its layout.
#include <QLabel>
#include <QScrollArea>
#include <QToolButton>

#include "UiTestSupport.h"
#include "ui/MachineWindow.h"

namespace ostrel::test {
namespace {

// --- Placing ---

TEST(MachineWindowPlace, BesideTheMainWindowWhereTheScreenHasRoomNeverOverIt) {
    const QSize wanted(1060, 860), minimum(360, 320);
    const QMargins frame(1, 24, 1, 1);
    struct Case {
        const char* what;
        QRect screen, mainFrame;
        const char* side;  // "right", "left", "below" or "edge"
    };
    const Case cases[] = {
        {"1366 x 768, main window top left", {0, 0, 1366, 768}, {0, 0, 538, 575}, "right"},
        {"1366 x 768, main window centred", {0, 0, 1366, 768}, {414, 96, 538, 575}, "right"},
        {"1920 x 1080, centred", {0, 0, 1920, 1080}, {691, 252, 538, 575}, "right"},
        {"1600 x 1000 at 1.5, top left", {0, 0, 1066, 666}, {0, 0, 538, 575}, "right"},
        {"main window at the right edge", {0, 0, 1366, 768}, {828, 50, 538, 575}, "left"},
        {"a panel on the left", {64, 0, 1302, 768}, {800, 0, 538, 575}, "left"},
        {"wide as the screen, room below", {0, 0, 600, 1200}, {0, 0, 560, 575}, "below"},
        {"no room anywhere", {0, 0, 800, 600}, {100, 0, 538, 575}, "edge"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QRect place = ui::placeBeside(c.mainFrame, c.screen, wanted, minimum, frame);
        const QRect framed = place.marginsAdded(frame);
        EXPECT_GE(place.width(), minimum.width());
        EXPECT_GE(place.height(), minimum.height());
        EXPECT_LE(place.width(), wanted.width());
        EXPECT_TRUE(c.screen.contains(framed))
            << framed.x() << "," << framed.y() << " " << framed.width() << "x" << framed.height();
        const std::string side = c.side;
        if (side == "edge") continue;  // the only case that may lie over it
        EXPECT_FALSE(framed.intersects(c.mainFrame));
        if (side == "right") {
            EXPECT_GT(framed.left(), c.mainFrame.right());
        } else if (side == "left") {
            EXPECT_LT(framed.right(), c.mainFrame.left());
        } else {
            EXPECT_GT(framed.top(), c.mainFrame.bottom());
        }
    }
    // With room it opens large, at the main window's height.
    const QRect roomy =
        ui::placeBeside({0, 0, 538, 575}, {0, 0, 1920, 1080}, wanted, minimum, frame);
    EXPECT_EQ(roomy.size(), wanted);
    EXPECT_EQ(roomy.top(), frame.top());
}

// --- Size and layout ---

class MachineWindowFit : public WindowTest {
  public:
    void SetUp() override {
        WindowTest::SetUp();
        machine = std::make_unique<ui::MachineWindow>(*h.engraver, h.sim.get());
    }
    void TearDown() override { machine.reset(); }
    void settle() { QCoreApplication::processEvents(); }
    QWidget* part(const char* name) {
        return machine->findChild<QWidget*>(QString::fromLatin1(name));
    }
    std::unique_ptr<ui::MachineWindow> machine;
};

TEST_F(MachineWindowFit, ShrinksToFitBesideTheMainWindowOnASmallScreenAndReflows) {
    // Beside a 538 px main window on a 1366 px screen, and on a 1.5 scale 1600 px one.
    EXPECT_LE(machine->minimumSize().width(), 360);
    EXPECT_LE(machine->minimumSize().height(), 320);
    EXPECT_LE(machine->minimumSizeHint().width(), 360);
    machine->show();
    machine->resize(800, 650);
    settle();
    EXPECT_TRUE(machine->sideBySide());
    machine->resize(380, 600);
    settle();
    EXPECT_FALSE(machine->sideBySide());
    // Narrow, the contents scroll up and down but never sideways.
    auto* scroll = machine->findChild<QScrollArea*>(QStringLiteral("machineScroll"));
    ASSERT_NE(scroll, nullptr);
    EXPECT_LE(scroll->widget()->width(), scroll->viewport()->width());
    // The material box, opened, still fits the narrow column.
    auto* toggle = machine->findChild<QToolButton*>(QStringLiteral("materialToggle"));
    ASSERT_NE(toggle, nullptr);
    toggle->click();
    settle();
    EXPECT_TRUE(part("materialBody")->isVisible());
    EXPECT_LE(scroll->widget()->width(), scroll->viewport()->width());
    machine->resize(1000, 800);
    settle();
    EXPECT_TRUE(machine->sideBySide());
}

TEST_F(MachineWindowFit, TheWorkPieceGrowsWithTheWindow) {
    machine->show();
    machine->resize(760, 800);
    settle();
    const QSize small = part("workPiece")->size();
    machine->resize(1300, 1000);
    settle();
    const QSize large = part("workPiece")->size();
    EXPECT_GT(large.width(), small.width() + 400);
    EXPECT_GT(large.height(), small.height() + 150);
}

TEST_F(MachineWindowFit, NeitherTheWindowNorItsBoxesMoveWhenAJobStarts) {
    machine->show();
    machine->resize(1000, 760);
    settle();
    h.engraver->click("Option2");
    ASSERT_TRUE(machine->waitForPreview());
    settle();
    const QRect before = machine->geometry();
    const int portBoxTop = part("dataRegister")->mapTo(machine.get(), QPoint(0, 0)).y();
    h.engraver->click("Command2(1)");
    h.wait(300);
    machine->refreshNow();
    settle();
    ASSERT_TRUE(h.engraver->motionRunning());
    EXPECT_TRUE(part("jobProgress")->isVisible());
    EXPECT_EQ(machine->geometry(), before);
    EXPECT_EQ(part("dataRegister")->mapTo(machine.get(), QPoint(0, 0)).y(), portBoxTop);
}

TEST_F(MachineWindowFit, OpensWhereItWasLast) {
    machine->showBeside();
    const QRect place(120, 60, 500, 420);
    machine->setGeometry(place);
    settle();
    machine->close();  // only hides, and remembers
    ui::MachineWindow again(*h.engraver, h.sim.get());
    again.showBeside();
    settle();
    EXPECT_EQ(again.geometry(), place);
}

}  // namespace
}  // namespace ostrel::test
