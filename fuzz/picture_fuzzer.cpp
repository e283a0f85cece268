// Fuzzes picture loading and preparation: any bytes as a picture file, through Load's steps, and
// the same bytes straight through the JPEG decoder at every scale.
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

#include "engraver/Engraver.h"
#include "machine/SimEngraver.h"
#include "picture/JpegDecoder.h"
#include "runtime/VirtualEventLoop.h"

namespace {

QTemporaryDir* folder = nullptr;

// The platform as the preparation sees it: a program folder, nothing else.
class QuietHost final : public ostrel::form::Host {
  public:
    std::string openFileDialog(const ostrel::form::FileDialogRequest&) override { return {}; }
    void messageBox(const std::string&, const std::string&) override {}
    void showError(const std::string&) override {}
    bool openWithViewer(const std::string&) override { return true; }
    void showExplanation() override {}
    void showAbout() override {}
    void endProgram() override {}
    std::string programFolder() override { return folder->path().toStdString(); }
};

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    folder = new QTemporaryDir();
    return 0;
}

namespace {

// The JPEG decoder on the file at each scale: a picture only when decoded, of the size libjpeg
// gives the header's picture at the scale chosen for the raster.
void decodeJpeg(const QString& path) {
    // Smaller than Load's limits, so that a header claiming a huge frame costs little time.
    constexpr ostrel::picture::JpegLimits kLimits{16'000'000, 64LL * 1024 * 1024};
    for (QSize raster : {QSize(127, 103), QSize(40, 30), QSize(1, 1), QSize(2000, 2000)}) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        check(fd >= 0);
        const ostrel::picture::JpegResult result = ostrel::picture::DecodeJpeg(fd, raster, kLimits);
        ::close(fd);
        if (result.outcome != ostrel::picture::JpegOutcome::Decoded) {
            check(result.image.isNull());
            continue;
        }
        const int d =
            ostrel::picture::jpegScaleDenominator(QSize(result.width, result.height), raster);
        check(result.scaleDenominator == d);
        check(result.image.width() == (result.width + d - 1) / d);
        check(result.image.height() == (result.height + d - 1) / d);
        check(result.image.format() == QImage::Format_RGB32);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = folder->filePath("input");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8) decodeJpeg(path);
    ostrel::runtime::VirtualEventLoop loop;
    ostrel::machine::SimEngraver sim({}, [&loop] { return loop.nowMs(); });
    QuietHost host;
    ostrel::engraver::Engraver engraver(loop, sim, host);
    engraver.load();
    ostrel::jobs::Preparation& preparation = engraver.preparation();
    const ostrel::jobs::LoadResult loaded = preparation.loadPicture(path.toStdString());
    if (!loaded.ok) {
        check(!loaded.error.empty());
        check(engraver.form().Picture1.raster.isNull());  // nothing changed
        return 0;
    }
    preparation.stretchIntoPicture2();
    preparation.PreparePicture();
    // The raster keeps its design size, and Coarse-Burning leaves only blank and the marker.
    const ostrel::form::PictureBox& preview = engraver.form().Picture2;
    check(preview.ScaleWidth() == 127 && preview.ScaleHeight() == 103);
    for (int y = 0; y < preview.ScaleHeight(); ++y) {
        for (int x = 0; x < preview.ScaleWidth(); ++x) {
            const int c = preview.Point(x, y);
            check(c == 0 || c == 100);
        }
    }
    return 0;
}
