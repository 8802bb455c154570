// SPDX-License-Identifier: GPL-3.0-or-later
// Alias/Wavefront RLA pictures (.rla, and .rpf, which adds channels after the same
// ones): a 740-byte big-endian header, the file offset of every scanline (bottom row
// first), and per scanline each channel as a 16-bit byte count and run-length coded
// bytes: a signed count c, then c + 1 copies of the next byte when c >= 0, or -c
// literal bytes when c < 0. Colour comes first (one grey or three RGB channels), then
// matte and auxiliary channels, which an opaque import does not need.
// ImageMagick 6.9.11 has a reader, but it refuses every picture of more than one row.

#include <algorithm>
#include <vector>

#include <QtEndian>

#include "formats/Readers.h"

namespace vorlane::formats::detail {

namespace {

// Decodes one channel's runs from [in, end) into `out` (width bytes); false when the
// runs do not fill the row.
bool decodeRuns(const uchar* in, const uchar* end, uchar* out, int width) {
    int x = 0;
    while (x < width && in < end) {
        const int count = qint8(*in++);
        if (count >= 0) {
            if (in == end || count + 1 > width - x) return false;
            std::fill_n(out + x, count + 1, *in++);
            x += count + 1;
        } else {
            if (-count > end - in || -count > width - x) return false;
            std::copy_n(in, -count, out + x);
            in += -count;
            x += -count;
        }
    }
    return x == width;
}

} // namespace

QImage readWavefrontRla(const QByteArray& data, const ImportLimits& limits) {
    constexpr qsizetype HeaderSize = 740;
    if (data.size() < HeaderSize) return {};
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const auto field = [&](qsizetype at) { return int(qFromBigEndian<qint16>(bytes + at)); };
    // The active window: left, right, bottom, top.
    const QSize size(field(10) - field(8) + 1, field(14) - field(12) + 1);
    const int channels = field(20) == 0 ? 3 : field(20); // 0 in old files means RGB
    const int bits = field(658);                         // 0 in old files means 8
    if ((channels != 1 && channels != 3) || (bits != 0 && bits != 8) || !fitsLimits(size, limits))
        return {};
    const int width = size.width();
    const int height = size.height();
    if (data.size() - HeaderSize < qint64(height) * 4) return {};

    QImage picture(size, QImage::Format_RGB32);
    std::vector<uchar> rows(size_t(width) * 3);
    if (picture.isNull()) return {};
    for (int row = 0; row < height; ++row) {
        qint64 at = qFromBigEndian<quint32>(bytes + HeaderSize + 4 * row);
        for (int channel = 0; channel < channels; ++channel) {
            if (at < 0 || data.size() - at < 2) return {};
            const int length = qFromBigEndian<quint16>(bytes + at);
            at += 2;
            if (data.size() - at < length ||
                !decodeRuns(bytes + at, bytes + at + length, rows.data() + channel * width, width))
                return {};
            at += length;
        }
        const uchar* red = rows.data();
        const uchar* green = channels == 3 ? red + width : red;
        const uchar* blue = channels == 3 ? red + 2 * width : red;
        auto* out = reinterpret_cast<QRgb*>(picture.scanLine(height - 1 - row));
        for (int x = 0; x < width; ++x)
            out[x] = qRgb(red[x], green[x], blue[x]);
    }
    return picture;
}

} // namespace vorlane::formats::detail
