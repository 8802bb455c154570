// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing every frame again from the picture it shows: the optimized save's way, which
// chooses each frame's rectangle and disposal afresh.

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "codec/OptimizeParts.h"

namespace vorlane::gif::optimizer {

namespace {

// Warnings when the frames cannot be drawn again from their pictures.
constexpr const char* ColorsWarning =
    "Optimized frame by frame: a frame needs more colours than a colour table holds";
constexpr const char* FaultWarning = "Optimized frame by frame: the redrawn screen went astray";

class Redrawer {
public:
    Redrawer(GifImage& image, ProgressScope& progress, std::vector<FrameNote>& notes)
        : m_image(image), m_progress(progress), m_notes(notes) {}

    // Frame i must turn the screen it is drawn over (B, as the new frames leave it) into
    // the picture the original shows at frame i (T). It draws the pixels where the two
    // differ; where they agree it draws nothing. Its disposal is chosen so that the
    // screen it leaves suits the next picture (U): nothing may stay opaque where U is
    // transparent, since no frame can make a pixel transparent. Of the disposals that
    // allow this, the one with the smallest rectangles for this frame and the next wins:
    //  - keep: leaves T; possible when U is transparent only where T is;
    //  - clear: leaves T with the frame's rectangle transparent; the rectangle grows to
    //    take in every pixel that U needs transparent;
    //  - restore: leaves B; possible when U is transparent only where B is.
    // The original's disposal codes and rectangles play no part beyond ties, which is
    // what lets a frame that cleared the whole screen clear only what must go.

    struct Plan {
        Box box; // empty: the frame changes nothing
        Bytes pixels;
        ColorTable colors; // local table: the colours drawn, most used first, then the key
        int key = -1;
        Disposal disposal = Disposal::Keep;
    };

    // Redrawing gives way to the frame-by-frame steps: a frame would need more colours
    // than one table holds, or (a fault of this code, should it ever happen) the screen
    // would show something where the picture is transparent.
    struct GiveWay {
        const char* reason;
    };

    // Draws original frame i onto `canvas`, keeping aside what it covered in `under`
    // (over `box`, the frame's visible rectangle); `changed` grows by the pixels whose
    // colour changed.
    void drawOriginal(size_t i, std::vector<uint32_t>& canvas, std::vector<uint32_t>& under,
                      Box& box, Bounds& changed) const {
        const Frame& f = m_image.frame(i);
        const int width = m_image.screenWidth;
        box = Box{};
        if (!f.hasPixels()) return;
        box = frameBox(f);
        box.x1 = std::min<int>(box.x1, width);
        box.y1 = std::min<int>(box.y1, m_image.screenHeight);
        if (box.empty()) {
            box = Box{};
            return;
        }
        const Palette palette = paletteOf(m_image, i);
        // Only a frame that restores what it covered needs a copy of it.
        const bool restores = Compositor::disposalOf(f) == Disposal::Restore;
        if (restores) under.resize(size_t(box.width()) * size_t(box.height()));
        const size_t bands = bandCount(box.y0, box.y1, box.width());
        std::vector<Bounds> found(bands);
        forBands(box.y0, box.y1, bands, [&](size_t band, int y0, int y1) {
            for (int y = y0; y < y1; ++y) {
                uint32_t* dst = canvas.data() + size_t(y) * width + box.x0;
                if (restores)
                    std::memcpy(under.data() + size_t(y - box.y0) * box.width(), dst,
                                size_t(box.width()) * 4);
                const uint8_t* src = f.pixels().data() + size_t(y - f.top) * f.width();
                int first = -1;
                int last = -1;
                for (int x = 0; x < box.width(); ++x) {
                    const uint32_t v = palette[src[x]];
                    if (v != 0 && v != dst[x]) {
                        dst[x] = v;
                        if (first < 0) first = x;
                        last = x;
                    }
                }
                if (first >= 0) found[band].addRow(y, box.x0 + first, box.x0 + last + 1);
            }
        });
        for (const Bounds& b : found)
            changed.addBox(b.box());
    }

    void disposeOriginal(size_t i, std::vector<uint32_t>& canvas,
                         const std::vector<uint32_t>& under, const Box& box,
                         Bounds& changed) const {
        const Disposal d = Compositor::disposalOf(m_image.frame(i));
        if (d == Disposal::Keep || box.empty()) return;
        const int width = m_image.screenWidth;
        const size_t bands = bandCount(box.y0, box.y1, box.width());
        std::vector<Bounds> found(bands);
        forBands(box.y0, box.y1, bands, [&](size_t band, int y0, int y1) {
            for (int y = y0; y < y1; ++y) {
                uint32_t* dst = canvas.data() + size_t(y) * width + box.x0;
                // `under` holds the rectangle only for a restore.
                const uint32_t* old = d == Disposal::Clear
                                          ? nullptr
                                          : under.data() + size_t(y - box.y0) * box.width();
                int first = -1;
                int last = -1;
                for (int x = 0; x < box.width(); ++x) {
                    const uint32_t v = old ? old[x] : 0u;
                    if (v != dst[x]) {
                        dst[x] = v;
                        if (first < 0) first = x;
                        last = x;
                    }
                }
                if (first >= 0) found[band].addRow(y, box.x0 + first, box.x0 + last + 1);
            }
        });
        for (const Bounds& b : found)
            changed.addBox(b.box());
    }

    // What one choice of disposal costs: this frame's rectangle and what the next frame
    // would have to draw. Changed pixels cost the most; a rectangle's transparent pixels
    // code in long cheap runs, so its area counts for a little (1/AreaShare per pixel).
    struct Outcome {
        static constexpr uint64_t AreaShare = 16;
        bool possible = true;
        Box own;          // this frame's rectangle
        Bounds next;      // the pixels the next frame must change ...
        uint64_t changes; // ... and how many there are
        uint64_t cost() const {
            const Box b = next.box();
            const uint64_t area =
                uint64_t(own.width()) * own.height() + uint64_t(b.width()) * b.height();
            return changes + area / AreaShare;
        }
    };

    // Inside a rectangle about to be cleared, how many more pixels the next picture then
    // needs drawn than after keeping: its opaque pixels, less those that differed anyway.
    uint64_t changesInside(const Box& box, const std::vector<uint32_t>& target,
                           const std::vector<uint32_t>& next) const {
        const int width = m_image.screenWidth;
        const size_t bands = bandCount(box.y0, box.y1, box.width());
        std::vector<std::pair<uint64_t, uint64_t>> sums(bands); // opaque, differing
        forBands(box.y0, box.y1, bands, [&](size_t band, int y0, int y1) {
            uint64_t opaque = 0;
            uint64_t differing = 0;
            for (int y = y0; y < y1; ++y) {
                const uint32_t* t = target.data() + size_t(y) * width;
                const uint32_t* u = next.data() + size_t(y) * width;
                for (int x = box.x0; x < box.x1; ++x) {
                    opaque += u[x] != 0;
                    differing += t[x] != u[x];
                }
            }
            sums[band] = {opaque, differing};
        });
        uint64_t opaque = 0;
        uint64_t differing = 0;
        for (const auto& [o, d] : sums) {
            opaque += o;
            differing += d;
        }
        return opaque - std::min(opaque, differing);
    }

    static void copyBox(std::vector<uint32_t>& to, const std::vector<uint32_t>& from,
                        const Box& box, int width) {
        forBands(
            box.y0, box.y1, bandCount(box.y0, box.y1, box.width()), [&](size_t, int y0, int y1) {
                for (int y = y0; y < y1; ++y)
                    std::memcpy(to.data() + size_t(y) * width + box.x0,
                                from.data() + size_t(y) * width + box.x0, size_t(box.width()) * 4);
            });
    }

    // Work stays within the parts of the screen that change: T(i) and T(i + 1) differ
    // only inside `changed` (tracked while the original frames are drawn), and the new
    // screen differs from T(i) only inside `behind` (what the previous new frame left
    // different from the picture it showed, plus what changed since).
public:
    bool redraw(int from, int to) {
        const size_t n = m_image.frameCount();
        const int width = m_image.screenWidth;
        const int height = m_image.screenHeight;
        const size_t area = size_t(width) * size_t(height);
        std::vector<Plan> plans(n);
        std::vector<bool> sameAsBefore(n, true); // T(i) is T(i - 1), or blank for frame 0
        std::vector<uint32_t> target(area, 0);   // T(i)
        std::vector<uint32_t> next(area, 0);     // T(i + 1); before that, T(i - 1)
        std::vector<uint32_t> screen(area, 0);   // B: what the new frames leave on screen
        std::vector<uint32_t> underNow;
        std::vector<uint32_t> underNext;
        Box boxNow;
        Box boxNext;
        Bounds changedBefore; // where T(i - 1) and T(i) differ
        Bounds behind;        // where the new screen and T(i) may differ
        try {
            if (n > 0) drawOriginal(0, target, underNow, boxNow, changedBefore);
            behind = changedBefore;
            for (size_t i = 0; i < n; ++i) {
                m_progress.running(i, n, from, to);
                const bool last = i + 1 == n;
                Bounds changed; // where T(i) and T(i + 1) differ
                if (!last) {
                    copyBox(next, target, changedBefore.box(), width);
                    disposeOriginal(i, next, underNow, boxNow, changed);
                    drawOriginal(i + 1, next, underNext, boxNext, changed);
                }
                sameAsBefore[i] = changedBefore.box().empty();
                Bounds scan = behind;
                scan.addBox(changed.box());
                plans[i] = planFrame(i, last, scan.box(), screen, target, next);
                // The screen the frame leaves: T where it was drawn, then its disposal.
                const Plan& plan = plans[i];
                behind = Bounds{};
                if (!plan.box.empty()) {
                    if (plan.disposal == Disposal::Restore) {
                        behind.addBox(plan.box);
                    } else if (plan.disposal == Disposal::Clear) {
                        for (int y = plan.box.y0; y < plan.box.y1; ++y)
                            std::fill_n(screen.data() + size_t(y) * width + plan.box.x0,
                                        plan.box.width(), 0u);
                        behind.addBox(plan.box);
                    } else {
                        copyBox(screen, target, plan.box, width);
                    }
                }
                behind.addBox(changed.box());
                changedBefore = changed;
                target.swap(next);
                underNow.swap(underNext);
                std::swap(boxNow, boxNext);
            }
        } catch (const GiveWay& e) {
            m_image.warn(e.reason);
            return false;
        }
        applyPlans(plans, sameAsBefore);
        return true;
    }

private:
    Plan planFrame(size_t i, bool last, const Box& scan, const std::vector<uint32_t>& screen,
                   const std::vector<uint32_t>& target, const std::vector<uint32_t>& next) {
        const int width = m_image.screenWidth;
        // One pass over the part of the screen that changes finds the pixels the frame must
        // draw (B differs from T), those the next picture needs transparent (T opaque, U
        // not), and what the next frame would draw after keeping (T differs from U) or
        // restoring (B differs from U); restoring is impossible where B is opaque and U
        // is not. What it would draw after clearing is taken as what it would draw after
        // keeping, plus whatever U shows inside the cleared rectangle: a little more than
        // that in places, which only matters to the choice between the two.
        struct Found {
            Bounds must;
            Bounds clearing;
            Bounds afterKeep;
            Bounds afterRestore;
            Bounds nextOpaque;
            uint64_t keepChanges = 0;
            uint64_t restoreChanges = 0;
            bool restorable = true;
        };
        const size_t bands = bandCount(scan.y0, scan.y1, scan.width());
        std::vector<Found> found(bands);
        forBands(scan.y0, scan.y1, bands, [&](size_t band, int y0, int y1) {
            Found& o = found[band];
            for (int y = y0; y < y1; ++y) {
                const uint32_t* b = screen.data() + size_t(y) * width;
                const uint32_t* t = target.data() + size_t(y) * width;
                const uint32_t* u = next.data() + size_t(y) * width;
                int m0 = -1, m1 = -1, c0 = -1, c1 = -1, k0 = -1, k1 = -1, r0 = -1, r1 = -1, o0 = -1,
                    o1 = -1;
                for (int x = scan.x0; x < scan.x1; ++x) {
                    const uint32_t bx = b[x];
                    const uint32_t tx = t[x];
                    const uint32_t ux = u[x];
                    if (bx != tx) {
                        // Every choice below prevents it.
                        if (tx == 0) throw GiveWay{FaultWarning};
                        if (m0 < 0) m0 = x;
                        m1 = x;
                    }
                    if (last) continue;
                    if (tx != ux) {
                        ++o.keepChanges;
                        if (k0 < 0) k0 = x;
                        k1 = x;
                        if (ux == 0) {
                            if (c0 < 0) c0 = x;
                            c1 = x;
                        }
                    }
                    if (bx != ux) {
                        ++o.restoreChanges;
                        if (ux == 0) o.restorable = false;
                        if (r0 < 0) r0 = x;
                        r1 = x;
                    }
                    if (ux != 0) {
                        if (o0 < 0) o0 = x;
                        o1 = x;
                    }
                }
                if (m0 >= 0) o.must.addRow(y, m0, m1 + 1);
                if (c0 >= 0) o.clearing.addRow(y, c0, c1 + 1);
                if (k0 >= 0) o.afterKeep.addRow(y, k0, k1 + 1);
                if (r0 >= 0) o.afterRestore.addRow(y, r0, r1 + 1);
                if (o0 >= 0) o.nextOpaque.addRow(y, o0, o1 + 1);
            }
        });
        Bounds must;
        Bounds clearing;
        Bounds afterKeep;
        Bounds afterRestore;
        Bounds nextOpaque;
        uint64_t keepChanges = 0;
        uint64_t restoreChanges = 0;
        bool restorable = true;
        for (const Found& o : found) {
            must.addBox(o.must.box());
            clearing.addBox(o.clearing.box());
            afterKeep.addBox(o.afterKeep.box());
            afterRestore.addBox(o.afterRestore.box());
            nextOpaque.addBox(o.nextOpaque.box());
            keepChanges += o.keepChanges;
            restoreChanges += o.restoreChanges;
            restorable = restorable && o.restorable;
        }
        const Box mustBox = must.box();
        Bounds both = must;
        both.addBox(clearing.box());
        const Box clearBox = both.box();

        const Frame& f = m_image.frame(i);
        const Disposal original = Compositor::disposalOf(f);
        Plan plan;
        if (last) {
            plan.disposal = original;
            plan.box = mustBox;
        } else {
            // keep, clear, restore
            std::array<Outcome, 3> outcomes;
            outcomes[0].possible = clearing.box().empty();
            outcomes[0].own = mustBox;
            outcomes[0].next = afterKeep;
            outcomes[0].changes = keepChanges;
            outcomes[1].own = clearBox;
            outcomes[1].next = afterKeep;
            outcomes[1].next.addBox(intersection(clearBox, nextOpaque.box()));
            outcomes[1].changes = keepChanges + changesInside(clearBox, target, next);
            outcomes[2].possible = restorable;
            outcomes[2].own = mustBox;
            outcomes[2].next = afterRestore;
            outcomes[2].changes = restoreChanges;
            const std::array<Disposal, 3> kinds{Disposal::Keep, Disposal::Clear, Disposal::Restore};
            int best = -1;
            for (int k = 0; k < 3; ++k) {
                if (!outcomes[size_t(k)].possible) continue;
                if (best < 0) {
                    best = k;
                    continue;
                }
                const uint64_t a = outcomes[size_t(k)].cost();
                const uint64_t c = outcomes[size_t(best)].cost();
                if (a < c ||
                    (a == c && kinds[size_t(k)] == original && kinds[size_t(best)] != original))
                    best = k;
            }
            plan.disposal = kinds[size_t(best)];
            plan.box = plan.disposal == Disposal::Clear ? clearBox : mustBox;
        }
        if (plan.box.empty()) {
            plan.disposal = Disposal::Keep;
            return plan;
        }
        fillPlan(plan, screen, target);
        return plan;
    }

    // The frame's pixels over its rectangle: the colours of T where the screen differs,
    // transparent elsewhere; its table holds those colours, most used first, and a
    // transparent entry. A frame that needs every entry for colours draws the pixels that
    // already show their colour in that colour too; one that would need more entries
    // than a table has cannot be drawn this way.
    void fillPlan(Plan& plan, const std::vector<uint32_t>& screen,
                  const std::vector<uint32_t>& target) {
        if (!fillPlanInBands(plan, screen, target)) fillPlanWhole(plan, screen, target);
    }

    // fillPlan() for a large rectangle in bands of rows on several threads, each band
    // counting its own colours; the counts added up give the same table. False, with
    // nothing done, for a small rectangle and for one whose colours leave no room for a
    // transparent entry, which fillPlanWhole() settles.
    bool fillPlanInBands(Plan& plan, const std::vector<uint32_t>& screen,
                         const std::vector<uint32_t>& target) {
        const int width = m_image.screenWidth;
        const Box& box = plan.box;
        const size_t bands = bandCount(box.y0, box.y1, box.width());
        if (bands < 2) return false;
        constexpr uint16_t NoSlot = 0xFFFF;
        if (m_bandCounters.size() < bands) m_bandCounters.resize(bands);
        m_slots.resize(size_t(box.width()) * size_t(box.height()));
        std::vector<uint8_t> anyClear(bands, 0);
        forBands(box.y0, box.y1, bands, [&](size_t band, int y0, int y1) {
            ColorCounter& counts = m_bandCounters[band];
            counts.clear();
            uint16_t* slot = m_slots.data() + size_t(y0 - box.y0) * size_t(box.width());
            bool clear = false;
            for (int y = y0; y < y1; ++y) {
                const uint32_t* b = screen.data() + size_t(y) * width;
                const uint32_t* t = target.data() + size_t(y) * width;
                for (int x = box.x0; x < box.x1; ++x) {
                    if (b[x] != t[x]) {
                        *slot++ = uint16_t(counts.add(t[x]));
                    } else {
                        *slot++ = NoSlot;
                        clear = true;
                    }
                }
            }
            anyClear[band] = clear;
        });
        const bool clear = std::find(anyClear.begin(), anyClear.end(), 1) != anyClear.end();
        ColorCounter& counts = m_counter;
        counts.clear();
        for (size_t band = 0; band < bands; ++band) {
            if (m_bandCounters[band].full()) return false;
            for (const auto& [color, count] : m_bandCounters[band].sorted())
                counts.add(color, count);
        }
        if (counts.full() || counts.size() + (clear ? 1 : 0) > 256) return false;

        std::vector<uint8_t> rank(ColorCounter::slotCount(), 0);
        plan.colors.clear();
        for (uint16_t s : counts.sortedSlots()) {
            rank[s] = uint8_t(plan.colors.size());
            plan.colors.push_back(rgbOf(counts.colorAt(s)));
        }
        plan.key = -1;
        if (clear) {
            plan.key = int(plan.colors.size());
            plan.colors.push_back(Black);
        }
        // Each band's slots to the table's entries.
        std::vector<std::vector<uint8_t>> entry(bands);
        for (size_t band = 0; band < bands; ++band) {
            entry[band].assign(ColorCounter::slotCount(), 0);
            const ColorCounter& own = m_bandCounters[band];
            for (uint16_t s : own.sortedSlots())
                entry[band][s] = rank[size_t(counts.add(own.colorAt(s), 0))];
        }
        plan.pixels.resize(m_slots.size());
        const uint8_t key = uint8_t(std::max(plan.key, 0));
        forBands(box.y0, box.y1, bands, [&](size_t band, int y0, int y1) {
            const size_t from = size_t(y0 - box.y0) * size_t(box.width());
            const size_t to = size_t(y1 - box.y0) * size_t(box.width());
            const std::vector<uint8_t>& own = entry[band];
            for (size_t k = from; k < to; ++k)
                plan.pixels[k] = m_slots[k] == NoSlot ? key : own[m_slots[k]];
        });
        return true;
    }

    void fillPlanWhole(Plan& plan, const std::vector<uint32_t>& screen,
                       const std::vector<uint32_t>& target) {
        const int width = m_image.screenWidth;
        const Box& box = plan.box;
        ColorCounter& counts = m_counter;
        counts.clear();
        // Each pixel's colour slot in the counter, or NoSlot for a transparent one.
        constexpr uint16_t NoSlot = 0xFFFF;
        m_slots.resize(size_t(box.width()) * size_t(box.height()));
        uint16_t* slot = m_slots.data();
        bool anyClear = false;
        bool anyEmpty = false; // pixels that must stay transparent
        for (int y = box.y0; y < box.y1; ++y) {
            const uint32_t* b = screen.data() + size_t(y) * width;
            const uint32_t* t = target.data() + size_t(y) * width;
            for (int x = box.x0; x < box.x1; ++x) {
                if (b[x] != t[x]) {
                    *slot++ = uint16_t(counts.add(t[x]));
                } else {
                    *slot++ = NoSlot;
                    anyClear = true;
                }
                anyEmpty = anyEmpty || t[x] == 0;
            }
        }
        if (counts.full() || counts.size() + (anyClear ? 1 : 0) > 256) {
            // No room for a transparent entry: every pixel is drawn in its colour.
            if (anyEmpty) throw GiveWay{ColorsWarning};
            slot = m_slots.data();
            for (int y = box.y0; y < box.y1; ++y) {
                const uint32_t* t = target.data() + size_t(y) * width;
                for (int x = box.x0; x < box.x1; ++x, ++slot)
                    if (*slot == NoSlot) *slot = uint16_t(counts.add(t[x], 0));
            }
            if (counts.full() || counts.size() > 256) throw GiveWay{ColorsWarning};
            anyClear = false;
        }
        std::vector<uint8_t> rank(ColorCounter::slotCount(), 0);
        plan.colors.clear();
        for (uint16_t s : counts.sortedSlots()) {
            rank[s] = uint8_t(plan.colors.size());
            plan.colors.push_back(rgbOf(counts.colorAt(s)));
        }
        if (anyClear) {
            plan.key = int(plan.colors.size());
            plan.colors.push_back(Black);
        }
        plan.pixels.resize(m_slots.size());
        const uint8_t key = uint8_t(std::max(plan.key, 0));
        for (size_t k = 0; k < m_slots.size(); ++k)
            plan.pixels[k] = m_slots[k] == NoSlot ? key : rank[m_slots[k]];
    }

    // Puts the plans into the frames: geometry, pixels, table and graphic control.
    void applyPlans(std::vector<Plan>& plans, const std::vector<bool>& sameAsBefore) {
        const size_t n = m_image.frameCount();
        m_notes.assign(n, FrameNote{});
        for (size_t i = 0; i < n; ++i)
            m_notes[i].sameAsBefore = sameAsBefore[i];
        for (size_t i = 0; i < n; ++i) {
            Frame& f = m_image.frame(i);
            Plan& plan = plans[i];
            GraphicControl* gc = f.graphicControl();
            uint8_t code = gc ? gc->disposal : disposal::Unspecified;
            switch (plan.disposal) {
            case Disposal::Keep:
                code = code <= disposal::None ? code : disposal::Unspecified;
                break;
            case Disposal::Clear:
                code = disposal::Background;
                break;
            case Disposal::Restore:
                code = disposal::Previous;
                break;
            }
            if (plan.box.empty()) {
                m_notes[i].vanished = true;
                if (gc) gc->disposal = code;
                continue;
            }
            f.left = uint16_t(plan.box.x0);
            f.top = uint16_t(plan.box.y0);
            f.setPixels(uint16_t(plan.box.width()), uint16_t(plan.box.height()),
                        std::move(plan.pixels));
            f.setLocalColors(std::move(plan.colors));
            if (gc || code != disposal::Unspecified || plan.key >= 0) {
                GraphicControl& control = controlOf(m_image, i);
                control.disposal = code;
                control.transparent = plan.key >= 0;
                control.transparentIndex = plan.key >= 0 ? uint8_t(plan.key) : 0;
            }
        }
    }

    GifImage& m_image;
    ProgressScope& m_progress;
    std::vector<FrameNote>& m_notes;
    // Scratch space, reused from frame to frame.
    ColorCounter m_counter;
    std::vector<ColorCounter> m_bandCounters;
    std::vector<uint16_t> m_slots;
};

} // namespace

bool redrawFrames(GifImage& image, ProgressScope& progress, int from, int to,
                  std::vector<FrameNote>& notes) {
    return Redrawer(image, progress, notes).redraw(from, to);
}

} // namespace vorlane::gif::optimizer
