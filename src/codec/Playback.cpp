// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec/Playback.h"

#include <climits>

namespace vorlane::gif {

int Playback::displayMs(uint16_t delay) {
    return delay <= 1 ? 100 : int(delay) * 10;
}

std::optional<int> Playback::showings(const GifImage& image) {
    if (image.frameCount() == 0) return 1;
    for (const ExtensionPtr& record : image.frame(0).extensions) {
        if (!record->isLoop()) continue;
        const std::optional<uint16_t> count = record->loopCount();
        if (!count) return 1;
        if (*count == 0) return std::nullopt;
        return int(*count) + 1;
    }
    return 1;
}

void Playback::load(const GifImage& image) {
    load(image, showings(image));
}

void Playback::load(const GifImage& image, std::optional<int> showings) {
    m_delays.clear();
    m_delays.reserve(image.frameCount());
    for (const Frame& f : image.frames())
        m_delays.push_back(f.graphicControl() ? f.graphicControl()->delay : 0);
    m_showings = showings;
    restart();
}

void Playback::restart() {
    m_frame = 0;
    m_showing = 0;
    m_startMs = 0;
}

int Playback::displayMs() const {
    return displayMs(m_frame < m_delays.size() ? m_delays[m_frame] : 0);
}

bool Playback::running() const {
    if (m_delays.size() < 2) return false;
    return m_frame + 1 < m_delays.size() || !m_showings || m_showing + 1 < *m_showings;
}

bool Playback::advance() {
    if (!running()) return false;
    m_startMs += displayMs();
    if (++m_frame == m_delays.size()) {
        m_frame = 0;
        if (m_showing < INT_MAX) ++m_showing;
    }
    return true;
}

} // namespace vorlane::gif
