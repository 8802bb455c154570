// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What changes from one shown picture to the next: the rectangle the WebP and APNG
// writers draw a frame in, and the pixels the size estimate counts.

#include <QImage>
#include <QRect>

namespace vorlane::exporting {

struct FrameChange {
    QRect rect;          // the pixels that differ; empty when none does
    size_t changed = 0;  // how many differ
    bool clears = false; // whether one of them becomes transparent (alpha 0)
};

// Both pictures QImage::Format_ARGB32 of the same size.
FrameChange changeBetween(const QImage& before, const QImage& after);

} // namespace vorlane::exporting
