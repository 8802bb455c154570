// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One stage of long work as the image's progress handler sees it: Starting when the
// scope opens, Running at most once per percent, and Ending when it closes, however the
// work ends, so that a progress display never stays on after a failure. A handler may
// throw from Starting or Running to stop the work (a cancelled job); what it throws
// from Ending is dropped, since the work is over by then.

#include <cstddef>
#include <cstdint>

#include "codec/GifImage.h"

namespace vorlane::gif {

class ProgressScope {
public:
    ProgressScope(const GifImage& image, ProgressMessage message)
        : m_image(image), m_message(message) {
        m_image.reportProgress(Stage::Starting, 0, m_message);
    }
    ~ProgressScope() {
        try {
            m_image.reportProgress(Stage::Ending, 100, m_message);
        } catch (...) {
        }
    }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

    // Step `done` of `total` within the share [from, to] of the whole stage.
    void running(size_t done, size_t total, int from = 0, int to = 100) {
        const int percent = total ? from + int(uint64_t(to - from) * done / total) : to;
        if (percent == m_last) return;
        m_last = percent;
        m_image.reportProgress(Stage::Running, percent, m_message);
    }

private:
    const GifImage& m_image;
    ProgressMessage m_message;
    int m_last = -1;
};

} // namespace vorlane::gif
