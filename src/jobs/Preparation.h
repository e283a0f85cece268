// Picture loading and preparation: greying, the burn mask, the mode and size controls.
#pragma once

#include <string>

#include "form/Context.h"
#include "form/Events.h"
#include "picture/Dither.h"
#include "picture/Tone.h"

namespace ostrel::jobs {

// The outcome of loading a picture file into Picture1.
struct LoadResult {
    bool ok = false;
    std::string error;  // for the operator: names the file and why it cannot be used
};

class Preparation {
  public:
    explicit Preparation(form::Context& ctx);
    void registerEvents(form::EventTable& events);

    // Decodes a picture file into Picture1: a JPEG at the smallest scale libjpeg decodes it at
    // that still covers the raster, any other kind at its full size. On failure nothing
    // changes and the result says why.
    LoadResult loadPicture(const std::string& path);
    // Stretches Picture1 over the whole of Picture2 (area averaging).
    void stretchIntoPicture2();
    void PreparePicture();
    void Check1Click();
    void HScroll3Change();
    void HScroll1Change();
    void VScroll1Change();

    // The tone adjustments and the burn mask's method PreparePicture uses from now on; neutral
    // tone and the threshold are the designed preparation.
    void setPictureChoices(const picture::ToneSettings& tone, picture::DitherMethod dither);

  private:
    // Saves Picture2 as "picture.bmp" in the program's folder and copies it into Picture3.
    void saveAndCopy();
    // Repaints Picture2 and shows its raster in its tooltip and in Option1's caption.
    void showPreviewSize();

    form::Context& ctx_;
    picture::ToneSettings tone_;
    picture::DitherMethod dither_ = picture::DitherMethod::Threshold;
};

}  // namespace ostrel::jobs
