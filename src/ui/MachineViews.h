// The Machine window's two drawings: the work piece with the head, and one port register.
#pragma once

#include <QImage>
#include <QPointF>
#include <QRect>
#include <QRegion>
#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "machine/SimEngraver.h"

namespace ostrel::ui {

// The travel area seen from above, home corner top left: the work piece with its burn, the
// predicted burn of the next job as a faint overlay, the soft limits and the head.
//
// NOTE: one picture pixel spans 8 X full steps and 2 Y full steps; the view draws one Y full
// step four X full steps long, so that the dots come out square. The canvas has one pixel per
// 2 X full steps (half a Y full step).
class WorkPieceView final : public QWidget {
    Q_OBJECT
  public:
    explicit WorkPieceView(QWidget* parent = nullptr);

    // Adds what is new in a growing exposure list (the simulated engraver's): the last entry
    // may still grow (the laser is on), everything before it is final.
    void addExposures(const std::vector<machine::Exposure>& exposures);
    void setPreview(const std::vector<machine::Exposure>& exposures);
    void clearPreview();
    // The head in full steps from the home switches; `counted` when it is the step counters'
    // idea of it (a real machine) rather than the simulator's true position; `known` false when
    // the counters no longer say where it is (drawn dashed, with a question mark).
    void setHead(double xSteps, double ySteps, bool laserOn, bool counted, bool known = true);
    // Where an interrupted job stopped, in full steps from the home switches (none: no mark).
    void setResumeMark(std::optional<QPointF> steps);
    const std::optional<QPointF>& resumeMark() const { return resumeMark_; }

    const QImage& burn() const { return burn_; }
    const QImage& preview() const { return preview_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    // Adds exposure time around one head position (half-steps) to a canvas; returns the canvas
    // pixels it changed.
    static QRect deposit(std::vector<float>& exposureMs, QImage& image, int64_t xHalf,
                         int64_t yHalf, double ms, bool ghost);
    QPointF toCanvas(double xSteps, double ySteps) const;
    // Where the canvas is drawn in the widget, and how many widget pixels a canvas pixel takes.
    struct Placement {
        QRectF area;
        double scale = 1;
        QPointF toWidget(const QPointF& canvas) const {
            return {area.left() + canvas.x() * scale, area.top() + canvas.y() * scale};
        }
    };
    Placement placement() const;
    // The widget pixels the head covers at a place: its cross over the whole area and its ring.
    QRegion headRegion(double xSteps, double ySteps) const;

    // The wood with the predicted and the real burn, scaled to the widget: painted again only
    // where it changed, and copied unscaled into every paint. `rect`: its part to render again.
    void renderCanvas(const QRect& rect);
    void renderCanvasWhole();

    std::vector<float> burnMs_, previewMs_;  // exposure per canvas pixel
    QImage burn_, preview_;
    QImage canvas_;         // in widget pixels; null until painted, or when it must be made anew
    size_t deposited_ = 0;  // exposures fully drawn; the one at this index is drawn partly
    double depositedMs_ = 0;
    double headX_ = 0, headY_ = 0;
    bool laserOn_ = false, counted_ = false, known_ = true;
    std::optional<QPointF> resumeMark_;
};

// One register, bit 7 on the left: each bit lit or dark, with what it carries under it.
class RegisterView final : public QWidget {
    Q_OBJECT
  public:
    RegisterView(const QString& title, const std::array<QString, 8>& bitMeanings, const QColor& lit,
                 QWidget* parent = nullptr);
    // nullopt: not read now (a real port's status while a job runs).
    void setValue(std::optional<uint8_t> value);
    std::optional<uint8_t> value() const { return value_; }
    bool bitLit(int bit) const { return value_ && ((*value_ >> bit) & 1); }
    const QString& meaning(int bit) const { return meanings_.at(static_cast<size_t>(bit)); }
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString title_;
    std::array<QString, 8> meanings_;  // by bit number
    QColor lit_;
    std::optional<uint8_t> value_;
};

}  // namespace ostrel::ui
