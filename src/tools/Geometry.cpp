// SPDX-License-Identifier: GPL-3.0-or-later
// The tools work on frames that show their own pictures (Frames.h), so that moving each
// frame's pixel indices moves the picture it shows. Every pixel lands on one place and
// keeps its index, so a pixel clear in one frame is clear at the same new place in the
// others: the disposal codes that made each frame show its own picture still do.

#include "tools/Geometry.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "tools/Frames.h"

namespace vorlane::tools {

using namespace vorlane::gif;
using detail::ShownFrames;
using detail::Steps;

namespace {

// An 8 x 8 block of bytes, one row a word (byte k of the word in column k, as a
// little-endian load puts it), transposed in place: word k becomes column k, its byte j
// from row j. Three rounds of swapping ever larger sub-blocks across the diagonal.
void transpose8(uint64_t m[8]) {
    for (int i = 0; i < 8; i += 2) {
        const uint64_t t = ((m[i] >> 8) ^ m[i + 1]) & 0x00FF00FF00FF00FFull;
        m[i + 1] ^= t;
        m[i] ^= t << 8;
    }
    for (const int i : {0, 1, 4, 5}) {
        const uint64_t t = ((m[i] >> 16) ^ m[i + 2]) & 0x0000FFFF0000FFFFull;
        m[i + 2] ^= t;
        m[i] ^= t << 16;
    }
    for (int i = 0; i < 4; ++i) {
        const uint64_t t = ((m[i] >> 32) ^ m[i + 4]) & 0x00000000FFFFFFFFull;
        m[i + 4] ^= t;
        m[i] ^= t << 32;
    }
}

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
    steps.reserve(2 * source.frameCount());
    const ShownFrames shown(source, steps);
    GifImage result = cropShown(shown.image(), rect, steps);
    steps.finish();
    return result;
}

QRect shownRect(const GifImage& source, const ToolContext& context) {
    if (uint64_t(source.screenWidth) * source.screenHeight == 0) return {};
    Steps steps(context);
    steps.reserve(source.frameCount());
    const ShownFrames shown(source, steps);
    const QRect found = shownRectOf(shown.image(), steps);
    steps.finish();
    return found;
}

GifImage autoCrop(const GifImage& source, const ToolContext& context) {
    Steps steps(context);
    steps.reserve(3 * source.frameCount());
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
    steps.reserve(2 * source.frameCount());
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
        // Where the source pixel (x, y) goes.
        auto place = [&](int x, int y) {
            return quarter ? size_t(x) * h + size_t(h - 1 - y) : size_t(w - 1 - x) * h + size_t(y);
        };
        result = detail::mapPixels(
            shown.image(), h, w, steps, [&](const Bytes& from, uint8_t* to, const QRect& changed) {
                for (int by = changed.top(); by <= changed.bottom(); by += 8)
                    for (int bx = changed.left(); bx <= changed.right(); bx += 8) {
                        if (std::endian::native == std::endian::little &&
                            bx + 7 <= changed.right() && by + 7 <= changed.bottom()) {
                            // A whole block of 8 x 8: rows in (upside down for a quarter
                            // turn, so that the columns come out in their new order),
                            // turned into columns, and each written as one new row.
                            uint64_t block[8];
                            for (int j = 0; j < 8; ++j)
                                std::memcpy(&block[j],
                                            from.data() +
                                                size_t(quarter ? by + 7 - j : by + j) * w + bx,
                                            8);
                            transpose8(block);
                            for (int i = 0; i < 8; ++i)
                                std::memcpy(to + place(bx + i, quarter ? by + 7 : by), &block[i],
                                            8);
                            continue;
                        }
                        for (int y = by; y <= std::min(by + 7, changed.bottom()); ++y)
                            for (int x = bx; x <= std::min(bx + 7, changed.right()); ++x)
                                to[place(x, y)] = from[size_t(y) * w + x];
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
    steps.reserve(2 * source.frameCount());
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
