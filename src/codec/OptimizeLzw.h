// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The optimizer's model of the writer's LZW coder (lzw::encode): the same table, the same
// clear points and code widths, so that it can tell exactly how many bytes a choice of
// pixel indices will take once written, and steer pixels that may take either of two
// indices (a transparent one or the colour already on screen) towards the strings the
// coder already knows.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "codec/GifTypes.h"

namespace vorlane::gif::optimizer {

class LzwModel {
public:
    LzwModel();

    // Chooses for each pixel k either primary[k] or alternate[k] (equal for a pixel with
    // one possible index) and writes the choice to out[k]; returns the size in bits of
    // lzw::encode(out, minCodeSize). Where both indices continue the string being coded,
    // the one that lets it run on further is taken; where neither does, the one that
    // starts a string the table can continue; ties go to the primary index. With
    // primary == alternate this is the exact size of coding `primary` as it stands.
    size_t choose(std::span<const uint8_t> primary, std::span<const uint8_t> alternate,
                  int minCodeSize, uint8_t* out);

    // The size in bits of lzw::encode(indices, minCodeSize).
    size_t codedBits(std::span<const uint8_t> indices, int minCodeSize) {
        return choose(indices, indices, minCodeSize, nullptr);
    }

    // Bytes the image data takes in the file for a stream of `bits`: the code size byte,
    // the packed codes in sub-blocks of at most 255 bytes, and the terminator.
    static size_t dataBytes(size_t bits);

private:
    // The string table as a hash of (generation, prefix code, symbol) -> code, small
    // enough to stay in the processor's cache. A slot of an older generation is free, so
    // a new table costs one increment.
    std::unique_ptr<uint32_t[]> m_keys;
    std::unique_ptr<uint16_t[]> m_codes;
    std::unique_ptr<uint32_t[]> m_recentKeys; // per prefix code: the last child's key
    std::unique_ptr<uint16_t[]> m_recentCodes;
    uint32_t m_generation = 0;

    void newTable();
};

} // namespace vorlane::gif::optimizer
