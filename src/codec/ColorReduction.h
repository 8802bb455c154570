#pragma once

// Colour reduction of pictures to palettes of at most 256 colours.

#include <QImage>

#include "codec/GifImage.h"

namespace vorlane::gif {

// Returns a new 8-bit palette picture (QImage::Format_Indexed8) of the same size with at
// most 2^bits colours; the input is unchanged. A picture with at most that many distinct
// colours keeps exactly its colours. Larger ones get an octree palette built on the six
// most significant bits of each channel, then each pixel is mapped to the nearest
// palette colour, with or without Floyd-Steinberg error diffusion. Alpha is ignored.
QImage reduceColors(const QImage& picture, Dither dither, int bits = 8);

} // namespace vorlane::gif
