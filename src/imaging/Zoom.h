// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How the views show a picture zoomed: the zoom levels, the zoom that fits a box, the
// mapping between view and picture coordinates, and the painting itself (nearest
// neighbour when enlarging, so that pixels stay square; smooth when shrinking) over a
// checkerboard where the picture is transparent. The checkerboard is only painted, never
// part of a picture.

#include <iterator>

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QString>

class QPainter;

namespace vorlane::imaging {

// The levels zooming in and out steps through (1 is 100 %).
inline constexpr double ZoomLevels[] = {0.125, 0.25, 0.5, 1, 2, 3, 4, 6, 8, 12, 16};
inline constexpr double MinZoom = ZoomLevels[0];
inline constexpr double MaxZoom = ZoomLevels[std::size(ZoomLevels) - 1];

// The zoom that shows the whole picture in `area`: a picture larger than the area is
// shrunk to fit it; a smaller one is enlarged by the largest whole factor that fits, so
// that its pixels stay square and alike. 1 for an empty picture or area.
double fitZoom(QSize picture, QSize area);

// The level `steps` levels above (> 0) or below (< 0) `zoom`; a zoom between two levels
// (a fitted one) counts as standing just above the lower and below the upper level.
// Stays within the levels.
double steppedZoom(double zoom, int steps);

// The picture's size at the zoom, each side rounded half up and at least 1 pixel (0 for
// an empty picture).
QSize zoomedSize(QSize picture, double zoom);

// The zoom as the status bar shows it: "400 %", "12.5 %", "37 %".
QString zoomPercentText(double zoom);

// The point of the picture (in picture pixels, fractional) under `view`, for a picture
// drawn with its top-left at `origin`; and back.
QPointF toPicture(QPoint view, QPoint origin, double zoom);
QPointF toView(QPointF picture, QPoint origin, double zoom);

// The two colours of the checkerboard and the side of its squares, in view pixels.
inline constexpr QRgb CheckerLight = 0xFFFFFFFF;
inline constexpr QRgb CheckerDark = 0xFFD6D6D6;
inline constexpr int CheckerCell = 8;

// Fills `area` with the checkerboard, its squares counted from `origin`.
void paintCheckerboard(QPainter& painter, const QRect& area, QPoint origin);

// Paints the part of `picture` that falls in `exposed`, the picture's top-left at
// `origin` and each picture pixel `zoom` view pixels wide. Only that part is scaled, so
// that a large picture at a high zoom costs no more than what is seen. `picture` is
// best in QImage::Format_ARGB32_Premultiplied; other formats are converted piece by
// piece.
void paintZoomed(QPainter& painter, const QImage& picture, QPoint origin, double zoom,
                 const QRect& exposed);

} // namespace vorlane::imaging
