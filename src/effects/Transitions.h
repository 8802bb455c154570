// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Transition generators: the pictures that lead from the previous frame (or, for the
// scroll, from a solid colour) into the current frame. Pure functions of their inputs;
// inserting the pictures into an animation is the effect command's business.

#include <functional>

#include <QImage>
#include <QRgb>

namespace vorlane::effects {

enum class Effect { Scroll, Replacement, Wipe, Fade, SeparationV, SeparationH };

// Directions of the scroll and the replacement.
enum Direction { LeftToRight = 0, RightToLeft = 1, TopToBottom = 2, BottomToTop = 3 };
// Directions of the wipe.
enum WipeDirection { WipeLeftToRight = 0, WipeTopToBottom = 1 };

struct TransitionInput {
    int count = 8; // the image count N
    int direction = LeftToRight;
    int wipeDirection = WipeLeftToRight;
    QRgb color = qRgb(255, 255, 255); // the scroll's solid colour
    // Own pictures (8-bit palette pictures at the frames' own sizes). The current
    // picture's size is the W x H every effect measures; the previous picture is not
    // used by the scroll.
    QImage current;
    QImage previous;
};

// Receives each generated picture as soon as it is made, in generation order; returning
// false stops the generation. Pictures are full-colour (QImage::Format_RGB32) or 8-bit
// copies of an own picture holding its palette.
using PictureSink = std::function<bool(const QImage& picture)>;

// Generates the effect's pictures in generation order. The command inserts each one at
// the same position, so the animation shows them in reverse order before the current
// frame. Nothing is generated when the step size is undefined (count 0 for scroll,
// replacement and wipe; count below 1 for the separations). Returns false when a picture
// could not be made or the sink stopped the generation.
bool generate(Effect effect, const TransitionInput& input, const PictureSink& sink);

// The image count from the effect delay (1/100 s) and the image rate (images per
// second): delay x rate / 100, halves to even.
int imageCount(int delay, int rate);

} // namespace vorlane::effects
