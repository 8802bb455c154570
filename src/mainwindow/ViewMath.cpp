// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/ViewMath.h"

#include <algorithm>
#include <cmath>

namespace vorlane {

QImage headerImage(int height, const QColor& end, int width, const QColor& start) {
    QImage image(width, height, QImage::Format_RGB32);
    if (height <= 0 || width <= 0) return image;
    const int a = roundHalfEven(height * 0.95);
    const int b = roundHalfEven(height * 0.05);
    const int starts[3] = {start.red(), start.green(), start.blue()};
    const int ends[3] = {end.red(), end.green(), end.blue()};
    for (int j = 0; j < height; ++j) {
        int channel[3];
        for (int c = 0; c < 3; ++c) {
            const double d = ends[c] - starts[c];
            // Very small heights make A or B zero; those rows take the end colour.
            int step = 0;
            if (j < a)
                step = roundHalfEven(d / a * j);
            else
                step = b > 0 ? roundHalfEven(d / b * (height - j)) : int(d);
            channel[c] = (starts[c] + step) & 0xFF;
        }
        const QRgb rgb = qRgb(channel[0], channel[1], channel[2]);
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(j));
        std::fill(line, line + width, rgb);
    }
    return image;
}

bool isDarkPalette(const QPalette& palette) {
    return palette.color(QPalette::WindowText).lightness() >
           palette.color(QPalette::Window).lightness();
}

BarColours barColours(const QPalette& palette) {
    const QColor lightBlue = QColor::fromRgb(HeaderStartColor);
    if (!isDarkPalette(palette))
        return {lightBlue, QColor(21, 74, 147), lightBlue, QColor(21, 74, 147), Qt::black, Qt::white};
    const QColor darkBlue(38, 66, 110);
    return {darkBlue, lightBlue, darkBlue, Qt::white, Qt::black, Qt::white};
}

float thumbnailScale(QSize picture, QSize area) {
    const int w = picture.width();
    const int h = picture.height();
    if (w <= 0 || h <= 0) return 1.0f;
    if (w <= area.width() && h <= area.height()) return 1.0f;
    if (h < w) return float(area.width()) / float(w);
    return float(area.height()) / float(h);
}

QSize scaledSize(QSize picture, float scale) {
    return QSize(std::max(1, roundHalfEven(picture.width() * double(scale))),
                 std::max(1, roundHalfEven(picture.height() * double(scale))));
}

QPoint centredOffset(QSize box, QSize view) {
    return QPoint(roundHalfEven((box.width() - view.width()) / 2.0),
                  roundHalfEven((box.height() - view.height()) / 2.0));
}

} // namespace vorlane
