// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec/ColorReduction.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace vorlane::gif {

namespace {

constexpr int OctreeDepth = 6; // six most significant bits of each channel
constexpr int CellCount = 1 << (3 * OctreeDepth);
constexpr uint32_t Opaque = 0xFF000000u;

inline int red(uint32_t p) {
    return int((p >> 16) & 0xFF);
}
inline int green(uint32_t p) {
    return int((p >> 8) & 0xFF);
}
inline int blue(uint32_t p) {
    return int(p & 0xFF);
}

// Spreads the six bits of v to every third bit, so that the bits of the three channels
// interleave: the cell key's top three bits pick the child of the root, the next three
// the child of that node, and so on. A node at depth d is then key >> 3 * (6 - d).
constexpr std::array<uint32_t, 64> makeSpread() {
    std::array<uint32_t, 64> t{};
    for (uint32_t v = 0; v < 64; ++v)
        for (int bit = 0; bit < OctreeDepth; ++bit)
            t[v] |= ((v >> bit) & 1u) << (3 * bit);
    return t;
}
constexpr std::array<uint32_t, 64> Spread = makeSpread();

inline uint32_t cellKey(uint32_t p) {
    return (Spread[red(p) >> 2] << 2) | (Spread[green(p) >> 2] << 1) | Spread[blue(p) >> 2];
}

inline uint32_t hash32(uint32_t k) {
    return k * 0x9E3779B1u;
}

struct Sums {
    uint64_t count = 0;
    uint64_t r = 0;
    uint64_t g = 0;
    uint64_t b = 0;

    void add(const Sums& o) {
        count += o.count;
        r += o.r;
        g += o.g;
        b += o.b;
    }
    Rgb mean() const {
        const uint64_t half = count / 2;
        return {uint8_t((r + half) / count), uint8_t((g + half) / count),
                uint8_t((b + half) / count)};
    }
};

struct Node {
    Sums sums;
    uint8_t children = 0; // non-empty children
    bool reduced = false; // merged into one palette entry
};

// A table whose empty state is all zero bytes, taken from calloc on first use (pictures
// with few colours never need one): large blocks come from the system as zero pages, so
// only the parts a picture touches cost anything.
template <typename T> class ZeroedTable {
public:
    explicit ZeroedTable(size_t n) : m_size(n) {}
    ~ZeroedTable() { std::free(m_data); }
    ZeroedTable(const ZeroedTable&) = delete;
    ZeroedTable& operator=(const ZeroedTable&) = delete;
    void allocate() {
        if (!m_data && !(m_data = static_cast<T*>(std::calloc(m_size, sizeof(T)))))
            throw std::bad_alloc();
    }
    T& operator[](size_t i) { return m_data[i]; }

private:
    size_t m_size;
    T* m_data = nullptr;
};

} // namespace

// ---------------------------------------------------------------------------------------
// Working memory, kept between calls and reset through lists of what was touched, so a
// reduction costs in proportion to the picture, not to the size of the tables.

struct ColorReducer::Buffers {
    // Exact counting: an open-addressed set of at most 256 colours.
    static constexpr int SetBits = 10;
    std::array<uint32_t, 1 << SetBits> setKeys{};
    std::array<uint8_t, 1 << SetBits> setValues{};

    // Octree: cells at depth 6 and the nodes above them, by depth; all zero between calls,
    // reset through the lists of what was touched.
    ZeroedTable<Sums> cells{CellCount};
    std::vector<uint32_t> usedCells;
    std::array<ZeroedTable<Node>, OctreeDepth> nodes{
        ZeroedTable<Node>(1),   ZeroedTable<Node>(8),    ZeroedTable<Node>(64),
        ZeroedTable<Node>(512), ZeroedTable<Node>(4096), ZeroedTable<Node>(32768)};
    std::array<std::vector<uint32_t>, OctreeDepth> usedNodes;

    std::vector<int> errors;

    void allocateOctree() {
        cells.allocate();
        for (auto& level : nodes)
            level.allocate();
    }
};

namespace {

// Exact mapping for pictures with few colours: finds or adds `key` in the set.
// Returns the entry, or -1 when the set already holds `limit` colours.
template <typename Keys, typename Values>
int findOrAdd(Keys& keys, Values& values, int bits, uint32_t key, int& count, int limit) {
    const uint32_t mask = (1u << bits) - 1;
    for (uint32_t slot = hash32(key) >> (32 - bits);; slot = (slot + 1) & mask) {
        if (keys[slot] == key) return values[slot];
        if (keys[slot] == 0) {
            if (count >= limit) return -1;
            keys[slot] = key;
            values[slot] = uint8_t(count);
            return count++;
        }
    }
}

} // namespace

// ---------------------------------------------------------------------------------------
// Nearest colour: each box of the colour space keeps the short list of entries that can
// be nearest to any colour inside it (an entry whose closest point of the box is farther
// than some other entry's farthest point never is), so a search looks at a few entries
// instead of all of them; a direct-mapped cache remembers recent answers.

NearestColor::NearestColor(const ColorTable& palette, size_t entries, size_t expectedColors)
    : m_palette(palette.begin(), palette.begin() + ptrdiff_t(std::min(entries, palette.size()))) {
    for (size_t i = 0; i < m_palette.size(); ++i)
        m_all.push_back({0, int(i)});
    for (int level = FirstLevel; level <= LastLevel; ++level) {
        const size_t boxes = size_t(1) << (3 * level);
        m_levels[size_t(level)].start.assign(boxes, -1);
        m_levels[size_t(level)].count.assign(boxes, 0);
    }
    while (m_bits < 18 && (size_t(1) << m_bits) < expectedColors)
        ++m_bits;
    m_cacheKeys.assign(size_t(1) << m_bits, 0);
    m_cacheValues.resize(size_t(1) << m_bits);
}

const NearestColor::Candidate* NearestColor::candidates(int level, int r, int g, int b,
                                                        int& count) {
    const int shift = 8 - level;
    const size_t box = size_t((r >> shift) << (2 * level) | (g >> shift) << level | (b >> shift));
    Level& l = m_levels[size_t(level)];
    if (l.start[box] < 0) {
        int parentCount = int(m_all.size());
        const Candidate* parent = m_all.data();
        if (level > FirstLevel) parent = candidates(level - 1, r, g, b, parentCount);
        // The parent's list may live in m_entries, which grows below: copy it first.
        const std::vector<Candidate> from(parent, parent + parentCount);

        const int lo[3] = {(r >> shift) << shift, (g >> shift) << shift, (b >> shift) << shift};
        const int hi[3] = {lo[0] + (1 << shift) - 1, lo[1] + (1 << shift) - 1,
                           lo[2] + (1 << shift) - 1};
        // Every colour of the box is within `bound` of some entry, so an entry whose
        // nearest point of the box is farther than that is never the nearest.
        std::vector<Candidate> near;
        near.reserve(from.size());
        int bound = INT_MAX;
        for (const Candidate& c : from) {
            const Rgb& e = m_palette[size_t(c.index)];
            const int v[3] = {e.r, e.g, e.b};
            int dNear = 0, dFar = 0;
            for (int k = 0; k < 3; ++k) {
                const int dn = v[k] < lo[k] ? lo[k] - v[k] : (v[k] > hi[k] ? v[k] - hi[k] : 0);
                const int df = std::max(std::abs(v[k] - lo[k]), std::abs(v[k] - hi[k]));
                dNear += dn * dn;
                dFar += df * df;
            }
            near.push_back({dNear, c.index});
            bound = std::min(bound, dFar);
        }
        const size_t start = m_entries.size();
        for (const Candidate& c : near)
            if (c.boxDistance <= bound) m_entries.push_back(c);
        if (level == LastLevel)
            std::sort(m_entries.begin() + ptrdiff_t(start), m_entries.end(),
                      [](const Candidate& a, const Candidate& b) {
                          return a.boxDistance != b.boxDistance ? a.boxDistance < b.boxDistance
                                                                : a.index < b.index;
                      });
        l.start[box] = int32_t(start);
        l.count[box] = uint16_t(m_entries.size() - start);
    }
    count = l.count[box];
    return m_entries.data() + l.start[box];
}

uint8_t NearestColor::operator()(int r, int g, int b) {
    // Bit 24 marks a filled slot, so black is cached like any colour.
    const uint32_t key = 0x01000000u | uint32_t(r << 16 | g << 8 | b);
    const uint32_t slot = hash32(key) >> (32 - m_bits);
    if (m_cacheKeys[slot] == key) return m_cacheValues[slot];
    const uint8_t found = search(r, g, b);
    m_cacheKeys[slot] = key;
    m_cacheValues[slot] = found;
    return found;
}

uint8_t NearestColor::search(int r, int g, int b) {
    int count = 0;
    const Candidate* list = candidates(LastLevel, r, g, b, count);
    int best = INT_MAX;
    int bestIndex = 0;
    for (int k = 0; k < count; ++k) {
        // No colour of the box is closer to this entry, nor to any after it, than that.
        if (list[k].boxDistance > best) break;
        const Rgb& e = m_palette[size_t(list[k].index)];
        const int dr = e.r - r, dg = e.g - g, db = e.b - b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < best || (d == best && list[k].index < bestIndex)) {
            best = d;
            bestIndex = list[k].index;
        }
    }
    return uint8_t(bestIndex);
}

// ---------------------------------------------------------------------------------------

ColorReducer::ColorReducer() : m_buffers(std::make_unique<Buffers>()) {}
ColorReducer::~ColorReducer() = default;

ColorTable ColorReducer::palette(std::span<const std::pair<uint32_t, uint32_t>> colorCounts,
                                 int maxColors) {
    Buffers& buf = *m_buffers;
    buf.allocateOctree();
    for (const auto& [color, count] : colorCounts) {
        if (count == 0) continue;
        const uint32_t key = cellKey(color);
        Sums& cell = buf.cells[key];
        if (cell.count == 0) buf.usedCells.push_back(key);
        cell.count += count;
        cell.r += uint64_t(red(color)) * count;
        cell.g += uint64_t(green(color)) * count;
        cell.b += uint64_t(blue(color)) * count;
    }
    return octreePalette(size_t(std::clamp(maxColors, 1, 256)));
}

// Builds the palette from the cells filled by the caller, and empties them again.
ColorTable ColorReducer::octreePalette(size_t limit) {
    Buffers& buf = *m_buffers;
    ColorTable palette;
    size_t leaves = buf.usedCells.size();
    if (leaves <= limit) {
        for (uint32_t key : buf.usedCells)
            palette.push_back(buf.cells[key].mean());
    } else {
        // Sums of every node, bottom up, each node counting its non-empty children.
        for (uint32_t key : buf.usedCells) {
            Node& parent = buf.nodes[OctreeDepth - 1][key >> 3];
            if (parent.sums.count == 0) buf.usedNodes[OctreeDepth - 1].push_back(key >> 3);
            parent.sums.add(buf.cells[key]);
            ++parent.children;
        }
        for (int d = OctreeDepth - 1; d > 0; --d)
            for (uint32_t id : buf.usedNodes[d]) {
                Node& parent = buf.nodes[d - 1][id >> 3];
                if (parent.sums.count == 0) buf.usedNodes[d - 1].push_back(id >> 3);
                parent.sums.add(buf.nodes[d][id].sums);
                ++parent.children;
            }
        // Merge the deepest nodes first, the least used first at each depth, until the
        // leaves fit. Merging a node turns its children (all leaves by then) into one.
        int stop = 0;
        for (int d = OctreeDepth - 1; d >= 0 && leaves > limit; --d) {
            std::vector<uint32_t>& order = buf.usedNodes[d];
            std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
                const uint64_t ca = buf.nodes[d][a].sums.count, cb = buf.nodes[d][b].sums.count;
                return ca != cb ? ca < cb : a < b;
            });
            for (uint32_t id : order) {
                if (leaves <= limit) break;
                Node& n = buf.nodes[d][id];
                n.reduced = true;
                leaves -= n.children - 1;
            }
            stop = d;
        }
        // The leaves: merged nodes at the stop depth, and the children of the others.
        for (uint32_t id : buf.usedNodes[stop])
            if (buf.nodes[stop][id].reduced) palette.push_back(buf.nodes[stop][id].sums.mean());
        if (stop + 1 < OctreeDepth) {
            for (uint32_t id : buf.usedNodes[stop + 1])
                if (!buf.nodes[stop][id >> 3].reduced)
                    palette.push_back(buf.nodes[stop + 1][id].sums.mean());
        } else {
            for (uint32_t key : buf.usedCells)
                if (!buf.nodes[stop][key >> 3].reduced) palette.push_back(buf.cells[key].mean());
        }
        for (int d = 0; d < OctreeDepth; ++d) {
            for (uint32_t id : buf.usedNodes[d])
                buf.nodes[d][id] = Node{};
            buf.usedNodes[d].clear();
        }
    }
    for (uint32_t key : buf.usedCells)
        buf.cells[key] = Sums{};
    buf.usedCells.clear();
    return palette;
}

ReductionResult ColorReducer::reduce(const PixelView& in, uint8_t* out, qsizetype outStride,
                                     Dither dither, int maxColors,
                                     std::optional<Rgb> transparentColor) {
    Buffers& buf = *m_buffers;
    const bool keyed = transparentColor.has_value();
    maxColors = std::clamp(maxColors, keyed ? 2 : 1, 256);
    auto isTransparent = [keyed](uint32_t p) { return keyed && (p >> 24) == 0; };
    ReductionResult result;

    // ---- Count distinct colours; keep them exactly when they fit ----
    buf.setKeys.fill(0);
    int distinct = 0;
    bool sawTransparent = false;
    bool fits = true;
    for (int y = 0; y < in.height && fits; ++y) {
        const uint32_t* row = in.pixels + y * in.stride;
        uint32_t last = 0;
        for (int x = 0; x < in.width; ++x) {
            if (isTransparent(row[x])) {
                sawTransparent = true;
                continue;
            }
            const uint32_t key = row[x] | Opaque;
            if (key == last) continue;
            last = key;
            if (findOrAdd(buf.setKeys, buf.setValues, Buffers::SetBits, key, distinct, maxColors) <
                0) {
                fits = false;
                break;
            }
        }
    }
    if (fits && sawTransparent && distinct > maxColors - 1) fits = false;

    if (fits) {
        result.colors.resize(size_t(distinct));
        for (size_t s = 0; s < buf.setKeys.size(); ++s)
            if (buf.setKeys[s] != 0) {
                const uint32_t k = buf.setKeys[s];
                result.colors[buf.setValues[s]] = {uint8_t(red(k)), uint8_t(green(k)),
                                                   uint8_t(blue(k))};
            }
        uint8_t transparentIndex = 0;
        if (sawTransparent) {
            transparentIndex = uint8_t(result.colors.size());
            result.colors.push_back(*transparentColor);
            result.transparentIndex = transparentIndex;
        }
        int unused = distinct;
        for (int y = 0; y < in.height; ++y) {
            const uint32_t* row = in.pixels + y * in.stride;
            uint8_t* dst = out + y * outStride;
            uint32_t last = 0;
            uint8_t lastIndex = 0;
            for (int x = 0; x < in.width; ++x) {
                if (isTransparent(row[x])) {
                    dst[x] = transparentIndex;
                    continue;
                }
                const uint32_t key = row[x] | Opaque;
                if (key != last) {
                    last = key;
                    lastIndex = uint8_t(findOrAdd(buf.setKeys, buf.setValues, Buffers::SetBits, key,
                                                  unused, maxColors));
                }
                dst[x] = lastIndex;
            }
        }
        return result;
    }

    // ---- Octree palette ----
    buf.allocateOctree();
    for (int y = 0; y < in.height; ++y) {
        const uint32_t* row = in.pixels + y * in.stride;
        for (int x = 0; x < in.width; ++x) {
            const uint32_t p = row[x];
            if (isTransparent(p)) {
                sawTransparent = true;
                continue;
            }
            Sums& cell = buf.cells[cellKey(p)];
            if (cell.count == 0) buf.usedCells.push_back(cellKey(p));
            ++cell.count;
            cell.r += uint64_t(red(p));
            cell.g += uint64_t(green(p));
            cell.b += uint64_t(blue(p));
        }
    }
    ColorTable& palette = result.colors;
    palette = octreePalette(size_t(sawTransparent ? maxColors - 1 : maxColors));

    const size_t opaqueEntries = palette.size();
    uint8_t transparentIndex = 0;
    if (sawTransparent) {
        transparentIndex = uint8_t(opaqueEntries);
        palette.push_back(*transparentColor);
        result.transparentIndex = transparentIndex;
    }

    // ---- Mapping ----
    NearestColor nearest(palette, opaqueEntries, size_t(in.width) * size_t(in.height));
    if (dither == Dither::Nearest) {
        for (int y = 0; y < in.height; ++y) {
            const uint32_t* row = in.pixels + y * in.stride;
            uint8_t* dst = out + y * outStride;
            for (int x = 0; x < in.width; ++x) {
                const uint32_t p = row[x];
                dst[x] = isTransparent(p) ? transparentIndex : nearest(red(p), green(p), blue(p));
            }
        }
        return result;
    }

    // Floyd-Steinberg: each pixel takes the nearest entry to its colour plus the error
    // carried to it, and passes its own error on to the pixels not yet mapped: 7/16 to
    // the right, 3/16, 5/16 and 1/16 to the row below. Errors are kept in sixteenths,
    // in two rows with a guard pixel at each end.
    const size_t rowLength = size_t(in.width + 2) * 3;
    buf.errors.assign(rowLength * 2, 0);
    int* current = buf.errors.data();
    int* below = current + rowLength;
    for (int y = 0; y < in.height; ++y) {
        const uint32_t* row = in.pixels + y * in.stride;
        uint8_t* dst = out + y * outStride;
        std::fill(below, below + rowLength, 0);
        for (int x = 0; x < in.width; ++x) {
            const uint32_t p = row[x];
            if (isTransparent(p)) {
                dst[x] = transparentIndex;
                continue;
            }
            int* e = current + size_t(x + 1) * 3;
            const int r = std::clamp(red(p) + ((e[0] + 8) >> 4), 0, 255);
            const int g = std::clamp(green(p) + ((e[1] + 8) >> 4), 0, 255);
            const int b = std::clamp(blue(p) + ((e[2] + 8) >> 4), 0, 255);
            const uint8_t index = nearest(r, g, b);
            dst[x] = index;
            const int err[3] = {r - palette[index].r, g - palette[index].g, b - palette[index].b};
            int* right = e + 3;
            int* under = below + size_t(x + 1) * 3;
            for (int c = 0; c < 3; ++c) {
                right[c] += err[c] * 7;
                under[c - 3] += err[c] * 3;
                under[c] += err[c] * 5;
                under[c + 3] += err[c];
            }
        }
        std::swap(current, below);
    }
    return result;
}

QImage reduceColors(const QImage& picture, Dither dither, int bits) {
    ColorReducer reducer;
    return reducer.reduce(picture, dither, bits);
}

QImage ColorReducer::reduce(const QImage& picture, Dither dither, int bits) {
    if (picture.isNull()) return {};
    QImage source = picture;
    if (source.format() != QImage::Format_RGB32 && source.format() != QImage::Format_ARGB32)
        source = source.convertToFormat(QImage::Format_ARGB32);
    QImage result(source.size(), QImage::Format_Indexed8);
    if (result.isNull()) throw GifError("Not enough memory for the picture");
    const PixelView view{reinterpret_cast<const uint32_t*>(source.constBits()), source.width(),
                         source.height(), source.bytesPerLine() / 4};
    const ReductionResult reduced =
        reduce(view, result.bits(), result.bytesPerLine(), dither, 1 << std::clamp(bits, 1, 8));
    QList<QRgb> table;
    table.reserve(qsizetype(reduced.colors.size()));
    for (const Rgb& c : reduced.colors)
        table.push_back(qRgb(c.r, c.g, c.b));
    result.setColorTable(table);
    return result;
}

Rgb colorNotIn(const ColorTable& table, size_t except, Rgb preferred) {
    const auto taken = [&](Rgb c) {
        for (size_t i = 0; i < table.size(); ++i)
            if (i != except && table[i] == c) return true;
        return false;
    };
    if (!taken(preferred)) return preferred;
    // 256 candidates and at most 255 other entries: one is always free.
    for (int g = 0; g < 256; ++g) {
        const Rgb candidate{255, uint8_t(g), 255};
        if (!taken(candidate)) return candidate;
    }
    return preferred;
}

} // namespace vorlane::gif
