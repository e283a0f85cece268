// Tests of the calibration card and its dot font: patches, their levels, dwells and labels.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "jobs/Dwell.h"
#include "picture/CalibrationCard.h"
#include "picture/DotFont.h"

namespace ostrel::picture {
namespace {

const QRgb kInk = qRgb(0, 0, 0), kPaper = qRgb(255, 255, 255);

int inkDots(const QImage& picture, const QRect& area) {
    int dots = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) dots += picture.pixel(x, y) == kInk;
    }
    return dots;
}

TEST(DotFont, DigitsAreThreeByFiveWithOneDotBetween) {
    EXPECT_EQ(textWidth(""), 0);
    EXPECT_EQ(textWidth("7"), 3);
    EXPECT_EQ(textWidth("100"), 11);
    for (const char c : std::string("0123456789-. ")) EXPECT_TRUE(hasGlyph(c)) << c;
    EXPECT_FALSE(hasGlyph('m'));

    QImage strip(11, 5, QImage::Format_RGB32);
    strip.fill(kPaper);
    drawText(strip, 0, 0, "188", kInk);
    // "1" has 8 dots, "8" 13; the gap columns stay blank.
    EXPECT_EQ(inkDots(strip, strip.rect()), 8 + 13 + 13);
    EXPECT_EQ(inkDots(strip, QRect(3, 0, 1, 5)), 0);
    EXPECT_EQ(inkDots(strip, QRect(7, 0, 1, 5)), 0);

    // Dots past the edges are left out; characters without a glyph leave their place blank.
    QImage tiny(2, 2, QImage::Format_RGB32);
    tiny.fill(kPaper);
    drawText(tiny, -1, -3, "8", kInk);
    drawText(tiny, 0, 0, "mm", kInk);
    EXPECT_EQ(inkDots(tiny, tiny.rect()), 3);  // the right two columns of the 8's last two rows
}

// Burned in Precise-Burning, every dot of a patch takes the patch's dwell.
void expectPatchesBurnAtTheirDwells(const CalibrationCard& card, const DwellTable& dwells) {
    for (const CardPatch& patch : card.patches) {
        ASSERT_TRUE(card.picture.rect().contains(patch.area));
        for (int y = patch.area.top(); y <= patch.area.bottom(); ++y) {
            for (int x = patch.area.left(); x <= patch.area.right(); ++x) {
                const QRgb p = card.picture.pixel(x, y);
                ASSERT_EQ(p, qRgb(patch.level, patch.level, patch.level));
                ASSERT_EQ(dwells[size_t(qRed(p))], patch.dwellMs) << "patch " << patch.dwellMs;
            }
        }
    }
}

TEST(CalibrationCard, TheDesignedCardSpans13To100MsEvenly) {
    const DwellTable designed = dwellTable(asDesigned());
    const CalibrationCard card = makeCalibrationCard(designed);
    ASSERT_EQ(card.patches.size(), 12u);
    EXPECT_LE(card.picture.width(), kCardMaxWidth);
    EXPECT_LE(card.picture.height(), kCardMaxHeight);
    EXPECT_EQ(card.picture.format(), QImage::Format_RGB32);
    EXPECT_EQ(card.patches.front().dwellMs, 13);
    EXPECT_EQ(card.patches.back().dwellMs, 100);
    for (size_t i = 1; i < card.patches.size(); ++i) {
        const int step = card.patches[i].dwellMs - card.patches[i - 1].dwellMs;
        EXPECT_GE(step, 7);
        EXPECT_LE(step, 9);
        EXPECT_FALSE(card.patches[i].area.intersects(card.patches[i - 1].area));
    }
    expectPatchesBurnAtTheirDwells(card, designed);
    // The middle level of a dwell's run: 65 ms is levels 100-102.
    for (const CardPatch& patch : card.patches) {
        EXPECT_EQ(jobs::kDwellMs[size_t(patch.level)], patch.dwellMs);
        if (patch.level > 0 && patch.level < 255) {
            const bool middle = jobs::kDwellMs[size_t(patch.level - 1)] == patch.dwellMs ||
                                jobs::kDwellMs[size_t(patch.level + 1)] == patch.dwellMs;
            EXPECT_TRUE(middle) << "level " << patch.level << " is not inside its run";
        }
    }
}

TEST(CalibrationCard, EachPatchIsLabelledWithItsDwellBelowIt) {
    const CalibrationCard card = makeCalibrationCard(dwellTable(asDesigned()));
    for (const CardPatch& patch : card.patches) {
        // The label lies under the patch, centred, one dot down, in black.
        const std::string text = std::to_string(patch.dwellMs);
        const QRect strip(patch.area.left(), patch.area.bottom() + 2, patch.area.width(),
                          kGlyphHeight);
        ASSERT_TRUE(card.picture.rect().contains(strip));
        QImage expected(strip.size(), QImage::Format_RGB32);
        expected.fill(kPaper);
        drawText(expected, (strip.width() - textWidth(text) + 1) / 2, 0, text, kInk);
        EXPECT_TRUE(card.picture.copy(strip) == expected) << "label " << text;
        EXPECT_EQ(inkDots(card.picture,
                          QRect(patch.area.left(), patch.area.bottom() + 1, patch.area.width(), 1)),
                  0);
    }
    // Everything outside the patches and labels is white.
    QImage rest = card.picture;
    for (const CardPatch& patch : card.patches) {
        for (int y = patch.area.top(); y <= patch.area.bottom() + 1 + kGlyphHeight; ++y) {
            for (int x = patch.area.left(); x <= patch.area.right(); ++x)
                rest.setPixel(x, y, kPaper);
        }
    }
    QImage white(rest.size(), QImage::Format_RGB32);
    white.fill(kPaper);
    EXPECT_TRUE(rest == white);
}

TEST(CalibrationCard, FollowsTheProfileItIsMadeFor) {
    MaterialProfile p;
    p.name = QStringLiteral("Leather");
    p.shortestMs = 30;
    p.longestMs = 300;
    p.curve = DwellCurve::Gamma;
    p.gamma = 1.0;
    p.whiteCutoff = 200;
    const DwellTable dwells = dwellTable(p);
    const CalibrationCard card = makeCalibrationCard(dwells, 20);
    ASSERT_EQ(card.patches.size(), 20u);
    EXPECT_LE(card.picture.width(), kCardMaxWidth);
    EXPECT_LE(card.picture.height(), kCardMaxHeight);
    EXPECT_EQ(card.patches.front().dwellMs, dwells[200]) << "the lightest level still burned";
    EXPECT_EQ(card.patches.back().dwellMs, 300);
    expectPatchesBurnAtTheirDwells(card, dwells);

    // A profile with only three dwells gives three patches; the largest card still fits.
    p.curve = DwellCurve::Points;
    p.shortestMs = 20;
    p.longestMs = 22;
    p.points = {{0, 100}, {255, 0}};
    p.whiteCutoff = 255;
    const CalibrationCard few = makeCalibrationCard(dwellTable(p));
    std::set<int> dwellsOnCard;
    for (const CardPatch& patch : few.patches) dwellsOnCard.insert(patch.dwellMs);
    EXPECT_EQ(dwellsOnCard, (std::set<int>{20, 21, 22}));
    const CalibrationCard largest = makeCalibrationCard(dwellTable(asDesigned()), 1000);
    EXPECT_EQ(largest.patches.size(), 40u);
    EXPECT_LE(largest.picture.width(), kCardMaxWidth);
    EXPECT_LE(largest.picture.height(), kCardMaxHeight);
}

}  // namespace
}  // namespace ostrel::picture
