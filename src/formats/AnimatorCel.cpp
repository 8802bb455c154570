// SPDX-License-Identifier: GPL-3.0-or-later
// Autodesk Animator cels and pictures (.cel, .pic): a 32-byte header, a 256-colour VGA
// palette and one byte per pixel, row by row from the top, uncompressed.
//
//   0  u16 magic 0x9119      10 u8 bits per pixel (8)
//   2  u16 width             11 u8 compression (0 = none)
//   4  u16 height            12 u32 size of the pixel data
//   6  u16 x, 8 u16 y        16 reserved
//  32  256 x (r, g, b), each 0..63
// 800  width x height palette indices

#include <algorithm>
#include <cstring>

#include <QList>
#include <QtEndian>

#include "formats/Readers.h"

namespace vorlane::formats::detail {

QImage readAnimatorCel(const QByteArray& data, const ImportLimits& limits) {
    constexpr qsizetype HeaderSize = 32;
    constexpr qsizetype PaletteSize = 256 * 3;
    constexpr qsizetype PixelsAt = HeaderSize + PaletteSize;
    if (data.size() < PixelsAt) return {};
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    if (qFromLittleEndian<quint16>(bytes) != 0x9119) return {};
    const QSize size(qFromLittleEndian<quint16>(bytes + 2), qFromLittleEndian<quint16>(bytes + 4));
    if (bytes[10] != 8 || bytes[11] != 0 || !fitsLimits(size, limits)) return {};
    // The header's data size is not trusted: the pixels themselves must all be there.
    if (data.size() - PixelsAt < qint64(size.width()) * size.height()) return {};

    QImage picture(size, QImage::Format_Indexed8);
    if (picture.isNull()) return {};
    QList<QRgb> colors(256);
    // VGA levels 0..63 spread over 0..255; larger values (not made by Animator) saturate.
    const auto level = [](uchar v) { return (std::min<int>(v, 63) * 255 + 31) / 63; };
    for (int i = 0; i < 256; ++i) {
        const uchar* rgb = bytes + HeaderSize + 3 * i;
        colors[i] = qRgb(level(rgb[0]), level(rgb[1]), level(rgb[2]));
    }
    picture.setColorTable(colors);
    for (int y = 0; y < size.height(); ++y)
        std::memcpy(picture.scanLine(y), bytes + PixelsAt + qsizetype(y) * size.width(),
                    size_t(size.width()));
    return picture;
}

} // namespace vorlane::formats::detail
