// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec/GifWriter.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "codec/Lzw.h"
#include "codec/Parallel.h"
#include "codec/ProgressScope.h"
#include "codec/SafeFile.h"

namespace vorlane::gif {

namespace {

void put16(Bytes& out, uint16_t v) {
    out.push_back(uint8_t(v & 0xFF));
    out.push_back(uint8_t(v >> 8));
}

// The size field of a colour table: the table holds 2^(field + 1) entries.
uint8_t tableSizeField(size_t count) {
    uint8_t field = 0;
    while ((size_t(2) << field) < count)
        ++field;
    return field;
}

// A table padded with black to the power of two its size field announces.
void putTable(Bytes& out, const ColorTable& colors) {
    const size_t padded = size_t(2) << tableSizeField(colors.size());
    for (const Rgb& c : colors)
        out.insert(out.end(), {c.r, c.g, c.b});
    out.resize(out.size() + 3 * (padded - colors.size()), 0);
}

// Data as sub-blocks of at most 255 bytes and the terminator.
void putSubBlocks(Bytes& out, const uint8_t* data, size_t size) {
    out.reserve(out.size() + size + size / 255 + 2);
    for (size_t pos = 0; pos < size; pos += 255) {
        const size_t n = std::min<size_t>(255, size - pos);
        out.push_back(uint8_t(n));
        out.insert(out.end(), data + pos, data + pos + n);
    }
    out.push_back(0);
}

void putExtension(Bytes& out, const Extension& record) {
    out.push_back(0x21);
    out.push_back(record.label());
    if (record.isGraphicControl()) {
        const GraphicControl& c = record.control();
        out.push_back(4);
        out.push_back(uint8_t(((c.reservedBits & 7) << 5) | ((c.disposal & 7) << 2) |
                              (c.userInput ? 2 : 0) | (c.transparent ? 1 : 0)));
        put16(out, c.delay);
        out.push_back(c.transparentIndex);
        out.push_back(0);
        return;
    }
    for (const Bytes& block : record.blocks()) {
        // An empty sub-block would end the record early and turn the rest into garbage,
        // and one over 255 bytes cannot be written as one; both are written as the
        // longest valid sub-blocks that carry the same bytes.
        for (size_t pos = 0; pos < block.size(); pos += 255) {
            const size_t n = std::min<size_t>(255, block.size() - pos);
            out.push_back(uint8_t(n));
            out.insert(out.end(), block.begin() + ptrdiff_t(pos),
                       block.begin() + ptrdiff_t(pos + n));
        }
    }
    out.push_back(0);
}

bool needs89a(const GifImage& image) {
    if (!image.trailingExtensions.empty()) return true;
    if (!image.globalColors().empty() && image.globalSorted()) return true;
    for (const Frame& f : image.frames()) {
        if (!f.extensions.empty()) return true;
        if (f.hasPixels() && !f.localColors().empty() && f.localSorted()) return true;
    }
    return false;
}

// The order in which an interlaced frame's rows are written.
std::span<const uint8_t> rowsAsWritten(const Frame& f, Bytes& rows) {
    std::span<const uint8_t> pixels = f.pixels();
    if (!f.interlaced) return pixels;
    const size_t w = f.width();
    const size_t h = f.height();
    rows.resize(pixels.size());
    uint8_t* row = rows.data();
    static constexpr int start[4] = {0, 4, 2, 1};
    static constexpr int step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (size_t y = size_t(start[pass]); y < h; y += size_t(step[pass])) {
            std::memcpy(row, pixels.data() + y * w, w);
            row += w;
        }
    return rows;
}

// A frame's blocks as written, and where its image data (the code size byte, the
// sub-blocks and their terminator) begins in them.
struct FrameBlocks {
    Bytes bytes;
    size_t dataStart = 0;
    int codeSize = 0;
    bool done = false;
};

// One frame's blocks up to its image data: its records, and its image descriptor and
// table when it has pixels; its minimum code size.
void frameHead(const GifImage& image, size_t i, FrameBlocks& blocks, const WriteHooks& hooks) {
    const Frame& f = image.frame(i);
    Bytes& out = blocks.bytes;
    out.clear();
    for (const ExtensionPtr& record : f.extensions)
        putExtension(out, *record);
    if (!f.hasPixels()) return;

    const ColorTable& local = f.localColors();
    out.push_back(0x2C);
    put16(out, f.left);
    put16(out, f.top);
    put16(out, f.width());
    put16(out, f.height());
    uint8_t flags = f.interlaced ? 0x40 : 0;
    if (!local.empty())
        flags |= uint8_t(0x80 | (f.localSorted() ? 0x20 : 0) | tableSizeField(local.size()));
    out.push_back(flags);
    if (!local.empty()) putTable(out, local);
    const ColorTable& active = local.empty() ? image.globalColors() : local;
    const size_t tableSize = active.empty() ? 0 : size_t(2) << tableSizeField(active.size());
    // The code size depends on the indices, not on their order.
    blocks.codeSize = minimumCodeSize(f.pixels(), hooks.smallestCodeSize ? 0 : tableSize);
    blocks.dataStart = out.size();
}

// One frame's blocks whole. Frames are coded apart from each other, so that several can
// be at once.
void encodeFrame(const GifImage& image, size_t i, FrameBlocks& blocks, const WriteHooks& hooks) {
    frameHead(image, i, blocks, hooks);
    const Frame& f = image.frame(i);
    if (!f.hasPixels()) return;
    Bytes rows;
    const std::span<const uint8_t> pixels = rowsAsWritten(f, rows);
    blocks.bytes.push_back(uint8_t(blocks.codeSize));
    Bytes coded; // the LZW stream before it is cut into sub-blocks
    if (hooks.coder)
        hooks.coder(i, pixels, blocks.codeSize, coded);
    else
        lzw::encode(pixels, blocks.codeSize, coded);
    putSubBlocks(blocks.bytes, coded.data(), coded.size());
}

// Writes every block before the trailer, the frames on several threads; reports a
// Running step as frames are done. Frames `reuse` has data for are taken from it (asked
// in order, on this thread) instead of being coded. A coder of the hooks is called in
// frame order, on this thread.
Bytes encodeImage(const GifImage& image, ProgressScope& progress, CodedFrames* reuse,
                  const WriteHooks& hooks = {}) {
    if (image.frameCount() == 0) throw GifError(messages::CannotSaveEmpty);

    Bytes out;
    const char* signature = needs89a(image) ? "GIF89a" : "GIF87a";
    out.resize(6);
    std::memcpy(out.data(), signature, 6);

    const ColorTable& global = image.globalColors();
    put16(out, image.screenWidth);
    put16(out, image.screenHeight);
    uint8_t packed = uint8_t((image.colorResolution & 7) << 4);
    if (!global.empty())
        packed |= uint8_t(0x80 | (image.globalSorted() ? 0x08 : 0) | tableSizeField(global.size()));
    out.push_back(packed);
    out.push_back(image.backgroundIndex);
    out.push_back(image.aspect);
    if (!global.empty()) putTable(out, global);

    const size_t n = image.frameCount();
    std::vector<FrameBlocks> frames(n);
    uint64_t pixels = 0;
    if (reuse)
        for (size_t i = 0; i < n; ++i) {
            const Frame& f = image.frame(i);
            if (!f.hasPixels()) continue;
            frameHead(image, i, frames[i], hooks);
            frames[i].done = reuse->append(f, frames[i].codeSize, frames[i].bytes);
        }
    for (size_t i = 0; i < n; ++i)
        if (!frames[i].done) pixels += image.frame(i).pixels().size();
    parallelFor(
        n,
        [&](size_t i) {
            if (!frames[i].done) encodeFrame(image, i, frames[i], hooks);
        },
        [&](size_t done) { progress.running(done, n); }, hooks.coder ? 1 : threadsFor(pixels));

    size_t size = out.size() + 1;
    for (const FrameBlocks& frame : frames)
        size += frame.bytes.size();
    for (const ExtensionPtr& record : image.trailingExtensions) {
        size += 3 + 8; // introducer, label, terminator; a graphic control's fields
        for (const Bytes& block : record->blocks())
            size += block.size() + block.size() / 255 + 1;
    }
    out.reserve(size);
    for (size_t i = 0; i < n; ++i) {
        Bytes& bytes = frames[i].bytes;
        const size_t start = out.size();
        out.insert(out.end(), bytes.begin(), bytes.end());
        if (reuse && image.frame(i).hasPixels())
            reuse->written(image.frame(i), frames[i].codeSize, start + frames[i].dataStart,
                           bytes.size() - frames[i].dataStart);
        Bytes().swap(bytes);
        if (hooks.frameEnds) hooks.frameEnds->push_back(out.size());
    }
    for (const ExtensionPtr& record : image.trailingExtensions)
        putExtension(out, *record);
    out.push_back(0x3B);
    return out;
}

} // namespace

int minimumCodeSize(std::span<const uint8_t> pixels, size_t tableSize) {
    int bits = 2;
    while ((size_t(1) << bits) < tableSize)
        ++bits;
    if (bits >= 8) return 8;
    // The highest index needs as many bits as the OR of all indices has: one pass of
    // word-wide ORs instead of a per-byte maximum.
    uint64_t any = 0;
    size_t i = 0;
    for (; i + 8 <= pixels.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, pixels.data() + i, 8);
        any |= word;
    }
    for (; i < pixels.size(); ++i)
        any |= pixels[i];
    any |= any >> 32;
    any |= any >> 16;
    any |= any >> 8;
    const unsigned highest = unsigned(any & 0xFF);
    while ((1u << bits) <= highest)
        ++bits;
    return bits;
}

Bytes writeGif(const GifImage& image) {
    return writeGif(image, nullptr);
}

Bytes writeGif(const GifImage& image, CodedFrames* coded) {
    ProgressScope progress(image, ProgressMessage::Saving);
    try {
        return encodeImage(image, progress, coded);
    } catch (const std::bad_alloc&) {
        throw GifError("Not enough memory to save the file");
    }
}

Bytes writeGif(const GifImage& image, const WriteHooks& hooks) {
    ProgressScope progress(image, ProgressMessage::Saving);
    try {
        return encodeImage(image, progress, nullptr, hooks);
    } catch (const std::bad_alloc&) {
        throw GifError("Not enough memory to save the file");
    }
}

Bytes GifImage::saveToBytes() const {
    return writeGif(*this);
}

void GifImage::save(const QString& path) const {
    ProgressScope progress(*this, ProgressMessage::Saving);
    Bytes data;
    try {
        data = encodeImage(*this, progress, nullptr);
    } catch (const std::bad_alloc&) {
        throw GifError("Not enough memory to save the file");
    }
    // Written whole beside the target and renamed over it, or into a pipe or device.
    writeFileSafely(path, data);
}

} // namespace vorlane::gif
