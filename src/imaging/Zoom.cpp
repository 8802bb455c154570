// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/Zoom.h"

#include <algorithm>
#include <cmath>

#include <QBrush>
#include <QLocale>
#include <QPainter>

namespace vorlane::imaging {

namespace {
// Zooms this close to a level count as that level (a fitted zoom may come out a hair
// below or above one).
constexpr double Tolerance = 1e-9;
} // namespace

double fitZoom(QSize picture, QSize area) {
    if (picture.isEmpty() || area.isEmpty()) return 1.0;
    const double across = double(area.width()) / picture.width();
    const double down = double(area.height()) / picture.height();
    const double fit = std::min(across, down);
    if (fit < 1.0) return std::max(fit, 1.0 / 1024);
    return std::min(std::floor(fit), MaxZoom);
}

double steppedZoom(double zoom, int steps) {
    double z = zoom;
    for (; steps > 0; --steps) {
        const double* next =
            std::upper_bound(std::begin(ZoomLevels), std::end(ZoomLevels), z * (1 + Tolerance));
        z = next == std::end(ZoomLevels) ? MaxZoom : *next;
    }
    for (; steps < 0; ++steps) {
        const double* below =
            std::lower_bound(std::begin(ZoomLevels), std::end(ZoomLevels), z * (1 - Tolerance));
        z = below == std::begin(ZoomLevels) ? MinZoom : *(below - 1);
    }
    return z;
}

QSize zoomedSize(QSize picture, double zoom) {
    if (picture.isEmpty()) return QSize(0, 0);
    return QSize(std::max(1, int(std::floor(picture.width() * zoom + 0.5))),
                 std::max(1, int(std::floor(picture.height() * zoom + 0.5))));
}

QString zoomPercentText(double zoom) {
    const double percent = zoom * 100;
    // Whole percents as they are; below 100 a tenth where it says something (12.5 %).
    const double tenths = std::round(percent * 10) / 10;
    const bool whole = std::abs(tenths - std::round(tenths)) < 1e-9 || percent >= 100;
    return (whole ? QString::number(qRound(percent)) : QString::number(tenths, 'f', 1)) +
           QStringLiteral(" %");
}

QPointF toPicture(QPoint view, QPoint origin, double zoom) {
    return QPointF(view - origin) / zoom;
}

QPointF toView(QPointF picture, QPoint origin, double zoom) {
    return picture * zoom + QPointF(origin);
}

void paintCheckerboard(QPainter& painter, const QRect& area, QPoint origin) {
    if (area.isEmpty()) return;
    static const QImage tile = [] {
        QImage t(2 * CheckerCell, 2 * CheckerCell, QImage::Format_RGB32);
        t.fill(CheckerLight);
        for (int y = 0; y < 2 * CheckerCell; ++y)
            for (int x = 0; x < 2 * CheckerCell; ++x)
                if ((x < CheckerCell) != (y < CheckerCell)) t.setPixel(x, y, CheckerDark);
        return t;
    }();
    painter.save();
    painter.setBrushOrigin(origin);
    painter.fillRect(area, QBrush(tile));
    painter.restore();
}

void paintZoomed(QPainter& painter, const QImage& picture, QPoint origin, double zoom,
                 const QRect& exposed) {
    if (picture.isNull() || zoom <= 0) return;
    const QRect whole(origin, zoomedSize(picture.size(), zoom));
    const QRect part = whole & exposed;
    if (part.isEmpty()) return;
    // The picture pixels under the part, a pixel more on each side for the smoothing.
    const QPointF from = toPicture(part.topLeft(), origin, zoom);
    const QPointF to = toPicture(part.bottomRight() + QPoint(1, 1), origin, zoom);
    const int margin = zoom < 1 ? 1 : 0;
    const QRect source =
        QRect(QPoint(int(std::floor(from.x())) - margin, int(std::floor(from.y())) - margin),
              QPoint(int(std::ceil(to.x())) + margin - 1, int(std::ceil(to.y())) + margin - 1)) &
        picture.rect();
    if (source.isEmpty()) return;
    const QRectF target(toView(QPointF(source.topLeft()), origin, zoom),
                        QSizeF(source.size()) * zoom);
    painter.save();
    painter.setClipRect(part, Qt::IntersectClip);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, zoom < 1);
    if (picture.format() == QImage::Format_ARGB32_Premultiplied)
        painter.drawImage(target, picture, QRectF(source));
    else
        painter.drawImage(
            target, picture.copy(source).convertToFormat(QImage::Format_ARGB32_Premultiplied));
    painter.restore();
}

} // namespace vorlane::imaging
