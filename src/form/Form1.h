// Form1: every control's properties and every window variable, as plain data.
#pragma once

#include <QImage>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/EventLoop.h"

namespace ostrel::form {

// A colour as the window stores it: red in the low byte, green in the middle, blue in the
// high byte (colour = red + 256 * green + 65536 * blue).
using Colour = int32_t;
constexpr Colour RGB(int r, int g, int b) {
    return r + 256 * g + 65536 * b;
}
inline constexpr Colour kButtonFace = static_cast<Colour>(0x8000000F);  // system button colour
inline constexpr Colour kLightGrey = RGB(224, 224, 224);                // 14737632
inline constexpr Colour kRed = RGB(255, 0, 0);
inline constexpr Colour kLightGreen = RGB(192, 255, 192);  // &HC0FFC0
inline constexpr Colour kDarkGrey = RGB(64, 64, 64);
inline constexpr Colour kMidGrey = RGB(128, 128, 128);

// The Window Boolean: True is -1, False is 0. Flags are bool here; the script prints True/False.

enum class Kind {
    Form,
    Frame,
    Label,
    Button,           // plain push button
    GraphicalButton,  // draws its back colour (and, for the jog buttons, a picture)
    ComboBox,
    CheckBox,
    OptionButton,
    HScrollBar,
    VScrollBar,
    PictureBox,
    Timer,
    Menu,
};

// One control of the window. Places and sizes are in twips (15 twips = 1 pixel), from the
// top-left corner of the container (the client area, or the frame named in `container`).
struct Control {
    std::string name;  // "Command2(6)", "Label7", "shema"
    Kind kind = Kind::Label;
    std::string container;  // "" for the window itself
    std::string caption;    // Caption, or the Text of a list box
    std::string toolTip;
    bool enabled = true;
    bool visible = true;
    Colour backColor = -1;  // -1: the look's own colour
    int value = 0;          // scroll bars, check boxes (0/1), option buttons (0/1)
    int min = 0, max = 0;
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<std::string> items;  // list boxes

    int pixelWidth() const { return width / 15; }
    int pixelHeight() const { return height / 15; }
};

// A picture box with a persistent drawing surface in pixels. The drawing area is the outer
// size less the one-pixel border on each side: inner pixels = outer twips / 15 - 2.
struct PictureBox : Control {
    bool bordered = true;
    QImage raster;          // Format_RGB32, ScaleWidth x ScaleHeight
    uint64_t revision = 0;  // grows with every change of the raster (the view repaints on it)

    int ScaleWidth() const { return raster.width(); }
    int ScaleHeight() const { return raster.height(); }
    // The colour of a pixel; -1 outside the picture.
    Colour Point(int x, int y) const;
    void PSet(int x, int y, Colour c);
    // Resizes the box (outer size in twips); the drawing keeps its top-left part and new area
    // shows the back colour.
    void setOuterSize(int widthTwips, int heightTwips);
    // Replaces the picture with an image already of the box's drawing size, or resizes the
    // box to the image (Picture1 adjusts its size to what is loaded into it).
    void setPicture(const QImage& image);
    void touch() { ++revision; }
};

class Form1 {
  public:
    explicit Form1(runtime::EventLoop& loop);
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    // --- The window ---
    Control form;  // Form1 itself: caption "Ostrel - Full Version!", 8040 x 7950 client area

    // --- Frames ---
    Control Frame1, Frame2, Frame3, Frame4, Frame5, Frame6;

    // --- Labels ---
    Control Label1[3];  // X and Y counters, laser indicator
    Control Label2[3];  // "X", "Y", "Z"
    Control Label3[2];  // "XY", "Z"
    Control Label4, Label5, Label6, Label7;

    // --- Lists ---
    Control Combo1;  // step period in ms
    Control Combo2;  // laser pulse half-period in ms

    // --- Buttons ---
    Control Command1[6];  // jog buttons: Y-, Y+, X-, X+, Z-UP, Z-Down
    // Command panel: indices 0, 1, 4, 5, 6 exist; 2 and 3 do not (see Command2At()).
    Control Command2_0, Command2_1, Command2_4, Command2_5, Command2_6;
    Control Command3, Command4, Command5, Command6;

    // --- Choices and sliders ---
    Control Check1, Check2, Option1, Option2;
    Control HScroll1, HScroll2, HScroll3, VScroll1, VScroll2;

    // --- Picture boxes ---
    PictureBox Picture1, Picture2, Picture3;

    // --- Menu ---
    Control help, shema, explan, about;

    // --- Timers ---
    runtime::Timer Timer1, Timer2, Timer3, Timer4, Timer5, Timer6, Timer7, Timer8, Timer9, Timer10;
    runtime::Timer ManualLaserPow, JogLaserPow, JogMSpeed;  // never enabled, no handler

    // --- Window variables ---
    bool xMovingMinus = false, xMovingPlus = false, yMovingMinus = false, yMovingPlus = false;
    int16_t xPhase = 0, yPhase = 0;
    int32_t xStepCount = 0, yStepCount = 0;
    bool xHomed = false, yHomed = false;
    int32_t initRestTicks = 0;
    bool autoLaser = false;
    bool laserPulseOn = false;
    std::string pixelColumn = "0", pixelRow = "0";
    int16_t dotCycle = 0;
    // The picture run's dwell in ms per grey level, from the material profile in force; empty
    // for the designed table. Part of the job's state, so a copy of the window (the job-time
    // preview) burns with the same dwells.
    std::vector<uint16_t> materialDwellMs;

    // --- Access by name ---
    // The control of a name as the window has it ("Command2(6)", "Label1(0)"); null if none.
    Control* control(std::string_view name);
    runtime::Timer* timer(std::string_view name);
    PictureBox* picture(std::string_view name);
    Control* Command2At(int index);  // null for 2, 3 and anything else that does not exist
    std::vector<Control*> controls();
    std::vector<const Control*> controls() const;
    std::vector<std::pair<std::string, runtime::Timer*>> timers();

    // A value by the names the scenario scripts use: a window variable ("xStepCount"), or a
    // property as "Control.Property" ("Label1(0).Caption", "Timer4.Enabled",
    // "Picture2.Point(3,4)"). Booleans read True/False, colours and numbers decimal.
    std::optional<std::string> get(std::string_view name);
    // Every variable and property as one JSON object (pictures by size only).
    std::string dumpJson();
    static const std::vector<std::string>& variableNames();

    // Shows a step counter the way the counter labels do: plain decimal text.
    static std::string counterText(int32_t n) { return std::to_string(n); }

  private:
    void buildDesign();
    std::vector<std::pair<std::string, Control*>> byName_;
};

std::string boolText(bool b);
// A text as a JSON string literal, quotes included.
std::string jsonString(const std::string& s);

}  // namespace ostrel::form
