// The main window as it opens: every control's kind, text, tooltip, state, place and size.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <set>

#include "UiTestSupport.h"
#include "ui/Look.h"
#include "ui/Widgets.h"

namespace ostrel::test {
namespace {

enum class W { Frame, Label, Button, Toggle, Jog, Combo, Check, Option, HBar, VBar, Picture };
enum class On { Yes, No, Any };
constexpr int kAny = -1;

struct Row {
    const char* name;
    W kind;
    const char* parent;  // "client" or the frame
    const char* text;    // caption, or the list's text
    const char* tip;
    int x, y, w, h;  // pixels in the parent; kAny where the control sizes itself
    On enabled;
};

// Places and sizes are the design twips divided by 15.
constexpr Row kRows[] = {
    {"Frame1", W::Frame, "client", "Laser Position", "", 8, 8, 145, 161, On::Yes},
    {"Frame3", W::Frame, "client", "Jog Motor (X , Y) Speed Control && (X , Y)Starting Position",
     "", 160, 8, 369, 89, On::Yes},
    {"Frame5", W::Frame, "client", "Jog Laser Pulsed && Constant && Auto Power Control", "", 160,
     104, 369, 65, On::Yes},
    {"Frame4", W::Frame, "client", "Picture Graver", "", 8, 176, 145, 129, On::Yes},
    {"Frame6", W::Frame, "client", "Picture Frame Cutter", "", 320, 176, 145, 129, On::Yes},
    {"Frame2", W::Frame, "client", "Jog Control", "", 8, 368, 281, 153, On::Yes},

    {"Label2(0)", W::Label, "Frame1", "X", "", kAny, 16, kAny, kAny, On::Yes},
    {"Label2(1)", W::Label, "Frame1", "Y", "", kAny, 64, kAny, kAny, On::Yes},
    {"Label2(2)", W::Label, "Frame1", "Z", "", kAny, 112, kAny, kAny, On::Yes},
    {"Label1(0)", W::Label, "Frame1", " 0", "Step Motor X Coordinate", 40, 16, 97, 41, On::Yes},
    {"Label1(1)", W::Label, "Frame1", "0", "Step Motor Y Coordinate", 40, 64, 97, 41, On::Yes},
    {"Label1(2)", W::Label, "Frame1", "0", "Laser Power On/Off", 40, 112, 97, 41, On::Yes},

    {"Combo1", W::Combo, "Frame3", "10", "Step Motors Speed (one step)", 16, 32, 57, kAny, On::Yes},
    {"Label4", W::Label, "Frame3", "ms", "", 88, 32, kAny, kAny, On::Yes},
    {"Command3", W::Button, "Frame3", "Go Home (X)", "Go to starting position", 160, 24, 185, 25,
     On::Yes},
    {"Command5", W::Button, "Frame3", "Go Home (Y)", "Go to starting position", 160, 56, 185, 25,
     On::Yes},

    {"Combo2", W::Combo, "Frame5", "255", "Laser Pulsed Time", 16, 32, 57, kAny, On::Any},
    {"Label5", W::Label, "Frame5", "ms", "", 88, 32, kAny, kAny, On::Yes},
    {"Command4", W::Toggle, "Frame5", "Max Laser Power", "", 112, 24, 129, 33, On::Any},
    {"Command6", W::Toggle, "Frame5", "Auto", "", 248, 24, 105, 33, On::Any},

    {"Picture2", W::Picture, "Frame4", "", "Picture", 8, 16, 129, 105, On::Yes},
    {"VScroll1", W::VBar, "client", "", "", 160, 192, 17, 105, On::Yes},
    {"HScroll1", W::HBar, "client", "", "", 8, 312, 129, 17, On::Yes},

    {"Label6", W::Label, "client", "Sensitivity", "Sensitivity Coarse-Burning", 216, 176, kAny,
     kAny, On::Yes},
    {"HScroll3", W::HBar, "client", "", "", 192, 200, 121, 17, On::Yes},
    {"Check1", W::Check, "client", "Coarse-Burning", "Coarse-Burning & Precise-Burning", 192, 232,
     121, 17, On::Yes},
    {"Check2", W::Check, "client", "Hologram-Efect", "", 192, 256, 121, 17, On::Yes},

    {"Picture3", W::Picture, "Frame6", "", "Frame", 8, 16, 129, 105, On::Yes},
    {"VScroll2", W::VBar, "client", "", "", 472, 192, 17, 105, On::Yes},
    {"HScroll2", W::HBar, "client", "", "", 320, 312, 129, 17, On::Yes},

    {"Option1", W::Option, "client", "Picture engraving", "Picture graver", 8, 336, 129, 17,
     On::Yes},
    {"Option2", W::Option, "client", "Frame cutting", "Framework cutter", 320, 336, 129, 17,
     On::Yes},

    // The jog buttons are disabled once the window has loaded.
    {"Command1(0)", W::Jog, "Frame2", "", "Y -", 64, 24, 49, 41, On::No},
    {"Command1(1)", W::Jog, "Frame2", "", "Y +", 64, 104, 49, 41, On::No},
    {"Command1(2)", W::Jog, "Frame2", "", "X -", 16, 64, 49, 41, On::No},
    {"Command1(3)", W::Jog, "Frame2", "", "X +", 112, 64, 49, 41, On::No},
    {"Command1(4)", W::Jog, "Frame2", "", "Z-UP", 216, 24, 49, 41, On::No},
    {"Command1(5)", W::Jog, "Frame2", "", "Z-Down", 216, 104, 49, 41, On::No},
    {"Label3(0)", W::Label, "Frame2", "XY", "", 72, 72, kAny, kAny, On::Yes},
    {"Label3(1)", W::Label, "Frame2", "Z", "", 232, 72, kAny, kAny, On::Yes},

    {"Command2(0)", W::Button, "client", "Load", "Loading image", 320, 376, 65, 25, On::Yes},
    {"Command2(6)", W::Toggle, "client", "Manual", "Manual control", 456, 376, 65, 25, On::Yes},
    {"Command2(1)", W::Button, "client", "Run", "Engraver starts", 320, 432, 65, 25, On::Yes},
    {"Command2(5)", W::Button, "client", "Abort", "Engraver Disable", 320, 496, 65, 25, On::Yes},
    {"Command2(4)", W::Button, "client", "Exit", "", 456, 496, 65, 25, On::Yes},

    {"Label7", W::Label, "client", " Please wait - Initialize", "", 144, 312, kAny, kAny, On::Yes},
};

bool isKind(QWidget* w, W kind) {
    switch (kind) {
        case W::Frame:
            return qobject_cast<QGroupBox*>(w) != nullptr;
        case W::Label:
            return qobject_cast<QLabel*>(w) != nullptr;
        case W::Button:
        case W::Toggle:
            return qobject_cast<QPushButton*>(w) != nullptr;
        case W::Jog:
            return qobject_cast<ui::JogButton*>(w) != nullptr;
        case W::Combo: {
            auto* combo = qobject_cast<QComboBox*>(w);
            return combo && combo->isEditable();
        }
        case W::Check:
            return qobject_cast<QCheckBox*>(w) != nullptr;
        case W::Option:
            return qobject_cast<QRadioButton*>(w) != nullptr;
        case W::HBar: {
            auto* bar = qobject_cast<QScrollBar*>(w);
            return bar && bar->orientation() == Qt::Horizontal;
        }
        case W::VBar: {
            auto* bar = qobject_cast<QScrollBar*>(w);
            return bar && bar->orientation() == Qt::Vertical;
        }
        case W::Picture:
            return qobject_cast<ui::PictureView*>(w) != nullptr;
    }
    return false;
}

QString shownText(QWidget* w) {
    if (auto* frame = qobject_cast<QGroupBox*>(w)) return frame->title();
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
    if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->currentText();
    if (qobject_cast<ui::JogButton*>(w)) return {};
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
    return {};
}

using LayoutTest = WindowTest;

TEST_F(LayoutTest, EveryControlHasItsKindTextTooltipStatePlaceAndSize) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        QWidget* w = widget(row.name);
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(isKind(w, row.kind));
        EXPECT_EQ(w->parentWidget()->objectName().toStdString(), row.parent);
        EXPECT_EQ(shownText(w).toStdString(), row.text);
        EXPECT_EQ(w->toolTip().toStdString(), row.tip);
        if (row.x != kAny) {
            EXPECT_EQ(w->x(), row.x);
        }
        EXPECT_EQ(w->y(), row.y);
        if (row.w != kAny) {
            EXPECT_EQ(w->width(), row.w);
        }
        if (row.h != kAny) {
            EXPECT_EQ(w->height(), row.h);
        }
        if (row.enabled != On::Any) {
            EXPECT_EQ(w->isEnabled(), row.enabled == On::Yes);
        }
        // Everything shows but the start-up notice, which waits for the watchdog.
        EXPECT_EQ(w->isHidden(), std::string_view(row.name) == "Label7");
    }
}

TEST_F(LayoutTest, ListsAndValuesStartAtTheirDesignState) {
    auto items = [](QComboBox* c) {
        std::vector<std::string> out;
        for (int i = 0; i < c->count(); ++i) out.push_back(c->itemText(i).toStdString());
        return out;
    };
    EXPECT_EQ(items(widget<QComboBox>("Combo1")),
              (std::vector<std::string>{"100", "80", "60", "40", "20", "10", "5"}));
    EXPECT_EQ(items(widget<QComboBox>("Combo2")),
              (std::vector<std::string>{"255", "128", "64", "32", "4"}));

    EXPECT_TRUE(widget<QCheckBox>("Check1")->isChecked());
    EXPECT_FALSE(widget<QCheckBox>("Check2")->isChecked());
    EXPECT_FALSE(widget<QRadioButton>("Option1")->isChecked());
    EXPECT_FALSE(widget<QRadioButton>("Option2")->isChecked());

    struct Bar {
        const char* name;
        int max, value;
    };
    for (const Bar& b :
         {Bar{"HScroll1", 1935, 1935}, Bar{"HScroll2", 1935, 1935}, Bar{"VScroll1", 1575, 1575},
          Bar{"VScroll2", 1575, 1575}, Bar{"HScroll3", 254, 100}}) {
        SCOPED_TRACE(b.name);
        auto* bar = widget<QScrollBar>(b.name);
        EXPECT_EQ(bar->maximum(), b.max);
        EXPECT_EQ(bar->value(), b.value);
    }
    EXPECT_EQ(widget<QScrollBar>("HScroll3")->minimum(), 0);
}

TEST_F(LayoutTest, CommandPanelHasExactlyTheIndicesZeroOneFourFiveSix) {
    std::set<int> indices;
    const QRegularExpression element(QStringLiteral("^Command2\\((\\d+)\\)$"));
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const auto match = element.match(w->objectName());
        if (match.hasMatch()) indices.insert(match.captured(1).toInt());
    }
    EXPECT_EQ(indices, (std::set<int>{0, 1, 4, 5, 6}));
}

TEST_F(LayoutTest, WindowIsFixedWithTitleIconAndDarkClientArea) {
    EXPECT_EQ(window->windowTitle().toStdString(), "Ostrel - Full Version!");
    QWidget* client = widget("client");
    EXPECT_EQ(client->size(), QSize(536, 530));
    EXPECT_EQ(client->palette().color(QPalette::Window), QColor(64, 64, 64));
    window->show();
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(window->windowIcon().isNull());
}

TEST_F(LayoutTest, HelpMenuHasSchematicExplanationAbout) {
    QList<QAction*> menus = window->menuBar()->actions();
    ASSERT_EQ(menus.size(), 1);
    EXPECT_EQ(menus[0]->objectName(), QStringLiteral("help"));
    EXPECT_EQ(menus[0]->text(), QStringLiteral("Help"));
    const QList<QAction*> items = menus[0]->menu()->actions();
    ASSERT_EQ(items.size(), 3);
    const char* names[3] = {"shema", "explan", "about"};
    const char* captions[3] = {"Schematic", "Explanation", "About"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(items[i]->objectName().toStdString(), names[i]);
        EXPECT_EQ(items[i]->text().toStdString(), captions[i]);
    }
}

TEST_F(LayoutTest, LooksKeepTheirColoursSizesAndWeights) {
    struct Colour {
        const char* name;
        QPalette::ColorRole role;
        QColor colour;
    };
    for (const Colour& c : {
             Colour{"Label1(0)", QPalette::Window, QColor(0, 0, 0)},
             Colour{"Label1(0)", QPalette::WindowText, QColor(0, 192, 0)},
             Colour{"Label2(1)", QPalette::WindowText, QColor(128, 128, 0)},
             Colour{"Frame1", QPalette::WindowText, QColor(128, 128, 0)},
             Colour{"Frame2", QPalette::Window, QColor(128, 128, 128)},
             Colour{"Frame2", QPalette::WindowText, QColor(0, 0, 0)},
             Colour{"Label7", QPalette::Window, QColor(255, 128, 0)},
             Colour{"Check1", QPalette::Window, QColor(128, 128, 128)},
             Colour{"Option2", QPalette::Window, QColor(128, 128, 128)},
             Colour{"Combo1", QPalette::Base, QColor(128, 128, 128)},
             Colour{"Command4", QPalette::Button, QColor(224, 224, 224)},
             Colour{"Command2(6)", QPalette::Button, QColor(224, 224, 224)},
             Colour{"Command6", QPalette::Button, QApplication::palette().color(QPalette::Button)},
         }) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(widget(c.name)->palette().color(c.role), c.colour);
    }
    struct Font {
        const char* name;
        int pixels;
        bool bold;
    };
    for (const Font& f :
         {Font{"Label1(1)", 32, true}, Font{"Label3(0)", 19, true}, Font{"Frame3", 13, false},
          Font{"Command2(1)", 11, true}, Font{"Command3", 11, true}, Font{"Label7", 13, true},
          Font{"Check1", 12, false}, Font{"Option1", 11, false}}) {
        SCOPED_TRACE(f.name);
        EXPECT_EQ(widget(f.name)->font().pixelSize(), f.pixels);
        EXPECT_EQ(widget(f.name)->font().bold(), f.bold);
    }
    EXPECT_EQ(widget<QLabel>("Label1(0)")->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
}

// The counters must stay legible: the longest travel (four digits) and a short way behind the
// home switch fit the counter without clipping.
TEST_F(LayoutTest, CountersFitTheirLongestValues) {
    auto* counter = widget<QLabel>("Label1(0)");
    for (const char* text : {"1100", "-999", " 0"}) {
        EXPECT_LE(counter->fontMetrics().horizontalAdvance(QString::fromLatin1(text)),
                  counter->width())
            << text;
    }
    EXPECT_LE(counter->fontMetrics().height(), counter->height());
}

// Long frame captions must not run past their frame.
TEST_F(LayoutTest, FrameCaptionsFitTheirFrames) {
    for (const char* name : {"Frame1", "Frame2", "Frame3", "Frame4", "Frame5", "Frame6"}) {
        SCOPED_TRACE(name);
        auto* frame = widget<QGroupBox>(name);
        const int text = frame->fontMetrics().size(Qt::TextShowMnemonic, frame->title()).width();
        EXPECT_LE(text + 12, frame->width());
    }
}

}  // namespace
}  // namespace ostrel::test

namespace ostrel::ui {
namespace {

TEST(LabelText, DoubledAmpersandShowsOneAndASingleOneMarksAnAccessKey) {
    EXPECT_EQ(labelText("Pulsed && Constant"), QStringLiteral("Pulsed & Constant"));
    EXPECT_EQ(labelText("&Load"), QStringLiteral("Load"));
    EXPECT_EQ(labelText(" 0"), QStringLiteral(" 0"));
    EXPECT_EQ(labelText("A &&& B"), QStringLiteral("A & B"));
}

}  // namespace
}  // namespace ostrel::ui
