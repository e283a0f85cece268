// Fuzzes picture loading and preparation: any bytes as a picture file, through Load's steps, and
// the same bytes straight through the 1/8 JPEG decoder.
#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

#include "jobs/JpegEighth.h"
#include "machine/SimEngraver.h"
#include "panel/Engraver.h"
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

// The decoder on the bytes themselves, in memory and read in chunks alike: a picture only when
// decoded, of the size its header gave, and the same both ways.
void decodeEighth(const uint8_t* data, size_t size) {
    // Smaller than Load's limit, so that a header claiming a huge frame costs little time.
    constexpr int64_t kMaxPixels = 16'000'000;
    using ostrel::jobs::JpegEighthOutcome;
    ostrel::jobs::JpegEighthDecoder decoder({data, size});
    const ostrel::jobs::JpegEighthHeader header = decoder.readHeader();
    const ostrel::jobs::JpegEighthResult result = decoder.decode(kMaxPixels);
    if (result.outcome != JpegEighthOutcome::Decoded) {
        check(result.image.isNull());
        return;
    }
    check(header.outcome == JpegEighthOutcome::Decoded);
    check(result.image.width() == (header.width + 7) / 8);
    check(result.image.height() == (header.height + 7) / 8);
    check(result.image.format() == QImage::Format_RGB32);
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    const ostrel::jobs::JpegEighthResult streamed =
        ostrel::jobs::JpegEighthDecoder(device).decode(kMaxPixels);
    check(streamed.outcome == JpegEighthOutcome::Decoded && streamed.image == result.image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    decodeEighth(data, size);
    const QString path = folder->filePath("input");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    ostrel::runtime::VirtualEventLoop loop;
    ostrel::machine::SimEngraver sim({}, [&loop] { return loop.nowMs(); });
    QuietHost host;
    ostrel::panel::Engraver engraver(loop, sim, host);
    engraver.Load();
    ostrel::jobs::Preparation& preparation = engraver.preparation();
    const ostrel::jobs::LoadResult loaded = preparation.LoadPicture(path.toStdString());
    if (!loaded.ok) {
        check(!loaded.error.empty());
        check(engraver.form().Picture1.raster.isNull());  // nothing changed
        return 0;
    }
    preparation.StretchIntoPicture2();
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
