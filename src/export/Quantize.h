// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Pictures to palette frames for the GIF export: at most N colours a table, one table a
// frame or one for all, with or without dithering. Frames whose colours fit keep them
// exactly; the others go through libimagequant, whose palettes measure better than a
// median cut or an octree (it refines them by k-means in a perceptual colour space).
// Pixels whose alpha is below one half are transparent; the rest are opaque.

#include <memory>
#include <optional>

#include <QImage>

#include "codec/GifTypes.h"
#include "export/ExportSettings.h"

namespace vorlane::exporting {

struct IndexedPicture {
    int width = 0;
    int height = 0;
    gif::Bytes indices;
    gif::ColorTable colors;
    std::optional<uint8_t> transparent;
};

class Quantizer {
public:
    // `colors` 2..256.
    Quantizer(int colors, Dithering dither, PaletteMode mode);
    ~Quantizer();
    Quantizer(const Quantizer&) = delete;
    Quantizer& operator=(const Quantizer&) = delete;

    // One table for all: every picture is shown to learn() first, then the table is
    // made once, at the first reduce(). Per frame, learn() does nothing.
    void learn(const QImage& picture);
    // The picture (QImage::Format_ARGB32) with the table of its own or the shared one.
    // Throws GifError when the library fails.
    IndexedPicture reduce(const QImage& picture);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace vorlane::exporting
