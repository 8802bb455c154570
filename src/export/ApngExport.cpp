// SPDX-License-Identifier: GPL-3.0-or-later
// APNG written chunk by chunk: the PNG signature, IHDR, acTL, the palette when one fits,
// then per frame its fcTL and its pixels (IDAT for the first frame, which is also the
// picture of viewers that know no animation; fdAT after), deflated with zlib, IEND.
//
// Each frame after the first covers the rectangle where its picture differs from the
// one before and leaves the rest as it is (dispose "none"); inside the rectangle the
// unchanged pixels are transparent and blended over the picture before ("over"), which
// deflates far better, unless a pixel becomes transparent there, which only replacing
// ("source") can do. Either way every frame shows its picture exactly.

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <zlib.h>

#include "export/AnimatedFormats.h"
#include "export/ExportSettings.h"
#include "export/FrameChanges.h"

namespace vorlane::exporting {

namespace {

enum ColourType : uint8_t { Rgb = 2, Palette = 3, Rgba = 6 };

void put32(gif::Bytes& out, uint32_t v) {
    out.push_back(uint8_t(v >> 24));
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

void put16(gif::Bytes& out, uint16_t v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

void putChunk(gif::Bytes& out, const char type[4], const gif::Bytes& data) {
    put32(out, uint32_t(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0L, out.data() + start, uInt(out.size() - start));
    put32(out, uint32_t(crc));
}

// The pixels of the picture, one colour type, as the rows PNG filters: each row is the
// bytes of its pixels (transparent pixels as 0 in RGBA, so that they deflate well).
class Rows {
public:
    Rows(ColourType type, const std::unordered_map<uint32_t, uint8_t>* palette)
        : m_type(type), m_palette(palette) {}
    int bytesPerPixel() const { return m_type == Rgba ? 4 : m_type == Rgb ? 3 : 1; }

    void row(const uint32_t* pixels, int width, uint8_t* out) const {
        for (int x = 0; x < width; ++x) {
            const uint32_t v = (pixels[x] >> 24) == 0 ? 0 : pixels[x];
            switch (m_type) {
            case Palette:
                *out++ = m_palette->at(v);
                break;
            case Rgb:
                *out++ = uint8_t(v >> 16);
                *out++ = uint8_t(v >> 8);
                *out++ = uint8_t(v);
                break;
            case Rgba:
                *out++ = uint8_t(v >> 16);
                *out++ = uint8_t(v >> 8);
                *out++ = uint8_t(v);
                *out++ = uint8_t(v >> 24);
                break;
            }
        }
    }

private:
    ColourType m_type;
    const std::unordered_map<uint32_t, uint8_t>* m_palette;
};

uint8_t paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return uint8_t(a);
    return uint8_t(pb <= pc ? b : c);
}

// The frame's filtered rows deflated. Palette rows are not filtered (differences of
// palette indices mean nothing); other rows take the filter whose bytes sum smallest
// as signed values, the usual heuristic.
gif::Bytes deflateFrame(const QImage& part, const Rows& rows, bool palette) {
    const int w = part.width();
    const int bpp = rows.bytesPerPixel();
    const size_t stride = size_t(w) * size_t(bpp);
    std::vector<uint8_t> raw((stride + 1) * size_t(part.height()));
    std::vector<uint8_t> current(stride), above(stride, 0);
    std::array<std::vector<uint8_t>, 5> candidates;
    for (auto& c : candidates)
        c.resize(stride);
    for (int y = 0; y < part.height(); ++y) {
        rows.row(reinterpret_cast<const uint32_t*>(part.constScanLine(y)), w, current.data());
        uint8_t* out = &raw[size_t(y) * (stride + 1)];
        if (palette) {
            out[0] = 0;
            std::memcpy(out + 1, current.data(), stride);
        } else {
            int best = 0;
            uint64_t bestSum = UINT64_MAX;
            for (int f = 0; f < 5; ++f) {
                uint8_t* c = candidates[size_t(f)].data();
                uint64_t sum = 0;
                for (size_t i = 0; i < stride; ++i) {
                    const int a = i >= size_t(bpp) ? current[i - size_t(bpp)] : 0;
                    const int b = above[i];
                    const int cc = i >= size_t(bpp) ? above[i - size_t(bpp)] : 0;
                    uint8_t v = current[i];
                    switch (f) {
                    case 1:
                        v = uint8_t(v - a);
                        break;
                    case 2:
                        v = uint8_t(v - b);
                        break;
                    case 3:
                        v = uint8_t(v - ((a + b) >> 1));
                        break;
                    case 4:
                        v = uint8_t(v - paeth(a, b, cc));
                        break;
                    default:
                        break;
                    }
                    c[i] = v;
                    sum += uint64_t(std::abs(int(int8_t(v))));
                }
                if (sum < bestSum) {
                    bestSum = sum;
                    best = f;
                }
            }
            out[0] = uint8_t(best);
            std::memcpy(out + 1, candidates[size_t(best)].data(), stride);
        }
        std::swap(current, above);
    }
    uLongf size = compressBound(uLong(raw.size()));
    gif::Bytes out(size);
    if (compress2(out.data(), &size, raw.data(), uLong(raw.size()), 9) != Z_OK)
        throw gif::GifError("Not enough memory to write the APNG file");
    out.resize(size);
    return out;
}

} // namespace

gif::Bytes writeApng(ShownAnimation& shown, const Steps& steps, std::vector<size_t>* frameSizes) {
    const int w = shown.width();
    const int h = shown.height();
    const size_t n = shown.count();
    if (n == 0 || w == 0 || h == 0) throw gif::GifError(gif::messages::CannotSaveEmpty);

    // First pass: the colours of all frames, to choose the colour type.
    const Steps counting = steps.part(0, 20);
    const Steps writing = steps.part(20, 100);
    std::unordered_map<uint32_t, uint8_t> palette;
    std::vector<uint32_t> order;
    bool fits = true;
    bool alpha = false;
    for (size_t k = 0; k < n; ++k) {
        counting.check();
        const QImage picture = shown.picture(k);
        for (int y = 0; y < h; ++y) {
            const uint32_t* row = reinterpret_cast<const uint32_t*>(picture.constScanLine(y));
            uint32_t last = 0x12345678;
            for (int x = 0; x < w; ++x) {
                uint32_t v = row[x];
                if ((v >> 24) == 0) v = 0;
                if ((v >> 24) != 0xFF) alpha = true;
                if (!fits || v == last) continue;
                last = v;
                if (palette.emplace(v, uint8_t(order.size())).second) {
                    order.push_back(v);
                    if (order.size() > 256) fits = false;
                }
            }
        }
        counting.report(int((k + 1) * 100 / n));
    }
    // Blending over leaves transparent pixels as they were: the palette needs an entry
    // for them even when no frame shows one.
    if (fits && !palette.count(0)) {
        if (order.size() < 256) {
            palette.emplace(0, uint8_t(order.size()));
            order.push_back(0);
        } else {
            fits = false;
        }
    }
    const ColourType type = fits ? Palette : alpha ? Rgba : Rgb;
    const Rows rows(type, fits ? &palette : nullptr);

    gif::Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    gif::Bytes data;
    put32(data, uint32_t(w));
    put32(data, uint32_t(h));
    data.insert(data.end(), {8, uint8_t(type), 0, 0, 0});
    putChunk(out, "IHDR", data);
    data.clear();
    put32(data, uint32_t(n));
    put32(data, playsForLoop(shown.loopCount()));
    putChunk(out, "acTL", data);
    if (type == Palette) {
        gif::Bytes plte, trns;
        for (uint32_t v : order) {
            plte.insert(plte.end(), {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
            trns.push_back(uint8_t(v >> 24));
        }
        // Entries after the last transparent one need no tRNS byte.
        while (!trns.empty() && trns.back() == 0xFF)
            trns.pop_back();
        putChunk(out, "PLTE", plte);
        if (!trns.empty()) putChunk(out, "tRNS", trns);
    }
    uint32_t sequence = 0;
    QImage previous;
    for (size_t k = 0; k < n; ++k) {
        writing.check();
        const size_t before = out.size();
        QImage picture = shown.picture(k);
        QRect rect(0, 0, w, h);
        bool over = false;
        QImage part = picture;
        if (k > 0) {
            const FrameChange change = changeBetween(previous, picture);
            rect = change.rect.isEmpty() ? QRect(0, 0, 1, 1) : change.rect;
            part = picture.copy(rect);
            // RGB has no transparent pixel to leave the rest with.
            over = !change.clears && !change.rect.isEmpty() && type != Rgb;
            if (over) {
                for (int y = 0; y < rect.height(); ++y) {
                    uint32_t* px = reinterpret_cast<uint32_t*>(part.scanLine(y));
                    const uint32_t* was =
                        reinterpret_cast<const uint32_t*>(previous.constScanLine(rect.top() + y)) +
                        rect.left();
                    for (int x = 0; x < rect.width(); ++x)
                        if (px[x] == was[x]) px[x] = 0;
                }
            }
        }
        data.clear();
        put32(data, sequence++);
        put32(data, uint32_t(rect.width()));
        put32(data, uint32_t(rect.height()));
        put32(data, uint32_t(rect.left()));
        put32(data, uint32_t(rect.top()));
        put16(data, uint16_t(std::min(shownDelayMs(shown.delay(k)), 0xFFFF)));
        put16(data, 1000);
        data.push_back(0);            // dispose: none
        data.push_back(over ? 1 : 0); // blend: over or source
        putChunk(out, "fcTL", data);
        const gif::Bytes pixels = deflateFrame(part, rows, type == Palette);
        if (k == 0) {
            putChunk(out, "IDAT", pixels);
        } else {
            data.clear();
            put32(data, sequence++);
            data.insert(data.end(), pixels.begin(), pixels.end());
            putChunk(out, "fdAT", data);
        }
        if (frameSizes) frameSizes->push_back(out.size() - before);
        previous = std::move(picture);
        writing.report(int((k + 1) * 100 / n));
    }
    putChunk(out, "IEND", {});
    return out;
}

} // namespace vorlane::exporting
