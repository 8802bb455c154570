// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What an export writes and how: the format and its settings, as the export dialog and
// the command-line tool's `export` take them.

#include <cstdint>
#include <optional>

#include <QString>

namespace vorlane::exporting {

enum class Format { Gif, WebP, Apng };

enum class Dithering { None, FloydSteinberg, Ordered };

enum class PaletteMode {
    PerFrame, // each frame its own table of the frame's colours
    Global,   // one table for every frame
};

struct ExportSettings {
    Format format = Format::Gif;

    // ---- GIF ----
    // At most this many colours in a table (2..256). Frames whose colours fit keep them
    // exactly; others are quantized.
    int colors = 256;
    PaletteMode palette = PaletteMode::PerFrame;
    Dithering dither = Dithering::FloydSteinberg;
    // 0: the file shows exactly the quantized frames. Higher levels let the LZW coder
    // take a colour close to the right one where that makes a longer string; the level
    // bounds how far (0..MaxLossy).
    int lossy = 0;
    // Frames cut to what changes, unchanged pixels transparent, tables sorted by use:
    // the optimised save's optimisation. Off: every frame whole.
    bool optimize = true;

    // ---- WebP ----
    bool webpLossless = true;
    int webpQuality = 80; // 0..100, when not lossless

    // ---- every format ----
    // The file must take at most this many bytes: GIF searches lossiness first, then
    // colours; WebP searches the quality (lossy); APNG cannot shrink and fails.
    std::optional<uint64_t> maxBytes;

    friend bool operator==(const ExportSettings&, const ExportSettings&) = default;
};

inline constexpr int MinColors = 2;
inline constexpr int MaxColors = 256;
inline constexpr int MaxLossy = 200;

// The format an output's extension names: .gif, .webp, .png and .apng (any case); none
// for another extension.
std::optional<Format> formatForFileName(const QString& fileName);

// "GIF", "WebP", "APNG".
QString formatName(Format format);

// How long a frame of `delay` hundredths shows in a browser, in milliseconds: delays of
// 0 and 1 show as 100 ms. WebP and APNG are written with these durations.
inline int shownDelayMs(int delay) {
    return delay < 2 ? 100 : delay * 10;
}

// Plays of a WebP or APNG (0: for ever) for a GIF's loop record: browsers repeat a GIF
// as often as its count says after the first play; without a record they play it once.
uint32_t playsForLoop(std::optional<uint16_t> loopCount);
// The loop record that plays a WebP or APNG as often: none for one play.
std::optional<uint16_t> loopForPlays(uint32_t plays);

} // namespace vorlane::exporting
