// Picture loading and preparation: greying, the burn mask, the mode and size controls.
//
// PreparePicture works on Picture2's raster in three passes, column by column:
//
//   pass        | Coarse-Burning (Check1 = 1)              | Precise-Burning (Check1 = 0)
//   ------------+------------------------------------------+-----------------------------
//   grey        | a single largest component greys the    | the same
//               | pixel; shared largest ones keep it       |
//   tone        | the operator's tone adjustments (none when neutral)
//   (save, copy to Picture3)
//   threshold   | level > HScroll3 -> blank (0)            | nothing
//   marker      | every colour but 0 -> burn marker (100)  | nothing
//   (save, copy to Picture3)
//
// In Coarse-Burning a dithering other than the threshold makes the burn mask in one step in
// place of the threshold and marker passes.
#include "jobs/Preparation.h"

#include <QPainter>
#include <iostream>

#include "picture/AreaAverage.h"
#include "picture/BmpFile.h"
#include "picture/Dither.h"
#include "picture/PictureLoader.h"
#include "picture/Tone.h"

namespace ostrel::jobs {

namespace {

constexpr form::Colour kBlank = 0;
constexpr form::Colour kBurnMarker = 100;  // red 100: the level the run burns in Coarse-Burning
constexpr const char* kOutputFile = "/picture.bmp";

}  // namespace

Preparation::Preparation(form::Context& ctx) : ctx_(ctx) {}

void Preparation::registerEvents(form::EventTable& events) {
    events.onClick("Check1", [this] { Check1Click(); });
    events.onChange("HScroll3", [this] { HScroll3Change(); });
    events.onChange("HScroll1", [this] { HScroll1Change(); });
    events.onChange("VScroll1", [this] { VScroll1Change(); });
}

LoadResult Preparation::loadPicture(const std::string& path) {
    const form::PictureBox& preview = ctx_.form.Picture2;
    picture::DecodedPicture decoded =
        picture::decodePictureFile(path, QSize(preview.ScaleWidth(), preview.ScaleHeight()));
    if (decoded.image.isNull()) return {false, decoded.error};
    // Picture1 adjusts its size to the picture loaded into it: the whole picture's, though a
    // large JPEG is held at the reduced scale it was decoded at.
    ctx_.form.Picture1.setPicture(decoded.image, decoded.size);
    return {true, {}};
}

void Preparation::stretchIntoPicture2() {
    const form::PictureBox& source = ctx_.form.Picture1;
    form::PictureBox& preview = ctx_.form.Picture2;
    if (source.raster.isNull() || preview.raster.isNull()) return;
    // The stretched picture becomes Picture2's persistent picture: the raster is both.
    preview.raster = picture::AreaAverage(source.raster, preview.raster.size());
    preview.touch();
}

void Preparation::PreparePicture() {
    form::Form1& f = ctx_.form;
    form::PictureBox& preview = f.Picture2;
    // Picture2 always measures in pixels and keeps what is painted into it, so the first step
    // (pixel units, persistent drawing) has nothing to do here.
    const int width = preview.ScaleWidth();

    // Grey pass: a pixel whose largest component is larger than both others becomes the grey
    // of that component; the rules run in this order, each on the result of the one before.
    for (int x = 0; x < width; ++x) {
        const int height = preview.ScaleHeight();
        for (int y = 0; y < height; ++y) {
            const form::Colour c = preview.Point(x, y);
            int r = c & 255, g = (c >> 8) & 255, b = (c >> 16) & 255;
            if (r > g && r > b) g = b = r;
            if (g > r && g > b) r = b = g;
            if (b > r && b > g) r = g = b;
            preview.PSet(x, y, form::RGB(r, g, b));
        }
        preview.touch();
    }
    if (!tone_.isNeutral()) {
        picture::applyTone(preview.raster, tone_);
        preview.touch();
    }
    saveAndCopy();

    if (f.Check1.value == 1 && dither_ != picture::DitherMethod::Threshold) {
        picture::applyBurnMask(preview.raster, dither_, f.HScroll3.value);
        preview.touch();
        saveAndCopy();
        return;
    }

    // Threshold pass: HScroll3 and Check1 are read at every pixel.
    for (int x = 0; x < width; ++x) {
        const int height = preview.ScaleHeight();
        for (int y = 0; y < height; ++y) {
            const int level = preview.Point(x, y) & 255;
            if (level > f.HScroll3.value && f.Check1.value == 1) preview.PSet(x, y, kBlank);
        }
        preview.touch();
    }

    // Marker pass.
    for (int x = 0; x < width; ++x) {
        const int height = preview.ScaleHeight();
        for (int y = 0; y < height; ++y) {
            if (f.Check1.value == 1 && preview.Point(x, y) != kBlank) {
                preview.PSet(x, y, kBurnMarker);
            }
        }
        preview.touch();
    }
    saveAndCopy();
}

void Preparation::saveAndCopy() {
    form::Form1& f = ctx_.form;
    // NOTE: a file that cannot be written must not stop the preparation half way: the run
    // burns Picture2, not the file, so the failure is only reported. The file is replaced,
    // never opened: a link or a FIFO of that name is neither followed nor waited on.
    const std::string path = ctx_.host.programFolder() + kOutputFile;
    std::string why;
    if (!picture::saveBmpFile(f.Picture2.raster, path, why)) {
        std::cerr << "ostrel: the prepared picture could not be saved as " << path << " (" << why
                  << ")\n";
    }

    // Picture3 gets the picture as a box of another size shows it: drawn from its top-left
    // corner, clipped, with the back colour around it. Picture3 keeps its own drawing size,
    // since that size is the frame the frame cutter cuts.
    form::PictureBox& frame = f.Picture3;
    if (frame.raster.isNull()) return;
    const form::Colour back = frame.backColor < 0 ? 0 : frame.backColor;
    frame.raster.fill(qRgb(back & 255, (back >> 8) & 255, (back >> 16) & 255));
    QPainter painter(&frame.raster);
    painter.drawImage(0, 0, f.Picture2.raster);
    painter.end();
    frame.touch();
}

void Preparation::setPictureChoices(const picture::ToneSettings& tone,
                                    picture::DitherMethod dither) {
    tone_ = tone;
    dither_ = dither;
}

void Preparation::Check1Click() {
    form::Form1& f = ctx_.form;
    if (f.Check1.value == 0) {
        f.Check1.caption = "Precise-Burning";
        f.HScroll3.enabled = false;
    }
    if (f.Check1.value == 1) {
        f.Check1.caption = "Coarse-Burning";
        f.HScroll3.enabled = true;
    }
}

void Preparation::HScroll3Change() {
    ctx_.form.Label6.caption = "Sensitivity " + std::to_string(ctx_.form.HScroll3.value);
}

void Preparation::HScroll1Change() {
    form::PictureBox& preview = ctx_.form.Picture2;
    preview.setOuterSize(ctx_.form.HScroll1.value, preview.height);
    showPreviewSize();
}

void Preparation::VScroll1Change() {
    form::PictureBox& preview = ctx_.form.Picture2;
    preview.setOuterSize(preview.width, ctx_.form.VScroll1.value);
    showPreviewSize();
}

void Preparation::showPreviewSize() {
    form::Form1& f = ctx_.form;
    f.Picture2.touch();  // repaint
    const std::string width = std::to_string(f.Picture2.ScaleWidth());
    const std::string height = std::to_string(f.Picture2.ScaleHeight());
    f.Picture2.toolTip = width + "," + height;
    f.Option1.caption = "Picture " + width + "x" + height;
}

}  // namespace ostrel::jobs
