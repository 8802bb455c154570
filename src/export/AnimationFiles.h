// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Opening files as animations: GIF as the codec reads it, animated WebP and APNG (and a
// still WebP or PNG, as an animation of one frame). A WebP or PNG becomes an image of
// full-screen frames, each the picture shown at that frame reduced to at most 256
// colours (exactly when they fit), transparent where alpha is below one half, with its
// duration rounded to hundredths and the loop count the file plays.

#include <cstdint>
#include <span>

#include <QString>

#include "codec/GifImage.h"
#include "codec/GifReader.h"

namespace vorlane::exporting {

enum class FileKind { Gif, WebP, Png, Other };

// What the first bytes say the file is ("GIF8", "RIFF....WEBP", the PNG signature).
FileKind kindOf(std::span<const uint8_t> head);

// Whether the file opens as an animation rather than being imported as a picture: a GIF
// (by its first bytes), an animated WebP or an APNG.
bool isAnimationFile(const QString& path);

// Replaces `image`'s content with the animation in `bytes` (GIF, WebP or PNG), as
// GifImage::load does: progress ("Loading") and warnings through its handlers, the
// limits of `limits`. Throws GifError; on failure the image is unchanged.
void readAnimation(gif::GifImage& image, std::span<const uint8_t> bytes,
                   const gif::ReadLimits& limits = {});
// readAnimation of a file, read as the codec reads a GIF (bounded, and refused from its
// first bytes when it is none of the three).
void readAnimationFile(gif::GifImage& image, const QString& path,
                       const gif::ReadLimits& limits = {});

} // namespace vorlane::exporting
