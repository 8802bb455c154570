// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Comparisons of what images show, shared by the fuzz targets.

#include <algorithm>
#include <cstring>
#include <vector>

#include "codec/Compositor.h"
#include "codec/GifImage.h"

namespace vorlane::fuzz {

// Whether the screen shows at most 255 colours besides transparency: then every
// reduction to one table keeps each pixel exactly; beyond that it reduces on purpose.
inline bool fitsInOneTable(const uint32_t* canvas, size_t area) {
    std::vector<uint32_t> seen(canvas, canvas + area);
    std::sort(seen.begin(), seen.end());
    seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
    return seen.size() <= 256;
}

// Whether two images show the same at every frame; `onlyWhereExact` skips frames whose
// picture in `a` needs more than one colour table. On a difference, `frame` says where.
inline bool sameShown(const gif::GifImage& a, const gif::GifImage& b, bool onlyWhereExact,
                      size_t& frame) {
    frame = 0;
    if (a.frameCount() != b.frameCount()) return false;
    gif::Compositor ca(a);
    gif::Compositor cb(b);
    if (ca.width() != cb.width() || ca.height() != cb.height()) return false;
    const size_t area = size_t(ca.width()) * size_t(ca.height());
    for (frame = 0; frame < a.frameCount(); ++frame) {
        const uint32_t* pa = ca.compose(frame);
        const uint32_t* pb = cb.compose(frame);
        if (onlyWhereExact && !fitsInOneTable(pa, area)) continue;
        if (area > 0 && std::memcmp(pa, pb, area * 4) != 0) return false;
    }
    return true;
}

} // namespace vorlane::fuzz
