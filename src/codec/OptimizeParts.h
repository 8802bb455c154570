// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the parts of the optimizer share (internal to the codec): screen geometry, the
// screen as a viewer builds it, colour lookups and counts, the notes kept per frame, and
// the entry points of the parts, one file each:
//   OptimizeRedraw.cpp   drawing every frame again from the picture it shows
//   OptimizeReshape.cpp  the frame-by-frame clean-up, merge and crop
//   OptimizeCoding.cpp   colour tables and the choice of indices by their LZW cost
//   OptimizeLzw.cpp      the model of the LZW coder that costs those choices
//   Optimize.cpp         the order of the steps, and the clean-ups of records and frames

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "codec/Compositor.h"
#include "codec/GifImage.h"
#include "codec/Optimize.h"
#include "codec/Parallel.h"
#include "codec/ProgressScope.h"

namespace vorlane::gif::optimizer {

using Disposal = Compositor::Disposal;

inline constexpr uint32_t OpaqueBlack = 0xFF000000u;
inline constexpr Rgb Black{0, 0, 0};

inline uint32_t argbOf(Rgb c) {
    return OpaqueBlack | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
}

inline Rgb rgbOf(uint32_t v) {
    return {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

// Entries a table of `count` colours takes in the file: the next power of two, at least 2.
inline size_t paddedSize(size_t count) {
    size_t size = 2;
    while (size < count)
        size *= 2;
    return size;
}

// The colour every index draws, as on the composed screen: 0 for the transparent index,
// opaque black for indices beyond the table.
using Palette = std::array<uint32_t, 256>;

inline Palette paletteOf(const GifImage& image, size_t i) {
    Palette p;
    p.fill(OpaqueBlack);
    const ColorTable& colors = image.activeColors(i);
    for (size_t k = 0; k < colors.size() && k < p.size(); ++k)
        p[k] = argbOf(colors[k]);
    if (const GraphicControl* gc = image.frame(i).graphicControl(); gc && gc->transparent)
        p[gc->transparentIndex] = 0;
    return p;
}

// A rectangle of screen pixels, x0 <= x < x1, y0 <= y < y1.
struct Box {
    int x0 = 0;
    int y0 = 0;
    int x1 = 0;
    int y1 = 0;

    bool empty() const { return x1 <= x0 || y1 <= y0; }
    int width() const { return x1 - x0; }
    int height() const { return y1 - y0; }
    bool contains(int x, int y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
    friend bool operator==(const Box&, const Box&) = default;
};

inline Box intersection(const Box& a, const Box& b) {
    const Box r{std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1),
                std::min(a.y1, b.y1)};
    return r.empty() ? Box{} : r;
}

inline Box frameBox(const Frame& f) {
    return {f.left, f.top, f.left + f.width(), f.top + f.height()};
}

// A bounding box grown point by point.
struct Bounds {
    int x0 = std::numeric_limits<int>::max();
    int y0 = std::numeric_limits<int>::max();
    int x1 = std::numeric_limits<int>::min();
    int y1 = std::numeric_limits<int>::min();

    void addRow(int y, int from, int to) { // pixels from <= x < to of row y
        x0 = std::min(x0, from);
        x1 = std::max(x1, to);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y + 1);
    }
    void addBox(const Box& b) {
        if (b.empty()) return;
        x0 = std::min(x0, b.x0);
        x1 = std::max(x1, b.x1);
        y0 = std::min(y0, b.y0);
        y1 = std::max(y1, b.y1);
    }
    Box box() const { return x1 > x0 ? Box{x0, y0, x1, y1} : Box{}; }
};

// The screen as a viewer builds it, frame after frame. While a frame is looked at, the
// part of the screen it covers is kept aside: that is the picture the frame is drawn
// over, and what "restore to previous" puts back.
class Screen {
public:
    Screen(int width, int height)
        : m_width(width), m_height(height), m_pixels(size_t(width) * size_t(height), 0) {}

    bool originOpaque() const { return !m_pixels.empty() && m_pixels[0] != 0; }

    // The frame's rectangle clipped to the screen; empty for a frame without pixels.
    Box visible(const Frame& f) const {
        if (!f.hasPixels()) return {};
        Box b = frameBox(f);
        b.x1 = std::min(b.x1, m_width);
        b.y1 = std::min(b.y1, m_height);
        return b.empty() ? Box{} : b;
    }

    // Keeps aside what lies under the visible part of the frame about to be drawn. Until
    // the frame is drawn that is the screen itself; a copy is made only for a frame that
    // restores it afterwards.
    void keepUnder(const Frame& f) {
        m_kept = visible(f);
        m_copied = Compositor::disposalOf(f) == Disposal::Restore;
        if (!m_copied) return;
        m_under.resize(size_t(m_kept.width()) * size_t(m_kept.height()));
        for (int y = m_kept.y0; y < m_kept.y1; ++y)
            std::memcpy(m_under.data() + size_t(y - m_kept.y0) * size_t(m_kept.width()),
                        &m_pixels[size_t(y) * size_t(m_width) + size_t(m_kept.x0)],
                        size_t(m_kept.width()) * 4);
    }
    const Box& kept() const { return m_kept; }
    // What lies under the frame on row y of the kept box, from its left edge; valid until
    // the frame is drawn.
    const uint32_t* underRow(int y) const {
        if (!m_copied) return &m_pixels[size_t(y) * size_t(m_width) + size_t(m_kept.x0)];
        return m_under.data() + size_t(y - m_kept.y0) * size_t(m_kept.width());
    }

    // Draws the frame, which lies inside the kept box, and applies its disposal; returns
    // whether the disposal changed the picture the frame showed.
    bool step(const Frame& f, const Palette& palette, Disposal disposal) {
        const Box vis = visible(f);
        if (vis.empty()) return false;
        for (int y = vis.y0; y < vis.y1; ++y) {
            const uint8_t* src =
                f.pixels().data() + size_t(y - f.top) * f.width() + size_t(vis.x0 - f.left);
            uint32_t* dst = &m_pixels[size_t(y) * size_t(m_width) + size_t(vis.x0)];
            for (int x = 0; x < vis.width(); ++x)
                if (const uint32_t v = palette[src[x]]) dst[x] = v;
        }
        if (disposal == Disposal::Keep) return false;
        bool changed = false;
        for (int y = vis.y0; y < vis.y1; ++y) {
            uint32_t* dst = &m_pixels[size_t(y) * size_t(m_width) + size_t(vis.x0)];
            const uint32_t* old = underRow(y) + (vis.x0 - m_kept.x0);
            for (int x = 0; x < vis.width(); ++x) {
                const uint32_t v = disposal == Disposal::Clear ? 0u : old[x];
                changed = changed || dst[x] != v;
                dst[x] = v;
            }
        }
        return changed;
    }

private:
    int m_width;
    int m_height;
    std::vector<uint32_t> m_pixels;
    Box m_kept;
    bool m_copied = false;
    std::vector<uint32_t> m_under;
};

// Colour (opaque ARGB) to table index, for tables of at most 256 entries; the first
// entry of a colour wins.
class ColorIndex {
public:
    void clear() { std::fill(m_keys.begin(), m_keys.end(), 0u); }
    void assign(const ColorTable& table, size_t count) {
        clear();
        for (size_t k = 0; k < count && k < table.size(); ++k)
            insert(argbOf(table[k]), int(k));
    }
    void insert(uint32_t color, int index) {
        size_t s = slot(color);
        while (m_keys[s] != 0 && m_keys[s] != color)
            s = (s + 1) & Mask;
        if (m_keys[s] == 0) {
            m_keys[s] = color;
            m_values[s] = int16_t(index);
        }
    }
    // -1 when the colour is not in the table.
    int find(uint32_t color) const {
        for (size_t s = slot(color); m_keys[s] != 0; s = (s + 1) & Mask)
            if (m_keys[s] == color) return m_values[s];
        return -1;
    }

private:
    static constexpr size_t Slots = 1024;
    static constexpr size_t Mask = Slots - 1;
    static size_t slot(uint32_t color) { return (color * 0x9E3779B1u) >> 22; }
    std::array<uint32_t, Slots> m_keys{};
    std::array<int16_t, Slots> m_values{};
};

// Pixel counts per colour (opaque ARGB, never 0) for the colours of one frame. It holds
// a few more colours than a table can, so that "more than 256" is still seen; colours
// beyond that are not counted and full() says so.
class ColorCounter {
public:
    static constexpr size_t Capacity = 1024;

    ColorCounter() : m_keys(Slots, 0), m_counts(Slots, 0) { m_used.reserve(Capacity); }

    void clear() {
        for (uint16_t s : m_used)
            m_keys[s] = 0;
        m_used.clear();
        m_full = false;
        m_lastColor = 0;
    }
    // Adds n pixels of the colour; returns its slot, -1 when the counter is full.
    int add(uint32_t color, uint32_t n = 1) {
        // Neighbouring pixels mostly share their colour.
        if (color == m_lastColor) {
            m_counts[m_lastSlot] += n;
            return int(m_lastSlot);
        }
        size_t s = (color * 0x9E3779B1u) >> (32 - SlotBits);
        while (m_keys[s] != 0 && m_keys[s] != color)
            s = (s + 1) & (Slots - 1);
        if (m_keys[s] == 0) {
            if (m_used.size() >= Capacity) {
                m_full = true;
                return -1;
            }
            m_keys[s] = color;
            m_counts[s] = 0;
            m_used.push_back(uint16_t(s));
        }
        m_counts[s] += n;
        m_lastColor = color;
        m_lastSlot = s;
        return int(s);
    }
    size_t size() const { return m_used.size(); }
    bool full() const { return m_full; }
    // (colour, count) pairs, most pixels first, ties by colour.
    std::vector<std::pair<uint32_t, uint32_t>> sorted() const {
        std::vector<std::pair<uint32_t, uint32_t>> result;
        result.reserve(m_used.size());
        for (uint16_t s : sortedSlots())
            result.emplace_back(m_keys[s], m_counts[s]);
        return result;
    }
    // The slots in use in the same order.
    std::vector<uint16_t> sortedSlots() const {
        std::vector<uint16_t> slots = m_used;
        std::sort(slots.begin(), slots.end(), [&](uint16_t a, uint16_t b) {
            return m_counts[a] != m_counts[b] ? m_counts[a] > m_counts[b] : m_keys[a] < m_keys[b];
        });
        return slots;
    }
    uint32_t colorAt(size_t slot) const { return m_keys[slot]; }
    static constexpr size_t slotCount() { return Slots; }

private:
    static constexpr int SlotBits = 12;
    static constexpr size_t Slots = size_t(1) << SlotBits;
    std::vector<uint32_t> m_keys;
    std::vector<uint32_t> m_counts;
    std::vector<uint16_t> m_used;
    bool m_full = false;
    uint32_t m_lastColor = 0; // 0: none (never a colour)
    size_t m_lastSlot = 0;
};

// Regions of at least this many pixels are worked on in bands of rows on several
// threads; smaller ones would spend more on starting threads than they save.
inline constexpr size_t BandedPixels = size_t(1) << 17;

// How many bands the rows [top, bottom) of a region `width` pixels wide are worked in:
// one for a small region.
inline size_t bandCount(int top, int bottom, int width) {
    const size_t rows = bottom > top ? size_t(bottom - top) : 0;
    if (width <= 0 || rows * size_t(width) < BandedPixels || workerCount() < 2) return 1;
    return std::min(rows, size_t(4) * workerCount());
}

// Calls work(band, y0, y1) for each of `bands` bands of the rows [top, bottom), on several
// threads when there is more than one. Bands never share a row.
template <typename Work> void forBands(int top, int bottom, size_t bands, Work&& work) {
    if (bands <= 1) {
        work(size_t(0), top, bottom);
        return;
    }
    const int64_t rows = bottom - top;
    parallelFor(bands, [&](size_t band) {
        work(band, top + int(rows * int64_t(band) / int64_t(bands)),
             top + int(rows * int64_t(band + 1) / int64_t(bands)));
    });
}

// Per frame, from reshaping or redrawing to the clean-up of frames that change nothing.
struct FrameNote {
    bool vanished = false;     // changes nothing on screen, nor does its disposal
    bool originOpaque = false; // (0, 0) is not transparent under the frame
    bool sameAsBefore = true;  // shows the picture the frame before it showed
};

// The frame's graphic control, made (and put among its records) when it has none.
inline GraphicControl& controlOf(GifImage& image, size_t i) {
    Frame& f = image.frame(i);
    if (!f.graphicControlRecord) f.extensions.push_back(image.newGraphicControl(i));
    return *f.graphicControl();
}

// Grows the frame's active table to `size` entries with black, the colour that indices
// beyond a table draw, so that no pixel of any frame changes colour.
inline void padTable(GifImage& image, size_t i, size_t size) {
    Frame& f = image.frame(i);
    if (!f.localColors().empty() || image.globalColors().empty()) {
        if (f.localColors().size() >= size) return;
        ColorTable colors = f.localColors();
        colors.resize(size, Black);
        f.setLocalColors(std::move(colors), f.localSorted());
    } else if (image.globalColors().size() < size) {
        ColorTable colors = image.globalColors();
        colors.resize(size, Black);
        image.setGlobalColors(std::move(colors), image.globalSorted());
    }
}

// Draws every frame again from the picture it shows (with every option given); false,
// with the image untouched and its warning handler told why, when the frames cannot be
// drawn that way. Fills `notes`. Progress runs over [from, to].
bool redrawFrames(GifImage& image, ProgressScope& progress, int from, int to,
                  std::vector<FrameNote>& notes);

// The frame-by-frame clean-up (first part), merge and the measuring half of crop, as
// `options` ask. Fills `notes`.
void reshapeFrames(GifImage& image, const OptimizeOptions& options, ProgressScope& progress,
                   int from, int to, std::vector<FrameNote>& notes);

// Colour tables and the indices of pixels that may take either of two, as `options` ask.
void codeFrames(GifImage& image, const OptimizeOptions& options, ProgressScope& progress, int from,
                int to);

} // namespace vorlane::gif::optimizer
