// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/LossyLzw.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "codec/Lzw.h"
#include "export/CodeSink.h"
#include "export/ExportSettings.h"

// The coder is the usual greedy LZW coder over a trie of the strings in its table, with
// one change: the string taken at each step is the longest one the table holds whose
// every pixel is acceptable, not the longest whose pixels are equal. Among strings of the
// same length the one that is off by least in all is taken.
//
// A pixel accepts an index when the colour it draws there (the table's colour, or for the
// transparent index the screen under it) is exact, or when all of these hold:
// - the screen does not already show the right colour there. A pixel the frame leaves as
//   it is would otherwise take an error that it keeps in every later frame that leaves
//   it too (a screen recording changes a cursor and a few glyphs per frame, and such
//   errors would pile up on the frames around them); those pixels cost nothing exactly
//   (transparency), so loss there buys little;
// - it is within the pixel's tolerance of the colour it must show: the level's bound,
//   or a quarter of it inside a run of one colour (the pixel and its neighbours on both
//   sides of the row alike), where a wrong pixel stands out against a flat background;
// - the error diffused along the row stays within that tolerance: each pixel passes a
//   share of its error, with what it was passed, on to the next one. Errors that cancel
//   out (grain, texture, an edge moved by a pixel) pass on little; a run of the same
//   near colour over a flat area (a patch shifted in colour, the most visible error)
//   piles up and stops after a few pixels. The carry follows the pixels along the row,
//   across the strings, and starts afresh at each row.
// The frame's own index is always accepted: it shows what the exact coder shows.
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
// The error carried along a row: per channel, in 1/CarryScale of a colour step.
struct Carry {
    int r = 0, g = 0, b = 0;
};
constexpr int CarryScale = 16;
// The share of a pixel's error (with what it was passed) that the next pixel receives.
constexpr int CarryKeep = 3, CarryKeepOf = 4;
// A flag on a pixel's tolerance (which stays far below it).
constexpr uint32_t RowStart = 0x80000000u;
// In a run of one colour, a pixel may take this share of the level's squared error.
constexpr uint32_t RunShareOf = 4;
// The colour distance a pixel may be off per lossy level.
constexpr double DistancePerLevel = 0.42;

inline uint32_t squaredDistance(uint32_t a, uint32_t b) {
    const int dr = int((a >> 16) & 0xFF) - int((b >> 16) & 0xFF);
    const int dg = int((a >> 8) & 0xFF) - int((b >> 8) & 0xFF);
    const int db = int(a & 0xFF) - int(b & 0xFF);
    return uint32_t(dr * dr + dg * dg + db * db);
}

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
        Carry carry; // what the string's last pixel passes on
    };
    std::vector<Open> stack;
    std::array<uint32_t, 256> seen{}; // stamp per first index of a search
    uint32_t stamp = 0;
    // The carry at the pixel after the strings written so far.
    Carry carry;
    std::vector<uint32_t> tolerance;
};

uint32_t LossyLzw::bound(int level) {
    const double distance = DistancePerLevel * std::clamp(level, 0, MaxLossy);
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

    const size_t width = size_t(frame.width);

    // Per pixel, the largest squared error a colour other than the right one may bring:
    // none where the screen already shows the right colour (or nothing must show), a
    // quarter of the level's inside a run of one colour, where a wrong pixel stands out
    // against its neighbours on both sides (half the distance), the level's elsewhere.
    // RowStart marks the first pixel of a row, where the carry starts afresh.
    t.tolerance.resize(n);
    for (size_t row = 0; row < n; row += width) {
        const uint32_t* want = target + row;
        const uint32_t* below = under + row;
        uint32_t* allowed = t.tolerance.data() + row;
        for (size_t x = 0; x < width; ++x) {
            if ((want[x] >> 24) == 0 || below[x] == want[x])
                allowed[x] = 0;
            else if (x > 0 && x + 1 < width && want[x - 1] == want[x] && want[x + 1] == want[x])
                allowed[x] = limit / RunShareOf;
            else
                allowed[x] = limit;
        }
        allowed[0] |= RowStart;
    }
    const uint32_t* tolerance = t.tolerance.data();

    // How far index s at pixel q is from what the pixel must show, with `in` the carry
    // the pixel receives and `out` the one it passes on; Refused when s cannot stand
    // there (see the head of the file; transparency where something must show, or the
    // other way round, never can).
    auto cost = [&](uint32_t s, size_t q, Carry in, Carry& out) -> uint32_t {
        const uint32_t want = target[q];
        const uint32_t allowed = tolerance[q];
        if (allowed & RowStart) in = Carry{};
        uint32_t got;
        if (int(s) == transparent) {
            const uint32_t below = under[q];
            if ((want >> 24) == 0) {
                out = Carry{};
                return (below >> 24) == 0 ? 0 : Refused;
            }
            if ((below >> 24) == 0) return Refused;
            got = below;
        } else {
            if ((want >> 24) == 0) return Refused;
            got = palette[s];
        }
        const int er = int((got >> 16) & 0xFF) - int((want >> 16) & 0xFF);
        const int eg = int((got >> 8) & 0xFF) - int((want >> 8) & 0xFF);
        const int eb = int(got & 0xFF) - int(want & 0xFF);
        const uint32_t d = uint32_t(er * er + eg * eg + eb * eb);
        const int r = in.r + er * CarryScale, g = in.g + eg * CarryScale,
                  b = in.b + eb * CarryScale;
        if (d != 0 && s != indices[q]) {
            const uint32_t most = allowed & ~RowStart;
            if (d > most) return Refused;
            if (uint32_t(r * r + g * g + b * b) > most * (CarryScale * CarryScale)) return Refused;
        }
        out = {r * CarryKeep / CarryKeepOf, g * CarryKeep / CarryKeepOf,
               b * CarryKeep / CarryKeepOf};
        return d;
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

    t.carry = Carry{};
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
        Carry carry;
        uint32_t bestError = cost(own, pos, t.carry, carry);
        if (bestError == Refused) bestError = 0;
        ++t.stamp;
        t.stack.clear();
        auto offer = [&](uint32_t s) {
            if (s >= clearCode || t.seen[s] == t.stamp) return;
            t.seen[s] = t.stamp;
            const uint32_t c = cost(s, pos, t.carry, carry);
            if (c == Refused && s != own) return;
            if (c == Refused) carry = Carry{};
            t.stack.push_back({uint16_t(s), 1, c == Refused ? 0 : c, carry});
        };
        int base = int(own) == transparent ? -1 : int(own);
        if (base < 0 && (target[pos] >> 24) != 0) {
            if (lastColour < 0 || lastColourValue != target[pos]) {
                lastColourValue = target[pos];
                lastColour = entryOf(target[pos]);
            }
            base = lastColour;
        }
        // Searched last to first: transparency, the entry of the right colour (also where
        // the own index is transparency, so that a run of that colour can reach over
        // pixels the screen already shows), the own index, then near colours, closest
        // first. Of strings of the same length and error the first found stands:
        // transparency where the screen already shows the right colour, since runs of
        // transparency reach over unchanged pixels of any colour.
        if (base >= 0) {
            for (uint32_t k = t.nearStart[size_t(base) + 1]; k-- > t.nearStart[size_t(base)];)
                offer(t.near[k]);
            offer(uint32_t(base));
        }
        offer(own);
        if (transparent >= 0) offer(uint32_t(transparent));

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
                const uint32_t c = cost(t.symbol[child], q, open.carry, carry);
                if (c == Refused) continue;
                t.stack.push_back({child, open.length + 1, open.error + c, carry});
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
            carry = t.carry;
            for (uint32_t k = 0; k <= previousLength && error != Refused; ++k) {
                const uint32_t c =
                    cost(k < previousLength ? string[k] : string[0], pos + k, carry, carry);
                error = c != Refused ? error + c : Refused;
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
        // The carry the next string starts from. The search accepted every pixel (the
        // frame's own index where nothing else stood), so none is refused here.
        for (uint32_t k = 0; k < length; ++k)
            if (cost(shown[pos + k], pos + k, t.carry, t.carry) == Refused) t.carry = Carry{};
    };

    for (uint32_t s = 0; s < clearCode; ++s) {
        t.symbol[s] = uint8_t(s);
        t.parent[s] = NoNode;
    }
    resetTable();

    CodeSink bits(out);
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
