// Pictures for the operator's documentation: a grey picture under each dithering, enlarged.
#pragma once

#include <QImage>
#include <QString>
#include <optional>

#include "picture/Dither.h"

namespace ostrel::picture {

// The burn mask drawn as a burn looks: marker dots dark on light wood, each dot a square of
// scale x scale pixels (scale 1..32).
QImage maskPicture(const QImage& mask, int scale);

// A picture enlarged dot for dot, each dot a square of scale x scale pixels (scale 1..32).
QImage enlarged(const QImage& picture, int scale);

// Writes "dither-<name>.png" for every dithering of the grey picture into the folder, and
// "dither-original.png". The result is the error, if any.
std::optional<QString> writeDitherPictures(const QImage& grey, const QString& folder,
                                           int sensitivity, int scale);

}  // namespace ostrel::picture
