// Tests of a picture job's settings: the designed defaults and their JSON form.
#include <gtest/gtest.h>

#include <QJsonArray>

#include "picture/PictureSettings.h"

namespace ostrel::picture {
namespace {

PictureSettings chosen() {
    PictureSettings s;
    s.material.name = QStringLiteral("Cork");
    s.material.curve = DwellCurve::Points;
    s.material.points = {{0, 100}, {200, 0}};
    s.material.whiteCutoff = 230;
    s.tone = {-15, 30, 1.8, true};
    s.dither = DitherMethod::Stucki;
    return s;
}

TEST(PictureSettings, TheDefaultsAreTheDesignedJobAndAnyChoiceIsNot) {
    EXPECT_TRUE(PictureSettings{}.isDesigned());
    PictureSettings s;
    s.dither = DitherMethod::Bayer4;
    EXPECT_FALSE(s.isDesigned());
    s = {};
    s.tone.gamma = 1.2;
    EXPECT_FALSE(s.isDesigned());
    s = {};
    s.material.whiteCutoff = 254;
    EXPECT_FALSE(s.isDesigned());
}

TEST(PictureSettings, RoundTripThroughJson) {
    for (const PictureSettings& s : {PictureSettings{}, chosen()}) {
        const SettingsRead read = settingsFromJson(settingsToJson(s));
        ASSERT_TRUE(read.settings) << read.error.toStdString();
        EXPECT_EQ(*read.settings, s);
    }
    EXPECT_EQ(settingsToJson(chosen()).value("dither").toString(), QStringLiteral("stucki"));
}

TEST(PictureSettings, SettingsThatCannotBeUsedSayWhy) {
    const auto with = [](const char* part, const char* key, const QJsonValue& value) {
        QJsonObject o = settingsToJson(chosen());
        if (key == nullptr) {
            o.insert(QLatin1String(part), value);
        } else {
            QJsonObject inner = o.value(QLatin1String(part)).toObject();
            inner.insert(QLatin1String(key), value);
            o.insert(QLatin1String(part), inner);
        }
        return o;
    };
    const struct {
        QJsonObject json;
        const char* reason;
    } cases[] = {
        {QJsonObject{}, "the material: it is not a material profile"},
        {with("material", "shortestMs", 0), "the material: the shortest dwell 0 ms"},
        {with("dither", nullptr, "sierra"), "the dithering \"sierra\" is unknown"},
        {with("dither", nullptr, 3), "the dithering \"\" is unknown"},
        {with("tone", "brightness", 101), "\"brightness\" must be a whole number from -100 to 100"},
        {with("tone", "contrast", 2.5), "\"contrast\" must be a whole number"},
        {with("tone", "gamma", 0.0), "\"gamma\" must be a number from 0.1 to 10"},
        {with("tone", "gamma", "1"), "\"gamma\" must be a number"},
        {with("tone", "invert", 1), "\"invert\" must be true or false"},
    };
    for (const auto& c : cases) {
        const SettingsRead read = settingsFromJson(c.json);
        EXPECT_FALSE(read.settings) << c.reason;
        EXPECT_TRUE(read.error.contains(QLatin1String(c.reason)))
            << "wanted: " << c.reason << "\ngot: " << read.error.toStdString();
    }
}

}  // namespace
}  // namespace ostrel::picture
