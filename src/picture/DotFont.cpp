// A tiny dot font (3 x 5 dots a glyph) for labels the laser can burn at picture resolution.
#include "picture/DotFont.h"

#include <array>
#include <cstdint>

namespace ostrel::picture {

namespace {

// One glyph: five rows of three dots, the leftmost dot in bit 2.
struct Glyph {
    char c;
    std::array<uint8_t, kGlyphHeight> rows;
};

constexpr Glyph kGlyphs[] = {
    {'0', {0b111, 0b101, 0b101, 0b101, 0b111}}, {'1', {0b010, 0b110, 0b010, 0b010, 0b111}},
    {'2', {0b111, 0b001, 0b111, 0b100, 0b111}}, {'3', {0b111, 0b001, 0b111, 0b001, 0b111}},
    {'4', {0b101, 0b101, 0b111, 0b001, 0b001}}, {'5', {0b111, 0b100, 0b111, 0b001, 0b111}},
    {'6', {0b111, 0b100, 0b111, 0b101, 0b111}}, {'7', {0b111, 0b001, 0b001, 0b001, 0b001}},
    {'8', {0b111, 0b101, 0b111, 0b101, 0b111}}, {'9', {0b111, 0b101, 0b111, 0b001, 0b111}},
    {'-', {0b000, 0b000, 0b111, 0b000, 0b000}}, {'.', {0b000, 0b000, 0b000, 0b000, 0b010}},
    {' ', {0b000, 0b000, 0b000, 0b000, 0b000}},
};

const Glyph* glyphOf(char c) {
    for (const Glyph& glyph : kGlyphs) {
        if (glyph.c == c) return &glyph;
    }
    return nullptr;
}

}  // namespace

bool hasGlyph(char c) {
    return glyphOf(c) != nullptr;
}

int textWidth(std::string_view text) {
    if (text.empty()) return 0;
    return static_cast<int>(text.size()) * (kGlyphWidth + kGlyphGap) - kGlyphGap;
}

void drawText(QImage& picture, int x, int y, std::string_view text, QRgb ink) {
    for (const char c : text) {
        if (const Glyph* glyph = glyphOf(c)) {
            for (int row = 0; row < kGlyphHeight; ++row) {
                for (int col = 0; col < kGlyphWidth; ++col) {
                    const bool dot =
                        (glyph->rows[static_cast<size_t>(row)] >> (kGlyphWidth - 1 - col)) & 1;
                    const int px = x + col, py = y + row;
                    if (dot && picture.valid(px, py)) picture.setPixel(px, py, ink);
                }
            }
        }
        x += kGlyphWidth + kGlyphGap;
    }
}

}  // namespace ostrel::picture
