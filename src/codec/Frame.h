// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One image of a GIF: geometry, colour table, pixel indices and the extension records
// that precede it in the file.

#include <bitset>
#include <memory>
#include <optional>

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
    const Bytes& pixels() const { return m_pixels ? *m_pixels : noPixels(); }
    // A frame without pixels writes its records but no image descriptor.
    bool hasPixels() const { return m_pixels && !m_pixels->empty(); }
    // Replaces size and pixels; `indices` must hold width * height bytes. `used`, when
    // given, must be the set of values in `indices` (a decoder knows it at no cost).
    void setPixels(uint16_t width, uint16_t height, Bytes indices,
                   std::optional<std::bitset<256>> used = std::nullopt);
    // The pixel buffer itself. It never changes once set (setPixels puts a new one in
    // its place), so copies of the frame and pictures made from it share it without
    // copying; it lives as long as any of them.
    const std::shared_ptr<const Bytes>& sharedPixels() const { return m_pixels; }
    void setSharedPixels(uint16_t width, uint16_t height, std::shared_ptr<const Bytes> indices);
    // The highest index the pixels use (0 without pixels); found once per buffer.
    uint8_t highestIndex() const;
    // The indices the pixels use; found once per buffer.
    const std::bitset<256>& usedIndices() const;

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

    static const Bytes& noPixels();

    uint16_t m_width = 0;
    uint16_t m_height = 0;
    std::shared_ptr<const Bytes> m_pixels;
    mutable int m_highest = -1;                     // highestIndex(), -1 until found
    mutable std::optional<std::bitset<256>> m_used; // usedIndices(), until found
    ColorTable m_localColors;
    bool m_localSorted = false;
};

} // namespace vorlane::gif
