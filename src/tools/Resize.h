// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Resizing an animation. Each frame's picture (the one a viewer shows at it) is
// resampled with premultiplied alpha, so that clear pixels lend no colour to their
// drawn neighbours and edges get no dark fringe; a pixel at least half covered is drawn,
// the others stay clear (a GIF pixel is either). As composing does, a frame is made from
// the one before it where only part of the picture changed, and such a run of frames
// (at most 32, decided by the content alone) shares one table: exactly the colours the
// run shows when they fit in 256, else the codec's octree palette of them with the
// nearest colour for each pixel, without dithering (which would flicker from frame to
// frame). Nearest neighbour copies pixel indices and so changes no colour at all.

#include <optional>
#include <string_view>

#include <QSize>

#include "codec/GifImage.h"
#include "tools/ToolContext.h"

namespace vorlane::tools {

enum class ResizeFilter {
    Auto,    // area averaging where an axis shrinks, bicubic where it grows
    Nearest, // each new pixel is the source pixel under its centre (pixel art)
    Area,    // each new pixel is the average of the source area it covers
    Bicubic, // Catmull-Rom cubic, widened when shrinking
    Lanczos, // Lanczos with 3 lobes, widened when shrinking
};

// "auto", "nearest", "area", "bicubic", "lanczos".
const char* filterName(ResizeFilter filter);
std::optional<ResizeFilter> filterNamed(std::string_view name);

// The size a resize to width x height gives: a 0 takes the other side's scale (both 0:
// the screen as it is), and with keepAspect the largest size of the screen's aspect
// that fits in width x height. Sides are rounded half up and at least 1.
QSize resizedSize(QSize screen, int width, int height, bool keepAspect);
// The screen scaled by `percent` (> 0), rounded half up, at least 1 pixel each way.
QSize scaledSize(QSize screen, double percent);

// Throws the GifError that resize throws for `size` with this many frames.
void checkResizeSize(QSize size, size_t frames);

// The animation at `size`. Throws GifError for a size beyond 65535 either way or
// holding more pixels than an opened animation may (ReadLimits), and for an empty
// logical screen.
gif::GifImage resize(const gif::GifImage& source, QSize size,
                     ResizeFilter filter = ResizeFilter::Auto, const ToolContext& context = {});

} // namespace vorlane::tools
