// SPDX-License-Identifier: GPL-3.0-or-later
// Colour tables and coding: every table holds only the colours its frames use, most used
// first, one global table serves the frames it covers, and each pixel that may be either
// transparent or its colour takes whichever the LZW coder codes shorter (OptimizeLzw.h
// costs the choices exactly).
//
// The screen under each frame decides what its pixels may be, so the frames are walked
// in order; the choice of table and indices for a frame needs nothing but that frame and
// what lay under it, so it is made for several frames at once on several threads, while
// the walk goes on. The screen a frame leaves does not depend on the choice (a pixel that
// may be transparent shows the colour under it either way), so the walk goes on with
// the frames as they were.

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <unordered_map>
#include <vector>

#include "codec/GifWriter.h"
#include "codec/OptimizeLzw.h"
#include "codec/OptimizeParts.h"
#include "codec/Parallel.h"

namespace vorlane::gif::optimizer {

namespace {

// Stretches of pixels that may be transparent shorter than this prefer their colour in
// the "colour first" way of writing a frame (see FrameCoder::Way).
constexpr size_t ShortRun = 16;
// Frames above ExactPixels pixels choose their table and way of writing from samples of
// SampleChunk pixels: a quarter of the frame, but at least MinSamples and at most
// MaxSamples of them. Smaller frames are measured whole: an estimate misjudges the table
// of a frame of a few hundred thousand pixels by more than a small table costs.
constexpr size_t ExactPixels = size_t(1) << 18;
constexpr size_t SampleChunk = 32768;
constexpr size_t MinSamples = 4;
constexpr size_t MaxSamples = 8;

// How a pixel may be written, once the screen under its frame is known.
enum class Need : uint8_t {
    Color,       // must show its colour
    Transparent, // must be transparent: nothing is on screen there
    Either,      // shows the colour already on screen: transparent or that colour
    Anything,    // off the screen: never seen
};

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

// The choice for one frame: what its pixels may be (classify(), in frame order), then
// the table and indices that code shortest (decide(), on any thread).
class FrameCoder {
public:
    FrameCoder(const GifImage& image, const OptimizeOptions& options)
        : m_image(image), m_options(options) {}

    // Whether the frame has pixels to code: frames without are skipped.
    bool active = false;
    size_t index = 0;

    // The table and the frame's new pixels (in bestPixels()) that code the frame in the
    // fewest bytes: the global table or a smaller local one, else the frame's own.
    const Candidate& decide(const ColorTable& global, const ColorIndex& globalIndex) {
        Candidate* best = nullptr;
        if (m_options.colorTables) {
            makeLocal(m_local);
            makeShared(m_shared, global, globalIndex);
            // With the same code size the global table codes the frame alike and costs
            // nothing more; only a smaller local table can pay for itself.
            const bool tryLocal =
                m_local.feasible && (!m_shared.feasible || m_local.codeSize < m_shared.codeSize);
            if (m_shared.feasible && tryLocal)
                best = choose({&m_shared, &m_local}, m_model);
            else if (m_shared.feasible)
                best = choose({&m_shared}, m_model);
            else if (tryLocal)
                best = choose({&m_local}, m_model);
            if (!best) {
                // Neither fits (only a frame whose pixels are all needed in 256 colours
                // and transparency can get here): it keeps its own table.
                makeCurrent(m_current, index);
                best = choose({&m_current}, m_model);
            }
        } else {
            makeCurrent(m_current, index);
            best = choose({&m_current}, m_model);
        }
        return *best;
    }

    // The pixels decide() chose, moved out.
    Bytes takePixels() {
        m_bestPixels.resize(m_need.size());
        return std::move(m_bestPixels);
    }

    // Sorts the pixels of the frame by what they may be written as, from the screen
    // under the frame: m_need and m_color (the colour shown, for Color and Either).
    void classify(const Frame& f, const Palette& palette, const Screen& screen) {
        m_frame = &f;
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
            ColorCounter& either = const_cast<FrameCoder*>(this)->eitherColors();
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
    //  - plain: every such pixel in its colour;
    //  - clear: every such pixel transparent;
    //  - colour steered: as steered, but preferring the colour where the table knows
    //    neither.
    // Each frame is written the way that codes shortest.
    enum class Way { Steered, ColorFirst, Plain, Clear, ColorSteered };

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
        case Way::Clear:
            std::copy_n(m_primary.data() + from, n, out + from);
            return model.codedBits({m_primary.data() + from, n}, c.codeSize);
        case Way::ColorSteered:
            return model.choose({m_alternate.data() + from, n}, {m_primary.data() + from, n},
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
        std::vector<Way> ways;
        ways.reserve(5);
        ways.push_back(Way::Steered);
        ways.push_back(Way::Plain);
        if (anyShort) ways.push_back(Way::ColorFirst);
        // Frames measured exactly (small ones: most of an animation's changes) try two
        // more; on large frames they have never been seen to win.
        if (!sampled(count)) {
            ways.push_back(Way::Clear);
            ways.push_back(Way::ColorSteered);
        }
        return ways;
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

    static bool sampled(size_t count) { return count > ExactPixels; }

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

    const GifImage& m_image;
    const OptimizeOptions& m_options;
    LzwModel m_model;
    Candidate m_local;
    Candidate m_shared;
    Candidate m_current;

    // Scratch space, reused from frame to frame.
    std::vector<Need> m_need;
    std::vector<uint32_t> m_color;
    Palette m_palette{};
    std::vector<std::pair<uint32_t, uint32_t>> m_colorCounts;
    size_t m_clearCount = 0;     // pixels that may or must be transparent
    size_t m_emptyCount = 0;     // pixels that must be transparent
    ColorCounter m_eitherColors; // colours of pixels that may be drawn or left transparent
    ColorCounter m_counter;
    const Frame* m_frame = nullptr;
    Bytes m_primary;
    Bytes m_alternate;
    Bytes m_trialPixels;
    Bytes m_swapped;
    Bytes m_swappedAlt;
    Bytes m_bestPixels;
};

class Coder {
public:
    Coder(GifImage& image, const OptimizeOptions& options, ProgressScope& progress)
        : m_image(image), m_options(options), m_progress(progress) {}

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

        // Frames are taken in batches. A batch is classified in order as the screen is
        // walked; then its frames are decided on several threads while one of them
        // classifies the next batch (which needs nothing the decisions change); then
        // they are applied in order. Two sets of coders take turns for that.
        uint64_t pixels = 0;
        for (const Frame& f : m_image.frames())
            pixels += f.pixels().size();
        const unsigned threads = threadsFor(pixels);
        const size_t batch = threads > 1 ? threads + 1 : 1;
        std::array<std::vector<FrameCoder>, 2> sets;
        for (std::vector<FrameCoder>& set : sets) {
            set.reserve(batch);
            for (size_t k = 0; k < batch; ++k)
                set.emplace_back(m_image, m_options);
        }
        std::vector<const Candidate*> chosen(batch, nullptr);
        Screen screen(m_image.screenWidth, m_image.screenHeight);
        auto classify = [&](std::vector<FrameCoder>& coders, size_t first) {
            for (size_t k = 0; k < batch; ++k) {
                const size_t i = first + k;
                FrameCoder& coder = coders[k];
                coder.active = i < n && m_image.frame(i).hasPixels();
                coder.index = i;
                if (!coder.active) continue;
                const Frame& f = m_image.frame(i);
                const Palette palette = paletteOf(m_image, i);
                screen.keepUnder(f);
                coder.classify(f, palette, screen);
                screen.step(f, palette, Compositor::disposalOf(f));
            }
        };
        if (n > 0) classify(sets[0], 0);
        for (size_t first = 0, turn = 0; first < n; first += batch, turn ^= 1) {
            std::vector<FrameCoder>& coders = sets[turn];
            const bool more = first + batch < n;
            // The next batch's classification first: it is the longest single item.
            const size_t offset = more ? 1 : 0;
            parallelFor(
                offset + batch,
                [&](size_t item) {
                    if (item < offset) {
                        classify(sets[turn ^ 1], first + batch);
                        return;
                    }
                    const size_t k = item - offset;
                    if (coders[k].active) chosen[k] = &coders[k].decide(global, globalIndex);
                },
                {}, threads);
            for (size_t k = 0; k < batch && first + k < n; ++k) {
                const size_t i = first + k;
                m_progress.running(i + 1, n, from, to);
                if (!coders[k].active) continue;
                const Candidate& best = *chosen[k];
                apply(i, best, coders[k].takePixels());
                if (m_options.colorTables && !best.local) {
                    usesGlobal[i] = true;
                    if (best.key >= int(global.size())) globalKey = best.key;
                }
            }
        }
        if (m_options.colorTables)
            installGlobal(std::move(global), globalKey, usesGlobal, oldBackground);
    }

private:
    struct FrameColors {
        std::vector<std::pair<uint32_t, uint32_t>> counts; // opaque colour, pixels
    };

    // The colours each frame draws, with their pixel counts.
    std::vector<FrameColors> countColors() const {
        std::vector<FrameColors> result(m_image.frameCount());
        uint64_t pixels = 0;
        for (const Frame& f : m_image.frames())
            pixels += f.pixels().size();
        parallelFor(
            m_image.frameCount(),
            [&](size_t i) {
                std::unordered_map<uint32_t, uint32_t> merged;
                const Frame& f = m_image.frame(i);
                std::array<uint32_t, 256> histogram{};
                for (uint8_t v : f.pixels())
                    ++histogram[v];
                const Palette palette = paletteOf(m_image, i);
                for (size_t k = 0; k < 256; ++k)
                    if (histogram[k] && palette[k]) merged[palette[k]] += histogram[k];
                result[i].counts.assign(merged.begin(), merged.end());
            },
            {}, threadsFor(pixels));
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

    void apply(size_t i, const Candidate& c, Bytes pixels) {
        Frame& f = m_image.frame(i);
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
            GraphicControl& control = controlOf(m_image, i);
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

    GifImage& m_image;
    const OptimizeOptions& m_options;
    ProgressScope& m_progress;
};

} // namespace

void codeFrames(GifImage& image, const OptimizeOptions& options, ProgressScope& progress, int from,
                int to) {
    Coder(image, options, progress).code(from, to);
}

} // namespace vorlane::gif::optimizer
