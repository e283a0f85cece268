// Picture loading: a generated 24-megapixel JPEG through the Load button into the 127 x 103 burn
// mask, timed in a fresh child each time, against djpeg's 1/8 and full decodes of the same file.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <ostream>
#include <sstream>

#include "Bench.h"
#include "Process.h"
#include "engraver/Engraver.h"
#include "form/HeadlessHost.h"
#include "machine/SimEngraver.h"
#include "runtime/VirtualEventLoop.h"

namespace ostrel::bench {

namespace {

constexpr int kWidth = 6000, kHeight = 4000;  // 24 megapixels

// A photograph-like picture: smooth shading, a few shapes and fine grain, so that the JPEG holds
// about as much detail as a camera's. Written row by row as PPM for cjpeg: the full picture is
// never in this process's memory either.
bool writePpm(const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "P6\n" << kWidth << ' ' << kHeight << "\n255\n";
    std::vector<unsigned char> row(static_cast<size_t>(kWidth) * 3);
    uint32_t grain = 12345;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            grain = grain * 1664525u + 1013904223u;
            const int noise = static_cast<int>(grain >> 27) - 16;
            const double dx = x - kWidth * 0.4, dy = y - kHeight * 0.55;
            const bool disc = dx * dx + dy * dy < 1200.0 * 1200.0;
            const bool bar = (x / 500) % 2 == 0 && y > 3000;
            int r = 40 + 180 * x / kWidth, g = 60 + 150 * y / kHeight, b = 200 - 120 * x / kWidth;
            if (disc)
                r = g = b = 70 + static_cast<int>(60 * std::sin(x * 0.01) * std::cos(y * 0.013));
            if (bar) r = g = b = 230;
            auto clamp = [](int v) {
                return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v);
            };
            row[3 * static_cast<size_t>(x)] = clamp(r + noise);
            row[3 * static_cast<size_t>(x) + 1] = clamp(g + noise);
            row[3 * static_cast<size_t>(x) + 2] = clamp(b + noise);
        }
        out.write(reinterpret_cast<const char*>(row.data()),
                  static_cast<std::streamsize>(row.size()));
    }
    return static_cast<bool>(out);
}

}  // namespace

int loadChild(const std::string& file, const std::string& folder) {
    runtime::VirtualEventLoop loop;
    machine::SimEngraver sim({}, [&loop] { return loop.nowMs(); });
    form::HeadlessHost host;
    host.folder = folder;
    host.baseDir = folder;
    engraver::Engraver engraver(loop, sim, host);
    engraver.load();
    // The first Load of a process faults in fresh memory for everything it allocates; the
    // second shows what every Load after it costs.
    double ms[2] = {};
    for (double& each : ms) {
        host.queueDialogAnswer(file);
        const double start = monotonicMs();
        engraver.click("Command2(0)");
        each = monotonicMs() - start;
    }
    const form::Form1& f = engraver.form();
    if (!host.errors.empty() || f.Picture3.ScaleWidth() != 127 || f.Picture3.ScaleHeight() != 103) {
        std::fprintf(stderr, "load failed: %s\n",
                     host.errors.empty() ? "wrong size" : host.errors.back().c_str());
        return 1;
    }
    std::printf("%.3f %.3f\n", ms[0], ms[1]);
    return 0;
}

void measurePictureLoad(const Context& c, std::vector<Figure>& figures) {
    Figure load =
        makeFigure("load.wall_ms", "24 MP JPEG Load into the 127 x 103 mask, first in a process",
                   "ms", Goal::None, 0, 1);
    Figure again = makeFigure("load.again_ms", "the same Load again (decoders loaded)", "ms",
                              Goal::None, 0, 1);
    Figure djpeg =
        makeFigure("load.djpeg_ms", "djpeg full decode of the same file", "ms", Goal::None, 0, 1);
    Figure ratio =
        makeFigure("load.over_djpeg", "first Load / djpeg full decode", "", Goal::None, 0, 3);
    // libjpeg's own 1/8 decode, which Load makes of this file: Load's goal is to add little
    // to it (the stretch, the preparation, picture.bmp written twice).
    Figure floor = makeFigure("load.djpeg_eighth_ms", "djpeg -scale 1/8 of the same file", "ms",
                              Goal::None, 0, 1);
    Figure overFloor = makeFigure("load.over_djpeg_eighth", "first Load / djpeg -scale 1/8", "",
                                  Goal::AtMost, 1.15, 3);
    Figure memory =
        makeFigure("load.peak_rss_mb", "Load: peak memory of the process", "MB", Goal::None, 0, 1);
    auto done = [&] {
        figures.insert(figures.end(), {load, again, djpeg, ratio, floor, overFloor, memory});
    };

    *c.log << "picture load: generating a " << kWidth << " x " << kHeight << " JPEG\n";
    const std::string ppm = c.workDir + "/photo.ppm", jpeg = c.workDir + "/photo.jpg";
    if (!writePpm(ppm) ||
        runChild({{"cjpeg", "-quality", "90", "-outfile", jpeg, ppm}, {}}).exitCode != 0) {
        std::remove(ppm.c_str());
        overFloor.note = "cannot make the JPEG (cjpeg from libjpeg-turbo-progs)";
        return done();
    }
    std::remove(ppm.c_str());
    *c.log << "  " << readFile(jpeg).size() / 1024 << " KiB\n";
    for (int r = 0; r < c.repeats; ++r) {
        const std::string out = c.workDir + "/load.out";
        const ChildEnd child =
            runChild({{c.self, "--load-child", jpeg, c.workDir}, {}, out, c.workDir + "/load.err"});
        double djpegMs = 0;
        const ChildEnd d = runChild({{"djpeg", "-outfile", "/dev/null", jpeg}, {}}, &djpegMs);
        double eighthMs = 0;
        const ChildEnd e =
            runChild({{"djpeg", "-scale", "1/8", "-outfile", "/dev/null", jpeg}, {}}, &eighthMs);
        std::istringstream times(readFile(out));
        double loadMs = 0, againMs = 0;
        times >> loadMs >> againMs;
        if (child.exitCode != 0 || loadMs <= 0 || d.exitCode != 0 || e.exitCode != 0) {
            overFloor.note = "a run failed: " + readFile(c.workDir + "/load.err");
            continue;
        }
        load.samples.push_back(loadMs);
        again.samples.push_back(againMs);
        djpeg.samples.push_back(djpegMs);
        ratio.samples.push_back(loadMs / djpegMs);
        floor.samples.push_back(eighthMs);
        overFloor.samples.push_back(loadMs / eighthMs);
        memory.samples.push_back(static_cast<double>(child.maxRssKb) / 1024.0);
        *c.log << "  run " << r + 1 << ": Load " << loadMs << " ms (again " << againMs
               << " ms), djpeg " << djpegMs << " ms, djpeg 1/8 " << eighthMs << " ms, "
               << child.maxRssKb / 1024 << " MB peak\n";
    }
    done();
}

}  // namespace ostrel::bench
