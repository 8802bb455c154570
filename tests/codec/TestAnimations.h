// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Animations built in memory for the codec tests, and the plain reference composition
// that the compositor, unoptimize and optimize are checked against.

#include <vector>

#include <QRandomGenerator>

#include "codec/GifImage.h"

namespace vorlane::test {

using namespace vorlane::gif;

// An image without frames on a screen of w x h.
inline GifImage blankImage(int width, int height) {
    GifImage g;
    g.screenWidth = uint16_t(width);
    g.screenHeight = uint16_t(height);
    return g;
}

// A table of `size` entries, entry k being colour(k).
template <typename Colour> ColorTable makeTable(int size, Colour colour) {
    ColorTable t;
    for (int k = 0; k < size; ++k)
        t.push_back(colour(k));
    return t;
}

// Up to 256 distinct colours: entry k is (k, 255 - k, 7k).
inline ColorTable distinctTable(int size) {
    return makeTable(size, [](int k) { return Rgb{uint8_t(k), uint8_t(255 - k), uint8_t(k * 7)}; });
}

// The indices 0, 1, 2, ... of n pixels, starting again after 255.
inline Bytes counting(size_t n) {
    Bytes indices(n);
    for (size_t k = 0; k < n; ++k)
        indices[k] = uint8_t(k);
    return indices;
}

// A frame of size w x h at (left, top) with the given indices and local table (none when
// empty), and a graphic control record when disposal >= 0.
inline Frame makeFrame(int left, int top, int w, int h, Bytes indices, ColorTable colors,
                       int disposalCode = -1, int transparentIndex = -1, uint16_t delay = 0) {
    Frame f;
    f.left = uint16_t(left);
    f.top = uint16_t(top);
    f.setPixels(uint16_t(w), uint16_t(h), std::move(indices));
    f.setLocalColors(std::move(colors));
    if (disposalCode >= 0) {
        auto gce = Extension::makeGraphicControl();
        gce->control().disposal = uint8_t(disposalCode);
        gce->control().delay = delay;
        if (transparentIndex >= 0) {
            gce->control().transparent = true;
            gce->control().transparentIndex = uint8_t(transparentIndex);
        }
        f.extensions.push_back(gce);
        f.graphicControlRecord = gce;
    }
    return f;
}

inline ColorTable randomTable(QRandomGenerator& rng, int size) {
    return makeTable(size, [&](int) {
        return Rgb{uint8_t(rng.bounded(256)), uint8_t(rng.bounded(256)), uint8_t(rng.bounded(256))};
    });
}

// A random animation mixing every disposal code, frames reaching outside the screen,
// full-screen opaque frames, transparency, local and global tables, short tables and
// frames without a graphic control record. `maxTable` bounds the table sizes.
inline GifImage randomAnimation(quint32 seed, int frames, int width, int height, int maxTable = 8) {
    QRandomGenerator rng(seed);
    GifImage g = blankImage(width, height);
    g.setGlobalColors(randomTable(rng, 1 + int(rng.bounded(maxTable))));
    for (int i = 0; i < frames; ++i) {
        const bool full = rng.bounded(4) == 0;
        const int w = full ? width : 1 + int(rng.bounded(width));
        const int h = full ? height : 1 + int(rng.bounded(height));
        const int left = full ? 0 : int(rng.bounded(width + 2)) - 1;
        const int top = full ? 0 : int(rng.bounded(height + 2)) - 1;
        const bool local = rng.bounded(2) == 0;
        const ColorTable table =
            local ? randomTable(rng, 1 + int(rng.bounded(maxTable))) : ColorTable{};
        const int tableSize = int(local ? table.size() : g.globalColors().size());
        Bytes indices(size_t(w) * h);
        for (auto& v : indices)
            // Now and then an index beyond the table.
            v = uint8_t(rng.bounded(tableSize + (rng.bounded(8) == 0 ? 2 : 0)));
        const int disposalCode = rng.bounded(6) == 0 ? -1 : int(rng.bounded(8));
        const int transparentIndex = full && rng.bounded(2) == 0
                                         ? -1
                                         : (rng.bounded(3) == 0 ? -1 : int(rng.bounded(tableSize)));
        g.appendFrame(makeFrame(std::max(left, 0), std::max(top, 0), w, h, std::move(indices),
                                table, disposalCode, disposalCode < 0 ? -1 : transparentIndex));
    }
    return g;
}

// ---- the reference composition ----

using Picture = std::vector<uint32_t>; // 0 transparent, else 0xFFrrggbb

// The picture shown at every frame, composed pixel by pixel the plain way with
// whole-screen copies: a transparent screen; each frame draws its pixels but its
// transparent index, clipped to the screen, indices beyond its table in black; afterwards
// code 2 clears the frame's rectangle, codes 3 and 4 put back what was under it, others
// leave it.
inline std::vector<Picture> referencePictures(const GifImage& image) {
    const int w = image.screenWidth;
    const int h = image.screenHeight;
    Picture screen(size_t(w) * h, 0);
    std::vector<Picture> shown;
    for (size_t i = 0; i < image.frameCount(); ++i) {
        const Frame& f = image.frame(i);
        const ColorTable& colors = image.activeColors(i);
        const GraphicControl* gc = f.graphicControl();
        const Picture before = screen;
        auto onScreen = [&](int x, int y) { return f.left + x < w && f.top + y < h; };
        for (int y = 0; y < f.height(); ++y)
            for (int x = 0; x < f.width(); ++x) {
                const uint8_t v = f.pixels()[size_t(y) * f.width() + x];
                if (!onScreen(x, y) || (gc && gc->transparent && v == gc->transparentIndex))
                    continue;
                const Rgb c = v < colors.size() ? colors[v] : Rgb{};
                screen[size_t(f.top + y) * w + f.left + x] =
                    0xFF000000u | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
            }
        shown.push_back(screen);
        const int d = gc ? gc->disposal : 0;
        if (d >= 2 && d <= 4)
            for (int y = 0; y < f.height(); ++y)
                for (int x = 0; x < f.width(); ++x)
                    if (onScreen(x, y)) {
                        const size_t p = size_t(f.top + y) * w + f.left + x;
                        screen[p] = d == 2 ? 0 : before[p];
                    }
    }
    return shown;
}

} // namespace vorlane::test
