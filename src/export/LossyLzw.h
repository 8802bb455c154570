// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Lossy LZW coding of a GIF frame: the coder may extend a string with a pixel whose
// colour is close to the right one rather than equal to it, so that strings run longer
// and the file shrinks. The stream is ordinary LZW (any decoder reads it); only the
// pixels it decodes to differ from the frame's, each by at most the level's bound.
//
// The coder knows what the frame must show (the target) and what is on screen under
// it (what the frames coded before really show, not what they were meant to show), so
// that a pixel the screen already shows right stays right, a transparent pixel is taken
// where the screen is close enough, and errors never pile up from frame to frame.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "codec/GifTypes.h"

namespace vorlane::exporting {

// One frame's rectangle: every array holds width * height entries, row by row.
struct LossyFrame {
    int width = 0;
    int height = 0;
    // The frame's own indices (what an exact coder writes).
    std::span<const uint8_t> indices;
    // What the frame must show, 0xAARRGGBB (alpha 0: nothing).
    std::span<const uint32_t> target;
    // What the screen shows under the frame before it is drawn.
    std::span<const uint32_t> under;
    // The colour each index draws, 0xFFRRGGBB (opaque black beyond the table).
    std::array<uint32_t, 256> palette{};
    std::optional<uint8_t> transparent;
};

class LossyLzw {
public:
    // `level` 1..MaxLossy: how far a pixel's colour may be from the one it should have.
    explicit LossyLzw(int level);
    ~LossyLzw();
    LossyLzw(const LossyLzw&) = delete;
    LossyLzw& operator=(const LossyLzw&) = delete;

    // Codes the frame as lzw::encode does (clear code first, a clear whenever the table
    // is full, end code last), appending the packed bytes to `out`, and writes to
    // `shown` (width * height) the indices a decoder will read back.
    void encode(const LossyFrame& frame, int minCodeSize, gif::Bytes& out, uint8_t* shown);

    // The largest squared RGB distance (dr² + dg² + db²) a pixel may be off at `level`
    // (inside a run of one colour, a quarter of it).
    static uint32_t bound(int level);

private:
    struct Tables;
    std::unique_ptr<Tables> m_tables;
    uint32_t m_bound;
};

} // namespace vorlane::exporting
