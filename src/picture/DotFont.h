// A tiny dot font (3 x 5 dots a glyph) for labels the laser can burn at picture resolution.
#pragma once

#include <QImage>
#include <string_view>

namespace ostrel::picture {

inline constexpr int kGlyphWidth = 3;
inline constexpr int kGlyphHeight = 5;
inline constexpr int kGlyphGap = 1;  // blank dots between two glyphs

// Whether the font has a glyph for the character: the digits, '-', '.' and the space.
bool hasGlyph(char c);
// Width in dots of a text set in the font (0 for an empty text).
int textWidth(std::string_view text);
// Sets the dots of the text in the given colour with its top left corner at (x, y); dots that
// fall outside the picture are left out. Characters without a glyph are left blank.
void drawText(QImage& picture, int x, int y, std::string_view text, QRgb ink);

}  // namespace ostrel::picture
