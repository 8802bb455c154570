// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec/Compositor.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "codec/GifReader.h"
#include "codec/Parallel.h"

namespace vorlane::gif {

namespace {
constexpr uint32_t OpaqueBlack = 0xFF000000u;
}

Compositor::Compositor(const GifImage& image) : m_image(image) {
    reset();
}

void Compositor::reset() {
    m_width = m_image.screenWidth;
    m_height = m_image.screenHeight;
    // Files are held to this by the reader; an image grown in memory is checked here,
    // before a canvas of up to 16 GiB is asked for.
    if (uint64_t(m_width) * uint64_t(m_height) > ReadLimits{}.maxScreenPixels)
        throw GifLimitError("Logical screen too large to compose: more than " +
                            std::to_string(ReadLimits{}.maxScreenPixels) + " pixels");
    m_canvas.assign(size_t(m_width) * size_t(m_height), 0);
    m_saved.clear();
    m_last = -1;
}

Compositor::Disposal Compositor::disposalOf(const Frame& frame) {
    const GraphicControl* gc = frame.graphicControl();
    if (!gc) return Disposal::Keep;
    switch (gc->disposal) {
    case disposal::Background:
        return Disposal::Clear;
    case disposal::Previous:
    case 4:
        return Disposal::Restore;
    default:
        return Disposal::Keep;
    }
}

QRect Compositor::frameRect(size_t i) const {
    const Frame& f = m_image.frame(i);
    if (!f.hasPixels()) return {};
    return QRect(f.left, f.top, f.width(), f.height()).intersected(QRect(0, 0, m_width, m_height));
}

std::pair<QRect, QRect> Compositor::stepRects(size_t i) const {
    QRect disposed;
    if (i > 0 && disposalOf(m_image.frame(i - 1)) != Disposal::Keep) disposed = frameRect(i - 1);
    return {disposed, frameRect(i)};
}

bool Compositor::hidesEverythingBefore(size_t i) const {
    const Frame& f = m_image.frame(i);
    const GraphicControl* gc = f.graphicControl();
    return f.hasPixels() && !(gc && gc->transparent) && f.left == 0 && f.top == 0 &&
           f.width() >= m_width && f.height() >= m_height && disposalOf(f) != Disposal::Restore;
}

const uint32_t* Compositor::compose(size_t i) {
    if (i >= m_image.frameCount()) throw GifError("Frame index out of range");
    if (m_image.screenWidth != m_width || m_image.screenHeight != m_height) reset();
    if (m_last == (long long)i) return m_canvas.data();

    size_t from = 0;
    if (m_last >= 0 && (long long)i == m_last + 1) {
        from = i;
    } else {
        // Latest frame at or before i after which nothing earlier shows. A frame that
        // restores the canvas under it afterwards does not qualify: the next step needs
        // what was under it.
        size_t start = 0;
        for (size_t s = i; s > 0; --s)
            if (hidesEverythingBefore(s)) {
                start = s;
                break;
            }
        if (m_last >= 0 && (long long)i > m_last && m_last + 1 >= (long long)start) {
            from = size_t(m_last + 1);
        } else {
            std::fill(m_canvas.begin(), m_canvas.end(), 0u);
            m_last = -1;
            from = start;
        }
    }
    for (size_t j = from; j <= i; ++j) {
        if (m_last >= 0) dispose(size_t(m_last));
        draw(j);
        m_last = (long long)j;
    }
    return m_canvas.data();
}

void Compositor::dispose(size_t i) {
    const Disposal d = disposalOf(m_image.frame(i));
    if (d == Disposal::Keep) return;
    const QRect r = frameRect(i);
    if (r.isEmpty()) return;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        uint32_t* dst = m_canvas.data() + size_t(y) * m_width + r.left();
        if (d == Disposal::Clear)
            std::fill_n(dst, r.width(), 0u);
        else
            std::memcpy(dst, m_saved.data() + size_t(y - r.top()) * r.width(),
                        size_t(r.width()) * 4);
    }
}

void Compositor::draw(size_t i) {
    const Frame& f = m_image.frame(i);
    const QRect r = frameRect(i);
    if (r.isEmpty()) return;
    if (disposalOf(f) == Disposal::Restore) {
        m_saved.resize(size_t(r.width()) * r.height());
        for (int y = r.top(); y <= r.bottom(); ++y)
            std::memcpy(m_saved.data() + size_t(y - r.top()) * r.width(),
                        m_canvas.data() + size_t(y) * m_width + r.left(), size_t(r.width()) * 4);
    }

    // Every index has a colour: entries beyond the table are opaque black.
    std::array<uint32_t, 256> lut;
    lut.fill(OpaqueBlack);
    const ColorTable& colors = m_image.activeColors(i);
    for (size_t k = 0; k < colors.size() && k < 256; ++k)
        lut[k] =
            OpaqueBlack | uint32_t(colors[k].r) << 16 | uint32_t(colors[k].g) << 8 | colors[k].b;

    const GraphicControl* gc = f.graphicControl();
    const bool keyed = gc && gc->transparent;
    const uint8_t key = gc ? gc->transparentIndex : 0;
    const int skipX = r.left() - f.left;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const uint8_t* src = f.pixels().data() + size_t(y - f.top) * f.width() + skipX;
        uint32_t* dst = m_canvas.data() + size_t(y) * m_width + r.left();
        const int n = r.width();
        if (keyed) {
            for (int x = 0; x < n; ++x)
                if (src[x] != key) dst[x] = lut[src[x]];
        } else {
            for (int x = 0; x < n; ++x)
                dst[x] = lut[src[x]];
        }
    }
}

QImage Compositor::picture(size_t i) {
    const uint32_t* canvas = compose(i);
    QImage result(m_width, m_height, QImage::Format_ARGB32);
    if (result.isNull()) return result;
    for (int y = 0; y < m_height; ++y)
        std::memcpy(result.scanLine(y), canvas + size_t(y) * m_width, size_t(m_width) * 4);
    return result;
}

std::optional<IndexedCompositor> IndexedCompositor::make(const GifImage& image) {
    IndexedCompositor c(image);
    c.m_width = image.screenWidth;
    c.m_height = image.screenHeight;
    if (uint64_t(c.m_width) * uint64_t(c.m_height) > ReadLimits{}.maxScreenPixels)
        throw GifLimitError("Logical screen too large to compose: more than " +
                            std::to_string(ReadLimits{}.maxScreenPixels) + " pixels");
    // The colours drawn, in the order first drawn; every index a frame uses gets one.
    std::vector<std::pair<uint32_t, uint8_t>> known; // 0xRRGGBB, entry; short, searched
    auto entryOf = [&](Rgb rgb) -> int {
        const uint32_t key = uint32_t(rgb.r) << 16 | uint32_t(rgb.g) << 8 | rgb.b;
        for (const auto& [color, entry] : known)
            if (color == key) return entry;
        if (known.size() >= 255) return -1;
        known.emplace_back(key, uint8_t(known.size()));
        c.m_colors.push_back(rgb);
        return known.back().second;
    };
    // Which indices each frame uses (a frame read from a file knows), found on several
    // threads for the frames that do not know yet.
    const size_t n = image.frameCount();
    uint64_t pixels = 0;
    for (const Frame& f : image.frames())
        pixels += f.pixels().size();
    parallelFor(
        n, [&](size_t i) { image.frame(i).usedIndices(); }, {}, threadsFor(pixels));
    c.m_maps.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const Frame& f = image.frame(i);
        const std::bitset<256>& used = f.usedIndices();
        const GraphicControl* gc = f.graphicControl();
        const bool keyed = gc && gc->transparent;
        const ColorTable& table = image.activeColors(i);
        auto& map = c.m_maps[i];
        map.fill(0);
        for (size_t v = 0; v < 256; ++v) {
            if (!used[v] || (keyed && v == gc->transparentIndex)) continue;
            // As the 32-bit composition draws them: indices beyond the table are black.
            const int entry = entryOf(v < table.size() ? table[v] : Rgb{});
            if (entry < 0) return std::nullopt;
            map[v] = uint8_t(entry);
        }
    }
    // The transparent entry follows the colours; the maps name it for keyed pixels.
    for (size_t i = 0; i < image.frameCount(); ++i)
        if (const GraphicControl* gc = image.frame(i).graphicControl(); gc && gc->transparent)
            c.m_maps[i][gc->transparentIndex] = c.transparentIndex();
    // The canvas is made when next() first needs it: composeAll() composes into the
    // pictures themselves.
    return c;
}

const Bytes& IndexedCompositor::next() {
    if (m_next >= m_image.frameCount()) throw GifError("Frame index out of range");
    const uint8_t clear = transparentIndex();
    if (m_next == 0) m_canvas.assign(size_t(m_width) * size_t(m_height), clear);
    const QRect screen(0, 0, m_width, m_height);
    auto rectOf = [&](const Frame& f) {
        return f.hasPixels() ? QRect(f.left, f.top, f.width(), f.height()).intersected(screen)
                             : QRect();
    };
    if (m_next > 0) {
        const Frame& previous = m_image.frame(m_next - 1);
        const QRect r = rectOf(previous);
        const Compositor::Disposal d = Compositor::disposalOf(previous);
        if (!r.isEmpty() && d != Compositor::Disposal::Keep)
            for (int y = r.top(); y <= r.bottom(); ++y) {
                uint8_t* dst = m_canvas.data() + size_t(y) * m_width + r.left();
                if (d == Compositor::Disposal::Clear)
                    std::memset(dst, clear, size_t(r.width()));
                else
                    std::memcpy(dst, m_saved.data() + size_t(y - r.top()) * r.width(),
                                size_t(r.width()));
            }
    }
    const size_t i = m_next++;
    const Frame& f = m_image.frame(i);
    const QRect r = rectOf(f);
    if (r.isEmpty()) return m_canvas;
    // The last frame's disposal never applies: nothing to keep for it.
    if (Compositor::disposalOf(f) == Compositor::Disposal::Restore &&
        m_next < m_image.frameCount()) {
        m_saved.resize(size_t(r.width()) * r.height());
        for (int y = r.top(); y <= r.bottom(); ++y)
            std::memcpy(m_saved.data() + size_t(y - r.top()) * r.width(),
                        m_canvas.data() + size_t(y) * m_width + r.left(), size_t(r.width()));
    }
    const auto& map = m_maps[i];
    const int skipX = r.left() - f.left;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const uint8_t* src = f.pixels().data() + size_t(y - f.top) * f.width() + skipX;
        uint8_t* dst = m_canvas.data() + size_t(y) * m_width + r.left();
        for (int x = 0; x < r.width(); ++x) {
            const uint8_t v = map[src[x]];
            if (v != clear) dst[x] = v;
        }
    }
    return m_canvas;
}

bool IndexedCompositor::showsTransparency() const {
    return std::memchr(m_canvas.data(), transparentIndex(), m_canvas.size()) != nullptr;
}

std::vector<Bytes>
IndexedCompositor::composeAll(std::vector<bool>& transparent,
                              const std::function<void(size_t, size_t)>& progress) {
    if (m_next != 0) throw GifError("Frames composed already");
    const size_t n = m_image.frameCount();
    std::vector<Bytes> pictures(n);
    transparent.assign(n, false);
    if (n == 0) return pictures;
    const size_t area = size_t(m_width) * size_t(m_height);
    // New memory costs a page fault a page: taken on several threads too.
    const unsigned threads = threadsFor(uint64_t(area) * n);
    // Bands small enough that a frame's band stays in the cache from one frame to the
    // next, and enough of them to share out and to report progress by: each band's work
    // through all frames stays around 16 M pixels (tens of milliseconds), so that a
    // cancel is heard soon however long the animation.
    const size_t rowWork = std::max<size_t>(1, size_t(m_width) * n);
    const int byWork = int(std::max<size_t>(1, (size_t(16) << 20) / rowWork));
    const int rows = std::clamp(std::min({int((size_t(128) << 10) / std::max(1, m_width)),
                                          m_height / int(4 * workerCount()), byWork}),
                                1, std::max(1, m_height));
    const size_t bands = size_t((m_height + rows - 1) / rows);
    // Progress counts the pictures given memory, then the bands: gigabytes of pictures
    // take seconds to be given, and a cancel is heard meanwhile too.
    const size_t steps = n + bands;
    parallelFor(
        n, [&](size_t i) { pictures[i].resize(area); },
        [&](size_t done) {
            if (progress) progress(done, steps);
        },
        threads);
    m_next = n;
    if (area == 0) return pictures;
    std::vector<uint8_t> shows(n * bands, 0);
    parallelFor(
        bands,
        [&](size_t band) {
            const int y0 = int(band) * rows;
            composeBand(y0, std::min(m_height, y0 + rows), pictures, shows.data() + band * n);
        },
        [&](size_t done) {
            if (progress) progress(n + done, steps);
        },
        threads);
    for (size_t band = 0; band < bands; ++band)
        for (size_t i = 0; i < n; ++i)
            if (shows[band * n + i]) transparent[i] = true;
    return pictures;
}

void IndexedCompositor::composeBand(int y0, int y1, std::vector<Bytes>& pictures,
                                    uint8_t* transparent) const {
    const uint8_t clear = transparentIndex();
    const size_t n = m_image.frameCount();
    const QRect screen(0, 0, m_width, m_height);
    const QRect band(0, y0, m_width, y1 - y0);
    const size_t w = size_t(m_width);
    auto rectOf = [&](const Frame& f) {
        return f.hasPixels() ? QRect(f.left, f.top, f.width(), f.height()).intersected(screen)
                             : QRect();
    };
    Bytes saved; // what the frame shown last covered in this band, for restore to previous
    for (size_t i = 0; i < n; ++i) {
        uint8_t* picture = pictures[i].data();
        const Frame& f = m_image.frame(i);
        const QRect whole = rectOf(f);
        const Compositor::Disposal disposal = Compositor::disposalOf(f);
        const GraphicControl* gc = f.graphicControl();
        const bool keyed = gc && gc->transparent;
        // A frame that draws every pixel of the screen leaves nothing of the picture
        // before it (unless it must keep what it covers for restoring).
        const bool covers =
            whole == screen && !keyed && (disposal != Compositor::Disposal::Restore || i + 1 == n);
        if (!covers) {
            if (i == 0) {
                std::memset(picture + size_t(y0) * w, clear, size_t(y1 - y0) * w);
            } else {
                std::memcpy(picture + size_t(y0) * w, pictures[i - 1].data() + size_t(y0) * w,
                            size_t(y1 - y0) * w);
                const Frame& previous = m_image.frame(i - 1);
                const QRect r = rectOf(previous).intersected(band);
                const Compositor::Disposal d = Compositor::disposalOf(previous);
                if (!r.isEmpty() && d != Compositor::Disposal::Keep) {
                    // `saved` holds the same part of the band, kept when it was drawn.
                    for (int y = r.top(); y <= r.bottom(); ++y) {
                        uint8_t* dst = picture + size_t(y) * w + size_t(r.left());
                        if (d == Compositor::Disposal::Clear)
                            std::memset(dst, clear, size_t(r.width()));
                        else
                            std::memcpy(dst, saved.data() + size_t(y - r.top()) * size_t(r.width()),
                                        size_t(r.width()));
                    }
                }
            }
        }
        const QRect r = whole.intersected(band);
        if (!r.isEmpty()) {
            // The last frame's disposal never applies: nothing to keep for it.
            if (disposal == Compositor::Disposal::Restore && i + 1 < n) {
                saved.resize(size_t(r.width()) * size_t(r.height()));
                for (int y = r.top(); y <= r.bottom(); ++y)
                    std::memcpy(saved.data() + size_t(y - r.top()) * size_t(r.width()),
                                picture + size_t(y) * w + size_t(r.left()), size_t(r.width()));
            }
            const auto& map = m_maps[i];
            const int skipX = r.left() - f.left;
            for (int y = r.top(); y <= r.bottom(); ++y) {
                const uint8_t* src = f.pixels().data() + size_t(y - f.top) * f.width() + skipX;
                uint8_t* dst = picture + size_t(y) * w + size_t(r.left());
                const int count = r.width();
                if (keyed) {
                    for (int x = 0; x < count; ++x) {
                        const uint8_t v = map[src[x]];
                        dst[x] = v != clear ? v : dst[x];
                    }
                } else {
                    for (int x = 0; x < count; ++x)
                        dst[x] = map[src[x]];
                }
            }
        }
        transparent[i] =
            std::memchr(picture + size_t(y0) * w, clear, size_t(y1 - y0) * w) != nullptr;
    }
}

} // namespace vorlane::gif
