// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/Operation.h"

#include "codec/GifReader.h"
#include "tools/Frames.h"

namespace vorlane::tools {

using namespace vorlane::gif;

namespace {

template <typename... Ts> struct Overloaded : Ts... { using Ts::operator()...; };
template <typename... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

QSize screenOf(const GifImage& image) {
    return QSize(image.screenWidth, image.screenHeight);
}

} // namespace

GifImage run(const GifImage& source, const Operation& operation, const ToolContext& context) {
    const QSize screen = screenOf(source);
    return std::visit(
        Overloaded{
            [&](const op::Resize& o) {
                return resize(source, resizedSize(screen, o.width, o.height, o.keepAspect),
                              o.filter, context);
            },
            [&](const op::Scale& o) {
                return resize(source, scaledSize(screen, o.percent), o.filter, context);
            },
            [&](const op::Crop& o) { return crop(source, o.rect, context); },
            [&](const op::AutoCrop&) { return autoCrop(source, context); },
            [&](const op::Rotate& o) { return rotate(source, o.rotation, context); },
            [&](const op::Flip& o) { return flip(source, o.direction, context); },
            [&](const op::Reverse& o) { return reverse(source, o.frames, context); },
            [&](const op::Yoyo&) { return yoyo(source, context); },
            [&](const op::KeepEvery& o) { return keepEvery(source, o.n, o.frames, context); },
            [&](const op::Dedupe& o) { return dedupe(source, o.frames, context); },
            [&](const op::Speed& o) { return changeSpeed(source, o.percent, o.frames, context); },
            [&](const op::Delay& o) { return setDelay(source, o.delay, o.frames, context); },
        },
        operation);
}

Outcome predict(const GifImage& source, const Operation& operation, const ToolContext& context) {
    const QSize screen = screenOf(source);
    const size_t frames = source.frameCount();
    // The checks run makes before it starts.
    const auto pixels = [&] {
        if (screen.isEmpty()) throw GifError("The logical screen is empty");
    };
    const auto resized = [&](QSize size) {
        pixels();
        checkResizeSize(size, frames);
        return Outcome{size, frames};
    };
    return std::visit(
        Overloaded{
            [&](const op::Resize& o) {
                return resized(resizedSize(screen, o.width, o.height, o.keepAspect));
            },
            [&](const op::Scale& o) { return resized(scaledSize(screen, o.percent)); },
            [&](const op::Crop& o) {
                pixels();
                if (o.rect.isEmpty() || !QRect(QPoint(0, 0), screen).contains(o.rect))
                    throw GifError("Crop rectangle outside the logical screen");
                return Outcome{o.rect.size(), frames};
            },
            [&](const op::AutoCrop&) {
                const QRect shown = shownRect(source, context);
                return Outcome{shown.isEmpty() ? screen : shown.size(), frames};
            },
            [&](const op::Rotate& o) {
                pixels();
                return Outcome{o.rotation == Rotation::Half ? screen : screen.transposed(), frames};
            },
            [&](const op::Flip&) {
                pixels();
                return Outcome{screen, frames};
            },
            [&](const op::Reverse& o) {
                detail::selectedFrames(o.frames, frames);
                return Outcome{screen, frames};
            },
            [&](const op::Yoyo&) {
                const size_t made = frames > 2 ? 2 * frames - 2 : frames;
                if (made > ReadLimits{}.maxFrames) throw GifError("Too many frames");
                return Outcome{screen, made};
            },
            [&](const op::KeepEvery& o) {
                return Outcome{screen, framesAfterKeepEvery(frames, o.n, o.frames)};
            },
            [&](const op::Dedupe& o) {
                return Outcome{screen, framesAfterDedupe(source, o.frames, context)};
            },
            [&](const op::Speed& o) {
                scaledDelay(2, o.percent);
                detail::selectedFrames(o.frames, frames);
                return Outcome{screen, frames};
            },
            [&](const op::Delay& o) {
                if (o.delay < 0 || o.delay > 65535) throw GifError("Delay must be 0 to 65535");
                detail::selectedFrames(o.frames, frames);
                return Outcome{screen, frames};
            },
        },
        operation);
}

} // namespace vorlane::tools
