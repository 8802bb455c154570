// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One image of a GIF: geometry, colour table, pixel indices and the extension records
// that precede it in the file.

#include <QImage>

#include "codec/Extension.h"
#include "codec/GifTypes.h"

namespace vorlane::gif {

class Frame {
public:
    uint16_t left = 0;
    uint16_t top = 0;
    bool interlaced = false;

    // Records written before the image, in order.
    ExtensionList extensions;
    // The frame's graphic control record. It is normally also an entry of `extensions`;
    // one that is not stays unwritten.
    ExtensionPtr graphicControlRecord;

    uint16_t width() const { return m_width; }
    uint16_t height() const { return m_height; }
    // Pixel indices, one byte each, row by row in display order (never interlaced).
    const Bytes& pixels() const { return m_pixels; }
    // A frame without pixels writes its records but no image descriptor.
    bool hasPixels() const { return !m_pixels.empty(); }
    // Replaces size and pixels; `indices` must hold width * height bytes.
    void setPixels(uint16_t width, uint16_t height, Bytes indices);

    // Local colour table; when empty the image's global table is the active one.
    const ColorTable& localColors() const { return m_localColors; }
    bool localSorted() const { return m_localSorted; }
    void setLocalColors(ColorTable colors, bool sorted = false);

    GraphicControl* graphicControl() {
        return graphicControlRecord ? &graphicControlRecord->control() : nullptr;
    }
    const GraphicControl* graphicControl() const {
        return graphicControlRecord ? &graphicControlRecord->control() : nullptr;
    }

    // Deep copy: new copies of every record, the graphic control reference pointing at
    // the copy of the same record.
    Frame clone() const;

private:
    friend class GifImage;

    uint16_t m_width = 0;
    uint16_t m_height = 0;
    Bytes m_pixels;
    ColorTable m_localColors;
    bool m_localSorted = false;
    // The own picture, made on first request and dropped when pixels or colours change.
    mutable QImage m_ownPicture;
};

} // namespace vorlane::gif
