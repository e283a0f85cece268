// The window's colours as drawn: solid in every state, sampled from the rendered pixels.
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "UiTestSupport.h"
#include "ui/Widgets.h"

namespace ostrel::test {
namespace {

class LookTest : public WindowTest {
  public:
    // The widget as the window draws it now.
    QImage render(QWidget* w) {
        window->renderNow();
        return w->grab().toImage();
    }
};

// Points on a button's face inside its bevel, clear of the caption and the focus line: the top
// rows and both ends.
std::vector<QPoint> facePoints(const QSize& size) {
    return {{size.width() / 2, 2}, {2, size.height() / 2}, {size.width() - 4, size.height() / 2}};
}

void expectFace(const QImage& image, const QColor& colour, const std::string& what) {
    for (const QPoint& at : facePoints(image.size())) {
        EXPECT_EQ(image.pixelColor(at).name().toStdString(), colour.name().toStdString())
            << what << " at " << at.x() << "," << at.y();
    }
}

// Every state a button can be drawn in, each with its own way to get there.
enum class State { Normal, Hovered, Pressed, Focused, Disabled };
constexpr State kStates[] = {State::Normal, State::Hovered, State::Pressed, State::Focused,
                             State::Disabled};
const char* stateName(State s) {
    switch (s) {
        case State::Normal:
            return "normal";
        case State::Hovered:
            return "hovered";
        case State::Pressed:
            return "pressed";
        case State::Focused:
            return "focused";
        case State::Disabled:
            return "disabled";
    }
    return "";
}

QImage renderIn(QPushButton* b, State s) {
    b->setAttribute(Qt::WA_UnderMouse, s == State::Hovered);
    b->setDown(s == State::Pressed);
    if (s == State::Focused) {
        b->setFocusPolicy(Qt::StrongFocus);
        b->setFocus();
    }
    const bool enabled = b->isEnabled();
    if (s == State::Disabled) b->setEnabled(false);
    const QImage image = b->grab().toImage();
    b->setEnabled(enabled);
    b->setDown(false);
    b->setAttribute(Qt::WA_UnderMouse, false);
    b->clearFocus();
    return image;
}

TEST_F(LookTest, TogglesAndManualArePaintedSolidInEveryState) {
    window->show();
    struct Case {
        const char* control;
        std::vector<const char*> clicks;  // through the core, to reach the colour
        QColor colour;
    };
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    const std::vector<Case> cases = {
        {"Command4", {}, QColor(224, 224, 224)},
        {"Command4", {"Command2(6)", "Command4"}, QColor(255, 0, 0)},  // "Max Laser Power On"
        {"Command6", {}, buttonFace},
        {"Command6", {"Command2(6)", "Command6"}, QColor(255, 0, 0)},  // "Auto On"
        {"Command2(6)", {}, QColor(224, 224, 224)},
        {"Command2(6)", {"Command2(6)"}, QColor(192, 255, 192)},  // manual mode on
        {"Command2(0)", {}, buttonFace},
        {"Command3", {}, buttonFace},
    };
    for (const Case& c : cases) {
        // Both toggles off, then Abort: manual mode off.
        if (h.form().Command4.caption != "Max Laser Power") {
            h.engraver->click("Command2(6)");
            h.engraver->click("Command4");
        }
        if (h.form().Command6.caption != "Auto") {
            h.engraver->click("Command2(6)");
            h.engraver->click("Command6");
        }
        h.engraver->click("Command2(5)");
        for (const char* click : c.clicks) h.engraver->click(click);
        window->renderNow();
        auto* button = widget<QPushButton>(c.control);
        ASSERT_NE(button, nullptr) << c.control;
        for (State s : kStates) {
            expectFace(
                renderIn(button, s), c.colour,
                std::string(c.control) + " " + button->text().toStdString() + " " + stateName(s));
        }
    }
}

TEST_F(LookTest, ButtonCaptionsAreBlackNotTheirFramesOlive) {
    for (const char* name : {"Command3", "Command5", "Command4", "Command6"}) {
        EXPECT_EQ(widget(name)->palette().color(QPalette::ButtonText), QColor(0, 0, 0)) << name;
    }
}

TEST_F(LookTest, OptionAndCheckBoxesLieOnMidGrey) {
    window->show();
    for (const char* name : {"Check1", "Check2", "Option1", "Option2"}) {
        const QImage image = render(widget(name));
        for (const QPoint& at :
             {QPoint(image.width() - 2, 1), QPoint(image.width() - 2, image.height() - 2)}) {
            EXPECT_EQ(image.pixelColor(at), QColor(128, 128, 128))
                << name << " at " << at.x() << "," << at.y();
        }
    }
}

TEST_F(LookTest, SpeedListsLieOnMidGreyAndABadTextTurnsOnlyTheFieldRed) {
    window->show();
    auto* combo = widget<QComboBox>("Combo1");
    const QImage image = render(combo);
    // The text field's empty right part, left of the arrow button.
    EXPECT_EQ(image.pixelColor(image.width() - 24, image.height() / 2), QColor(128, 128, 128));

    ASSERT_EQ(h.engraver->set("Combo1", "fast"), engraver::EventResult::Handled);
    window->renderNow();
    QLineEdit* edit = combo->lineEdit();
    EXPECT_EQ(edit->palette().color(QPalette::Text), QColor(Qt::red));
    EXPECT_TRUE(edit->toolTip().contains(QStringLiteral("from 1 to 65535")))
        << edit->toolTip().toStdString();
    // The drop-down list stays readable: black items.
    EXPECT_EQ(combo->view()->palette().color(QPalette::Text), QColor(0, 0, 0));

    ASSERT_EQ(h.engraver->set("Combo1", "20"), engraver::EventResult::Handled);
    window->renderNow();
    EXPECT_EQ(edit->palette().color(QPalette::Text), QColor(0, 0, 0));
    EXPECT_TRUE(edit->toolTip().isEmpty());
    EXPECT_EQ(combo->toolTip(), QStringLiteral("Step Motors Speed (one step)"));
}

// The mean brightness of the middle of a jog button, where its chevron is.
double chevronBrightness(const QImage& image) {
    double sum = 0;
    int n = 0;
    const QRect middle = image.rect().adjusted(image.width() / 4, image.height() / 4,
                                               -image.width() / 4, -image.height() / 4);
    for (int y = middle.top(); y <= middle.bottom(); ++y) {
        for (int x = middle.left(); x <= middle.right(); ++x) {
            sum += qGray(image.pixel(x, y));
            ++n;
        }
    }
    return sum / n;
}

TEST_F(LookTest, JogButtonsLookDisabledUntilManualMode) {
    window->show();
    auto* jog = widget("Command1(0)");
    ASSERT_FALSE(h.form().Command1[0].enabled);  // the load procedure disabled them
    const QImage disabled = render(jog);
    h.engraver->click("Command2(6)");
    const QImage enabled = render(jog);
    ASSERT_TRUE(jog->isEnabled());
    EXPECT_LT(chevronBrightness(disabled), chevronBrightness(enabled) / 2);
    // Raised with a light bevel when usable, flat when not.
    EXPECT_GT(qGray(enabled.pixel(1, 1)), 150);
    EXPECT_LT(qGray(disabled.pixel(1, 1)), 110);
}

TEST_F(LookTest, PictureBoxesKeepAllFourBordersAtAFractionalScale) {
    auto* box = widget<ui::PictureView>("Picture2");
    ASSERT_NE(box, nullptr);
    for (const double ratio : {1.0, 1.25, 1.5}) {
        QImage image(box->size() * ratio, QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::white);
        box->render(&image);
        const int w = image.width(), h = image.height();
        for (const QPoint& at :
             {QPoint(w / 2, 0), QPoint(w / 2, h - 1), QPoint(0, h / 2), QPoint(w - 1, h / 2)}) {
            EXPECT_EQ(image.pixelColor(at), QColor(0, 0, 0))
                << "scale " << ratio << " at " << at.x() << "," << at.y();
        }
    }
}

}  // namespace
}  // namespace ostrel::test
