// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec/Frame.h"

#include <algorithm>
#include <array>
#include <unordered_map>

namespace vorlane::gif {

const Bytes& Frame::noPixels() {
    static const Bytes none;
    return none;
}

void Frame::setPixels(uint16_t width, uint16_t height, Bytes indices,
                      std::optional<std::bitset<256>> used) {
    setSharedPixels(width, height, std::make_shared<const Bytes>(std::move(indices)));
    if (m_pixels) m_used = used;
}

void Frame::setSharedPixels(uint16_t width, uint16_t height, std::shared_ptr<const Bytes> indices) {
    const size_t size = indices ? indices->size() : 0;
    if (size != size_t(width) * height) throw GifError("Frame pixel data does not match its size");
    m_width = width;
    m_height = height;
    m_pixels = size > 0 ? std::move(indices) : nullptr;
    m_highest = -1;
    m_used.reset();
}

uint8_t Frame::highestIndex() const {
    if (m_highest < 0) {
        const std::bitset<256>& used = usedIndices();
        int highest = 255;
        while (highest > 0 && !used[size_t(highest)])
            --highest;
        m_highest = highest;
    }
    return uint8_t(m_highest);
}

const std::bitset<256>& Frame::usedIndices() const {
    if (!m_used) {
        // Eight flags per value, one for each byte of a word, so that each byte's store
        // goes to its own place and none waits for another.
        std::array<std::array<bool, 256>, 8> seen{};
        const Bytes& p = pixels();
        size_t k = 0;
        for (; k + 8 <= p.size(); k += 8)
            for (size_t j = 0; j < 8; ++j)
                seen[j][p[k + j]] = true;
        for (; k < p.size(); ++k)
            seen[0][p[k]] = true;
        std::bitset<256> used;
        for (size_t v = 0; v < 256; ++v)
            for (size_t j = 0; j < 8; ++j)
                if (seen[j][v]) used.set(v);
        m_used = used;
    }
    return *m_used;
}

void Frame::setLocalColors(ColorTable colors, bool sorted) {
    if (colors.size() > 256) throw GifError(messages::ColorTableOverflow);
    m_localColors = std::move(colors);
    m_localSorted = sorted;
}

Frame Frame::clone() const {
    Frame copy = *this; // shares records for now; replaced below
    copy.extensions.clear();
    copy.graphicControlRecord.reset();
    for (const auto& record : extensions) {
        auto fresh = record->clone();
        if (record == graphicControlRecord) copy.graphicControlRecord = fresh;
        copy.extensions.push_back(std::move(fresh));
    }
    if (graphicControlRecord && !copy.graphicControlRecord)
        copy.graphicControlRecord = graphicControlRecord->clone();
    return copy;
}

} // namespace vorlane::gif
