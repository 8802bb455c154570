// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Writing a GifImage as GIF87a/GIF89a data with our own LZW encoder.

#include <functional>
#include <span>
#include <vector>

#include "codec/GifImage.h"

namespace vorlane::gif {

// The image as a GIF file. Throws GifError ("Cannot save empty GIF" without frames).
// Reports "Saving" progress through the image's handler.
Bytes writeGif(const GifImage& image);

// What a caller may change in the writing of an image (the export's lossy coding).
struct WriteHooks {
    // Codes frame `frame`'s indices (rows in file order) in place of lzw::encode:
    // appends the packed code stream to `out`. It may code other indices than those
    // given (a lossy coder does); the writer does not check. Called in frame order,
    // once for each frame with pixels.
    std::function<void(size_t frame, std::span<const uint8_t> indices, int minCodeSize, Bytes& out)>
        coder;
    // When set, receives the output's size after each frame's blocks, one per frame.
    std::vector<size_t>* frameEnds = nullptr;
    // The LZW minimum code size covers the indices the frame uses, not its whole table:
    // a frame drawing 5 of 16 colours codes from 4 bits instead of 5. Every decoder we
    // know reads such files (gifsicle writes them), but the editor's own saves keep
    // the classic choice.
    bool smallestCodeSize = false;
};
Bytes writeGif(const GifImage& image, const WriteHooks& hooks);

// The smallest LZW minimum code size (2 to 8) that covers both the highest index in
// `pixels` and a colour table of `tableSize` entries.
int minimumCodeSize(std::span<const uint8_t> pixels, size_t tableSize);

} // namespace vorlane::gif
