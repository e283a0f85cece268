// The window's fonts and colours on Linux: free stand-ins for the Windows fonts, Form1 colours.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include "form/Form1.h"

namespace ostrel::ui {

// NOTE: sizes are in pixels, not points, so that the fixed twip layout (15 twips = 1 pixel)
// holds whatever dots-per-inch the screen reports: 8.25 pt = 11 px, 9 pt = 12 px,
// 9.75 pt = 13 px, 14.25 pt = 19 px, 24 pt = 32 px at 96 dpi.
inline constexpr int kSmallPx = 11;    // "MS Sans Serif" 8.25 pt, the window's default font
inline constexpr int kCheckPx = 12;    // Check1, 9 pt
inline constexpr int kCaptionPx = 13;  // frame captions and the "ms" labels, 9.75 pt
inline constexpr int kCrossPx = 19;    // "XY" and "Z" on the jog pad, 14.25 pt
inline constexpr int kCounterPx = 32;  // counters and axis letters, 24 pt

inline constexpr form::Colour kOlive = form::RGB(128, 128, 0);
inline constexpr form::Colour kCounterGreen = form::RGB(0, 192, 0);
inline constexpr form::Colour kBlack = form::RGB(0, 0, 0);
inline constexpr form::Colour kWhite = form::RGB(255, 255, 255);

// "Microsoft Sans Serif" / "MS Sans Serif": Liberation Sans, then DejaVu Sans.
QFont sansFont(int pixelSize, bool bold = false);
// "Arial Black": the heaviest free sans at hand (DejaVu Sans Bold).
QFont heavyFont(int pixelSize);

// Registers the window's pictures (resources/ui.qrc). NOTE: the resources live in a static
// library, whose unreferenced objects the linker drops; every window calls this first.
void loadPictures();

// A Form1 colour as Qt's; an invalid QColor for a system colour (kButtonFace and the like),
// which means "the platform's own colour".
QColor toQColor(form::Colour colour);

// A caption as a label shows it: "&&" is one ampersand and a single "&" marks an access key,
// which labels do not draw.
QString labelText(const std::string& caption);

}  // namespace ostrel::ui
