// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Tools that move pixels without changing any colour: crop, auto-crop, rotate, flip.
// Each returns a new image whose frame i shows exactly the picture shown at frame i of
// the source, cropped, turned or mirrored: the frames' pixel indices are moved, their
// colour tables and records stay, and no colour is reduced. The source stays as it was.
// On a cancel they throw Cancelled (ToolContext.h); on bad parameters, GifError.

#include <QRect>

#include "codec/GifImage.h"
#include "tools/ToolContext.h"

namespace vorlane::tools {

// Clockwise.
enum class Rotation { Quarter = 90, Half = 180, ThreeQuarters = 270 };

enum class FlipDirection {
    Horizontal, // left and right change places
    Vertical,   // top and bottom change places
};

// The part of the screen in `rect`, which must be a non-empty rectangle inside the
// logical screen ("Crop rectangle outside the logical screen" otherwise).
gif::GifImage crop(const gif::GifImage& source, const QRect& rect, const ToolContext& context = {});

// The smallest rectangle holding every pixel that any frame shows (that is not
// transparent); empty when no frame shows anything.
QRect shownRect(const gif::GifImage& source, const ToolContext& context = {});
// crop(shownRect()); the image as it is when the rectangle is empty or the whole screen.
gif::GifImage autoCrop(const gif::GifImage& source, const ToolContext& context = {});

// 90 and 270 degrees exchange the screen's width and height.
gif::GifImage rotate(const gif::GifImage& source, Rotation rotation,
                     const ToolContext& context = {});

gif::GifImage flip(const gif::GifImage& source, FlipDirection direction,
                   const ToolContext& context = {});

} // namespace vorlane::tools
