// The wiring schematic of the engraver (2040 x 1540): port pins, drivers, laser, home switches.
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <array>
#include <cmath>

namespace {

constexpr int kWidth = 2040;
constexpr int kHeight = 1540;

// The connector's rows: pin, signal, what the program sees of it.
struct PinRow {
    const char* pin;
    const char* signal;
    const char* role;
};
constexpr std::array<PinRow, 13> kPins{{
    {"1", "STROBE", "control bit 0, inverted"},
    {"2", "D0", "data bit 0 (1)"},
    {"3", "D1", "data bit 1 (2)"},
    {"4", "D2", "data bit 2 (4)"},
    {"5", "D3", "data bit 3 (8)"},
    {"6", "D4", "data bit 4 (16)"},
    {"7", "D5", "data bit 5 (32)"},
    {"8", "D6", "data bit 6 (64)"},
    {"9", "D7", "data bit 7 (128)"},
    {"10", "ACK", "not used"},
    {"11", "BUSY", "status bit 7, inverted"},
    {"12", "PAPER OUT", "status bit 5"},
    {"18-25", "GND", "ground"},
}};
constexpr int kFirstRowY = 236;
constexpr int kRowStep = 86;
constexpr int rowY(int row) {
    return kFirstRowY + row * kRowStep;
}

constexpr int kPinX = 600;  // the pin circles on the connector's edge
constexpr int kWireStart = kPinX + 13;
constexpr int kBoxLeft = 1000;  // the drivers and the switches
constexpr int kBoxRight = 1340;

const QColor kInk(20, 20, 20);
const QColor kNote(70, 70, 70);
const QColor kLaserRed(210, 30, 20);
const QColor kBoxFill(244, 244, 236);

class Sheet {
  public:
    explicit Sheet(QImage& image) : p_(&image) {
        p_.setRenderHint(QPainter::Antialiasing);
        p_.setRenderHint(QPainter::TextAntialiasing);
    }

    void text(double x, double y, const QString& s, int px, bool bold = false,
              Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter, QColor colour = kInk) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(px);
        font.setBold(bold);
        p_.setFont(font);
        p_.setPen(colour);
        QRectF r(x, y - 200, 0, 400);
        if (align & Qt::AlignHCenter) r = QRectF(x - 600, y - 200, 1200, 400);
        if (align & Qt::AlignRight) r = QRectF(x - 1200, y - 200, 1200, 400);
        p_.drawText(r, int(align | Qt::TextDontClip), s);
    }

    void wire(std::initializer_list<QPointF> points, QColor colour = kInk) {
        p_.setPen(QPen(colour, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p_.setBrush(Qt::NoBrush);
        QPainterPath path;
        bool first = true;
        for (const QPointF& pt : points) {
            if (first)
                path.moveTo(pt);
            else
                path.lineTo(pt);
            first = false;
        }
        p_.drawPath(path);
    }

    void dot(double x, double y) {
        p_.setPen(Qt::NoPen);
        p_.setBrush(kInk);
        p_.drawEllipse(QPointF(x, y), 7, 7);
    }

    void pin(double x, double y) {
        p_.setPen(QPen(kInk, 3));
        p_.setBrush(Qt::white);
        p_.drawEllipse(QPointF(x, y), 13, 13);
    }

    void box(const QRectF& r, QColor fill = kBoxFill) {
        p_.setPen(QPen(kInk, 3));
        p_.setBrush(fill);
        p_.drawRoundedRect(r, 10, 10);
    }

    // Earth: a short lead and three bars getting shorter.
    void ground(double x, double y) {
        wire({{x, y}, {x, y + 18}});
        for (int i = 0; i < 3; ++i) {
            const double half = 22 - 7 * i;
            wire({{x - half, y + 18 + 8 * i}, {x + half, y + 18 + 8 * i}});
        }
    }

    // A normally open switch from x1 to x2 on the line y: two contacts and a lifted lever.
    void openSwitch(double x1, double x2, double y) {
        p_.setPen(QPen(kInk, 3));
        p_.setBrush(Qt::white);
        p_.drawEllipse(QPointF(x1 + 8, y), 7, 7);
        p_.drawEllipse(QPointF(x2 - 8, y), 7, 7);
        wire({{x1 + 14, y - 4}, {x2 - 10, y - 34}});
        wire({{(x1 + x2) / 2, y - 40}, {(x1 + x2) / 2, y - 20}});  // the plunger
        wire({{(x1 + x2) / 2 - 14, y - 44}, {(x1 + x2) / 2 + 14, y - 44}});
    }

    // A stepper motor: a circle with its name; leads end on the rim.
    void motor(QPointF centre, double radius, const QString& name, const QString& kind) {
        p_.setPen(QPen(kInk, 4));
        p_.setBrush(QColor(235, 240, 250));
        p_.drawEllipse(centre, radius, radius);
        text(centre.x(), centre.y() - 18, name, 64, true, Qt::AlignHCenter | Qt::AlignVCenter);
        text(centre.x(), centre.y() + 44, kind, 20, false, Qt::AlignHCenter | Qt::AlignVCenter,
             kNote);
    }

    QPointF rim(QPointF centre, double radius, QPointF from) {
        const QPointF d = from - centre;
        const double len = std::hypot(d.x(), d.y());
        return centre + d * (radius / len);
    }

    // A coil drawn as four bumps from (x, y) to the right.
    void coil(double x, double y, double width) {
        p_.setPen(QPen(kInk, 3));
        p_.setBrush(Qt::NoBrush);
        QPainterPath path;
        path.moveTo(x, y);
        const double bump = width / 4;
        for (int i = 0; i < 4; ++i)
            path.arcTo(QRectF(x + i * bump, y - bump / 2, bump, bump), 180, -180);
        p_.drawPath(path);
    }

    void arrow(QPointF from, QPointF to, QColor colour) {
        wire({from, to}, colour);
        const QPointF d = (to - from) / std::hypot(to.x() - from.x(), to.y() - from.y());
        const QPointF n(-d.y(), d.x());
        p_.setPen(Qt::NoPen);
        p_.setBrush(colour);
        p_.drawPolygon(QPolygonF({to + d * 4, to - d * 16 + n * 8, to - d * 16 - n * 8}));
    }

    QPainter& painter() { return p_; }

  private:
    QPainter p_;
};

void drawConnector(Sheet& s) {
    s.text(340, 150, QStringLiteral("DB-25 plug, PC parallel port"), 26, true,
           Qt::AlignHCenter | Qt::AlignVCenter);
    s.box(QRectF(60, 180, kPinX - 60, rowY(12) - 180 + 56), QColor(236, 236, 244));
    for (size_t i = 0; i < kPins.size(); ++i) {
        const int y = rowY(static_cast<int>(i));
        s.text(78, y, QString::fromLatin1(kPins[i].pin), 26, true);
        s.text(190, y - 12, QString::fromLatin1(kPins[i].signal), 24, true);
        s.text(190, y + 16, QString::fromLatin1(kPins[i].role), 19, false,
               Qt::AlignLeft | Qt::AlignVCenter, kNote);
        s.pin(kPinX, y);
    }
}

void drawLaser(Sheet& s) {
    const int y = rowY(0);
    s.text(kBoxLeft, 150, QStringLiteral("Pin 1 low lights the laser: control 203 = on, 202 = off"),
           22, false, Qt::AlignLeft | Qt::AlignVCenter, kLaserRed);
    s.wire({{kWireStart, y}, {kBoxLeft, y}});
    s.box(QRectF(kBoxLeft, 184, kBoxRight - kBoxLeft, 96));
    s.text(kBoxLeft + 16, y - 14, QStringLiteral("LASER SWITCH"), 24, true);
    s.text(kBoxLeft + 16, y + 16, QStringLiteral("input active low, +12 V"), 19, false,
           Qt::AlignLeft | Qt::AlignVCenter, kNote);
    s.wire({{kBoxRight, y}, {1480, y}});
    // The diode module with its beam.
    s.box(QRectF(1480, 196, 230, 72), QColor(250, 236, 232));
    s.text(1595, y, QStringLiteral("LASER DIODE"), 22, true, Qt::AlignHCenter | Qt::AlignVCenter);
    for (int i = -1; i <= 1; ++i) {
        s.arrow(QPointF(1720, y + 18 * i), QPointF(1830, y + 30 * i), kLaserRed);
    }
}

void drawXDriver(Sheet& s) {
    const char* coils[4] = {"a", "b", "c", "d"};
    const QRectF box(kBoxLeft, rowY(1) - 26, kBoxRight - kBoxLeft, rowY(4) - rowY(1) + 52);
    s.box(box);
    const QPointF centre(1700, (rowY(1) + rowY(4)) / 2.0);
    const double radius = 120;
    for (int i = 0; i < 4; ++i) {
        const double y = rowY(1 + i);
        s.wire({{kWireStart, y}, {kBoxLeft, y}});
        s.text(kBoxLeft + 14, y, QString::fromLatin1(coils[i]), 24, true);
        s.text(kBoxRight - 14, y, QStringLiteral("coil ") + QString::fromLatin1(coils[i]), 19,
               false, Qt::AlignRight | Qt::AlignVCenter, kNote);
        const QPointF lead(1480, y);
        s.wire({{kBoxRight, y}, lead, s.rim(centre, radius, lead)});
    }
    s.text(box.center().x() - 4, box.center().y() - 16, QStringLiteral("X UNIPOLAR"), 26, true,
           Qt::AlignHCenter | Qt::AlignVCenter);
    s.text(box.center().x() - 4, box.center().y() + 16, QStringLiteral("DRIVER"), 26, true,
           Qt::AlignHCenter | Qt::AlignVCenter);
    s.motor(centre, radius, QStringLiteral("X"), QStringLiteral("unipolar"));
    s.text(centre.x() + radius + 16, centre.y() - 40, QStringLiteral("common"), 19, false,
           Qt::AlignLeft | Qt::AlignVCenter, kNote);
    s.text(centre.x() + radius + 16, centre.y() - 14, QStringLiteral("to +12 V"), 19, false,
           Qt::AlignLeft | Qt::AlignVCenter, kNote);
}

void drawYBridge(Sheet& s) {
    const char* inputs[4] = {"A+", "A\u2212", "B+", "B\u2212"};
    const QRectF box(kBoxLeft, rowY(5) - 26, kBoxRight - kBoxLeft, rowY(8) - rowY(5) + 52);
    s.box(box);
    const QPointF centre(1700, (rowY(5) + rowY(8)) / 2.0);
    const double radius = 120;
    for (int i = 0; i < 4; ++i) {
        const double y = rowY(5 + i);
        s.wire({{kWireStart, y}, {kBoxLeft, y}});
        s.text(kBoxLeft + 14, y, QString::fromUtf8(inputs[i]), 24, true);
        const QPointF lead(1480, y);
        s.wire({{kBoxRight, y}, lead, s.rim(centre, radius, lead)});
    }
    s.text(kBoxRight - 14, (rowY(5) + rowY(6)) / 2.0, QStringLiteral("winding A"), 19, false,
           Qt::AlignRight | Qt::AlignVCenter, kNote);
    s.text(kBoxRight - 14, (rowY(7) + rowY(8)) / 2.0, QStringLiteral("winding B"), 19, false,
           Qt::AlignRight | Qt::AlignVCenter, kNote);
    s.text(box.center().x() + 10, box.center().y() - 16, QStringLiteral("Y DUAL"), 26, true,
           Qt::AlignHCenter | Qt::AlignVCenter);
    s.text(box.center().x() + 10, box.center().y() + 16, QStringLiteral("BRIDGE"), 26, true,
           Qt::AlignHCenter | Qt::AlignVCenter);
    s.motor(centre, radius, QStringLiteral("Y"), QStringLiteral("bipolar"));
    s.text(centre.x() + radius + 16, centre.y() - 14, QStringLiteral("bridge supply"), 19, false,
           Qt::AlignLeft | Qt::AlignVCenter, kNote);
    s.text(centre.x() + radius + 16, centre.y() + 12, QStringLiteral("+12 V"), 19, false,
           Qt::AlignLeft | Qt::AlignVCenter, kNote);
}

void drawSwitches(Sheet& s, double busY) {
    // Pin 10 is left open.
    s.wire({{kWireStart, rowY(9)}, {720, rowY(9)}});
    s.text(736, rowY(9), QStringLiteral("not connected"), 20, false,
           Qt::AlignLeft | Qt::AlignVCenter, kNote);

    struct Home {
        int row;
        double downX;
        const char* name;
        const char* when;
    };
    const Home homes[2] = {
        {10, 1420, "X HOME SWITCH", "closed at X = 0: status bit 7 reads 1 (254, 222)"},
        {11, 1300, "Y HOME SWITCH", "closed at Y = 0: status bit 5 reads 0 (94, 222)"},
    };
    for (const Home& h : homes) {
        const double y = rowY(h.row);
        s.wire({{kWireStart, y}, {kBoxLeft, y}});
        s.openSwitch(kBoxLeft, kBoxLeft + 120, y);
        s.wire({{kBoxLeft + 120, y}, {h.downX, y}, {h.downX, busY}});
        s.dot(h.downX, busY);
        s.text(kBoxLeft - 20, y - 40, QString::fromLatin1(h.name), 22, true,
               Qt::AlignRight | Qt::AlignVCenter);
        s.text(kBoxLeft - 20, y - 16, QStringLiteral("normally open"), 19, false,
               Qt::AlignRight | Qt::AlignVCenter, kNote);
        s.text(1460, y - 14, QString::fromLatin1(h.when), 20, false,
               Qt::AlignLeft | Qt::AlignVCenter, kNote);
    }
    s.text(1460, rowY(11) + 14, QStringLiteral("open switches: the port pulls pins 11, 12 up"), 20,
           false, Qt::AlignLeft | Qt::AlignVCenter, kNote);
}

void drawGround(Sheet& s, double busY) {
    const double y = rowY(12);
    s.wire({{kWireStart, y}, {760, y}, {760, busY}, {1900, busY}});
    s.dot(760, busY);
    s.ground(1900, busY);
    s.text(
        800, busY + 28,
        QStringLiteral(
            "GND: pins 18-25, the drivers' and the laser switch's ground, the 12 V supply's minus"),
        20, false, Qt::AlignLeft | Qt::AlignVCenter, kNote);
}

void drawNotes(Sheet& s) {
    const double y = 1452;
    s.painter().setPen(QPen(QColor(160, 160, 160), 2));
    s.painter().drawLine(QPointF(60, y - 24), QPointF(kWidth - 60, y - 24));
    s.text(60, y,
           QStringLiteral(
               "Data 888: an X word uses bits 0-3 only, a Y word bits 4-7 only. Rest: data 0, "
               "control 202 (coils off, laser off)."),
           21);
    s.text(60, y + 34,
           QStringLiteral(
               "Status 889: X home closed 254/255, Y home closed 94/95, both closed 222/223, "
               "both open 126/127."),
           21);
}

}  // namespace

QImage drawSchematic() {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    Sheet s(image);
    s.text(kWidth / 2.0, 44, QStringLiteral("OSTREL LASER ENGRAVER - WIRING"), 42, true,
           Qt::AlignHCenter | Qt::AlignVCenter);
    s.text(kWidth / 2.0, 92,
           QStringLiteral("Parallel port LPT1: data 888 (0x378), status 889 (0x379), "
                          "control 890 (0x37A)"),
           24, false, Qt::AlignHCenter | Qt::AlignVCenter, kNote);
    const double busY = 1360;
    drawConnector(s);
    drawLaser(s);
    drawXDriver(s);
    drawYBridge(s);
    drawSwitches(s, busY);
    drawGround(s, busY);
    drawNotes(s);
    return image;
}
