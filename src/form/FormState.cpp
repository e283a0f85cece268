// The window's design state and the access to its controls and variables by name.
#include "form/FormState.h"

#include <QColor>
#include <algorithm>

namespace ostrel::form {

std::string boolText(bool b) {
    return b ? "True" : "False";
}

// --- Picture boxes ---

static QRgb toQRgb(Colour c) {
    return qRgb(c & 255, (c >> 8) & 255, (c >> 16) & 255);
}
static Colour fromQRgb(QRgb p) {
    return RGB(qRed(p), qGreen(p), qBlue(p));
}

// A point in scale units to the raster pixel that holds it.
static QPoint rasterPoint(const PictureBox& box, int x, int y) {
    if (box.scale.isEmpty()) return {x, y};
    return {static_cast<int>(int64_t{x} * box.raster.width() / box.scale.width()),
            static_cast<int>(int64_t{y} * box.raster.height() / box.scale.height())};
}

Colour PictureBox::Point(int x, int y) const {
    if (x < 0 || y < 0 || x >= ScaleWidth() || y >= ScaleHeight()) return -1;
    return fromQRgb(raster.pixel(rasterPoint(*this, x, y)));
}

void PictureBox::PSet(int x, int y, Colour c) {
    if (x < 0 || y < 0 || x >= ScaleWidth() || y >= ScaleHeight()) return;
    raster.setPixel(rasterPoint(*this, x, y), toQRgb(c));
    ++revision;
}

void PictureBox::setOuterSize(int widthTwips, int heightTwips) {
    width = widthTwips;
    height = heightTwips;
    // A resized box draws in pixels again.
    scale = QSize();
    const int border = bordered ? 2 : 0;
    const int w = std::max(0, widthTwips / 15 - border);
    const int h = std::max(0, heightTwips / 15 - border);
    if (w == raster.width() && h == raster.height()) return;
    QImage next(w, h, QImage::Format_RGB32);
    next.fill(toQRgb(backColor < 0 ? 0 : backColor));
    for (int y = 0; y < std::min(h, raster.height()); ++y) {
        for (int x = 0; x < std::min(w, raster.width()); ++x)
            next.setPixel(x, y, raster.pixel(x, y));
    }
    raster = std::move(next);
    ++revision;
}

void PictureBox::setPicture(const QImage& image, QSize whole) {
    raster = image.convertToFormat(QImage::Format_RGB32);
    scale = whole.isEmpty() || whole == raster.size() || raster.isNull() ? QSize() : whole;
    if (name == "Picture1") {
        // The box takes the picture's own size, whatever resolution the raster holds it at.
        width = (ScaleWidth() + (bordered ? 2 : 0)) * 15;
        height = (ScaleHeight() + (bordered ? 2 : 0)) * 15;
    }
    ++revision;
}

// --- Design state ---

static Control make(std::string name, Kind kind, std::string container, std::string caption,
                    int left, int top, int width, int height, std::string toolTip = {}) {
    Control c;
    c.name = std::move(name);
    c.kind = kind;
    c.container = std::move(container);
    c.caption = std::move(caption);
    c.left = left;
    c.top = top;
    c.width = width;
    c.height = height;
    c.toolTip = std::move(toolTip);
    return c;
}

// A job's raster box (Picture2, Picture3): at the top left of its frame, dark, at the size the
// jobs' travel is made for.
static void makeRaster(PictureBox& p, std::string name, std::string frame, std::string toolTip) {
    p.name = std::move(name);
    p.kind = Kind::PictureBox;
    p.container = std::move(frame);
    p.left = 120;
    p.top = 240;
    p.toolTip = std::move(toolTip);
    p.backColor = kDarkGrey;
    p.setOuterSize(1935, 1575);
}

FormState::FormState() {
    using K = Kind;
    form = make("Form1", K::Form, "", "Ostrel - Full Version!", 0, 0, 8040, 7950);
    form.backColor = kDarkGrey;

    Frame1 = make("Frame1", K::Frame, "", "Laser Position", 120, 120, 2175, 2415);
    Frame3 =
        make("Frame3", K::Frame, "", "Jog Motor (X , Y) Speed Control && (X , Y)Starting Position",
             2400, 120, 5535, 1335);
    Frame5 = make("Frame5", K::Frame, "", "Jog Laser Pulsed && Constant && Auto Power Control",
                  2400, 1560, 5535, 975);
    Frame4 = make("Frame4", K::Frame, "", "Picture Graver", 120, 2640, 2175, 1935);
    Frame6 = make("Frame6", K::Frame, "", "Picture Frame Cutter", 4800, 2640, 2175, 1935);
    Frame2 = make("Frame2", K::Frame, "", "Jog Control", 120, 5520, 4215, 2295);
    for (Control* f : {&Frame1, &Frame3, &Frame5, &Frame4, &Frame6}) f->backColor = kDarkGrey;
    Frame2.backColor = kMidGrey;

    const char* letters[3] = {"X", "Y", "Z"};
    const int rows[3] = {240, 960, 1680};
    for (int i = 0; i < 3; ++i) {
        Label2[i] = make("Label2(" + std::to_string(i) + ")", K::Label, "Frame1", letters[i], 120,
                         rows[i], 480, 615);
    }
    Label1[0] =
        make("Label1(0)", K::Label, "Frame1", " 0", 600, 240, 1455, 615, "Step Motor X Coordinate");
    Label1[1] =
        make("Label1(1)", K::Label, "Frame1", "0", 600, 960, 1455, 615, "Step Motor Y Coordinate");
    Label1[2] =
        make("Label1(2)", K::Label, "Frame1", "0", 600, 1680, 1455, 615, "Laser Power On/Off");
    for (Control& l : Label1) l.backColor = RGB(0, 0, 0);

    Combo1 = make("Combo1", K::ComboBox, "Frame3", "10", 240, 480, 855, 315,
                  "Step Motors Speed (one step)");
    Combo1.items = {"100", "80", "60", "40", "20", "10", "5"};
    Combo1.backColor = kMidGrey;
    Label4 = make("Label4", K::Label, "Frame3", "ms", 1320, 480, 375, 255);
    Command3 = make("Command3", K::Button, "Frame3", "Go Home (X)", 2400, 360, 2775, 375,
                    "Go to starting position");
    Command5 = make("Command5", K::Button, "Frame3", "Go Home (Y)", 2400, 840, 2775, 375,
                    "Go to starting position");

    Combo2 = make("Combo2", K::ComboBox, "Frame5", "255", 240, 480, 855, 315, "Laser Pulsed Time");
    Combo2.items = {"255", "128", "64", "32", "4"};
    Combo2.backColor = kMidGrey;
    Label5 = make("Label5", K::Label, "Frame5", "ms", 1320, 480, 375, 255);
    Command4 =
        make("Command4", K::GraphicalButton, "Frame5", "Max Laser Power", 1680, 360, 1935, 495);
    Command4.backColor = kLightGrey;
    Command6 = make("Command6", K::GraphicalButton, "Frame5", "Auto", 3720, 360, 1575, 495);
    Command6.backColor = kButtonFace;

    makeRaster(Picture2, "Picture2", "Frame4", "Picture");
    VScroll1 = make("VScroll1", K::VScrollBar, "", "", 2400, 2880, 255, 1575);
    HScroll1 = make("HScroll1", K::HScrollBar, "", "", 120, 4680, 1935, 255);

    Label6 = make("Label6", K::Label, "", "Sensitivity", 3240, 2640, 1215, 255,
                  "Sensitivity Coarse-Burning");
    HScroll3 = make("HScroll3", K::HScrollBar, "", "", 2880, 3000, 1815, 255);
    HScroll3.min = 0;
    HScroll3.max = 254;
    HScroll3.value = 100;
    Check1 = make("Check1", K::CheckBox, "", "Coarse-Burning", 2880, 3480, 1815, 255,
                  "Coarse-Burning & Precise-Burning");
    Check1.value = 1;
    Check2 = make("Check2", K::CheckBox, "", "Hologram-Efect", 2880, 3840, 1815, 255);
    Check2.value = 0;

    makeRaster(Picture3, "Picture3", "Frame6", "Frame");
    VScroll2 = make("VScroll2", K::VScrollBar, "", "", 7080, 2880, 255, 1575);
    HScroll2 = make("HScroll2", K::HScrollBar, "", "", 4800, 4680, 1935, 255);
    // NOTE: the size sliders' design value 255 is taken as their lower bound: the smallest
    // raster is 15 x 15 pixels.
    for (Control* s : {&VScroll1, &VScroll2}) {
        s->min = 255;
        s->max = 1575;
        s->value = 1575;
    }
    for (Control* s : {&HScroll1, &HScroll2}) {
        s->min = 255;
        s->max = 1935;
        s->value = 1935;
    }
    for (Control* c : {&Check1, &Check2}) c->backColor = kMidGrey;

    Option1 = make("Option1", K::OptionButton, "", "Picture engraving", 120, 5040, 1935, 255,
                   "Picture graver");
    Option2 = make("Option2", K::OptionButton, "", "Frame cutting", 4800, 5040, 1935, 255,
                   "Framework cutter");
    for (Control* c : {&Option1, &Option2}) c->backColor = kMidGrey;

    const char* jogTips[6] = {"Y -", "Y +", "X -", "X +", "Z-UP", "Z-Down"};
    const int jogPlaces[6][2] = {{960, 360},  {960, 1560}, {240, 960},
                                 {1680, 960}, {3240, 360}, {3240, 1560}};
    for (int i = 0; i < 6; ++i) {
        Command1[i] = make("Command1(" + std::to_string(i) + ")", K::GraphicalButton, "Frame2", "",
                           jogPlaces[i][0], jogPlaces[i][1], 735, 615, jogTips[i]);
        Command1[i].backColor = RGB(0, 0, 0);
    }
    Label3[0] = make("Label3(0)", K::Label, "Frame2", "XY", 1080, 1080, 495, 375);
    Label3[1] = make("Label3(1)", K::Label, "Frame2", "Z", 3480, 1080, 255, 375);

    Command2_0 = make("Command2(0)", K::Button, "", "Load", 4800, 5640, 975, 375, "Loading image");
    Command2_6 = make("Command2(6)", K::GraphicalButton, "", "Manual", 6840, 5640, 975, 375,
                      "Manual control");
    Command2_6.backColor = kLightGrey;
    Command2_1 = make("Command2(1)", K::Button, "", "Run", 4800, 6480, 975, 375, "Engraver starts");
    Command2_5 =
        make("Command2(5)", K::Button, "", "Abort", 4800, 7440, 975, 375, "Engraver Disable");
    Command2_4 = make("Command2(4)", K::Button, "", "Exit", 6840, 7440, 975, 375);

    Label7 = make("Label7", K::Label, "", " Please wait - Initialize", 2160, 4680, 2475, 255);
    Label7.visible = false;
    Label7.backColor = RGB(255, 128, 0);

    Picture1.name = "Picture1";
    Picture1.kind = K::PictureBox;
    Picture1.left = 10920;
    Picture1.top = 3000;
    Picture1.visible = false;
    Picture1.bordered = false;
    Picture1.backColor = kDarkGrey;

    help = make("help", K::Menu, "", "Help", 0, 0, 0, 0);
    shema = make("shema", K::Menu, "help", "Schematic", 0, 0, 0, 0);
    explan = make("explan", K::Menu, "help", "Explanation", 0, 0, 0, 0);
    about = make("about", K::Menu, "help", "About", 0, 0, 0, 0);
}

// --- Access by name ---

namespace {

// The control of a name in either constness of the state.
template <class S>
auto* findControl(S& s, std::string_view name) {
    decltype(&s.form) found = nullptr;
    forEachControl(s, [&](auto& c) {
        if (!found && c.name == name) found = &c;
    });
    return found;
}

template <class S>
auto* findPicture(S& s, std::string_view name) {
    if (name == "Picture1") return &s.Picture1;
    if (name == "Picture2") return &s.Picture2;
    if (name == "Picture3") return &s.Picture3;
    return static_cast<decltype(&s.Picture1)>(nullptr);
}

}  // namespace

Control* FormState::control(std::string_view name) {
    return findControl(*this, name);
}

const Control* FormState::control(std::string_view name) const {
    return findControl(*this, name);
}

PictureBox* FormState::picture(std::string_view name) {
    return findPicture(*this, name);
}

const PictureBox* FormState::picture(std::string_view name) const {
    return findPicture(*this, name);
}

Control* FormState::command2At(int index) {
    switch (index) {
        case 0:
            return &Command2_0;
        case 1:
            return &Command2_1;
        case 4:
            return &Command2_4;
        case 5:
            return &Command2_5;
        case 6:
            return &Command2_6;
        default:
            return nullptr;
    }
}

std::vector<Control*> FormState::controls() {
    std::vector<Control*> all;
    forEachControl(*this, [&](Control& c) { all.push_back(&c); });
    return all;
}

std::vector<const Control*> FormState::controls() const {
    std::vector<const Control*> all;
    forEachControl(*this, [&](const Control& c) { all.push_back(&c); });
    return all;
}

namespace {

std::string variableText(bool b) {
    return boolText(b);
}
std::string variableText(int32_t n) {
    return std::to_string(n);
}
std::string variableText(const std::string& s) {
    return s;
}

}  // namespace

std::optional<std::string> FormState::variable(std::string_view name) const {
    std::optional<std::string> text;
    forEachVariable(*this, [&](std::string_view n, const auto& v) {
        if (!text && n == name) text = variableText(v);
    });
    return text;
}

const std::vector<std::string>& FormState::variableNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        const WindowVariables design;
        forEachVariable(design, [&](std::string_view n, const auto&) { all.emplace_back(n); });
        return all;
    }();
    return names;
}

}  // namespace ostrel::form
