// Tests of the Load command: the dialog, cancelled and empty files, and files it must refuse.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <filesystem>

#include "engraver/CommandPanel.h"
#include "picture/PictureTestFiles.h"
#include "support/Harness.h"

namespace ostrel::test {
namespace {

using engraver::EventResult;

struct LoadTest : testing::Test {
    void SetUp() override { h.start(); }

    form::Form1& f() { return h.form(); }
    bool manualMode() { return f().Command1[0].enabled; }
    void load(const std::string& path) {
        h.host.dialogAnswers.push_back(path);
        ASSERT_EQ(h.engraver->click("Command2(0)"), EventResult::Handled);
    }
    QByteArray outputFile() {
        QFile file(QString::fromStdString(h.tempDir + "/picture.bmp"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Everything a refused or cancelled Load must leave as it was.
    struct Snapshot {
        std::string controls;
        QImage picture1, picture2, picture3;
        QByteArray saved;
        bool operator==(const Snapshot&) const = default;
    };
    Snapshot snapshot() {
        return {f().dumpJson(), f().Picture1.raster, f().Picture2.raster, f().Picture3.raster,
                outputFile()};
    }

    Harness h;
};

TEST_F(LoadTest, AsksForAPictureInTheProgramsFolder) {
    load("");
    ASSERT_EQ(h.host.dialogs.size(), 1u);
    const form::FileDialogRequest& request = h.host.dialogs[0];
    EXPECT_EQ(request.initialFolder, h.tempDir);
    EXPECT_EQ(request.defaultExtension, "jpg");
    EXPECT_EQ(request.filter,
              "Pictures (*.jpg);;(*gif);;(*.bmp);;All pictures (*.jpg *.jpeg *.gif *.bmp *.png)");
}

TEST_F(LoadTest, ACancelledDialogOrAnEmptyFileChangesNothing) {
    for (bool manual : {false, true}) {
        SCOPED_TRACE(manual ? "manual mode on" : "manual mode off");
        if (manual != manualMode()) h.engraver->click("Command2(6)");
        const Snapshot before = snapshot();
        load("");
        load(writeFile(h.tempDir, "empty.jpg", QByteArray()));
        EXPECT_TRUE(before == snapshot());
        EXPECT_TRUE(h.host.errors.empty());
    }
}

TEST_F(LoadTest, AReadablePictureIsShownPreparedAndEndsManualMode) {
    h.engraver->click("Command2(6)");
    ASSERT_TRUE(manualMode());
    load(writeFile(h.tempDir, "grey.png", encode(solid(50, 40, qRgb(90, 90, 90)), "PNG")));
    EXPECT_TRUE(h.host.errors.empty());
    EXPECT_EQ(f().Picture1.ScaleWidth(), 50);
    EXPECT_EQ(f().Picture1.ScaleHeight(), 40);
    EXPECT_EQ(f().Picture2.Point(60, 50), 100);  // grey 90 under sensitivity 100: marked
    EXPECT_EQ(f().Picture3.Point(60, 50), 100);
    EXPECT_FALSE(manualMode());
    EXPECT_EQ(f().Command2_6.backColor, form::kLightGrey);
}

long peakMemoryKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A file that cannot be used is refused with a message naming it and the reason; the pictures,
// the saved file and manual mode stay exactly as they were.
TEST_F(LoadTest, RefusesFilesThatAreNoUsablePictureAndChangesNothing) {
    load(writeFile(h.tempDir, "first.png", encode(gradient(200, 150), "PNG")));
    ASSERT_TRUE(h.host.errors.empty());
    h.engraver->click("Command2(6)");
    ASSERT_TRUE(manualMode());

    const QByteArray jpeg = encode(gradient(300, 200), "JPEG", 90);
    const QByteArray png = encode(gradient(300, 200), "PNG");
    const QDir folder(QString::fromStdString(h.tempDir));
    folder.mkdir("pictures.jpg");
    const struct {
        std::string file;
        QByteArray bytes;  // written unless the file is the folder
        const char* reason;
    } cases[] = {
        {"cut.jpg", jpeg.left(jpeg.size() / 2), "truncated"},
        {"cut.bmp", encode(gradient(300, 200), "BMP").left(5000), "truncated"},
        {"cut.gif", makeGif(64, 64, 2, [](int k, int x, int) { return (k + x) % 2; }).left(900),
         "truncated"},
        {"cut.png", png.left(png.size() / 2), "damaged"},
        {"noise.jpg", QByteArray("these bytes are no picture at all"), "not a picture"},
        {"broken.jpg", QByteArray::fromHex("FFD8FFE000104A464946000101") + QByteArray(600, 'x'),
         "damaged"},
        {"pictures.jpg", {}, "folder"},
        {"missing.jpg", {}, "does not exist"},
        {"bomb.bmp", bmpHeader(30000, 30000), "too large"},
        {"bomb.png", pngHeader(30000, 30000), "too large"},
        {"bomb.gif", gifHeader(65535, 65535), "too large"},
    };
    const long peakBefore = peakMemoryKb();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::string path = h.tempDir + "/" + c.file;
        if (!c.bytes.isEmpty()) path = writeFile(h.tempDir, c.file, c.bytes);
        h.host.errors.clear();
        const Snapshot before = snapshot();
        load(path);
        ASSERT_EQ(h.host.errors.size(), 1u);
        EXPECT_NE(h.host.errors[0].find(path), std::string::npos) << h.host.errors[0];
        EXPECT_NE(h.host.errors[0].find(c.reason), std::string::npos) << h.host.errors[0];
        EXPECT_TRUE(before == snapshot());
        EXPECT_TRUE(manualMode());
    }
    // The bombs were refused from their headers: no raster of theirs was ever allocated.
    EXPECT_LT(peakMemoryKb() - peakBefore, 64 * 1024);
}

TEST_F(LoadTest, RefusesAFileThatCannotBeRead) {
    const std::string path =
        writeFile(h.tempDir, "locked.png", encode(solid(5, 5, qRgb(1, 2, 3)), "PNG"));
    std::filesystem::permissions(path, std::filesystem::perms::none);
    if (access(path.c_str(), R_OK) == 0) GTEST_SKIP() << "this user reads files without rights";
    const Snapshot before = snapshot();
    load(path);
    ASSERT_EQ(h.host.errors.size(), 1u);
    EXPECT_NE(h.host.errors[0].find("cannot be read"), std::string::npos) << h.host.errors[0];
    EXPECT_TRUE(before == snapshot());
}

TEST_F(LoadTest, AnAnimatedGifLoadsItsFirstFrame) {
    f().Check1.value = 0;
    load(writeFile(h.tempDir, "anim.gif", makeGif(4, 4, 2, [](int k, int, int) { return k; })));
    EXPECT_TRUE(h.host.errors.empty());
    EXPECT_EQ(f().Picture1.Point(0, 0), form::RGB(255, 0, 0));  // the second frame is blue
    EXPECT_EQ(f().Picture2.Point(0, 0), form::RGB(255, 255, 255));
}

}  // namespace
}  // namespace ostrel::test
