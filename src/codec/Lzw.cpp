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
// and the two stand next to each other in the output. So an entry is kept as (position,
// length) in the output and decoding a code is a copy from earlier output, with no
// per-pixel chain walking. A copy's source always ends at or before its destination,
// which lets the copy run in 8-byte chunks that may write a few bytes past the string
// (those are overwritten by the next code) as long as the output has room for them.
// ---------------------------------------------------------------------------------------

namespace {

inline void copyString(uint8_t* out, size_t dst, size_t src, size_t length, size_t outSize) {
    if (dst + length + 8 <= outSize) {
        for (size_t k = 0; k < length; k += 8) {
            uint64_t chunk;
            std::memcpy(&chunk, out + src + k, 8);
            std::memcpy(out + dst + k, &chunk, 8);
        }
    } else {
        for (size_t k = 0; k < length; ++k)
            out[dst + k] = out[src + k];
    }
}

} // namespace

DecodeResult decode(std::span<const uint8_t> data, int minCodeSize, uint8_t* out, size_t outSize) {
    if (minCodeSize < MinCodeSizeLow || minCodeSize > MinCodeSizeHigh)
        throw GifError("invalid LZW minimum code size " + std::to_string(minCodeSize));

    const uint32_t clearCode = 1u << minCodeSize;
    const uint32_t endCode = clearCode + 1;

    // Position and length of each table entry's string in the output.
    auto entryPos = std::make_unique<size_t[]>(MaxCodes);
    auto entryLen = std::make_unique<uint32_t[]>(MaxCodes);

    const uint8_t* in = data.data();
    const size_t inSize = data.size();
    size_t inPos = 0;
    uint64_t bits = 0; // bits above bitCount may hold a copy of the next input bytes
    int bitCount = 0;

    int codeSize = minCodeSize + 1;
    uint32_t codeMask = (1u << codeSize) - 1;
    uint32_t next = endCode + 1;
    bool havePrev = false;
    size_t prevPos = 0;
    uint32_t prevLen = 0;
    size_t dst = 0;
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
        if (dst >= outSize) {
            result.extraCodes = true;
            break;
        }

        uint32_t length;
        if (code < clearCode) {
            if (code > 0xFF)
                throw GifError("LZW literal " + std::to_string(code) + " is not a colour index");
            out[dst] = uint8_t(code);
            highest = std::max(highest, code);
            length = 1;
        } else if (code < next) {
            length = entryLen[code];
            if (dst + length > outSize) {
                copyString(out, dst, entryPos[code], outSize - dst, outSize);
                dst = outSize;
                result.extraCodes = true;
                break;
            }
            copyString(out, dst, entryPos[code], length, outSize);
        } else if (code == next && havePrev) {
            // The string being defined by this very code: the previous string followed
            // by its own first pixel.
            length = prevLen + 1;
            if (dst + length > outSize) {
                copyString(out, dst, prevPos, std::min<size_t>(prevLen, outSize - dst), outSize);
                if (dst + prevLen < outSize) out[dst + prevLen] = out[prevPos];
                dst = outSize;
                result.extraCodes = true;
                break;
            }
            copyString(out, dst, prevPos, prevLen, outSize);
            out[dst + prevLen] = out[prevPos];
        } else {
            throw GifError("LZW code " + std::to_string(code) + " is beyond the table");
        }

        if (havePrev && next < uint32_t(MaxCodes)) {
            entryPos[next] = prevPos;
            entryLen[next] = prevLen + 1;
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
        prevPos = dst;
        prevLen = length;
        dst += length;
    }

    result.written = dst;
    result.highestLiteral = uint8_t(highest);
    if (result.sawEndCode) result.dataAfterEnd = inPos < inSize || bitCount >= 8;
    return result;
}

// ---------------------------------------------------------------------------------------
// Encoding
//
// The table maps (prefix code, next pixel) to a code through an open-addressed hash of
// 16384 slots (at most 4096 live entries, so probes stay short). Each slot carries the
// generation of the table it belongs to, so clearing the table is one increment rather
// than a sweep; the slots are swept only when the generation counter wraps.
// ---------------------------------------------------------------------------------------

namespace {

constexpr int HashBits = 14;
constexpr uint32_t HashMask = (1u << HashBits) - 1;
constexpr int KeyBits = 20; // 12 bits of prefix code, 8 bits of pixel
constexpr uint32_t MaxGeneration = (1u << (32 - KeyBits)) - 1;

inline uint32_t slotOf(uint32_t key) {
    return (key * 2654435761u) >> (32 - HashBits);
}

class BitWriter {
public:
    explicit BitWriter(uint8_t* out) : m_out(out) {}
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
    const size_t start = out.size();
    out.resize(start + bound);

    auto keys = std::make_unique<uint32_t[]>(size_t(1) << HashBits); // zero: empty
    auto codes = std::make_unique<uint16_t[]>(size_t(1) << HashBits);
    uint32_t generation = 1;

    BitWriter writer(out.data() + start);
    int codeSize = minCodeSize + 1;
    uint32_t next = firstFree;
    writer.put(clearCode, codeSize);
    // A data code is followed by the widening the decoder applies after reading it: the
    // decoder's next free code then equals ours before this code's own table entry.
    // Doing it here rather than after each addition also widens the end code when the
    // last data code reaches a power of two, where the decoder expects the wider size.
    auto putData = [&](uint32_t code) {
        writer.put(code, codeSize);
        if (next >= (1u << codeSize) && codeSize < MaxCodeBits) ++codeSize;
    };

    if (n > 0) {
        const uint8_t* px = indices.data();
        uint32_t prefix = px[0];
        for (size_t i = 1; i < n; ++i) {
            const uint32_t pixel = px[i];
            const uint32_t key = (prefix << 8) | pixel;
            const uint32_t tag = (generation << KeyBits) | key;
            uint32_t slot = slotOf(key);
            bool found = false;
            for (;;) {
                const uint32_t v = keys[slot];
                if (v == tag) {
                    found = true;
                    break;
                }
                if ((v >> KeyBits) != generation) break; // empty or stale: a free slot
                slot = (slot + 1) & HashMask;
            }
            if (found) {
                prefix = codes[slot];
                continue;
            }
            putData(prefix);
            if (next < uint32_t(MaxCodes)) {
                keys[slot] = tag;
                codes[slot] = uint16_t(next);
                ++next;
            } else {
                // The table is full: start a new one, as standard encoders do.
                writer.put(clearCode, codeSize);
                codeSize = minCodeSize + 1;
                next = firstFree;
                if (++generation > MaxGeneration) {
                    std::fill_n(keys.get(), size_t(1) << HashBits, 0u);
                    generation = 1;
                }
            }
            prefix = pixel;
        }
        putData(prefix);
    }
    writer.put(endCode, codeSize);
    uint8_t* end = writer.finish();
    out.resize(size_t(end - out.data()));
}

} // namespace vorlane::gif::lzw
