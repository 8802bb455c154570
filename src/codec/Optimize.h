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

// Optimizes the image in place; what any viewer shows at every frame stays the same.
// Reports "Optimizing".
void optimize(GifImage& image, const OptimizeOptions& options);

} // namespace vorlane::gif
