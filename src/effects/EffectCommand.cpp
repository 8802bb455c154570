// SPDX-License-Identifier: GPL-3.0-or-later
#include "effects/EffectCommand.h"

#include <memory>
#include <vector>

#include "codec/ColorReduction.h"
#include "codec/GifImage.h"
#include "document/BackgroundWork.h"
#include "document/EditSteps.h"
#include "editing/FrameCommands.h"

namespace vorlane::effects {

EffectTexts effectTexts(Effect effect) {
    switch (effect) {
    case Effect::Scroll:
        return {QStringLiteral("Scroll effect"),
                QStringLiteral("The current image scrolls through a solid color until it "
                               "reaches the middle."),
                true, false, true};
    case Effect::Replacement:
        return {QStringLiteral("Replacement effect"),
                QStringLiteral("The current image scrolls over the previous image until it is "
                               "completely replaced."),
                true, false, false};
    case Effect::Wipe:
        return {QStringLiteral("Wipe effect"),
                QStringLiteral("The current image is gradually displayed by wiping the previous "
                               "image until it is completely displayed."),
                false, true, false};
    case Effect::Fade:
        return {QStringLiteral("Fade effect"),
                QStringLiteral("The current image is displayed on a progressive alpha "
                               "(transparency) effect."),
                false, false, false};
    case Effect::SeparationV:
        return {QStringLiteral("Vertical Separation effect"),
                QStringLiteral("The current image is gradually revealed with the vertical "
                               "separation of the top and bottom sides of the previous image."),
                false, false, false};
    case Effect::SeparationH:
        return {QStringLiteral("Horizontal Separation effect"),
                QStringLiteral("The current image is gradually revealed with the horizontal "
                               "separation of the left and right sides of the previous image."),
                false, false, false};
    }
    return {};
}

bool effectAvailable(const AnimationModel& animation, int current, Effect effect) {
    if (!animation.hasImage() || current < 0 || current >= animation.frameCount()) return false;
    return effect == Effect::Scroll || current > 0;
}

QString effectStepName(Effect effect) {
    return effectTexts(effect).title;
}

int runEffect(AnimationModel& animation, const FrameSelection& selection, Effect effect,
              const EffectSettings& settings, BackgroundWork* work,
              const WorkProgress::Sink& sink) {
    const int p = selection.current;
    if (!effectAvailable(animation, p, effect)) return 0;

    TransitionInput input;
    input.count = settings.count;
    input.direction = settings.direction;
    input.wipeDirection = settings.wipeDirection;
    input.color = settings.color;
    // The own pictures share the frames' pixels; the inserted frames never change them.
    try {
        input.current = animation.ownPicture(p);
        if (p > 0) input.previous = animation.ownPicture(p - 1);
    } catch (const gif::GifError&) {
        input.current = {};
    }

    // Each picture is made and reduced on the worker and inserted as soon as it is made,
    // so only one generated picture lives at a time; one reducer serves them all.
    gif::ColorReducer reducer;
    auto macro = std::make_unique<MacroStep>(effectStepName(effect));
    macro->before = selection;
    int inserted = 0;
    const gif::ReductionSettings reduction = animation.reduction();
    try {
        BackgroundWork::run(
            work,
            [&](WorkProgress& progress) {
                progress.report(gif::Stage::Starting, 0, gif::ProgressMessage::Converting);
                generate(effect, input, [&](const QImage& picture) {
                    std::vector<gif::Frame> frames;
                    try {
                        const QImage reduced = reducer.reduce(picture, gif::Dither::Nearest);
                        if (reduced.isNull()) return false;
                        frames.push_back(FrameCommands::makeFrame(reduced, 0, reduction));
                        frames.back().graphicControl()->delay = 0;
                    } catch (const gif::GifError&) {
                        return false;
                    } catch (const std::bad_alloc&) {
                        return false;
                    }
                    progress.onWindow([&] {
                        macro->run(animation, std::make_unique<InsertFramesStep>(
                                                  macro->text(), p, std::move(frames)));
                    });
                    ++inserted;
                    progress.report(gif::Stage::Running,
                                    settings.count > 0 ? inserted * 100 / settings.count : 100,
                                    gif::ProgressMessage::Converting);
                    return true;
                });
                progress.report(gif::Stage::Ending, 100, gif::ProgressMessage::Converting);
            },
            sink);
    } catch (const WorkCancelled&) {
        // Nothing of a cancelled effect stays.
        if (sink) sink(gif::Stage::Ending, 100, gif::ProgressMessage::Converting);
        animation.discard(std::move(macro));
        return 0;
    }
    // After an effect no frame is current; the animation is modified even when the
    // effect made no frame (an image count of 0).
    macro->after = FrameSelection{};
    animation.pushDone(std::move(macro));
    return inserted;
}

} // namespace vorlane::effects
