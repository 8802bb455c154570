// SPDX-License-Identifier: GPL-3.0-or-later
#include "effects/EffectCommand.h"

#include "codec/ColorReduction.h"
#include "codec/GifImage.h"
#include "document/Document.h"
#include "editing/FrameEditor.h"

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

bool effectAvailable(const Document& document, Effect effect) {
    const int p = document.currentFrame();
    if (!document.hasImage() || p < 0 || p >= document.frameCount()) return false;
    return effect == Effect::Scroll || p > 0;
}

int runEffect(Document& document, Effect effect, const EffectSettings& settings) {
    if (!effectAvailable(document, effect)) return 0;
    gif::GifImage& gif = *document.image();
    const int p = document.currentFrame();

    TransitionInput input;
    input.count = settings.count;
    input.direction = settings.direction;
    input.wipeDirection = settings.wipeDirection;
    input.color = settings.color;
    // Copies: the inserted frames move the current frame, and the own pictures are
    // cached per frame.
    try {
        input.current = gif.ownPicture(size_t(p)).copy();
        if (p > 0) input.previous = gif.ownPicture(size_t(p - 1)).copy();
    } catch (const gif::GifError&) {
        input.current = {};
    }

    // Each picture is reduced and inserted as soon as it is made, so only one generated
    // picture lives at a time; one reducer serves them all.
    gif::ColorReducer reducer;
    const auto firstRecords = FrameEditor::firstFrameRecords(gif);
    int inserted = 0;
    generate(effect, input, [&](const QImage& picture) {
        try {
            const QImage reduced = reducer.reduce(picture, gif::Dither::Nearest);
            if (reduced.isNull()) return false;
            FrameEditor::InsertImage(gif, reduced, 0, p);
            ++inserted;
            return true;
        } catch (const gif::GifError&) {
            return false;
        } catch (const std::bad_alloc&) {
            return false;
        }
    });

    // The scroll may have put new frames in front of frame 0: the loop record and the
    // comments move to the new first frame (the comment is written there at Save).
    FrameEditor::keepOnFirstFrame(gif, firstRecords);
    // Also after a failure part-way: the first frame must not be left without the loop
    // record that the old one carried.
    if (effect == Effect::Scroll && inserted > 0) document.makeloopongif();
    document.ren();
    document.changed();
    return inserted;
}

} // namespace vorlane::effects
