// SPDX-License-Identifier: GPL-3.0-or-later
#include "editing/ToolCommand.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <new>
#include <optional>

#include "document/EditSteps.h"
#include "platform/Prompts.h"

namespace vorlane {

namespace {

template <typename... Ts> struct Overloaded : Ts... { using Ts::operator()...; };
template <typename... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

bool sameControl(const gif::Frame& a, const gif::Frame& b) {
    const gif::GraphicControl* x = a.graphicControl();
    const gif::GraphicControl* y = b.graphicControl();
    if (!x || !y) return !x && !y;
    return x->disposal == y->disposal && x->transparent == y->transparent &&
           (!x->transparent || x->transparentIndex == y->transparentIndex) &&
           x->delay == y->delay && x->userInput == y->userInput;
}

// Whether the result holds what the animation holds: the same frames, pixels, tables and
// timing on the same screen. A turn of a symmetric picture is no change either.
bool sameAnimation(const gif::GifImage& a, const gif::GifImage& b) {
    if (a.screenWidth != b.screenWidth || a.screenHeight != b.screenHeight ||
        a.frameCount() != b.frameCount())
        return false;
    for (size_t i = 0; i < a.frameCount(); ++i) {
        const gif::Frame& x = a.frame(i);
        const gif::Frame& y = b.frame(i);
        if (x.left != y.left || x.top != y.top || x.width() != y.width() ||
            x.height() != y.height() || x.localColors() != y.localColors() || !sameControl(x, y))
            return false;
        if (x.sharedPixels() != y.sharedPixels() && x.pixels() != y.pixels()) return false;
    }
    return true;
}

// The selection after the tool: see runTool.
FrameSelection selectionAfter(const FrameSelection& before, const tools::FrameSet& frames,
                              int countBefore, int countAfter) {
    if (countAfter == countBefore) return before;
    if (countAfter == 0) return {};
    FrameSelection after;
    if (frames && !frames->empty()) {
        // The selected frames that are left, and those between them, stand from the
        // first selected frame on.
        const auto [low, high] = std::minmax_element(frames->begin(), frames->end());
        const int first = std::min(*low, countAfter - 1);
        const int last = std::clamp(*high + countAfter - countBefore, first, countAfter - 1);
        after.current = first;
        for (int r = first; r <= last; ++r)
            after.rows.push_back(r);
        return after;
    }
    if (before.current < 0) return after;
    after.current = std::min(before.current, countAfter - 1);
    after.rows = {after.current};
    return after;
}

tools::FrameSet framesOf(const tools::Operation& operation) {
    return std::visit(Overloaded{
                          [](const tools::op::Reverse& o) { return o.frames; },
                          [](const tools::op::KeepEvery& o) { return o.frames; },
                          [](const tools::op::Dedupe& o) { return o.frames; },
                          [](const tools::op::Speed& o) { return o.frames; },
                          [](const tools::op::Delay& o) { return o.frames; },
                          [](const auto&) { return tools::FrameSet(); },
                      },
                      operation);
}

} // namespace

QString toolStepName(const tools::Operation& operation) {
    using namespace tools;
    return std::visit(
        Overloaded{
            [](const op::Resize&) { return QStringLiteral("Resize"); },
            [](const op::Scale&) { return QStringLiteral("Resize"); },
            [](const op::Crop&) { return QStringLiteral("Crop"); },
            [](const op::AutoCrop&) { return QStringLiteral("Auto-crop"); },
            [](const op::Rotate& o) {
                switch (o.rotation) {
                case Rotation::Quarter:
                    return QStringLiteral("Rotate 90° clockwise");
                case Rotation::Half:
                    return QStringLiteral("Rotate 180°");
                case Rotation::ThreeQuarters:
                    break;
                }
                return QStringLiteral("Rotate 90° counter-clockwise");
            },
            [](const op::Flip& o) {
                return o.direction == FlipDirection::Horizontal
                           ? QStringLiteral("Flip horizontally")
                           : QStringLiteral("Flip vertically");
            },
            [](const op::Reverse&) { return QStringLiteral("Reverse"); },
            [](const op::Yoyo&) { return QStringLiteral("Yo-yo"); },
            [](const op::KeepEvery&) { return QStringLiteral("Keep every n-th image"); },
            [](const op::Dedupe&) { return QStringLiteral("Remove duplicate images"); },
            [](const op::Speed&) { return QStringLiteral("Speed"); },
            [](const op::Delay&) { return QStringLiteral("Set delay"); },
        },
        operation);
}

tools::FrameSet toolFrames(const FrameSelection& selection) {
    if (selection.rows.size() < 2) return std::nullopt;
    return selection.rows;
}

ToolResult runTool(AnimationModel& animation, const FrameSelection& selection,
                   const tools::Operation& operation, const Platform& platform,
                   BackgroundWork* work, const WorkProgress::Sink& sink) {
    if (!animation.hasImage() || animation.frameCount() == 0) return ToolResult::Unchanged;
    const QString name = toolStepName(operation);
    const auto fail = [&](const QString& reason) {
        if (platform.prompts)
            platform.prompts->tell(Prompts::Icon::Error,
                                   QStringLiteral("%1 failed: %2").arg(name, reason));
        return ToolResult::Failed;
    };

    const gif::GifImage snapshot = animation.image()->sharedCopy();
    std::optional<gif::GifImage> result;
    try {
        BackgroundWork::run(
            work,
            [&](WorkProgress& progress) {
                progress.report(gif::Stage::Starting, 0, gif::ProgressMessage::Converting);
                // The tool polls the flag itself; a report after a cancel would throw
                // through the tool's threads, so it is dropped and the tool's own check
                // ends the run.
                const tools::ToolContext context =
                    tools::ToolContext::watching(progress.flag(), [&progress](int percent) {
                        try {
                            progress.report(percent);
                        } catch (const WorkCancelled&) {
                        }
                    });
                result = tools::run(snapshot, operation, context);
                progress.report(gif::Stage::Ending, 100, gif::ProgressMessage::Converting);
            },
            sink);
    } catch (const WorkCancelled&) {
        if (sink) sink(gif::Stage::Ending, 100, gif::ProgressMessage::Converting);
        return ToolResult::Cancelled;
    } catch (const tools::Cancelled&) {
        if (sink) sink(gif::Stage::Ending, 100, gif::ProgressMessage::Converting);
        return ToolResult::Cancelled;
    } catch (const gif::GifError& e) {
        if (sink) sink(gif::Stage::Ending, 100, gif::ProgressMessage::Converting);
        return fail(QString::fromUtf8(e.what()));
    } catch (const std::bad_alloc&) {
        if (sink) sink(gif::Stage::Ending, 100, gif::ProgressMessage::Converting);
        return fail(QStringLiteral("not enough memory"));
    } catch (const std::exception& e) {
        if (sink) sink(gif::Stage::Ending, 100, gif::ProgressMessage::Converting);
        return fail(QString::fromUtf8(e.what()));
    }
    if (!result || sameAnimation(*result, snapshot)) return ToolResult::Unchanged;

    const int countBefore = animation.frameCount();
    const int countAfter = int(result->frameCount());
    const QSize screen(result->screenWidth, result->screenHeight);
    std::vector<gif::Frame> frames(result->frames().begin(), result->frames().end());
    result.reset();
    auto step = std::make_unique<ReplaceAnimationStep>(name, std::move(frames), screen);
    step->before = selection;
    step->after = selectionAfter(selection, framesOf(operation), countBefore, countAfter);
    animation.push(std::move(step));
    return ToolResult::Applied;
}

} // namespace vorlane
