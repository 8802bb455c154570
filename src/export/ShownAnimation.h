// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// An animation as a viewer shows it: the picture at each frame, how long it stays, how
// often the animation repeats. Every writer of the export works from this, whatever
// the frames of the image are like (cropped, transparent, restoring).

#include <cstdint>
#include <optional>
#include <vector>

#include <QImage>

#include "codec/Compositor.h"
#include "codec/GifImage.h"

namespace vorlane::exporting {

class ShownAnimation {
public:
    // Every frame of `image`, which must outlive this and keep its frames.
    explicit ShownAnimation(const gif::GifImage& image);
    // The frames of `image` at `frames` (ascending), as an animation of their own.
    ShownAnimation(const gif::GifImage& image, std::vector<size_t> frames);

    int width() const { return m_compositor.width(); }
    int height() const { return m_compositor.height(); }
    size_t count() const { return m_frames.size(); }
    // The source frame the k-th picture shows.
    size_t sourceFrame(size_t k) const { return m_frames[k]; }

    // The picture shown at the k-th frame, QImage::Format_ARGB32 (alpha 0 where nothing
    // is drawn). Taking the frames in order costs one composition step each.
    QImage picture(size_t k);
    // The k-th frame's delay in hundredths of a second, as the file says it (0 and 1
    // included).
    int delay(size_t k) const;
    // The loop record's count (0: for ever); none when the image has no loop record,
    // which browsers play once.
    std::optional<uint16_t> loopCount() const { return m_loop; }

private:
    const gif::GifImage& m_image;
    gif::Compositor m_compositor;
    std::vector<size_t> m_frames;
    std::optional<uint16_t> m_loop;
};

} // namespace vorlane::exporting
