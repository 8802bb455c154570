// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec/Frame.h"

#include <algorithm>
#include <unordered_map>

namespace vorlane::gif {

const Bytes& Frame::noPixels() {
    static const Bytes none;
    return none;
}

void Frame::setPixels(uint16_t width, uint16_t height, Bytes indices) {
    setSharedPixels(width, height, std::make_shared<const Bytes>(std::move(indices)));
}

void Frame::setSharedPixels(uint16_t width, uint16_t height, std::shared_ptr<const Bytes> indices) {
    const size_t size = indices ? indices->size() : 0;
    if (size != size_t(width) * height)
        throw GifError("Frame pixel data does not match its size");
    m_width = width;
    m_height = height;
    m_pixels = size > 0 ? std::move(indices) : nullptr;
    m_highest = -1;
}

uint8_t Frame::highestIndex() const {
    if (m_highest < 0) {
        uint8_t highest = 0;
        for (const uint8_t index : pixels())
            highest = std::max(highest, index);
        m_highest = highest;
    }
    return uint8_t(m_highest);
}

void Frame::setLocalColors(ColorTable colors, bool sorted) {
    if (colors.size() > 256)
        throw GifError(messages::ColorTableOverflow);
    m_localColors = std::move(colors);
    m_localSorted = sorted;
}

Frame Frame::clone() const {
    Frame copy = *this; // shares records for now; replaced below
    copy.extensions.clear();
    copy.graphicControlRecord.reset();
    for (const auto& record : extensions) {
        auto fresh = record->clone();
        if (record == graphicControlRecord)
            copy.graphicControlRecord = fresh;
        copy.extensions.push_back(std::move(fresh));
    }
    if (graphicControlRecord && !copy.graphicControlRecord)
        copy.graphicControlRecord = graphicControlRecord->clone();
    return copy;
}

} // namespace vorlane::gif
