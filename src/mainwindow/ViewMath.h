// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small computations of the main window's views, kept free of widgets so that tests can
// check them directly: rounding, the header-bar gradient, the thumbnail fit and the
// centring of the animation view.

#include <QColor>
#include <QImage>
#include <QPalette>
#include <QPoint>
#include <QSize>

#include "imaging/Raster.h"

namespace vorlane {

// The header-bar picture shared by the side panel's sections and the "Images" bar: a
// vertical blend from light blue (191, 219, 255) on row 0 to `end` on the last row,
// every column alike. With A = round(height * 0.95) and B = round(height * 0.05), rows
// j < A take start + round(D / A * j) per channel and the rest start + round(D / B *
// (height - j)), where D = end - start; only the low 8 bits of each channel count.
// `start` replaces the light blue under a dark palette (see BarColours).
QImage headerImage(int height, const QColor& end, int width = 2000,
                   const QColor& start = QColor(0xFFBFDBFF));
inline constexpr QRgb HeaderStartColor = 0xFFBFDBFF; // RGB(191, 219, 255)

// The colours of the header bars and of the strip's highlight and badges. Under a light
// palette they are the design's: bars from light blue to the button face with dark blue
// captions, the highlighted slot light blue, other badges black with white numbers.
// Under a dark palette (light text on a dark window) the light blue would glare and the
// dark blue caption would vanish into the dark end of the bar, so a dark blue takes the
// light blue's place and the light blue becomes the caption's colour.
struct BarColours {
    QColor headerStart; // row 0 of the header picture
    QColor caption;     // header captions and arrows
    QColor highlight;   // the highlighted slot's area and badge
    QColor highlightText;
    QColor badge; // the other badges
    QColor badgeText;
};
bool isDarkPalette(const QPalette& palette);
BarColours barColours(const QPalette& palette);

// Zoom of a thumbnail: 1 when the picture fits the area; otherwise fitted by its
// orientation, not by the tighter ratio: a landscape picture (height < width) to the
// width, any other to the height, computed in single precision. A landscape picture
// closer to square than the area therefore comes out taller than the area and is cut
// at top and bottom by the centred view.
float thumbnailScale(QSize picture, QSize area);
// The size a picture is shown at with that zoom.
QSize scaledSize(QSize picture, float scale);

// Top-left of a view centred in a box, each offset rounded half to even; negative when
// the view is larger than the box.
QPoint centredOffset(QSize box, QSize view);

} // namespace vorlane
