// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: the GIF reader on arbitrary bytes, and what opening and saving do with
// what it reads. An input either fails with a GifError or loads; a loaded image must
// compose at every frame, save, and read back with the same frames and pixel indices;
// unoptimizing it (as opening does) must show what it shows at every frame wherever that
// picture fits in 256 colours; optimizing the result (as the optimized save does) must
// show exactly what the unoptimized image shows. Reading and unoptimizing (at one byte a
// pixel) must keep to the memory budget's ratio (HeapBudget.h). Anything else (a crash, a
// sanitizer report, another exception, a changed picture) is a finding.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "FuzzChecks.h"
#include "FuzzLimits.h"
#include "HeapBudget.h"
#include "codec/Compositor.h"
#include "codec/GifImage.h"
#include "codec/GifReader.h"
#include "codec/Optimize.h"
#include "codec/Unoptimize.h"

using namespace vorlane::gif;

namespace {

[[noreturn]] void finding(const char* what, size_t frame = 0) {
    std::fprintf(stderr, "fuzz_gif_reader: %s (frame %zu)\n", what, frame);
    std::abort();
}

// Compares what two images show at every frame; `onlyWhereExact` skips frames whose
// picture in `a` needs more than one colour table.
void compareShown(const GifImage& a, const GifImage& b, bool onlyWhereExact, const char* what) {
    size_t frame = 0;
    if (!vorlane::fuzz::sameShown(a, b, onlyWhereExact, frame)) finding(what, frame);
}

// What an image shows over time: each picture that stays on screen, with the time it is
// replaced. Optimizing may drop frames that change nothing or fold a pause into the frame
// before, so optimized images are compared this way rather than frame by frame.
std::vector<std::pair<uint64_t, std::vector<uint32_t>>> shownOverTime(const GifImage& g) {
    std::vector<std::pair<uint64_t, std::vector<uint32_t>>> out;
    Compositor c(g);
    const size_t area = size_t(c.width()) * size_t(c.height());
    uint64_t time = 0;
    for (size_t i = 0; i < g.frameCount(); ++i) {
        const uint32_t* p = c.compose(i);
        const GraphicControl* gc = g.frame(i).graphicControl();
        // A single picture has no timing to keep.
        const uint16_t delay = gc && g.frameCount() > 1 ? gc->delay : 0;
        if (delay == 0 && i + 1 < g.frameCount()) continue; // not shown on its own
        time += delay;
        // A pause that repeats the picture before it may be folded into that frame.
        if (!out.empty() && std::equal(p, p + area, out.back().second.begin()))
            out.back().first = time;
        else
            out.emplace_back(time, std::vector<uint32_t>(p, p + area));
    }
    // One picture for all time: its duration means nothing.
    if (out.size() == 1) out.front().first = 0;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ReadLimits limits = vorlane::fuzz::fuzzLimits();
    using vorlane::fuzz::checkHeapBudget;
    using vorlane::fuzz::HeapWatch;
    GifImage image;
    HeapWatch::start();
    const size_t beforeReading = HeapWatch::current();
    try {
        readGif(image, std::span(data, size), limits);
    } catch (const GifError&) {
        return 0;
    }
    const uint64_t screenPixels = uint64_t(image.screenWidth) * image.screenHeight;
    checkHeapBudget("reading", beforeReading, screenPixels, image.frameCount(), size, limits);

    Compositor compositor(image);
    for (size_t i = 0; i < image.frameCount(); ++i)
        compositor.compose(i);

    // An image without frames is refused by the writer ("Cannot save empty GIF"), by
    // contract.
    if (image.frameCount() == 0) return 0;
    Bytes saved;
    try {
        saved = image.saveToBytes();
    } catch (const GifError& e) {
        std::fprintf(stderr, "fuzz_gif_reader: save failed: %s\n", e.what());
        finding("a loaded image could not be saved");
    }
    GifImage again;
    try {
        readGif(again, saved, limits);
    } catch (const GifError& e) {
        std::fprintf(stderr, "fuzz_gif_reader: reading back failed: %s\n", e.what());
        finding("a saved image could not be read back");
    }
    if (again.frameCount() != image.frameCount())
        finding("the frame count changed in a round trip");
    for (size_t i = 0; i < image.frameCount(); ++i) {
        const Frame& a = image.frame(i);
        const Frame& b = again.frame(i);
        if (a.left != b.left || a.top != b.top || a.width() != b.width() ||
            a.height() != b.height() || a.interlaced != b.interlaced)
            finding("a frame's geometry changed in a round trip", i);
        if (a.pixels() != b.pixels()) finding("a frame's pixels changed in a round trip", i);
        if (image.activeColors(i) != again.activeColors(i))
            finding("a frame's colours changed in a round trip", i);
    }

    // Opening: every frame becomes the picture shown at it.
    GifImage opened;
    // At one byte a pixel (at most 255 colours drawn) unoptimizing keeps to the budget;
    // the general way is bounded by its screen ceiling instead.
    const bool indexed = IndexedCompositor::make(image).has_value();
    HeapWatch::start();
    const size_t beforeOpening = HeapWatch::current();
    try {
        opened = unoptimize(image);
    } catch (const GifError&) {
        return 0; // a limit of the compositor; opening reports it
    }
    if (indexed)
        checkHeapBudget("unoptimizing", beforeOpening, screenPixels, image.frameCount(), size,
                        limits);
    compareShown(image, opened, true, "unoptimizing changed what a frame shows");

    // The optimized save: crop, merge, clean-up and colour tables.
    GifImage optimized;
    optimized.assign(opened);
    OptimizeOptions options;
    options.crop = options.merge = options.cleanup = options.colorTables = true;
    optimize(optimized, options);
    if (optimized.frameCount() > 0 && shownOverTime(opened) != shownOverTime(optimized))
        finding("optimizing changed what is shown");
    if (optimized.frameCount() > 0) {
        try {
            GifImage back;
            readGif(back, optimized.saveToBytes(), limits);
        } catch (const GifError& e) {
            std::fprintf(stderr, "fuzz_gif_reader: %s\n", e.what());
            finding("an optimized image could not be saved and read back");
        }
    }
    return 0;
}
