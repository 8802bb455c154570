#pragma once

// Small animations built in memory, for composition and unoptimize tests.

#include <QRandomGenerator>

#include "codec/GifImage.h"

namespace vorlane::test {

using namespace vorlane::gif;

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
    ColorTable t;
    for (int k = 0; k < size; ++k)
        t.push_back(
            {uint8_t(rng.bounded(256)), uint8_t(rng.bounded(256)), uint8_t(rng.bounded(256))});
    return t;
}

// A random animation mixing every disposal code, frames reaching outside the screen,
// full-screen opaque frames, transparency, local and global tables, short tables and
// frames without a graphic control record. `maxTable` bounds the table sizes.
inline GifImage randomAnimation(quint32 seed, int frames, int width, int height, int maxTable = 8) {
    QRandomGenerator rng(seed);
    GifImage g;
    g.screenWidth = uint16_t(width);
    g.screenHeight = uint16_t(height);
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

} // namespace vorlane::test
