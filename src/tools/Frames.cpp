// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/Frames.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "codec/ColorReduction.h"
#include "codec/Compositor.h"

namespace vorlane::tools::detail {

using namespace vorlane::gif;

// ---- progress --------------------------------------------------------------------------

Steps::Steps(const ToolContext& context, size_t total) : m_context(context), m_total(total) {}

void Steps::check() const {
    if (cancelRequested()) throw Cancelled();
}

void Steps::advance(size_t units) {
    check();
    record(units);
}

void Steps::record(size_t units) {
    m_done += units;
    report();
}

void Steps::finish() {
    m_reserved = 0;
    m_done = m_total;
    if (m_context.progress && m_reported < 100) m_context.progress(100);
    m_reported = 100;
}

void Steps::report() {
    if (!m_context.progress) return;
    const size_t all = m_total + m_reserved;
    const int percent = all == 0 ? 100 : int(std::min(m_done, all) * 100 / all);
    if (percent <= m_reported) return;
    m_reported = percent;
    m_context.progress(percent);
}

// ---- threads ---------------------------------------------------------------------------

int workerCount(size_t count) {
    // Frames of a few milliseconds each: more threads than cores only add switching.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return int(std::min<size_t>({count, size_t(cores), 4}));
}

void parallelFor(size_t count, Steps& steps,
                 const std::function<size_t(size_t index, int worker)>& work) {
    const int workers = workerCount(count);
    if (workers <= 1) {
        for (size_t i = 0; i < count; ++i) {
            steps.check();
            steps.advance(work(i, 0));
        }
        return;
    }
    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
    std::atomic<bool> stop{false};
    std::atomic<bool> cancelled{false};
    std::exception_ptr failure;
    std::mutex failureLock;
    // Returns false once nothing is left to do or everything has to stop.
    auto runOne = [&](int worker) {
        if (stop.load(std::memory_order_relaxed)) return false;
        if (steps.cancelRequested()) {
            cancelled = true;
            stop = true;
            return false;
        }
        const size_t i = next.fetch_add(1);
        if (i >= count) return false;
        try {
            done += work(i, worker);
        } catch (...) {
            const std::lock_guard<std::mutex> hold(failureLock);
            if (!failure) failure = std::current_exception();
            stop = true;
            return false;
        }
        return true;
    };
    std::vector<std::thread> helpers;
    helpers.reserve(size_t(workers - 1));
    for (int w = 1; w < workers; ++w)
        helpers.emplace_back([&runOne, w] {
            while (runOne(w)) {
            }
        });
    // This thread works too, and reports the progress of all of them as it goes.
    size_t reported = 0;
    while (runOne(0)) {
        const size_t finished = done.load();
        if (finished > reported) {
            // No throwing here: the other threads are still running.
            steps.record(finished - reported);
            reported = finished;
        }
    }
    for (std::thread& t : helpers)
        t.join();
    if (failure) std::rethrow_exception(failure);
    if (cancelled) throw Cancelled();
    steps.advance(done.load() - reported);
}

namespace {

uint64_t areaOf(const Region& region) {
    uint64_t area = 0;
    for (const QRect& r : region)
        area += uint64_t(r.width()) * uint64_t(r.height());
    return area;
}

} // namespace

bool isPartial(const Region& change, QSize size) {
    // Beyond half the picture, copying the frame before costs more than it saves.
    return areaOf(change) * 2 < uint64_t(size.width()) * uint64_t(size.height());
}

std::vector<Run> runsOf(const std::vector<Region>& changes, QSize size) {
    const uint64_t picture = uint64_t(size.width()) * uint64_t(size.height());
    std::vector<Run> runs;
    uint64_t changed = 0; // pixels changed since the run began
    for (size_t k = 0; k < changes.size(); ++k) {
        const uint64_t area = k == 0 ? picture : areaOf(changes[k]);
        // A run also ends once its changes add up to twice the picture, which bounds
        // what a resize keeps of a run before it is mapped.
        if (k == 0 || area * 2 >= picture || k - runs.back().first >= RunLength ||
            changed + area > 2 * picture) {
            runs.push_back({k, k});
            changed = 0;
        }
        changed += area;
        runs.back().end = k + 1;
    }
    return runs;
}

void forEachRun(const std::vector<Run>& runs, Steps& steps,
                const std::function<void(const Run& run, int worker)>& work) {
    parallelFor(runs.size(), steps, [&](size_t r, int worker) {
        work(runs[r], worker);
        return runs[r].end - runs[r].first;
    });
}

std::vector<Region> changesOf(size_t count, Steps& steps,
                              const std::function<Region(size_t k)>& change) {
    std::vector<Region> changes(count);
    steps.addWork(count);
    // In blocks, so that each thread takes a good share at a time.
    constexpr size_t Block = 8;
    parallelFor((count + Block - 1) / Block, steps, [&](size_t block, int) {
        const size_t end = std::min(count, (block + 1) * Block);
        for (size_t k = std::max<size_t>(1, block * Block); k < end; ++k)
            changes[k] = change(k);
        return end - block * Block;
    });
    return changes;
}

namespace {

// The bands of changed rows: row(y, x0, x1) says whether row y changed, and where.
template <typename Row> Region changedBands(int width, int height, Row row) {
    Region region;
    for (int band = 0; band < height; band += ChangeBand) {
        int left = width, right = -1, top = -1, bottom = -1;
        for (int y = band; y < std::min(height, band + ChangeBand); ++y) {
            int x0 = 0, x1 = 0;
            if (!row(y, x0, x1)) continue;
            if (top < 0) top = y;
            bottom = y;
            left = std::min(left, x0);
            right = std::max(right, x1);
        }
        if (top >= 0) region.push_back(QRect(QPoint(left, top), QPoint(right, bottom)));
    }
    return region;
}

// The first and the last place where two rows of n bytes differ (they do somewhere),
// eight bytes at a time.
int firstDifference(const uint8_t* a, const uint8_t* b, int n) {
    int x = 0;
    if constexpr (std::endian::native == std::endian::little)
        for (; x + 8 <= n; x += 8) {
            uint64_t wa, wb;
            std::memcpy(&wa, a + x, 8);
            std::memcpy(&wb, b + x, 8);
            if (wa != wb) return x + std::countr_zero(wa ^ wb) / 8;
        }
    while (a[x] == b[x])
        ++x;
    return x;
}

int lastDifference(const uint8_t* a, const uint8_t* b, int n) {
    int x = n;
    if constexpr (std::endian::native == std::endian::little)
        for (; x >= 8; x -= 8) {
            uint64_t wa, wb;
            std::memcpy(&wa, a + x - 8, 8);
            std::memcpy(&wb, b + x - 8, 8);
            if (wa != wb) return x - 1 - std::countl_zero(wa ^ wb) / 8;
        }
    --x;
    while (a[x] == b[x])
        --x;
    return x;
}

} // namespace

Region changedIndices(const Frame& a, const Frame& b, int width, int height) {
    if (a.sharedPixels() == b.sharedPixels()) return {};
    const uint8_t* pa = a.pixels().data();
    const uint8_t* pb = b.pixels().data();
    return changedBands(width, height, [&](int y, int& x0, int& x1) {
        const uint8_t* ra = pa + size_t(y) * width;
        const uint8_t* rb = pb + size_t(y) * width;
        if (std::memcmp(ra, rb, size_t(width)) == 0) return false;
        x0 = firstDifference(ra, rb, width);
        x1 = lastDifference(ra, rb, width);
        return true;
    });
}

Region changedColors(const GifImage& image, size_t a, size_t b) {
    const DrawnColors ca = drawnColors(image, a);
    const DrawnColors cb = drawnColors(image, b);
    const int width = image.screenWidth;
    const int height = image.screenHeight;
    if (ca == cb) return changedIndices(image.frame(a), image.frame(b), width, height);
    // Entries that show another colour in b: a pixel keeping its index changed there.
    std::array<bool, 256> moved{};
    bool anyMoved = false;
    for (size_t v = 0; v < 256; ++v)
        anyMoved |= moved[v] = ca[v] != cb[v];
    const uint8_t* pa = image.frame(a).pixels().data();
    const uint8_t* pb = image.frame(b).pixels().data();
    return changedBands(width, height, [&](int y, int& x0, int& x1) {
        const uint8_t* ra = pa + size_t(y) * width;
        const uint8_t* rb = pb + size_t(y) * width;
        if (!anyMoved && std::memcmp(ra, rb, size_t(width)) == 0) return false;
        auto differs = [&](int x) {
            return ra[x] == rb[x] ? moved[ra[x]] : ca[ra[x]] != cb[rb[x]];
        };
        x0 = 0;
        while (x0 < width && !differs(x0))
            ++x0;
        if (x0 == width) return false;
        x1 = width - 1;
        while (!differs(x1))
            --x1;
        return true;
    });
}

// ---- frames and records ----------------------------------------------------------------

std::vector<bool> selectedFrames(const FrameSet& frames, size_t count) {
    if (!frames) return std::vector<bool>(count, true);
    std::vector<bool> selected(count, false);
    for (const int i : *frames) {
        if (i < 0 || size_t(i) >= count) throw GifError("Frame index out of range");
        selected[size_t(i)] = true;
    }
    return selected;
}

std::optional<uint8_t> transparentIndexOf(const Frame& frame) {
    const GraphicControl* gc = frame.graphicControl();
    if (gc && gc->transparent) return gc->transparentIndex;
    return std::nullopt;
}

DrawnColors drawnColors(const GifImage& image, size_t i) {
    DrawnColors colors;
    colors.fill(0xFF000000u);
    const ColorTable& table = image.activeColors(i);
    for (size_t v = 0; v < std::min<size_t>(table.size(), 256); ++v)
        colors[v] =
            0xFF000000u | uint32_t(table[v].r) << 16 | uint32_t(table[v].g) << 8 | table[v].b;
    if (const auto t = transparentIndexOf(image.frame(i))) colors[*t] = 0;
    return colors;
}

bool isFull(const GifImage& image, size_t i) {
    const Frame& f = image.frame(i);
    return f.hasPixels() && f.left == 0 && f.top == 0 && f.width() == image.screenWidth &&
           f.height() == image.screenHeight;
}

GifImage emptyLike(const GifImage& source, int width, int height) {
    GifImage image;
    image.screenWidth = uint16_t(width);
    image.screenHeight = uint16_t(height);
    image.backgroundIndex = source.backgroundIndex;
    image.aspect = source.aspect;
    image.colorResolution = source.colorResolution;
    image.setGlobalColors(source.globalColors(), source.globalSorted());
    image.transparent = source.transparent;
    image.reduction = source.reduction;
    image.trailingExtensions = source.trailingExtensions;
    return image;
}

GifImage copyOf(const GifImage& image) {
    return image.sharedCopy();
}

GifImage mapPixels(const GifImage& image, int width, int height, Steps& steps,
                   const PixelMap& map) {
    // Each buffer once, whatever number of frames show it, in the order they first show.
    std::vector<const Frame*> unique;
    std::vector<size_t> bufferOf(image.frameCount());
    std::unordered_map<const Bytes*, size_t> seen;
    for (size_t i = 0; i < image.frameCount(); ++i) {
        const Bytes* pixels = image.frame(i).sharedPixels().get();
        const auto [at, added] = seen.emplace(pixels, unique.size());
        if (added) unique.push_back(&image.frame(i));
        bufferOf[i] = at->second;
    }
    const QRect screen(0, 0, image.screenWidth, image.screenHeight);
    const std::vector<Region> changes = changesOf(unique.size(), steps, [&](size_t k) {
        return changedIndices(*unique[k - 1], *unique[k], screen.width(), screen.height());
    });
    steps.addWork(unique.size());
    std::vector<std::shared_ptr<const Bytes>> made(unique.size());
    const size_t area = size_t(width) * size_t(height);
    forEachRun(runsOf(changes, screen.size()), steps, [&](const Run& run, int) {
        for (size_t k = run.first; k < run.end; ++k) {
            if (steps.cancelRequested()) throw Cancelled();
            if (k > run.first && changes[k].empty()) {
                made[k] = made[k - 1];
                continue;
            }
            Bytes pixels;
            if (k > run.first) {
                pixels = *made[k - 1];
                for (const QRect& changed : changes[k])
                    map(unique[k]->pixels(), pixels.data(), changed);
            } else {
                pixels.resize(area);
                map(unique[k]->pixels(), pixels.data(), screen);
            }
            made[k] = std::make_shared<const Bytes>(std::move(pixels));
        }
    });
    GifImage result = emptyLike(image, width, height);
    for (size_t i = 0; i < image.frameCount(); ++i) {
        Frame frame = image.frame(i);
        frame.setSharedPixels(uint16_t(width), uint16_t(height), made[bufferOf[i]]);
        result.appendFrame(std::move(frame));
    }
    return result;
}

GraphicControl controlOf(const Frame& frame) {
    const GraphicControl* gc = frame.graphicControl();
    return gc ? *gc : GraphicControl{};
}

Frame withControl(const Frame& frame, const GraphicControl& control) {
    Frame changed = frame;
    ExtensionPtr record = Extension::makeGraphicControl();
    record->control() = control;
    const auto at = std::find(changed.extensions.begin(), changed.extensions.end(),
                              changed.graphicControlRecord);
    // A record that was not written with the frame is now: its values must count.
    if (at != changed.extensions.end())
        *at = record;
    else
        changed.extensions.push_back(record);
    changed.graphicControlRecord = record;
    return changed;
}

Frame withTransparency(const Frame& frame, std::optional<uint8_t> index) {
    if (transparentIndexOf(frame) == index) return frame;
    if (!index && !frame.graphicControlRecord) return frame;
    GraphicControl control = controlOf(frame);
    control.transparent = index.has_value();
    control.transparentIndex = index.value_or(0);
    return withControl(frame, control);
}

Rgb preferredClearColor(const GifImage& image, size_t frame) {
    if (const auto t = transparentIndexOf(image.frame(frame))) {
        const ColorTable& own = image.activeColors(frame);
        if (*t < own.size()) return own[*t];
    }
    return Rgb{255, 255, 255};
}

Rgb transparentEntryColor(const GifImage& image, size_t frame, const ColorTable& table,
                          size_t entry) {
    // Drawn without its transparency (a copy, the clipboard) the frame must still tell
    // its clear pixels from the drawn ones.
    return colorNotIn(table, entry, preferredClearColor(image, frame));
}

// ---- frames that show their own pictures -----------------------------------------------

namespace {

// Whether every pixel that `a` leaves transparent is transparent in `b` too; both are
// full frames of one screen.
bool transparentWithin(const Frame& a, const Frame& b) {
    const auto ta = transparentIndexOf(a);
    if (!ta) return true;
    const Bytes& pa = a.pixels();
    const auto tb = transparentIndexOf(b);
    if (!tb) return std::find(pa.begin(), pa.end(), *ta) == pa.end();
    if (a.sharedPixels() == b.sharedPixels() && *ta == *tb) return true;
    const Bytes& pb = b.pixels();
    // In blocks without a branch inside, which the compiler turns into vector code.
    constexpr size_t Block = 256;
    const uint8_t clearA = *ta, clearB = *tb;
    for (size_t start = 0; start < pa.size(); start += Block) {
        const size_t end = std::min(pa.size(), start + Block);
        uint8_t bad = 0;
        for (size_t p = start; p < end; ++p)
            bad |= uint8_t(pa[p] == clearA) & uint8_t(pb[p] != clearB);
        if (bad) return false;
    }
    return true;
}

// Follows what the screen holds between full frames: the picture of one frame (its
// index) or nothing (-1). At each frame whose transparent pixels would show a picture,
// calls clearBefore(i); without it the walk stops there and returns false.
bool walkFullFrames(const GifImage& image, const std::function<void(size_t)>& clearBefore,
                    Steps* steps = nullptr) {
    long long shown = -1;
    for (size_t i = 0; i < image.frameCount(); ++i) {
        if (steps) steps->advance();
        const Frame& frame = image.frame(i);
        if (shown >= 0 && !transparentWithin(frame, image.frame(size_t(shown)))) {
            if (!clearBefore) return false;
            clearBefore(i);
        }
        switch (Compositor::disposalOf(image.frame(i))) {
        case Compositor::Disposal::Keep:
            shown = (long long)i;
            break;
        case Compositor::Disposal::Clear:
            shown = -1;
            break;
        case Compositor::Disposal::Restore:
            break;
        }
    }
    return true;
}

} // namespace

bool showsOwnPictures(const GifImage& image) {
    if (uint64_t(image.screenWidth) * image.screenHeight == 0) return true;
    for (size_t i = 0; i < image.frameCount(); ++i)
        if (!isFull(image, i)) return false;
    return walkFullFrames(image, nullptr);
}

void settleDisposals(GifImage& image, Steps* steps) {
    if (steps) steps->addWork(image.frameCount());
    walkFullFrames(
        image,
        [&image](size_t i) {
            GraphicControl control = controlOf(image.frame(i - 1));
            control.disposal = disposal::Background;
            image.replaceFrame(i - 1, withControl(image.frame(i - 1), control));
        },
        steps);
}

ShownFrames::ShownFrames(const GifImage& source, Steps& steps) : m_source(source) {
    if (showsOwnPictures(source)) return;
    const size_t n = source.frameCount();
    // On top of what the tool reserved for its own phases.
    steps.reserve(n);
    steps.addWork(n);
    GifImage made = emptyLike(source, source.screenWidth, source.screenHeight);
    Compositor compositor(source);
    const int width = compositor.width();
    const int height = compositor.height();
    const size_t area = size_t(width) * size_t(height);
    ColorReducer reducer;
    for (size_t i = 0; i < n; ++i) {
        steps.check();
        const Frame& from = source.frame(i);
        const uint32_t* canvas = compositor.compose(i);
        bool own = isFull(source, i);
        if (own) {
            const DrawnColors colors = drawnColors(source, i);
            const Bytes& pixels = from.pixels();
            for (size_t p = 0; p < area && own; ++p)
                own = colors[pixels[p]] == canvas[p];
        }
        if (own) {
            made.appendFrame(from);
        } else {
            Frame frame = from;
            Bytes indices(area);
            const ReductionResult reduced =
                reducer.reduce(PixelView{canvas, width, height, width}, indices.data(), width,
                               Dither::Nearest, 256, Rgb{255, 255, 255});
            ColorTable table = reduced.colors;
            if (reduced.transparentIndex)
                table[*reduced.transparentIndex] =
                    transparentEntryColor(source, i, table, *reduced.transparentIndex);
            // A table needs an entry; a frame showing nothing has the one of its
            // transparent pixels.
            if (table.empty()) table.push_back(Rgb{});
            frame.left = 0;
            frame.top = 0;
            frame.setPixels(uint16_t(width), uint16_t(height), std::move(indices));
            frame.setLocalColors(std::move(table));
            made.appendFrame(withTransparency(frame, reduced.transparentIndex));
        }
        steps.advance();
    }
    settleDisposals(made);
    m_made.emplace(std::move(made));
}

} // namespace vorlane::tools::detail
