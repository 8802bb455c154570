// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Playback order and timing of a running animation. A pure class: the widget that shows
// the animation owns the timer and asks this class which frame comes next and for how long.
//
// How a widget plays an image with it:
//   Playback playback(image);            // or load(image) after the frames changed
//   Compositor compositor(image);
//   paint compositor.picture(playback.frame()), call image.onAfterPaint,
//   start a single-shot timer of playback.displayMs() while playback.running();
//   on timeout: if (playback.advance()) paint and time the new frame, as above.
// Turning the animation switch off and on again is restart().

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "codec/GifImage.h"

namespace vorlane::gif {

class Playback {
public:
    // Display time of a frame with this delay in hundredths of a second: delays of 0 or
    // 1 play as 10, as web browsers do.
    static int displayMs(uint16_t delay);

    // How many times the animation is shown in all, none for forever, from the loop
    // record (NETSCAPE2.0 or ANIMEXTS1.0) on frame 0: count 0 repeats forever, count n
    // shows the animation n + 1 times, as Chromium does; without a loop record (or one
    // without a count) it is shown once.
    static std::optional<int> showings(const GifImage& image);

    Playback() = default;
    explicit Playback(const GifImage& image) { load(image); }

    // Takes the frame count, the delays and the loop count from the image (the image is
    // not kept) and restarts at frame 0.
    void load(const GifImage& image);
    // The same with the number of showings given (none for forever), for an image whose
    // loop setting is kept apart from its frames.
    void load(const GifImage& image, std::optional<int> showings);
    // Back to frame 0 of the first showing.
    void restart();

    size_t frameCount() const { return m_delays.size(); }
    // The frame on screen; 0 for an image without frames.
    size_t frame() const { return m_frame; }
    // How long the frame on screen stays, in milliseconds.
    int displayMs() const;
    // When the frame on screen is due to end, in milliseconds from the start of the run:
    // the sum of the display times of every frame shown so far. Browsers schedule each
    // frame on this timeline, so that late timers do not add up.
    long long endMs() const { return m_startMs + displayMs(); }
    // Which showing of the animation is running, from 0.
    int showing() const { return m_showing; }

    // Whether the animation still moves: more than one frame, and the last frame of the
    // last showing not reached.
    bool running() const;
    // Moves to the next frame once the current one has been shown for its time. Returns
    // whether the frame changed; after the last showing it stays on the last frame.
    bool advance();

private:
    std::vector<uint16_t> m_delays;
    std::optional<int> m_showings = 1;
    size_t m_frame = 0;
    int m_showing = 0;
    long long m_startMs = 0; // when the frame on screen started
};

} // namespace vorlane::gif
