// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a web browser shows at each frame of a GIF file, decoded by giflib: an
// independent reader to compare our opening and saving against. The canvas starts
// transparent; each frame is drawn over it (its transparent index leaves what is below),
// then disposed of: 2 clears its rectangle to transparent, 3 restores the canvas from
// before the frame.

#include <cstdint>
#include <vector>

#include <QImage>
#include <QString>

#include <gif_lib.h>

namespace vorlane::test {

struct ViewedFrame {
    QImage picture; // ARGB32, transparent pixels are 0
    int delay = 0;
    int disposal = 0;
};

// Every frame as shown, or nothing when giflib cannot read the file.
inline std::vector<ViewedFrame> viewWithGiflib(const QString& fileName) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(fileName.toLocal8Bit().constData(), &error);
    if (!gif) return {};
    std::vector<ViewedFrame> frames;
    if (DGifSlurp(gif) == GIF_OK) {
        const int w = gif->SWidth;
        const int h = gif->SHeight;
        QImage canvas(w, h, QImage::Format_ARGB32);
        canvas.fill(0);
        for (int i = 0; i < gif->ImageCount; ++i) {
            const SavedImage& image = gif->SavedImages[i];
            GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
            DGifSavedExtensionToGCB(gif, i, &gcb);
            const ColorMapObject* map =
                image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
            const QImage before = canvas;
            const GifImageDesc& d = image.ImageDesc;
            for (int y = 0; y < d.Height; ++y) {
                const int cy = d.Top + y;
                if (cy < 0 || cy >= h) continue;
                auto* row = reinterpret_cast<QRgb*>(canvas.scanLine(cy));
                for (int x = 0; x < d.Width; ++x) {
                    const int cx = d.Left + x;
                    if (cx < 0 || cx >= w) continue;
                    const int index = image.RasterBits[y * d.Width + x];
                    if (index == gcb.TransparentColor) continue;
                    if (!map || index >= map->ColorCount) continue;
                    const GifColorType c = map->Colors[index];
                    row[cx] = qRgb(c.Red, c.Green, c.Blue);
                }
            }
            frames.push_back({canvas.copy(), gcb.DelayTime, gcb.DisposalMode});
            if (gcb.DisposalMode == DISPOSE_BACKGROUND) {
                for (int y = qMax(0, d.Top); y < qMin(h, d.Top + d.Height); ++y) {
                    auto* row = reinterpret_cast<QRgb*>(canvas.scanLine(y));
                    for (int x = qMax(0, d.Left); x < qMin(w, d.Left + d.Width); ++x)
                        row[x] = 0;
                }
            } else if (gcb.DisposalMode == DISPOSE_PREVIOUS) {
                canvas = before;
            }
        }
    }
    DGifCloseFile(gif, &error);
    return frames;
}

} // namespace vorlane::test
