#include "codec/ColorReduction.h"

namespace vorlane::gif {

QImage reduceColors(const QImage& picture, Dither, int) {
    // Placeholder until the octree lands: Qt's own conversion.
    return picture.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
}

} // namespace vorlane::gif
