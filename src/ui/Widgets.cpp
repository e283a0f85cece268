// The etched frame, the jog button and the picture box view of the main window.
#include "ui/Widgets.h"

#include <qdrawutil.h>

#include <QKeyEvent>
#include <QPainter>

#include "ui/Look.h"

namespace ostrel::ui {

// --- FrameBox ---

void FrameBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QColor back = palette().color(QPalette::Window);
    p.fillRect(rect(), back);
    const QFontMetrics metrics(font());
    const int lineY = metrics.height() / 2;
    // Etched: a dark line with a light one one pixel inside and below it.
    const QRect box = rect().adjusted(0, lineY, -2, -2);
    p.setPen(back.darker(170));
    p.drawRect(box);
    p.setPen(back.lighter(200));
    p.drawRect(box.translated(1, 1));

    const QString caption = title();
    if (caption.isEmpty()) return;
    const QSize textSize = metrics.size(Qt::TextShowMnemonic, caption);
    const QRect textRect(6, 0, textSize.width() + 4, textSize.height());
    p.fillRect(textRect, back);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(textRect.adjusted(2, 0, 0, 0), Qt::TextShowMnemonic | Qt::AlignLeft | Qt::AlignTop,
               caption);
}

// --- JogButton ---

JogButton::JogButton(const QPixmap& chevron, QWidget* parent)
    : QAbstractButton(parent), chevron_(chevron) {
    setFocusPolicy(Qt::ClickFocus);
}

void JogButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const bool sunken = isDown();
    QPalette bevel = palette();
    bevel.setColor(QPalette::Light, QColor(200, 200, 200));
    bevel.setColor(QPalette::Midlight, QColor(128, 128, 128));
    bevel.setColor(QPalette::Dark, QColor(48, 48, 48));
    bevel.setColor(QPalette::Shadow, QColor(0, 0, 0));
    const QBrush black(Qt::black);
    if (isEnabled()) {
        qDrawWinButton(&p, rect(), bevel, sunken, &black);
    } else {
        // Disabled: flat, in a plain grey line, and the chevron faded into the black.
        p.fillRect(rect(), black);
        p.setPen(QColor(96, 96, 96));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        p.setOpacity(0.22);
    }
    const QPoint shift = sunken ? QPoint(1, 1) : QPoint(0, 0);
    const QRect target(QPoint(0, 0), chevron_.deviceIndependentSize().toSize());
    p.drawPixmap(target.translated(rect().center() - target.center() + shift), chevron_);
}

void JogButton::keyPressEvent(QKeyEvent* event) {
    QWidget::keyPressEvent(event);
}
void JogButton::keyReleaseEvent(QKeyEvent* event) {
    QWidget::keyReleaseEvent(event);
}

// --- PictureView ---

PictureView::PictureView(const form::PictureBox& box, QWidget* parent)
    : QWidget(parent), box_(box), shownRevision_(box.revision), shownBackColor_(box.backColor) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureView::setToneSource(std::function<picture::ToneSettings()> source) {
    toneSource_ = std::move(source);
    shownTone_ = toneSource_ ? toneSource_() : picture::ToneSettings{};
    update();
}

void PictureView::refresh() {
    const picture::ToneSettings tone = toneSource_ ? toneSource_() : picture::ToneSettings{};
    if (box_.revision == shownRevision_ && box_.backColor == shownBackColor_ && tone == shownTone_)
        return;
    shownRevision_ = box_.revision;
    shownBackColor_ = box_.backColor;
    shownTone_ = tone;
    update();
}

void PictureView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QColor back = toQColor(box_.backColor);
    p.fillRect(rect(), back.isValid() ? back : palette().color(QPalette::Window));
    const int border = box_.bordered ? 1 : 0;
    // NOTE: drawn unscaled, so no smoothing can blur the burn mask: what is shown is what the
    // jobs scan.
    p.setClipRect(rect().adjusted(border, border, -border, -border));
    if (shownTone_.isNeutral() || box_.raster.isNull()) {
        p.drawImage(QPoint(border, border), box_.raster);
    } else {
        QImage toned = box_.raster.copy();
        picture::applyTone(toned, shownTone_);
        p.drawImage(QPoint(border, border), toned);
    }
    p.setClipping(false);
    if (border) {
        // NOTE: four filled strips, drawn last, not a drawn rectangle: at a fractional scale a
        // one-pixel line can fall between device pixels and vanish, a filled strip cannot.
        const QRect r = rect();
        p.fillRect(QRect(r.left(), r.top(), r.width(), 1), Qt::black);
        p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), Qt::black);
        p.fillRect(QRect(r.left(), r.top(), 1, r.height()), Qt::black);
        p.fillRect(QRect(r.right(), r.top(), 1, r.height()), Qt::black);
    }
}

}  // namespace ostrel::ui
