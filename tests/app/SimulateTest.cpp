// `ostrel simulate` as a child process: its figures, its agreement with `ostrel script`, its burn
// picture and its refusals.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <regex>
#include <sstream>

#include "app/Script.h"
#include "jobs/Dwell.h"

namespace {

struct Result {
    int code = -1;
    QString out, err;
    QJsonObject json() const { return QJsonDocument::fromJson(out.toUtf8()).object(); }
};

Result ostrel(const QStringList& args) {
    QProcess p;
    p.start(OSTREL_BINARY, args);
    Result r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) return r;
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// A W x H picture of grey levels, saved as PNG.
QString greyPicture(const QTemporaryDir& dir, int w, int h,
                    const std::function<int(int, int)>& level) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(level(x, y), level(x, y), level(x, y)));
    }
    const QString path = dir.filePath("picture.png");
    EXPECT_TRUE(image.save(path));
    return path;
}

int gradient(int x, int y) {
    return (x * 13 + y * 17) % 256;
}

TEST(Simulate, PreciseBurnsEveryDotAndTheTwoRowsPastThePictureForTheirDwells) {
    QTemporaryDir dir;
    const int w = 20, h = 15;
    const QString picture = greyPicture(dir, w, h, gradient);
    const Result r = ostrel(
        {"simulate", "--picture", picture, "--mode", "precise", "--size", "20x15", "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject s = r.json();

    double dwells = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            dwells += ostrel::jobs::kDwellMs[static_cast<size_t>(gradient(x, y))];
    }
    dwells += 2 * w * ostrel::jobs::kDwellMs[255];  // the two rows past the picture
    EXPECT_TRUE(s["finished"].toBool());
    EXPECT_EQ(s["rows"].toInt(), h + 2);
    EXPECT_EQ(s["dotsDealt"].toInt(), w * (h + 2));
    EXPECT_EQ(s["dotsBurned"].toInt(), w * (h + 2));
    EXPECT_DOUBLE_EQ(s["laserOnMs"].toDouble(), dwells);
    EXPECT_EQ(s["wiringFaults"].toInt(), 0);
    EXPECT_EQ(s["lostSteps"].toInt(), 0);
}

TEST(Simulate, CoarseBurnsExactlyTheMarkers) {
    QTemporaryDir dir;
    const int w = 16, h = 16;
    // Black stays blank; a grey at or below the sensitivity becomes the marker; one above it is
    // blanked; cyan keeps its colour through the grey pass (level 0) and becomes the marker.
    const int sensitivity = 120;
    auto colourOf = [](int x, int y) -> QRgb {
        switch ((x + 3 * y) % 5) {
            case 0:
                return qRgb(0, 0, 0);
            case 1:
                return qRgb(120, 120, 120);
            case 2:
                return qRgb(121, 121, 121);
            case 3:
                return qRgb(0, 255, 255);
            default:
                return qRgb(30, 60, 90);  // greys to level 90
        }
    };
    QImage image(w, h, QImage::Format_RGB32);
    int markers = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            image.setPixel(x, y, colourOf(x, y));
            const int kind = (x + 3 * y) % 5;
            if (kind == 1 || kind == 3 || kind == 4) ++markers;
        }
    }
    const QString picture = dir.filePath("mask.bmp");
    ASSERT_TRUE(image.save(picture));

    const Result r = ostrel({"simulate", "--picture", picture, "--size", "16x16", "--sensitivity",
                             QString::number(sensitivity), "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject s = r.json();
    EXPECT_EQ(s["dotsBurned"].toInt(), markers);
    EXPECT_EQ(s["dotsDealt"].toInt(), w * (h + 2));
    EXPECT_DOUBLE_EQ(s["laserOnMs"].toDouble(), 100.0 * markers);
}

// The same job written as a scenario: its virtual time from Run to idle is the job time.
TEST(Simulate, JobTimeEqualsTheSameJobRunAsAScenario) {
    QTemporaryDir dir;
    const QString picture = greyPicture(dir, 22, 17, gradient);
    const Result r = ostrel({"simulate", "--picture", picture, "--mode", "precise", "--size",
                             "22x17", "--step-ms", "5", "--head", "30,12", "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const qint64 jobMs = r.json()["jobMs"].toInteger();

    const std::string scenario =
        "head 30 12\n"
        "start\n"
        "click Command3\n"
        "until-idle\n"
        "click Command5\n"
        "until-idle\n"
        "wait 2000\n"
        "expect Timer10.Enabled False\n"
        "set HScroll1 360\n"
        "set VScroll1 285\n"
        "set Check1 0\n"
        "set Combo1 5\n"
        "dialog " +
        picture.toStdString() +
        "\n"
        "click Command2(0)\n"
        "click Option1\n"
        "click Command2(1)\n"
        "until-idle\n"
        "expect pixelRow 18\n";
    ostrel::app::ScriptOptions options;
    options.folder = dir.path().toStdString();
    options.verbose = true;
    std::ostringstream out, err;
    ASSERT_EQ(ostrel::app::runScenario(scenario, options, out, err), ostrel::app::kScriptPassed)
        << out.str() << err.str();
    // --verbose prints the virtual time before every line.
    const std::string log = err.str();
    std::smatch run, end;
    ASSERT_TRUE(std::regex_search(log, run, std::regex("t=(\\d+) line 16: click Command2\\(1\\)")));
    ASSERT_TRUE(std::regex_search(log, end, std::regex("t=(\\d+) line 18: expect")));
    EXPECT_EQ(jobMs, std::stoll(end[1]) - std::stoll(run[1]));
    EXPECT_GT(jobMs, 0);
}

bool dark(QRgb p) {
    return qGray(p) < 128;
}

TEST(Simulate, FrameReturnsToTheCornerAndAutoLaserBurnsAClosedOutline) {
    QTemporaryDir dir;
    const QString burn = dir.filePath("frame.png");
    const Result r =
        ostrel({"simulate", "--frame", "127x103", "--auto-laser", "--burn", burn, "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject s = r.json();
    EXPECT_TRUE(s["finished"].toBool());
    EXPECT_EQ(s["lostSteps"].toInt(), 0);
    EXPECT_EQ(s["xStepCount"].toInt(), 0);
    EXPECT_EQ(s["yStepCount"].toInt(), 0);
    EXPECT_EQ(s["headX"].toDouble(), 0);
    EXPECT_EQ(s["headY"].toDouble(), 0);
    EXPECT_GT(s["laserOnMs"].toDouble(), 0);

    const QImage image(burn);
    ASSERT_FALSE(image.isNull());
    // The dark pixels' bounding box is the outline; each of its sides is dark along its whole
    // length, and the inside is blank.
    int x0 = image.width(), y0 = image.height(), x1 = -1, y1 = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!dark(image.pixel(x, y))) continue;
            x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
    }
    // 1076 X full steps by 220 Y full steps, 4 image pixels per Y step, plus the line's width.
    EXPECT_GE(x1 - x0, 1076);
    EXPECT_LE(x1 - x0, 1076 + 16);
    EXPECT_GE(y1 - y0, 220 * 4);
    EXPECT_LE(y1 - y0, 220 * 4 + 16);
    auto darkNear = [&](int x, int y) {
        for (int dy = -3; dy <= 3; ++dy) {
            for (int dx = -3; dx <= 3; ++dx) {
                const QPoint p(x + dx, y + dy);
                if (image.valid(p) && dark(image.pixel(p))) return true;
            }
        }
        return false;
    };
    for (int x = x0; x <= x1; ++x) {
        ASSERT_TRUE(darkNear(x, y0 + 2)) << "top side at x " << x;
        ASSERT_TRUE(darkNear(x, y1 - 2)) << "bottom side at x " << x;
    }
    for (int y = y0; y <= y1; ++y) {
        ASSERT_TRUE(darkNear(x0 + 2, y)) << "left side at y " << y;
        ASSERT_TRUE(darkNear(x1 - 2, y)) << "right side at y " << y;
    }
    EXPECT_FALSE(dark(image.pixel((x0 + x1) / 2, (y0 + y1) / 2)));
}

TEST(Simulate, BadOptionsAndUnusablePicturesExitWithTwo) {
    QTemporaryDir dir;
    const QString picture = greyPicture(dir, 15, 15, gradient);
    QFile text(dir.filePath("notes.jpg"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a picture at all\n");
    text.close();
    QFile empty(dir.filePath("empty.png"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();

    const struct {
        QStringList args;
        const char* message;
    } cases[] = {
        {{}, "either --picture FILE or --frame WxH"},
        {{"--picture"}, "--picture needs FILE"},
        {{"--picture", picture, "--frame", "20x20"}, "either --picture"},
        {{"--frame", "20x"}, "--frame takes WxH"},
        {{"--frame", "128x50"}, "outside 15-127 x 15-103"},
        {{"--picture", picture, "--size", "14x20"}, "outside 15-127 x 15-103"},
        {{"--picture", picture, "--mode", "fine"}, "coarse or precise"},
        {{"--picture", picture, "--sensitivity", "255"}, "0-254"},
        {{"--picture", picture, "--step-ms", "0"}, "1-65535"},
        {{"--picture", picture, "--step-ms", "ten"}, "1-65535"},
        {{"--picture", picture, "--head"}, "--head needs X,Y"},
        {{"--picture", picture, "--head", "5"}, "--head takes X,Y"},
        {{"--picture", picture, "--head", "5,y"}, "--head takes X,Y"},
        {{"--picture", picture, "--head", "5", "3"}, "--head takes X,Y as one word"},
        {{"--picture", picture, "--head", "2000,0"}, "beyond the mechanical stops"},
        {{"--picture", picture, "--head", "0,-5"}, "beyond the mechanical stops"},
        {{"--picture", picture, "--y-step-scale", "0"}, "1-64"},
        {{"--picture", picture, "--auto-laser"}, "frame job only"},
        {{"--frame", "20x20", "--mode", "precise"}, "picture job only"},
        {{"--picture", picture, "--json", "--json"}, "given twice"},
        {{"--picture", picture, "--frobnicate"}, "unknown option '--frobnicate'"},
        {{"--picture", picture, "extra"}, "unexpected argument 'extra'"},
        {{"--picture", picture, "--burn", dir.filePath("no/such/folder/b.png")},
         "cannot write the burn picture"},
        {{"--picture", dir.filePath("missing.png")}, "no such file"},
        {{"--picture", empty.fileName()}, "the file is empty"},
        {{"--picture", text.fileName()}, "notes.jpg"},
    };
    for (const auto& c : cases) {
        const Result r = ostrel(QStringList{"simulate"} + c.args);
        SCOPED_TRACE(c.args.join(' ').toStdString());
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(r.err.startsWith("ostrel simulate: ")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    }

    const Result help = ostrel({"simulate", "--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.out.contains("--y-step-scale"));
}

}  // namespace
