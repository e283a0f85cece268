// Helpers shared by the pause, journal and resume tests: pictures, exposure by dot, whole runs.
#pragma once

#include <QImage>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/Harness.h"

namespace ostrel::test {

// Laser-on time by head position (half-steps); stretches of no time are left out.
using ExposureMap = std::map<std::pair<int64_t, int64_t>, double>;

inline void addExposure(ExposureMap& out, const machine::SimEngraver& sim) {
    for (const machine::Exposure& e : sim.exposures()) {
        if (e.ms > 0) out[{e.x, e.y}] += e.ms;
    }
}
inline ExposureMap exposureOf(const machine::SimEngraver& sim) {
    ExposureMap out;
    addExposure(out, sim);
    return out;
}

// A grey picture with levels from a formula, as Precise-Burning reads it.
inline QImage patternPicture(int w, int h, int seed = 0) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int v = (37 * x + 61 * y + 11 * seed) % 256;
            image.setPixel(x, y, qRgb(v, v, v));
        }
    }
    return image;
}

// Sets a harness up for a picture job as Load would leave it: picture.bmp in the program
// folder and the same picture in Picture2; Precise-Burning unless `coarse`.
inline void preparePictureJob(Harness& h, const QImage& picture, bool coarse = false) {
    picture.save(QString::fromStdString(h.host.folder + "/picture.bmp"), "BMP");
    h.form().Picture2.setPicture(picture);
    h.form().Check1.value = coarse ? 1 : 0;
    h.form().Check2.value = 0;
}

// Advances until nothing of the job runs any more: no axis or job timer, no pause, no resume.
inline bool untilJobDone(Harness& h, int64_t maxMs = 24LL * 3600 * 1000) {
    engraver::Engraver& e = *h.engraver;
    return h.loop.advanceUntil(
        [&] {
            form::Form1& f = e.form();
            for (runtime::Timer* t : {&f.Timer1, &f.Timer2, &f.Timer4, &f.Timer5, &f.Timer6,
                                      &f.Timer7, &f.Timer8, &f.Timer9}) {
                if (t->Enabled()) return false;
            }
            return !e.jobPause().paused() && !e.jobResume().running();
        },
        maxMs);
}

}  // namespace ostrel::test
