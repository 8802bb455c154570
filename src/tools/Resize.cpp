// SPDX-License-Identifier: GPL-3.0-or-later
// Separable resampling: each axis has a list of taps (source pixels and weights) per
// new pixel; the rows are resampled across, then the resampled rows down. Colours are
// premultiplied floats, a drawn pixel being (r, g, b, 1) and a clear one (0, 0, 0, 0).

#include "tools/Resize.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cmath>
#include <numbers>
#include <optional>
#include <unordered_map>
#include <vector>

#include "codec/ColorReduction.h"
#include "codec/GifReader.h"
#include "tools/Frames.h"

namespace vorlane::tools {

using namespace vorlane::gif;
using detail::ShownFrames;
using detail::Steps;

namespace {

constexpr int MaxSide = 65535;

struct Premultiplied {
    float r = 0, g = 0, b = 0, a = 0;
};

// For every new pixel along one axis, the source pixels it takes and their weights.
struct Taps {
    int size = 0; // taps per new pixel; unused ones have weight 0
    std::vector<int> first;
    std::vector<float> weights; // size per new pixel

    const float* weightsOf(int o) const { return weights.data() + size_t(o) * size; }
};

double cubic(double x) {
    // Catmull-Rom: the cubic through the samples with their central slopes.
    x = std::abs(x);
    if (x < 1) return 1.5 * x * x * x - 2.5 * x * x + 1;
    if (x < 2) return -0.5 * x * x * x + 2.5 * x * x - 4 * x + 2;
    return 0;
}

double sinc(double x) {
    if (x == 0) return 1;
    const double px = std::numbers::pi * x;
    return std::sin(px) / px;
}

double lanczos3(double x) {
    return std::abs(x) < 3 ? sinc(x) * sinc(x / 3) : 0;
}

// Taps from `in` pixels to `out`. Sources beyond the edges are the edge pixels.
Taps tapsFor(int in, int out, ResizeFilter filter) {
    const double scale = double(out) / in;
    if (filter == ResizeFilter::Auto)
        filter = scale < 1 ? ResizeFilter::Area : ResizeFilter::Bicubic;
    std::vector<std::vector<std::pair<int, double>>> lists(static_cast<size_t>(out));
    for (int o = 0; o < out; ++o) {
        std::vector<std::pair<int, double>>& list = lists[size_t(o)];
        auto add = [&](int j, double w) {
            j = std::clamp(j, 0, in - 1);
            if (!list.empty() && list.back().first == j)
                list.back().second += w;
            else
                list.emplace_back(j, w);
        };
        if (out == in) {
            add(o, 1);
        } else if (filter == ResizeFilter::Area) {
            // The new pixel covers [begin, end) of the source.
            const double begin = o / scale;
            const double end = (o + 1) / scale;
            for (int j = int(std::floor(begin)); j < end; ++j) {
                const double w = std::min(end, j + 1.0) - std::max(begin, double(j));
                if (w > 0) add(j, w);
            }
        } else {
            const double radius = filter == ResizeFilter::Lanczos ? 3 : 2;
            // Shrinking widens the kernel to the new pixel's footprint, which keeps it
            // from aliasing.
            const double stretch = std::min(1.0, scale);
            const double centre = (o + 0.5) / scale;
            const double reach = radius / stretch;
            for (int j = int(std::floor(centre - reach)); j <= int(std::ceil(centre + reach));
                 ++j) {
                const double x = (j + 0.5 - centre) * stretch;
                const double w = filter == ResizeFilter::Lanczos ? lanczos3(x) : cubic(x);
                if (w != 0) add(j, w);
            }
        }
    }
    Taps taps;
    // A tap of weight 0 inside the kernel leaves a gap in a list: the span counts.
    for (const auto& list : lists)
        taps.size = std::max(taps.size, list.back().first - list.front().first + 1);
    taps.first.resize(size_t(out));
    taps.weights.assign(size_t(out) * taps.size, 0.0f);
    for (int o = 0; o < out; ++o) {
        const auto& list = lists[size_t(o)];
        double sum = 0;
        for (const auto& [j, w] : list)
            sum += w;
        // The taps run from the first source pixel on, in order; the edge pixels have
        // gathered the weights beyond them.
        const int first = list.front().first;
        taps.first[size_t(o)] = first;
        float* weights = taps.weights.data() + size_t(o) * taps.size;
        for (const auto& [j, w] : list)
            weights[j - first] += float(w / sum);
    }
    return taps;
}

// The new pixels whose taps reach the source pixels first..last, along one axis.
struct Reach {
    std::vector<int> lowest;  // per source pixel: the lowest new pixel taking it, or INT_MAX
    std::vector<int> highest; // and the highest, or -1

    Reach(const Taps& taps, int in) : lowest(size_t(in), INT_MAX), highest(size_t(in), -1) {
        for (int o = 0; o < int(taps.first.size()); ++o)
            for (int k = 0; k < taps.size && taps.first[size_t(o)] + k < in; ++k) {
                const size_t j = size_t(taps.first[size_t(o)] + k);
                lowest[j] = std::min(lowest[j], o);
                highest[j] = std::max(highest[j], o);
            }
    }
    // [from, to] of the new pixels; to < from when none.
    std::pair<int, int> of(int first, int last) const {
        int from = INT_MAX, to = -1;
        for (int j = first; j <= last; ++j) {
            from = std::min(from, lowest[size_t(j)]);
            to = std::max(to, highest[size_t(j)]);
        }
        return {from, to};
    }
};

// The frame's colours as premultiplied floats, clear for its transparent index.
std::array<Premultiplied, 256> premultiplied(const GifImage& image, size_t i) {
    const detail::DrawnColors drawn = detail::drawnColors(image, i);
    std::array<Premultiplied, 256> colors{};
    for (size_t v = 0; v < 256; ++v)
        if (const uint32_t c = drawn[v]; c != 0)
            colors[v] = {float((c >> 16) & 0xFF), float((c >> 8) & 0xFF), float(c & 0xFF), 1.0f};
    return colors;
}

// Computes the new pixels in `part` (new coordinates) of the picture, 0xAARRGGBB with 0
// for clear, from the source pixels. Every new pixel is computed the same way whatever
// the part, so a picture made in parts equals one made whole.
class Resampler {
public:
    Resampler(const Taps& across, const Taps& down, int width, int height)
        : m_across(across), m_down(down), m_width(width), m_height(height) {}

    // The taps are whole blocks of fx x fy source pixels of equal weight (area
    // averaging by whole factors, fx * fy <= 256): new pixels are summed in integers
    // then, to the same values the general way gives.
    void useBlocks(int fx, int fy) {
        m_blockX = fx;
        m_blockY = fy;
        const uint32_t area = uint32_t(fx * fy);
        // (n * m_reciprocal[d]) >> 40 is n / d for n < 2^18 and d <= 2 * area.
        m_reciprocal.assign(2 * area + 1, 0);
        for (uint64_t d = 1; d <= 2 * area; ++d)
            m_reciprocal[d] = ((uint64_t(1) << 40) + d - 1) / d;
    }

    void run(const uint8_t* pixels, const std::array<Premultiplied, 256>& colors, const QRect& part,
             uint32_t* picture, int newWidth) {
        if (m_blockX > 0) {
            runBlocks(pixels, colors, part, picture, newWidth);
            return;
        }
        // In bands of new rows whose source rows, resampled across, stay in the cache
        // (about 512 KiB) between the two passes; a band's pixels are computed as the
        // whole part's would be.
        const size_t rowBytes = 16 * size_t(part.width());
        const int sourceRowsPerRow = std::max(1, (m_height + int(m_down.first.size()) - 1) /
                                                     std::max(1, int(m_down.first.size())));
        const int band =
            std::max(8, int((size_t(512) << 10) / (rowBytes * size_t(sourceRowsPerRow) + 1)));
        for (int y = part.top(); y <= part.bottom(); y += band)
            runBand(pixels, colors,
                    QRect(part.left(), y, part.width(), std::min(band, part.bottom() - y + 1)),
                    picture, newWidth);
    }

private:
    void runBlocks(const uint8_t* pixels, const std::array<Premultiplied, 256>& colors,
                   const QRect& part, uint32_t* picture, int newWidth) {
        // Each colour as four 16-bit fields (r, g, b and 1 when drawn), so that one
        // addition sums all four; a block's sums stay below 2^16.
        std::array<uint64_t, 256> packed;
        for (size_t v = 0; v < 256; ++v)
            packed[v] = uint64_t(colors[v].r) | uint64_t(colors[v].g) << 16 |
                        uint64_t(colors[v].b) << 32 | uint64_t(colors[v].a) << 48;
        const int fx = m_blockX;
        const int fy = m_blockY;
        const uint64_t area = uint64_t(fx) * uint64_t(fy);
        // log2 of a power-of-two area, else -1; half of it added to each field rounds
        // half up, as (2 * sum + area) / (2 * area) does.
        const int areaShift = std::has_single_bit(area) ? std::countr_zero(area) : -1;
        const uint64_t half = area / 2;
        const uint64_t roundings = half | half << 16 | half << 32;
        const int columns = part.width();
        m_sums.resize(size_t(columns));
        uint64_t* __restrict sums = m_sums.data();
        for (int y = part.top(); y <= part.bottom(); ++y) {
            std::fill(m_sums.begin(), m_sums.end(), 0);
            for (int dy = 0; dy < fy; ++dy) {
                const uint8_t* source =
                    pixels + size_t(y * fy + dy) * m_width + size_t(part.left()) * fx;
                if (fx == 2) {
                    for (int x = 0; x < columns; ++x)
                        sums[x] += packed[source[2 * x]] + packed[source[2 * x + 1]];
                } else {
                    for (int x = 0; x < columns; ++x)
                        for (int dx = 0; dx < fx; ++dx)
                            sums[x] += packed[source[x * fx + dx]];
                }
            }
            uint32_t* target = picture + size_t(y) * newWidth + part.left();
            for (int x = 0; x < columns; ++x) {
                const uint64_t v = sums[x];
                const uint64_t count = v >> 48;
                if (count == area && areaShift >= 0) {
                    // Wholly covered by a block of 2^k pixels: the division is a shift,
                    // done on the three sums at once (each below 2^16 after it).
                    const uint64_t c = ((v & 0xFFFFFFFFFFFFull) + roundings) >> areaShift;
                    target[x] = 0xFF000000u | uint32_t(c & 0xFF) << 16 |
                                uint32_t((c >> 16) & 0xFF) << 8 | uint32_t((c >> 32) & 0xFF);
                    continue;
                }
                // Drawn when at least half covered; its colour is the covered part's,
                // rounded half up: (2 * sum + count) / (2 * count).
                if (2 * count < area) {
                    target[x] = 0;
                    continue;
                }
                const uint64_t reciprocal = m_reciprocal[2 * count];
                auto channel = [&](int shift) {
                    const uint64_t sum = (v >> shift) & 0xFFFF;
                    return uint32_t(((2 * sum + count) * reciprocal) >> 40);
                };
                target[x] = 0xFF000000u | channel(0) << 16 | channel(16) << 8 | channel(32);
            }
        }
    }

    void runBand(const uint8_t* pixels, const std::array<Premultiplied, 256>& colors,
                 const QRect& part, uint32_t* picture, int newWidth) {
        // The source rows the part's new rows take. A tap of weight 0 is left out of a
        // list, so the first taps need not rise from row to row.
        int firstRow = m_height - 1;
        int lastRow = 0;
        for (int y = part.top(); y <= part.bottom(); ++y) {
            firstRow = std::min(firstRow, m_down.first[size_t(y)]);
            lastRow = std::max(lastRow,
                               std::min(m_height - 1, m_down.first[size_t(y)] + m_down.size - 1));
        }
        // Rows of floats, four a pixel (r, g, b, a), which the compiler runs on vectors.
        const int columns = part.width();
        const size_t rowFloats = 4 * size_t(columns);
        m_rows.resize(rowFloats * size_t(lastRow - firstRow + 1));
        for (int y = firstRow; y <= lastRow; ++y) {
            const uint8_t* source = pixels + size_t(y) * m_width;
            float* target = m_rows.data() + size_t(y - firstRow) * rowFloats;
            for (int x = part.left(); x <= part.right(); ++x) {
                const float* w = m_across.weightsOf(x);
                const int first = m_across.first[size_t(x)];
                const uint8_t* s = source + first;
                const int count = std::min(m_across.size, m_width - first);
                Premultiplied sum;
                for (int k = 0; k < count; ++k) {
                    const Premultiplied& c = colors[s[k]];
                    sum.r += w[k] * c.r;
                    sum.g += w[k] * c.g;
                    sum.b += w[k] * c.b;
                    sum.a += w[k] * c.a;
                }
                float* t = target + 4 * size_t(x - part.left());
                t[0] = sum.r;
                t[1] = sum.g;
                t[2] = sum.b;
                t[3] = sum.a;
            }
        }
        m_row.resize(rowFloats);
        float* __restrict row = m_row.data();
        for (int y = part.top(); y <= part.bottom(); ++y) {
            std::fill(m_row.begin(), m_row.end(), 0.0f);
            const float* w = m_down.weightsOf(y);
            const int first = m_down.first[size_t(y)];
            const int count = std::min(m_down.size, m_height - first);
            for (int k = 0; k < count; ++k) {
                if (w[k] == 0) continue;
                const float* __restrict source =
                    m_rows.data() + size_t(first + k - firstRow) * rowFloats;
                const float weight = w[k];
                for (size_t f = 0; f < rowFloats; ++f)
                    row[f] += weight * source[f];
            }
            uint32_t* target = picture + size_t(y) * newWidth + part.left();
            for (int x = 0; x < columns; ++x) {
                const float* c = row + 4 * size_t(x);
                const float a = c[3];
                // Drawn when at least half covered; its colour is the covered part's.
                if (a < 0.5f) {
                    target[x] = 0;
                    continue;
                }
                const float inverse = 1.0f / a;
                auto channel = [inverse](float v) {
                    return uint32_t(std::clamp(int(v * inverse + 0.5f), 0, 255));
                };
                target[x] = 0xFF000000u | channel(c[0]) << 16 | channel(c[1]) << 8 | channel(c[2]);
            }
        }
    }

    const Taps& m_across;
    const Taps& m_down;
    int m_width;
    int m_height;
    std::vector<float> m_rows; // the part's source rows resampled across
    std::vector<float> m_row;
    int m_blockX = 0; // the block's size with whole-block taps, else 0
    int m_blockY = 0;
    std::vector<uint64_t> m_reciprocal;
    std::vector<uint64_t> m_sums;
};

// The palette of the frames of one run, made from every colour the run's new pixels
// show, each weighted by its pixels: exactly those colours when they fit in one table
// (beside an entry for clear pixels), else the codec's octree palette of them with the
// nearest entry for each. A frame made from the one before thus keeps the indices of
// its unchanged pixels, and a colour that appears in the run has its place from the
// first frame on. Pixels are counted as they are made, each colour getting an id, so
// that each colour is looked up once, not once a pixel.
class RunPalette {
public:
    static constexpr uint32_t ClearId = UINT32_MAX;

    // Counts the pixels (0 for clear, else 0xFFrrggbb) and puts each one's colour id in
    // its place.
    void count(uint32_t* pixels, size_t n) {
        uint32_t last = 0;
        Slot* slot = nullptr;
        for (size_t p = 0; p < n; ++p) {
            const uint32_t c = pixels[p];
            if (c == 0) {
                m_clear = true;
                pixels[p] = ClearId;
                continue;
            }
            if (c != last) {
                last = c;
                slot = &slotOf(c);
            }
            ++slot->count;
            pixels[p] = slot->id;
        }
    }

    // Makes the palette once every colour is counted.
    void make(ColorReducer& reducer, Rgb clearColor) {
        const size_t room = m_clear ? 255 : 256;
        m_entries.resize(m_colors.size());
        if (m_colors.size() <= room) {
            for (size_t id = 0; id < m_colors.size(); ++id) {
                colors.push_back(rgbOf(m_colors[id]));
                m_entries[id] = uint8_t(id);
            }
        } else {
            std::vector<std::pair<uint32_t, uint32_t>> counts;
            counts.reserve(m_colors.size());
            for (const Slot& slot : m_slots)
                if (slot.key != 0) counts.emplace_back(slot.key, slot.count);
            std::sort(counts.begin(), counts.end()); // the same palette whatever came first
            colors = reducer.palette(counts, int(room));
            // Each colour is asked about once: a plain search over the entries, which the
            // compiler runs on vectors, costs less than the lookup lists NearestColor
            // builds for repeated questions.
            const int n = int(colors.size());
            std::array<int32_t, 256> r{}, g{}, b{}, distance{};
            for (int e = 0; e < n; ++e) {
                r[size_t(e)] = colors[size_t(e)].r;
                g[size_t(e)] = colors[size_t(e)].g;
                b[size_t(e)] = colors[size_t(e)].b;
            }
            for (size_t id = 0; id < m_colors.size(); ++id) {
                const int32_t cr = int32_t((m_colors[id] >> 16) & 0xFF);
                const int32_t cg = int32_t((m_colors[id] >> 8) & 0xFF);
                const int32_t cb = int32_t(m_colors[id] & 0xFF);
                int32_t best = INT32_MAX;
                for (int e = 0; e < n; ++e) {
                    const int32_t d = (r[size_t(e)] - cr) * (r[size_t(e)] - cr) +
                                      (g[size_t(e)] - cg) * (g[size_t(e)] - cg) +
                                      (b[size_t(e)] - cb) * (b[size_t(e)] - cb);
                    distance[size_t(e)] = d;
                    best = std::min(best, d);
                }
                int e = 0;
                while (distance[size_t(e)] != best) // the lowest entry of the nearest
                    ++e;
                m_entries[id] = uint8_t(e);
            }
        }
        if (m_clear) {
            transparent = uint8_t(colors.size());
            colors.push_back(Rgb{});
            // Drawn without its transparency (a copy, the clipboard) a frame must still
            // tell its clear pixels from the drawn ones.
            colors.back() = colorNotIn(colors, *transparent, clearColor);
        }
        if (colors.empty()) colors.push_back(Rgb{}); // a table needs an entry
    }

    uint8_t entryOf(uint32_t id) const { return id == ClearId ? *transparent : m_entries[id]; }

    ColorTable colors;
    std::optional<uint8_t> transparent;

private:
    static Rgb rgbOf(uint32_t c) { return Rgb{uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)}; }
    static size_t hash(uint32_t c) { return (c * 0x9E3779B1u) >> 7; }

    // An open-addressing table of colour -> id and count, in one place so that a colour
    // costs one cache line; 0 (never an opaque colour) marks a free slot.
    struct Slot {
        uint32_t key = 0;
        uint32_t id = 0;
        uint32_t count = 0;
    };
    Slot& slotOf(uint32_t c) {
        if ((m_colors.size() + 1) * 2 > m_slots.size()) grow();
        const size_t mask = m_slots.size() - 1;
        size_t i = hash(c) & mask;
        while (m_slots[i].key != 0) {
            if (m_slots[i].key == c) return m_slots[i];
            i = (i + 1) & mask;
        }
        m_slots[i] = Slot{c, uint32_t(m_colors.size()), 0};
        m_colors.push_back(c);
        return m_slots[i];
    }
    void grow() {
        std::vector<Slot> old(std::max<size_t>(4096, m_slots.size() * 2));
        old.swap(m_slots);
        const size_t mask = m_slots.size() - 1;
        for (const Slot& slot : old) {
            if (slot.key == 0) continue;
            size_t i = hash(slot.key) & mask;
            while (m_slots[i].key != 0)
                i = (i + 1) & mask;
            m_slots[i] = slot;
        }
    }

    std::vector<Slot> m_slots;
    std::vector<uint32_t> m_colors; // by id
    std::vector<uint8_t> m_entries; // by id, once made
    bool m_clear = false;
};

struct NewFrame {
    std::shared_ptr<const Bytes> pixels;
    ColorTable colors;
    std::optional<uint8_t> transparentIndex;
};

// Integer n * numerator / denominator rounded half up.
int scaledSide(int n, long long numerator, long long denominator) {
    return int(std::max<long long>(1, (2 * n * numerator + denominator) / (2 * denominator)));
}

} // namespace

void checkResizeSize(QSize size, size_t frames) {
    if (size.width() < 1 || size.height() < 1 || size.width() > MaxSide || size.height() > MaxSide)
        throw GifError("The size must be 1 to 65535 pixels each way");
    const ReadLimits limits;
    const uint64_t area = uint64_t(size.width()) * uint64_t(size.height());
    if (area > limits.maxScreenPixels || area * frames > limits.maxComposedPixels)
        throw GifError("The resized animation would be too large");
}

const char* filterName(ResizeFilter filter) {
    switch (filter) {
    case ResizeFilter::Auto:
        return "auto";
    case ResizeFilter::Nearest:
        return "nearest";
    case ResizeFilter::Area:
        return "area";
    case ResizeFilter::Bicubic:
        return "bicubic";
    case ResizeFilter::Lanczos:
        return "lanczos";
    }
    return "auto";
}

std::optional<ResizeFilter> filterNamed(std::string_view name) {
    for (const ResizeFilter f : {ResizeFilter::Auto, ResizeFilter::Nearest, ResizeFilter::Area,
                                 ResizeFilter::Bicubic, ResizeFilter::Lanczos})
        if (name == filterName(f)) return f;
    return std::nullopt;
}

QSize resizedSize(QSize screen, int width, int height, bool keepAspect) {
    if (width < 0 || height < 0) throw GifError("The size must be 1 to 65535 pixels each way");
    const int w = screen.width();
    const int h = screen.height();
    if (width == 0 && height == 0) return screen;
    if (w <= 0 || h <= 0) return QSize(width, height); // no aspect to keep
    if (height == 0) return QSize(width, scaledSide(h, width, w));
    if (width == 0) return QSize(scaledSide(w, height, h), height);
    if (!keepAspect) return QSize(width, height);
    // The side that binds keeps its length.
    if (int64_t(width) * h <= int64_t(height) * w) return QSize(width, scaledSide(h, width, w));
    return QSize(scaledSide(w, height, h), height);
}

QSize scaledSize(QSize screen, double percent) {
    if (!(percent > 0) || !std::isfinite(percent))
        throw GifError("The scale must be above 0 percent");
    auto side = [percent](int n) {
        return int(std::clamp(std::floor(n * percent / 100.0 + 0.5), 1.0, double(MaxSide + 1)));
    };
    return QSize(side(screen.width()), side(screen.height()));
}

GifImage resize(const GifImage& source, QSize size, ResizeFilter filter,
                const ToolContext& context) {
    if (uint64_t(source.screenWidth) * source.screenHeight == 0)
        throw GifError("The logical screen is empty");
    checkResizeSize(size, source.frameCount());
    Steps steps(context);
    steps.reserve(3 * source.frameCount());
    const ShownFrames shown(source, steps);
    const GifImage& image = shown.image();
    const int width = image.screenWidth;
    const int height = image.screenHeight;
    const int newWidth = size.width();
    const int newHeight = size.height();

    GifImage result;
    if (filter == ResizeFilter::Nearest) {
        // The source pixel under each new pixel's centre, by index: no colour changes,
        // and each pixel clear in one frame is clear at its new places in all, so the
        // disposal codes still hold.
        auto sources = [](int in, int out) {
            std::vector<int> from(static_cast<size_t>(out));
            for (int o = 0; o < out; ++o)
                from[size_t(o)] = int((2LL * o + 1) * in / (2LL * out));
            return from;
        };
        const std::vector<int> column = sources(width, newWidth);
        const std::vector<int> row = sources(height, newHeight);
        // The new pixels [first, last) taking source pixels from..to (both ascending).
        auto span = [](const std::vector<int>& from, int lo, int hi) {
            return std::pair(int(std::lower_bound(from.begin(), from.end(), lo) - from.begin()),
                             int(std::upper_bound(from.begin(), from.end(), hi) - from.begin()));
        };
        result = detail::mapPixels(
            image, newWidth, newHeight, steps,
            [&](const Bytes& from, uint8_t* to, const QRect& changed) {
                const auto [x0, x1] = span(column, changed.left(), changed.right());
                const auto [y0, y1] = span(row, changed.top(), changed.bottom());
                for (int y = y0; y < y1; ++y) {
                    const uint8_t* source = from.data() + size_t(row[size_t(y)]) * width;
                    uint8_t* target = to + size_t(y) * newWidth;
                    for (int x = x0; x < x1; ++x)
                        target[x] = source[column[size_t(x)]];
                }
            });
        steps.finish();
        return result;
    }

    const Taps across = tapsFor(width, newWidth, filter);
    const Taps down = tapsFor(height, newHeight, filter);
    // Area averaging by whole factors (halving above all) sums whole blocks.
    std::optional<std::pair<int, int>> blocks;
    if ((filter == ResizeFilter::Area || filter == ResizeFilter::Auto) && width % newWidth == 0 &&
        height % newHeight == 0 && (width / newWidth) * (height / newHeight) <= 256)
        blocks = std::pair(width / newWidth, height / newHeight);
    const Reach reachAcross(across, width);
    const Reach reachDown(down, height);

    // Frames showing the same pixels in the same colours are resampled once, in the
    // order they first show.
    std::vector<size_t> unique;
    std::vector<size_t> madeFor(image.frameCount());
    std::unordered_map<const Bytes*, std::vector<size_t>> byBuffer;
    for (size_t i = 0; i < image.frameCount(); ++i) {
        std::vector<size_t>& candidates = byBuffer[image.frame(i).sharedPixels().get()];
        const detail::DrawnColors colors = detail::drawnColors(image, i);
        auto same = std::find_if(candidates.begin(), candidates.end(), [&](size_t k) {
            return detail::drawnColors(image, unique[k]) == colors;
        });
        if (same != candidates.end()) {
            madeFor[i] = *same;
            continue;
        }
        madeFor[i] = unique.size();
        candidates.push_back(unique.size());
        unique.push_back(i);
    }

    // What changed from each frame to the next, in new pixels.
    const QRect newScreen(0, 0, newWidth, newHeight);
    const std::vector<detail::Region> parts =
        detail::changesOf(unique.size(), steps, [&](size_t k) {
            detail::Region region;
            for (const QRect& changed : detail::changedColors(image, unique[k - 1], unique[k])) {
                const auto [x0, x1] = reachAcross.of(changed.left(), changed.right());
                const auto [y0, y1] = reachDown.of(changed.top(), changed.bottom());
                if (x0 <= x1 && y0 <= y1) region.push_back(QRect(QPoint(x0, y0), QPoint(x1, y1)));
            }
            return region;
        });
    steps.addWork(unique.size());
    std::vector<NewFrame> made(unique.size());
    const detail::Region whole{newScreen};
    const std::vector<detail::Run> runs = detail::runsOf(parts, newScreen.size());
    // What each thread keeps from run to run: new memory costs page faults, which
    // threads take one at a time, and the reducer's buffers are some 10 MB.
    struct Worker {
        std::optional<Resampler> resampler;
        ColorReducer reducer;
        std::vector<uint32_t> picture;
        std::vector<uint32_t> kept; // every part's pixels of a run, one after the other
    };
    std::vector<Worker> workers(static_cast<size_t>(detail::workerCount(runs.size())));
    detail::forEachRun(runs, steps, [&](const detail::Run& run, int worker) {
        Worker& mine = workers[size_t(worker)];
        if (!mine.resampler) {
            mine.resampler.emplace(across, down, width, height);
            if (blocks) mine.resampler->useBlocks(blocks->first, blocks->second);
        }
        Resampler& resampler = *mine.resampler;
        RunPalette palette;
        // The first frame whole, then each later frame's changed parts, which a later
        // frame may change again: each part's new pixels are kept (as colour ids) until
        // the palette is made.
        // Parts of one frame may overlap where their taps do; they agree there.
        std::vector<uint32_t>& picture = mine.picture;
        picture.resize(size_t(newWidth) * newHeight);
        std::vector<uint32_t>& kept = mine.kept;
        kept.clear();
        auto regionOf = [&](size_t k) -> const detail::Region& {
            return k > run.first ? parts[k] : whole;
        };
        for (size_t k = run.first; k < run.end; ++k) {
            if (steps.cancelRequested()) throw Cancelled();
            const size_t i = unique[k];
            const std::array<Premultiplied, 256> colors = premultiplied(image, i);
            for (const QRect& part : regionOf(k)) {
                resampler.run(image.frame(i).pixels().data(), colors, part, picture.data(),
                              newWidth);
                const size_t at = kept.size();
                for (int y = 0; y < part.height(); ++y) {
                    const uint32_t* row =
                        picture.data() + size_t(part.top() + y) * newWidth + part.left();
                    kept.insert(kept.end(), row, row + part.width());
                }
                palette.count(kept.data() + at, kept.size() - at);
            }
        }
        palette.make(mine.reducer, detail::preferredClearColor(image, unique[run.first]));

        Bytes pixels(picture.size());
        const uint32_t* ids = kept.data();
        for (size_t k = run.first; k < run.end; ++k) {
            if (steps.cancelRequested()) throw Cancelled();
            if (regionOf(k).empty()) {
                made[k] = made[k - 1];
                continue;
            }
            for (const QRect& part : regionOf(k)) {
                for (int y = 0; y < part.height(); ++y) {
                    uint8_t* target =
                        pixels.data() + size_t(part.top() + y) * newWidth + part.left();
                    for (int x = 0; x < part.width(); ++x)
                        target[x] = palette.entryOf(*ids++);
                }
            }
            made[k] = {std::make_shared<const Bytes>(pixels), palette.colors, palette.transparent};
        }
    });

    result = detail::emptyLike(image, newWidth, newHeight);
    for (size_t i = 0; i < image.frameCount(); ++i) {
        const NewFrame& frame = made[madeFor[i]];
        Frame resized = detail::withTransparency(image.frame(i), frame.transparentIndex);
        resized.setSharedPixels(uint16_t(newWidth), uint16_t(newHeight), frame.pixels);
        resized.setLocalColors(frame.colors);
        result.appendFrame(std::move(resized));
    }
    // Resampling spreads and thresholds coverage, so a pixel clear in one frame may be
    // drawn in the frame before it: the disposals are made to clear where needed.
    detail::settleDisposals(result, &steps);
    steps.finish();
    return result;
}

} // namespace vorlane::tools
