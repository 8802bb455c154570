// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reading GIF87a/GIF89a data into a GifImage: our own block parser over a byte span,
// with the LZW decoder of Lzw.h, declared limits against hostile input, and the
// leniencies web browsers apply to damaged files.

#include <cstdint>
#include <span>

#include "codec/GifImage.h"
#include "codec/SystemMemory.h"

namespace vorlane::gif {

// Limits on what one file may make the reader allocate. Each is checked before the
// allocation it guards; exceeding one fails the load with a GifLimitError whose message
// names the limit.
struct ReadLimits {
    // A file is read into memory whole before parsing (load from a path).
    uint64_t maxFileBytes = uint64_t(1) << 30;
    // A pipe or device read as a file that delivers nothing for this long fails the
    // load rather than keeping the caller waiting.
    int idleTimeoutMs = 10000;
    // Logical screen width x height. Every composed picture, and the canvas used to make
    // them, is screen-sized at up to 4 bytes per pixel; 2^28 pixels (for example
    // 16384 x 16384) keeps one such canvas at 1 GiB.
    uint64_t maxScreenPixels = uint64_t(1) << 28;
    // Number of images. Each frame carries fixed costs beyond its pixels (records, its
    // entry in every per-frame list of the editor), which a file of many tiny frames
    // would otherwise multiply without bound.
    uint64_t maxFrames = 100000;
    // Width x height summed over all frames: the pixel indices kept in memory, one byte
    // each. A frame header of a few bytes can declare 65535 x 65535 pixels whose data
    // "ends early" and is filled, so this is checked before each frame is read; more than
    // the machine's memory can never be held.
    uint64_t maxTotalPixels = machineMemoryBytes();
    // Screen area x frame count: opening turns every frame into a full-screen picture
    // at one byte per pixel; more than the machine's memory can never be held.
    uint64_t maxComposedPixels = machineMemoryBytes();
    // What opening the file holds at once, in bytes: the frames as read (one byte a
    // pixel), the pictures opening makes of them (one byte a composed pixel) and
    // HeldBytesPerFrame a frame for its records and colour table. 0 stands for the
    // memory available when the file is read (availableMemoryBytes()): a file opens when
    // the machine has the memory for it, and is refused with a message naming the limit
    // before anything is allocated for it when not.
    uint64_t maxHeldBytes = 0;
    // Pixels filled because an image's data ended early, in all. Decoded pixels cost the
    // file data (LZW yields a few thousand pixels a byte at best); filled ones cost
    // nothing, so that a header of a few bytes declaring 16384 x 16384 pixels would
    // otherwise make 256 MiB. 2^26 (an 8192 x 8192 frame cut at its start) keeps every
    // damaged file of a sensible size readable.
    uint64_t maxFilledPixels = uint64_t(1) << 26;
    // The memory budget of an opened animation is 1.5 bytes for each pixel of its
    // composed pictures (screen area x frame count, at one byte per pixel) plus this
    // slack. The frames' own pixels must fit in it: a frame larger than the screen is
    // drawn clipped, so without this a tiny screen could carry frames of any size.
    uint64_t budgetSlackBytes = uint64_t(64) << 20;
    // Extension records and their sub-blocks in all. Each is kept as a separate object,
    // which costs tens of bytes for a record of two bytes in the file.
    uint64_t maxRecords = 100000;
    uint64_t maxRecordBlocks = uint64_t(1) << 20;
};

// Replaces the file content of `image` (screen, global table, frames, trailing records)
// with the GIF in `bytes`; handlers, the reduction settings, the transparent flag and the
// animation switch stay. Reports "Loading" progress and warnings through the image's
// handlers. Throws GifError; on failure the image is unchanged.
void readGif(GifImage& image, std::span<const uint8_t> bytes, const ReadLimits& limits = {});

// As readGif, from a file; `limits.maxFileBytes` bounds its size.
void readGifFile(GifImage& image, const QString& path, const ReadLimits& limits = {});

// The fixed cost of a frame in memory beside its pixels, as maxHeldBytes counts it: its
// records, colour table and entries in per-frame lists.
inline constexpr uint64_t HeldBytesPerFrame = 1024;

// The memory budget of an animation of `frames` pictures of the screen's size: 1.5 bytes
// per composed pixel plus the slack.
uint64_t memoryBudget(uint64_t screenPixels, uint64_t frames, const ReadLimits& limits = {});

} // namespace vorlane::gif
