// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec/Frame.h"

#include <unordered_map>

namespace vorlane::gif {

void Frame::setPixels(uint16_t width, uint16_t height, Bytes indices) {
    if (indices.size() != size_t(width) * height)
        throw GifError("Frame pixel data does not match its size");
    m_width = width;
    m_height = height;
    m_pixels = std::move(indices);
    m_ownPicture = QImage();
}

void Frame::setLocalColors(ColorTable colors, bool sorted) {
    if (colors.size() > 256)
        throw GifError(messages::ColorTableOverflow);
    m_localColors = std::move(colors);
    m_localSorted = sorted;
    m_ownPicture = QImage();
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
