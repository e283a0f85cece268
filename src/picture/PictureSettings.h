// The operator's choices for a picture job beyond the window's controls: material, tone, mask.
#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>

#include "picture/Dither.h"
#include "picture/MaterialProfile.h"
#include "picture/Tone.h"

namespace ostrel::picture {

// NOTE: the defaults are the designed job: the profile "As designed", neutral tone and the
// threshold mask. A job whose settings are isDesigned() burns exactly as it always has.
struct PictureSettings {
    MaterialProfile material = asDesigned();
    ToneSettings tone;
    DitherMethod dither = DitherMethod::Threshold;

    bool isDesigned() const;
    bool operator==(const PictureSettings&) const = default;
};

// As one JSON object, for a job's summary and for saving a job's state:
//   { "material": { ...the profile file's fields... }, "dither": "atkinson",
//     "tone": { "brightness": 0, "contrast": 0, "gamma": 1, "invert": false } }
QJsonObject settingsToJson(const PictureSettings& settings);

// The settings, or the reason they cannot be used. Nothing is clamped: a value out of its
// range is an error, as in a profile file.
struct SettingsRead {
    std::optional<PictureSettings> settings;
    QString error;
};
SettingsRead settingsFromJson(const QJsonObject& object);

}  // namespace ostrel::picture
