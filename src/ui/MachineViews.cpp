// The Machine window's two drawings: the work piece with the head, and one port register.
#include "ui/MachineViews.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "motion/Motion.h"

namespace ostrel::ui {

namespace {

// --- The canvas of the work piece ---

// The travel area drawn, in full steps: the mechanical stops a few steps behind the home
// switches and a little beyond the soft limits.
constexpr int kXFirstStep = -8, kXLastStep = 1104;
constexpr int kYFirstStep = -4, kYLastStep = 282;
constexpr int kYStepScale = 4;  // one Y full step is drawn four X full steps long
constexpr int kCanvasStepsPerPixel = 2;
constexpr int kCanvasWidth = (kXLastStep - kXFirstStep) / kCanvasStepsPerPixel;
constexpr int kCanvasHeight = (kYLastStep - kYFirstStep) * kYStepScale / kCanvasStepsPerPixel;
// A dot's mark: a picture pixel is 8 X full steps by 2 Y full steps, 4 x 4 canvas pixels.
constexpr int kDotPixels = 4;
// Darkness at a point is 1 - exp(-exposure / kDarkeningMs): the lightest dwell (13 ms) leaves
// a light mark, a 100 ms dot a dark one.
constexpr double kDarkeningMs = 60.0;

const QColor kWood(232, 210, 168);
const QColor kChar(52, 30, 14);
const QColor kGhost(40, 90, 200);
const QColor kLimit(200, 40, 40);
const QColor kHome(30, 140, 60);
const QColor kLaser(255, 40, 20);
const QColor kResume(200, 0, 160);

QRgb burnColour(float ms) {
    const double d = 1.0 - std::exp(-ms / kDarkeningMs);
    auto mix = [d](int from, int to) {
        return static_cast<int>(std::lround(from + (to - from) * d));
    };
    return qRgb(mix(kWood.red(), kChar.red()), mix(kWood.green(), kChar.green()),
                mix(kWood.blue(), kChar.blue()));
}

QRgb ghostColour(float ms) {
    const double d = 1.0 - std::exp(-ms / kDarkeningMs);
    return qRgba(kGhost.red(), kGhost.green(), kGhost.blue(), static_cast<int>(30 + 120 * d));
}

// Transparent where nothing was exposed: the work piece and the predicted burn show there.
QImage blankCanvas() {
    QImage image(kCanvasWidth, kCanvasHeight, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

}  // namespace

// --- WorkPieceView ---

WorkPieceView::WorkPieceView(QWidget* parent)
    : QWidget(parent),
      burnMs_(static_cast<size_t>(kCanvasWidth) * kCanvasHeight, 0.0f),
      burn_(blankCanvas()),
      preview_(blankCanvas()) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // Every pixel is painted here: what lies under the view is not painted first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize WorkPieceView::sizeHint() const {
    return {kCanvasWidth + 42, kCanvasHeight + 52};
}

QSize WorkPieceView::minimumSizeHint() const {
    // NOTE: about 0.4 screen pixels per canvas pixel at the least: a dot (4 x 4 canvas
    // pixels) still shows, as 1.6 x 1.6.
    return {kCanvasWidth * 2 / 5 + 42, kCanvasHeight * 2 / 5 + 52};
}

QRect WorkPieceView::deposit(std::vector<float>& exposureMs, QImage& image, int64_t xHalf,
                             int64_t yHalf, double ms, bool ghost) {
    // Half-steps to canvas pixels: X full steps / 2; Y full steps * 4 / 2.
    const double cx = (xHalf / 2.0 - kXFirstStep) / kCanvasStepsPerPixel;
    const double cy = (yHalf / 2.0 - kYFirstStep) * kYStepScale / kCanvasStepsPerPixel;
    const int left = static_cast<int>(std::floor(cx - kDotPixels / 2.0 + 0.5));
    const int top = static_cast<int>(std::floor(cy - kDotPixels / 2.0 + 0.5));
    for (int y = top; y < top + kDotPixels; ++y) {
        if (y < 0 || y >= kCanvasHeight) continue;
        for (int x = left; x < left + kDotPixels; ++x) {
            if (x < 0 || x >= kCanvasWidth) continue;
            float& cell = exposureMs[static_cast<size_t>(y) * kCanvasWidth + x];
            cell += static_cast<float>(ms);
            image.setPixel(x, y, ghost ? ghostColour(cell) : burnColour(cell));
        }
    }
    return QRect(left, top, kDotPixels, kDotPixels);
}

void WorkPieceView::addExposures(const std::vector<machine::Exposure>& exposures) {
    if (exposures.size() < deposited_) return;  // not the list drawn so far
    QRect changed;
    for (size_t i = deposited_; i < exposures.size(); ++i) {
        const machine::Exposure& e = exposures[i];
        const double ms = e.ms - (i == deposited_ ? depositedMs_ : 0.0);
        if (ms <= 0) continue;
        changed |= deposit(burnMs_, burn_, e.x, e.y, ms, false);
    }
    if (!exposures.empty()) {
        deposited_ = exposures.size() - 1;
        depositedMs_ = exposures.back().ms;
    }
    if (changed.isEmpty()) return;
    // NOTE: only the new marks are painted again (the repaint runs between the steps); the
    // smoothed scaling reaches a canvas pixel beyond them.
    const Placement at = placement();
    const QRectF marks(at.toWidget(changed.topLeft() - QPointF(1, 1)),
                       QSizeF(changed.width() + 2, changed.height() + 2) * at.scale);
    const QRect dirty = marks.toAlignedRect().adjusted(-1, -1, 1, 1);
    renderCanvas(dirty);
    update(dirty);
}

void WorkPieceView::setPreview(const std::vector<machine::Exposure>& exposures) {
    previewMs_.assign(static_cast<size_t>(kCanvasWidth) * kCanvasHeight, 0.0f);
    preview_ = blankCanvas();
    for (const machine::Exposure& e : exposures)
        deposit(previewMs_, preview_, e.x, e.y, e.ms, true);
    canvas_ = QImage();
    update();
}

void WorkPieceView::clearPreview() {
    previewMs_.clear();
    preview_ = blankCanvas();
    canvas_ = QImage();
    update();
}

void WorkPieceView::setHead(double xSteps, double ySteps, bool laserOn, bool counted, bool known) {
    if (xSteps == headX_ && ySteps == headY_ && laserOn == laserOn_ && counted == counted_ &&
        known == known_) {
        return;
    }
    const QRegion before = headRegion(headX_, headY_);
    headX_ = xSteps;
    headY_ = ySteps;
    laserOn_ = laserOn;
    counted_ = counted;
    known_ = known;
    // NOTE: the head moves during a job five times a second: only where it was and where it
    // is are painted again, not the whole canvas.
    update(before + headRegion(headX_, headY_));
}

void WorkPieceView::setResumeMark(std::optional<QPointF> steps) {
    if (steps == resumeMark_) return;
    resumeMark_ = steps;
    update();
}

QPointF WorkPieceView::toCanvas(double xSteps, double ySteps) const {
    return {(xSteps - kXFirstStep) / kCanvasStepsPerPixel,
            (ySteps - kYFirstStep) * kYStepScale / kCanvasStepsPerPixel};
}

WorkPieceView::Placement WorkPieceView::placement() const {
    // The canvas, scaled to fit with room for the scale texts on the left and at the top.
    const QRectF room = QRectF(rect()).adjusted(36, 30, -6, -22);
    const double scale = std::min(room.width() / kCanvasWidth, room.height() / kCanvasHeight);
    return {QRectF(room.left(), room.top(), kCanvasWidth * scale, kCanvasHeight * scale), scale};
}

void WorkPieceView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) canvas_ = QImage();
    QWidget::changeEvent(event);
}

void WorkPieceView::renderCanvasWhole() {
    canvas_ = QImage(size(), QImage::Format_ARGB32_Premultiplied);
    renderCanvas(canvas_.rect());
}

void WorkPieceView::renderCanvas(const QRect& rect) {
    if (canvas_.size() != size()) return;  // made whole at the next paint
    QPainter p(&canvas_);
    p.setClipRect(rect);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(canvas_.rect(), palette().color(QPalette::Window));
    // The real burn over the predicted one: where the laser has been, the burn shows.
    const QRectF area = placement().area;
    p.fillRect(area, kWood);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(area, preview_);
    p.drawImage(area, burn_);
}

QRegion WorkPieceView::headRegion(double xSteps, double ySteps) const {
    const Placement at = placement();
    const QPointF head = at.toWidget(toCanvas(xSteps, ySteps));
    const QRect cross = at.area.toAlignedRect();
    const int x = static_cast<int>(std::floor(head.x())),
              y = static_cast<int>(std::floor(head.y()));
    QRegion region(QRect(x - 2, cross.top(), 5, cross.height()));
    region += QRect(cross.left(), y - 2, cross.width(), 5);
    region += QRect(x - 16, y - 22, 42, 39);  // the ring and its glow, the question mark
    return region;
}

void WorkPieceView::paintEvent(QPaintEvent*) {
    if (canvas_.size() != size()) renderCanvasWhole();
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, canvas_);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setRenderHint(QPainter::Antialiasing);
    const Placement placed = placement();
    const QRectF area = placed.area;
    auto at = [&](double xSteps, double ySteps) {
        return placed.toWidget(toCanvas(xSteps, ySteps));
    };

    // Home lines and soft limits.
    const QPointF home = at(0, 0);
    const QPointF limit = at(motion::kXSoftLimitSteps, motion::kYSoftLimitSteps);
    p.setPen(QPen(kHome, 1.5));
    p.drawLine(QPointF(home.x(), area.top()), QPointF(home.x(), area.bottom()));
    p.drawLine(QPointF(area.left(), home.y()), QPointF(area.right(), home.y()));
    p.setPen(QPen(kLimit, 1.5, Qt::DashLine));
    p.drawLine(QPointF(limit.x(), area.top()), QPointF(limit.x(), area.bottom()));
    p.drawLine(QPointF(area.left(), limit.y()), QPointF(area.right(), limit.y()));

    // Scale along the top (X) and the left (Y), in full steps.
    p.setPen(palette().color(QPalette::WindowText));
    QFont small = font();
    small.setPixelSize(10);
    p.setFont(small);
    for (int x = 0; x <= 1000; x += 200) {
        const QPointF t = at(x, kYFirstStep);
        p.drawLine(t, t - QPointF(0, 4));
        p.drawText(QRectF(t.x() - 20, area.top() - 17, 40, 12), Qt::AlignCenter,
                   QString::number(x));
    }
    for (int y = 0; y <= 250; y += 50) {
        const QPointF t = at(kXFirstStep, y);
        p.drawLine(t, t - QPointF(4, 0));
        p.drawText(QRectF(area.left() - 36, t.y() - 6, 30, 12), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(y));
    }
    p.drawText(QRectF(area.left(), 0, area.width(), 12), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("X full steps \u2192"));
    p.drawText(QRectF(limit.x() - 64, area.bottom() - 14, 60, 12), Qt::AlignRight,
               QStringLiteral("X %1").arg(motion::kXSoftLimitSteps));
    p.drawText(QRectF(area.left() + 4, limit.y() + 2, 80, 12), Qt::AlignLeft,
               QStringLiteral("Y %1").arg(motion::kYSoftLimitSteps));
    p.drawText(QRectF(area.left(), area.bottom() + 2, area.width(), 14), Qt::AlignLeft,
               QStringLiteral("Y full steps \u2193 (one Y step drawn as four X steps)"));

    // Where an interrupted job stopped: a diamond under the head (which stands there after an
    // Abort) with its name on a pale label beside it.
    if (resumeMark_) {
        const QPointF m = at(resumeMark_->x(), resumeMark_->y());
        const QPolygonF diamond{m + QPointF(0, -8), m + QPointF(8, 0), m + QPointF(0, 8),
                                m + QPointF(-8, 0)};
        p.setPen(QPen(Qt::white, 1.5));
        p.setBrush(kResume);
        p.drawPolygon(diamond);
        QFont mark = font();
        mark.setPixelSize(11);
        mark.setBold(true);
        p.setFont(mark);
        const QString name = QStringLiteral("resume here");
        const QRectF label(m.x() + 11, m.y() - 22, p.fontMetrics().horizontalAdvance(name) + 8, 15);
        p.setPen(QPen(kResume, 1));
        p.setBrush(QColor(255, 255, 255, 230));
        p.drawRoundedRect(label, 3, 3);
        p.drawText(label, Qt::AlignCenter, name);
    }

    // The head: a cross over the whole area and a ring, filled red while the laser burns.
    const QPointF head = at(headX_, headY_);
    p.setPen(QPen(QColor(255, 255, 255, 150), 1, Qt::DotLine));
    p.drawLine(QPointF(head.x(), area.top()), QPointF(head.x(), area.bottom()));
    p.drawLine(QPointF(area.left(), head.y()), QPointF(area.right(), head.y()));
    if (laserOn_) {
        QRadialGradient glow(head, 14);
        glow.setColorAt(0, kLaser);
        glow.setColorAt(1, QColor(255, 80, 0, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(head, 14, 14);
    }
    p.setBrush(laserOn_ ? QBrush(kLaser) : Qt::NoBrush);
    p.setPen(
        QPen(counted_ ? QColor(20, 20, 160) : Qt::black, 2, known_ ? Qt::SolidLine : Qt::DotLine));
    p.drawEllipse(head, 5, 5);
    if (!known_) {
        QFont mark = font();
        mark.setPixelSize(13);
        mark.setBold(true);
        p.setFont(mark);
        p.drawText(QRectF(head.x() + 7, head.y() - 20, 16, 16), Qt::AlignCenter,
                   QStringLiteral("?"));
    }
}

// --- RegisterView ---

constexpr int kMeaningsTop = 42;  // what each bit carries is written from here down

RegisterView::RegisterView(const QString& title, const std::array<QString, 8>& bitMeanings,
                           const QColor& lit, QWidget* parent)
    : QWidget(parent), title_(title), meanings_(bitMeanings), lit_(lit) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize RegisterView::sizeHint() const {
    return {8 * 46 + 8, 78};
}

void RegisterView::setValue(std::optional<uint8_t> value) {
    if (value == value_) return;
    value_ = value;
    // The reading and the bits; what each bit carries, under them, stays.
    update(0, 0, width(), kMeaningsTop);
}

void RegisterView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor text = palette().color(QPalette::WindowText);
    QFont head = font();
    head.setBold(true);
    p.setFont(head);
    p.setPen(text);
    const QString reading =
        value_ ? QStringLiteral("%1   %2 = 0x%3")
                     .arg(title_)
                     .arg(*value_)
                     .arg(QString::number(*value_, 16).toUpper().rightJustified(2, u'0'))
               : QStringLiteral("%1   not read while a motor runs").arg(title_);
    p.drawText(QRectF(2, 0, width() - 4, 16), Qt::AlignLeft | Qt::AlignVCenter, reading);

    const double cell = (width() - 8) / 8.0;
    QFont small = font();
    small.setPixelSize(10);
    for (int i = 0; i < 8; ++i) {
        const int bit = 7 - i;
        const QRectF box(4 + i * cell + 3, 19, cell - 6, 22);
        const bool on = bitLit(bit);
        p.setPen(QPen(text, 1));
        p.setBrush(!value_ ? QColor(200, 200, 200) : on ? lit_ : QColor(245, 245, 245));
        p.drawRoundedRect(box, 3, 3);
        p.setFont(head);
        p.setPen(on ? Qt::white : text);
        p.drawText(box, Qt::AlignCenter, value_ ? QString::number(on ? 1 : 0) : QString());
        // NOTE: laying the meanings' text out is most of the view's painting: skipped when a
        // new value repaints only the bits.
        const QRectF meaning(box.left() - 9, kMeaningsTop, cell + 12, 34);
        if (!event->region().intersects(meaning.toAlignedRect())) continue;
        p.setFont(small);
        p.setPen(text);
        p.drawText(meaning, Qt::AlignHCenter | Qt::AlignTop,
                   QStringLiteral("%1\n").arg(bit) + meanings_[static_cast<size_t>(bit)]);
    }
}

}  // namespace ostrel::ui
