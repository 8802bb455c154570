// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec/Optimize.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <numeric>
#include <unordered_map>
#include <vector>

#include "codec/Compositor.h"
#include "codec/GifWriter.h"
#include "codec/OptimizeLzw.h"

// Optimizing keeps what a viewer shows at every frame and makes the file smaller. Every
// step below is exact about the screen a frame is drawn over: the optimizer walks the
// frames as the compositor does (transparent start, "restore to background" clearing to
// transparent, 3 and 4 restoring, other codes keeping) and decides each change from the
// pixels actually on screen, so no rule of thumb about disposal codes or frame order can
// alter the picture. The effects, in order:
//
//  1. clean-up (first part): a transparent flag whose index no pixel uses is dropped; a
//     frame that clears or restores its rectangle keeps it instead (code 0) where the
//     next frame paints over every pixel that this changes;
//  2. merge: pixels that show the colour already on screen become transparent;
//  3. clean-up (second part): comments, plain text and other applications' records go,
//     and the loop record stays only on frame 0 of an animation;
//  4. crop: frames are cut to the part that changes the screen; frames that change
//     nothing become one transparent pixel when they last (delay, user input) or show a
//     picture of their own, and are removed otherwise, their records passing on;
//  5. colour tables and coding: every table holds only the colours its frames use, most
//     used first, one global table serves the frames it covers, and each pixel that may
//     be either transparent or its colour takes whichever the LZW coder codes shorter;
//  6. clean-up (third part): graphic control records that change nothing are removed.
//
// With every option given (the editor's optimized save), steps 1, 2 and 4 are done at
// once and more thoroughly by drawing every frame again from the picture it shows, its
// disposal and rectangle chosen afresh (redraw()); the frame-by-frame steps serve other
// option sets and the rare animation that cannot be drawn that way.

namespace vorlane::gif {

namespace {

using Disposal = Compositor::Disposal;
using optimizer::LzwModel;

constexpr uint32_t OpaqueBlack = 0xFF000000u;
// Warnings when the frames cannot be drawn again from their pictures (see redraw()).
constexpr const char* ColorsWarning =
    "Optimized frame by frame: a frame needs more colours than a colour table holds";
constexpr const char* FaultWarning = "Optimized frame by frame: the redrawn screen went astray";
constexpr Rgb Black{0, 0, 0};
// Stretches of pixels that may be transparent shorter than this prefer their colour in
// the "colour first" way of writing a frame (see Optimizer::Way).
constexpr size_t ShortRun = 16;
// Frames above MinSamples * SampleChunk pixels choose their way of writing from samples
// of SampleChunk pixels: a quarter of the frame, but at least MinSamples and at most
// MaxSamples of them.
constexpr size_t SampleChunk = 32768;
constexpr size_t MinSamples = 4;
constexpr size_t MaxSamples = 8;

uint32_t argbOf(Rgb c) {
    return OpaqueBlack | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
}

Rgb rgbOf(uint32_t v) {
    return {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

// Entries a table of `count` colours takes in the file: the next power of two, at least 2.
size_t paddedSize(size_t count) {
    size_t size = 2;
    while (size < count)
        size *= 2;
    return size;
}

// The colour every index draws, as on the composed screen: 0 for the transparent index,
// opaque black for indices beyond the table.
using Palette = std::array<uint32_t, 256>;

Palette paletteOf(const GifImage& image, size_t i) {
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

Box intersection(const Box& a, const Box& b) {
    const Box r{std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1),
                std::min(a.y1, b.y1)};
    return r.empty() ? Box{} : r;
}

Box frameBox(const Frame& f) {
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

// Reports "Optimizing" from start to end, the end however the work ends.
class Progress {
public:
    explicit Progress(const GifImage& image) : m_image(image) {
        m_image.reportProgress(Stage::Starting, 0, ProgressMessage::Optimizing);
    }
    ~Progress() {
        try {
            m_image.reportProgress(Stage::Ending, 100, ProgressMessage::Optimizing);
        } catch (...) {
        }
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Step `done` of `total` within the share [from, to) of the whole work.
    void running(size_t done, size_t total, int from, int to) {
        const int percent = total ? from + int(uint64_t(to - from) * done / total) : to;
        if (percent != m_last) {
            m_last = percent;
            m_image.reportProgress(Stage::Running, percent, ProgressMessage::Optimizing);
        }
    }

private:
    const GifImage& m_image;
    int m_last = -1;
};

// How a pixel may be written, once the screen under its frame is known.
enum class Need : uint8_t {
    Color,       // must show its colour
    Transparent, // must be transparent: nothing is on screen there
    Either,      // shows the colour already on screen: transparent or that colour
    Anything,    // off the screen: never seen
};

class Optimizer {
public:
    Optimizer(GifImage& image, const OptimizeOptions& options)
        : m_image(image), m_options(options), m_progress(image) {}

    void run() {
        attachGraphicControls();
        const bool reshaping = m_options.cleanup || m_options.merge || m_options.crop;
        const bool coding = m_options.colorTables || m_options.merge;
        // With every option the frames may be drawn again from the pictures they show,
        // choosing each frame's disposal and rectangle freely; the frame-by-frame steps
        // below remain for other option sets and for the rare animation whose pictures
        // need more colours at once than a frame can hold.
        const bool redrawing =
            m_options.cleanup && m_options.merge && m_options.crop && m_options.colorTables;
        if (redrawing && redraw(0, 50)) {
        } else if (reshaping) {
            reshape(0, coding ? 50 : 100);
        }
        if (m_options.cleanup) dropRecords();
        if (m_options.crop) settleVanished();
        if (coding) code(reshaping ? 50 : 0, 100);
        if (m_options.cleanup) dropIdleControls();
    }

private:
    // ---- helpers over the image ----

    GraphicControl& controlOf(size_t i) {
        Frame& f = m_image.frame(i);
        if (!f.graphicControlRecord) f.extensions.push_back(m_image.newGraphicControl(i));
        return *f.graphicControl();
    }

    // A frame's graphic control record decides how it is shown; one that is not in the
    // frame's record list would not be written, so the file would show something else.
    void attachGraphicControls() {
        for (size_t i = 0; i < m_image.frameCount(); ++i) {
            Frame& f = m_image.frame(i);
            if (f.graphicControlRecord && std::find(f.extensions.begin(), f.extensions.end(),
                                                    f.graphicControlRecord) == f.extensions.end())
                f.extensions.push_back(f.graphicControlRecord);
        }
    }

    // Grows the frame's active table to `size` entries with black, the colour that
    // indices beyond a table draw, so that no pixel of any frame changes colour.
    void padTable(size_t i, size_t size) {
        Frame& f = m_image.frame(i);
        if (!f.localColors().empty() || m_image.globalColors().empty()) {
            if (f.localColors().size() >= size) return;
            ColorTable colors = f.localColors();
            colors.resize(size, Black);
            f.setLocalColors(std::move(colors), f.localSorted());
        } else if (m_image.globalColors().size() < size) {
            ColorTable colors = m_image.globalColors();
            colors.resize(size, Black);
            m_image.setGlobalColors(std::move(colors), m_image.globalSorted());
        }
    }

    // ---- drawing the frames again from the pictures they show ----
    //
    // Frame i must turn the screen it is drawn over (B, as the new frames leave it) into
    // the picture the original shows at frame i (T). It draws the pixels where the two
    // differ; where they agree it draws nothing. Its disposal is chosen so that the
    // screen it leaves suits the next picture (U): nothing may stay opaque where U is
    // transparent, since no frame can make a pixel transparent. Of the disposals that
    // allow this, the one with the smallest rectangles for this frame and the next wins:
    //  - keep: leaves T; possible when U is transparent only where T is;
    //  - clear: leaves T with the frame's rectangle transparent; the rectangle grows to
    //    take in every pixel that U needs transparent;
    //  - restore: leaves B; possible when U is transparent only where B is.
    // The original's disposal codes and rectangles play no part beyond ties, which is
    // what lets a frame that cleared the whole screen clear only what must go.

    struct Plan {
        Box box; // empty: the frame changes nothing
        Bytes pixels;
        ColorTable colors; // local table: the colours drawn, most used first, then the key
        int key = -1;
        Disposal disposal = Disposal::Keep;
    };

    // Redrawing gives way to the frame-by-frame steps: a frame would need more colours
    // than one table holds, or (a fault of this code, should it ever happen) the screen
    // would show something where the picture is transparent.
    struct GiveWay {
        const char* reason;
    };

    // Draws original frame i onto `canvas`, keeping aside what it covered in `under`
    // (over `box`, the frame's visible rectangle); `changed` grows by the pixels whose
    // colour changed.
    void drawOriginal(size_t i, std::vector<uint32_t>& canvas, std::vector<uint32_t>& under,
                      Box& box, Bounds& changed) const {
        const Frame& f = m_image.frame(i);
        const int width = m_image.screenWidth;
        box = Box{};
        if (!f.hasPixels()) return;
        box = frameBox(f);
        box.x1 = std::min<int>(box.x1, width);
        box.y1 = std::min<int>(box.y1, m_image.screenHeight);
        if (box.empty()) {
            box = Box{};
            return;
        }
        const Palette palette = paletteOf(m_image, i);
        // Only a frame that restores what it covered needs a copy of it.
        const bool restores = Compositor::disposalOf(f) == Disposal::Restore;
        if (restores) under.resize(size_t(box.width()) * size_t(box.height()));
        for (int y = box.y0; y < box.y1; ++y) {
            uint32_t* dst = canvas.data() + size_t(y) * width + box.x0;
            if (restores)
                std::memcpy(under.data() + size_t(y - box.y0) * box.width(), dst,
                            size_t(box.width()) * 4);
            const uint8_t* src = f.pixels().data() + size_t(y - f.top) * f.width();
            int first = -1;
            int last = -1;
            for (int x = 0; x < box.width(); ++x) {
                const uint32_t v = palette[src[x]];
                if (v != 0 && v != dst[x]) {
                    dst[x] = v;
                    if (first < 0) first = x;
                    last = x;
                }
            }
            if (first >= 0) changed.addRow(y, box.x0 + first, box.x0 + last + 1);
        }
    }

    void disposeOriginal(size_t i, std::vector<uint32_t>& canvas,
                         const std::vector<uint32_t>& under, const Box& box,
                         Bounds& changed) const {
        const Disposal d = Compositor::disposalOf(m_image.frame(i));
        if (d == Disposal::Keep || box.empty()) return;
        const int width = m_image.screenWidth;
        for (int y = box.y0; y < box.y1; ++y) {
            uint32_t* dst = canvas.data() + size_t(y) * width + box.x0;
            // `under` holds the rectangle only for a restore.
            const uint32_t* old =
                d == Disposal::Clear ? nullptr : under.data() + size_t(y - box.y0) * box.width();
            int first = -1;
            int last = -1;
            for (int x = 0; x < box.width(); ++x) {
                const uint32_t v = old ? old[x] : 0u;
                if (v != dst[x]) {
                    dst[x] = v;
                    if (first < 0) first = x;
                    last = x;
                }
            }
            if (first >= 0) changed.addRow(y, box.x0 + first, box.x0 + last + 1);
        }
    }

    // What one choice of disposal costs: this frame's rectangle and what the next frame
    // would have to draw. Changed pixels cost the most; a rectangle's transparent pixels
    // code in long cheap runs, so its area counts for a little (1/AreaShare per pixel).
    struct Outcome {
        static constexpr uint64_t AreaShare = 16;
        bool possible = true;
        Box own;          // this frame's rectangle
        Bounds next;      // the pixels the next frame must change ...
        uint64_t changes; // ... and how many there are
        uint64_t cost() const {
            const Box b = next.box();
            const uint64_t area =
                uint64_t(own.width()) * own.height() + uint64_t(b.width()) * b.height();
            return changes + area / AreaShare;
        }
    };

    // Inside a rectangle about to be cleared, how many more pixels the next picture then
    // needs drawn than after keeping: its opaque pixels, less those that differed anyway.
    uint64_t changesInside(const Box& box, const std::vector<uint32_t>& target,
                           const std::vector<uint32_t>& next) const {
        const int width = m_image.screenWidth;
        uint64_t opaque = 0;
        uint64_t differing = 0;
        for (int y = box.y0; y < box.y1; ++y) {
            const uint32_t* t = target.data() + size_t(y) * width;
            const uint32_t* u = next.data() + size_t(y) * width;
            for (int x = box.x0; x < box.x1; ++x) {
                opaque += u[x] != 0;
                differing += t[x] != u[x];
            }
        }
        return opaque - std::min(opaque, differing);
    }

    static void copyBox(std::vector<uint32_t>& to, const std::vector<uint32_t>& from,
                        const Box& box, int width) {
        for (int y = box.y0; y < box.y1; ++y)
            std::memcpy(to.data() + size_t(y) * width + box.x0,
                        from.data() + size_t(y) * width + box.x0, size_t(box.width()) * 4);
    }

    // Work stays within the parts of the screen that change: T(i) and T(i + 1) differ
    // only inside `changed` (tracked while the original frames are drawn), and the new
    // screen differs from T(i) only inside `behind` (what the previous new frame left
    // different from the picture it showed, plus what changed since).
    bool redraw(int from, int to) {
        const size_t n = m_image.frameCount();
        const int width = m_image.screenWidth;
        const int height = m_image.screenHeight;
        const size_t area = size_t(width) * size_t(height);
        std::vector<Plan> plans(n);
        std::vector<bool> sameAsBefore(n, true); // T(i) is T(i - 1), or blank for frame 0
        std::vector<uint32_t> target(area, 0);   // T(i)
        std::vector<uint32_t> next(area, 0);     // T(i + 1); before that, T(i - 1)
        std::vector<uint32_t> screen(area, 0);   // B: what the new frames leave on screen
        std::vector<uint32_t> underNow;
        std::vector<uint32_t> underNext;
        Box boxNow;
        Box boxNext;
        Bounds changedBefore; // where T(i - 1) and T(i) differ
        Bounds behind;        // where the new screen and T(i) may differ
        try {
            if (n > 0) drawOriginal(0, target, underNow, boxNow, changedBefore);
            behind = changedBefore;
            for (size_t i = 0; i < n; ++i) {
                m_progress.running(i, n, from, to);
                const bool last = i + 1 == n;
                Bounds changed; // where T(i) and T(i + 1) differ
                if (!last) {
                    copyBox(next, target, changedBefore.box(), width);
                    disposeOriginal(i, next, underNow, boxNow, changed);
                    drawOriginal(i + 1, next, underNext, boxNext, changed);
                }
                sameAsBefore[i] = changedBefore.box().empty();
                Bounds scan = behind;
                scan.addBox(changed.box());
                plans[i] = planFrame(i, last, scan.box(), screen, target, next);
                // The screen the frame leaves: T where it was drawn, then its disposal.
                const Plan& plan = plans[i];
                behind = Bounds{};
                if (!plan.box.empty()) {
                    if (plan.disposal == Disposal::Restore) {
                        behind.addBox(plan.box);
                    } else {
                        for (int y = plan.box.y0; y < plan.box.y1; ++y) {
                            uint32_t* dst = screen.data() + size_t(y) * width + plan.box.x0;
                            if (plan.disposal == Disposal::Clear)
                                std::fill_n(dst, plan.box.width(), 0u);
                            else
                                std::memcpy(dst, target.data() + size_t(y) * width + plan.box.x0,
                                            size_t(plan.box.width()) * 4);
                        }
                        if (plan.disposal == Disposal::Clear) behind.addBox(plan.box);
                    }
                }
                behind.addBox(changed.box());
                changedBefore = changed;
                target.swap(next);
                underNow.swap(underNext);
                std::swap(boxNow, boxNext);
            }
        } catch (const GiveWay& e) {
            m_image.warn(e.reason);
            return false;
        }
        applyPlans(plans, sameAsBefore);
        return true;
    }

    Plan planFrame(size_t i, bool last, const Box& scan, const std::vector<uint32_t>& screen,
                   const std::vector<uint32_t>& target, const std::vector<uint32_t>& next) {
        const int width = m_image.screenWidth;
        // One pass over the part of the screen that changes finds the pixels the frame must
        // draw (B differs from T), those the next picture needs transparent (T opaque, U
        // not), and what the next frame would draw after keeping (T differs from U) or
        // restoring (B differs from U); restoring is impossible where B is opaque and U
        // is not. What it would draw after clearing is taken as what it would draw after
        // keeping, plus whatever U shows inside the cleared rectangle: a little more than
        // that in places, which only matters to the choice between the two.
        Bounds must;
        Bounds clearing;
        Bounds afterKeep;
        Bounds afterRestore;
        Bounds nextOpaque;
        uint64_t keepChanges = 0;
        uint64_t restoreChanges = 0;
        bool restorable = true;
        for (int y = scan.y0; y < scan.y1; ++y) {
            const uint32_t* b = screen.data() + size_t(y) * width;
            const uint32_t* t = target.data() + size_t(y) * width;
            const uint32_t* u = next.data() + size_t(y) * width;
            int m0 = -1, m1 = -1, c0 = -1, c1 = -1, k0 = -1, k1 = -1, r0 = -1, r1 = -1, o0 = -1,
                o1 = -1;
            for (int x = scan.x0; x < scan.x1; ++x) {
                const uint32_t bx = b[x];
                const uint32_t tx = t[x];
                const uint32_t ux = u[x];
                if (bx != tx) {
                    if (tx == 0) throw GiveWay{FaultWarning}; // every choice below prevents it
                    if (m0 < 0) m0 = x;
                    m1 = x;
                }
                if (last) continue;
                if (tx != ux) {
                    ++keepChanges;
                    if (k0 < 0) k0 = x;
                    k1 = x;
                    if (ux == 0) {
                        if (c0 < 0) c0 = x;
                        c1 = x;
                    }
                }
                if (bx != ux) {
                    ++restoreChanges;
                    if (ux == 0) restorable = false;
                    if (r0 < 0) r0 = x;
                    r1 = x;
                }
                if (ux != 0) {
                    if (o0 < 0) o0 = x;
                    o1 = x;
                }
            }
            if (m0 >= 0) must.addRow(y, m0, m1 + 1);
            if (c0 >= 0) clearing.addRow(y, c0, c1 + 1);
            if (k0 >= 0) afterKeep.addRow(y, k0, k1 + 1);
            if (r0 >= 0) afterRestore.addRow(y, r0, r1 + 1);
            if (o0 >= 0) nextOpaque.addRow(y, o0, o1 + 1);
        }
        const Box mustBox = must.box();
        Bounds both = must;
        both.addBox(clearing.box());
        const Box clearBox = both.box();

        const Frame& f = m_image.frame(i);
        const Disposal original = Compositor::disposalOf(f);
        Plan plan;
        if (last) {
            plan.disposal = original;
            plan.box = mustBox;
        } else {
            // keep, clear, restore
            std::array<Outcome, 3> outcomes;
            outcomes[0].possible = clearing.box().empty();
            outcomes[0].own = mustBox;
            outcomes[0].next = afterKeep;
            outcomes[0].changes = keepChanges;
            outcomes[1].own = clearBox;
            outcomes[1].next = afterKeep;
            outcomes[1].next.addBox(intersection(clearBox, nextOpaque.box()));
            outcomes[1].changes = keepChanges + changesInside(clearBox, target, next);
            outcomes[2].possible = restorable;
            outcomes[2].own = mustBox;
            outcomes[2].next = afterRestore;
            outcomes[2].changes = restoreChanges;
            const std::array<Disposal, 3> kinds{Disposal::Keep, Disposal::Clear, Disposal::Restore};
            int best = -1;
            for (int k = 0; k < 3; ++k) {
                if (!outcomes[size_t(k)].possible) continue;
                if (best < 0) {
                    best = k;
                    continue;
                }
                const uint64_t a = outcomes[size_t(k)].cost();
                const uint64_t c = outcomes[size_t(best)].cost();
                if (a < c ||
                    (a == c && kinds[size_t(k)] == original && kinds[size_t(best)] != original))
                    best = k;
            }
            plan.disposal = kinds[size_t(best)];
            plan.box = plan.disposal == Disposal::Clear ? clearBox : mustBox;
        }
        if (plan.box.empty()) {
            plan.disposal = Disposal::Keep;
            return plan;
        }
        fillPlan(plan, screen, target);
        return plan;
    }

    // The frame's pixels over its rectangle: the colours of T where the screen differs,
    // transparent elsewhere; its table holds those colours, most used first, and a
    // transparent entry. A frame that needs every entry for colours draws the pixels that
    // already show their colour in that colour too; one that would need more entries
    // than a table has cannot be drawn this way.
    void fillPlan(Plan& plan, const std::vector<uint32_t>& screen,
                  const std::vector<uint32_t>& target) {
        const int width = m_image.screenWidth;
        const Box& box = plan.box;
        ColorCounter& counts = m_counter;
        counts.clear();
        // Each pixel's colour slot in the counter, or NoSlot for a transparent one.
        constexpr uint16_t NoSlot = 0xFFFF;
        m_slots.resize(size_t(box.width()) * size_t(box.height()));
        uint16_t* slot = m_slots.data();
        bool anyClear = false;
        bool anyEmpty = false; // pixels that must stay transparent
        for (int y = box.y0; y < box.y1; ++y) {
            const uint32_t* b = screen.data() + size_t(y) * width;
            const uint32_t* t = target.data() + size_t(y) * width;
            for (int x = box.x0; x < box.x1; ++x) {
                if (b[x] != t[x]) {
                    *slot++ = uint16_t(counts.add(t[x]));
                } else {
                    *slot++ = NoSlot;
                    anyClear = true;
                }
                anyEmpty = anyEmpty || t[x] == 0;
            }
        }
        if (counts.full() || counts.size() + (anyClear ? 1 : 0) > 256) {
            // No room for a transparent entry: every pixel is drawn in its colour.
            if (anyEmpty) throw GiveWay{ColorsWarning};
            slot = m_slots.data();
            for (int y = box.y0; y < box.y1; ++y) {
                const uint32_t* t = target.data() + size_t(y) * width;
                for (int x = box.x0; x < box.x1; ++x, ++slot)
                    if (*slot == NoSlot) *slot = uint16_t(counts.add(t[x], 0));
            }
            if (counts.full() || counts.size() > 256) throw GiveWay{ColorsWarning};
            anyClear = false;
        }
        std::vector<uint8_t> rank(ColorCounter::slotCount(), 0);
        plan.colors.clear();
        for (uint16_t s : counts.sortedSlots()) {
            rank[s] = uint8_t(plan.colors.size());
            plan.colors.push_back(rgbOf(counts.colorAt(s)));
        }
        if (anyClear) {
            plan.key = int(plan.colors.size());
            plan.colors.push_back(Black);
        }
        plan.pixels.resize(m_slots.size());
        const uint8_t key = uint8_t(std::max(plan.key, 0));
        for (size_t k = 0; k < m_slots.size(); ++k)
            plan.pixels[k] = m_slots[k] == NoSlot ? key : rank[m_slots[k]];
    }

    // Puts the plans into the frames: geometry, pixels, table and graphic control.
    void applyPlans(std::vector<Plan>& plans, const std::vector<bool>& sameAsBefore) {
        const size_t n = m_image.frameCount();
        m_notes.assign(n, Note{});
        for (size_t i = 0; i < n; ++i)
            m_notes[i].sameAsBefore = sameAsBefore[i];
        for (size_t i = 0; i < n; ++i) {
            Frame& f = m_image.frame(i);
            Plan& plan = plans[i];
            GraphicControl* gc = f.graphicControl();
            uint8_t code = gc ? gc->disposal : disposal::Unspecified;
            switch (plan.disposal) {
            case Disposal::Keep:
                code = code <= disposal::None ? code : disposal::Unspecified;
                break;
            case Disposal::Clear:
                code = disposal::Background;
                break;
            case Disposal::Restore:
                code = disposal::Previous;
                break;
            }
            if (plan.box.empty()) {
                m_notes[i].vanished = true;
                if (gc) gc->disposal = code;
                continue;
            }
            f.left = uint16_t(plan.box.x0);
            f.top = uint16_t(plan.box.y0);
            f.setPixels(uint16_t(plan.box.width()), uint16_t(plan.box.height()),
                        std::move(plan.pixels));
            f.setLocalColors(std::move(plan.colors));
            if (gc || code != disposal::Unspecified || plan.key >= 0) {
                GraphicControl& control = controlOf(i);
                control.disposal = code;
                control.transparent = plan.key >= 0;
                control.transparentIndex = plan.key >= 0 ? uint8_t(plan.key) : 0;
            }
        }
    }

    // ---- clean-up (first part), merge and the measuring half of crop ----

    void reshape(int from, int to) {
        const size_t n = m_image.frameCount();
        m_notes.assign(n, Note{});
        Screen screen(m_image.screenWidth, m_image.screenHeight);
        bool disposalChanged = false; // the previous frame's disposal changed the screen
        for (size_t i = 0; i < n; ++i) {
            m_progress.running(i, n, from, to);
            Frame& f = m_image.frame(i);
            m_notes[i].originOpaque = screen.originOpaque();
            m_notes[i].sameAsBefore = !disposalChanged;
            disposalChanged = false;
            if (!f.hasPixels()) {
                m_notes[i].vanished = m_options.crop;
                continue;
            }
            GraphicControl* gc = f.graphicControl();
            if (m_options.cleanup && gc && gc->transparent &&
                std::find(f.pixels().begin(), f.pixels().end(), gc->transparentIndex) ==
                    f.pixels().end())
                gc->transparent = false;

            Palette palette = paletteOf(m_image, i);
            screen.keepUnder(f);
            Disposal disposal = Compositor::disposalOf(f);
            if (m_options.cleanup && disposal != Disposal::Keep && i + 1 < n &&
                keepingShowsTheSame(i, palette, disposal, screen)) {
                gc->disposal = disposal::Unspecified;
                disposal = Disposal::Keep;
            }
            if (m_options.merge && merge(i, palette, screen)) palette = paletteOf(m_image, i);
            if (m_options.crop) {
                const Box need = neededBox(f, palette, disposal, screen);
                if (need.empty()) {
                    // Nothing drawn changes the screen and the disposal changes nothing
                    // either, so the screen stays as it is.
                    m_notes[i].vanished = true;
                    continue;
                }
                cut(f, need);
            }
            disposalChanged = screen.step(f, palette, disposal);
        }
    }

    // Whether frame i may leave its picture in place (code 0) instead of clearing or
    // restoring its rectangle: every pixel where that would leave something else on
    // screen must be painted over by the next frame, and the next frame must not restore
    // what it was drawn over (that would bring the difference back).
    bool keepingShowsTheSame(size_t i, const Palette& palette, Disposal disposal,
                             const Screen& screen) const {
        const Frame& f = m_image.frame(i);
        const Frame& g = m_image.frame(i + 1);
        const bool nextCanHide = g.hasPixels() && Compositor::disposalOf(g) != Disposal::Restore;
        const Palette next = nextCanHide ? paletteOf(m_image, i + 1) : Palette{};
        const Box nextBox = frameBox(g);
        const Box& vis = screen.kept();
        for (int y = vis.y0; y < vis.y1; ++y) {
            const uint8_t* src =
                f.pixels().data() + size_t(y - f.top) * f.width() + size_t(vis.x0 - f.left);
            const uint32_t* under = screen.underRow(y);
            for (int x = vis.x0; x < vis.x1; ++x) {
                const uint32_t v = palette[src[x - vis.x0]];
                const uint32_t u = under[x - vis.x0];
                // After clearing the pixel is transparent, after restoring it is u; kept,
                // it is what the frame showed.
                const bool differs =
                    disposal == Disposal::Clear ? (v != 0 || u != 0) : (v != 0 && v != u);
                if (!differs) continue;
                if (!nextCanHide || !nextBox.contains(x, y)) return false;
                if (next[g.pixels()[size_t(y - g.top) * g.width() + size_t(x - g.left)]] == 0)
                    return false;
            }
        }
        return true;
    }

    // Makes the pixels of frame i that repeat the screen under them (and those off the
    // screen) transparent. Needs an index that no remaining pixel uses: the frame's
    // transparent index, else the first free one, added to the table when it lies beyond
    // it. A frame that needs all 256 indices for its colours stays as it is. Returns
    // whether the frame changed.
    bool merge(size_t i, const Palette& palette, const Screen& screen) {
        Frame& f = m_image.frame(i);
        const int w = f.width();
        const int h = f.height();
        const Box& vis = screen.kept();
        m_keep.assign(size_t(w) * size_t(h), 0);
        std::array<bool, 256> used{};
        bool anyLoose = false;
        const uint8_t* pixels = f.pixels().data();
        for (int fy = 0; fy < h; ++fy) {
            const int y = f.top + fy;
            if (y < vis.y0 || y >= vis.y1) {
                anyLoose = true;
                continue;
            }
            const uint32_t* under = screen.underRow(y);
            const uint8_t* row = pixels + size_t(fy) * w;
            uint8_t* keep = m_keep.data() + size_t(fy) * w;
            for (int fx = 0; fx < w; ++fx) {
                const int x = f.left + fx;
                if (x >= vis.x1) {
                    anyLoose = true;
                    break;
                }
                const uint32_t v = palette[row[fx]];
                if (v == 0) continue;
                if (v == under[x - vis.x0]) {
                    anyLoose = true;
                    continue;
                }
                keep[fx] = 1;
                used[row[fx]] = true;
            }
        }
        if (!anyLoose) return false;

        const GraphicControl* gc = f.graphicControl();
        int key = gc && gc->transparent ? gc->transparentIndex : -1;
        for (int k = 0; key < 0 && k < 256; ++k)
            if (!used[size_t(k)]) key = k;
        if (key < 0) return false;
        padTable(i, size_t(key) + 1);

        Bytes merged(f.pixels());
        for (size_t k = 0; k < merged.size(); ++k)
            if (!m_keep[k]) merged[k] = uint8_t(key);
        f.setPixels(uint16_t(w), uint16_t(h), std::move(merged));
        GraphicControl& control = controlOf(i);
        control.transparent = true;
        control.transparentIndex = uint8_t(key);
        return true;
    }

    // The part of the frame that crop must keep: every visible pixel that changes the
    // screen (with merge, those that only repeat it are left out even when no
    // transparent index was free for them), and for a frame that clears its rectangle
    // afterwards, everything on screen there, which the smaller rectangle must still clear.
    Box neededBox(const Frame& f, const Palette& palette, Disposal disposal,
                  const Screen& screen) const {
        const Box& vis = screen.kept();
        Bounds bounds;
        for (int y = vis.y0; y < vis.y1; ++y) {
            const uint8_t* src =
                f.pixels().data() + size_t(y - f.top) * f.width() + size_t(vis.x0 - f.left);
            const uint32_t* under = screen.underRow(y);
            int first = -1;
            int last = -1;
            for (int x = 0; x < vis.width(); ++x) {
                const uint32_t v = palette[src[x]];
                const uint32_t u = under[x];
                const bool needed = disposal == Disposal::Clear
                                        ? (v != 0 || u != 0)
                                        : (v != 0 && (!m_options.merge || v != u));
                if (needed) {
                    if (first < 0) first = x;
                    last = x;
                }
            }
            if (first >= 0) bounds.addRow(y, vis.x0 + first, vis.x0 + last + 1);
        }
        return bounds.box();
    }

    static void cut(Frame& f, const Box& box) {
        if (box == frameBox(f)) return;
        Bytes pixels(size_t(box.width()) * size_t(box.height()));
        for (int y = box.y0; y < box.y1; ++y)
            std::memcpy(pixels.data() + size_t(y - box.y0) * box.width(),
                        f.pixels().data() + size_t(y - f.top) * f.width() + size_t(box.x0 - f.left),
                        size_t(box.width()));
        f.left = uint16_t(box.x0);
        f.top = uint16_t(box.y0);
        f.setPixels(uint16_t(box.width()), uint16_t(box.height()), std::move(pixels));
    }

    // ---- clean-up (second part): records that do not change the picture ----

    void dropRecords() {
        const size_t n = m_image.frameCount();
        // The loop record that counts is the first one; an animation keeps it on frame 0,
        // moved there when it stood later, where viewers would still have honoured it.
        ExtensionPtr loop;
        for (size_t i = 0; i < n && !loop; ++i)
            for (const ExtensionPtr& record : m_image.frame(i).extensions)
                if (record->isLoop()) {
                    loop = record;
                    break;
                }
        for (const ExtensionPtr& record : m_image.trailingExtensions)
            if (!loop && record->isLoop()) loop = record;
        if (n < 2) loop.reset();

        for (size_t i = 0; i < n; ++i) {
            Frame& f = m_image.frame(i);
            std::erase_if(f.extensions, [&](const ExtensionPtr& record) {
                return record != f.graphicControlRecord && !(i == 0 && record == loop);
            });
        }
        m_image.trailingExtensions.clear();
        if (loop && (n == 0 || m_image.frame(0).extensions.empty() ||
                     m_image.frame(0).extensions.front() != loop)) {
            ExtensionList& first = m_image.frame(0).extensions;
            std::erase(first, loop);
            first.insert(first.begin(), loop);
        }
        dropEmptyFrames();
    }

    // Frames with neither pixels nor records show nothing and take no time.
    void dropEmptyFrames() {
        for (size_t i = m_image.frameCount(); i-- > 0 && m_image.frameCount() > 1;) {
            const Frame& f = m_image.frame(i);
            if (!f.hasPixels() && f.extensions.empty() && !f.graphicControlRecord) {
                m_image.deleteFrame(i);
                if (i < m_notes.size()) m_notes.erase(m_notes.begin() + ptrdiff_t(i));
            }
        }
    }

    // ---- crop, second half: frames that change nothing ----

    // A frame that changes nothing on screen and shows the same picture as the frame
    // before it goes when it takes no time, or when its delay can be added to that frame's
    // (see canTakeDelay); otherwise (it waits for input, shows a picture of its own since
    // the frame before was disposed of, or is all that is left) it becomes one transparent
    // pixel at (0, 0). Records of a frame that goes, other than its graphic control, pass
    // to the next frame that stays, in order before that frame's own, or after the last
    // frame; so the loop record of a removed frame 0 stays first on the new frame 0.
    void settleVanished() {
        const size_t n = m_image.frameCount();
        if (m_notes.size() != n) return;
        std::vector<bool> remove(n, false);
        size_t removed = 0;
        GraphicControl* lastKept = nullptr; // of the last frame that stays, if it has one
        for (size_t i = 0; i < n; ++i) {
            GraphicControl* gc = m_image.frame(i).graphicControl();
            if (m_notes[i].vanished && m_notes[i].sameAsBefore && !(gc && gc->userInput)) {
                const uint16_t delay = gc ? gc->delay : 0;
                if (delay == 0) {
                    remove[i] = true;
                } else if (lastKept && canTakeDelay(*lastKept, delay)) {
                    // The same picture stays as long: the frame before shows it for both.
                    lastKept->delay = uint16_t(lastKept->delay + delay);
                    remove[i] = true;
                }
            }
            if (remove[i])
                ++removed;
            else
                lastKept = gc;
        }
        if (removed == n && n > 0) {
            remove[0] = false;
            --removed;
        }
        if (removed == 0) {
            for (size_t i = 0; i < n; ++i)
                if (m_notes[i].vanished) makeDot(i);
            m_notes.clear();
            return;
        }

        std::vector<Frame> kept;
        kept.reserve(n - removed);
        ExtensionList carried;
        for (size_t i = 0; i < n; ++i) {
            Frame& f = m_image.frame(i);
            if (remove[i]) {
                for (const ExtensionPtr& record : f.extensions)
                    if (!record->isGraphicControl()) carried.push_back(record);
                continue;
            }
            if (m_notes[i].vanished) makeDot(i);
            if (!carried.empty()) {
                f.extensions.insert(f.extensions.begin(), carried.begin(), carried.end());
                carried.clear();
            }
            kept.push_back(std::move(f));
        }
        m_image.trailingExtensions.insert(m_image.trailingExtensions.begin(), carried.begin(),
                                          carried.end());
        m_image.clearFrames();
        for (Frame& f : kept)
            m_image.appendFrame(std::move(f));
        m_notes.clear();
    }

    // Whether a frame showing a picture for `delay` may also show it for the next
    // frame's delay. Delays of 0 and 1 hundredths play as 10 in browsers (and in this
    // program), so adding to or from one would change how long the picture shows; a
    // frame that waits for input would wait longer.
    static bool canTakeDelay(const GraphicControl& gc, uint16_t delay) {
        return !gc.userInput && gc.delay >= 2 && delay >= 2 && uint32_t(gc.delay) + delay <= 0xFFFF;
    }

    void makeDot(size_t i) {
        Frame& f = m_image.frame(i);
        GraphicControl& control = controlOf(i);
        control.transparent = true;
        control.transparentIndex = 0;
        // Clearing the dot's pixel is harmless only where the screen shows nothing there.
        if (Compositor::disposalOf(f) == Disposal::Clear && m_notes[i].originOpaque)
            control.disposal = disposal::Unspecified;
        f.left = 0;
        f.top = 0;
        f.setPixels(1, 1, Bytes{0});
        if (m_image.activeColors(i).empty()) f.setLocalColors({Black});
    }

    // ---- colour tables and coding ----

    struct FrameColors {
        std::vector<std::pair<uint32_t, uint32_t>> counts; // opaque colour, pixels
    };

    // The colours each frame draws, with their pixel counts.
    std::vector<FrameColors> countColors() const {
        std::vector<FrameColors> result(m_image.frameCount());
        std::unordered_map<uint32_t, uint32_t> merged;
        for (size_t i = 0; i < m_image.frameCount(); ++i) {
            const Frame& f = m_image.frame(i);
            std::array<uint32_t, 256> histogram{};
            for (uint8_t v : f.pixels())
                ++histogram[v];
            const Palette palette = paletteOf(m_image, i);
            merged.clear();
            for (size_t k = 0; k < 256; ++k)
                if (histogram[k] && palette[k]) merged[palette[k]] += histogram[k];
            result[i].counts.assign(merged.begin(), merged.end());
        }
        return result;
    }

    // One table for as many frames as can share it: all colours when they fit, else the
    // colours of frames taken greedily, those with most colours first (they would pay
    // most for tables of their own), as long as the union fits. Most used first.
    static ColorTable chooseGlobal(const std::vector<FrameColors>& frames) {
        std::unordered_map<uint32_t, uint64_t> weight;
        for (const FrameColors& f : frames)
            for (const auto& [color, count] : f.counts)
                weight[color] += count;
        if (weight.size() > 256) {
            std::vector<size_t> order(frames.size());
            for (size_t i = 0; i < order.size(); ++i)
                order[i] = i;
            std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
                return frames[a].counts.size() > frames[b].counts.size();
            });
            std::unordered_map<uint32_t, uint64_t> chosen;
            for (size_t i : order) {
                size_t added = 0;
                for (const auto& entry : frames[i].counts)
                    added += chosen.count(entry.first) ? 0 : 1;
                if (chosen.size() + added > 256) continue;
                for (const auto& [color, count] : frames[i].counts)
                    chosen[color] += count;
            }
            weight = std::move(chosen);
        }
        std::vector<std::pair<uint32_t, uint64_t>> sorted(weight.begin(), weight.end());
        std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
            return a.second != b.second ? a.second > b.second : a.first < b.first;
        });
        ColorTable table;
        table.reserve(sorted.size());
        for (const auto& entry : sorted)
            table.push_back(rgbOf(entry.first));
        return table;
    }

    // One way to write a frame: a table (the global one or a local one) and where each
    // needed colour and the transparent index stand in it.
    struct Candidate {
        bool local = false;
        ColorTable table; // the local table; unused for the global one
        ColorIndex index; // colour -> index
        int key = -1;     // transparent index, -1 for none
        size_t tableCost = 0;
        int codeSize = 2;
        bool feasible = true;
        bool ownIndices = false; // pixels that show their colour keep their index
    };

    void code(int from, int to) {
        const size_t n = m_image.frameCount();
        ColorTable global;
        ColorIndex globalIndex;
        int globalKey = -1; // the entry added for frames whose colours fill the table
        if (m_options.colorTables) {
            global = chooseGlobal(countColors());
            globalIndex.assign(global, global.size());
        }
        const Rgb oldBackground = m_image.backgroundIndex < m_image.globalColors().size()
                                      ? m_image.globalColors()[m_image.backgroundIndex]
                                      : Black;
        std::vector<bool> usesGlobal(n, false);
        // Frames that keep the global table keep their indices into the old one until
        // the new one replaces it, after the walk; their screen is drawn from these.
        std::vector<Palette> finalPalettes;

        Screen screen(m_image.screenWidth, m_image.screenHeight);
        LzwModel model;
        Candidate local;
        Candidate shared;
        Candidate current;
        for (size_t i = 0; i < n; ++i) {
            m_progress.running(i, n, from, to);
            Frame& f = m_image.frame(i);
            if (!f.hasPixels()) continue;
            const Palette palette = paletteOf(m_image, i);
            screen.keepUnder(f);
            const Disposal disposal = Compositor::disposalOf(f);
            classify(f, palette, screen);
            m_frame = &f;

            Candidate* best = nullptr;
            if (m_options.colorTables) {
                makeLocal(local);
                makeShared(shared, global, globalIndex);
                // With the same code size the global table codes the frame alike and
                // costs nothing more; only a smaller local table can pay for itself.
                const bool tryLocal =
                    local.feasible && (!shared.feasible || local.codeSize < shared.codeSize);
                if (shared.feasible && tryLocal)
                    best = choose({&shared, &local}, model);
                else if (shared.feasible)
                    best = choose({&shared}, model);
                else if (tryLocal)
                    best = choose({&local}, model);
                if (!best) {
                    // Neither fits (only a frame whose pixels are all needed in 256
                    // colours and transparency can get here): it keeps its own table.
                    makeCurrent(current, i);
                    best = choose({&current}, model);
                }
            } else {
                makeCurrent(current, i);
                best = choose({&current}, model);
            }
            apply(i, *best);
            if (m_options.colorTables && !best->local) {
                usesGlobal[i] = true;
                if (best->key >= int(global.size())) globalKey = best->key;
            }
            // The screen is drawn from the colours the frame now shows.
            Palette shown;
            if (usesGlobal[i]) {
                shown.fill(OpaqueBlack);
                for (size_t k = 0; k < global.size(); ++k)
                    shown[k] = argbOf(global[k]);
                const GraphicControl* gc = f.graphicControl();
                if (gc && gc->transparent) shown[gc->transparentIndex] = 0;
            } else {
                shown = paletteOf(m_image, i);
            }
            screen.step(f, shown, disposal);
        }
        if (m_options.colorTables)
            installGlobal(std::move(global), globalKey, usesGlobal, oldBackground);
    }

    // Sorts the pixels of the frame by what they may be written as, from the screen
    // under the frame: m_need and m_color (the colour shown, for Color and Either).
    void classify(const Frame& f, const Palette& palette, const Screen& screen) {
        const int w = f.width();
        const int h = f.height();
        const Box& vis = screen.kept();
        m_palette = palette;
        m_need.assign(size_t(w) * size_t(h), Need::Anything);
        m_color.resize(size_t(w) * size_t(h));
        std::array<uint32_t, 256> histogram{}; // pixels that must show their colour, by index
        size_t either = 0;
        size_t empty = 0;
        for (int fy = 0; fy < h; ++fy) {
            const int y = f.top + fy;
            if (y < vis.y0 || y >= vis.y1) continue;
            const uint8_t* src = f.pixels().data() + size_t(fy) * w;
            const uint32_t* under = screen.underRow(y);
            Need* need = m_need.data() + size_t(fy) * w;
            uint32_t* color = m_color.data() + size_t(fy) * w;
            const int end = std::min(w, vis.x1 - f.left);
            for (int fx = 0; fx < end; ++fx) {
                const uint32_t v = palette[src[fx]];
                const uint32_t u = under[f.left + fx - vis.x0];
                if (v != 0) {
                    color[fx] = v;
                    if (m_options.merge && v == u) {
                        need[fx] = Need::Either;
                        ++either;
                    } else {
                        need[fx] = Need::Color;
                        ++histogram[src[fx]];
                    }
                } else if (m_options.merge && u != 0) {
                    color[fx] = u;
                    need[fx] = Need::Either;
                    ++either;
                } else {
                    need[fx] = Need::Transparent;
                    ++empty;
                }
            }
        }
        // Colours that must be shown, with their pixel counts, and how many pixels may
        // or must be transparent.
        m_emptyCount = empty;
        m_clearCount =
            m_need.size() - std::accumulate(histogram.begin(), histogram.end(), size_t(0));
        (void)either;
        m_counter.clear();
        for (size_t k = 0; k < 256; ++k)
            if (histogram[k]) m_counter.add(palette[k], histogram[k]);
        m_colorCounts = m_counter.sorted();
    }

    // The colours of the pixels that may be transparent or their colour.
    ColorCounter& eitherColors() {
        m_eitherColors.clear();
        for (size_t k = 0; k < m_need.size(); ++k)
            if (m_need[k] == Need::Either) m_eitherColors.add(m_color[k], 0);
        return m_eitherColors;
    }

    // A local table of exactly the colours the frame must show, most used first, with a
    // transparent entry placed by how many pixels may take it.
    void makeLocal(Candidate& c) const {
        c.local = true;
        c.feasible = true;
        c.table.clear();
        c.key = -1;
        if (m_colorCounts.size() + (m_clearCount > 0 ? 1 : 0) > 256) {
            // No room for a transparent entry: pixels that repeat the screen are drawn in
            // their colour, which then needs an entry; pixels that must stay transparent
            // cannot be drawn at all.
            for (const auto& entry : m_colorCounts)
                c.table.push_back(rgbOf(entry.first));
            c.index.assign(c.table, c.table.size());
            ColorCounter& either = const_cast<Optimizer*>(this)->eitherColors();
            bool fits = m_emptyCount == 0 && !either.full();
            for (const auto& entry : either.sorted()) {
                if (c.index.find(entry.first) >= 0) continue;
                if (c.table.size() >= 256) {
                    fits = false;
                    break;
                }
                c.index.insert(entry.first, int(c.table.size()));
                c.table.push_back(rgbOf(entry.first));
            }
            c.feasible = fits;
            c.tableCost = 3 * paddedSize(c.table.size());
            c.codeSize = minimumCodeSize({}, paddedSize(c.table.size()));
            return;
        }
        for (const auto& [color, count] : m_colorCounts) {
            if (c.key < 0 && m_clearCount > 0 && m_clearCount >= count) {
                c.key = int(c.table.size());
                c.table.push_back(Black);
            }
            c.table.push_back(rgbOf(color));
        }
        if (c.key < 0 && m_clearCount > 0) {
            c.key = int(c.table.size());
            c.table.push_back(Black);
        }
        if (c.table.empty()) c.table.push_back(Black);
        // The transparent entry is black too, but no colour may be looked up to it.
        c.index.clear();
        for (size_t k = 0; k < c.table.size(); ++k)
            if (int(k) != c.key) c.index.insert(argbOf(c.table[k]), int(k));
        const size_t padded = paddedSize(c.table.size());
        c.tableCost = 3 * padded;
        c.codeSize = minimumCodeSize({}, padded);
    }

    // The global table, when it holds every colour the frame must show; the transparent
    // index is the first entry the frame does not need, or one past the table.
    void makeShared(Candidate& c, const ColorTable& global, const ColorIndex& globalIndex) const {
        c.local = false;
        c.tableCost = 0;
        c.feasible = !global.empty() && m_colorCounts.size() <= global.size();
        c.key = -1;
        if (!c.feasible) return;
        std::array<bool, 256> taken{};
        for (const auto& entry : m_colorCounts) {
            const int k = globalIndex.find(entry.first);
            if (k < 0) {
                c.feasible = false;
                return;
            }
            taken[size_t(k)] = true;
        }
        size_t size = global.size();
        if (m_clearCount > 0) {
            for (size_t k = 0; k < 256 && c.key < 0; ++k)
                if (!taken[k]) c.key = int(k);
            if (c.key < 0) {
                c.feasible = false;
                return;
            }
            size = std::max(size, size_t(c.key) + 1);
        }
        c.index = globalIndex;
        c.codeSize = minimumCodeSize({}, paddedSize(size));
    }

    // The frame's own table, as it stands (colour tables are not being optimized).
    void makeCurrent(Candidate& c, size_t i) const {
        const Frame& f = m_image.frame(i);
        const ColorTable& table = m_image.activeColors(i);
        // With colour tables being rebuilt the frame takes a copy of its table, since the
        // global one is about to change.
        c.local = m_options.colorTables || !f.localColors().empty();
        c.table = table;
        c.ownIndices = true;
        c.feasible = true;
        c.tableCost = 0;
        const GraphicControl* gc = f.graphicControl();
        c.key = gc && gc->transparent ? gc->transparentIndex : -1;
        c.index.assign(table, table.size());
        uint8_t highest = 0;
        for (uint8_t v : f.pixels())
            highest = std::max(highest, v);
        c.codeSize = minimumCodeSize(std::span<const uint8_t>(&highest, 1),
                                     table.empty() ? 0 : paddedSize(table.size()));
    }

    // The two ways of writing each pixel for the candidate: m_primary with pixels that
    // may be transparent transparent, m_alternate with them in their colour where the
    // table has it. Returns whether any pixel has a choice.
    bool prepare(const Candidate& c) {
        const size_t count = m_need.size();
        m_primary.resize(count);
        m_alternate.resize(count);
        const uint8_t* src = m_frame->pixels().data();
        // The candidate's index for each of the frame's own indices that draws a colour.
        std::array<int16_t, 256> lut;
        for (size_t j = 0; j < 256; ++j)
            lut[j] = int16_t(m_palette[j] == 0 ? -1
                             : c.ownIndices    ? int(j)
                                               : c.index.find(m_palette[j]));
        const uint8_t key = uint8_t(c.key >= 0 ? c.key : 0);
        const uint8_t anything =
            c.key >= 0 ? key : 0; // off the screen: any index in the table will do
        uint32_t lastColor = 0;
        int lastIndex = -1;
        bool choices = false;
        for (size_t k = 0; k < count; ++k) {
            uint8_t p;
            uint8_t a;
            switch (m_need[k]) {
            case Need::Color: // always in the table
                p = a = uint8_t(lut[src[k]]);
                break;
            case Need::Transparent:
                p = a = key;
                break;
            case Need::Either: {
                int shown;
                if (m_palette[src[k]] != 0) {
                    shown = lut[src[k]];
                } else {
                    if (m_color[k] != lastColor) {
                        lastColor = m_color[k];
                        lastIndex = c.index.find(lastColor);
                    }
                    shown = lastIndex;
                }
                if (c.key < 0) {
                    p = a = uint8_t(shown >= 0 ? shown : src[k]);
                } else {
                    p = key;
                    a = shown >= 0 ? uint8_t(shown) : key;
                }
                break;
            }
            default:
                p = a = c.key < 0 && c.ownIndices ? src[k] : anything;
                break;
            }
            m_primary[k] = p;
            m_alternate[k] = a;
            choices = choices || p != a;
        }
        return choices;
    }

    // Ways of writing the prepared pixels that may be transparent or their colour:
    //  - steered: the LZW model picks per pixel, preferring transparency where its table
    //    knows neither; suits long stretches of unchanged screen;
    //  - colour first: the same, but pixels in short stretches prefer their colour;
    //    suits scattered unchanged pixels in a picture that changes all over
    //    (photographs, fades), where transparency would only break the strings;
    //  - plain: every such pixel in its colour.
    // Each frame is written the way that codes shortest.
    enum class Way { Steered, ColorFirst, Plain };

    // Writes pixels [from, to) one way into out[from, to) and returns the coded bits.
    size_t write(const Candidate& c, LzwModel& model, Way way, size_t from, size_t to,
                 uint8_t* out) {
        const size_t n = to - from;
        switch (way) {
        case Way::Steered:
            return model.choose({m_primary.data() + from, n}, {m_alternate.data() + from, n},
                                c.codeSize, out + from);
        case Way::ColorFirst:
            return model.choose({m_swapped.data() + from, n}, {m_swappedAlt.data() + from, n},
                                c.codeSize, out + from);
        case Way::Plain:
            break;
        }
        std::copy_n(m_alternate.data() + from, n, out + from);
        return model.codedBits({m_alternate.data() + from, n}, c.codeSize);
    }

    // The ways worth trying for the prepared pixels; colour first is left out where it
    // would write the same as steered (no short stretches).
    std::vector<Way> waysFor(bool choices) {
        if (!choices) return {Way::Plain};
        const size_t count = m_primary.size();
        m_swapped.assign(m_primary.begin(), m_primary.end());
        m_swappedAlt.assign(m_alternate.begin(), m_alternate.end());
        bool anyShort = false;
        size_t k = 0;
        while (k < count) {
            if (m_swapped[k] == m_swappedAlt[k]) {
                ++k;
                continue;
            }
            size_t end = k;
            while (end < count && m_swapped[end] != m_swappedAlt[end])
                ++end;
            if (end - k < ShortRun) {
                anyShort = true;
                for (size_t j = k; j < end; ++j)
                    std::swap(m_swapped[j], m_swappedAlt[j]);
            }
            k = end;
        }
        // Plain before colour first: on a tie it needs no coding to produce.
        if (anyShort) return {Way::Steered, Way::Plain, Way::ColorFirst};
        return {Way::Steered, Way::Plain};
    }

    // Coded bits for the whole frame one way, measured exactly on small frames and
    // estimated from evenly spread samples on large ones (a quarter of the frame, within
    // limits), where trying every way in full would cost several codings of the frame.
    size_t measure(const Candidate& c, LzwModel& model, Way way) {
        const size_t count = m_primary.size();
        m_trialPixels.resize(count);
        if (!sampled(count)) return write(c, model, way, 0, count, m_trialPixels.data());
        const size_t chunks = std::clamp(count / 4 / SampleChunk, MinSamples, MaxSamples);
        size_t bits = 0;
        for (size_t k = 0; k < chunks; ++k) {
            const size_t from = (count - SampleChunk) * k / (chunks - 1);
            bits += write(c, model, way, from, from + SampleChunk, m_trialPixels.data());
        }
        return size_t(double(bits) * double(count) / double(SampleChunk * chunks));
    }

    static bool sampled(size_t count) { return count > SampleChunk * MinSamples; }

    // Chooses the candidate (the global table, a local one) that writes the frame in the
    // fewest bytes, its table included, then the way of writing that codes shortest with
    // it, and leaves the frame's new pixels in m_bestPixels.
    Candidate* choose(std::initializer_list<Candidate*> candidates, LzwModel& model) {
        // The table: between two, the steered way decides.
        Candidate* table = *candidates.begin();
        size_t steeredBits = 0;
        bool haveSteered = false;
        if (candidates.size() > 1) {
            size_t bestCost = SIZE_MAX;
            for (Candidate* c : candidates) {
                prepare(*c);
                const size_t bits = measure(*c, model, Way::Steered);
                const size_t cost = LzwModel::dataBytes(bits) + c->tableCost;
                if (cost < bestCost) {
                    bestCost = cost;
                    table = c;
                    steeredBits = bits;
                    m_bestPixels.swap(m_trialPixels);
                }
            }
            haveSteered = !sampled(m_primary.size());
        }
        // The way of writing, for that table.
        const std::vector<Way> ways = waysFor(prepare(*table));
        if (ways.size() == 1) {
            m_bestPixels.assign(m_alternate.begin(), m_alternate.end());
            return table;
        }
        const bool exact = !sampled(m_primary.size());
        Way bestWay = Way::Steered;
        size_t bestBits = SIZE_MAX;
        for (Way way : ways) {
            if (way == Way::Steered && haveSteered) {
                bestBits = steeredBits; // measured above, its pixels in m_bestPixels
                continue;
            }
            const size_t bits = measure(*table, model, way);
            if (bits < bestBits) {
                bestBits = bits;
                bestWay = way;
                if (exact) m_bestPixels.swap(m_trialPixels);
            }
        }
        if (!exact) {
            if (bestWay == Way::Plain) {
                m_bestPixels.assign(m_alternate.begin(), m_alternate.end());
            } else {
                m_bestPixels.resize(m_primary.size());
                write(*table, model, bestWay, 0, m_primary.size(), m_bestPixels.data());
            }
        }
        return table;
    }

    void apply(size_t i, const Candidate& c) {
        Frame& f = m_image.frame(i);
        Bytes pixels(m_bestPixels.begin(), m_bestPixels.begin() + ptrdiff_t(m_need.size()));
        const bool keyUsed =
            c.key >= 0 && std::find(pixels.begin(), pixels.end(), uint8_t(c.key)) != pixels.end();
        if (m_options.colorTables) {
            if (c.local) {
                ColorTable table = c.table;
                if (c.key >= 0 && size_t(c.key) < table.size() && !keyUsed) {
                    // The transparent entry went unused: take it out.
                    table.erase(table.begin() + c.key);
                    for (uint8_t& v : pixels)
                        if (v > c.key) --v;
                    if (table.empty()) table.push_back(Black);
                }
                f.setLocalColors(std::move(table));
            } else {
                f.setLocalColors({});
            }
        }
        f.setPixels(f.width(), f.height(), std::move(pixels));
        if (keyUsed) {
            GraphicControl& control = controlOf(i);
            control.transparent = true;
            control.transparentIndex = uint8_t(c.key);
        } else if (GraphicControl* gc = f.graphicControl()) {
            gc->transparent = false;
        }
    }

    // Replaces the global table by the chosen one, without the entries no frame uses,
    // renumbering the frames that use it.
    void installGlobal(ColorTable global, int globalKey, const std::vector<bool>& usesGlobal,
                       Rgb oldBackground) {
        const size_t n = m_image.frameCount();
        if (globalKey >= int(global.size())) global.resize(size_t(globalKey) + 1, Black);
        std::array<bool, 256> used{};
        for (size_t i = 0; i < n; ++i) {
            if (!usesGlobal[i]) continue;
            for (uint8_t v : m_image.frame(i).pixels())
                used[v] = true;
        }
        std::array<uint8_t, 256> renumber{};
        ColorTable compact;
        for (size_t k = 0; k < global.size(); ++k)
            if (used[k]) {
                renumber[k] = uint8_t(compact.size());
                compact.push_back(global[k]);
            }
        if (compact.size() < global.size()) {
            for (size_t i = 0; i < n; ++i) {
                if (!usesGlobal[i]) continue;
                Frame& f = m_image.frame(i);
                Bytes pixels = f.pixels();
                for (uint8_t& v : pixels)
                    v = renumber[v];
                f.setPixels(f.width(), f.height(), std::move(pixels));
                if (GraphicControl* gc = f.graphicControl(); gc && gc->transparent)
                    gc->transparentIndex = renumber[gc->transparentIndex];
            }
        }
        // The background colour keeps its entry where the new table has it.
        const auto background = std::find(compact.begin(), compact.end(), oldBackground);
        m_image.backgroundIndex =
            background != compact.end() ? uint8_t(background - compact.begin()) : 0;
        m_image.setGlobalColors(std::move(compact));
    }

    // ---- clean-up (third part) ----

    // A graphic control record that asks for nothing a frame without one would not do
    // is removed: no delay (or a single frame, which is never timed), no transparency, no
    // wait for input, and a disposal that leaves the picture (or a single frame, after
    // which nothing is drawn).
    void dropIdleControls() {
        const size_t n = m_image.frameCount();
        for (size_t i = 0; i < n; ++i) {
            Frame& f = m_image.frame(i);
            const GraphicControl* gc = f.graphicControl();
            if (!gc) continue;
            const bool idle = (gc->delay == 0 || n == 1) && !gc->transparent && !gc->userInput &&
                              (gc->disposal < disposal::Background || n == 1);
            if (idle) {
                std::erase(f.extensions, f.graphicControlRecord);
                f.graphicControlRecord.reset();
            }
        }
        if (n == 1)
            std::erase_if(m_image.frame(0).extensions,
                          [](const ExtensionPtr& record) { return record->isLoop(); });
        dropEmptyFrames();
    }

    GifImage& m_image;
    const OptimizeOptions& m_options;
    Progress m_progress;

    // Per frame, from reshape() or redraw() to settleVanished().
    struct Note {
        bool vanished = false;     // changes nothing on screen, nor does its disposal
        bool originOpaque = false; // (0, 0) is not transparent under the frame
        bool sameAsBefore = true;  // shows the picture the frame before it showed
    };
    std::vector<Note> m_notes;

    // Scratch space, reused from frame to frame.
    Bytes m_keep;
    std::vector<Need> m_need;
    std::vector<uint32_t> m_color;
    Palette m_palette{};
    std::vector<uint16_t> m_slots;
    std::vector<std::pair<uint32_t, uint32_t>> m_colorCounts;
    size_t m_clearCount = 0;     // pixels that may or must be transparent
    size_t m_emptyCount = 0;     // pixels that must be transparent
    ColorCounter m_eitherColors; // colours of pixels that may be drawn or left transparent
    ColorCounter m_counter;
    const Frame* m_frame = nullptr;
    Bytes m_primary;
    Bytes m_alternate;
    Bytes m_trialPixels;
    Bytes m_variantPixels;
    Bytes m_swapped;
    Bytes m_swappedAlt;
    Bytes m_bestPixels;
};

} // namespace

void optimize(GifImage& image, const OptimizeOptions& options) {
    if (uint64_t(image.screenWidth) * image.screenHeight > MaxOptimizedScreenPixels)
        throw GifError("Logical screen too large to optimize");
    Optimizer(image, options).run();
}

} // namespace vorlane::gif
