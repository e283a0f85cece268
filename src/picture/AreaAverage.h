// The area-averaging stretch: every destination pixel the mean of the source area it covers.
#pragma once

#include <QImage>
#include <QSize>

namespace ostrel::picture {

// Scales `source` to `size` by area averaging: each destination pixel is the mean of the
// source area it covers, partly covered source pixels weighted by the part covered.
QImage AreaAverage(const QImage& source, QSize size);

}  // namespace ostrel::picture
