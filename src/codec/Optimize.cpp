// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec/Optimize.h"

#include <algorithm>
#include <string>
#include <vector>

#include "codec/OptimizeParts.h"

// Optimizing keeps what a viewer shows at every frame and makes the file smaller. Every
// step below is exact about the screen a frame is drawn over: the optimizer walks the
// frames as the compositor does (transparent start, "restore to background" clearing to
// transparent, 3 and 4 restoring, other codes keeping) and decides each change from the
// pixels actually on screen, so no rule of thumb about disposal codes or frame order can
// alter the picture. The effects, in order:
//
//  1. clean-up (first part): a transparent flag whose index no pixel uses is dropped; a
//     frame that clears or restores its rectangle keeps it instead (code 0) where the
//     next frame paints over every pixel that this changes;
//  2. merge: pixels that show the colour already on screen become transparent;
//  3. clean-up (second part): comments, plain text and other applications' records go,
//     and the loop record stays only on frame 0 of an animation;
//  4. crop: frames are cut to the part that changes the screen; frames that change
//     nothing become one transparent pixel when they last (delay, user input) or show a
//     picture of their own, and are removed otherwise, their records passing on;
//  5. colour tables and coding: every table holds only the colours its frames use, most
//     used first, one global table serves the frames it covers, and each pixel that may
//     be either transparent or its colour takes whichever the LZW coder codes shorter;
//  6. clean-up (third part): graphic control records that change nothing are removed.
//
// With every option given (the editor's optimized save), steps 1, 2 and 4 are done at
// once and more thoroughly by drawing every frame again from the picture it shows, its
// disposal and rectangle chosen afresh (OptimizeRedraw.cpp); the frame-by-frame steps serve other
// option sets and the rare animation that cannot be drawn that way.

namespace vorlane::gif {

namespace {

using namespace optimizer;

class Optimizer {
public:
    Optimizer(GifImage& image, const OptimizeOptions& options)
        : m_image(image), m_options(options), m_progress(image, ProgressMessage::Optimizing) {}

    void run() {
        attachGraphicControls();
        const bool reshaping = m_options.cleanup || m_options.merge || m_options.crop;
        const bool coding = m_options.colorTables || m_options.merge;
        // With every option the frames may be drawn again from the pictures they show,
        // choosing each frame's disposal and rectangle freely; the frame-by-frame steps
        // below remain for other option sets and for the rare animation whose pictures
        // need more colours at once than a frame can hold.
        const bool redrawing =
            m_options.cleanup && m_options.merge && m_options.crop && m_options.colorTables;
        if (redrawing && redrawFrames(m_image, m_progress, 0, 50, m_notes)) {
        } else if (reshaping) {
            reshapeFrames(m_image, m_options, m_progress, 0, coding ? 50 : 100, m_notes);
        }
        if (m_options.cleanup) dropRecords();
        if (m_options.crop) settleVanished();
        if (coding) codeFrames(m_image, m_options, m_progress, reshaping ? 50 : 0, 100);
        if (m_options.cleanup) dropIdleControls();
    }

private:
private:
    // A frame's graphic control record decides how it is shown; one that is not in the
    // frame's record list would not be written, so the file would show something else.
    void attachGraphicControls() {
        for (size_t i = 0; i < m_image.frameCount(); ++i) {
            Frame& f = m_image.frame(i);
            if (f.graphicControlRecord && std::find(f.extensions.begin(), f.extensions.end(),
                                                    f.graphicControlRecord) == f.extensions.end())
                f.extensions.push_back(f.graphicControlRecord);
        }
    }

    // ---- clean-up (second part): records that do not change the picture ----

    void dropRecords() {
        const size_t n = m_image.frameCount();
        // The loop record that counts is the first one; an animation keeps it on frame 0,
        // moved there when it stood later, where viewers would still have honoured it.
        ExtensionPtr loop;
        for (size_t i = 0; i < n && !loop; ++i)
            for (const ExtensionPtr& record : m_image.frame(i).extensions)
                if (record->isLoop()) {
                    loop = record;
                    break;
                }
        for (const ExtensionPtr& record : m_image.trailingExtensions)
            if (!loop && record->isLoop()) loop = record;
        if (n < 2) loop.reset();

        for (size_t i = 0; i < n; ++i) {
            Frame& f = m_image.frame(i);
            std::erase_if(f.extensions, [&](const ExtensionPtr& record) {
                return record != f.graphicControlRecord && !(i == 0 && record == loop);
            });
        }
        m_image.trailingExtensions.clear();
        if (loop && (n == 0 || m_image.frame(0).extensions.empty() ||
                     m_image.frame(0).extensions.front() != loop)) {
            ExtensionList& first = m_image.frame(0).extensions;
            std::erase(first, loop);
            first.insert(first.begin(), loop);
        }
        dropEmptyFrames();
    }

    // Frames with neither pixels nor records show nothing and take no time.
    void dropEmptyFrames() {
        for (size_t i = m_image.frameCount(); i-- > 0 && m_image.frameCount() > 1;) {
            const Frame& f = m_image.frame(i);
            if (!f.hasPixels() && f.extensions.empty() && !f.graphicControlRecord) {
                m_image.deleteFrame(i);
                if (i < m_notes.size()) m_notes.erase(m_notes.begin() + ptrdiff_t(i));
            }
        }
    }

    // ---- crop, second half: frames that change nothing ----

    // A frame that changes nothing on screen and shows the same picture as the frame
    // before it goes when it takes no time, or when its delay can be added to that frame's
    // (see canTakeDelay); otherwise (it waits for input, shows a picture of its own since
    // the frame before was disposed of, or is all that is left) it becomes one transparent
    // pixel at (0, 0). Records of a frame that goes, other than its graphic control, pass
    // to the next frame that stays, in order before that frame's own, or after the last
    // frame; so the loop record of a removed frame 0 stays first on the new frame 0.
    void settleVanished() {
        const size_t n = m_image.frameCount();
        if (m_notes.size() != n) return;
        std::vector<bool> remove(n, false);
        size_t removed = 0;
        GraphicControl* lastKept = nullptr; // of the last frame that stays, if it has one
        for (size_t i = 0; i < n; ++i) {
            GraphicControl* gc = m_image.frame(i).graphicControl();
            if (m_notes[i].vanished && m_notes[i].sameAsBefore && !(gc && gc->userInput)) {
                const uint16_t delay = gc ? gc->delay : 0;
                if (delay == 0) {
                    remove[i] = true;
                } else if (lastKept && canTakeDelay(*lastKept, delay)) {
                    // The same picture stays as long: the frame before shows it for both.
                    lastKept->delay = uint16_t(lastKept->delay + delay);
                    remove[i] = true;
                }
            }
            if (remove[i])
                ++removed;
            else
                lastKept = gc;
        }
        if (removed == n && n > 0) {
            remove[0] = false;
            --removed;
        }
        if (removed == 0) {
            for (size_t i = 0; i < n; ++i)
                if (m_notes[i].vanished) makeDot(i);
            m_notes.clear();
            return;
        }

        std::vector<Frame> kept;
        kept.reserve(n - removed);
        ExtensionList carried;
        for (size_t i = 0; i < n; ++i) {
            Frame& f = m_image.frame(i);
            if (remove[i]) {
                for (const ExtensionPtr& record : f.extensions)
                    if (!record->isGraphicControl()) carried.push_back(record);
                continue;
            }
            if (m_notes[i].vanished) makeDot(i);
            if (!carried.empty()) {
                f.extensions.insert(f.extensions.begin(), carried.begin(), carried.end());
                carried.clear();
            }
            kept.push_back(std::move(f));
        }
        m_image.trailingExtensions.insert(m_image.trailingExtensions.begin(), carried.begin(),
                                          carried.end());
        m_image.clearFrames();
        for (Frame& f : kept)
            m_image.appendFrame(std::move(f));
        m_notes.clear();
    }

    // Whether a frame showing a picture for `delay` may also show it for the next
    // frame's delay. Delays of 0 and 1 hundredths play as 10 in browsers (and in this
    // program), so adding to or from one would change how long the picture shows; a
    // frame that waits for input would wait longer.
    static bool canTakeDelay(const GraphicControl& gc, uint16_t delay) {
        return !gc.userInput && gc.delay >= 2 && delay >= 2 && uint32_t(gc.delay) + delay <= 0xFFFF;
    }

    void makeDot(size_t i) {
        Frame& f = m_image.frame(i);
        GraphicControl& control = controlOf(m_image, i);
        control.transparent = true;
        control.transparentIndex = 0;
        // Clearing the dot's pixel is harmless only where the screen shows nothing there.
        if (Compositor::disposalOf(f) == Disposal::Clear && m_notes[i].originOpaque)
            control.disposal = disposal::Unspecified;
        f.left = 0;
        f.top = 0;
        f.setPixels(1, 1, Bytes{0});
        if (m_image.activeColors(i).empty()) f.setLocalColors({Black});
    }

    // ---- clean-up (third part) ----

    // A graphic control record that asks for nothing a frame without one would not do
    // is removed: no delay (or a single frame, which is never timed), no transparency, no
    // wait for input, and a disposal that leaves the picture (or a single frame, after
    // which nothing is drawn).
    void dropIdleControls() {
        const size_t n = m_image.frameCount();
        for (size_t i = 0; i < n; ++i) {
            Frame& f = m_image.frame(i);
            const GraphicControl* gc = f.graphicControl();
            if (!gc) continue;
            const bool idle = (gc->delay == 0 || n == 1) && !gc->transparent && !gc->userInput &&
                              (gc->disposal < disposal::Background || n == 1);
            if (idle) {
                std::erase(f.extensions, f.graphicControlRecord);
                f.graphicControlRecord.reset();
            }
        }
        if (n == 1)
            std::erase_if(m_image.frame(0).extensions,
                          [](const ExtensionPtr& record) { return record->isLoop(); });
        dropEmptyFrames();
    }

    GifImage& m_image;
    const OptimizeOptions& m_options;
    ProgressScope m_progress;
    std::vector<FrameNote> m_notes; // from reshaping or redrawing to settleVanished()
};

} // namespace

void optimize(GifImage& image, const OptimizeOptions& options) {
    if (uint64_t(image.screenWidth) * image.screenHeight > MaxOptimizedScreenPixels)
        throw GifLimitError("Logical screen too large to optimize: more than " +
                            std::to_string(MaxOptimizedScreenPixels) + " pixels");
    Optimizer(image, options).run();
}

} // namespace vorlane::gif
