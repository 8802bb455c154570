// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/Timing.h"

#include <algorithm>
#include <limits>

#include "codec/GifReader.h"
#include "tools/Frames.h"

namespace vorlane::tools {

using namespace vorlane::gif;
using detail::ShownFrames;
using detail::Steps;

namespace {

constexpr int MaxDelay = std::numeric_limits<uint16_t>::max();

int delayOf(const Frame& frame) {
    return detail::controlOf(frame).delay;
}

Frame withDelay(const Frame& frame, int delay) {
    delay = std::clamp(delay, 0, MaxDelay);
    if (delayOf(frame) == delay) return frame;
    GraphicControl control = detail::controlOf(frame);
    control.delay = uint16_t(delay);
    return detail::withControl(frame, control);
}

// The frames of `shown` in the order `order` gives (old indices), made to show what they
// showed.
GifImage inOrder(const GifImage& shown, const std::vector<size_t>& order, Steps& steps) {
    GifImage result = detail::emptyLike(shown, shown.screenWidth, shown.screenHeight);
    for (const size_t i : order)
        result.appendFrame(shown.frame(i));
    detail::settleDisposals(result, &steps);
    return result;
}

// Runs of consecutive frames in the set, as [first, last] pairs.
std::vector<std::pair<size_t, size_t>> runsOf(const std::vector<bool>& selected) {
    std::vector<std::pair<size_t, size_t>> runs;
    for (size_t i = 0; i < selected.size(); ++i) {
        if (!selected[i]) continue;
        if (!runs.empty() && runs.back().second + 1 == i)
            runs.back().second = i;
        else
            runs.emplace_back(i, i);
    }
    return runs;
}

// Whether frames a and b (of frames that show their own pictures) show the same picture.
bool sameShown(const GifImage& image, size_t a, size_t b) {
    const detail::DrawnColors ca = detail::drawnColors(image, a);
    const detail::DrawnColors cb = detail::drawnColors(image, b);
    const Frame& fa = image.frame(a);
    const Frame& fb = image.frame(b);
    if (fa.sharedPixels() == fb.sharedPixels() && ca == cb) return true;
    const Bytes& pa = fa.pixels();
    const Bytes& pb = fb.pixels();
    if (pa.size() != pb.size()) return false;
    for (size_t p = 0; p < pa.size(); ++p)
        if (ca[pa[p]] != cb[pb[p]]) return false;
    return true;
}

// For each frame, whether dedupe drops it.
std::vector<bool> duplicates(const GifImage& shown, const std::vector<bool>& selected,
                             Steps& steps) {
    std::vector<bool> dropped(shown.frameCount(), false);
    steps.addWork(shown.frameCount());
    steps.advance(); // the first frame is kept
    for (size_t i = 1; i < shown.frameCount(); ++i) {
        if (selected[i] && selected[i - 1]) dropped[i] = sameShown(shown, i - 1, i);
        steps.advance();
    }
    return dropped;
}

// The frames with each frame in the set changed by `change`; pixels and order stay.
template <typename Change>
GifImage changeDelays(const GifImage& source, const FrameSet& frames, const ToolContext& context,
                      Change change) {
    Steps steps(context);
    steps.reserve(source.frameCount());
    const ShownFrames shown(source, steps);
    const std::vector<bool> selected = detail::selectedFrames(frames, source.frameCount());
    steps.addWork(shown.image().frameCount());
    GifImage result = detail::copyOf(shown.image());
    for (size_t i = 0; i < result.frameCount(); ++i) {
        if (selected[i])
            result.replaceFrame(i, withDelay(result.frame(i), change(delayOf(result.frame(i)))));
        steps.advance();
    }
    steps.finish();
    return result;
}

} // namespace

GifImage reverse(const GifImage& source, const FrameSet& frames, const ToolContext& context) {
    Steps steps(context);
    steps.reserve(source.frameCount());
    const ShownFrames shown(source, steps);
    const std::vector<bool> selected = detail::selectedFrames(frames, source.frameCount());
    std::vector<size_t> places;
    for (size_t i = 0; i < selected.size(); ++i)
        if (selected[i]) places.push_back(i);
    std::vector<size_t> order(source.frameCount());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    for (size_t k = 0; k < places.size(); ++k)
        order[places[k]] = places[places.size() - 1 - k];
    steps.check();
    GifImage result = inOrder(shown.image(), order, steps);
    steps.finish();
    return result;
}

GifImage yoyo(const GifImage& source, const ToolContext& context) {
    const size_t n = source.frameCount();
    if (n > 2 && 2 * n - 2 > ReadLimits{}.maxFrames) throw GifError("Too many frames");
    Steps steps(context);
    steps.reserve(2 * source.frameCount());
    const ShownFrames shown(source, steps);
    std::vector<size_t> order;
    for (size_t i = 0; i < n; ++i)
        order.push_back(i);
    for (size_t i = n >= 2 ? n - 2 : 0; i >= 1 && i + 1 < n; --i)
        order.push_back(i);
    steps.check();
    GifImage result = inOrder(shown.image(), order, steps);
    // The way back shows the same pictures with records of their own, so that no record
    // stands in two frames of one image.
    for (size_t k = n; k < result.frameCount(); ++k)
        result.replaceFrame(k, result.frame(k).clone());
    steps.finish();
    return result;
}

size_t framesAfterKeepEvery(size_t frameCount, int n, const FrameSet& frames) {
    if (n < 1) throw GifError("Keep every n-th frame needs n of 1 or more");
    const std::vector<bool> selected = detail::selectedFrames(frames, frameCount);
    size_t kept = frameCount;
    for (const auto& [first, last] : runsOf(selected)) {
        const size_t length = last - first + 1;
        kept -= length - (length + size_t(n) - 1) / size_t(n);
    }
    return kept;
}

GifImage keepEvery(const GifImage& source, int n, const FrameSet& frames,
                   const ToolContext& context) {
    framesAfterKeepEvery(source.frameCount(), n, frames); // checks the parameters
    Steps steps(context);
    steps.reserve(source.frameCount());
    const ShownFrames shown(source, steps);
    const GifImage& image = shown.image();
    const std::vector<bool> selected = detail::selectedFrames(frames, source.frameCount());
    // Each frame's place in the result and its delay there.
    std::vector<size_t> order;
    std::vector<int> delays;
    size_t i = 0;
    for (const auto& [first, last] : runsOf(selected)) {
        for (; i < first; ++i) {
            order.push_back(i);
            delays.push_back(delayOf(image.frame(i)));
        }
        for (; i <= last; ++i) {
            if ((i - first) % size_t(n) == 0) {
                order.push_back(i);
                delays.push_back(0);
            }
            delays.back() = std::min(MaxDelay, delays.back() + delayOf(image.frame(i)));
        }
    }
    for (; i < image.frameCount(); ++i) {
        order.push_back(i);
        delays.push_back(delayOf(image.frame(i)));
    }
    steps.check();
    GifImage result = inOrder(image, order, steps);
    for (size_t k = 0; k < result.frameCount(); ++k)
        result.replaceFrame(k, withDelay(result.frame(k), delays[k]));
    steps.finish();
    return result;
}

size_t framesAfterDedupe(const GifImage& source, const FrameSet& frames,
                         const ToolContext& context) {
    Steps steps(context);
    steps.reserve(source.frameCount());
    const ShownFrames shown(source, steps);
    const std::vector<bool> dropped =
        duplicates(shown.image(), detail::selectedFrames(frames, source.frameCount()), steps);
    steps.finish();
    return size_t(std::count(dropped.begin(), dropped.end(), false));
}

GifImage dedupe(const GifImage& source, const FrameSet& frames, const ToolContext& context) {
    Steps steps(context);
    steps.reserve(2 * source.frameCount());
    const ShownFrames shown(source, steps);
    const GifImage& image = shown.image();
    const std::vector<bool> dropped =
        duplicates(image, detail::selectedFrames(frames, source.frameCount()), steps);
    std::vector<size_t> order;
    std::vector<int> delays;
    for (size_t i = 0; i < image.frameCount(); ++i) {
        if (dropped[i]) {
            delays.back() = std::min(MaxDelay, delays.back() + delayOf(image.frame(i)));
            continue;
        }
        order.push_back(i);
        delays.push_back(delayOf(image.frame(i)));
    }
    GifImage result = inOrder(image, order, steps);
    for (size_t k = 0; k < result.frameCount(); ++k)
        result.replaceFrame(k, withDelay(result.frame(k), delays[k]));
    steps.finish();
    return result;
}

int scaledDelay(int delay, int percent) {
    if (percent < 1 || percent > 100000) throw GifError("Speed must be 1 to 100000 percent");
    if (delay < 2) return delay;
    const long long scaled = (2LL * delay * 100 + percent) / (2LL * percent);
    return int(std::clamp<long long>(scaled, 2, MaxDelay));
}

GifImage changeSpeed(const GifImage& source, int percent, const FrameSet& frames,
                     const ToolContext& context) {
    scaledDelay(2, percent); // checks the percentage
    return changeDelays(source, frames, context,
                        [percent](int delay) { return scaledDelay(delay, percent); });
}

GifImage setDelay(const GifImage& source, int delay, const FrameSet& frames,
                  const ToolContext& context) {
    if (delay < 0 || delay > MaxDelay) throw GifError("Delay must be 0 to 65535");
    return changeDelays(source, frames, context, [delay](int) { return delay; });
}

} // namespace vorlane::tools
