// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Colour reduction of pictures to palettes of at most 256 colours.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include <QImage>

#include "codec/GifImage.h"

namespace vorlane::gif {

// Returns a new 8-bit palette picture (QImage::Format_Indexed8) of the same size with at
// most 2^bits colours; the input is unchanged. A picture with at most that many distinct
// colours keeps exactly its colours. Larger ones get an octree palette built on the six
// most significant bits of each channel, then each pixel is mapped to the nearest
// palette colour, with or without Floyd-Steinberg error diffusion. Alpha is ignored.
// Code that reduces many pictures in a row does better with one ColorReducer kept for
// all of them.
QImage reduceColors(const QImage& picture, Dither dither, int bits = 8);

// A colour that no entry of `table` other than `except` holds: `preferred` when it is
// free, else the first free colour of a fixed list. A transparent entry gets a colour of
// its own this way, so that wherever the picture is drawn without its transparency (a
// copy, the clipboard) its pixels can still be told apart from the drawn ones.
Rgb colorNotIn(const ColorTable& table, size_t except, Rgb preferred);

// A view of 32-bit pixels (0xAARRGGBB), `stride` pixels from one row to the next.
struct PixelView {
    const uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    qsizetype stride = 0;
};

struct ReductionResult {
    ColorTable colors;
    // The entry that transparent pixels were given, when there were any.
    std::optional<uint8_t> transparentIndex;
};

// Nearest palette entry by squared RGB distance among the first `entries` colours of the
// palette (ties go to the lower entry). Recent answers are remembered, in a cache sized
// for about `expectedColors` different colours.
class NearestColor {
public:
    NearestColor(const ColorTable& palette, size_t entries, size_t expectedColors = 65536);

    uint8_t operator()(int r, int g, int b);
    // The colour of a 0xAARRGGBB pixel; alpha is ignored.
    uint8_t operator()(uint32_t pixel) {
        return (*this)(int((pixel >> 16) & 0xFF), int((pixel >> 8) & 0xFF), int(pixel & 0xFF));
    }

private:
    // The colour space is cut into boxes, in levels of 4, 8, 16 and 32 boxes per channel.
    // Each box lists, once a colour in it is asked for, the entries that can be nearest
    // to some colour of it; a box's list is drawn from its parent's, so lists shorten
    // level by level. The finest lists are sorted by distance to the box, closest first.
    static constexpr int FirstLevel = 2; // bits per channel
    static constexpr int LastLevel = 5;
    struct Candidate {
        int boxDistance; // squared distance from the box to the entry
        int index;
    };
    struct Level {
        std::vector<int32_t> start; // offset into `entries`, -1 until listed
        std::vector<uint16_t> count;
    };
    const Candidate* candidates(int level, int r, int g, int b, int& count);
    uint8_t search(int r, int g, int b);

    ColorTable m_palette;
    std::vector<Candidate> m_all;
    std::array<Level, LastLevel + 1> m_levels;
    std::vector<Candidate> m_entries;
    std::vector<uint32_t> m_cacheKeys;
    std::vector<uint8_t> m_cacheValues;
    int m_bits = 8;
};

// The reduction engine behind reduceColors. It keeps its working buffers (about 10 MB
// once a picture needed the octree) between calls, so reducing many pictures in a row
// touches no new memory after the first.
class ColorReducer {
public:
    ColorReducer();
    ~ColorReducer();
    ColorReducer(const ColorReducer&) = delete;
    ColorReducer& operator=(const ColorReducer&) = delete;

    // reduceColors with this reducer's buffers.
    QImage reduce(const QImage& picture, Dither dither, int bits = 8);

    // Reduces raw pixels, writing one index byte per pixel to `out` (`outStride` bytes
    // from one row to the next), with at most `maxColors` (1..256) entries. Without
    // `transparentColor` alpha is ignored. With it, pixels whose alpha is 0 are transparent: they
    // all get one entry of their own holding that colour, and the other pixels share at most
    // maxColors - 1 entries.
    ReductionResult reduce(const PixelView& in, uint8_t* out, qsizetype outStride, Dither dither,
                           int maxColors = 256, std::optional<Rgb> transparentColor = std::nullopt);

    // The octree palette, at most maxColors (1..256) entries, of colours (0xAARRGGBB,
    // alpha ignored) given with the number of pixels showing each.
    ColorTable palette(std::span<const std::pair<uint32_t, uint32_t>> colorCounts, int maxColors);

private:
    ColorTable octreePalette(size_t limit);

    struct Buffers;
    std::unique_ptr<Buffers> m_buffers;
};

} // namespace vorlane::gif
