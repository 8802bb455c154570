// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Writing a GifImage as GIF87a/GIF89a data with our own LZW encoder.

#include "codec/GifImage.h"

namespace vorlane::gif {

// The image as a GIF file. Throws GifError ("Cannot save empty GIF" without frames).
// Reports "Saving" progress through the image's handler.
Bytes writeGif(const GifImage& image);

// The smallest LZW minimum code size (2 to 8) that covers both the highest index in
// `pixels` and a colour table of `tableSize` entries.
int minimumCodeSize(std::span<const uint8_t> pixels, size_t tableSize);

} // namespace vorlane::gif
