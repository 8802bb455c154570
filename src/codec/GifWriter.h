// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Writing a GifImage as GIF87a/GIF89a data with our own LZW encoder.

#include <functional>
#include <span>
#include <vector>

#include "codec/GifImage.h"

namespace vorlane::gif {

// Coded image data kept from an earlier writing, so that a frame whose pixels did not
// change is not coded again (the recovery copies rewrite a long animation after a few
// edits). The writer asks for each frame with pixels, in order.
class CodedFrames {
public:
    virtual ~CodedFrames() = default;
    // Appends to `out` the frame's image data (the minimum code size byte, the LZW
    // sub-blocks and their terminator) as written before for the same pixels, interlacing
    // and `codeSize`; false, with `out` as it was, when there is none.
    virtual bool append(const Frame& frame, int codeSize, Bytes& out) = 0;
    // The frame's image data stands at [offset, offset + size) of the file.
    virtual void written(const Frame& frame, int codeSize, size_t offset, size_t size) = 0;
};

// The image as a GIF file. Throws GifError ("Cannot save empty GIF" without frames).
// Reports "Saving" progress through the image's handler. With `coded`, frames it has
// data for are taken from it instead of being coded.
Bytes writeGif(const GifImage& image);
Bytes writeGif(const GifImage& image, CodedFrames* coded);

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
