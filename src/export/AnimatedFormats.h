// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The animated WebP and APNG writers (internal to the export).

#include <vector>

#include <QImage>

#include "codec/GifTypes.h"
#include "export/GifExport.h"
#include "export/ShownAnimation.h"

namespace vorlane::exporting {

// Every shown frame as a frame of an animated WebP: lossless, or lossy at `quality`
// (0..100). Each frame is drawn in the rectangle that changes, with the unchanged
// pixels in it left transparent where that keeps the picture, so that no frame is
// merged with another and every delay stays. With `frameSizes`, each frame's bytes.
gif::Bytes writeWebp(ShownAnimation& shown, bool lossless, int quality, const Steps& steps,
                     std::vector<size_t>* frameSizes = nullptr);

// The picture as lossy WebP shows it (lossless: the picture itself).
QImage webpPreview(const QImage& picture, bool lossless, int quality);

// Every shown frame as a frame of an APNG, pixel for pixel: a palette file when all
// frames together draw at most 256 colours (transparency included), else RGB or RGBA.
// With `frameSizes`, each frame's bytes.
gif::Bytes writeApng(ShownAnimation& shown, const Steps& steps,
                     std::vector<size_t>* frameSizes = nullptr);

} // namespace vorlane::exporting
