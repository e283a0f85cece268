// Tests of material profiles: their dwells, their files, and the library that keeps them.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "jobs/Dwell.h"
#include "picture/MaterialProfile.h"

namespace ostrel::picture {
namespace {

MaterialProfile gammaProfile() {
    MaterialProfile p;
    p.name = QStringLiteral("Birch plywood 4 mm");
    p.shortestMs = 10;
    p.longestMs = 265;
    p.curve = DwellCurve::Gamma;
    p.gamma = 2.0;
    p.whiteCutoff = 240;
    p.note = QStringLiteral("2 W diode, \"quoted\" and ü");
    return p;
}

MaterialProfile pointsProfile() {
    MaterialProfile p;
    p.name = QStringLiteral("Cork");
    p.shortestMs = 20;
    p.longestMs = 120;
    p.curve = DwellCurve::Points;
    p.points = {{10, 100}, {60, 50}, {110, 0}};
    return p;
}

bool writeText(const QString& path, const QByteArray& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

TEST(MaterialProfile, AsDesignedIsTheDesignedTableByteForByte) {
    const DwellTable table = dwellTable(asDesigned());
    for (size_t level = 0; level < 256; ++level)
        EXPECT_EQ(table[level], jobs::kDwellMs[level]) << level;
    EXPECT_EQ(checkProfile(asDesigned()), std::nullopt);
    EXPECT_EQ(asDesigned().name, QStringLiteral("As designed"));
}

TEST(MaterialProfile, CurvesRunFromLongestToShortest) {
    // The designed staircase stretched to 26-200 ms is the designed table doubled.
    MaterialProfile doubled;
    doubled.shortestMs = 26;
    doubled.longestMs = 200;
    const DwellTable twice = dwellTable(doubled);
    for (size_t level = 0; level < 256; ++level) EXPECT_EQ(twice[level], 2 * jobs::kDwellMs[level]);

    // Gamma 1 over a span of 255 ms is one ms a level; gamma 2 bows the curve towards short.
    MaterialProfile linear = gammaProfile();
    linear.gamma = 1.0;
    linear.whiteCutoff = 255;
    const DwellTable straight = dwellTable(linear);
    for (int level = 0; level < 256; ++level) EXPECT_EQ(straight[size_t(level)], 10 + 255 - level);
    const DwellTable bowed = dwellTable(gammaProfile());
    EXPECT_EQ(bowed[0], 265);
    EXPECT_EQ(bowed[128], 73);  // 10 + 255 * (127 / 255)^2 = 73.25
    EXPECT_EQ(bowed[240], 11);  // 10 + 255 * (15 / 255)^2 = 10.88, the last level burned
    EXPECT_EQ(bowed[241], 0);
}

TEST(MaterialProfile, PointsAreJoinedByStraightLinesAndHeldBeyondTheEnds) {
    const DwellTable table = dwellTable(pointsProfile());
    EXPECT_EQ(table[0], 120);  // before the first point: its 100 %
    EXPECT_EQ(table[10], 120);
    EXPECT_EQ(table[35], 95);  // half way from 100 % to 50 %
    EXPECT_EQ(table[60], 70);
    EXPECT_EQ(table[85], 45);
    EXPECT_EQ(table[110], 20);
    EXPECT_EQ(table[255], 20);  // after the last point: its 0 %
}

TEST(MaterialProfile, LevelsAboveTheWhiteCutoffTakeNoTime) {
    MaterialProfile p;
    p.name = QStringLiteral("Card");
    p.whiteCutoff = 250;
    const DwellTable table = dwellTable(p);
    EXPECT_EQ(table[250], 14);
    for (size_t level = 251; level < 256; ++level) EXPECT_EQ(table[level], 0) << level;
    p.whiteCutoff = 0;
    const DwellTable blackOnly = dwellTable(p);
    EXPECT_EQ(blackOnly[0], 100);
    EXPECT_EQ(blackOnly[1], 0);
}

TEST(MaterialProfile, ProfilesThatCannotBeUsedSayWhy) {
    const auto with = [](auto change) {
        MaterialProfile p = pointsProfile();
        change(p);
        return p;
    };
    const struct {
        MaterialProfile profile;
        const char* reason;
    } cases[] = {
        {with([](auto& p) { p.name = QStringLiteral("  "); }), "no name"},
        {with([](auto& p) { p.name = QString(65, QLatin1Char('x')); }), "longer than 64"},
        {with([](auto& p) { p.name = QStringLiteral("a\nb"); }), "control character"},
        {with([](auto& p) { p.shortestMs = 0; }), "shortest dwell 0 ms is outside 1-1000 ms"},
        {with([](auto& p) { p.longestMs = 1001; }), "longest dwell 1001 ms is outside 1-1000 ms"},
        {with([](auto& p) { p.shortestMs = 130; }), "longer than the longest"},
        {with([](auto& p) { p.whiteCutoff = 256; }), "white cut-off 256"},
        {with([](auto& p) { p.whiteCutoff = -1; }), "white cut-off -1"},
        {with([](auto& p) { p.points.resize(1); }), "2-16 points"},
        {with([](auto& p) {
             p.points.resize(17, {255, 0});
         }),
         "2-16 points"},
        {with([](auto& p) { p.points[1].level = 10; }), "go up in level"},
        {with([](auto& p) { p.points[2].level = 300; }), "level 300"},
        {with([](auto& p) { p.points[0].percent = 101; }), "percent 101"},
        {with([](auto& p) {
             p.curve = DwellCurve::Gamma;
             p.gamma = 0.0;
         }),
         "gamma 0 is outside"},
    };
    for (const auto& c : cases) {
        const std::optional<QString> why = checkProfile(c.profile);
        ASSERT_TRUE(why.has_value()) << c.reason;
        EXPECT_TRUE(why->contains(QLatin1String(c.reason))) << why->toStdString();
    }
}

TEST(MaterialProfile, AProfileThatFailsItsCheckGetsTheDesignedDwells) {
    MaterialProfile noPoints = pointsProfile();
    noPoints.points.clear();
    MaterialProfile upsideDown = gammaProfile();
    upsideDown.shortestMs = 300;
    MaterialProfile negativeGamma = gammaProfile();
    negativeGamma.gamma = -1.0;
    for (const MaterialProfile& p : {noPoints, upsideDown, negativeGamma}) {
        ASSERT_TRUE(checkProfile(p));
        EXPECT_EQ(dwellTable(p), dwellTable(asDesigned()));
    }
}

TEST(MaterialProfile, ProfilesRoundTripThroughTheirFiles) {
    QTemporaryDir dir;
    MaterialProfile designedWithCutoff;
    designedWithCutoff.name = QStringLiteral("Leather");
    designedWithCutoff.whiteCutoff = 200;
    for (const MaterialProfile& p :
         {asDesigned(), gammaProfile(), pointsProfile(), designedWithCutoff}) {
        const ProfileRead fromText = profileFromJson(profileToJson(p));
        ASSERT_TRUE(fromText.profile) << fromText.error.toStdString();
        EXPECT_EQ(*fromText.profile, p) << p.name.toStdString();

        const QString path = dir.filePath(QStringLiteral("p.json"));
        ASSERT_EQ(writeProfileFile(p, path), std::nullopt);
        const ProfileRead fromFile = readProfileFile(path);
        ASSERT_TRUE(fromFile.profile) << fromFile.error.toStdString();
        EXPECT_EQ(*fromFile.profile, p);
        EXPECT_EQ(dwellTable(*fromFile.profile), dwellTable(p));
    }
}

TEST(MaterialProfile, DamagedFilesAreRefusedWithAClearMessage) {
    const QByteArray good = profileToJson(pointsProfile());
    const auto edited = [&good](const char* from, const char* to) {
        QByteArray text = good;
        EXPECT_TRUE(text.contains(from)) << from;
        return text.replace(from, to);
    };
    const struct {
        QByteArray json;
        const char* reason;
    } cases[] = {
        {"this is not JSON {", "not a material profile"},
        {"", "not a material profile"},
        {"[1, 2]", "not a material profile"},
        {edited("ostrel-material", "something-else"), "not a material profile"},
        {edited("\"version\": 1", "\"version\": 2"), "newer Ostrel (profile version 2"},
        {edited("\"version\": 1", "\"version\": 0"), "version 0 is unknown"},
        {edited("\"version\": 1", "\"version\": \"1\""), "\"version\" must be a whole number"},
        {edited("\"version\": 1,", ""), "\"version\" is missing"},
        {edited("\"name\": \"Cork\",", ""), "\"name\" is missing"},
        {edited("\"shortestMs\": 20,", ""), "\"shortestMs\" is missing"},
        {edited("\"shortestMs\": 20", "\"shortestMs\": 20.5"),
         "\"shortestMs\" must be a whole number"},
        {edited("\"shortestMs\": 20", "\"shortestMs\": 1e300"),
         "\"shortestMs\" must be a whole number"},
        {edited("\"shortestMs\": 20", "\"shortestMs\": 0"), "shortest dwell 0 ms is outside"},
        {edited("\"longestMs\": 120", "\"longestMs\": 100000"),
         "longest dwell 100000 ms is outside"},
        {edited("\"whiteCutoff\": 255", "\"whiteCutoff\": 999"), "white cut-off 999"},
        {edited("\"curve\": \"points\"", "\"curve\": \"spline\""), "curve \"spline\" is unknown"},
        {edited("\"curve\": \"points\",", ""), "\"curve\" is missing"},
        {edited("\"curve\": \"points\"", "\"curve\": \"gamma\""), "\"gamma\" is missing"},
        {edited("\"points\": [", "\"spots\": ["), "\"points\" is missing"},
        {edited("110,", "\"110\","), "[level, percent] in whole numbers"},
    };
    for (const auto& c : cases) {
        const ProfileRead read = profileFromJson(c.json);
        EXPECT_FALSE(read.profile) << c.reason;
        EXPECT_TRUE(read.error.contains(QLatin1String(c.reason)))
            << "wanted: " << c.reason << "\ngot: " << read.error.toStdString();
    }
}

TEST(MaterialProfile, FilesThatCannotBeReadNameTheFile) {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("missing.json"));
    ProfileRead read = readProfileFile(missing);
    EXPECT_FALSE(read.profile);
    EXPECT_TRUE(read.error.startsWith(QStringLiteral("The material profile ") + missing +
                                      " cannot be used: "))
        << read.error.toStdString();

    const QString huge = dir.filePath(QStringLiteral("huge.json"));
    ASSERT_TRUE(writeText(huge, QByteArray(100 * 1024, ' ') + profileToJson(pointsProfile())));
    read = readProfileFile(huge);
    EXPECT_FALSE(read.profile);
    EXPECT_TRUE(read.error.contains(QLatin1String("too large"))) << read.error.toStdString();

    EXPECT_TRUE(readProfileFile(dir.path()).error.contains(dir.path())) << "a folder is no profile";

    const std::optional<QString> write =
        writeProfileFile(pointsProfile(), dir.filePath(QStringLiteral("no/such/folder/p.json")));
    ASSERT_TRUE(write);
    EXPECT_TRUE(write->contains(QLatin1String("could not be saved"))) << write->toStdString();
}

struct MaterialLibraryTest : testing::Test {
    QTemporaryDir dir;
    QString folder() const { return dir.filePath(QStringLiteral("materials")); }
    QStringList files() const { return QDir(folder()).entryList(QDir::Files, QDir::Name); }
};

TEST_F(MaterialLibraryTest, StartsAsDesignedAndKeepsWhatIsSaved) {
    MaterialLibrary library(folder());
    EXPECT_EQ(library.current(), asDesigned());
    EXPECT_EQ(library.names(), QStringList{QStringLiteral("As designed")});

    ASSERT_EQ(library.save(pointsProfile()), std::nullopt);
    ASSERT_EQ(library.save(gammaProfile()), std::nullopt);
    EXPECT_EQ(library.current(), gammaProfile());
    EXPECT_EQ(library.currentDwells(), dwellTable(gammaProfile()));
    EXPECT_EQ(library.names(), (QStringList{"As designed", "Birch plywood 4 mm", "Cork"}));
    EXPECT_EQ(files(), (QStringList{"birch-plywood-4-mm.json", "cork.json"}));

    // A second library on the same folder finds them; saving under a name replaces that file.
    MaterialLibrary again(folder());
    ASSERT_EQ(again.choose(QStringLiteral("Cork")), std::nullopt);
    EXPECT_EQ(again.current(), pointsProfile());
    MaterialProfile changed = pointsProfile();
    changed.longestMs = 150;
    ASSERT_EQ(again.save(changed), std::nullopt);
    EXPECT_EQ(files().size(), 2);
    ASSERT_EQ(library.choose(QStringLiteral("Cork")), std::nullopt);
    EXPECT_EQ(library.current().longestMs, 150);

    // Names that make the same file name get files of their own.
    MaterialProfile twin = pointsProfile();
    twin.name = QStringLiteral("CORK!");
    ASSERT_EQ(library.save(twin), std::nullopt);
    EXPECT_EQ(files(), (QStringList{"birch-plywood-4-mm.json", "cork-2.json", "cork.json"}));

    ASSERT_EQ(library.choose(QStringLiteral("As designed")), std::nullopt);
    EXPECT_EQ(library.currentDwells()[100], 65);
}

TEST_F(MaterialLibraryTest, AProfileThatCannotBeUsedLeavesThePreviousOneInForce) {
    MaterialLibrary library(folder());
    ASSERT_EQ(library.save(gammaProfile()), std::nullopt);
    const QString damaged = dir.filePath(QStringLiteral("damaged.json"));
    QByteArray text = profileToJson(pointsProfile());
    ASSERT_TRUE(writeText(damaged, text.replace("\"version\": 1", "\"version\": 7")));

    std::optional<QString> error = library.useFile(damaged);
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->contains(QLatin1String("newer Ostrel"))) << error->toStdString();
    EXPECT_EQ(library.current(), gammaProfile());

    error = library.importFrom(damaged);
    ASSERT_TRUE(error);
    EXPECT_EQ(library.current(), gammaProfile());
    EXPECT_EQ(files().size(), 1) << "nothing imported";

    EXPECT_TRUE(library.choose(QStringLiteral("Oak")));
    EXPECT_EQ(library.current(), gammaProfile());

    MaterialProfile bad = pointsProfile();
    bad.shortestMs = -5;
    error = library.save(bad);
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->contains(QLatin1String("outside 1-1000 ms"))) << error->toStdString();
    EXPECT_EQ(library.current(), gammaProfile());

    // The built-in profile can be neither replaced nor deleted.
    MaterialProfile impostor = pointsProfile();
    impostor.name = QStringLiteral("As designed");
    EXPECT_TRUE(library.save(impostor));
    EXPECT_TRUE(library.remove(QStringLiteral("As designed")));
    EXPECT_EQ(library.current(), gammaProfile());

    // A damaged file in the folder is left out of the list, not fatal.
    ASSERT_TRUE(writeText(QDir(folder()).filePath(QStringLiteral("junk.json")), "{{{"));
    EXPECT_EQ(library.names(), (QStringList{"As designed", "Birch plywood 4 mm"}));
}

TEST_F(MaterialLibraryTest, ExportImportAndRemove) {
    MaterialLibrary library(folder());
    ASSERT_EQ(library.save(pointsProfile()), std::nullopt);
    const QString exported = dir.filePath(QStringLiteral("cork-for-a-friend.json"));
    ASSERT_EQ(library.exportTo(QStringLiteral("Cork"), exported), std::nullopt);
    EXPECT_TRUE(library.exportTo(QStringLiteral("Oak"), exported));
    ASSERT_EQ(library.exportTo(QStringLiteral("As designed"), dir.filePath("designed.json")),
              std::nullopt);

    QTemporaryDir otherDir;
    MaterialLibrary other(otherDir.filePath(QStringLiteral("materials")));
    ASSERT_EQ(other.importFrom(exported), std::nullopt);
    EXPECT_EQ(other.current(), pointsProfile());
    EXPECT_EQ(other.names(), (QStringList{"As designed", "Cork"}));
    ASSERT_EQ(other.useFile(dir.filePath("designed.json")), std::nullopt);
    EXPECT_EQ(other.current(), asDesigned());

    ASSERT_EQ(library.remove(QStringLiteral("Cork")), std::nullopt);
    EXPECT_EQ(library.current(), asDesigned()) << "the removed profile was in force";
    EXPECT_TRUE(files().isEmpty());
    EXPECT_TRUE(library.remove(QStringLiteral("Cork")));
}

}  // namespace
}  // namespace ostrel::picture
