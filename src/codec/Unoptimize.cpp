// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec/Unoptimize.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "codec/ColorReduction.h"
#include "codec/Compositor.h"
#include "codec/ProgressScope.h"

namespace vorlane::gif {

namespace {

// The composed canvas holds 0 (transparent) or 0xFFrrggbb, never this value, which
// therefore marks an empty slot of the colour table below.
constexpr uint32_t NoColor = 1;
constexpr int Slots = 256;
constexpr uint64_t MaxGeneralScreenPixels = uint64_t(1) << 26;

// The colours on screen: how many pixels show each one and which palette slot it holds.
// Counting incrementally lets each frame reuse the palette of the one before and change
// only the slots of colours that came or went, so a frame costs its changed pixels plus
// one copy of the index canvas. Colours that find no free slot (more than 256 on screen)
// are counted without one until enough slots are free again.
class ScreenColors {
public:
    struct Entry {
        uint32_t color = NoColor;
        uint32_t count = 0;
        int slot = -1;
    };

    ScreenColors(uint32_t pixels, Rgb transparentRgb) : m_transparentRgb(transparentRgb) {
        m_table.resize(1024);
        for (int s = Slots - 1; s >= 0; --s)
            m_free.push_back(uint8_t(s));
        if (pixels > 0) add(0, pixels); // the empty screen takes slot 0
    }

    size_t live() const { return m_live; }
    size_t withoutSlot() const { return m_withoutSlot; }

    // Index of the colour's entry; the colour must be on screen.
    size_t find(uint32_t color) const {
        const size_t mask = m_table.size() - 1;
        size_t i = hash(color) & mask;
        while (m_table[i].color != color)
            i = (i + 1) & mask;
        return i;
    }
    int slotOf(uint32_t color) const { return m_table[find(color)].slot; }
    // The colour's slot when it is on screen, else -1.
    int slotOnScreen(uint32_t color) const {
        const Entry* e = lookup(color);
        return e && e->count > 0 ? e->slot : -1;
    }
    bool onScreen(uint32_t color) const {
        const Entry* e = lookup(color);
        return e && e->count > 0;
    }
    void remove(uint32_t color, uint32_t n) {
        Entry& e = m_table[find(color)];
        e.count -= n;
        if (e.count > 0) return;
        --m_live;
        if (e.slot >= 0) {
            m_used[size_t(e.slot)] = false;
            m_free.push_back(uint8_t(e.slot));
            e.slot = -1;
        } else {
            --m_withoutSlot;
        }
    }

    // Adds n pixels of the colour and returns its entry; `increase` adds more pixels to
    // an entry that add() returned, valid until the next add().
    size_t add(uint32_t color, uint32_t n) {
        size_t i = findOrInsert(color);
        Entry& e = m_table[i];
        if (e.count == 0) {
            ++m_live;
            if (m_free.empty()) {
                ++m_withoutSlot;
            } else {
                takeSlot(e);
            }
        }
        e.count += n;
        return i;
    }
    void increase(size_t entry, uint32_t n) { m_table[entry].count += n; }
    int slotAt(size_t entry) const { return m_table[entry].slot; }

    // Gives every colour on screen without a slot a free one; needs live() <= 256.
    void assignAll() {
        for (Entry& e : m_table)
            if (e.color != NoColor && e.count > 0 && e.slot < 0) {
                takeSlot(e);
                --m_withoutSlot;
            }
    }

    // The palette as the slots stand, up to the highest one in use.
    ColorTable palette() const {
        int highest = Slots - 1;
        while (highest > 0 && !m_used[size_t(highest)])
            --highest;
        return ColorTable(m_rgb.begin(), m_rgb.begin() + highest + 1);
    }

private:
    static size_t hash(uint32_t color) { return (color * 0x9E3779B1u) >> 7; }

    const Entry* lookup(uint32_t color) const {
        const size_t mask = m_table.size() - 1;
        for (size_t i = hash(color) & mask; m_table[i].color != NoColor; i = (i + 1) & mask)
            if (m_table[i].color == color) return &m_table[i];
        return nullptr;
    }

    void takeSlot(Entry& e) {
        e.slot = m_free.back();
        m_free.pop_back();
        m_used[size_t(e.slot)] = true;
        m_rgb[size_t(e.slot)] =
            e.color == 0 ? m_transparentRgb
                         : Rgb{uint8_t(e.color >> 16), uint8_t(e.color >> 8), uint8_t(e.color)};
    }

    size_t findOrInsert(uint32_t color) {
        size_t mask = m_table.size() - 1;
        size_t i = hash(color) & mask;
        while (m_table[i].color != color && m_table[i].color != NoColor)
            i = (i + 1) & mask;
        if (m_table[i].color == color) return i;
        // Entries whose colour left the screen stay until the table fills up; then only
        // the colours on screen move to a fresh table, sized for them.
        if ((m_filled + 1) * 2 > m_table.size()) {
            rehash();
            mask = m_table.size() - 1;
            i = hash(color) & mask;
            while (m_table[i].color != NoColor)
                i = (i + 1) & mask;
        }
        m_table[i].color = color;
        ++m_filled;
        return i;
    }

    void rehash() {
        std::vector<Entry> old = std::move(m_table);
        m_table.assign(std::max<size_t>(1024, std::bit_ceil((m_live + 1) * 4)), Entry{});
        m_filled = 0;
        const size_t mask = m_table.size() - 1;
        for (const Entry& e : old)
            if (e.color != NoColor && e.count > 0) {
                size_t i = hash(e.color) & mask;
                while (m_table[i].color != NoColor)
                    i = (i + 1) & mask;
                m_table[i] = e;
                ++m_filled;
            }
    }

    std::vector<Entry> m_table;
    size_t m_filled = 0;      // entries in the table, including those with no pixels
    size_t m_live = 0;        // colours on screen
    size_t m_withoutSlot = 0; // colours on screen without a palette slot
    std::vector<uint8_t> m_free;
    std::array<bool, Slots> m_used{};
    std::array<Rgb, Slots> m_rgb{};
    Rgb m_transparentRgb;
};

// The screen before a step, kept for the two rectangles the step may change: a (the
// previous frame's disposal) and b (the new frame), b without the part inside a.
struct Before {
    QRect a, b;
    std::vector<uint32_t> inA, inB;

    void save(const uint32_t* canvas, int width) {
        copy(canvas, width, a, inA);
        copy(canvas, width, b, inB);
    }

    // Calls f(y, x0, x1, old) for every row segment of a and b, each pixel once, with
    // old[k] the colour that pixel (x0 + k, y) had before the step.
    template <typename F> void forEachSegment(F f) const {
        if (!a.isEmpty())
            for (int y = a.top(); y <= a.bottom(); ++y)
                f(y, a.left(), a.right() + 1, inA.data() + size_t(y - a.top()) * a.width());
        if (b.isEmpty()) return;
        for (int y = b.top(); y <= b.bottom(); ++y) {
            const uint32_t* row = inB.data() + size_t(y - b.top()) * b.width();
            if (a.isEmpty() || y < a.top() || y > a.bottom() || b.right() < a.left() ||
                b.left() > a.right()) {
                f(y, b.left(), b.right() + 1, row);
                continue;
            }
            if (b.left() < a.left()) f(y, b.left(), a.left(), row);
            if (b.right() > a.right())
                f(y, a.right() + 1, b.right() + 1, row + (a.right() + 1 - b.left()));
        }
    }

private:
    static void copy(const uint32_t* canvas, int width, const QRect& r,
                     std::vector<uint32_t>& out) {
        out.resize(r.isEmpty() ? 0 : size_t(r.width()) * r.height());
        if (r.isEmpty()) return;
        for (int y = r.top(); y <= r.bottom(); ++y)
            std::memcpy(out.data() + size_t(y - r.top()) * r.width(),
                        canvas + size_t(y) * width + r.left(), size_t(r.width()) * 4);
    }
};

// The copy of a frame's records, with the graphic control reference pointing at the copy.
void copyRecords(const Frame& source, Frame& target) {
    for (const ExtensionPtr& record : source.extensions) {
        ExtensionPtr copy = record->clone();
        if (record == source.graphicControlRecord) target.graphicControlRecord = copy;
        target.extensions.push_back(std::move(copy));
    }
    if (source.graphicControlRecord && !target.graphicControlRecord)
        target.graphicControlRecord = source.graphicControlRecord->clone();
}

// The octree palette of every colour the source's frames draw, each weighted by the
// number of pixels drawing it; `distinct` receives the number of those colours.
ColorTable drawnColorsPalette(const GifImage& source, ColorReducer& reducer, int maxColors,
                              size_t& distinct) {
    std::unordered_map<uint32_t, uint64_t> drawn;
    for (size_t i = 0; i < source.frameCount(); ++i) {
        const Frame& f = source.frame(i);
        std::array<uint64_t, 256> uses{};
        for (uint8_t v : f.pixels())
            ++uses[v];
        const GraphicControl* gc = f.graphicControl();
        if (gc && gc->transparent) uses[gc->transparentIndex] = 0;
        const ColorTable& table = source.activeColors(i);
        for (size_t v = 0; v < 256; ++v)
            if (uses[v] > 0) {
                // As composition draws them: indices beyond the table are black.
                const Rgb c = v < table.size() ? table[v] : Rgb{};
                drawn[0xFF000000u | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b] += uses[v];
            }
    }
    std::vector<std::pair<uint32_t, uint32_t>> counts;
    counts.reserve(drawn.size());
    for (const auto& [color, n] : drawn)
        counts.emplace_back(color, uint32_t(std::min<uint64_t>(n, UINT32_MAX)));
    std::sort(counts.begin(), counts.end()); // the same palette whatever the map's order
    distinct = counts.size();
    return reducer.palette(counts, maxColors);
}

// Counts the colours of the whole screen afresh and writes every pixel's slot into the
// index canvas, as the step after a frame does for its changed pixels: colours left
// without a slot keep a stale index until the remap repairs them.
void recount(const uint32_t* canvas, size_t area, ScreenColors& colors, Bytes& indexCanvas,
             Rgb transparentRgb) {
    colors = ScreenColors(0, transparentRgb);
    uint32_t run = NoColor;
    uint32_t runLength = 0;
    for (size_t p = 0; p < area; ++p) {
        if (canvas[p] == run) {
            ++runLength;
            continue;
        }
        if (runLength > 0) colors.add(run, runLength);
        run = canvas[p];
        runLength = 1;
    }
    if (runLength > 0) colors.add(run, runLength);
    uint32_t last = NoColor;
    uint8_t lastSlot = 0;
    for (size_t p = 0; p < area; ++p) {
        if (canvas[p] != last) {
            last = canvas[p];
            lastSlot = uint8_t(std::max(colors.slotOf(last), 0));
        }
        indexCanvas[p] = lastSlot;
    }
}

// Makes the frame's graphic control record say which index is transparent, if any.
void setTransparency(Frame& frame, std::optional<uint8_t> transparentIndex) {
    GraphicControl* gc = frame.graphicControl();
    if (transparentIndex) {
        if (!gc || std::find(frame.extensions.begin(), frame.extensions.end(),
                             frame.graphicControlRecord) == frame.extensions.end()) {
            // Transparency only works when the record is written with the frame.
            if (!frame.graphicControlRecord)
                frame.graphicControlRecord = Extension::makeGraphicControl();
            frame.extensions.push_back(frame.graphicControlRecord);
            gc = frame.graphicControl();
        }
        gc->transparent = true;
        gc->transparentIndex = *transparentIndex;
    } else if (gc) {
        gc->transparent = false;
        gc->transparentIndex = 0;
    }
}

// Whether frame i covers the whole screen with opaque pixels that each name an entry of
// its table. Such a frame shows exactly its own pixels whatever was on screen before, so
// its indices and table serve as the composed picture as they are.
bool showsOnlyItself(const GifImage& source, size_t i, int width, int height) {
    const Frame& f = source.frame(i);
    if (f.left != 0 || f.top != 0 || f.width() != width || f.height() != height || !f.hasPixels())
        return false;
    if (const GraphicControl* gc = f.graphicControl(); gc && gc->transparent) return false;
    const size_t tableSize = source.activeColors(i).size();
    if (tableSize >= 256) return true;
    const Bytes& pixels = f.pixels();
    return *std::max_element(pixels.begin(), pixels.end()) < tableSize;
}

} // namespace

GifImage unoptimize(const GifImage& source) {
    GifImage result;
    result.screenWidth = source.screenWidth;
    result.screenHeight = source.screenHeight;
    result.backgroundIndex = source.backgroundIndex;
    result.aspect = source.aspect;
    result.colorResolution = source.colorResolution;
    // The global table stays so that the background index keeps naming its colour; every
    // new frame has a local table of its own.
    result.setGlobalColors(source.globalColors(), source.globalSorted());
    result.transparent = source.transparent;
    result.reduction = source.reduction;
    for (const ExtensionPtr& record : source.trailingExtensions)
        result.trailingExtensions.push_back(record->clone());

    const size_t n = source.frameCount();
    ProgressScope progress(source, ProgressMessage::Rendering);

    // The colour given to the entry of transparent pixels. It shows wherever the picture
    // is drawn without its transparency (the frame's own picture): the background colour
    // when the global table names one, else white.
    Rgb transparentRgb{255, 255, 255};
    if (source.backgroundIndex < source.globalColors().size())
        transparentRgb = source.globalColors()[source.backgroundIndex];

    // Frames that draw at most 255 colours in all are composed at one byte per pixel,
    // in the one table of those colours: the memory then is one canvas beside the
    // frames made (the last frame takes the canvas itself), where the general way
    // below needs a 32-bit canvas and copies of the parts each step changes.
    if (std::optional<IndexedCompositor> indexed = IndexedCompositor::make(source)) {
        const int width = indexed->width();
        const int height = indexed->height();
        ColorTable withTransparent = indexed->colors();
        withTransparent.push_back(transparentRgb);
        // The transparent entry must not share its colour with a drawn one (see below).
        withTransparent.back() =
            colorNotIn(withTransparent, indexed->transparentIndex(), transparentRgb);
        std::vector<bool> clear;
        std::vector<Bytes> pictures = indexed->composeAll(
            clear, [&](size_t done, size_t total) { progress.running(done, total); });
        for (size_t i = 0; i < n; ++i) {
            const Frame& from = source.frame(i);
            Frame frame;
            frame.interlaced = from.interlaced;
            copyRecords(from, frame);
            std::optional<uint8_t> transparentIndex;
            if (width > 0 && height > 0) {
                if (clear[i]) transparentIndex = indexed->transparentIndex();
                frame.setPixels(uint16_t(width), uint16_t(height), std::move(pictures[i]));
                // A table needs at least one entry.
                frame.setLocalColors(clear[i] || indexed->colors().empty() ? withTransparent
                                                                           : indexed->colors());
            }
            setTransparency(frame, transparentIndex);
            result.appendFrame(std::move(frame));
        }
        return result;
    }

    // More colours: a 32-bit canvas, copies of the parts each step changes, and one or
    // two index canvases, up to 14 bytes a pixel; 2^26 pixels keep that under 1 GiB.
    if (uint64_t(source.screenWidth) * source.screenHeight > MaxGeneralScreenPixels)
        throw GifLimitError("Logical screen too large to compose in more than 256 colours: "
                            "more than " +
                            std::to_string(MaxGeneralScreenPixels) + " pixels");
    Compositor compositor(source);
    const int width = compositor.width();
    const int height = compositor.height();
    const size_t area = size_t(width) * size_t(height);

    ScreenColors colors(uint32_t(area), transparentRgb);
    Bytes indexCanvas(area, 0);
    Before before;
    // For frames with more than 256 colours on screen.
    ColorReducer reducer;
    std::optional<ColorTable> sharedPalette;
    std::optional<NearestColor> nearest;
    Bytes reducedCanvas;
    bool reduced = false; // whether reducedCanvas shows the canvas as it stands
    // Whether the colour count and the index canvas lag behind the screen, after frames
    // that were taken over as they are.
    bool stale = false;

    for (size_t i = 0; i < n; ++i) {
        const Frame& from = source.frame(i);
        Frame frame;
        frame.interlaced = from.interlaced;
        copyRecords(from, frame);
        std::optional<uint8_t> transparentIndex;

        if (area > 0 && showsOnlyItself(source, i, width, height)) {
            // The screen still has to follow, for the frames after this one.
            compositor.compose(i);
            frame.setPixels(uint16_t(width), uint16_t(height), from.pixels());
            frame.setLocalColors(source.activeColors(i));
            stale = true;
            reduced = false;
        } else if (area > 0) {
            const uint32_t* canvas = nullptr;
            if (stale) {
                canvas = compositor.compose(i);
                recount(canvas, area, colors, indexCanvas, transparentRgb);
            } else {
                if (i == 0) {
                    before.a = QRect();
                    before.b = compositor.frameRect(0);
                    before.inB.assign(size_t(before.b.width()) * before.b.height(), 0);
                } else {
                    std::tie(before.a, before.b) = compositor.stepRects(i);
                    before.save(compositor.compose(i - 1), width);
                }
                canvas = compositor.compose(i);

                // Colours that left go first, so that their slots are free for those that came.
                uint32_t run = NoColor;
                uint32_t runLength = 0;
                before.forEachSegment([&](int y, int x0, int x1, const uint32_t* old) {
                    const uint32_t* now = canvas + size_t(y) * width + x0;
                    for (int k = 0; k < x1 - x0; ++k) {
                        if (old[k] == now[k]) continue;
                        if (old[k] == run) {
                            ++runLength;
                            continue;
                        }
                        if (runLength > 0) colors.remove(run, runLength);
                        run = old[k];
                        runLength = 1;
                    }
                });
                if (runLength > 0) colors.remove(run, runLength);

                run = NoColor;
                runLength = 0;
                size_t entry = 0;
                uint8_t slot = 0;
                before.forEachSegment([&](int y, int x0, int x1, const uint32_t* old) {
                    const uint32_t* now = canvas + size_t(y) * width + x0;
                    uint8_t* index = indexCanvas.data() + size_t(y) * width + x0;
                    for (int k = 0; k < x1 - x0; ++k) {
                        if (old[k] == now[k]) continue;
                        if (now[k] != run) {
                            if (runLength > 1) colors.increase(entry, runLength - 1);
                            run = now[k];
                            runLength = 1;
                            entry = colors.add(run, 1);
                            // A colour without a slot leaves a stale index here; the remap
                            // below repairs it before the index canvas is used again.
                            slot = uint8_t(std::max(colors.slotAt(entry), 0));
                        } else {
                            ++runLength;
                        }
                        index[k] = slot;
                    }
                });
                if (runLength > 1) colors.increase(entry, runLength - 1);
            }
            stale = false;

            Bytes pixels;
            ColorTable table;
            if (colors.live() <= size_t(Slots)) {
                if (colors.withoutSlot() > 0) {
                    colors.assignAll();
                    uint32_t last = NoColor;
                    uint8_t lastSlot = 0;
                    for (size_t p = 0; p < area; ++p) {
                        if (canvas[p] != last) {
                            last = canvas[p];
                            lastSlot = uint8_t(colors.slotOf(last));
                        }
                        indexCanvas[p] = lastSlot;
                    }
                }
                pixels = indexCanvas;
                table = colors.palette();
                if (const int t = colors.slotOnScreen(0); t >= 0) transparentIndex = uint8_t(t);
                reduced = false;
            } else {
                // More than 256 colours on screen. Such frames share one octree palette
                // of every colour the source draws (255 entries, leaving one for the
                // transparent pixels), much as reducing the whole animation to 256
                // colours first would. With the palette fixed, a second index canvas
                // follows the screen and only the changed pixels are mapped again.
                if (!sharedPalette) {
                    size_t distinct = 0;
                    sharedPalette = drawnColorsPalette(source, reducer, Slots - 1, distinct);
                    nearest.emplace(*sharedPalette, sharedPalette->size(), distinct);
                }
                const uint8_t transparentSlot = uint8_t(sharedPalette->size());
                auto map = [&](uint32_t c) { return c == 0 ? transparentSlot : (*nearest)(c); };
                if (!reduced) {
                    reducedCanvas.resize(area);
                    uint32_t last = NoColor;
                    uint8_t lastIndex = 0;
                    for (size_t p = 0; p < area; ++p) {
                        if (canvas[p] != last) {
                            last = canvas[p];
                            lastIndex = map(last);
                        }
                        reducedCanvas[p] = lastIndex;
                    }
                } else {
                    before.forEachSegment([&](int y, int x0, int x1, const uint32_t* old) {
                        const uint32_t* now = canvas + size_t(y) * width + x0;
                        uint8_t* index = reducedCanvas.data() + size_t(y) * width + x0;
                        for (int k = 0; k < x1 - x0; ++k)
                            if (old[k] != now[k]) index[k] = map(now[k]);
                    });
                }
                table = *sharedPalette;
                if (colors.onScreen(0)) {
                    table.push_back(transparentRgb);
                    transparentIndex = transparentSlot;
                }
                reduced = true;
                pixels = reducedCanvas;
            }
            // The transparent entry must not share its colour with a drawn one: a frame
            // drawn without its transparency (Duplicate, Copy) would otherwise show those
            // pixels as part of the picture.
            if (transparentIndex)
                table[*transparentIndex] =
                    colorNotIn(table, *transparentIndex, table[*transparentIndex]);
            frame.setPixels(uint16_t(width), uint16_t(height), std::move(pixels));
            frame.setLocalColors(std::move(table));
        }

        setTransparency(frame, transparentIndex);
        result.appendFrame(std::move(frame));

        progress.running(i + 1, n);
    }
    return result;
}

} // namespace vorlane::gif
