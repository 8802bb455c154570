// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Raster operations the transition effects and the views are built from.

#include <QImage>
#include <QRgb>

namespace vorlane {

// Nearest integer, halves going to the even neighbour (2.5 -> 2, 3.5 -> 4, -0.5 -> 0).
int roundHalfEven(double value);

namespace imaging {

// A new full-colour picture (QImage::Format_RGB32) filled with one colour. A null
// picture when the size is empty or cannot be allocated.
QImage newPicture(int width, int height, QRgb color = qRgb(255, 255, 255));

// Draws `source` onto `target` with its top-left corner at (x, y): pixels that fall
// outside `target` are dropped, the others replace target pixels (no blending, alpha is
// ignored). A full-colour target takes the colours as they are; an 8-bit palette target
// keeps its palette, so each drawn pixel becomes the nearest colour of that palette.
// Offsets may be negative or beyond the target.
void drawAt(QImage& target, const QImage& source, int x, int y);

// Master-alpha blend of `source` onto `target` at (0, 0), both QImage::Format_ARGB32:
// every target pixel the source covers takes, per colour channel,
// t + (s - t) * a / 255 rounded to the nearest, where a = source alpha * master / 255.
// The target's alpha is kept; master 0 leaves the target unchanged.
void blend(QImage& target, const QImage& source, int master);

} // namespace imaging
} // namespace vorlane
