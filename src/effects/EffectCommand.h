// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The effect command: generates an effect's pictures from the current and previous
// frames, reduces each to a GIF palette and inserts it in front of the current frame
// with delay 0. The settings come from the effect settings dialog.

#include <QString>

#include "document/AnimationModel.h"
#include "document/BackgroundWork.h"
#include "effects/Transitions.h"

namespace vorlane {
namespace effects {

// What the effect settings dialog shows for an effect.
struct EffectTexts {
    QString title;
    QString description;
    bool direction = false;     // the direction list
    bool wipeDirection = false; // the wipe direction list
    bool color = false;         // the solid colour
};
EffectTexts effectTexts(Effect effect);

// The settings the dialog holds between effect commands.
struct EffectSettings {
    int count = 8; // the image count
    int direction = LeftToRight;
    int wipeDirection = WipeLeftToRight;
    QRgb color = qRgb(255, 255, 255);
};

// Whether the effect can run on frame `current` of the animation: any frame for the
// scroll, one after the first for the others.
bool effectAvailable(const AnimationModel& animation, int current, Effect effect);

// The name of the effect's step in the history ("Scroll effect").
QString effectStepName(Effect effect);

// Runs the effect after the dialog's OK, on the selection's current frame, as one step.
// Every generated picture is inserted at the current frame's position, so the animation
// shows them in reverse generation order, followed by the former current frame. A
// failure stops the generation silently and keeps what was inserted. Afterwards no
// frame is current, and the animation is modified, even when nothing was inserted. Does
// nothing when the effect is not available. Returns the number of frames inserted.
// The pictures are made on `work` (nullptr: on this thread), their progress to `sink`;
// a cancel takes back what was inserted and returns 0, leaving the animation as it was.
int runEffect(AnimationModel& animation, const FrameSelection& selection, Effect effect,
              const EffectSettings& settings, BackgroundWork* work = nullptr,
              const WorkProgress::Sink& sink = {});

} // namespace effects
} // namespace vorlane
