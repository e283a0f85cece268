// The window renders Form1 and forwards the operator's events; the close box and held jogs.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include "UiTestSupport.h"
#include "machine/Registers.h"
#include "picture/PictureSettings.h"
#include "ui/Widgets.h"

namespace ostrel::test {
namespace {

using machine::CONTROL_REG;
using machine::DATA_REG;

// --- Rendering ---

using RenderTest = WindowTest;

TEST_F(RenderTest, ATickChangesTheWindowOnceTheLoopIsFree) {
    form::Form1& f = h.form();
    // Three quick events, as ticks of a job would come.
    h.loop.post([&] { f.Label1[0].caption = "12"; });
    h.loop.post([&] { f.Label1[0].caption = "13"; });
    h.loop.post([&] {
        f.Label1[2].caption = "1";
        f.Command4.caption = "Max Laser Power On";
        f.Command4.backColor = form::kRed;
        f.Label7.visible = true;
    });
    h.wait(1);
    QCoreApplication::processEvents();
    EXPECT_EQ(widget<QLabel>("Label1(0)")->text(), QStringLiteral("13"));
    EXPECT_EQ(widget<QLabel>("Label1(2)")->text(), QStringLiteral("1"));
    EXPECT_EQ(widget<QPushButton>("Command4")->text(), QStringLiteral("Max Laser Power On"));
    EXPECT_EQ(widget("Command4")->palette().color(QPalette::Button), QColor(255, 0, 0));
    EXPECT_FALSE(widget("Label7")->isHidden());
}

TEST_F(RenderTest, PictureBoxShowsTheRasterPixelForPixelAndFollowsItsSize) {
    form::PictureBox& box = h.form().Picture2;
    ASSERT_EQ(box.ScaleWidth(), 127);
    ASSERT_EQ(box.ScaleHeight(), 103);
    box.PSet(0, 0, form::RGB(255, 255, 255));
    box.PSet(126, 102, form::RGB(10, 200, 30));
    box.PSet(5, 7, form::RGB(0, 0, 255));
    window->renderNow();
    auto* view = widget<ui::PictureView>("Picture2");
    EXPECT_EQ(view->shownRevision(), box.revision);
    const QImage shot = view->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(129, 105));
    EXPECT_EQ(QColor(shot.pixel(0, 0)), QColor(Qt::black));  // the flat border
    EXPECT_EQ(QColor(shot.pixel(1, 1)), QColor(255, 255, 255));
    EXPECT_EQ(QColor(shot.pixel(127, 103)), QColor(10, 200, 30));
    EXPECT_EQ(QColor(shot.pixel(6, 8)), QColor(0, 0, 255));
    EXPECT_EQ(QColor(shot.pixel(7, 8)), QColor(64, 64, 64));  // no smoothing into neighbours

    // The size sliders set the outer size in Form1; the view follows.
    box.setOuterSize(1500, 1200);
    window->renderNow();
    EXPECT_EQ(view->size(), QSize(100, 80));
}

TEST_F(RenderTest, TheLoadedPictureShowsTheToneAdjustmentsLiveAndNeutralShowsItAsItIs) {
    form::PictureBox& box = h.form().Picture1;
    box.setPicture(QImage(20, 10, QImage::Format_RGB32));
    box.raster.fill(qRgb(100, 100, 100));
    ++box.revision;
    window->renderNow();
    auto* view = widget<ui::PictureView>("Picture1");
    const auto shown = [&] { return QColor(view->grab().toImage().pixel(3, 3)); };
    EXPECT_EQ(shown(), QColor(100, 100, 100));

    picture::PictureSettings settings;
    settings.tone.invert = true;
    ASSERT_TRUE(h.engraver->setPictureSettings(settings));
    window->renderNow();
    EXPECT_EQ(shown(), QColor(155, 155, 155));
    EXPECT_EQ(QColor(box.raster.pixel(3, 3)), QColor(100, 100, 100));  // only the view changes

    ASSERT_TRUE(h.engraver->setPictureSettings(picture::PictureSettings{}));
    window->renderNow();
    EXPECT_EQ(shown(), QColor(100, 100, 100));
}

// --- Forwarding ---

using ForwardTest = WindowTest;

class HomingTest : public WindowTest {
  public:
    HomingTest() : WindowTest(awayFromHome()) {}
};

TEST_F(HomingTest, GoHomeButtonsStartTheirAxesAndTheCounterFollows) {
    widget<QPushButton>("Command3")->click();
    EXPECT_TRUE(h.form().Timer1.Enabled());
    widget<QPushButton>("Command5")->click();
    EXPECT_TRUE(h.form().Timer2.Enabled());
    ASSERT_TRUE(h.untilIdle(60'000));
    QCoreApplication::processEvents();
    EXPECT_EQ(widget<QLabel>("Label1(0)")->text(), QStringLiteral("0"));
    EXPECT_EQ(widget<QLabel>("Label1(1)")->text(), QStringLiteral("0"));
}

TEST_F(ForwardTest, ButtonsAndMenuItemsReachTheirHandlers) {
    std::vector<std::string> clicks;
    for (const char* name : {"Command3", "Command5", "Command2(0)", "Command2(6)", "Command4",
                             "shema", "explan", "about"}) {
        events().onClick(name, [&clicks, name] { clicks.emplace_back(name); });
    }
    widget<QPushButton>("Command3")->click();
    widget<QPushButton>("Command5")->click();
    widget<QPushButton>("Command2(0)")->click();
    widget<QPushButton>("Command2(6)")->click();
    widget<QPushButton>("Command4")->click();
    for (const char* name : {"shema", "explan", "about"}) {
        window->findChild<QAction*>(QString::fromLatin1(name))->trigger();
    }
    EXPECT_EQ(clicks,
              (std::vector<std::string>{"Command3", "Command5", "Command2(0)", "Command2(6)",
                                        "Command4", "shema", "explan", "about"}));
}

TEST_F(ForwardTest, CheckBoxShowsTheCoresValueNotItsOwn) {
    auto* check = widget<QCheckBox>("Check1");
    check->click();
    EXPECT_EQ(h.form().Check1.value, 0);
    EXPECT_FALSE(check->isChecked());
    check->click();
    EXPECT_EQ(h.form().Check1.value, 1);
    EXPECT_TRUE(check->isChecked());

    // The core refuses a click on a control it has disabled: the box stays as the core has it.
    h.form().Check2.enabled = false;
    widget<QCheckBox>("Check2")->click();
    EXPECT_EQ(h.form().Check2.value, 0);
    EXPECT_FALSE(widget<QCheckBox>("Check2")->isChecked());
    EXPECT_FALSE(widget("Check2")->isEnabled());
}

TEST_F(ForwardTest, OptionsSelectOneAndClickingASelectedOneKeepsIt) {
    auto* picture = widget<QRadioButton>("Option1");
    auto* frame = widget<QRadioButton>("Option2");
    picture->click();
    EXPECT_EQ(h.form().Option1.value, 1);
    EXPECT_TRUE(picture->isChecked());
    frame->click();
    EXPECT_EQ(h.form().Option1.value, 0);
    EXPECT_EQ(h.form().Option2.value, 1);
    EXPECT_FALSE(picture->isChecked());
    EXPECT_TRUE(frame->isChecked());
    frame->click();  // Qt would clear it; the window keeps the selection
    EXPECT_TRUE(frame->isChecked());
}

TEST_F(ForwardTest, ListTextAndSliderValuesGoToTheCore) {
    auto* combo = widget<QComboBox>("Combo1");
    combo->setEditText(QStringLiteral("25"));
    EXPECT_EQ(h.form().Combo1.caption, "25");
    combo->setCurrentIndex(0);
    EXPECT_EQ(h.form().Combo1.caption, "100");

    int changes = 0;
    events().onChange("HScroll3", [&] { ++changes; });
    widget<QScrollBar>("HScroll3")->setValue(150);
    EXPECT_EQ(h.form().HScroll3.value, 150);
    EXPECT_EQ(changes, 1);

    // What the core sets is no operator's change: rendering it fires nothing back.
    h.form().HScroll3.value = 30;
    h.form().Combo2.caption = "64";
    window->renderNow();
    EXPECT_EQ(widget<QScrollBar>("HScroll3")->value(), 30);
    EXPECT_EQ(widget<QComboBox>("Combo2")->currentText(), QStringLiteral("64"));
    EXPECT_EQ(changes, 1);
}

// --- The close box ---

TEST_F(ForwardTest, CloseBoxPutsTheMachineAtRestLast) {
    h.engraver->context().out(DATA_REG, 9);
    h.engraver->context().out(CONTROL_REG, machine::LASER_ON);
    h.form().Timer3.setEnabled(true);
    h.form().Timer4.setEnabled(true);
    window->show();
    h.clearTrace();
    window->close();
    const auto writes = h.writes();
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(writes[writes.size() - 2], (std::pair<int, int>{DATA_REG, 0}));
    EXPECT_EQ(writes.back(), (std::pair<int, int>{CONTROL_REG, 202}));
    for (auto& [name, timer] : h.form().timers()) {
        EXPECT_FALSE(timer->Enabled()) << name;
    }
    EXPECT_EQ(h.data(), 0);
    EXPECT_EQ(h.control(), 202);
}

// --- Held jogs ---

// Jogs on the real core, in manual mode, with the head away from the switches.
class JogTest : public WindowTest {
  public:  // the ways a press ends reach in through a JogTest&
    JogTest() : WindowTest(awayFromHome()) {}

    void SetUp() override {
        WindowTest::SetUp();
        for (form::Control& jog : h.form().Command1) jog.enabled = true;  // manual mode
        window->renderNow();
        jog = widget<ui::JogButton>("Command1(3)");  // "X +"
    }

    void mouse(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent e(type, at, jog->mapToGlobal(at), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(jog, &e);
    }
    void press(Qt::MouseButton button = Qt::LeftButton) {
        mouse(QEvent::MouseButtonPress, QPointF(10, 10), button, button);
    }
    void release(Qt::MouseButton button = Qt::LeftButton) {
        mouse(QEvent::MouseButtonRelease, QPointF(10, 10), button, Qt::NoButton);
    }
    bool jogging() { return h.form().Timer1.Enabled() && h.form().xMovingPlus; }
    // The jog stopped as its mouse-up stops it: timer off, flag down, coils off.
    void expectStopped() {
        EXPECT_FALSE(h.form().Timer1.Enabled());
        EXPECT_FALSE(h.form().xMovingPlus);
        EXPECT_EQ(h.engraver->motion().heldJog(), -1);
        EXPECT_EQ(h.data(), 0);
        EXPECT_FALSE(jog->isDown());
    }

    ui::JogButton* jog = nullptr;
};

TEST_F(JogTest, AnyMouseButtonJogsWhileHeld) {
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        SCOPED_TRACE(button);
        const int32_t before = h.form().xStepCount;
        press(button);
        EXPECT_TRUE(jogging());
        EXPECT_TRUE(jog->isDown());
        h.wait(100);
        EXPECT_GT(h.form().xStepCount, before);
        release(button);
        expectStopped();
    }
}

TEST_F(JogTest, APressThatEndsWithoutAReleaseStopsAsItsReleaseWould) {
    struct Way {
        const char* what;
        std::function<void(JogTest&)> end;
    };
    const Way ways[] = {
        {"focus moves away",
         [](JogTest& t) {
             QFocusEvent e(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
             QCoreApplication::sendEvent(t.jog, &e);
         }},
        {"window deactivated",
         [](JogTest& t) {
             QEvent e(QEvent::WindowDeactivate);
             QCoreApplication::sendEvent(t.window.get(), &e);
         }},
        {"modal dialog opens",
         [](JogTest& t) {
             QEvent e(QEvent::WindowBlocked);
             QCoreApplication::sendEvent(t.window.get(), &e);
         }},
        {"pointer leaves while held",
         [](JogTest& t) {
             t.mouse(QEvent::MouseMove, QPointF(-20, 10), Qt::NoButton, Qt::LeftButton);
         }},
        {"button disabled while held",
         [](JogTest& t) {
             t.h.form().Command1[3].enabled = false;
             t.window->renderNow();
             t.h.form().Command1[3].enabled = true;
             t.window->renderNow();
         }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.what);
        press();
        ASSERT_TRUE(jogging());
        h.wait(50);
        way.end(*this);
        expectStopped();
        const int32_t stoppedAt = h.form().xStepCount;
        h.clearTrace();
        release();  // the late release has nothing left to stop
        h.wait(100);
        EXPECT_EQ(h.form().xStepCount, stoppedAt);
        EXPECT_TRUE(h.writes().empty());
    }
}

TEST_F(JogTest, ADisabledJogIsNotPressed) {
    h.form().Command1[3].enabled = false;  // the core has it disabled; the widget lags behind
    press();
    EXPECT_FALSE(h.form().Timer1.Enabled());
    EXPECT_FALSE(jog->isDown());
    release();
    EXPECT_FALSE(h.form().Timer1.Enabled());
}

}  // namespace
}  // namespace ostrel::test
