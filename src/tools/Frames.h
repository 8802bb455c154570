// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the tools share: progress in steps, the frames as the pictures a viewer shows,
// the disposal codes that keep them so, records replaced rather than changed, and a
// loop over independent frames on several threads. Internal to the tools.

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <QRect>

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
    // Work the later phases will add, counted from now on, so that an early phase (the
    // frames composed, the changes found) does not report 100 % while most of the work is
    // still to come; each addWork takes its units from it first. What is left of it goes
    // at finish().
    void reserve(size_t units) { m_reserved += units; }
    void addWork(size_t units) {
        m_reserved -= std::min(units, m_reserved);
        m_total += units;
    }
    // Reports 100.
    void finish();

private:
    void report();

    const ToolContext& m_context;
    size_t m_total;
    size_t m_reserved = 0;
    size_t m_done = 0;
    int m_reported = -1;
};

// Runs work(index, worker) for every index in [0, count) on up to workerCount(count)
// threads, this one among them (worker 0); `worker` tells the caller's per-thread state
// apart. work returns the units of `steps` it did, which advance from this thread. A
// cancel or an exception (Cancelled from work included) stops every thread; it is
// thrown here once they all have stopped.
int workerCount(size_t count);
void parallelFor(size_t count, Steps& steps,
                 const std::function<size_t(size_t index, int worker)>& work);

// Frames are made in runs: the first of a run whole, each later one from the one before
// it where only part of the picture changed, as composing does. A frame that changed
// in more than half its pixels starts a run (it is made whole anyway), a run ends once
// its frames' changes add up to twice the picture (what a resize keeps of a run stays
// within three pictures), and no run is longer than RunLength, so that runs can share
// out over the threads. The content, not the threads, decides the runs, so that a
// result is the same on every machine.
inline constexpr size_t RunLength = 32;
struct Run {
    size_t first = 0;
    size_t end = 0;
};
// What changed from one frame to the next: a rectangle for each band of rows that
// changed (bands of ChangeBand rows, in order), so that two sprites far apart do not
// make the whole picture between them count as changed.
inline constexpr int ChangeBand = 16;
using Region = std::vector<QRect>;
// Whether a change is small enough for a frame to be made from the one before: less
// than half the picture.
bool isPartial(const Region& change, QSize size);
// The runs of `count` items, given what changed from each item to the next (changes[k]
// from item k - 1 to item k; changes[0] is not read) in a picture of `size`.
std::vector<Run> runsOf(const std::vector<Region>& changes, QSize size);

// work(run, worker) for each run, on several threads; one unit of `steps` an item. work
// should throw Cancelled between its items when steps.cancelRequested().
void forEachRun(const std::vector<Run>& runs, Steps& steps,
                const std::function<void(const Run& run, int worker)>& work);

// change(k) for every k in [1, count), on several threads, one unit of `steps` each;
// element 0 of the result is empty.
std::vector<Region> changesOf(size_t count, Steps& steps,
                              const std::function<Region(size_t k)>& change);

// Where the two full frames of a screen of w x h hold other indices; empty when they
// are the same everywhere.
Region changedIndices(const gif::Frame& a, const gif::Frame& b, int width, int height);
// Where frames a and b of the image (full frames) show other colours, whatever their
// tables.
Region changedColors(const gif::GifImage& image, size_t a, size_t b);

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

// Writes into `to` (the new picture) the pixels that come from the source pixels of
// `from` inside `changed`.
using PixelMap = std::function<void(const gif::Bytes& from, uint8_t* to, const QRect& changed)>;

// A new image of w x h (each at most 65535) whose frame i is frame i of `image` (all
// full frames) with the pixels `map` makes in place of its own; table and records stay.
// Frames that shared a buffer share the new one. Each frame is made from the one before
// it where only part changed (see RunLength), on several threads, one unit of `steps`
// each buffer.
gif::GifImage mapPixels(const gif::GifImage& image, int width, int height, Steps& steps,
                        const PixelMap& map);

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

// The colour a new transparent entry of frame i would rather have: the colour its own
// transparent entry has, else white.
gif::Rgb preferredClearColor(const gif::GifImage& image, size_t frame);
// That colour, or another when an entry of `table` other than `entry` holds it.
gif::Rgb transparentEntryColor(const gif::GifImage& image, size_t frame,
                               const gif::ColorTable& table, size_t entry);

} // namespace vorlane::tools::detail
