#pragma once

// Playback order and timing of a running animation. A pure class: the widget that shows
// the animation owns the timer and asks this class which frame comes next and for how long.

#include <cstddef>
#include <optional>

#include "codec/GifImage.h"

namespace vorlane::gif {

class Playback {
public:
    // Display time of a frame with this delay in hundredths of a second: delays of 0 or
    // 1 play as 10, as web browsers do.
    static int displayMs(uint16_t delay);
};

} // namespace vorlane::gif
