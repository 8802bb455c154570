#pragma once

// Composition of the picture a viewer shows while a frame is on screen, following the
// GIF89a disposal rules as web browsers apply them. Composing frames in order costs one
// step per frame: frame i continues from the canvas left by frame i - 1.

#include <cstdint>
#include <vector>

#include <QImage>

#include "codec/GifImage.h"

namespace vorlane::gif {

class Compositor {
public:
    // The image must outlive the compositor and keep its frames while it is used.
    explicit Compositor(const GifImage& image);

    int width() const { return m_width; }
    int height() const { return m_height; }

    // The logical screen after frame i has been drawn, as ARGB32 pixels (0xAARRGGBB), row
    // by row, width() per row; pixels nothing has been drawn on are 0 (transparent).
    // Continues from the previous call when i is the next frame, else starts over.
    const uint32_t* compose(size_t i);

    // compose(i) as a new QImage::Format_ARGB32 picture.
    QImage picture(size_t i);

private:
    const GifImage& m_image;
    int m_width = 0;
    int m_height = 0;
    std::vector<uint32_t> m_canvas;
    std::vector<uint32_t> m_saved; // canvas to restore after a restore-to-previous frame
    long long m_last = -1;         // index of the frame the canvas shows, -1 for none
};

} // namespace vorlane::gif
