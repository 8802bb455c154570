// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "codec/GifImage.h"

namespace vorlane::gif {

// A new image whose frame i is the complete picture a viewer shows at frame i of the
// source: logical-screen size at (0, 0), reduced to at most 256 colours by nearest
// colour, with the source frame's records carried over. Pixels nothing has been drawn on
// become transparent, and each frame's graphic control record is made to say so, so that
// the new image shows exactly what the source shows at every frame. Records after the
// last image, the screen's background index and the transparent flag carry over too.
// Reports progress to the source's handler.
GifImage unoptimize(const GifImage& source);

} // namespace vorlane::gif
