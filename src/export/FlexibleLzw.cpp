// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/FlexibleLzw.h"

#include <algorithm>

#include "codec/Lzw.h"
#include "export/CodeSink.h"

// Each step finds the longest string the table holds at the pixel (length L), then for
// every prefix of it (length l) the longest string at the pixel after that prefix
// (length M(l), measured on the table as it is: the entry the step adds is left out),
// and writes the prefix with the largest l + M(l), the longest among equals. The table
// grows as the decoder's does: each code written adds the string it stands for and the
// next pixel, even when the table already holds that string (a prefix shorter than the
// longest may be followed by a pixel its longer string already has); such an entry takes
// a code that is never used, and the trie keeps the first. The codes, their widths and
// the clear points otherwise follow lzw::encode exactly.

namespace vorlane::exporting {

namespace {

// The prefixes tried at each step, longest first: a prefix much shorter than the longest
// string rarely wins, and trying every one would cost the square of the string's length
// on long runs.
constexpr uint32_t Candidates = 48;

} // namespace

void FlexibleLzw::encode(std::span<const uint8_t> indices, int minCodeSize, gif::Bytes& out) {
    const uint32_t clearCode = 1u << minCodeSize;
    const uint32_t endCode = clearCode + 1;
    const uint32_t firstFree = endCode + 1;
    const size_t n = indices.size();
    const uint8_t* px = indices.data();
    m_bits = minCodeSize;
    m_child.assign(size_t(gif::lzw::MaxCodes) << minCodeSize, 0);
    m_path.resize(size_t(gif::lzw::MaxCodes));
    uint16_t* child = m_child.data();
    const auto row = [&](uint32_t node) { return child + (size_t(node) << m_bits); };

    // The longest string at pixel q, its nodes by length into `path` when given.
    const auto longest = [&](size_t q, uint16_t* path) -> uint32_t {
        uint32_t node = px[q];
        uint32_t length = 1;
        if (path) path[1] = uint16_t(node);
        while (q + length < n) {
            const uint16_t c = row(node)[px[q + length]];
            if (c == 0) break;
            node = c;
            ++length;
            if (path) path[length] = c;
        }
        return length;
    };

    CodeSink bits(out);
    int codeSize = minCodeSize + 1;
    uint32_t next = firstFree;
    uint32_t deepest = 1; // the length of the longest string in the table
    bits.put(clearCode, codeSize);
    size_t p = 0;
    while (p < n) {
        const uint32_t most = longest(p, m_path.data());
        uint32_t take = most;
        if (most > 1 && p + most < n) {
            size_t reach = most + longest(p + most, nullptr);
            const uint32_t shortest = most > Candidates ? most - Candidates : 1;
            for (uint32_t l = most - 1; l >= shortest; --l) {
                // No string is longer than the longest the table holds.
                if (l + deepest <= reach) break;
                const size_t r = l + longest(p + l, nullptr);
                if (r > reach) {
                    reach = r;
                    take = l;
                }
            }
        }
        const uint32_t code = m_path[take];
        bits.put(code, codeSize);
        if (next >= (1u << codeSize) && codeSize < gif::lzw::MaxCodeBits) ++codeSize;
        p += take;
        if (p >= n) break;
        if (next < uint32_t(gif::lzw::MaxCodes)) {
            uint16_t& slot = row(code)[px[p]];
            if (slot == 0) slot = uint16_t(next);
            deepest = std::max(deepest, take + 1);
            std::fill_n(row(next), size_t(1) << m_bits, uint16_t(0));
            ++next;
        } else {
            // The table is full: start a new one, as lzw::encode does.
            bits.put(clearCode, codeSize);
            codeSize = minCodeSize + 1;
            next = firstFree;
            deepest = 1;
            std::fill_n(child, size_t(clearCode) << m_bits, uint16_t(0));
        }
    }
    bits.put(endCode, codeSize);
    bits.finish();
}

} // namespace vorlane::exporting
