// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec/OptimizeLzw.h"

#include <algorithm>

#include "codec/Lzw.h"

namespace vorlane::gif::optimizer {

namespace {
// Keys: generation in the top 12 bits, then the prefix code (12 bits) and the symbol.
constexpr uint32_t KeyBits = 20;
constexpr uint32_t MaxGeneration = (1u << (32 - KeyBits)) - 1;
constexpr int SlotBits = 13; // twice the largest table
constexpr size_t Slots = size_t(1) << SlotBits;
constexpr uint32_t SlotMask = uint32_t(Slots) - 1;

inline uint32_t slotOf(uint32_t key) {
    return (key * 2654435761u) >> (32 - SlotBits);
}
// How far ahead a tie between two continuing indices is looked at. Longer looks find
// slightly longer strings at a cost per tie; 16 pixels is past the length of most
// strings in a table that is still filling up.
constexpr size_t TieLookahead = 16;
} // namespace

LzwModel::LzwModel()
    : m_keys(new uint32_t[Slots]()), m_codes(new uint16_t[Slots]()),
      m_recentKeys(new uint32_t[lzw::MaxCodes]()), m_recentCodes(new uint16_t[lzw::MaxCodes]()) {}

void LzwModel::newTable() {
    if (++m_generation > MaxGeneration) {
        std::fill_n(m_keys.get(), Slots, 0u);
        std::fill_n(m_recentKeys.get(), lzw::MaxCodes, 0u);
        m_generation = 1;
    }
}

size_t LzwModel::dataBytes(size_t bits) {
    const size_t bytes = (bits + 7) / 8;
    return 1 + bytes + (bytes + 254) / 255 + 1;
}

size_t LzwModel::choose(std::span<const uint8_t> primary, std::span<const uint8_t> alternate,
                        int minCodeSize, uint8_t* out) {
    const size_t n = primary.size();
    const uint8_t* pri = primary.data();
    const uint8_t* alt = alternate.data();
    const uint32_t firstFree = (1u << minCodeSize) + 2;
    uint32_t* keys = m_keys.get();
    uint16_t* codes = m_codes.get();

    newTable();
    uint32_t tag = m_generation << KeyBits;
    // A child of `code` by `symbol`, 0 for none (0 is never a table entry: entries start
    // after the clear and end codes).
    // The last child found of each code answers first: strings mostly run on the way
    // they ran before.
    uint32_t* recentKeys = m_recentKeys.get();
    uint16_t* recentCodes = m_recentCodes.get();
    auto child = [&](uint32_t code, uint32_t symbol) -> uint32_t {
        const uint32_t key = tag | code << 8 | symbol;
        if (recentKeys[code] == key) return recentCodes[code];
        for (uint32_t s = slotOf(key);; s = (s + 1) & SlotMask) {
            const uint32_t k = keys[s];
            if (k == key) {
                recentKeys[code] = key;
                recentCodes[code] = codes[s];
                return codes[s];
            }
            if ((k & ~((1u << KeyBits) - 1)) != tag) return 0;
        }
    };
    auto add = [&](uint32_t code, uint32_t symbol, uint32_t value) {
        const uint32_t key = tag | code << 8 | symbol;
        uint32_t s = slotOf(key);
        while ((keys[s] & ~((1u << KeyBits) - 1)) == tag)
            s = (s + 1) & SlotMask;
        keys[s] = key;
        codes[s] = uint16_t(value);
        recentKeys[code] = key;
        recentCodes[code] = uint16_t(value);
    };
    // How many of the pixels from `from` on the table can add to `code`'s string.
    auto reach = [&](uint32_t code, size_t from) {
        size_t k = from;
        const size_t end = std::min(n, from + TieLookahead);
        while (k < end) {
            uint32_t c = child(code, pri[k]);
            if (!c && alt[k] != pri[k]) c = child(code, alt[k]);
            if (!c) break;
            code = c;
            ++k;
        }
        return k - from;
    };
    // The index to start a new string with at pixel k.
    auto start = [&](size_t k) -> uint8_t {
        const uint8_t a = pri[k];
        const uint8_t b = alt[k];
        if (a == b || k + 1 >= n) return a;
        const uint8_t p = pri[k + 1];
        const uint8_t q = alt[k + 1];
        const bool aGoes = child(a, p) || child(a, q);
        if (aGoes) return a;
        return (child(b, p) || child(b, q)) ? b : a;
    };

    int codeSize = minCodeSize + 1;
    uint32_t next = firstFree;
    size_t bits = size_t(codeSize); // the clear code that opens the stream
    // Mirrors lzw::encode: a data code is written at the current width, which then grows
    // when the next free code no longer fits.
    auto putData = [&]() {
        bits += size_t(codeSize);
        if (next >= (1u << codeSize) && codeSize < lzw::MaxCodeBits) ++codeSize;
    };

    if (n > 0) {
        uint32_t prefix = start(0);
        if (out) out[0] = uint8_t(prefix);
        for (size_t k = 1; k < n; ++k) {
            const uint8_t a = pri[k];
            const uint8_t b = alt[k];
            const uint32_t ca = child(prefix, a);
            const uint32_t cb = a != b ? child(prefix, b) : 0;
            if (ca || cb) {
                const bool takeB = !ca || (cb && reach(cb, k + 1) > reach(ca, k + 1));
                prefix = takeB ? cb : ca;
                if (out) out[k] = takeB ? b : a;
                continue;
            }
            putData();
            const bool full = next >= uint32_t(lzw::MaxCodes);
            if (full) {
                bits += size_t(codeSize); // clear code
                codeSize = minCodeSize + 1;
                next = firstFree;
                newTable();
                tag = m_generation << KeyBits;
            }
            const uint8_t symbol = start(k);
            if (!full) add(prefix, symbol, next++);
            prefix = symbol;
            if (out) out[k] = symbol;
        }
        putData();
    }
    return bits + size_t(codeSize); // the end code
}

} // namespace vorlane::gif::optimizer
