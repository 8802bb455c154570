// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec/Lzw.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <QtEndian>

namespace vorlane::gif::lzw {

// ---------------------------------------------------------------------------------------
// Decoding
//
// Every table entry is a string that has already been written to the output: the entry
// made after code k is the string of code k - 1 followed by the first pixel of code k,
// and the two stand next to each other in the output. So an entry is kept as where its
// bytes are and how many there are, and decoding a code is a copy, with no per-pixel
// chain walking. Literals are copied the same way from a small array of their own, so
// that the common codes take one path. A copy's source always ends at or before its
// destination, which lets the copy run in 8-byte chunks that may write a few bytes past
// the string (those are overwritten by the next code) as long as the output has room.
// ---------------------------------------------------------------------------------------

namespace {

inline void copyString(uint8_t* dst, const uint8_t* src, size_t length, const uint8_t* outEnd) {
    if (size_t(outEnd - dst) >= length + 8) {
        for (size_t k = 0; k < length; k += 8) {
            uint64_t chunk;
            std::memcpy(&chunk, src + k, 8);
            std::memcpy(dst + k, &chunk, 8);
        }
    } else {
        for (size_t k = 0; k < length; ++k)
            dst[k] = src[k];
    }
}

} // namespace

DecodeResult decode(std::span<const uint8_t> data, int minCodeSize, uint8_t* out, size_t outSize) {
    if (minCodeSize < MinCodeSizeLow || minCodeSize > MinCodeSizeHigh)
        throw GifError("invalid LZW minimum code size " + std::to_string(minCodeSize));

    const uint32_t clearCode = 1u << minCodeSize;
    const uint32_t endCode = clearCode + 1;
    const uint8_t* const outEnd = out + outSize;

    // Literal c is read from literals[c]; 8 bytes stay readable from each for the
    // chunked copy.
    uint8_t literals[256 + 8] = {};
    for (int c = 0; c < 256; ++c)
        literals[c] = uint8_t(c);
    auto from = std::make_unique<const uint8_t*[]>(MaxCodes);
    auto length = std::make_unique<uint32_t[]>(MaxCodes); // 0: not a string
    for (uint32_t c = 0; c < clearCode && c < 256; ++c) {
        from[c] = literals + c;
        length[c] = 1;
    }

    const uint8_t* in = data.data();
    const size_t inSize = data.size();
    size_t inPos = 0;
    uint64_t bits = 0; // bits above bitCount may hold a copy of the next input bytes
    int bitCount = 0;

    int codeSize = minCodeSize + 1;
    uint32_t codeMask = (1u << codeSize) - 1;
    uint32_t next = endCode + 1;
    bool havePrev = false;
    uint8_t* prev = out; // the previous code's string in the output
    uint32_t prevLen = 0;
    uint8_t* dst = out;
    uint32_t highest = 0;
    DecodeResult result;

    for (;;) {
        if (bitCount < codeSize) {
            if (inSize - inPos >= 8) {
                const uint64_t word = qFromLittleEndian<quint64>(in + inPos);
                bits |= word << bitCount;
                const int take = (63 - bitCount) >> 3;
                inPos += size_t(take);
                bitCount += take * 8;
            } else {
                while (bitCount < codeSize && inPos < inSize) {
                    bits |= uint64_t(in[inPos++]) << bitCount;
                    bitCount += 8;
                }
                if (bitCount < codeSize) break; // the data ends without an end code
            }
        }
        const uint32_t code = uint32_t(bits) & codeMask;
        bits >>= codeSize;
        bitCount -= codeSize;

        if (code == clearCode) {
            codeSize = minCodeSize + 1;
            codeMask = (1u << codeSize) - 1;
            next = endCode + 1;
            havePrev = false;
            continue;
        }
        if (code == endCode) {
            result.sawEndCode = true;
            break;
        }
        if (dst == outEnd) {
            result.extraCodes = true;
            break;
        }

        uint32_t n;
        if (code < next) {
            n = length[code];
            if (n == 0)
                throw GifError("LZW literal " + std::to_string(code) + " is not a colour index");
            if (n > size_t(outEnd - dst)) {
                copyString(dst, from[code], size_t(outEnd - dst), outEnd);
                dst = out + outSize;
                result.extraCodes = true;
                break;
            }
            copyString(dst, from[code], n, outEnd);
            if (code < clearCode) {
                highest = std::max(highest, code);
                result.literals.set(code);
            }
        } else if (code == next && havePrev) {
            // The string being defined by this very code: the previous string followed
            // by its own first pixel.
            n = prevLen + 1;
            const size_t room = size_t(outEnd - dst);
            copyString(dst, prev, std::min<size_t>(prevLen, room), outEnd);
            if (prevLen < room) dst[prevLen] = prev[0];
            if (n > room) {
                dst = out + outSize;
                result.extraCodes = true;
                break;
            }
        } else {
            throw GifError("LZW code " + std::to_string(code) + " is beyond the table");
        }

        if (havePrev && next < uint32_t(MaxCodes)) {
            from[next] = prev;
            length[next] = prevLen + 1;
            ++next;
        }
        // Codes widen once the next free code no longer fits. Checked after every code,
        // not only after additions, so that a minimum code size of 1 (whose first free
        // code already needs 3 bits) widens after its first code, as common decoders do.
        if (next >= (1u << codeSize) && codeSize < MaxCodeBits) {
            ++codeSize;
            codeMask = (1u << codeSize) - 1;
        }
        havePrev = true;
        prev = dst;
        prevLen = n;
        dst += n;
    }

    result.written = size_t(dst - out);
    result.highestLiteral = uint8_t(highest);
    if (result.sawEndCode) result.dataAfterEnd = inPos < inSize || bitCount >= 8;
    return result;
}

// ---------------------------------------------------------------------------------------
// Encoding
//
// The table maps (prefix code, next pixel) to a code through an open-addressed hash of
// 8192 slots, at most half full. A slot packs the 20-bit key (12 bits of prefix code, 8
// bits of pixel) and the 12-bit code into one word, so the whole table is 32 KiB and
// stays in the first-level cache; 0 marks a free slot (no entry has key 0 and code 0,
// since codes start above the end code). In front of it, each code remembers the child
// it last led to: runs and repeated patterns find their next string there without
// hashing. A full table is cleared by sweeping both (48 KiB once per 4000-odd codes).
// ---------------------------------------------------------------------------------------

namespace {

constexpr int HashBits = 13;
constexpr uint32_t HashMask = (1u << HashBits) - 1;

inline uint32_t slotOf(uint32_t key) {
    return (key * 2654435761u) >> (32 - HashBits);
}

class BitWriter {
public:
    explicit BitWriter(uint8_t* out) : m_out(out) {}
    uint8_t* position() const { return m_out; }
    void rebase(uint8_t* out) { m_out = out; }
    void put(uint32_t code, int size) {
        m_bits |= uint64_t(code) << m_count;
        m_count += size;
        if (m_count >= 32) {
            qToLittleEndian<quint32>(uint32_t(m_bits), m_out);
            m_out += 4;
            m_bits >>= 32;
            m_count -= 32;
        }
    }
    uint8_t* finish() {
        while (m_count > 0) {
            *m_out++ = uint8_t(m_bits);
            m_bits >>= 8;
            m_count -= 8;
        }
        return m_out;
    }

private:
    uint8_t* m_out;
    uint64_t m_bits = 0;
    int m_count = 0;
};

} // namespace

void encode(std::span<const uint8_t> indices, int minCodeSize, Bytes& out) {
    const uint32_t clearCode = 1u << minCodeSize;
    const uint32_t endCode = clearCode + 1;
    const uint32_t firstFree = endCode + 1;

    // At most one code per pixel, one clear code per table fill, the first clear and the
    // end code, each at most 12 bits; plus room for the writer's 4-byte stores.
    const size_t n = indices.size();
    const size_t maxCodes = n + n / (MaxCodes - firstFree) + 3;
    const size_t bound = (maxCodes * MaxCodeBits + 7) / 8 + 8;
    // The output grows with the codes written rather than to that bound at once: long
    // runs code into a small fraction of their size, and a buffer for the worst case
    // would touch 1.5 bytes per pixel of memory.
    const size_t start = out.size();
    const size_t limit = start + bound;
    out.resize(std::min(limit, start + 4096 + n / 8));

    auto tableStore = std::make_unique<uint32_t[]>((size_t(1) << HashBits) + MaxCodes);
    uint32_t* const table = tableStore.get();                 // zero: free
    uint32_t* const recent = table + (size_t(1) << HashBits); // zero: none

    BitWriter writer(out.data() + start);
    // Called before every code: room for it (at most 4 bytes a store) with a margin.
    auto room = [&] {
        const size_t at = size_t(writer.position() - out.data());
        if (out.size() - at >= 16) return;
        out.resize(std::min(limit, out.size() * 2));
        writer.rebase(out.data() + at);
    };
    int codeSize = minCodeSize + 1;
    uint32_t next = firstFree;
    writer.put(clearCode, codeSize);
    // A data code is followed by the widening the decoder applies after reading it: the
    // decoder's next free code then equals ours before this code's own table entry.
    // Doing it here rather than after each addition also widens the end code when the
    // last data code reaches a power of two, where the decoder expects the wider size.
    auto putData = [&](uint32_t code) {
        room();
        writer.put(code, codeSize);
        if (next >= (1u << codeSize) && codeSize < MaxCodeBits) ++codeSize;
    };

    if (n > 0) {
        const uint8_t* px = indices.data();
        uint32_t prefix = px[0];
        for (size_t i = 1; i < n; ++i) {
            const uint32_t pixel = px[i];
            const uint32_t hint = recent[prefix];
            if ((hint >> MaxCodeBits) == pixel + 1) {
                prefix = hint & (MaxCodes - 1);
                continue;
            }
            const uint32_t key = (prefix << 8) | pixel;
            uint32_t slot = slotOf(key);
            uint32_t v;
            while ((v = table[slot]) != 0 && (v >> MaxCodeBits) != key)
                slot = (slot + 1) & HashMask;
            if (v != 0) {
                recent[prefix] = ((pixel + 1) << MaxCodeBits) | (v & (MaxCodes - 1));
                prefix = v & (MaxCodes - 1);
                continue;
            }
            putData(prefix);
            if (next < uint32_t(MaxCodes)) {
                table[slot] = (key << MaxCodeBits) | next;
                recent[prefix] = ((pixel + 1) << MaxCodeBits) | next;
                ++next;
            } else {
                // The table is full: start a new one, as standard encoders do.
                room();
                writer.put(clearCode, codeSize);
                codeSize = minCodeSize + 1;
                next = firstFree;
                std::fill_n(table, (size_t(1) << HashBits) + MaxCodes, 0u);
            }
            prefix = pixel;
        }
        putData(prefix);
    }
    room();
    writer.put(endCode, codeSize);
    uint8_t* end = writer.finish();
    out.resize(size_t(end - out.data()));
}

} // namespace vorlane::gif::lzw
