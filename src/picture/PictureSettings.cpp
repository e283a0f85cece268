// The operator's choices for a picture job beyond the window's controls: material, tone, mask.
#include "picture/PictureSettings.h"

#include <cmath>
#include <utility>

namespace ostrel::picture {

bool PictureSettings::isDesigned() const {
    return material == asDesigned() && tone.isNeutral() && dither == DitherMethod::Threshold;
}

QJsonObject settingsToJson(const PictureSettings& s) {
    QJsonObject tone;
    tone.insert(QStringLiteral("brightness"), s.tone.brightness);
    tone.insert(QStringLiteral("contrast"), s.tone.contrast);
    tone.insert(QStringLiteral("gamma"), s.tone.gamma);
    tone.insert(QStringLiteral("invert"), s.tone.invert);
    QJsonObject o;
    o.insert(QStringLiteral("material"), profileToJsonObject(s.material));
    o.insert(QStringLiteral("tone"), tone);
    o.insert(QStringLiteral("dither"), QString::fromLatin1(ditherName(s.dither).data(),
                                                           qsizetype(ditherName(s.dither).size())));
    return o;
}

SettingsRead settingsFromJson(const QJsonObject& o) {
    const auto fail = [](const QString& why) { return SettingsRead{std::nullopt, why}; };
    PictureSettings s;

    const ProfileRead material =
        profileFromJsonObject(o.value(QStringLiteral("material")).toObject());
    if (!material.profile) return fail(QStringLiteral("the material: ") + material.error);
    s.material = *material.profile;

    const QString dither = o.value(QStringLiteral("dither")).toString();
    const std::optional<DitherMethod> method = ditherFromName(dither.toStdString());
    if (!method) return fail(QStringLiteral("the dithering \"%1\" is unknown").arg(dither));
    s.dither = *method;

    const QJsonObject tone = o.value(QStringLiteral("tone")).toObject();
    const std::pair<const char*, int*> wholeNumbers[] = {{"brightness", &s.tone.brightness},
                                                         {"contrast", &s.tone.contrast}};
    for (const auto& [key, field] : wholeNumbers) {
        const QJsonValue value = tone.value(QLatin1String(key));
        const double number = value.toDouble(std::nan(""));
        if (!value.isDouble() || number != std::floor(number) || std::abs(number) > kToneLimit)
            return fail(QStringLiteral("the tone's \"%1\" must be a whole number from -%2 to %2")
                            .arg(QLatin1String(key))
                            .arg(kToneLimit));
        *field = static_cast<int>(number);
    }
    const QJsonValue gamma = tone.value(QStringLiteral("gamma"));
    if (!gamma.isDouble() || !(gamma.toDouble() >= kGammaMin && gamma.toDouble() <= kGammaMax))
        return fail(QStringLiteral("the tone's \"gamma\" must be a number from %1 to %2")
                        .arg(kGammaMin)
                        .arg(kGammaMax));
    s.tone.gamma = gamma.toDouble();
    const QJsonValue invert = tone.value(QStringLiteral("invert"));
    if (!invert.isBool())
        return fail(QStringLiteral("the tone's \"invert\" must be true or false"));
    s.tone.invert = invert.toBool();
    return {s, {}};
}

}  // namespace ostrel::picture
