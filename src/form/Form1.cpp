// Form1's design state and the access to its values by name.
#include "form/Form1.h"

#include <QColor>
#include <QJsonDocument>
#include <QJsonObject>
#include <charconv>
#include <cstdio>

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

Colour PictureBox::Point(int x, int y) const {
    if (x < 0 || y < 0 || x >= raster.width() || y >= raster.height()) return -1;
    return fromQRgb(raster.pixel(x, y));
}

void PictureBox::PSet(int x, int y, Colour c) {
    if (x < 0 || y < 0 || x >= raster.width() || y >= raster.height()) return;
    raster.setPixel(x, y, toQRgb(c));
    ++revision;
}

void PictureBox::setOuterSize(int widthTwips, int heightTwips) {
    width = widthTwips;
    height = heightTwips;
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

void PictureBox::setPicture(const QImage& image) {
    raster = image.convertToFormat(QImage::Format_RGB32);
    if (name == "Picture1") {
        width = (raster.width() + (bordered ? 2 : 0)) * 15;
        height = (raster.height() + (bordered ? 2 : 0)) * 15;
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

Form1::Form1(runtime::EventLoop& loop)
    : Timer1(loop, 100, false),
      Timer2(loop, 100, false),
      Timer3(loop, 100, false),
      Timer4(loop, 100, false),
      Timer5(loop, 100, false),
      Timer6(loop, 100, false),
      Timer7(loop, 100, false),
      Timer8(loop, 100, false),
      Timer9(loop, 100, false),
      Timer10(loop, 200, true),  // the load procedure confirms or stops it
      ManualLaserPow(loop, 1, false),
      JogLaserPow(loop, 1, false),
      JogMSpeed(loop, 1, false) {
    buildDesign();
}

void Form1::buildDesign() {
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

    Picture2.name = "Picture2";
    Picture2.kind = K::PictureBox;
    Picture2.container = "Frame4";
    Picture2.left = 120;
    Picture2.top = 240;
    Picture2.toolTip = "Picture";
    Picture2.backColor = kDarkGrey;
    Picture2.setOuterSize(1935, 1575);
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

    Picture3.name = "Picture3";
    Picture3.kind = K::PictureBox;
    Picture3.container = "Frame6";
    Picture3.left = 120;
    Picture3.top = 240;
    Picture3.toolTip = "Frame";
    Picture3.backColor = kDarkGrey;
    Picture3.setOuterSize(1935, 1575);
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

    byName_.clear();
    for (Control* c : std::initializer_list<Control*>{
             &form,        &Frame1,      &Frame2,      &Frame3,      &Frame4,      &Frame5,
             &Frame6,      &Label1[0],   &Label1[1],   &Label1[2],   &Label2[0],   &Label2[1],
             &Label2[2],   &Label3[0],   &Label3[1],   &Label4,      &Label5,      &Label6,
             &Label7,      &Combo1,      &Combo2,      &Command1[0], &Command1[1], &Command1[2],
             &Command1[3], &Command1[4], &Command1[5], &Command2_0,  &Command2_1,  &Command2_4,
             &Command2_5,  &Command2_6,  &Command3,    &Command4,    &Command5,    &Command6,
             &Check1,      &Check2,      &Option1,     &Option2,     &HScroll1,    &HScroll2,
             &HScroll3,    &VScroll1,    &VScroll2,    &Picture1,    &Picture2,    &Picture3,
             &help,        &shema,       &explan,      &about}) {
        byName_.emplace_back(c->name, c);
    }
}

// --- Access by name ---

Control* Form1::control(std::string_view name) {
    for (auto& [n, c] : byName_) {
        if (n == name) return c;
    }
    return nullptr;
}

PictureBox* Form1::picture(std::string_view name) {
    if (name == "Picture1") return &Picture1;
    if (name == "Picture2") return &Picture2;
    if (name == "Picture3") return &Picture3;
    return nullptr;
}

Control* Form1::Command2At(int index) {
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

std::vector<Control*> Form1::controls() {
    std::vector<Control*> all;
    for (auto& [n, c] : byName_) all.push_back(c);
    return all;
}

std::vector<const Control*> Form1::controls() const {
    std::vector<const Control*> all;
    for (const auto& [n, c] : byName_) all.push_back(c);
    return all;
}

std::vector<std::pair<std::string, runtime::Timer*>> Form1::timers() {
    return {{"Timer1", &Timer1},
            {"Timer2", &Timer2},
            {"Timer3", &Timer3},
            {"Timer4", &Timer4},
            {"Timer5", &Timer5},
            {"Timer6", &Timer6},
            {"Timer7", &Timer7},
            {"Timer8", &Timer8},
            {"Timer9", &Timer9},
            {"Timer10", &Timer10},
            {"ManualLaserPow", &ManualLaserPow},
            {"JogLaserPow", &JogLaserPow},
            {"JogMSpeed", &JogMSpeed}};
}

runtime::Timer* Form1::timer(std::string_view name) {
    for (auto& [n, t] : timers()) {
        if (n == name) return t;
    }
    return nullptr;
}

const std::vector<std::string>& Form1::variableNames() {
    static const std::vector<std::string> names = {
        "xMovingMinus", "xMovingPlus", "yMovingMinus", "yMovingPlus", "xPhase",        "yPhase",
        "xStepCount",   "yStepCount",  "xHomed",       "yHomed",      "initRestTicks", "autoLaser",
        "laserPulseOn", "pixelColumn", "pixelRow",     "dotCycle"};
    return names;
}

static bool parseInt(std::string_view s, int& out) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size();
}

std::optional<std::string> Form1::get(std::string_view name) {
    // Window variables.
    if (name == "xMovingMinus") return boolText(xMovingMinus);
    if (name == "xMovingPlus") return boolText(xMovingPlus);
    if (name == "yMovingMinus") return boolText(yMovingMinus);
    if (name == "yMovingPlus") return boolText(yMovingPlus);
    if (name == "xPhase") return std::to_string(xPhase);
    if (name == "yPhase") return std::to_string(yPhase);
    if (name == "xStepCount") return std::to_string(xStepCount);
    if (name == "yStepCount") return std::to_string(yStepCount);
    if (name == "xHomed") return boolText(xHomed);
    if (name == "yHomed") return boolText(yHomed);
    if (name == "initRestTicks") return std::to_string(initRestTicks);
    if (name == "autoLaser") return boolText(autoLaser);
    if (name == "laserPulseOn") return boolText(laserPulseOn);
    if (name == "pixelColumn") return pixelColumn;
    if (name == "pixelRow") return pixelRow;
    if (name == "dotCycle") return std::to_string(dotCycle);

    // Control.Property; the control part may hold an index ("Label1(0).Caption").
    const size_t dot = name.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    const std::string_view ctl = name.substr(0, dot);
    const std::string_view prop = name.substr(dot + 1);

    if (runtime::Timer* t = timer(ctl)) {
        if (prop == "Enabled") return boolText(t->Enabled());
        if (prop == "Interval") return std::to_string(t->Interval());
        return std::nullopt;
    }
    Control* c = control(ctl);
    if (!c) return std::nullopt;
    if (PictureBox* p = picture(ctl)) {
        if (prop == "ScaleWidth") return std::to_string(p->ScaleWidth());
        if (prop == "ScaleHeight") return std::to_string(p->ScaleHeight());
        if (prop.substr(0, 6) == "Point(" && prop.back() == ')') {
            const std::string_view args = prop.substr(6, prop.size() - 7);
            const size_t comma = args.find(',');
            int x = 0, y = 0;
            if (comma == std::string_view::npos || !parseInt(args.substr(0, comma), x) ||
                !parseInt(args.substr(comma + 1), y)) {
                return std::nullopt;
            }
            return std::to_string(p->Point(x, y));
        }
    }
    if (prop == "Caption" || prop == "Text") return c->caption;
    if (prop == "ToolTipText") return c->toolTip;
    if (prop == "Enabled") return boolText(c->enabled);
    if (prop == "Visible") return boolText(c->visible);
    if (prop == "BackColor") return std::to_string(c->backColor);
    if (prop == "Value") {
        if (c->kind == Kind::OptionButton) return boolText(c->value != 0);
        return std::to_string(c->value);
    }
    if (prop == "Min") return std::to_string(c->min);
    if (prop == "Max") return std::to_string(c->max);
    if (prop == "Left") return std::to_string(c->left);
    if (prop == "Top") return std::to_string(c->top);
    if (prop == "Width") return std::to_string(c->width);
    if (prop == "Height") return std::to_string(c->height);
    if (prop == "ListCount") return std::to_string(c->items.size());
    if (prop.substr(0, 5) == "List(" && prop.back() == ')') {
        int i = 0;
        if (!parseInt(prop.substr(5, prop.size() - 6), i) || i < 0 ||
            i >= static_cast<int>(c->items.size())) {
            return std::nullopt;
        }
        return c->items[static_cast<size_t>(i)];
    }
    return std::nullopt;
}

std::string Form1::dumpJson() {
    QJsonObject out;
    auto add = [&](const std::string& key, const std::string& value) {
        out.insert(QString::fromStdString(key), QString::fromStdString(value));
    };
    for (const std::string& v : variableNames()) add(v, *get(v));
    for (auto& [n, t] : timers()) {
        add(n + ".Enabled", boolText(t->Enabled()));
        add(n + ".Interval", std::to_string(t->Interval()));
    }
    for (Control* c : controls()) {
        for (const char* prop :
             {"Caption", "ToolTipText", "Enabled", "Visible", "BackColor", "Value"}) {
            add(c->name + "." + prop, *get(c->name + "." + prop));
        }
        if (PictureBox* p = picture(c->name)) {
            add(c->name + ".ScaleWidth", std::to_string(p->ScaleWidth()));
            add(c->name + ".ScaleHeight", std::to_string(p->ScaleHeight()));
        }
    }
    return QJsonDocument(out).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace ostrel::form
