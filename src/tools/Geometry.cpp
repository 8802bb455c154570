// SPDX-License-Identifier: GPL-3.0-or-later
// The tools work on frames that show their own pictures (Frames.h), so that moving each
// frame's pixel indices moves the picture it shows. Every pixel lands on one place and
// keeps its index, so a pixel clear in one frame is clear at the same new place in the
// others: the disposal codes that made each frame show its own picture still do.

#include "tools/Geometry.h"

#include <algorithm>
#include <cstring>

#include "tools/Frames.h"

namespace vorlane::tools {

using namespace vorlane::gif;
using detail::ShownFrames;
using detail::Steps;

namespace {

// Rows and columns in tiles of this many pixels, so that a turn reads and writes
// memory close together on both sides.
constexpr int Tile = 64;

void requirePixels(const GifImage& image) {
    if (uint64_t(image.screenWidth) * image.screenHeight == 0)
        throw GifError("The logical screen is empty");
}

// The part of frames that show their own pictures in `rect`.
GifImage cropShown(const GifImage& image, const QRect& rect, Steps& steps) {
    const int width = image.screenWidth;
    const int w = rect.width();
    return detail::mapPixels(
        image, w, rect.height(), steps, [&](const Bytes& from, uint8_t* to, const QRect& changed) {
            const QRect part = changed.intersected(rect);
            for (int y = part.top(); y <= part.bottom(); ++y)
                std::memcpy(to + size_t(y - rect.top()) * w + (part.left() - rect.left()),
                            from.data() + size_t(y) * width + part.left(), size_t(part.width()));
        });
}

QRect shownRectOf(const GifImage& image, Steps& steps) {
    steps.addWork(image.frameCount());
    const int width = image.screenWidth;
    const int height = image.screenHeight;
    const QRect screen(0, 0, width, height);
    QRect found;
    for (size_t i = 0; i < image.frameCount() && found != screen; ++i) {
        steps.advance();
        const Frame& frame = image.frame(i);
        const auto clear = detail::transparentIndexOf(frame);
        if (!clear) {
            found = screen;
            break;
        }
        const uint8_t* pixels = frame.pixels().data();
        int left = width, right = -1, top = -1, bottom = -1;
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = pixels + size_t(y) * width;
            int x0 = 0;
            while (x0 < width && row[x0] == *clear)
                ++x0;
            if (x0 == width) continue;
            int x1 = width - 1;
            while (row[x1] == *clear)
                --x1;
            left = std::min(left, x0);
            right = std::max(right, x1);
            if (top < 0) top = y;
            bottom = y;
        }
        if (top >= 0) found |= QRect(QPoint(left, top), QPoint(right, bottom));
    }
    return found;
}

} // namespace

GifImage crop(const GifImage& source, const QRect& rect, const ToolContext& context) {
    requirePixels(source);
    if (rect.isEmpty() || !QRect(0, 0, source.screenWidth, source.screenHeight).contains(rect))
        throw GifError("Crop rectangle outside the logical screen");
    Steps steps(context);
    const ShownFrames shown(source, steps);
    GifImage result = cropShown(shown.image(), rect, steps);
    steps.finish();
    return result;
}

QRect shownRect(const GifImage& source, const ToolContext& context) {
    if (uint64_t(source.screenWidth) * source.screenHeight == 0) return {};
    Steps steps(context);
    const ShownFrames shown(source, steps);
    const QRect found = shownRectOf(shown.image(), steps);
    steps.finish();
    return found;
}

GifImage autoCrop(const GifImage& source, const ToolContext& context) {
    Steps steps(context);
    const ShownFrames shown(source, steps);
    const QRect rect = uint64_t(source.screenWidth) * source.screenHeight == 0
                           ? QRect()
                           : shownRectOf(shown.image(), steps);
    GifImage result = rect.isEmpty() || rect == QRect(0, 0, source.screenWidth, source.screenHeight)
                          ? detail::copyOf(shown.image())
                          : cropShown(shown.image(), rect, steps);
    steps.finish();
    return result;
}

GifImage rotate(const GifImage& source, Rotation rotation, const ToolContext& context) {
    requirePixels(source);
    Steps steps(context);
    const ShownFrames shown(source, steps);
    const int w = shown.image().screenWidth;
    const int h = shown.image().screenHeight;
    GifImage result;
    switch (rotation) {
    case Rotation::Half:
        // The source pixel (x, y) goes to (w - 1 - x, h - 1 - y).
        result = detail::mapPixels(
            shown.image(), w, h, steps, [&](const Bytes& from, uint8_t* to, const QRect& changed) {
                for (int y = changed.top(); y <= changed.bottom(); ++y) {
                    const uint8_t* row = from.data() + size_t(y) * w;
                    std::reverse_copy(row + changed.left(), row + changed.right() + 1,
                                      to + size_t(h - 1 - y) * w + (w - 1 - changed.right()));
                }
            });
        break;
    case Rotation::Quarter:
    case Rotation::ThreeQuarters: {
        // The new picture is h wide and w high. A quarter turn clockwise puts the
        // source pixel (x, y) at (h - 1 - y, x); three quarters put it at (y, w - 1 - x).
        const bool quarter = rotation == Rotation::Quarter;
        result = detail::mapPixels(
            shown.image(), h, w, steps, [&](const Bytes& from, uint8_t* to, const QRect& changed) {
                for (int ty = changed.top(); ty <= changed.bottom(); ty += Tile)
                    for (int tx = changed.left(); tx <= changed.right(); tx += Tile) {
                        const int yEnd = std::min(changed.bottom() + 1, ty + Tile);
                        const int xEnd = std::min(changed.right() + 1, tx + Tile);
                        for (int y = ty; y < yEnd; ++y) {
                            const uint8_t* row = from.data() + size_t(y) * w;
                            if (quarter) {
                                uint8_t* column = to + (h - 1 - y);
                                for (int x = tx; x < xEnd; ++x)
                                    column[size_t(x) * h] = row[x];
                            } else {
                                uint8_t* column = to + y;
                                for (int x = tx; x < xEnd; ++x)
                                    column[size_t(w - 1 - x) * h] = row[x];
                            }
                        }
                    }
            });
        break;
    }
    }
    steps.finish();
    return result;
}

GifImage flip(const GifImage& source, FlipDirection direction, const ToolContext& context) {
    requirePixels(source);
    Steps steps(context);
    const ShownFrames shown(source, steps);
    const int w = shown.image().screenWidth;
    const int h = shown.image().screenHeight;
    GifImage result = detail::mapPixels(
        shown.image(), w, h, steps, [&](const Bytes& from, uint8_t* to, const QRect& changed) {
            for (int y = changed.top(); y <= changed.bottom(); ++y) {
                const uint8_t* row = from.data() + size_t(y) * w;
                if (direction == FlipDirection::Horizontal)
                    std::reverse_copy(row + changed.left(), row + changed.right() + 1,
                                      to + size_t(y) * w + (w - 1 - changed.right()));
                else
                    std::memcpy(to + size_t(h - 1 - y) * w + changed.left(), row + changed.left(),
                                size_t(changed.width()));
            }
        });
    steps.finish();
    return result;
}

} // namespace vorlane::tools
