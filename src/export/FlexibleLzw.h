// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Exact LZW coding with one step of look-ahead: of the strings the table holds at a
// pixel, the coder takes the one after which the next string reaches furthest, rather
// than the longest. Greedy coding takes a long string that may leave the next one
// short; on runs and repeated rows (screen recordings, drawings) the look-ahead often
// codes the same pixels in fewer codes. Any decoder reads the stream, which shows
// exactly the indices given.

#include <cstdint>
#include <span>
#include <vector>

#include "codec/GifTypes.h"

namespace vorlane::exporting {

class FlexibleLzw {
public:
    // Codes `indices` (each below 2^minCodeSize, minCodeSize in 2..8) with the stream's
    // shape that lzw::encode gives (a clear code first, another whenever the table is
    // full, the end code last), appending the packed bytes to `out`.
    void encode(std::span<const uint8_t> indices, int minCodeSize, gif::Bytes& out);

private:
    // The trie: the code of string `node` followed by index s is
    // m_child[node << m_bits | s] (0: none; no string's code is 0 but a literal's).
    std::vector<uint16_t> m_child;
    std::vector<uint16_t> m_path;
    int m_bits = 0;
};

} // namespace vorlane::exporting
