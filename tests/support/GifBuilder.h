// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Writes GIF files byte by byte for tests, independently of the codec's writer, so that
// tests can make well-formed files with unusual layouts and malformed ones alike.

#include <cstdint>
#include <string>
#include <vector>

namespace vorlane::test {

using Bytes = std::vector<uint8_t>;

class GifBuilder {
public:
    GifBuilder& header(const char* version = "89a");
    // Logical screen descriptor; a global table of `globalColors` entries (rounded up to
    // a power of two) is written when globalColors > 0. Colours are r, g, b triples.
    GifBuilder& screen(uint16_t width, uint16_t height, const std::vector<uint32_t>& globalColors = {},
                       uint8_t background = 0);
    GifBuilder& graphicControl(uint8_t disposal, uint16_t delay, int transparentIndex = -1,
                               bool userInput = false);
    GifBuilder& comment(const std::string& text);
    GifBuilder& loop(uint16_t count, const char* id = "NETSCAPE2.0");
    GifBuilder& application(const std::string& id11, const std::vector<Bytes>& blocks);
    GifBuilder& plainText(const std::string& text);
    // Image descriptor, optional local table, and the indices LZW-coded with a plain
    // reference coder (clear code first, no table reuse tricks).
    GifBuilder& image(uint16_t left, uint16_t top, uint16_t width, uint16_t height,
                      const std::vector<uint8_t>& indices, const std::vector<uint32_t>& localColors = {},
                      bool interlaced = false, int minCodeSize = -1);
    GifBuilder& trailer();
    GifBuilder& raw(const Bytes& bytes);

    const Bytes& bytes() const { return m_bytes; }

    // Plain LZW coding of indices with the given minimum code size, as sub-blocks
    // preceded by the code size byte. Exposed for malformed-file tests.
    static Bytes lzwBlocks(const std::vector<uint8_t>& indices, int minCodeSize);

private:
    void colorTable(const std::vector<uint32_t>& colors);
    Bytes m_bytes;
};

} // namespace vorlane::test
