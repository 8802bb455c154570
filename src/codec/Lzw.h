// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The variable-length LZW coding of GIF image data: codes of 3 to 12 bits packed least
// significant bit first, a clear code and an end code after the literals, a table of at
// most 4096 codes. The coder works on the raw code stream; splitting it into sub-blocks
// is the file format's business (GifReader, GifWriter).

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/GifTypes.h"

namespace vorlane::gif::lzw {

inline constexpr int MaxCodeBits = 12;
inline constexpr int MaxCodes = 1 << MaxCodeBits;

// Minimum code sizes the decoder accepts. Sizes above 8 make literals that cannot be a
// byte-sized colour index; the coding itself is still well defined, so such streams are
// decoded as long as every literal they use is below 256.
inline constexpr int MinCodeSizeLow = 1;
inline constexpr int MinCodeSizeHigh = 11;

struct DecodeResult {
    size_t written = 0;         // pixels written to the output, at most its size
    bool sawEndCode = false;    // the stream ended with its end code
    bool extraCodes = false;    // codes that would produce pixels beyond the output
    bool dataAfterEnd = false;  // whole bytes left over after the end code
    uint8_t highestLiteral = 0; // the largest pixel value written (every pixel is a copy of
                                // some literal, so this bounds them all)
    // The pixel values written: those of the literal codes decoded into the output, since
    // every pixel is a copy of one.
    std::bitset<256> literals;
};

// Decodes `data` (the sub-block payloads joined) into out[0, outSize). Stops at the end
// code, when the data runs out, or when the output is full. Throws GifError for a code
// beyond the table (greater than the next free code, or equal to it right after a
// clear), a literal above 255, or a minimum code size outside the accepted range.
DecodeResult decode(std::span<const uint8_t> data, int minCodeSize, uint8_t* out, size_t outSize);

// Codes `indices` (each below 2^minCodeSize, minCodeSize in 2..8) as one stream: a clear
// code first, a clear code again whenever the table is full, the end code last. Appends
// the packed bytes to `out`.
void encode(std::span<const uint8_t> indices, int minCodeSize, Bytes& out);

} // namespace vorlane::gif::lzw
