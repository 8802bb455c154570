// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The animations the tool tests run on, and the plain models of what each tool does to
// the pictures shown at the frames, written independently of the tools: whole pictures
// moved pixel by pixel, lists of pictures and delays rearranged.

#include <functional>
#include <vector>

#include <QRandomGenerator>
#include <QRect>

#include "codec/GifImage.h"
#include "codec/TestAnimations.h"
#include "codec/Unoptimize.h"

namespace vorlane::test {

// What a viewer sees: the screen, the picture shown at each frame, each frame's delay.
struct Shown {
    int width = 0;
    int height = 0;
    std::vector<Picture> pictures;
    std::vector<int> delays;
    friend bool operator==(const Shown&, const Shown&) = default;
};

inline Shown shownBy(const GifImage& image) {
    Shown s{image.screenWidth, image.screenHeight, referencePictures(image), {}};
    for (const Frame& f : image.frames())
        s.delays.push_back(f.graphicControl() ? f.graphicControl()->delay : 0);
    return s;
}

// A random animation with every disposal code, transparency, frames reaching beyond the
// screen and delays of 0 to 40; `opened` turns it into full pictures first, as opening
// in the editor does.
inline GifImage toolInput(quint32 seed, bool opened, int frames = 10, int width = 21,
                          int height = 15) {
    GifImage g = randomAnimation(seed, frames, width, height);
    QRandomGenerator rng(seed ^ 0x5EEDu);
    for (size_t i = 0; i < g.frameCount(); ++i)
        if (GraphicControl* gc = g.frame(i).graphicControl()) gc->delay = uint16_t(rng.bounded(41));
    return opened ? unoptimize(g) : std::move(g);
}

// A picture moved pixel by pixel: new (x, y) takes old source(x, y).
inline Picture remap(const Picture& p, int width, int newWidth, int newHeight,
                     const std::function<std::pair<int, int>(int, int)>& source) {
    Picture out(size_t(newWidth) * newHeight);
    for (int y = 0; y < newHeight; ++y)
        for (int x = 0; x < newWidth; ++x) {
            const auto [sx, sy] = source(x, y);
            out[size_t(y) * newWidth + x] = p[size_t(sy) * width + sx];
        }
    return out;
}

// Every picture of `s` moved by the same rule into a screen of newWidth x newHeight.
inline Shown remapAll(const Shown& s, int newWidth, int newHeight,
                      const std::function<std::pair<int, int>(int, int)>& source) {
    Shown out{newWidth, newHeight, {}, s.delays};
    for (const Picture& p : s.pictures)
        out.pictures.push_back(remap(p, s.width, newWidth, newHeight, source));
    return out;
}

// The frames in a new order: order[k] is the old index of new frame k.
inline Shown reordered(const Shown& s, const std::vector<int>& order) {
    Shown out{s.width, s.height, {}, {}};
    for (const int i : order) {
        out.pictures.push_back(s.pictures[size_t(i)]);
        out.delays.push_back(s.delays[size_t(i)]);
    }
    return out;
}

} // namespace vorlane::test
