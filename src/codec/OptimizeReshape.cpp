// SPDX-License-Identifier: GPL-3.0-or-later
// The frame-by-frame steps of optimizing: clean-up of disposal and transparency, merge,
// and the measuring half of crop, for option sets other than the optimized save's and
// for the animations that cannot be drawn again from their pictures.

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "codec/OptimizeParts.h"

namespace vorlane::gif::optimizer {

namespace {

class Reshaper {
public:
    Reshaper(GifImage& image, const OptimizeOptions& options, ProgressScope& progress,
             std::vector<FrameNote>& notes)
        : m_image(image), m_options(options), m_progress(progress), m_notes(notes) {}

public:
    void reshape(int from, int to) {
        const size_t n = m_image.frameCount();
        m_notes.assign(n, FrameNote{});
        Screen screen(m_image.screenWidth, m_image.screenHeight);
        bool disposalChanged = false; // the previous frame's disposal changed the screen
        for (size_t i = 0; i < n; ++i) {
            m_progress.running(i, n, from, to);
            Frame& f = m_image.frame(i);
            m_notes[i].originOpaque = screen.originOpaque();
            m_notes[i].sameAsBefore = !disposalChanged;
            disposalChanged = false;
            if (!f.hasPixels()) {
                m_notes[i].vanished = m_options.crop;
                continue;
            }
            GraphicControl* gc = f.graphicControl();
            if (m_options.cleanup && gc && gc->transparent &&
                std::find(f.pixels().begin(), f.pixels().end(), gc->transparentIndex) ==
                    f.pixels().end())
                gc->transparent = false;

            Palette palette = paletteOf(m_image, i);
            screen.keepUnder(f);
            Disposal disposal = Compositor::disposalOf(f);
            if (m_options.cleanup && disposal != Disposal::Keep && i + 1 < n &&
                keepingShowsTheSame(i, palette, disposal, screen)) {
                gc->disposal = disposal::Unspecified;
                disposal = Disposal::Keep;
            }
            if (m_options.merge && merge(i, palette, screen)) palette = paletteOf(m_image, i);
            if (m_options.crop) {
                const Box need = neededBox(f, palette, disposal, screen);
                if (need.empty()) {
                    // Nothing drawn changes the screen and the disposal changes nothing
                    // either, so the screen stays as it is.
                    m_notes[i].vanished = true;
                    continue;
                }
                cut(f, need);
            }
            disposalChanged = screen.step(f, palette, disposal);
        }
    }

private:
    // Whether frame i may leave its picture in place (code 0) instead of clearing or
    // restoring its rectangle: every pixel where that would leave something else on
    // screen must be painted over by the next frame, and the next frame must not restore
    // what it was drawn over (that would bring the difference back).
    bool keepingShowsTheSame(size_t i, const Palette& palette, Disposal disposal,
                             const Screen& screen) const {
        const Frame& f = m_image.frame(i);
        const Frame& g = m_image.frame(i + 1);
        const bool nextCanHide = g.hasPixels() && Compositor::disposalOf(g) != Disposal::Restore;
        const Palette next = nextCanHide ? paletteOf(m_image, i + 1) : Palette{};
        const Box nextBox = frameBox(g);
        const Box& vis = screen.kept();
        for (int y = vis.y0; y < vis.y1; ++y) {
            const uint8_t* src =
                f.pixels().data() + size_t(y - f.top) * f.width() + size_t(vis.x0 - f.left);
            const uint32_t* under = screen.underRow(y);
            for (int x = vis.x0; x < vis.x1; ++x) {
                const uint32_t v = palette[src[x - vis.x0]];
                const uint32_t u = under[x - vis.x0];
                // After clearing the pixel is transparent, after restoring it is u; kept,
                // it is what the frame showed.
                const bool differs =
                    disposal == Disposal::Clear ? (v != 0 || u != 0) : (v != 0 && v != u);
                if (!differs) continue;
                if (!nextCanHide || !nextBox.contains(x, y)) return false;
                if (next[g.pixels()[size_t(y - g.top) * g.width() + size_t(x - g.left)]] == 0)
                    return false;
            }
        }
        return true;
    }

    // Makes the pixels of frame i that repeat the screen under them (and those off the
    // screen) transparent. Needs an index that no remaining pixel uses: the frame's
    // transparent index, else the first free one, added to the table when it lies beyond
    // it. A frame that needs all 256 indices for its colours stays as it is. Returns
    // whether the frame changed.
    bool merge(size_t i, const Palette& palette, const Screen& screen) {
        Frame& f = m_image.frame(i);
        const int w = f.width();
        const int h = f.height();
        const Box& vis = screen.kept();
        m_keep.assign(size_t(w) * size_t(h), 0);
        std::array<bool, 256> used{};
        bool anyLoose = false;
        const uint8_t* pixels = f.pixels().data();
        for (int fy = 0; fy < h; ++fy) {
            const int y = f.top + fy;
            if (y < vis.y0 || y >= vis.y1) {
                anyLoose = true;
                continue;
            }
            const uint32_t* under = screen.underRow(y);
            const uint8_t* row = pixels + size_t(fy) * w;
            uint8_t* keep = m_keep.data() + size_t(fy) * w;
            for (int fx = 0; fx < w; ++fx) {
                const int x = f.left + fx;
                if (x >= vis.x1) {
                    anyLoose = true;
                    break;
                }
                const uint32_t v = palette[row[fx]];
                if (v == 0) continue;
                if (v == under[x - vis.x0]) {
                    anyLoose = true;
                    continue;
                }
                keep[fx] = 1;
                used[row[fx]] = true;
            }
        }
        if (!anyLoose) return false;

        const GraphicControl* gc = f.graphicControl();
        int key = gc && gc->transparent ? gc->transparentIndex : -1;
        for (int k = 0; key < 0 && k < 256; ++k)
            if (!used[size_t(k)]) key = k;
        if (key < 0) return false;
        padTable(m_image, i, size_t(key) + 1);

        Bytes merged(f.pixels());
        for (size_t k = 0; k < merged.size(); ++k)
            if (!m_keep[k]) merged[k] = uint8_t(key);
        f.setPixels(uint16_t(w), uint16_t(h), std::move(merged));
        GraphicControl& control = controlOf(m_image, i);
        control.transparent = true;
        control.transparentIndex = uint8_t(key);
        return true;
    }

    // The part of the frame that crop must keep: every visible pixel that changes the
    // screen (with merge, those that only repeat it are left out even when no
    // transparent index was free for them), and for a frame that clears its rectangle
    // afterwards, everything on screen there, which the smaller rectangle must still clear.
    Box neededBox(const Frame& f, const Palette& palette, Disposal disposal,
                  const Screen& screen) const {
        const Box& vis = screen.kept();
        Bounds bounds;
        for (int y = vis.y0; y < vis.y1; ++y) {
            const uint8_t* src =
                f.pixels().data() + size_t(y - f.top) * f.width() + size_t(vis.x0 - f.left);
            const uint32_t* under = screen.underRow(y);
            int first = -1;
            int last = -1;
            for (int x = 0; x < vis.width(); ++x) {
                const uint32_t v = palette[src[x]];
                const uint32_t u = under[x];
                const bool needed = disposal == Disposal::Clear
                                        ? (v != 0 || u != 0)
                                        : (v != 0 && (!m_options.merge || v != u));
                if (needed) {
                    if (first < 0) first = x;
                    last = x;
                }
            }
            if (first >= 0) bounds.addRow(y, vis.x0 + first, vis.x0 + last + 1);
        }
        return bounds.box();
    }

    static void cut(Frame& f, const Box& box) {
        if (box == frameBox(f)) return;
        Bytes pixels(size_t(box.width()) * size_t(box.height()));
        for (int y = box.y0; y < box.y1; ++y)
            std::memcpy(pixels.data() + size_t(y - box.y0) * box.width(),
                        f.pixels().data() + size_t(y - f.top) * f.width() + size_t(box.x0 - f.left),
                        size_t(box.width()));
        f.left = uint16_t(box.x0);
        f.top = uint16_t(box.y0);
        f.setPixels(uint16_t(box.width()), uint16_t(box.height()), std::move(pixels));
    }

    GifImage& m_image;
    const OptimizeOptions& m_options;
    ProgressScope& m_progress;
    std::vector<FrameNote>& m_notes;
    Bytes m_keep; // scratch: which pixels of the frame merge keeps
};

} // namespace

void reshapeFrames(GifImage& image, const OptimizeOptions& options, ProgressScope& progress,
                   int from, int to, std::vector<FrameNote>& notes) {
    Reshaper(image, options, progress, notes).reshape(from, to);
}

} // namespace vorlane::gif::optimizer
