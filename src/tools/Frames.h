// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the tools share: progress in steps, the frames as the pictures a viewer shows,
// the disposal codes that keep them so, records replaced rather than changed, and a
// loop over independent frames on several threads. Internal to the tools.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "codec/GifImage.h"
#include "tools/ToolContext.h"

namespace vorlane::tools::detail {

// Progress over `total` units of work, with the cancellation check.
class Steps {
public:
    explicit Steps(const ToolContext& context, size_t total = 0);
    // Throws Cancelled when the context says so.
    void check() const;
    bool cancelRequested() const { return m_context.cancelled && m_context.cancelled(); }
    // One unit more done (after checking for a cancel); reports a new percent. The
    // percent reported never falls, even when work is added later.
    void advance(size_t units = 1);
    // The same without the check.
    void record(size_t units);
    void addWork(size_t units) { m_total += units; }
    // Reports 100.
    void finish();

private:
    void report();

    const ToolContext& m_context;
    size_t m_total;
    size_t m_done = 0;
    int m_reported = -1;
};

// Runs work(index, worker) for every index in [0, count) on up to workerCount(count)
// threads, this one among them (worker 0); `worker` tells the caller's per-thread state
// apart. `steps` advances once per index, from this thread. A cancel or an exception
// stops every thread; it is thrown here once they all have stopped.
int workerCount(size_t count);
void parallelFor(size_t count, Steps& steps, const std::function<void(size_t index, int worker)>& work);

// Which of `count` frames the set holds (all without a set); throws GifError "Frame
// index out of range" for an index that names no frame.
std::vector<bool> selectedFrames(const FrameSet& frames, size_t count);

// The transparent index a frame's graphic control record sets, if any.
std::optional<uint8_t> transparentIndexOf(const gif::Frame& frame);

// The colour each index draws in frame i, 0xFFrrggbb (indices beyond the active table
// draw opaque black), and 0 for the frame's transparent index.
using DrawnColors = std::array<uint32_t, 256>;
DrawnColors drawnColors(const gif::GifImage& image, size_t i);

// Whether frame i covers the logical screen exactly, from (0, 0), with pixels.
bool isFull(const gif::GifImage& image, size_t i);

// A new image with the screen of w x h and everything of `source` but its frames:
// background, aspect, global table, transparent flag, reduction settings, trailing
// records (shared: records are never changed in place, only replaced).
gif::GifImage emptyLike(const gif::GifImage& source, int width, int height);

// A new image holding the same frames, which share their buffers and records.
gif::GifImage copyOf(const gif::GifImage& image);

// A new image of w x h (each at most 65535) whose frame i is frame i of `image` (all
// full frames) with the pixels make(old pixels, new pixels) writes, w x h of them, in
// place of its own; table and records stay. Frames that shared a buffer share the new
// one. The buffers are made on several threads, one unit of `steps` each.
gif::GifImage mapPixels(const gif::GifImage& image, int width, int height, Steps& steps,
                        const std::function<void(const gif::Bytes& from, uint8_t* to)>& make);

// The frame's graphic control values (every field 0 without a record).
gif::GraphicControl controlOf(const gif::Frame& frame);
// The frame with `control` in a new record in place of its old one (added when it had
// none), so that other frames and images sharing the old record keep it as it was.
gif::Frame withControl(const gif::Frame& frame, const gif::GraphicControl& control);
// The frame with its control's transparency set to `index` (or cleared).
gif::Frame withTransparency(const gif::Frame& frame, std::optional<uint8_t> index);

// Whether every frame is full and shows just its own pixels: its transparent pixels
// fall where the screen is clear, given the disposal of the frames before it. The tools
// work on such frames: their pixels and table are the picture a viewer shows.
bool showsOwnPictures(const gif::GifImage& image);

// For an image of full frames in any order: makes each frame whose transparent pixels
// would show an earlier picture clear the screen before it (the frame before takes
// disposal "restore to background"), and changes nothing else, so that every frame
// shows its own picture. Codes that already do are kept. With `steps`, one unit a frame.
void settleDisposals(gif::GifImage& image, Steps* steps = nullptr);

// The frames as the pictures a viewer shows: the image itself when it showsOwnPictures,
// else a new one whose frame i is the picture shown at frame i of the source (frames
// that already are keep their pixel buffers; others are composed and reduced to at most
// 256 colours, exactly when they fit), with settled disposals.
class ShownFrames {
public:
    // Adds the frames it has to make to `steps` (one unit each), before the caller adds
    // its own work.
    ShownFrames(const gif::GifImage& source, Steps& steps);
    const gif::GifImage& image() const { return m_made ? *m_made : m_source; }

private:
    const gif::GifImage& m_source;
    std::optional<gif::GifImage> m_made;
};

// The colour a new transparent entry gets: the colour the frame's own transparent
// entry had, else white; never the colour of another entry of `table`.
gif::Rgb transparentEntryColor(const gif::GifImage& image, size_t frame,
                               const gif::ColorTable& table, size_t entry);

} // namespace vorlane::tools::detail
