// `ostrel simulate` with a material profile, tone, dithering and the calibration card, as a
// child process: the figures follow the profile, and a profile that cannot be used ends it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "jobs/Dwell.h"
#include "picture/MaterialProfile.h"

namespace {

using namespace ostrel;

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

QString fifo(const QTemporaryDir& dir, const char* name) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    return path;
}

int gradient(int x, int y) {
    return (x * 13 + y * 17) % 256;
}

QString gradientPicture(const QTemporaryDir& dir, int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) image.setPixel(x, y, qRgb(gradient(x, y), 0, 0));
    }
    const QString path = dir.filePath("picture.png");
    EXPECT_TRUE(image.save(path));
    return path;
}

picture::MaterialProfile leather() {
    picture::MaterialProfile p;
    p.name = QStringLiteral("Leather");
    p.shortestMs = 30;
    p.longestMs = 250;
    p.curve = picture::DwellCurve::Gamma;
    p.gamma = 1.5;
    p.whiteCutoff = 230;
    return p;
}

QString writeText(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
}

QByteArray withField(const QString& key, const QJsonValue& value) {
    QJsonObject o = picture::profileToJsonObject(leather());
    if (value.isUndefined()) {
        o.remove(key);
    } else {
        o.insert(key, value);
    }
    return QJsonDocument(o).toJson();
}

TEST(SimulateMaterial, PreciseDwellsFollowTheProfileAndTheSummaryReportsTheSettings) {
    QTemporaryDir dir;
    const int w = 20, h = 15;
    const QString picture = gradientPicture(dir, w, h);
    const QString profile = dir.filePath("leather.json");
    ASSERT_FALSE(picture::writeProfileFile(leather(), profile).has_value());

    const Result r = ostrel({"simulate", "--picture", picture, "--mode", "precise", "--size",
                             "20x15", "--material", profile, "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject s = r.json();
    const picture::DwellTable table = picture::dwellTable(leather());
    double dwells = 0;
    int burned = 0;
    for (int y = 0; y < h + 2; ++y) {
        for (int x = 0; x < w; ++x) {
            const int level = y < h ? gradient(x, y) : 255;  // two rows past the picture
            dwells += table[static_cast<size_t>(level)];
            burned += table[static_cast<size_t>(level)] > 0;
        }
    }
    EXPECT_EQ(s["dotsDealt"].toInt(), w * (h + 2));
    EXPECT_EQ(s["dotsBurned"].toInt(), burned);
    EXPECT_LT(burned, w * (h + 2));
    EXPECT_DOUBLE_EQ(s["laserOnMs"].toDouble(), dwells);
    const QJsonObject settings = s["pictureSettings"].toObject();
    EXPECT_EQ(settings["material"].toObject()["name"].toString(), "Leather");
    EXPECT_EQ(settings["dither"].toString(), "threshold");

    // The designed job reports no settings: its summary is as it always was.
    const Result designed = ostrel(
        {"simulate", "--picture", picture, "--mode", "precise", "--size", "20x15", "--json"});
    ASSERT_EQ(designed.code, 0);
    EXPECT_FALSE(designed.json().contains("pictureSettings"));
}

TEST(SimulateMaterial, ToneAndDitheringChangeTheCoarseMaskAndAreReported) {
    QTemporaryDir dir;
    const QString picture = gradientPicture(dir, 20, 15);
    const QStringList job{"simulate", "--picture", picture, "--size", "20x15", "--json"};
    const Result threshold = ostrel(job);
    const Result dithered = ostrel(job + QStringList{"--dither", "floyd-steinberg", "--gamma",
                                                     "0.5", "--contrast", "20", "--invert"});
    ASSERT_EQ(threshold.code, 0) << threshold.err.toStdString();
    ASSERT_EQ(dithered.code, 0) << dithered.err.toStdString();
    EXPECT_NE(dithered.json()["dotsBurned"].toInt(), threshold.json()["dotsBurned"].toInt());
    const QJsonObject settings = dithered.json()["pictureSettings"].toObject();
    EXPECT_EQ(settings["dither"].toString(), "floyd-steinberg");
    EXPECT_EQ(settings["tone"].toObject()["gamma"].toDouble(), 0.5);
    EXPECT_EQ(settings["tone"].toObject()["contrast"].toInt(), 20);
    EXPECT_TRUE(settings["tone"].toObject()["invert"].toBool());
}

TEST(SimulateMaterial, TheCardIsWrittenAndBurnedWithTheProfilesDwells) {
    QTemporaryDir dir;
    const QString profile = dir.filePath("leather.json");
    ASSERT_FALSE(picture::writeProfileFile(leather(), profile).has_value());
    const QString cardFile = dir.filePath("card.png");
    const Result r =
        ostrel({"simulate", "--card", "--material", profile, "--card-picture", cardFile, "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QImage card(cardFile);
    ASSERT_FALSE(card.isNull());
    const QJsonObject s = r.json();
    EXPECT_EQ(s["width"].toInt(), card.width());
    EXPECT_EQ(s["height"].toInt(), card.height());
    EXPECT_EQ(s["mode"].toString(), "precise");
    // Every dot of the card is burned for its level's dwell in the profile.
    const picture::DwellTable table = picture::dwellTable(leather());
    double dwells = 0;
    for (int y = 0; y < card.height() + 2; ++y) {
        for (int x = 0; x < card.width(); ++x) {
            const int level = y < card.height() ? qRed(card.pixel(x, y)) : 255;
            dwells += table[static_cast<size_t>(level)];
        }
    }
    EXPECT_DOUBLE_EQ(s["laserOnMs"].toDouble(), dwells);
}

TEST(SimulateMaterial, AProfileThatCannotBeUsedEndsTheCommandWithTwoAndSaysWhy) {
    QTemporaryDir dir;
    const QString picture = gradientPicture(dir, 15, 15);
    const struct {
        QString file;
        const char* message;
    } cases[] = {
        {dir.filePath("missing.json"), "missing.json cannot be used"},
        {writeText(dir, "garbage.json", "\x01\x02 not json {"), "garbage.json cannot be used"},
        {writeText(dir, "range.json", withField("longestMs", 5000)), "range.json cannot be used"},
        {writeText(dir, "nofield.json", withField("shortestMs", QJsonValue::Undefined)),
         "nofield.json cannot be used"},
        {writeText(dir, "newer.json", withField("version", 99)), "newer.json cannot be used"},
        // A FIFO would block the read for ever; a folder is no file either.
        {fifo(dir, "fifo.json"), "not a plain file"},
        {dir.path(), "not a plain file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        const Result r = ostrel({"simulate", "--picture", picture, "--material", c.file});
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(r.err.startsWith("ostrel simulate: The material profile"))
            << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    }

    const struct {
        QStringList args;
        const char* message;
    } options[] = {
        {{"--picture", picture, "--dither", "halftone"}, "--dither takes threshold"},
        {{"--picture", picture, "--gamma", "0"}, "gamma 0 is outside 0.1 to 10"},
        {{"--picture", picture, "--brightness", "101"}, "-100 to 100"},
        {{"--picture", picture, "--contrast", "x"}, "-100 to 100"},
        {{"--frame", "20x20", "--material", "m.json"}, "picture job only"},
        {{"--card", "--picture", picture}, "either --picture FILE or --frame WxH"},
        {{"--card", "--size", "20x20"}, "does not act on the calibration card"},
        {{"--picture", picture, "--card-picture", "c.png"}, "with --card only"},
    };
    for (const auto& c : options) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Result r = ostrel(QStringList{"simulate"} + c.args);
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
    }
}

}  // namespace
