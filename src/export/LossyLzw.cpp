// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/LossyLzw.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "codec/Lzw.h"
#include "export/ExportSettings.h"

// The coder is the usual greedy LZW coder over a trie of the strings in its table, with
// one change: the string taken at each step is the longest one the table holds whose
// every pixel is acceptable, not the longest whose pixels are equal. A pixel accepts an
// index when the colour it draws there (the table's colour, or for the transparent
// index the screen under it) is within the level's bound of the colour the pixel must
// show; the frame's own index is always accepted. Among strings of the same length the
// one that is off by least in all is taken.
//
// The search for that string walks the trie depth first from every acceptable first
// index, closest colours first, expanding at most SearchBudget strings per step beyond
// the length of the best string found: enough to find the long matches that make the
// file small, without letting a frame of many similar colours cost quadratic time. The table, its
// clear points and code widths are exactly those of lzw::encode, and the decoder's table follows
// the coder's, since each new entry is the string written last plus the first index of the one
// written next.

namespace vorlane::exporting {

namespace {

constexpr uint16_t NoNode = 0xFFFF;
constexpr uint32_t Refused = std::numeric_limits<uint32_t>::max();
// Strings expanded per step of the search (see above).
constexpr uint32_t SearchBudget = 48;
// How far the summed errors of a string's pixels may stray, per channel, in units of
// the largest error of one pixel.
constexpr double DriftFactor = 4.0;

inline uint32_t squaredDistance(uint32_t a, uint32_t b) {
    const int dr = int((a >> 16) & 0xFF) - int((b >> 16) & 0xFF);
    const int dg = int((a >> 8) & 0xFF) - int((b >> 8) & 0xFF);
    const int db = int(a & 0xFF) - int(b & 0xFF);
    return uint32_t(dr * dr + dg * dg + db * db);
}

// Codes packed least significant bit first.
class BitSink {
public:
    explicit BitSink(gif::Bytes& out) : m_out(out) {}
    void put(uint32_t code, int size) {
        m_bits |= uint64_t(code) << m_count;
        m_count += size;
        while (m_count >= 8) {
            m_out.push_back(uint8_t(m_bits));
            m_bits >>= 8;
            m_count -= 8;
        }
    }
    void finish() {
        if (m_count > 0) m_out.push_back(uint8_t(m_bits));
        m_bits = 0;
        m_count = 0;
    }

private:
    gif::Bytes& m_out;
    uint64_t m_bits = 0;
    int m_count = 0;
};

} // namespace

struct LossyLzw::Tables {
    // The trie: node = code; literals are the nodes below the clear code.
    std::array<uint16_t, gif::lzw::MaxCodes> firstChild;
    std::array<uint16_t, gif::lzw::MaxCodes> nextSibling;
    std::array<uint16_t, gif::lzw::MaxCodes> parent;
    std::array<uint8_t, gif::lzw::MaxCodes> symbol;

    // Per frame: for each index, the indices whose colours lie within the bound of its
    // colour, closest first (near[nearStart[i] .. nearStart[i + 1])).
    std::array<uint32_t, 257> nearStart;
    std::vector<uint8_t> near;

    struct Open {
        uint16_t node;
        uint32_t length;
        uint32_t error;
        int dr, dg, db; // the signed errors of the string's pixels, summed per channel
    };
    std::vector<Open> stack;
    std::array<uint32_t, 256> seen{}; // stamp per first index of a search
    uint32_t stamp = 0;
};

uint32_t LossyLzw::bound(int level) {
    const double distance = 0.29 * std::clamp(level, 0, MaxLossy);
    return uint32_t(distance * distance);
}

LossyLzw::LossyLzw(int level) : m_tables(std::make_unique<Tables>()), m_bound(bound(level)) {}

LossyLzw::~LossyLzw() = default;

void LossyLzw::encode(const LossyFrame& frame, int minCodeSize, gif::Bytes& out, uint8_t* shown) {
    Tables& t = *m_tables;
    const size_t n = size_t(frame.width) * size_t(frame.height);
    const uint32_t clearCode = 1u << minCodeSize;
    const uint32_t endCode = clearCode + 1;
    const uint32_t firstFree = endCode + 1;
    const uint8_t* indices = frame.indices.data();
    const uint32_t* target = frame.target.data();
    const uint32_t* under = frame.under.data();
    const auto& palette = frame.palette;
    const int transparent = frame.transparent ? int(*frame.transparent) : -1;
    const uint32_t limit = m_bound;

    // How far index s at pixel q is from what the pixel must show; Refused when it
    // cannot stand there at all (transparency where something must show, or the other
    // way round).

    // How far index s at pixel q is from what the pixel must show; Refused when it
    // cannot stand there at all (transparency where something must show, or the other
    // way round) or is further off than the pixel allows.
    // `drift` receives the signed error per channel.
    int drift[3] = {0, 0, 0};
    auto cost = [&](uint32_t s, size_t q) -> uint32_t {
        const uint32_t want = target[q];
        uint32_t got;
        if (int(s) == transparent) {
            const uint32_t below = under[q];
            if ((want >> 24) == 0) {
                drift[0] = drift[1] = drift[2] = 0;
                return (below >> 24) == 0 ? 0 : Refused;
            }
            if ((below >> 24) == 0) return Refused;
            got = below;
        } else {
            if ((want >> 24) == 0) return Refused;
            got = palette[s];
        }
        const uint32_t d = squaredDistance(got, want);
        if (d > limit) return Refused;
        drift[0] = int((got >> 16) & 0xFF) - int((want >> 16) & 0xFF);
        drift[1] = int((got >> 8) & 0xFF) - int((want >> 8) & 0xFF);
        drift[2] = int(got & 0xFF) - int(want & 0xFF);
        return d;
    };
    // Whether a string whose errors sum to (r, g, b) per channel stays acceptable: the
    // errors of its pixels must largely cancel out. Where they do (grain, texture) the
    // string looks right from a step back; a run of the same near colour over a flat
    // area does not, and it stops after a few pixels.
    const int maxDrift = int(std::lround(std::sqrt(double(limit)) * DriftFactor));
    auto drifts = [maxDrift](int r, int g, int b) {
        return std::abs(r) > maxDrift || std::abs(g) > maxDrift || std::abs(b) > maxDrift;
    };

    // Near indices of every entry the coder may use.
    t.near.clear();
    std::vector<std::pair<uint32_t, uint8_t>> close;
    for (uint32_t a = 0; a < 256; ++a) {
        t.nearStart[a] = uint32_t(t.near.size());
        if (a >= clearCode || int(a) == transparent) continue;
        close.clear();
        for (uint32_t b = 0; b < clearCode && b < 256; ++b) {
            if (b == a || int(b) == transparent) continue;
            const uint32_t d = squaredDistance(palette[a], palette[b]);
            if (d <= limit) close.push_back({d, uint8_t(b)});
        }
        std::sort(close.begin(), close.end());
        for (const auto& c : close)
            t.near.push_back(c.second);
    }
    t.nearStart[256] = uint32_t(t.near.size());
    // The entry that draws a colour exactly, for pixels whose own index is transparent.
    auto entryOf = [&](uint32_t colour) -> int {
        for (uint32_t s = 0; s < clearCode && s < 256; ++s)
            if (int(s) != transparent && palette[s] == (colour | 0xFF000000u)) return int(s);
        return -1;
    };
    int lastColour = -1;
    uint32_t lastColourValue = 0;

    auto resetTable = [&] {
        for (uint32_t s = 0; s < clearCode; ++s)
            t.firstChild[s] = NoNode;
    };

    uint16_t previous = NoNode;
    uint32_t previousLength = 0;
    uint32_t next = firstFree;
    // The string the coder adds right after writing the previous one, if the next string
    // starts with the previous one's first index: the previous string and that index.
    // It may be taken before it is in the table (decoders handle this case), and on
    // long runs it is taken at nearly every step.
    constexpr uint16_t Pending = 0xFFFE;

    // The best string from pixel `pos`: its node (or Pending) and length.
    auto search = [&](size_t pos, uint32_t& bestLength) -> uint16_t {
        const uint32_t own = indices[pos];
        uint16_t bestNode = uint16_t(own);
        bestLength = 1;
        uint32_t bestError = cost(own, pos);
        if (bestError == Refused) bestError = 0;
        ++t.stamp;
        t.stack.clear();
        auto offer = [&](uint32_t s) {
            if (s >= clearCode || t.seen[s] == t.stamp) return;
            t.seen[s] = t.stamp;
            const uint32_t c = cost(s, pos);
            if (c == Refused && s != own) return;
            if (c == Refused) drift[0] = drift[1] = drift[2] = 0;
            t.stack.push_back({uint16_t(s), 1, c == Refused ? 0 : c, drift[0], drift[1], drift[2]});
        };
        int base = int(own) == transparent ? -1 : int(own);
        if (base < 0 && (target[pos] >> 24) != 0) {
            if (lastColour < 0 || lastColourValue != target[pos]) {
                lastColourValue = target[pos];
                lastColour = entryOf(target[pos]);
            }
            base = lastColour;
        }
        if (base >= 0)
            for (uint32_t k = t.nearStart[size_t(base) + 1]; k-- > t.nearStart[size_t(base)];)
                offer(t.near[k]);
        // The pixel's own index is searched first, and before it transparency where it
        // is as good: runs of transparency reach over unchanged pixels of any colour.
        if (transparent >= 0) offer(uint32_t(transparent));
        offer(own);

        // Every string expanded costs one; the budget grows with the best length, so
        // that the first descent follows a long run to its end.
        uint32_t expanded = 0;
        while (!t.stack.empty()) {
            const Tables::Open open = t.stack.back();
            t.stack.pop_back();
            if (open.length > bestLength || (open.length == bestLength && open.error < bestError)) {
                bestNode = open.node;
                bestLength = open.length;
                bestError = open.error;
            }
            const size_t q = pos + open.length;
            if (q >= n || expanded++ > SearchBudget + bestLength) continue;
            // The closest child goes on top, so that it is expanded next.
            const size_t first = t.stack.size();
            uint32_t closest = Refused;
            for (uint16_t child = t.firstChild[open.node]; child != NoNode;
                 child = t.nextSibling[child]) {
                const uint32_t c = cost(t.symbol[child], q);
                if (c == Refused) continue;
                const int r = open.dr + drift[0], g = open.dg + drift[1], b = open.db + drift[2];
                if (drifts(r, g, b)) continue;
                t.stack.push_back({child, open.length + 1, open.error + c, r, g, b});
                if (c < closest) {
                    closest = c;
                    std::swap(t.stack[first], t.stack.back());
                }
            }
            if (t.stack.size() > first + 1) std::swap(t.stack[first], t.stack.back());
        }
        if (previous != NoNode && next < uint32_t(gif::lzw::MaxCodes) &&
            previousLength + 1 >= bestLength && pos + previousLength + 1 <= n) {
            const uint8_t* string = shown + (pos - previousLength);
            uint32_t error = 0;
            int r = 0, g = 0, b = 0;
            for (uint32_t k = 0; k <= previousLength && error != Refused; ++k) {
                const uint32_t c = cost(k < previousLength ? string[k] : string[0], pos + k);
                r += drift[0];
                g += drift[1];
                b += drift[2];
                error = c != Refused && !drifts(r, g, b) ? error + c : Refused;
            }
            if (error != Refused && (previousLength + 1 > bestLength || error < bestError)) {
                bestLength = previousLength + 1;
                return Pending;
            }
        }
        return bestNode;
    };

    auto writeString = [&](uint16_t node, size_t pos, uint32_t length) {
        for (uint32_t k = length; k-- > 0;) {
            shown[pos + k] = t.symbol[node];
            node = t.parent[node];
        }
    };

    for (uint32_t s = 0; s < clearCode; ++s) {
        t.symbol[s] = uint8_t(s);
        t.parent[s] = NoNode;
    }
    resetTable();

    BitSink bits(out);
    int codeSize = minCodeSize + 1;
    bits.put(clearCode, codeSize);
    auto putData = [&](uint32_t code) {
        bits.put(code, codeSize);
        if (next >= (1u << codeSize) && codeSize < gif::lzw::MaxCodeBits) ++codeSize;
    };

    size_t pos = 0;
    while (pos < n) {
        uint32_t length = 0;
        uint16_t node = search(pos, length);
        if (previous != NoNode) {
            putData(previous);
            if (next < uint32_t(gif::lzw::MaxCodes)) {
                // The decoder adds the string written last with the first index of
                // the one it reads next.
                uint16_t first = uint16_t(shown[pos - previousLength]);
                if (node != Pending) {
                    first = node;
                    for (uint32_t k = 1; k < length; ++k)
                        first = t.parent[first];
                }
                const uint16_t code = uint16_t(next++);
                t.symbol[code] = uint8_t(first);
                t.parent[code] = previous;
                t.firstChild[code] = NoNode;
                t.nextSibling[code] = t.firstChild[previous];
                t.firstChild[previous] = code;
                if (node == Pending) node = code;
            } else {
                bits.put(clearCode, codeSize);
                codeSize = minCodeSize + 1;
                next = firstFree;
                resetTable();
                // The first string after a clear adds nothing to the table.
                previous = NoNode;
                node = search(pos, length);
            }
        }
        writeString(node, pos, length);
        previous = node;
        previousLength = length;
        pos += length;
    }
    if (previous != NoNode) putData(previous);
    bits.put(endCode, codeSize);
    bits.finish();
}

} // namespace vorlane::exporting
