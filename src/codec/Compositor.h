// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Composition of the picture a viewer shows while a frame is on screen, following the
// GIF89a disposal rules as web browsers apply them. Composing frames in order costs one
// step per frame: frame i continues from the canvas left by frame i - 1.
//
// The rules: the canvas is the logical screen and starts fully transparent. A frame
// draws its pixels except those equal to its transparent index (when its graphic control
// record sets the transparent flag); parts outside the screen are clipped. Indices beyond
// the frame's active table, and every pixel of a frame with no table at all, draw opaque
// black. After a frame has been shown its disposal applies before the next one is
// drawn: "restore to background" clears its rectangle to transparent (browsers ignore the
// background colour), "restore to previous" puts back what was under it, and every other
// code leaves it. Code 4 acts like 3 and codes 5-7 like 1, as in browsers; a frame
// without a graphic control record is code 0 and opaque.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <QImage>
#include <QRect>

#include "codec/GifImage.h"

namespace vorlane::gif {

class Compositor {
public:
    enum class Disposal { Keep, Clear, Restore };

    // The image must outlive the compositor and keep its frames while it is used; after
    // the frames change, call reset(). Throws GifError for a screen larger than files may
    // declare (ReadLimits::maxScreenPixels).
    explicit Compositor(const GifImage& image);

    int width() const { return m_width; }
    int height() const { return m_height; }

    // The logical screen after frame i has been drawn, as ARGB32 pixels (0xAARRGGBB), row
    // by row, width() per row; pixels nothing has been drawn on are 0 (transparent).
    // Continues from the previous call when i is the next frame, else starts over from
    // frame 0 or from a later frame that hides everything before it. The pointer stays
    // valid until the next call. Throws GifError for an index out of range.
    const uint32_t* compose(size_t i);

    // compose(i) as a new QImage::Format_ARGB32 picture.
    QImage picture(size_t i);

    // Forgets the canvas, for example after the image's frames or screen changed.
    void reset();

    // The frame the canvas shows, -1 for none.
    long long current() const { return m_last; }

    // What happens to the screen after the frame has been shown.
    static Disposal disposalOf(const Frame& frame);
    // The part of the screen the frame draws on: its rectangle clipped to the screen;
    // empty for a frame without pixels.
    QRect frameRect(size_t i) const;
    // The parts of the screen compose(i) changes when it continues from frame i - 1:
    // frame i - 1's rectangle when its disposal clears or restores (else empty), and
    // frame i's rectangle.
    std::pair<QRect, QRect> stepRects(size_t i) const;

private:
    // Whether composition can start at frame i: the canvas after it is frame i alone,
    // whatever came before, and its disposal does not need what was under it.
    bool hidesEverythingBefore(size_t i) const;
    void dispose(size_t i);
    void draw(size_t i);

    const GifImage& m_image;
    int m_width = 0;
    int m_height = 0;
    std::vector<uint32_t> m_canvas;
    std::vector<uint32_t> m_saved; // what frame m_last covered, for restore to previous
    long long m_last = -1;         // index of the frame the canvas shows, -1 for none
};

// Composition at one byte per pixel, for the common animation whose frames draw at most
// 255 distinct colours in all (one global table, or local tables that repeat colours):
// the canvas holds an index into colors(), the union of every colour drawn, with
// transparentIndex() (colors().size()) where nothing is drawn. It follows the rules
// above exactly, at a quarter of the 32-bit canvas's memory. Frames are composed in
// order, each once.
class IndexedCompositor {
public:
    // Null when the frames draw more than 255 colours. Throws GifError for a screen
    // larger than files may declare.
    static std::optional<IndexedCompositor> make(const GifImage& image);

    const ColorTable& colors() const { return m_colors; }
    uint8_t transparentIndex() const { return uint8_t(m_colors.size()); }
    int width() const { return m_width; }
    int height() const { return m_height; }

    // Composes the next frame (0 first) and returns the canvas, width() per row.
    const Bytes& next();
    // Every frame's picture at once, as next() would return them one after the other,
    // each in a buffer of its own; `transparent[i]` receives whether picture i shows a
    // transparent pixel. Composing never moves a pixel from one row to another, so the
    // screen is composed in bands of rows on several threads, each band through every
    // frame. `progress(done, total)` is called on this thread as bands are done and may
    // throw to stop. Only for a compositor that has composed nothing yet; it has composed
    // every frame afterwards.
    std::vector<Bytes> composeAll(std::vector<bool>& transparent,
                                  const std::function<void(size_t done, size_t total)>& progress);
    // The canvas, moved out: for the last frame, so that its copy is not needed.
    Bytes take() { return std::move(m_canvas); }
    // Whether the canvas shows a transparent pixel.
    bool showsTransparency() const;

private:
    explicit IndexedCompositor(const GifImage& image) : m_image(image) {}
    // Composes rows [y0, y1) of every frame into `pictures`.
    void composeBand(int y0, int y1, std::vector<Bytes>& pictures, uint8_t* transparent) const;

    const GifImage& m_image;
    int m_width = 0;
    int m_height = 0;
    ColorTable m_colors;
    // Per frame, each index's entry in m_colors (the transparent index for the frame's
    // transparent colour).
    std::vector<std::array<uint8_t, 256>> m_maps;
    Bytes m_canvas;
    Bytes m_saved; // what the frame shown last covered, for restore to previous
    size_t m_next = 0;
};

} // namespace vorlane::gif
