// SPDX-License-Identifier: GPL-3.0-or-later
#include "effects/Transitions.h"

#include <algorithm>

#include "imaging/Raster.h"

namespace vorlane::effects {

using imaging::drawAt;
using imaging::newPicture;

int imageCount(int delay, int rate) {
    return roundHalfEven(double(delay) * rate / 100.0);
}

namespace {

// Where step n of the scroll and the replacement draws the current picture.
QPoint slideOffset(int direction, int n, int width, int height, int count) {
    const int sx = width / count;
    const int sy = height / count;
    switch (direction) {
    case RightToLeft:
        return {width - n * sx, 0};
    case TopToBottom:
        return {0, n * sy - height};
    case BottomToTop:
        return {0, height - n * sy};
    default:
        return {n * sx - width, 0};
    }
}

// A picture was made: pass it on. A null picture (allocation failed) stops the effect.
bool deliver(const QImage& picture, const PictureSink& sink) {
    return !picture.isNull() && sink(picture);
}

// The scroll (over the solid colour) and the replacement (over the previous picture,
// on white where it does not reach): the current picture slides in from one side.
bool slide(const TransitionInput& in, bool overPrevious, const PictureSink& sink) {
    const int w = in.current.width();
    const int h = in.current.height();
    for (int n = in.count; n >= 0; --n) {
        QImage picture = newPicture(w, h, overPrevious ? qRgb(255, 255, 255) : in.color);
        if (overPrevious) drawAt(picture, in.previous, 0, 0);
        const QPoint at = slideOffset(in.direction, n, w, h, in.count);
        drawAt(picture, in.current, at.x(), at.y());
        if (!deliver(picture, sink)) return false;
    }
    return true;
}

bool wipe(const TransitionInput& in, const PictureSink& sink) {
    const int w = in.current.width();
    const int h = in.current.height();
    for (int i = 0; i <= in.count; ++i) {
        // A copy of the previous picture keeps its palette: the revealed part of the
        // current picture is drawn in the previous frame's nearest colours.
        QImage picture = in.previous.copy();
        if (in.wipeDirection == WipeTopToBottom) {
            const int revealed = h - i * (h / in.count);
            if (revealed > 0) drawAt(picture, in.current.copy(0, 0, w, revealed), 0, 0);
        } else {
            const int revealed = w - i * (w / in.count);
            if (revealed > 0) drawAt(picture, in.current.copy(0, 0, revealed, h), 0, 0);
        }
        if (!deliver(picture, sink)) return false;
    }
    return true;
}

bool fade(const TransitionInput& in, const PictureSink& sink) {
    // The blends accumulate in `blended`: each step lays the previous picture over the
    // result of the step before with a larger master alpha.
    QImage blended = in.current.convertToFormat(QImage::Format_ARGB32);
    const QImage previous = in.previous.convertToFormat(QImage::Format_ARGB32);
    if (blended.isNull() || previous.isNull()) return false;
    for (int k = 0; k <= in.count; ++k) {
        imaging::blend(blended, previous, roundHalfEven(255.0 * k / (in.count + 1)));
        if (!deliver(blended.convertToFormat(QImage::Format_RGB32), sink)) return false;
    }
    return true;
}

// Both separations: `vertical` moves an upper and a lower half of the previous picture
// apart, otherwise a left and a right half.
bool separation(const TransitionInput& in, bool vertical, const PictureSink& sink) {
    if (in.count < 1) return true;
    const int w = in.current.width();
    const int h = in.current.height();
    const int extent = vertical ? h : w;
    const int half = roundHalfEven(extent / 2.0);
    // The first piece holds the previous picture's first `half` rows (columns), the
    // second the ones after them up to the current picture's extent; where the previous
    // picture does not reach, white.
    QImage first = vertical ? newPicture(w, half) : newPicture(half, h);
    QImage second = vertical ? newPicture(w, half) : newPicture(half, h);
    if (first.isNull() || second.isNull()) return false;
    drawAt(first, in.previous, 0, 0);
    if (vertical)
        drawAt(second,
               in.previous.copy(0, 0, in.previous.width(), std::min(in.previous.height(), h)), 0,
               -half);
    else
        drawAt(second,
               in.previous.copy(0, 0, std::min(in.previous.width(), w), in.previous.height()),
               -half, 0);
    for (int k = in.count; k >= 1; --k) {
        // A copy of the current picture keeps its palette: the pieces are drawn in the
        // current frame's nearest colours.
        QImage picture = in.current.copy();
        const int s = roundHalfEven(double(extent) / (2.0 * in.count) * k);
        if (vertical) {
            drawAt(picture, first, 0, -s);
            drawAt(picture, second, 0, half + s);
        } else {
            drawAt(picture, first, -s, 0);
            drawAt(picture, second, half + s, 0);
        }
        if (!deliver(picture, sink)) return false;
    }
    return true;
}

} // namespace

bool generate(Effect effect, const TransitionInput& input, const PictureSink& sink) {
    if (input.current.isNull()) return false;
    const bool needsPrevious = effect != Effect::Scroll;
    if (needsPrevious && input.previous.isNull()) return false;
    switch (effect) {
    case Effect::Scroll:
        return input.count <= 0 || slide(input, false, sink);
    case Effect::Replacement:
        return input.count <= 0 || slide(input, true, sink);
    case Effect::Wipe:
        return input.count <= 0 || wipe(input, sink);
    case Effect::Fade:
        return input.count < 0 || fade(input, sink);
    case Effect::SeparationV:
        return separation(input, true, sink);
    case Effect::SeparationH:
        return separation(input, false, sink);
    }
    return false;
}

} // namespace vorlane::effects
