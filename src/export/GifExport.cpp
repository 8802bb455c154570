// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/GifExport.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <unordered_map>

#include <QImage>

#include "codec/Compositor.h"
#include "codec/GifWriter.h"
#include "codec/Lzw.h"
#include "codec/Optimize.h"
#include "export/FlexibleLzw.h"
#include "export/LossyLzw.h"
#include "export/Quantize.h"

namespace vorlane::exporting {

void Steps::report(int percent) const {
    if (context && context->progress)
        context->progress(from + (to - from) * std::clamp(percent, 0, 100) / 100);
}

void Steps::check() const {
    if (context && context->cancelled && context->cancelled()) throw tools::Cancelled();
}

Steps Steps::part(int partFrom, int partTo) const {
    return {context, from + (to - from) * partFrom / 100, from + (to - from) * partTo / 100};
}

namespace {

constexpr uint32_t OpaqueBlack = 0xFF000000u;
// A frame's lossy stream is written only when it saves at least 1/MinimumShareOf of the
// frame's exact bytes (see LossyWriter::judgeLoss).
constexpr size_t MinimumShareOf = 8;

uint32_t argbOf(gif::Rgb c) {
    return OpaqueBlack | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
}

int bitsFor(size_t highest) {
    int bits = 2;
    while ((size_t(1) << bits) <= highest)
        ++bits;
    return bits;
}

// Moves frames with a local table onto the global one where it holds every colour the
// frame draws, the transparent pixels taking an index of the global table's padded
// size that the frame leaves free, and the frame's code width does not grow. The
// optimiser gives a frame its own table when its transparent entry finds no place in
// the global table; a local table costs its bytes in every such frame.
void useGlobalTable(gif::GifImage& image) {
    gif::ColorTable global = image.globalColors();
    if (global.empty()) return;
    // The table may grow up to the size it takes in the file anyway.
    size_t padded = 2;
    while (padded < global.size())
        padded *= 2;
    auto key = [](gif::Rgb c) { return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b; };
    std::unordered_map<uint32_t, uint8_t> where;
    for (size_t k = global.size(); k-- > 0;)
        where[key(global[k])] = uint8_t(k);
    for (size_t i = 0; i < image.frameCount(); ++i) {
        gif::Frame& f = image.frame(i);
        const gif::ColorTable& local = f.localColors();
        if (local.empty() || !f.hasPixels() || f.interlaced) continue;
        const gif::GraphicControl* gc = f.graphicControl();
        const int t = gc && gc->transparent ? int(gc->transparentIndex) : -1;
        std::array<bool, 256> used{};
        for (uint8_t v : f.pixels())
            used[v] = true;
        std::array<int, 256> map;
        map.fill(-1);
        std::vector<gif::Rgb> added;
        bool fits = true;
        for (size_t k = 0; k < 256 && fits; ++k) {
            if (!used[k] || int(k) == t) continue;
            if (k >= local.size()) {
                fits = false;
                break;
            }
            if (const auto it = where.find(key(local[k])); it != where.end()) {
                map[k] = it->second;
                continue;
            }
            const auto again = std::find(added.begin(), added.end(), local[k]);
            if (again != added.end()) {
                map[k] = int(global.size() + size_t(again - added.begin()));
                continue;
            }
            map[k] = int(global.size() + added.size());
            added.push_back(local[k]);
            fits = global.size() + added.size() <= padded;
        }
        if (!fits) continue;
        std::array<bool, 256> taken{};
        for (size_t k = 0; k < 256; ++k)
            if (map[k] >= 0) taken[size_t(map[k])] = true;
        if (t >= 0 && used[size_t(t)]) {
            for (size_t k = 0; k < padded; ++k)
                if (!taken[k]) {
                    map[size_t(t)] = int(k);
                    break;
                }
            if (map[size_t(t)] < 0) continue;
        }
        size_t highest = 0, newHighest = 0;
        for (size_t k = 0; k < 256; ++k)
            if (used[k]) {
                highest = k;
                newHighest = std::max(newHighest, size_t(std::max(0, map[k])));
            }
        // The writer codes from the bits the highest index needs (smallestCodeSize).
        if (bitsFor(newHighest) > bitsFor(highest)) continue;
        for (const gif::Rgb& c : added) {
            where[key(c)] = uint8_t(global.size());
            global.push_back(c);
        }
        gif::Bytes px = f.pixels();
        for (uint8_t& v : px)
            v = uint8_t(std::max(0, map[v]));
        f.setPixels(f.width(), f.height(), std::move(px));
        f.setLocalColors({});
        if (t >= 0) {
            auto record = f.graphicControlRecord->clone();
            record->control().transparentIndex = uint8_t(std::max(0, map[size_t(t)]));
            if (map[size_t(t)] < 0) record->control().transparent = false;
            std::replace(f.extensions.begin(), f.extensions.end(), f.graphicControlRecord, record);
            f.graphicControlRecord = record;
        }
    }
    image.setGlobalColors(std::move(global), false);
}

// Renumbers the global table so that the colours most frames draw come first. A frame
// is coded with as many bits as its highest index needs, and the optimiser sorts by
// pixels: on a screen recording the desktop's colours come first and the cursor's
// black and white, drawn in nearly every frame, far behind.
void sortGlobalTableByFrames(gif::GifImage& image) {
    const gif::ColorTable& table = image.globalColors();
    if (table.size() < 3) return;
    std::array<uint32_t, 256> frames{};
    std::array<uint64_t, 256> pixels{};
    std::vector<size_t> users;
    for (size_t i = 0; i < image.frameCount(); ++i) {
        const gif::Frame& f = image.frame(i);
        if (!f.localColors().empty() || !f.hasPixels()) continue;
        users.push_back(i);
        std::array<bool, 256> used{};
        for (uint8_t v : f.pixels()) {
            used[v] = true;
            ++pixels[v];
        }
        if (const gif::GraphicControl* gc = f.graphicControl(); gc && gc->transparent)
            used[gc->transparentIndex] = false;
        for (size_t k = 0; k < 256; ++k)
            frames[k] += used[k] ? 1 : 0;
    }
    std::vector<uint8_t> order(table.size());
    std::iota(order.begin(), order.end(), uint8_t(0));
    std::stable_sort(order.begin(), order.end(), [&](uint8_t a, uint8_t b) {
        if (frames[a] != frames[b]) return frames[a] > frames[b];
        return pixels[a] > pixels[b];
    });
    std::array<uint8_t, 256> newIndex;
    for (size_t k = 0; k < 256; ++k)
        newIndex[k] = uint8_t(k);
    gif::ColorTable sorted(table.size());
    for (size_t k = 0; k < order.size(); ++k) {
        newIndex[order[k]] = uint8_t(k);
        sorted[k] = table[order[k]];
    }
    for (size_t i : users) {
        gif::Frame& f = image.frame(i);
        gif::Bytes px = f.pixels();
        for (uint8_t& v : px)
            v = newIndex[v];
        f.setPixels(f.width(), f.height(), std::move(px));
        if (gif::GraphicControl* gc = f.graphicControl(); gc && gc->transparent) {
            // Records are shared with the source: a changed one is a new one.
            auto record = f.graphicControlRecord->clone();
            record->control().transparentIndex = newIndex[gc->transparentIndex];
            std::replace(f.extensions.begin(), f.extensions.end(), f.graphicControlRecord, record);
            f.graphicControlRecord = record;
        }
    }
    if (image.backgroundIndex < table.size())
        image.backgroundIndex = newIndex[image.backgroundIndex];
    image.setGlobalColors(std::move(sorted), false);
}

// The pixels of `picture` that differ from `previous`, the others transparent, when
// that frame can follow the one showing `previous` without clearing the screen: no
// pixel turns transparent (no frame can make a shown pixel transparent again), and some
// but at most half of them change. Otherwise a null image: the frame is reduced whole.
//
// Reducing whole pictures whose colours do not fit one table gives each frame a palette
// of its own over the whole picture, so that every pixel of the screen changes a little
// from frame to frame: a small sprite moving over a picture of many colours then costs
// a whole frame each time. Reduced alone, what changed keeps its exact colours when they
// fit, and the rest keeps what the frames before drew.
QImage partialPicture(const QImage& previous, const QImage& picture) {
    if (previous.size() != picture.size() || previous.format() != QImage::Format_ARGB32 ||
        picture.format() != QImage::Format_ARGB32)
        return {};
    const int w = picture.width();
    const int h = picture.height();
    const auto opaque = [](uint32_t c) { return (c >> 24) >= 0x80; };
    size_t changed = 0;
    for (int y = 0; y < h; ++y) {
        const auto* before = reinterpret_cast<const uint32_t*>(previous.constScanLine(y));
        const auto* now = reinterpret_cast<const uint32_t*>(picture.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            if (before[x] == now[x] || (!opaque(before[x]) && !opaque(now[x]))) continue;
            if (!opaque(now[x])) return {};
            ++changed;
        }
    }
    // A frame that changes nothing is reduced whole too: a frame of transparent pixels
    // alone would be taken for one that draws nothing, and go with the optimisation.
    if (changed == 0 || changed * 2 > size_t(w) * size_t(h)) return {};
    QImage part(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        const auto* before = reinterpret_cast<const uint32_t*>(previous.constScanLine(y));
        const auto* now = reinterpret_cast<const uint32_t*>(picture.constScanLine(y));
        auto* out = reinterpret_cast<uint32_t*>(part.scanLine(y));
        for (int x = 0; x < w; ++x)
            out[x] = before[x] == now[x] || !opaque(now[x]) ? 0u : now[x];
    }
    return part;
}

} // namespace

gif::GifImage prepareGif(ShownAnimation& shown, const ExportSettings& settings,
                         const Steps& steps) {
    const size_t n = shown.count();
    gif::GifImage image;
    image.screenWidth = uint16_t(shown.width());
    image.screenHeight = uint16_t(shown.height());
    if (n == 0) return image;

    Quantizer quantizer(settings.colors, settings.dither, settings.palette);
    const bool global = settings.palette == PaletteMode::Global;
    const Steps learning = steps.part(0, global ? 30 : 0);
    const Steps reducing = steps.part(global ? 30 : 0, settings.optimize ? 70 : 100);
    if (global) {
        for (size_t k = 0; k < n; ++k) {
            learning.check();
            quantizer.learn(shown.picture(k));
            learning.report(int((k + 1) * 100 / n));
        }
    }
    std::vector<bool> transparent(n, false);
    std::vector<bool> partial(n, false);
    QImage previous;
    for (size_t k = 0; k < n; ++k) {
        reducing.check();
        QImage picture = shown.picture(k);
        // With a table per frame, a frame that changes at most half of the picture
        // draws only what changed and leaves the rest of the screen as the frames
        // before left it (see partialPicture).
        QImage part;
        if (!global && k > 0) part = partialPicture(previous, picture);
        partial[k] = !part.isNull();
        IndexedPicture reduced = quantizer.reduce(partial[k] ? part : picture);
        previous = std::move(picture);
        gif::Frame frame;
        frame.setPixels(uint16_t(reduced.width), uint16_t(reduced.height),
                        std::move(reduced.indices));
        if (global) {
            if (k == 0) image.setGlobalColors(reduced.colors);
        } else {
            frame.setLocalColors(std::move(reduced.colors));
        }
        if (k == 0 && shown.loopCount())
            frame.extensions.push_back(gif::Extension::makeLoop(*shown.loopCount()));
        auto control = gif::Extension::makeGraphicControl();
        control->control().delay = uint16_t(std::clamp(shown.delay(k), 0, 0xFFFF));
        control->control().disposal = gif::disposal::None;
        if (reduced.transparent) {
            // Marked transparent only when some pixel is: an unused transparent
            // index costs nothing, but a flag without a use would make the optimiser's
            // work on this frame no better.
            const gif::Bytes& px = frame.pixels();
            transparent[k] = std::find(px.begin(), px.end(), *reduced.transparent) != px.end();
            control->control().transparent = transparent[k];
            control->control().transparentIndex = *reduced.transparent;
        }
        frame.extensions.push_back(control);
        frame.graphicControlRecord = control;
        image.appendFrame(std::move(frame));
        reducing.report(int((k + 1) * 100 / n));
    }
    // A frame followed by a whole picture with transparent pixels clears the screen
    // after it, so that the next frame shows exactly its own picture; before a partial
    // one the screen stays, since its transparent pixels are what it leaves.
    for (size_t k = 0; k + 1 < n; ++k)
        if (transparent[k + 1] && !partial[k + 1])
            image.frame(k).graphicControl()->disposal = gif::disposal::Background;

    if (settings.optimize) {
        const Steps optimizing = steps.part(70, 100);
        image.onProgress = [&optimizing](gif::Stage, int percent, gif::ProgressMessage) {
            optimizing.check();
            optimizing.report(percent);
        };
        gif::OptimizeOptions options;
        options.colorTables = true;
        options.cleanup = true;
        options.merge = true;
        options.crop = true;
        gif::optimize(image, options);
        image.onProgress = nullptr;
        useGlobalTable(image);
        sortGlobalTableByFrames(image);
    }
    return image;
}

namespace {

// The screen as the lossy file shows it, frame after frame, and the exact screen the
// prepared image shows, which the lossy pixels must stay close to.
class LossyWriter {
public:
    LossyWriter(const gif::GifImage& image, int lossy, const Steps& steps)
        : m_image(image), m_exact(image), m_coder(lossy), m_choice(0), m_steps(steps),
          m_lossy(lossy), m_width(m_exact.width()), m_height(m_exact.height()),
          m_screen(size_t(m_width) * size_t(m_height), 0) {}

    void code(size_t i, std::span<const uint8_t> indices, int minCodeSize, gif::Bytes& out) {
        m_steps.check();
        const gif::Frame& f = m_image.frame(i);
        disposePending();
        const uint32_t* exact = m_exact.compose(i);
        const int w = f.width();
        const int h = f.height();
        // A frame reaching outside the screen or interlaced (never made by the export,
        // but a prepared image is an image) is coded exactly.
        const bool inside = f.left + w <= m_width && f.top + h <= m_height && !f.interlaced;
        const gif::GraphicControl* gc = f.graphicControl();
        // Without loss the coder can only choose between a colour and transparency
        // where both show the same: nothing to choose without a transparent index.
        const bool choose = inside && (m_lossy > 0 || (gc && gc->transparent));
        std::array<uint32_t, 256> palette;
        palette.fill(OpaqueBlack);
        const gif::ColorTable& colors = m_image.activeColors(i);
        for (size_t k = 0; k < colors.size() && k < 256; ++k)
            palette[k] = argbOf(colors[k]);
        std::optional<uint8_t> transparent;
        if (gc && gc->transparent) transparent = gc->transparentIndex;

        const size_t area = size_t(w) * size_t(h);
        m_shown.resize(area);
        m_trial.resize(area);
        if (choose) {
            m_target.resize(area);
            m_under.resize(area);
            for (int y = 0; y < h; ++y) {
                const size_t from = size_t(f.top + y) * size_t(m_width) + f.left;
                std::memcpy(&m_target[size_t(y) * w], exact + from, size_t(w) * 4);
                std::memcpy(&m_under[size_t(y) * w], &m_screen[from], size_t(w) * 4);
            }
            LossyFrame frame;
            frame.width = w;
            frame.height = h;
            frame.indices = indices;
            frame.target = m_target;
            frame.under = m_under;
            frame.palette = palette;
            frame.transparent = transparent;
            m_exactCodes.clear();
            gif::lzw::encode(indices, minCodeSize, m_exactCodes);
            const gif::Bytes* chosen = &m_exactCodes;
            std::copy(indices.begin(), indices.end(), m_shown.begin());
            Verdict verdict = Verdict::Refused;
            if (m_lossy > 0) {
                m_coded.clear();
                m_coder.encode(frame, minCodeSize, m_coded, m_trial.data());
                verdict = judgeLoss(indices.data(), palette, transparent);
                if (verdict != Verdict::Refused) {
                    chosen = &m_coded;
                    m_shown.swap(m_trial);
                }
            }
            if (verdict != Verdict::Worth) {
                // Without loss, the smallest of the codings that all show the same: the
                // frame's own indices; the lossy stream where it added no error; the
                // frame's indices with every pixel the screen already shows transparent
                // (the optimiser leaves a pixel opaque where that makes the frame as a
                // whole smaller, which a pixel-by-pixel choice need not); and the coder's
                // choice, string by string, between a colour and transparency where both
                // show the same.
                if (transparent) {
                    m_alternative.assign(indices.begin(), indices.end());
                    for (size_t q = 0; q < area; ++q)
                        if ((m_target[q] >> 24) != 0 && m_under[q] == m_target[q])
                            m_alternative[q] = *transparent;
                    m_altCodes.clear();
                    gif::lzw::encode(m_alternative, minCodeSize, m_altCodes);
                    if (m_altCodes.size() < chosen->size()) {
                        chosen = &m_altCodes;
                        m_shown.swap(m_alternative);
                    }
                    m_choiceCodes.clear();
                    m_choice.encode(frame, minCodeSize, m_choiceCodes, m_trial.data());
                    if (m_choiceCodes.size() < chosen->size()) {
                        chosen = &m_choiceCodes;
                        m_shown.swap(m_trial);
                    }
                }
                // The indices chosen, coded with look-ahead.
                m_flexCodes.clear();
                m_flexible.encode(m_shown, minCodeSize, m_flexCodes);
                if (m_flexCodes.size() < chosen->size()) chosen = &m_flexCodes;
            }
            out.insert(out.end(), chosen->begin(), chosen->end());
        } else {
            gif::lzw::encode(indices, minCodeSize, out);
            std::copy(indices.begin(), indices.end(), m_shown.begin());
        }
        draw(f, palette, transparent);
        m_steps.report(int((i + 1) * 100 / m_image.frameCount()));
    }

private:
    // The squared error of the frame's pixels when they show `shown`, summed.
    int64_t errorOf(const uint8_t* shown, const std::array<uint32_t, 256>& palette,
                    std::optional<uint8_t> transparent) const {
        const int t = transparent ? int(*transparent) : -1;
        int64_t sum = 0;
        for (size_t q = 0; q < m_target.size(); ++q) {
            const uint32_t want = m_target[q];
            if ((want >> 24) == 0) continue;
            const uint32_t got = int(shown[q]) == t ? m_under[q] : palette[shown[q]];
            for (int shift = 0; shift <= 16; shift += 8) {
                const int d = int((got >> shift) & 0xFF) - int((want >> shift) & 0xFF);
                sum += d * d;
            }
        }
        return sum;
    }

    enum class Verdict {
        Refused,
        Lossless, // smaller, and no pixel further off than the exact coding leaves it
        Worth,
    };

    // Whether the lossy stream in m_coded, showing m_trial, pays for its errors against
    // the exact one: it must save a good share of the frame's bytes, and its errors must
    // stay in proportion to the bytes it saves (each byte may cost at most one pixel off
    // by the level's whole bound). Near colours make strings materially longer on
    // texture, grain and gradients, where their errors hide. On flat colours (screen
    // recordings, drawings) they replace a handful of pixels in the few places a frame
    // changes and save a few bytes; there every wrong pixel shows, and a frame that
    // changes little loses much of its quality to a few of them.
    Verdict judgeLoss(const uint8_t* indices, const std::array<uint32_t, 256>& palette,
                      std::optional<uint8_t> transparent) const {
        const size_t exact = m_exactCodes.size();
        if (m_coded.size() >= exact) return Verdict::Refused;
        const size_t saved = exact - m_coded.size();
        const int64_t added =
            errorOf(m_trial.data(), palette, transparent) - errorOf(indices, palette, transparent);
        if (added <= 0) return Verdict::Lossless;
        if (saved * MinimumShareOf < exact) return Verdict::Refused;
        return added <= int64_t(LossyLzw::bound(m_lossy)) * int64_t(saved) ? Verdict::Worth
                                                                           : Verdict::Refused;
    }

    // Applies the disposal of the frame drawn last.
    void disposePending() {
        if (!m_pending) return;
        const Pending p = *m_pending;
        m_pending.reset();
        for (int y = p.y0; y < p.y1; ++y) {
            uint32_t* row = &m_screen[size_t(y) * size_t(m_width)];
            if (p.disposal == gif::Compositor::Disposal::Clear)
                std::fill(row + p.x0, row + p.x1, 0u);
            else
                std::memcpy(row + p.x0, &m_saved[size_t(y - p.y0) * size_t(p.x1 - p.x0)],
                            size_t(p.x1 - p.x0) * 4);
        }
    }

    void draw(const gif::Frame& f, const std::array<uint32_t, 256>& palette,
              std::optional<uint8_t> transparent) {
        const int x0 = f.left;
        const int y0 = f.top;
        const int x1 = std::min(m_width, x0 + f.width());
        const int y1 = std::min(m_height, y0 + f.height());
        if (x1 <= x0 || y1 <= y0) return;
        const auto disposal = gif::Compositor::disposalOf(f);
        if (disposal == gif::Compositor::Disposal::Restore) {
            m_saved.resize(size_t(x1 - x0) * size_t(y1 - y0));
            for (int y = y0; y < y1; ++y)
                std::memcpy(&m_saved[size_t(y - y0) * size_t(x1 - x0)],
                            &m_screen[size_t(y) * size_t(m_width) + x0], size_t(x1 - x0) * 4);
        }
        const int t = transparent ? int(*transparent) : -1;
        const std::vector<uint8_t>& rows = m_shownRows(f);
        for (int y = y0; y < y1; ++y) {
            const uint8_t* src = rows.data() + size_t(y - y0) * f.width();
            uint32_t* dst = &m_screen[size_t(y) * size_t(m_width)];
            for (int x = x0; x < x1; ++x)
                if (int(src[x - x0]) != t) dst[x] = palette[src[x - x0]];
        }
        if (disposal != gif::Compositor::Disposal::Keep)
            m_pending = Pending{disposal, x0, y0, x1, y1};
    }

    // The shown indices in display order (the coder got interlaced rows for an
    // interlaced frame, which is coded exactly: its indices are the frame's own).
    const std::vector<uint8_t>& m_shownRows(const gif::Frame& f) {
        if (!f.interlaced) return m_shown;
        m_shown.assign(f.pixels().begin(), f.pixels().end());
        return m_shown;
    }

    struct Pending {
        gif::Compositor::Disposal disposal;
        int x0, y0, x1, y1;
    };

    const gif::GifImage& m_image;
    gif::Compositor m_exact;
    LossyLzw m_coder;  // at the level asked
    LossyLzw m_choice; // at level 0: a colour or transparency where both show the same
    Steps m_steps;
    int m_lossy;
    int m_width;
    int m_height;
    std::vector<uint32_t> m_screen;
    std::vector<uint32_t> m_saved;
    std::optional<Pending> m_pending;
    std::vector<uint32_t> m_target;
    std::vector<uint32_t> m_under;
    std::vector<uint8_t> m_shown; // what the stream written last shows
    std::vector<uint8_t> m_trial;
    std::vector<uint8_t> m_alternative;
    gif::Bytes m_coded;
    gif::Bytes m_exactCodes;
    gif::Bytes m_altCodes;
    gif::Bytes m_choiceCodes;
    gif::Bytes m_flexCodes;
    FlexibleLzw m_flexible;
};

// A copy of the image whose frames each have a transparent index wherever a graphic
// control record and an index that no pixel of the frame uses allow one. The optimiser
// leaves a frame opaque when transparency does not pay for the frame as a whole; the
// lossy coder can still take it pixel by pixel, where the screen under the frame
// already shows the right colour (or one close enough), at no cost in the file.
gif::GifImage withSpareTransparency(const gif::GifImage& image) {
    gif::GifImage copy;
    copy.screenWidth = image.screenWidth;
    copy.screenHeight = image.screenHeight;
    copy.backgroundIndex = image.backgroundIndex;
    copy.aspect = image.aspect;
    copy.colorResolution = image.colorResolution;
    copy.setGlobalColors(image.globalColors(), image.globalSorted());
    for (const gif::ExtensionPtr& record : image.trailingExtensions)
        copy.trailingExtensions.push_back(record->clone());
    for (size_t i = 0; i < image.frameCount(); ++i) {
        gif::Frame frame = image.frame(i).clone();
        gif::GraphicControl* gc = frame.graphicControl();
        if (gc && !gc->transparent && frame.hasPixels()) {
            // An index within the code space the frame's own indices need, so that the
            // minimum code size stays as it is.
            std::array<bool, 256> used{};
            for (uint8_t v : frame.pixels())
                used[v] = true;
            size_t space = 4;
            while (space < 256 && frame.highestIndex() >= space)
                space *= 2;
            for (size_t k = 0; k < space; ++k)
                if (!used[k]) {
                    gc->transparent = true;
                    gc->transparentIndex = uint8_t(k);
                    break;
                }
        }
        copy.appendFrame(std::move(frame));
    }
    return copy;
}

} // namespace

gif::Bytes writePreparedGif(const gif::GifImage& prepared, int lossy, const Steps& steps,
                            std::vector<size_t>* frameEnds) {
    gif::WriteHooks hooks;
    hooks.frameEnds = frameEnds;
    hooks.smallestCodeSize = true;
    const gif::GifImage spare = withSpareTransparency(prepared);
    LossyWriter writer(spare, lossy, steps);
    hooks.coder = [&writer](size_t i, std::span<const uint8_t> indices, int minCodeSize,
                            gif::Bytes& out) { writer.code(i, indices, minCodeSize, out); };
    return gif::writeGif(spare, hooks);
}

} // namespace vorlane::exporting
