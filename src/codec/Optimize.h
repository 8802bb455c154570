// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "codec/GifImage.h"

namespace vorlane::gif {

struct OptimizeOptions {
    bool colorTables = false; // sort tables by use, renumber pixels, drop unused entries
    bool cleanup = false;     // drop records and frames that do not affect the picture
    bool merge = false;       // pixels that repeat the picture below become transparent
    bool crop = false;        // cut frames to their visible part
    bool colorReduce = false; // reduce colours with `reduction` (not used by the editor)
    ReductionSettings reduction{ReductionSettings::Method::None, 8, Dither::Nearest};
};

// Optimizes the image in place. What a viewer shows at every frame stays the same, and
// for as long: a frame may go only when it shows the picture before it for no time. Comments
// and other records that do not change the picture go with the clean-up. When the frames
// cannot be drawn again from their pictures as a whole (one would need more colours at once
// than a table holds), the work is done frame by frame and the image's warning handler is
// told. Colour reduction (`colorReduce`) is not offered and is ignored. Reports
// "Optimizing". Throws GifLimitError ("Logical screen too large to optimize: ...") for a
// screen of more than MaxOptimizedScreenPixels.
void optimize(GifImage& image, const OptimizeOptions& options);

// The optimizer works on several 32-bit pictures of the screen at once (the picture
// shown, the next one, what the new frames leave, and the parts under frames that
// restore): up to 20 bytes a pixel. 2^25 pixels (for example 8192 x 4096) keep that
// under 1 GiB.
inline constexpr uint64_t MaxOptimizedScreenPixels = uint64_t(1) << 25;

} // namespace vorlane::gif
