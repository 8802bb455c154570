// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Tools that change the order of the frames or their delays, never a pixel: reverse,
// yo-yo, keep every n-th frame, drop duplicates, change the speed, set the delay. Each
// returns a new image whose frames are the source's (the pictures shown at them) in the
// new order with the new delays, reusing the source frames' pixel buffers; a frame
// whose clear pixels would show a picture that came before it in the new order takes
// the disposal "restore to background" on the frame before it, so that every frame
// shows what it showed. The source stays as it was. On a cancel they throw Cancelled
// (ToolContext.h); on bad parameters, GifError.
//
// Delays are in hundredths of a second, 0..65535; sums beyond 65535 stay at 65535.

#include "codec/GifImage.h"
#include "tools/ToolContext.h"

namespace vorlane::tools {

// The frames (all, or those in `frames`) in the opposite order; with a set, the frames
// at its places take each other's places and the others stay.
gif::GifImage reverse(const gif::GifImage& source, const FrameSet& frames = std::nullopt,
                      const ToolContext& context = {});

// The frames, then the same frames backwards without repeating either end: 0 1 2 3
// becomes 0 1 2 3 2 1, so that playing it in a loop swings back and forth. One or two
// frames stay as they are. "Too many frames" when the result would exceed what a file
// may hold (ReadLimits::maxFrames).
gif::GifImage yoyo(const gif::GifImage& source, const ToolContext& context = {});

// Keeps frame 0, n, 2n, ... (n >= 1) of every run of consecutive frames in the set (all
// frames: one run); each kept frame's delay becomes the sum of its own and of the
// dropped frames after it that it stands for, so that the run lasts as long as before.
gif::GifImage keepEvery(const gif::GifImage& source, int n, const FrameSet& frames = std::nullopt,
                        const ToolContext& context = {});
// The number of frames keepEvery leaves.
size_t framesAfterKeepEvery(size_t frameCount, int n, const FrameSet& frames = std::nullopt);

// Drops each frame that shows exactly what the frame before it shows (both in the set),
// adding its delay to the frame it repeats.
gif::GifImage dedupe(const gif::GifImage& source, const FrameSet& frames = std::nullopt,
                     const ToolContext& context = {});
// The number of frames dedupe leaves (it compares the pictures, but builds nothing).
size_t framesAfterDedupe(const gif::GifImage& source, const FrameSet& frames = std::nullopt,
                         const ToolContext& context = {});

// Plays the frames at `percent` of their speed (1..100000; 200 is twice as fast): each
// delay d becomes scaledDelay(d, percent).
gif::GifImage changeSpeed(const gif::GifImage& source, int percent,
                          const FrameSet& frames = std::nullopt, const ToolContext& context = {});
// d * 100 / percent rounded half up, and not below 2, since browsers play delays of 0
// and 1 as 10. A delay of 0 or 1 stays as it is: it plays as 10 whatever it is scaled
// to below 2, and scaling it up to 2 or more would make a slowed animation faster.
int scaledDelay(int delay, int percent);

// Sets the delay of the frames (0..65535).
gif::GifImage setDelay(const gif::GifImage& source, int delay,
                       const FrameSet& frames = std::nullopt, const ToolContext& context = {});

} // namespace vorlane::tools
