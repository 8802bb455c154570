// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: our reader against giflib on the same bytes. Where giflib decodes an
// image completely and our reader loads the file, the image's size and its pixel
// indices must agree; a disagreement aborts.
//
// Which images giflib decoded completely: all of them when DGifSlurp succeeds; when it
// fails, every image but the last one it started (the failure may lie in that image's
// data). Files our reader refuses are not compared: giflib is only asked once ours has
// accepted the file within the fuzzing limits, which also bounds what giflib allocates.
//
// A known giflib quirk is left out: after an extension record whose first sub-block is
// the terminator (an empty comment "21 FE 00" is valid and common), DGifSlurp reads the
// next byte as another sub-block length and so loses the block structure; whatever it
// finds after that is not the file's images. Only images before the first such record
// are compared.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <span>

#include <gif_lib.h>

#include "FuzzLimits.h"
#include "codec/GifImage.h"
#include "codec/GifReader.h"

using namespace vorlane::gif;

namespace {

struct Source {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

int readBytes(GifFileType* gif, GifByteType* buffer, int length) {
    auto* source = static_cast<Source*>(gif->UserData);
    const size_t n = std::min(size_t(std::max(length, 0)), source->size - source->pos);
    std::memcpy(buffer, source->data + source->pos, n);
    source->pos += n;
    return int(n);
}

// The number of images that stand before the first extension record with an empty
// first sub-block, walking the block structure as the format defines it. The walk stops
// at anything it does not understand; the images before that point are the ones giflib
// and our reader both see in the same places.
int imagesBeforeEmptyExtension(const uint8_t* data, size_t size) {
    size_t pos = 13;
    if (size < pos) return 0;
    if (data[10] & 0x80) pos += size_t(3) << ((data[10] & 7) + 1);
    // Skips sub-blocks up to their terminator; false when the data ends first.
    auto skipBlocks = [&] {
        while (pos < size) {
            const size_t n = data[pos++];
            if (n == 0) return true;
            pos += n;
        }
        return false;
    };
    int images = 0;
    while (pos < size) {
        const uint8_t introducer = data[pos++];
        if (introducer == 0x21) {
            if (pos + 1 >= size) break;
            if (data[pos + 1] == 0) return images;
            ++pos; // label
            if (!skipBlocks()) break;
        } else if (introducer == 0x2C) {
            if (pos + 9 > size) break;
            const uint8_t packed = data[pos + 8];
            pos += 9;
            if (packed & 0x80) pos += size_t(3) << ((packed & 7) + 1);
            ++pos; // LZW minimum code size
            if (pos > size || !skipBlocks()) break;
            ++images;
        } else {
            break;
        }
    }
    return std::numeric_limits<int>::max();
}

[[noreturn]] void mismatch(const char* what, int frame) {
    std::fprintf(stderr, "fuzz_gif_giflib: %s in image %d\n", what, frame);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    GifImage ours;
    try {
        readGif(ours, std::span(data, size), vorlane::fuzz::fuzzLimits());
    } catch (const GifError&) {
        return 0;
    }

    Source source{data, size, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&source, readBytes, &error);
    if (!gif) return 0;
    const bool complete = DGifSlurp(gif) == GIF_OK;
    int decoded = complete ? gif->ImageCount : std::max(0, gif->ImageCount - 1);
    if (decoded > 0 && !gif->SavedImages) decoded = 0;
    decoded = std::min(decoded, imagesBeforeEmptyExtension(data, size));

    for (int i = 0; i < decoded; ++i) {
        if (size_t(i) >= ours.frameCount())
            mismatch("giflib decoded an image our reader does not have", i);
        const SavedImage& theirs = gif->SavedImages[i];
        const Frame& frame = ours.frame(size_t(i));
        if (theirs.ImageDesc.Width != frame.width() || theirs.ImageDesc.Height != frame.height() ||
            theirs.ImageDesc.Left != frame.left || theirs.ImageDesc.Top != frame.top)
            mismatch("the image geometry differs", i);
        const size_t pixels = size_t(frame.width()) * frame.height();
        if (pixels > 0 && (!theirs.RasterBits ||
                           std::memcmp(theirs.RasterBits, frame.pixels().data(), pixels) != 0))
            mismatch("the pixel indices differ", i);
    }
    DGifCloseFile(gif, &error);
    return 0;
}
