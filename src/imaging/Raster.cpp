// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/Raster.h"

#include <algorithm>
#include <cmath>

#include "codec/ColorReduction.h"

namespace vorlane {

int roundHalfEven(double value) {
    // Written out rather than std::nearbyint, whose result depends on the
    // floating-point rounding mode in force.
    const double floor = std::floor(value);
    const double diff = value - floor;
    double result = floor;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(floor, 2.0) != 0.0)) result = floor + 1.0;
    return int(result);
}

namespace imaging {

QImage newPicture(int width, int height, QRgb color) {
    if (width <= 0 || height <= 0) return {};
    QImage picture(width, height, QImage::Format_RGB32);
    if (picture.isNull()) return {};
    picture.fill(color);
    return picture;
}

namespace {

// Source pixels as 0xAARRGGBB, one row at a time, whatever the source format.
class RowReader {
public:
    explicit RowReader(const QImage& source) {
        switch (source.format()) {
        case QImage::Format_RGB32:
        case QImage::Format_ARGB32:
        case QImage::Format_Indexed8:
            m_source = source;
            break;
        default:
            m_source = source.convertToFormat(QImage::Format_ARGB32);
        }
        if (m_source.format() == QImage::Format_Indexed8) {
            m_palette = m_source.colorTable();
            // Indices beyond the table read as black, as the codec shows them.
            m_palette.resize(256, qRgb(0, 0, 0));
            m_row.resize(m_source.width());
        }
    }
    // Pixels [x0, x1) of row y.
    const QRgb* row(int y, int x0, int x1) {
        if (m_source.format() != QImage::Format_Indexed8)
            return reinterpret_cast<const QRgb*>(m_source.constScanLine(y)) + x0;
        const uchar* indices = m_source.constScanLine(y);
        for (int x = x0; x < x1; ++x)
            m_row[x - x0] = m_palette[indices[x]];
        return m_row.data();
    }

private:
    QImage m_source;
    QList<QRgb> m_palette;
    std::vector<QRgb> m_row;
};

} // namespace

void drawAt(QImage& target, const QImage& source, int x, int y) {
    if (target.isNull() || source.isNull()) return;
    // The part of the source that lands inside the target, in source coordinates.
    const qint64 x0 = std::max<qint64>(0, -qint64(x));
    const qint64 y0 = std::max<qint64>(0, -qint64(y));
    const qint64 x1 = std::min<qint64>(source.width(), qint64(target.width()) - x);
    const qint64 y1 = std::min<qint64>(source.height(), qint64(target.height()) - y);
    if (x0 >= x1 || y0 >= y1) return;
    RowReader reader(source);
    if (target.format() == QImage::Format_Indexed8) {
        gif::ColorTable palette;
        for (QRgb c : target.colorTable())
            palette.push_back({uint8_t(qRed(c)), uint8_t(qGreen(c)), uint8_t(qBlue(c))});
        if (palette.empty()) return;
        gif::NearestColor nearest(palette, palette.size(), 4096);
        for (qint64 sy = y0; sy < y1; ++sy) {
            const QRgb* in = reader.row(int(sy), int(x0), int(x1));
            uchar* out = target.scanLine(int(sy + y)) + (x0 + x);
            for (qint64 i = 0; i < x1 - x0; ++i)
                out[i] = nearest(in[i]);
        }
        return;
    }
    if (target.format() != QImage::Format_RGB32 && target.format() != QImage::Format_ARGB32)
        target = target.convertToFormat(QImage::Format_ARGB32);
    const bool opaque = target.format() == QImage::Format_RGB32;
    for (qint64 sy = y0; sy < y1; ++sy) {
        const QRgb* in = reader.row(int(sy), int(x0), int(x1));
        auto* out = reinterpret_cast<QRgb*>(target.scanLine(int(sy + y))) + (x0 + x);
        for (qint64 i = 0; i < x1 - x0; ++i)
            out[i] = opaque ? (in[i] | 0xFF000000u) : in[i];
    }
}

void blend(QImage& target, const QImage& source, int master) {
    master = std::clamp(master, 0, 255);
    if (master == 0 || target.isNull() || source.isNull()) return;
    Q_ASSERT(target.format() == QImage::Format_ARGB32);
    const QImage src = source.format() == QImage::Format_ARGB32
                           ? source
                           : source.convertToFormat(QImage::Format_ARGB32);
    const int width = std::min(target.width(), src.width());
    const int height = std::min(target.height(), src.height());
    for (int y = 0; y < height; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(target.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double a = qAlpha(in[x]) * master / 255.0;
            const auto mix = [a](int t, int s) {
                return int(std::lround(t + (s - t) * a / 255.0));
            };
            out[x] = qRgba(mix(qRed(out[x]), qRed(in[x])), mix(qGreen(out[x]), qGreen(in[x])),
                           mix(qBlue(out[x]), qBlue(in[x])), qAlpha(out[x]));
        }
    }
}

} // namespace imaging
} // namespace vorlane
