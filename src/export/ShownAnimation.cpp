// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/ShownAnimation.h"

#include <numeric>

namespace vorlane::exporting {

namespace {
std::vector<size_t> everyFrame(const gif::GifImage& image) {
    std::vector<size_t> frames(image.frameCount());
    std::iota(frames.begin(), frames.end(), size_t(0));
    return frames;
}
} // namespace

ShownAnimation::ShownAnimation(const gif::GifImage& image)
    : ShownAnimation(image, everyFrame(image)) {}

ShownAnimation::ShownAnimation(const gif::GifImage& image, std::vector<size_t> frames)
    : m_image(image), m_compositor(image), m_frames(std::move(frames)) {
    if (image.frameCount() == 0) return;
    for (const gif::ExtensionPtr& record : image.frame(0).extensions)
        if (record->isLoop()) {
            m_loop = record->loopCount().value_or(0);
            break;
        }
}

QImage ShownAnimation::picture(size_t k) {
    const uint32_t* canvas = m_compositor.compose(m_frames.at(k));
    QImage picture(width(), height(), QImage::Format_ARGB32);
    for (int y = 0; y < height(); ++y)
        std::copy_n(canvas + size_t(y) * size_t(width()), size_t(width()),
                    reinterpret_cast<uint32_t*>(picture.scanLine(y)));
    return picture;
}

int ShownAnimation::delay(size_t k) const {
    const gif::GraphicControl* control = m_image.frame(m_frames.at(k)).graphicControl();
    return control ? control->delay : 0;
}

} // namespace vorlane::exporting
