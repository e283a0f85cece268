// The window's own widget kinds: the etched frame, the jog button and the picture box view.
#pragma once

#include <QAbstractButton>
#include <QGroupBox>
#include <QPixmap>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "form/Form1.h"
#include "picture/Tone.h"

namespace ostrel::ui {

// A frame as the window draws it: an etched rectangle with its caption set into the top line.
// "&&" in the caption shows one ampersand.
class FrameBox final : public QGroupBox {
    Q_OBJECT
  public:
    explicit FrameBox(QWidget* parent = nullptr) : QGroupBox(parent) {}

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// A jog button: a chevron on black in a raised bevel that sinks while it is held. It has no
// click of its own; the main window watches its mouse and focus events (press and hold).
class JogButton final : public QAbstractButton {
    Q_OBJECT
  public:
    JogButton(const QPixmap& chevron, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
    // NOTE: the keyboard does not jog: a jog is a mouse press held down.
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

  private:
    QPixmap chevron_;
};

// A picture box: Form1's raster pixel for pixel inside a flat one-pixel border, on the box's
// back colour where the raster does not reach.
class PictureView final : public QWidget {
    Q_OBJECT
  public:
    PictureView(const form::PictureBox& box, QWidget* parent = nullptr);
    // Repaints when the raster or the back colour changed since the last paint was asked for.
    void refresh();
    uint64_t shownRevision() const { return shownRevision_; }
    // Shows the picture with the operator's tone adjustments (the loaded picture's box), as
    // the preparation will take it; without a source, or when neutral, the raster as it is.
    void setToneSource(std::function<picture::ToneSettings()> source);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const form::PictureBox& box_;
    uint64_t shownRevision_ = 0;
    form::Colour shownBackColor_ = 0;
    std::function<picture::ToneSettings()> toneSource_;
    picture::ToneSettings shownTone_;
};

}  // namespace ostrel::ui
