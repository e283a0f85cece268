// The window's state as a value: every control's properties and the window variables, each
// named once in the tables below.
#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    bool operator==(const Control&) const = default;
};

// A picture box with a persistent drawing surface in pixels. The drawing area is the outer
// size less the one-pixel border on each side: inner pixels = outer twips / 15 - 2.
struct PictureBox : Control {
    bool bordered = true;
    QImage raster;  // Format_RGB32; ScaleWidth x ScaleHeight unless `scale` says otherwise
    // The drawing's size in its own units when the raster holds it reduced (a large JPEG is
    // decoded at 1/2, 1/4 or 1/8 of its size); empty: the raster's own size.
    QSize scale;
    uint64_t revision = 0;  // grows with every change of the raster (the view repaints on it)

    int ScaleWidth() const { return scale.isEmpty() ? raster.width() : scale.width(); }
    int ScaleHeight() const { return scale.isEmpty() ? raster.height() : scale.height(); }
    // The colour of a pixel, in scale units; -1 outside the picture.
    Colour Point(int x, int y) const;
    void PSet(int x, int y, Colour c);
    // Resizes the box (outer size in twips); the drawing keeps its top-left part and new area
    // shows the back colour.
    void setOuterSize(int widthTwips, int heightTwips);
    // Replaces the picture with an image already of the box's drawing size, or resizes the
    // box to the picture (Picture1 adjusts its size to what is loaded into it). `whole` is the
    // picture's own size when `image` holds it reduced; empty when the image is the picture.
    void setPicture(const QImage& image, QSize whole = {});
    void touch() { ++revision; }
    // The same properties and picture; the revision is the views' business, not the state's.
    bool operator==(const PictureBox& o) const {
        return static_cast<const Control&>(*this) == o && bordered == o.bordered &&
               raster == o.raster && scale == o.scale;
    }
};

// Every control of the window. NOTE: a control added here must be added to forEachControl()
// too; the form tests compare the sizes.
struct Controls {
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
    // Command panel: indices 0, 1, 4, 5, 6 exist; 2 and 3 do not (see command2At()).
    Control Command2_0, Command2_1, Command2_4, Command2_5, Command2_6;
    Control Command3, Command4, Command5, Command6;

    // --- Choices and sliders ---
    Control Check1, Check2, Option1, Option2;
    Control HScroll1, HScroll2, HScroll3, VScroll1, VScroll2;

    // --- Picture boxes ---
    PictureBox Picture1, Picture2, Picture3;

    // --- Menu ---
    Control help, shema, explan, about;

    bool operator==(const Controls&) const = default;
};

// Every control, in the window's order (the order of the dump and of controls()). `f` is
// called with each Control or PictureBox; `C` is Controls or const Controls.
template <class C, class F>
void forEachControl(C& c, F&& f) {
    f(c.form);
    f(c.Frame1), f(c.Frame2), f(c.Frame3), f(c.Frame4), f(c.Frame5), f(c.Frame6);
    for (auto& l : c.Label1) f(l);
    for (auto& l : c.Label2) f(l);
    for (auto& l : c.Label3) f(l);
    f(c.Label4), f(c.Label5), f(c.Label6), f(c.Label7);
    f(c.Combo1), f(c.Combo2);
    for (auto& b : c.Command1) f(b);
    f(c.Command2_0), f(c.Command2_1), f(c.Command2_4), f(c.Command2_5), f(c.Command2_6);
    f(c.Command3), f(c.Command4), f(c.Command5), f(c.Command6);
    f(c.Check1), f(c.Check2), f(c.Option1), f(c.Option2);
    f(c.HScroll1), f(c.HScroll2), f(c.HScroll3), f(c.VScroll1), f(c.VScroll2);
    f(c.Picture1), f(c.Picture2), f(c.Picture3);
    f(c.help), f(c.shema), f(c.explan), f(c.about);
}

// The window variables: what the handlers keep between events besides the controls.
// NOTE: a variable added here must be added to forEachVariable() too; the form tests count
// the members.
struct WindowVariables {
    bool xMovingMinus = false, xMovingPlus = false, yMovingMinus = false, yMovingPlus = false;
    int16_t xPhase = 0, yPhase = 0;
    int32_t xStepCount = 0, yStepCount = 0;
    bool xHomed = false, yHomed = false;
    int32_t initRestTicks = 0;
    bool autoLaser = false;
    bool laserPulseOn = false;
    std::string pixelColumn = "0", pixelRow = "0";
    int16_t dotCycle = 0;

    bool operator==(const WindowVariables&) const = default;
};

// Every window variable with its name, in the dump's order. `f(name, member)` gets a bool,
// int16_t, int32_t or std::string; `V` is WindowVariables or const WindowVariables.
template <class V, class F>
void forEachVariable(V& v, F&& f) {
    f("xMovingMinus", v.xMovingMinus), f("xMovingPlus", v.xMovingPlus);
    f("yMovingMinus", v.yMovingMinus), f("yMovingPlus", v.yMovingPlus);
    f("xPhase", v.xPhase), f("yPhase", v.yPhase);
    f("xStepCount", v.xStepCount), f("yStepCount", v.yStepCount);
    f("xHomed", v.xHomed), f("yHomed", v.yHomed);
    f("initRestTicks", v.initRestTicks);
    f("autoLaser", v.autoLaser), f("laserPulseOn", v.laserPulseOn);
    f("pixelColumn", v.pixelColumn), f("pixelRow", v.pixelRow);
    f("dotCycle", v.dotCycle);
}

// The whole window as a value: copying it is a snapshot, assigning it back a restore. A new
// state is the window as designed, before any event.
class FormState : public Controls, public WindowVariables {
  public:
    FormState();

    // The control of a name as the window has it ("Command2(6)", "Label1(0)"); null if none.
    Control* control(std::string_view name);
    const Control* control(std::string_view name) const;
    PictureBox* picture(std::string_view name);
    const PictureBox* picture(std::string_view name) const;
    Control* command2At(int index);  // null for 2, 3 and anything else that does not exist
    std::vector<Control*> controls();
    std::vector<const Control*> controls() const;

    // A window variable as the scripts print it (booleans True/False, numbers decimal), or
    // nothing for a name that is none.
    std::optional<std::string> variable(std::string_view name) const;
    static const std::vector<std::string>& variableNames();

    // The picture run's dwell in ms per grey level, from the material profile in force; empty
    // for the designed table. Part of the state, so a snapshot (the job-time preview) burns
    // with the same dwells; not a window variable, so the dumps stay as they are.
    std::vector<uint16_t> materialDwellMs;

    bool operator==(const FormState&) const = default;
};

std::string boolText(bool b);

}  // namespace ostrel::form
