// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/Quantize.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <libimagequant.h>
#include <unordered_map>
#include <vector>

#include "codec/ColorReduction.h"

namespace vorlane::exporting {

namespace {

// The picture as RGBA bytes for the library, alpha made all or nothing: GIF draws a
// pixel or leaves it, and a half-transparent palette entry would only be guessed at.
std::vector<uint8_t> rgbaOf(const QImage& picture) {
    const int w = picture.width();
    const int h = picture.height();
    std::vector<uint8_t> rgba(size_t(w) * size_t(h) * 4);
    uint8_t* out = rgba.data();
    for (int y = 0; y < h; ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(picture.constScanLine(y));
        for (int x = 0; x < w; ++x, out += 4) {
            const uint32_t v = row[x];
            if ((v >> 24) < 128) {
                out[0] = out[1] = out[2] = out[3] = 0;
                continue;
            }
            out[0] = uint8_t(v >> 16);
            out[1] = uint8_t(v >> 8);
            out[2] = uint8_t(v);
            out[3] = 255;
        }
    }
    return rgba;
}

// The distinct colours (0xRRGGBB) of opaque pixels, while there are at most a limit.
class ColourSet {
public:
    explicit ColourSet(size_t limit) : m_limit(limit) {}
    // False once more than the limit were seen.
    bool add(const QImage& picture, bool& transparent) {
        const int w = picture.width();
        for (int y = 0; y < picture.height(); ++y) {
            const uint32_t* row = reinterpret_cast<const uint32_t*>(picture.constScanLine(y));
            uint32_t last = 0xFFFFFFFFu;
            for (int x = 0; x < w; ++x) {
                const uint32_t v = row[x];
                if ((v >> 24) < 128) {
                    transparent = true;
                    continue;
                }
                const uint32_t c = v & 0xFFFFFF;
                if (c == last) continue;
                last = c;
                if (m_index.emplace(c, uint8_t(m_colors.size())).second) {
                    m_colors.push_back(c);
                    if (m_colors.size() > m_limit) return false;
                }
            }
        }
        return true;
    }
    const std::vector<uint32_t>& colors() const { return m_colors; }
    uint8_t indexOf(uint32_t c) const { return m_index.at(c); }

private:
    size_t m_limit;
    std::vector<uint32_t> m_colors;
    std::unordered_map<uint32_t, uint8_t> m_index;
};

// Pixels with the table's exact colours.
IndexedPicture exactPicture(const QImage& picture, const ColourSet& set, bool transparent) {
    IndexedPicture out;
    out.width = picture.width();
    out.height = picture.height();
    out.indices.resize(size_t(out.width) * size_t(out.height));
    for (uint32_t c : set.colors())
        out.colors.push_back({uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    if (transparent) {
        out.transparent = uint8_t(out.colors.size());
        out.colors.push_back(gif::colorNotIn(out.colors, out.colors.size(), {255, 255, 255}));
    }
    uint8_t* dst = out.indices.data();
    for (int y = 0; y < out.height; ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(picture.constScanLine(y));
        uint32_t last = 0xFFFFFFFFu;
        uint8_t lastIndex = 0;
        for (int x = 0; x < out.width; ++x) {
            const uint32_t v = row[x];
            if ((v >> 24) < 128) {
                *dst++ = *out.transparent;
                continue;
            }
            const uint32_t c = v & 0xFFFFFF;
            if (c != last) {
                last = c;
                lastIndex = set.indexOf(c);
            }
            *dst++ = lastIndex;
        }
    }
    return out;
}

// An 8 x 8 Bayer matrix: thresholds 0..63 spread evenly over every 2^k x 2^k block.
constexpr std::array<uint8_t, 64> Bayer = {
    0,  32, 8,  40, 2,  34, 10, 42, 48, 16, 56, 24, 50, 18, 58, 26, 12, 44, 4,  36, 14, 46,
    6,  38, 60, 28, 52, 20, 62, 30, 54, 22, 3,  35, 11, 43, 1,  33, 9,  41, 51, 19, 59, 27,
    49, 17, 57, 25, 15, 47, 7,  39, 13, 45, 5,  37, 63, 31, 55, 23, 61, 29, 53, 21};

struct Liq {
    liq_attr* attr = nullptr;
    liq_histogram* histogram = nullptr;
    liq_result* shared = nullptr;
    ~Liq() {
        if (shared) liq_result_destroy(shared);
        if (histogram) liq_histogram_destroy(histogram);
        if (attr) liq_attr_destroy(attr);
    }
};

void check(liq_error error) {
    if (error == LIQ_OK) return;
    if (error == LIQ_OUT_OF_MEMORY) throw gif::GifError("Not enough memory to reduce the colours");
    throw gif::GifError("The colours could not be reduced (libimagequant error " +
                        std::to_string(int(error)) + ")");
}

class LiqImage {
public:
    LiqImage(liq_attr* attr, const std::vector<uint8_t>& rgba, int w, int h)
        : m_image(liq_image_create_rgba(attr, rgba.data(), w, h, 0)) {
        if (!m_image) throw gif::GifError("The colours could not be reduced");
    }
    ~LiqImage() { liq_image_destroy(m_image); }
    LiqImage(const LiqImage&) = delete;
    LiqImage& operator=(const LiqImage&) = delete;
    liq_image* get() const { return m_image; }

private:
    liq_image* m_image;
};

// The library's palette as a table; entries mostly transparent become the one
// transparent entry. `remap[k]` is the table index of library entry k.
struct LiqTable {
    gif::ColorTable colors;
    std::optional<uint8_t> transparent;
    std::array<uint8_t, 256> remap{};
};

LiqTable tableOf(const liq_palette& palette) {
    LiqTable t;
    for (unsigned k = 0; k < palette.count && k < 256; ++k) {
        const liq_color c = palette.entries[k];
        if (c.a < 128) {
            if (!t.transparent) {
                t.transparent = uint8_t(t.colors.size());
                t.colors.push_back({0, 0, 0});
            }
            t.remap[k] = *t.transparent;
            continue;
        }
        t.remap[k] = uint8_t(t.colors.size());
        t.colors.push_back({c.r, c.g, c.b});
    }
    if (t.transparent)
        t.colors[*t.transparent] = gif::colorNotIn(t.colors, *t.transparent, {255, 255, 255});
    if (t.colors.empty()) t.colors.push_back({0, 0, 0});
    return t;
}

// Ordered dithering over a table: each pixel moves by its Bayer threshold, scaled to
// the typical distance between the table's colours, before its nearest entry is taken.
// The pattern stays put from frame to frame, so still areas stay still.
void orderedRemap(const QImage& picture, const LiqTable& table, uint8_t* out) {
    gif::ColorTable opaque;
    std::vector<uint8_t> back;
    for (size_t k = 0; k < table.colors.size(); ++k) {
        if (table.transparent && k == *table.transparent) continue;
        opaque.push_back(table.colors[k]);
        back.push_back(uint8_t(k));
    }
    if (opaque.empty()) {
        std::memset(out, table.transparent.value_or(0), size_t(picture.width()) * picture.height());
        return;
    }
    gif::NearestColor nearest(opaque, opaque.size(), 4096);
    const double spacing = 255.0 / std::cbrt(double(opaque.size()));
    std::array<int, 64> offset;
    for (size_t k = 0; k < 64; ++k)
        offset[k] = int(std::lround((double(Bayer[k]) + 0.5) / 64.0 * spacing - spacing / 2));
    const int w = picture.width();
    for (int y = 0; y < picture.height(); ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(picture.constScanLine(y));
        uint8_t* dst = out + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x) {
            const uint32_t v = row[x];
            if ((v >> 24) < 128) {
                dst[x] = table.transparent.value_or(0);
                continue;
            }
            const int d = offset[size_t((y & 7) * 8 + (x & 7))];
            const int r = std::clamp(int((v >> 16) & 0xFF) + d, 0, 255);
            const int g = std::clamp(int((v >> 8) & 0xFF) + d, 0, 255);
            const int b = std::clamp(int(v & 0xFF) + d, 0, 255);
            dst[x] = back[nearest(r, g, b)];
        }
    }
}

} // namespace

struct Quantizer::State {
    int colors;
    Dithering dither;
    PaletteMode mode;
    Liq liq;
    // One table for all: the colours of every picture learnt, while they fit.
    std::optional<ColourSet> exactAll;
    bool anyTransparent = false;
    bool tableMade = false;
    std::optional<LiqTable> sharedTable;

    // The picture through a library result: remapped with its dithering, or ordered.
    IndexedPicture remap(liq_result* result, const QImage& picture) {
        IndexedPicture out;
        out.width = picture.width();
        out.height = picture.height();
        const size_t area = size_t(out.width) * size_t(out.height);
        out.indices.resize(area);
        if (dither == Dithering::Ordered) {
            const LiqTable table = sharedTable ? *sharedTable : tableOf(*liq_get_palette(result));
            orderedRemap(picture, table, out.indices.data());
            out.colors = table.colors;
            out.transparent = table.transparent;
            return out;
        }
        const std::vector<uint8_t> rgba = rgbaOf(picture);
        LiqImage image(liq.attr, rgba, out.width, out.height);
        check(liq_set_dithering_level(result, dither == Dithering::FloydSteinberg ? 1.0f : 0.0f));
        check(liq_write_remapped_image(result, image.get(), out.indices.data(), area));
        // The palette after remapping: the library refines it while it remaps.
        const LiqTable table = tableOf(*liq_get_palette(result));
        for (uint8_t& v : out.indices)
            v = table.remap[v];
        out.colors = table.colors;
        out.transparent = table.transparent;
        return out;
    }
};

Quantizer::Quantizer(int colors, Dithering dither, PaletteMode mode)
    : m_state(std::make_unique<State>()) {
    State& s = *m_state;
    s.colors = std::clamp(colors, MinColors, MaxColors);
    s.dither = dither;
    s.mode = mode;
    s.liq.attr = liq_attr_create();
    if (!s.liq.attr) throw gif::GifError("Not enough memory to reduce the colours");
    check(liq_set_max_colors(s.liq.attr, s.colors));
    // Speed 5 of 1..10: the library's palettes at a fraction of the time of its
    // slowest settings, which gain little on photographs.
    check(liq_set_speed(s.liq.attr, 5));
    if (mode == PaletteMode::Global) s.exactAll.emplace(size_t(s.colors));
}

Quantizer::~Quantizer() = default;

void Quantizer::learn(const QImage& picture) {
    State& s = *m_state;
    if (s.mode != PaletteMode::Global) return;
    if (s.tableMade) throw gif::GifError("The shared colour table is made already");
    if (s.exactAll) {
        bool transparent = false;
        if (!s.exactAll->add(picture, transparent)) s.exactAll.reset();
        s.anyTransparent = s.anyTransparent || transparent;
    }
    // The library learns every picture too: whether the exact colours fit is known only
    // once all were seen.
    if (!s.liq.histogram) {
        s.liq.histogram = liq_histogram_create(s.liq.attr);
        if (!s.liq.histogram) throw gif::GifError("Not enough memory to reduce the colours");
    }
    const std::vector<uint8_t> rgba = rgbaOf(picture);
    LiqImage image(s.liq.attr, rgba, picture.width(), picture.height());
    check(liq_histogram_add_image(s.liq.histogram, s.liq.attr, image.get()));
}

IndexedPicture Quantizer::reduce(const QImage& picture) {
    State& s = *m_state;
    if (s.mode == PaletteMode::Global) {
        if (!s.tableMade) {
            s.tableMade = true;
            if (s.exactAll &&
                s.exactAll->colors().size() + (s.anyTransparent ? 1 : 0) > size_t(s.colors))
                s.exactAll.reset();
            if (!s.exactAll) {
                if (!s.liq.histogram) throw gif::GifError("No picture was learnt");
                check(liq_histogram_quantize(s.liq.histogram, s.liq.attr, &s.liq.shared));
                s.sharedTable = tableOf(*liq_get_palette(s.liq.shared));
            }
        }
        if (s.exactAll) {
            IndexedPicture out = exactPicture(picture, *s.exactAll, s.anyTransparent);
            return out;
        }
        IndexedPicture out = s.remap(s.liq.shared, picture);
        return out;
    }

    // A table of its own: its exact colours when they fit.
    ColourSet set(size_t(s.colors));
    bool transparent = false;
    if (set.add(picture, transparent) &&
        set.colors().size() + (transparent ? 1 : 0) <= size_t(s.colors))
        return exactPicture(picture, set, transparent);
    const std::vector<uint8_t> rgba = rgbaOf(picture);
    LiqImage image(s.liq.attr, rgba, picture.width(), picture.height());
    liq_result* result = nullptr;
    check(liq_image_quantize(image.get(), s.liq.attr, &result));
    IndexedPicture out;
    try {
        out = s.remap(result, picture);
    } catch (...) {
        liq_result_destroy(result);
        throw;
    }
    liq_result_destroy(result);
    return out;
}

} // namespace vorlane::exporting
